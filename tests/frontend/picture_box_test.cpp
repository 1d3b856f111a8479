// The picture box: user coordinates with y down, drawing into the persistent image, text
// metrics in user units, and the replay of the record at another resolution.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "PictureBox.h"

namespace {

// A box whose image is w x h pixels (the frame takes one pixel on each side).
void sizeImage(PictureBox* box, int w, int h) {
  box->resize(w + 2 * box->frameWidth(), h + 2 * box->frameWidth());
  ASSERT_EQ(box->image().size(), QSize(w, h));
}

bool isInk(QRgb p) { return qGray(p) < 200; }

// Bounding box of the non-white pixels of an image.
QRect inkBounds(const QImage& image) {
  QRect r;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (isInk(image.pixel(x, y))) r |= QRect(x, y, 1, 1);
  return r;
}

TEST(PictureBox, ScaleMapsCornersToTheFirstAndLastPixelsWithYDown) {
  PictureBox box;
  sizeImage(&box, 101, 61);
  box.Scale(-5, -0.2, 5, 1.0);          // x: 10 px per unit; y: 50 px per unit, growing downward
  box.Line(-5, 1.0, 5, 1.0, Qt::red);   // bottom edge
  box.Line(0, -0.2, 0, 1.0, Qt::blue);  // x = 0 in the middle
  const QImage& img = box.image();
  for (int x : {0, 30, 100}) EXPECT_EQ(img.pixelColor(x, 60), QColor(Qt::red)) << x;
  EXPECT_EQ(img.pixelColor(50, 0), QColor(Qt::blue));
  EXPECT_EQ(img.pixelColor(50, 30), QColor(Qt::blue));
  EXPECT_EQ(img.pixelColor(51, 30), QColor(Qt::white));
  EXPECT_EQ(img.pixelColor(30, 59), QColor(Qt::white));

  // y = 0 lies 0.2 units (10 px) below the top.
  box.Line(-5, 0.0, -1, 0.0, Qt::green);
  EXPECT_EQ(img.pixelColor(20, 10), QColor(Qt::green));
  EXPECT_EQ(img.pixelColor(20, 9), QColor(Qt::white));
}

TEST(PictureBox, CircleRadiusIsMeasuredInXUnits) {
  PictureBox box;
  sizeImage(&box, 101, 101);
  box.Scale(0, 0, 50, 100);           // 2 px per x unit, 1 px per y unit
  box.Circle(25, 50, 10, Qt::black);  // 20 px round
  QRect ink = inkBounds(box.image());
  EXPECT_NEAR(ink.width(), 41, 1);
  EXPECT_NEAR(ink.height(), 41, 1);
  EXPECT_NEAR(ink.center().x(), 50, 1);
  EXPECT_NEAR(ink.center().y(), 50, 1);
  EXPECT_FALSE(isInk(box.image().pixel(50, 50)));  // an outline, not a disc
}

TEST(PictureBox, TextMetricsAreInUserUnitsAndPrintPlacesTheTopLeftCorner) {
  PictureBox box;
  sizeImage(&box, 201, 101);
  box.FontName = "arial";
  box.FontSize = 10;
  const double pixelWidth = box.TextWidth("1234");  // default scale: pixels
  const double pixelHeight = box.TextHeight("1234");
  EXPECT_GT(pixelWidth, 20);
  EXPECT_LT(pixelWidth, 40);
  EXPECT_GT(pixelHeight, 10);
  EXPECT_LT(pixelHeight, 20);

  box.Scale(0, 0, 100, 25);  // 2 px per x unit, 4 px per y unit
  EXPECT_DOUBLE_EQ(box.TextWidth("1234"), pixelWidth / 2);
  EXPECT_DOUBLE_EQ(box.TextHeight("1234"), pixelHeight / 4);
  box.FontSize = 20;
  EXPECT_GT(box.TextWidth("1234"), 1.8 * pixelWidth / 2);
  box.FontSize = 10;

  box.CurrentX = 30;
  box.CurrentY = 5;
  box.ForeColor = Qt::black;
  box.Print("1234");
  EXPECT_EQ(box.CurrentX, 0);  // the next line starts at the left edge
  EXPECT_DOUBLE_EQ(box.CurrentY, 5 + pixelHeight / 4);
  QRect ink = inkBounds(box.image());
  ASSERT_FALSE(ink.isEmpty());
  EXPECT_GE(ink.left(), 60);
  EXPECT_LE(ink.left(), 62);
  EXPECT_GE(ink.top(), 20);
  EXPECT_LE(ink.right(), 60 + pixelWidth + 1);
  EXPECT_LE(ink.bottom(), 20 + pixelHeight + 1);

  ASSERT_EQ(box.commands().size(), 1u);
  const PictureCommand& c = box.commands()[0];
  EXPECT_EQ(c.kind, PictureCommand::Kind::Text);
  EXPECT_EQ(c.text, QStringLiteral("1234"));
  EXPECT_EQ(c.x1, 30);
  EXPECT_EQ(c.y1, 5);
  EXPECT_EQ(c.fontName, QStringLiteral("arial"));
  EXPECT_EQ(c.scaleRight, 100);
}

TEST(PictureBox, ClsClearsTheImageAndTheRecord) {
  PictureBox box;
  sizeImage(&box, 50, 50);
  box.Line(0, 0, 49, 49, Qt::black);
  box.CurrentX = 7;
  box.CurrentY = 8;
  box.Cls();
  EXPECT_TRUE(inkBounds(box.image()).isEmpty());
  EXPECT_TRUE(box.commands().empty());
  EXPECT_EQ(box.CurrentX, 0);
  EXPECT_EQ(box.CurrentY, 0);
}

TEST(PictureBox, DrawingSurvivesAResizeOfTheBox) {
  PictureBox box;
  sizeImage(&box, 101, 101);
  box.Scale(0, 0, 10, 10);
  box.Line(0, 5, 10, 5, Qt::black);
  sizeImage(&box, 201, 101);
  EXPECT_TRUE(isInk(box.image().pixel(200, 50)));  // redrawn across the wider image
}

TEST(PictureBox, RenderReplaysTheDrawingSharplyAtAHigherResolution) {
  PictureBox box;
  sizeImage(&box, 100, 80);
  box.Scale(0, 0, 99, 79);
  box.Line(0, 40, 99, 40, Qt::black);
  box.FontSize = 10;
  box.CurrentX = 10;
  box.CurrentY = 10;
  box.Print("Sharp");
  const QRect textInk = inkBounds(box.image().copy(0, 0, 100, 38));

  const int k = 8;
  QImage page(100 * k, 80 * k, QImage::Format_RGB32);
  page.setDotsPerMeterX(3780 * k);
  page.setDotsPerMeterY(3780 * k);
  page.fill(Qt::white);
  QPainter painter(&page);
  box.render(&painter, QRectF(0, 0, page.width(), page.height()));
  painter.end();

  // The line is one picture pixel thick: k device pixels, solid, with clean edges.
  int dark = 0;
  for (int y = 40 * k - 2 * k; y < 40 * k + 2 * k; ++y)
    if (qGray(page.pixel(50 * k, y)) < 64) ++dark;
  EXPECT_NEAR(dark, k, 1);
  // The text covers the same area of the drawing, now drawn with k times the pixels.
  const QRect pageText = inkBounds(page.copy(0, 0, page.width(), 38 * k));
  EXPECT_NEAR(pageText.left(), textInk.left() * k, 2 * k);
  EXPECT_NEAR(pageText.width(), textInk.width() * k, 2 * k);
  EXPECT_NEAR(pageText.height(), textInk.height() * k, 2 * k);
}

}  // namespace
