// A picture box: a drawing surface with a persistent image and user coordinates.
//
// Scale(x1, y1, x2, y2) sets the user coordinates of the top-left (x1, y1) and bottom-right
// (x2, y2) corners of the drawing area; with y1 < y2 larger y values are drawn lower. Line,
// Circle and Print draw at once into the persistent image (paintEvent only shows that image).
// Every drawing call is also recorded in user coordinates, so the same drawing can be replayed
// onto any paint device at any resolution (render), e.g. sharp on a printer page.
//
// Fonts are given in points at the screen's 96 dots per inch; TextWidth and TextHeight measure a
// text with the current font in user units.
#pragma once

#include <QColor>
#include <QFrame>
#include <QImage>
#include <QRectF>
#include <QString>
#include <vector>

class QPainter;

// One recorded drawing call. Coordinates are in the user units of `scale` (x1, y1, x2, y2 as
// left(), top(), right(), bottom() of the rectangle; a rectangle of negative height or width
// describes a flipped axis).
struct PictureCommand {
  enum class Kind { Line, Circle, Text };
  Kind kind = Kind::Line;
  double x1 = 0, y1 = 0;  // Line: start; Circle: centre; Text: top-left corner
  double x2 = 0, y2 = 0;  // Line: end
  double radius = 0;      // Circle: radius in x units
  QColor color;
  QString text;  // Text only
  QString fontName;
  double fontSize = 0;  // points
  bool fontBold = false;
  double scaleLeft = 0, scaleTop = 0, scaleRight = 0, scaleBottom = 0;
};

class PictureBox : public QFrame {
  Q_OBJECT

 public:
  explicit PictureBox(QWidget* parent = nullptr);

  // Drawing state, read by the calls below (VB-style properties).
  double CurrentX = 0;
  double CurrentY = 0;
  QColor ForeColor = Qt::black;
  QString FontName = QStringLiteral("arial");
  double FontSize = 10;  // points
  bool FontBold = false;

  // User coordinates of the drawing area's corners (the centres of the image's corner pixels);
  // the default is image pixels.
  void Scale(double x1, double y1, double x2, double y2);
  double ScaleLeft() const { return syncImageSize(), scaleLeft_; }
  double ScaleTop() const { return syncImageSize(), scaleTop_; }
  double ScaleWidth() const { return syncImageSize(), scaleRight_ - scaleLeft_; }
  double ScaleHeight() const { return syncImageSize(), scaleBottom_ - scaleTop_; }

  // Clears the image and the record; CurrentX and CurrentY return to 0.
  void Cls();
  // A straight segment, one pixel wide.
  void Line(double xa, double ya, double xb, double yb, const QColor& color);
  void Line(double xa, double ya, double xb, double yb) { Line(xa, ya, xb, yb, ForeColor); }
  // A circle outline; r is measured in x units.
  void Circle(double x, double y, double r, const QColor& color);
  void Circle(double x, double y, double r) { Circle(x, y, r, ForeColor); }
  // Prints text with its top-left corner at (CurrentX, CurrentY) in ForeColor and the current
  // font, then moves to the start of the next line (CurrentX = ScaleLeft, CurrentY + height).
  void Print(const QString& text);
  double TextWidth(const QString& text) const;
  double TextHeight(const QString& text) const;

  // The persistent image (the frame's contents) and the record of what was drawn since Cls.
  const QImage& image() const {
    syncImageSize();
    return image_;
  }
  const std::vector<PictureCommand>& commands() const { return commands_; }

  // Replays the drawing onto painter so that the whole drawing area fills target (in the
  // painter's coordinates). Lines keep a width of one image pixel, scaled with the drawing;
  // texts keep their size relative to the drawing. Nothing is filled: the background is left
  // to the caller.
  void render(QPainter* painter, const QRectF& target) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void record(PictureCommand command);
  void drawCommand(QPainter* painter, const PictureCommand& command) const;
  QFont fontFor(const QString& name, double size, bool bold, const QPaintDevice* device) const;
  // Gives the image the size of the frame's contents, redrawing the record into it. A hidden
  // widget gets its resize event only when shown, so every use of the image checks the size.
  void syncImageSize() const;

  mutable QImage image_;
  std::vector<PictureCommand> commands_;
  mutable double scaleLeft_ = 0, scaleTop_ = 0, scaleRight_ = 1, scaleBottom_ = 1;
  bool pixelScale_ = true;  // no Scale call yet: user units are image pixels
};
