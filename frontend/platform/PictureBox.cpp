#include "PictureBox.h"

#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>
#include <cmath>

namespace {

constexpr double kScreenDpi = 96.0;
constexpr int kDotsPerMeter96 = 3780;  // 96 dots per inch

// Maps user coordinates of a command's scale onto image pixels. The first and last pixel
// centres take the scale's corners, so lines on the edges of the drawing area stay visible.
struct PixelMap {
  double ax, bx, ay, by;  // pixel = a * user + b
  PixelMap(const PictureCommand& c, QSize size) {
    double w = std::max(size.width() - 1, 1);
    double h = std::max(size.height() - 1, 1);
    double sw = c.scaleRight - c.scaleLeft;
    double sh = c.scaleBottom - c.scaleTop;
    ax = sw != 0 ? w / sw : 0;
    ay = sh != 0 ? h / sh : 0;
    bx = 0.5 - c.scaleLeft * ax;
    by = 0.5 - c.scaleTop * ay;
  }
  QPointF operator()(double x, double y) const { return {ax * x + bx, ay * y + by}; }
};

}  // namespace

PictureBox::PictureBox(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(1);
  syncImageSize();
}

void PictureBox::Scale(double x1, double y1, double x2, double y2) {
  scaleLeft_ = x1;
  scaleTop_ = y1;
  scaleRight_ = x2;
  scaleBottom_ = y2;
  pixelScale_ = false;
}

void PictureBox::Cls() {
  syncImageSize();
  commands_.clear();
  image_.fill(Qt::white);
  CurrentX = 0;
  CurrentY = 0;
  update();
}

void PictureBox::Line(double xa, double ya, double xb, double yb, const QColor& color) {
  PictureCommand c;
  c.kind = PictureCommand::Kind::Line;
  c.x1 = xa;
  c.y1 = ya;
  c.x2 = xb;
  c.y2 = yb;
  c.color = color;
  record(std::move(c));
}

void PictureBox::Circle(double x, double y, double r, const QColor& color) {
  PictureCommand c;
  c.kind = PictureCommand::Kind::Circle;
  c.x1 = x;
  c.y1 = y;
  c.radius = r;
  c.color = color;
  record(std::move(c));
}

void PictureBox::Print(const QString& text) {
  PictureCommand c;
  c.kind = PictureCommand::Kind::Text;
  c.x1 = CurrentX;
  c.y1 = CurrentY;
  c.text = text;
  c.color = ForeColor;
  double height = TextHeight(text);
  record(std::move(c));
  CurrentX = scaleLeft_;
  CurrentY += height;
}

double PictureBox::TextWidth(const QString& text) const {
  syncImageSize();
  QFontMetricsF fm(fontFor(FontName, FontSize, FontBold, &image_), &image_);
  double unitsPerPixel = ScaleWidth() / std::max(image_.width() - 1, 1);
  return std::abs(fm.horizontalAdvance(text) * unitsPerPixel);
}

double PictureBox::TextHeight(const QString& text) const {
  Q_UNUSED(text);  // one line of text: the font's line height
  syncImageSize();
  QFontMetricsF fm(fontFor(FontName, FontSize, FontBold, &image_), &image_);
  double unitsPerPixel = ScaleHeight() / std::max(image_.height() - 1, 1);
  return std::abs(fm.height() * unitsPerPixel);
}

void PictureBox::render(QPainter* painter, const QRectF& target) const {
  syncImageSize();
  painter->save();
  painter->translate(target.topLeft());
  painter->scale(target.width() / image_.width(), target.height() / image_.height());
  painter->setClipRect(QRectF(0, 0, image_.width(), image_.height()), Qt::IntersectClip);
  painter->setRenderHint(QPainter::Antialiasing, true);
  for (const PictureCommand& c : commands_) drawCommand(painter, c);
  painter->restore();
}

void PictureBox::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter painter(this);
  painter.drawImage(contentsRect().topLeft(), image_);
}

void PictureBox::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  syncImageSize();
}

void PictureBox::record(PictureCommand command) {
  syncImageSize();
  command.fontName = FontName;
  command.fontSize = FontSize;
  command.fontBold = FontBold;
  command.scaleLeft = scaleLeft_;
  command.scaleTop = scaleTop_;
  command.scaleRight = scaleRight_;
  command.scaleBottom = scaleBottom_;
  QPainter painter(&image_);
  drawCommand(&painter, command);
  painter.end();
  commands_.push_back(std::move(command));
  update();
}

void PictureBox::drawCommand(QPainter* painter, const PictureCommand& c) const {
  PixelMap map(c, image_.size());
  // A pen one image pixel wide (not cosmetic), so a replay at a higher resolution keeps the
  // line weight of the picture.
  QPen pen(c.color, 1.0);
  pen.setCapStyle(Qt::SquareCap);
  painter->setPen(pen);
  painter->setBrush(Qt::NoBrush);
  switch (c.kind) {
    case PictureCommand::Kind::Line:
      painter->drawLine(map(c.x1, c.y1), map(c.x2, c.y2));
      break;
    case PictureCommand::Kind::Circle: {
      double r = std::abs(c.radius * map.ax);
      painter->drawEllipse(map(c.x1, c.y1), r, r);
      break;
    }
    case PictureCommand::Kind::Text: {
      painter->setFont(fontFor(c.fontName, c.fontSize, c.fontBold, painter->device()));
      QPointF topLeft = map(c.x1, c.y1) - QPointF(0.5, 0.5);
      painter->drawText(QRectF(topLeft, QSizeF(1e6, 1e6)),
                        Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip,
                        c.text);
      break;
    }
  }
}

QFont PictureBox::fontFor(const QString& name,
                          double size,
                          bool bold,
                          const QPaintDevice* device) const {
  QFont font(name);
  // Sizes are points on the 96-dpi picture; a device of another resolution gets the size that
  // keeps the text the same in image pixels (render() scales those pixels to the device).
  int dpi = device ? device->logicalDpiY() : 0;
  font.setPointSizeF(size * (dpi > 0 ? kScreenDpi / dpi : 1.0));
  font.setBold(bold);
  return font;
}

void PictureBox::syncImageSize() const {
  QSize size = contentsRect().size().expandedTo(QSize(1, 1));
  if (!image_.isNull() && image_.size() == size) return;
  image_ = QImage(size, QImage::Format_RGB32);
  image_.setDotsPerMeterX(kDotsPerMeter96);
  image_.setDotsPerMeterY(kDotsPerMeter96);
  image_.fill(Qt::white);
  if (pixelScale_) {
    scaleLeft_ = 0;
    scaleTop_ = 0;
    scaleRight_ = size.width() - 1;  // one unit a pixel, from pixel centre to pixel centre
    scaleBottom_ = size.height() - 1;
  }
  QPainter painter(&image_);
  for (const PictureCommand& c : commands_) drawCommand(&painter, c);
}
