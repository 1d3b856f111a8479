#include "Form3.h"

#include <QBuffer>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <algorithm>
#include <charconv>

#include "AppWindows.h"
#include "DecimalText.h"
#include "Files.h"
#include "FlexGrid.h"
#include "Fonts.h"
#include "Form2.h"
#include "GraphScale.h"
#include "Module1.h"
#include "PictureBox.h"
#include "Platform.h"
#include "ResultFiles.h"
#include "Twips.h"

namespace {

// Every grid loop of the graphs stops after this many lines, whatever the values.
constexpr int kMaxGridLines = 1000;

const QColor kGridGrey(170, 170, 170);
const QColor kLabelBack(224, 224, 224);
const QString& kTickFont = Fonts::kArial;
const QString& kTitleFont = Fonts::kGothic;

// A rectangle given in twips, as a widget geometry in pixels.
QRect twips(int left, int top, int width, int height) {
  return QRect(
      twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

// The number formats "0", "0.0", "0.000": fixed decimals, rounded, C locale.
QString fixed(double value, int decimals) { return QLocale::c().toString(value, 'f', decimals); }

// The general number form: the shortest decimal text that gives the value back (1234, 567.8).
QString general(double value) {
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (ec != std::errc()) return QString();
  return QString::fromLatin1(buffer, end - buffer).toUpper();
}

// A count bounded by the entries an array holds beyond its unused index 0, so a drawing can
// never read past the values.
template <typename Array>
int bounded(int count, const Array& values) {
  return std::clamp(count, 0, std::max(static_cast<int>(values.size()) - 1, 0));
}

void setPictureFont(PictureBox* p, const QString& name, double size) {
  p->FontName = name;
  p->FontSize = size;
}

QLabel* makeLabel(QWidget* parent, const QString& text, const QRect& geometry) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(geometry);
  label->setAutoFillBackground(true);
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window, kLabelBack);
  label->setPalette(palette);
  return label;
}

QPushButton* makeButton(QWidget* parent, const QString& text, const QRect& geometry) {
  auto* button = new QPushButton(text, parent);
  button->setGeometry(geometry);
  return button;
}

}  // namespace

Form3::Form3(AppWindows& windows, QWidget* parent)
    : FormWindow(parent), windows_(windows), platform_(windows.platform) {
  Fonts::installSubstitutions();
  resize(twipsToPixels(12780), twipsToPixels(11025));

  Label8 = makeLabel(this, QStringLiteral("プロジェクト名："), twips(360, 360, 1935, 375));
  Label7 = makeLabel(this, QString(), twips(2400, 360, 9495, 375));
  Label1 =
      makeLabel(this, QStringLiteral("解析たわみと測定たわみの比"), twips(720, 1080, 3255, 285));
  Label2 =
      makeLabel(this, QStringLiteral("解析たわみと測定たわみ(μｍ)"), twips(6360, 1080, 3255, 285));
  Label3 = makeLabel(this, QStringLiteral("弾性係数  "), twips(600, 6360, 2415, 375));
  Label6 = makeLabel(this, QStringLiteral("評価関数と計算回数"), twips(9120, 6360, 2415, 375));
  Label4 = makeLabel(this, QStringLiteral("たわみ"), twips(600, 8040, 885, 285));

  Picture1 = new PictureBox(this);
  Picture1->setGeometry(twips(720, 1440, 5535, 4575));
  Picture2 = new PictureBox(this);
  Picture2->setGeometry(twips(6360, 1440, 5655, 4575));

  // The grids in "ＭＳ Ｐゴシック"; FG3 has a fixed header row and no fixed column.
  auto makeGrid = [this](const QRect& geometry) {
    auto* grid = new FlexGrid(this);
    grid->setGeometry(geometry);
    grid->setFont(QFont(Fonts::kPGothic));
    return grid;
  };
  FG1 = makeGrid(twips(480, 6840, 7575, 855));
  FG3 = makeGrid(twips(9120, 6840, 2895, 855));
  FG3->setFixedCols(0);
  FG2 = makeGrid(twips(600, 8520, 11055, 1455));

  Command5 = makeButton(this, QStringLiteral("印刷"), twips(6840, 10200, 1575, 615));
  Command6 = makeButton(this, QStringLiteral("マニュアル"), twips(8760, 10200, 1575, 615));
  Command4 = makeButton(this, QStringLiteral("<< 戻る"), twips(10680, 10200, 735, 615));
  Command3 = makeButton(this, QStringLiteral("終了"), twips(11760, 10200, 735, 615));
  Command1 = makeButton(this, QStringLiteral("表示"), twips(360, 10200, 735, 615));
  Command2 = makeButton(this, QStringLiteral("表示"), twips(1200, 10200, 735, 615));
  connect(Command1, &QPushButton::clicked, this, &Form3::Command1_Click);
  connect(Command2, &QPushButton::clicked, this, &Form3::Command2_Click);
  connect(Command3, &QPushButton::clicked, this, &Form3::Command3_Click);
  connect(Command4, &QPushButton::clicked, this, &Form3::Command4_Click);
  connect(Command5, &QPushButton::clicked, this, &Form3::Command5_Click);
  connect(Command6, &QPushButton::clicked, this, &Form3::Command6_Click);
}

void Form3::Command1_Click() {
  PictureBox* p = Picture1;
  const int ni = bounded(IterationCount, MatchHistory);
  int ns = std::min<int>(ResultSensorCount, ResultFiles::kMaxSensors);
  for (const std::vector<double>& row : MatchHistory) ns = std::min(ns, bounded(ns, row));
  ConvergenceXMax = AxisMaximum(5, IterationCount);
  p->Cls();
  p->Scale(-5, -0.2, ConvergenceXMax, 1.2);

  // Horizontal grid with the match-value labels left of the y axis (none on the top line).
  int lines = 0;
  for (double y = -0.2; y <= 1.02 && lines < kMaxGridLines; y += 0.2, ++lines) {
    p->Line(0, y, ConvergenceXMax, y, kGridGrey);
    setPictureFont(p, kTickFont, 10);
    QString label = fixed(y, 1);
    p->CurrentX = -p->TextWidth(label) - 0.5;
    p->CurrentY = y - p->TextHeight(label) / 2;
    if (y != -0.2) p->Print(label);
  }
  // Vertical grid every 5 iterations with labels below the x axis (none on the last line).
  lines = 0;
  for (double x = 0; x <= ConvergenceXMax + 0.5 && lines < kMaxGridLines; x += 5, ++lines) {
    p->Line(x, -0.2, x, 1.0, kGridGrey);
    QString label = fixed(x, 0);
    p->CurrentX = x - p->TextWidth(label) / 2;
    p->CurrentY = 1.02;
    setPictureFont(p, kTickFont, 10);
    if (x != ConvergenceXMax) p->Print(label);
  }
  p->Line(0, 1.0, ConvergenceXMax, 1.0, Qt::black);
  p->Line(0, -0.2, 0, 1.0, Qt::black);

  setPictureFont(p, kTitleFont, 10);
  const QString title = QStringLiteral("収束までの計算回数");
  p->CurrentX = (ConvergenceXMax - p->TextWidth(title)) * 0.5;
  p->CurrentY = 1.1;
  p->Print(title);

  // Legend: one line per sensor at the right edge, in the sensor's curve colour.
  setPictureFont(p, kTickFont, 10);
  for (int j = 1; j <= ns; ++j) {
    p->CurrentX = ConvergenceXMax - 4 * p->TextWidth("000");
    p->CurrentY = (j - 3) * p->TextHeight("000");
    p->ForeColor = CurveColours[j];
    p->Print(QStringLiteral("S%1").arg(j));
    p->ForeColor = Qt::black;
  }

  const double r = p->TextWidth("0") * 0.2;
  for (int j = 1; j <= ns; ++j) {
    const QColor& colour = CurveColours[j];
    for (int i = 1; i <= ni - 1; ++i) {
      p->Line(i, MatchHistory[i][j], i + 1, MatchHistory[i + 1][j], colour);
    }
    for (int i = 1; i <= ni; ++i) p->Circle(i, MatchHistory[i][j], r, colour);
  }
}

void Form3::Command2_Click() {
  PictureBox* p = Picture2;
  const int ns = std::min({bounded(ResultSensorCount, SensorPositions),
                           bounded(ResultSensorCount, MeasuredDeflections),
                           bounded(ResultSensorCount, AnalysedDeflections)});
  double largestPosition = ns >= 1 ? SensorPositions[1] : 0;
  double d = ns >= 1 ? MeasuredDeflections[1] : 0;
  for (int j = 1; j <= ns; ++j) {
    largestPosition = std::max(largestPosition, SensorPositions[j]);
    d = std::max({d, MeasuredDeflections[j], AnalysedDeflections[j]});
  }
  const double xmax = AxisMaximum(20, largestPosition);
  const double ystep = TickStep(d);
  const double ymax = AxisMaximum(ystep, d);

  DeflectionXMargin = -xmax / 7.7;
  DeflectionYMargin = -ymax / 6.4;
  p->Cls();
  p->Scale(DeflectionXMargin, DeflectionYMargin, xmax, ymax);

  // Horizontal grid with deflection labels left of the y axis (none on the bottom line), with the
  // decimals that the step needs.
  const int decimals = LabelDecimals(ystep);
  int lines = 0;
  for (double y = 0; y <= ymax + 0.1 * ystep && lines < kMaxGridLines; y += ystep, ++lines) {
    p->Line(0, y, xmax, y, kGridGrey);
    setPictureFont(p, kTickFont, 10);
    QString label = fixed(y, decimals);
    p->CurrentX = -p->TextWidth(label) - 0.01 * xmax;
    p->CurrentY = y - p->TextHeight(label) / 2;
    if (y != ymax) p->Print(label);
  }
  // Vertical grid every 20 cm with position labels above the top axis (none on the last line).
  lines = 0;
  for (double x = 0; x <= xmax + 2 && lines < kMaxGridLines; x += 20, ++lines) {
    p->Line(x, 0, x, ymax, kGridGrey);
    setPictureFont(p, kTickFont, 10);
    QString label = fixed(x, 0);
    p->CurrentX = x - p->TextWidth(label) / 2;
    p->CurrentY = -p->TextHeight(label) - 0.01 * ymax;
    if (x != xmax) p->Print(label);
  }
  p->Line(0, 0, 0, ymax, Qt::black);
  p->Line(0, 0, xmax, 0, Qt::black);

  setPictureFont(p, kTitleFont, 10);
  const QString title = QStringLiteral("測定位置 (cm)");
  p->CurrentX = (xmax - p->TextWidth(title)) * 0.5;
  p->CurrentY = DeflectionYMargin + 0.01 * ymax;
  p->Print(title);

  const QString measured = QStringLiteral("測定たわみ");
  p->CurrentX = xmax - 2.5 * p->TextWidth(measured);
  p->CurrentY = ymax - 6 * p->TextHeight(measured);
  p->ForeColor = QColor(0, 0, 255);
  p->Print(measured);
  p->ForeColor = Qt::black;
  const QString analysed = QStringLiteral("解析たわみ");
  p->CurrentX = xmax - 2.5 * p->TextWidth(analysed);
  p->CurrentY = ymax - 4.5 * p->TextHeight(analysed);
  p->ForeColor = QColor(255, 0, 0);
  p->Print(analysed);
  p->ForeColor = Qt::black;

  // Basins joined in the order of the sensors, then the markers.
  for (int j = 1; j <= ns - 1; ++j) {
    p->Line(SensorPositions[j],
            MeasuredDeflections[j],
            SensorPositions[j + 1],
            MeasuredDeflections[j + 1],
            QColor(0, 0, 255));
    p->Line(SensorPositions[j],
            AnalysedDeflections[j],
            SensorPositions[j + 1],
            AnalysedDeflections[j + 1],
            QColor(255, 0, 0));
  }
  const double r = p->TextWidth("0") * 0.5;
  for (int j = 1; j <= ns; ++j) {
    p->Circle(SensorPositions[j], MeasuredDeflections[j], r, QColor(0, 0, 255));
    p->Circle(SensorPositions[j], AnalysedDeflections[j], r, QColor(255, 0, 0));
  }
}

void Form3::Command5_Click() {
  const PrintResult printed =
      platform_.print(ProjectName, Module1::AppTitle, [this](QPagedPaintDevice* device) {
        return printPage(device);
      });
  if (printed == PrintResult::kNoPrinter) {
    savePageAsPdf();
    return;
  }
  if (printed == PrintResult::kNoAnswer) {
    // A print system is set up but did not answer: the user is told before the PDF file is
    // offered, not left to wonder why no page came out.
    platform_.messageBox(
        this,
        QStringLiteral("プリンターに接続できません。印刷のページをPDFファイルとして保存します。"),
        MsgStyle::kExclamation,
        QStringLiteral("Error"));
    savePageAsPdf();
    return;
  }
  if (printed == PrintResult::kRefused) {
    platform_.messageBox(this,
                         QStringLiteral("プリンターが使用できません。印刷を中止しました。"),
                         MsgStyle::kExclamation,
                         QStringLiteral("Error"));
  }
}

void Form3::savePageAsPdf() {
  // Offered: the project's name in the folder of the data file, else in the working folder.
  QString folder = platform_.programFolder();
  if (windows_.form2 && !windows_.form2->InputPath.isEmpty()) {
    folder = QFileInfo(windows_.form2->InputPath).absolutePath();
  }
  const QString offered =
      folder + QLatin1Char('/') +
      (ProjectName.isEmpty() ? QString() : ProjectName + QStringLiteral(".pdf"));
  QString path = platform_.saveFileName(this,
                                        QStringLiteral("保存するPDFファイルを指定してください"),
                                        offered,
                                        QStringLiteral("PDF(*.pdf)"));
  if (path.isEmpty()) return;
  // Every name that does not end in ".pdf" gets it: station names hold dots ("R1.5km", "No.3"),
  // and a PDF file named "kekka.txt" would be taken for a text file. The question below is about
  // the file that is written.
  if (!path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) path += QStringLiteral(".pdf");
  if (QFileInfo::exists(path)) {
    const int answer = platform_.messageBox(
        this,
        QStringLiteral("同じ名前のPDFファイルが既にあります。上書きしますか？\n") + path,
        MsgStyle::kYesNoInfo,
        QStringLiteral("Information"));
    if (answer != MsgAnswer::kYes) return;
  }

  // The whole page is made in memory, then written under a temporary name in the file's folder
  // and renamed over it: the file is complete or absent, and an earlier one stays until then.
  QBuffer pdf;
  pdf.open(QIODevice::WriteOnly);
  bool painted = false;
  {
    QPdfWriter writer(&pdf);
    writer.setTitle(ProjectName);
    writer.setCreator(Module1::AppTitle);
    painted = printPage(&writer);
  }
  QString error;
  if (!painted || !Files::writeFileReplacing(path, pdf.data(), &error)) {
    platform_.messageBox(this,
                         QStringLiteral("PDFファイルを保存できませんでした。\n") + path +
                             (error.isEmpty() ? QString() : QLatin1Char('\n') + error),
                         MsgStyle::kCritical,
                         QStringLiteral("Error"));
  }
}

bool Form3::printPage(QPagedPaintDevice* device) {
  device->setPageSize(QPageSize(QPageSize::A4));
  device->setPageOrientation(QPageLayout::Portrait);
  QPainter painter;
  if (!painter.begin(device)) return false;
  // Draw in twips from the top-left corner of the printable area.
  const double unit = device->logicalDpiY() / 1440.0;
  painter.scale(unit, unit);
  auto text = [&](int x, int y, const QString& s) {
    painter.drawText(QRectF(x, y, 1e5, 1e5),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip,
                     s);
  };
  // Sizes in points as font heights in twips (20 twips a point): the painter draws in twips.
  QFont font(kTitleFont);
  auto setSize = [&](int points) {
    font.setPixelSize(points * 20);
    painter.setFont(font);
  };
  painter.setPen(Qt::black);

  // The title line at 16 points, or at the largest size at which it fits in the printable width
  // from its left edge: a long name is drawn whole, never cut at the paper's edge.
  setSize(16);
  font.setBold(true);
  painter.setFont(font);
  const QString title = QStringLiteral("プロジェクト名：") + ProjectName;
  const double titleRoom = device->width() * 1440.0 / device->logicalDpiX() - 1000;
  auto titleWidth = [&] { return QFontMetricsF(font, device).horizontalAdvance(title); };
  if (titleWidth() > titleRoom) {
    // Proportional first, then down by a twentieth of a point until it fits.
    font.setPixelSize(std::max(1, static_cast<int>(font.pixelSize() * titleRoom / titleWidth())));
    while (font.pixelSize() > 1 && titleWidth() > titleRoom)
      font.setPixelSize(font.pixelSize() - 1);
    painter.setFont(font);
  }
  text(1000, 120, title);
  font.setBold(false);
  setSize(14);
  text(1500, 700, QStringLiteral("・グラフ "));

  // The frames: plain solid outlines one screen pixel wide.
  QPen framePen(Qt::black, kTwipsPerPixel);
  framePen.setJoinStyle(Qt::MiterJoin);
  auto frame = [&](int x1, int y1, int x2, int y2) {
    painter.setPen(framePen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(x1, y1, x2 - x1, y2 - y1));
    painter.setPen(Qt::black);
  };
  // A picture's image at its own size: the drawing inside the picture box's border, which is
  // what lies within the frame.
  auto image = [&](const PictureBox* picture, int x, int y) {
    const QSize size = picture->image().size();
    picture->render(&painter,
                    QRectF(x, y, pixelsToTwips(size.width()), pixelsToTwips(size.height())));
  };
  frame(2850, 1320, 8410, 5920);
  setSize(12);
  text(4100, 1020, QStringLiteral("解析たわみと測定たわみの比"));
  image(Picture1, 2900, 1330);
  frame(2800, 6820, 8490, 11390);
  text(4100, 6470, QStringLiteral("解析たわみと測定たわみ(μｍ)"));
  image(Picture2, 2850, 6830);

  setSize(14);
  text(1500, 11700, QStringLiteral("・解析結果"));
  setSize(12);
  text(2500, 12100, QStringLiteral("評価関数(cm)：") + EvaluationText);
  text(2500, 12600, QStringLiteral("計算回数：") + QString::number(IterationCount));
  QString layers;
  QString moduli = QStringLiteral("弾性係数(MPa): ");
  for (int i = 1; i <= ResultLayerCount; ++i) {
    layers += QStringLiteral("E%1").arg(i);
    moduli += general(LayerModuli[i]);
    if (i < ResultLayerCount) {
      layers += QStringLiteral("      ");
      moduli += QStringLiteral("    ");
    }
  }
  text(4400, 12900, layers);
  text(2500, 13200, moduli);

  return painter.end();
}

QString Form3::programFile(const QString& name) const {
  return Module1::ProgramFile(platform_, name);
}

void Form3::fillGrids() {
  auto centre = [](FlexGrid* grid, int row, int col) {
    grid->setRow(row);
    grid->setCol(col);
    grid->setCellAlignment(FlexGrid::kAlignCenterCenter);
  };

  // Layer moduli, laid out across.
  FG1->setCols(ResultLayerCount + 1);
  FG1->setRows(2);
  FG1->setTextMatrix(1, 0, QStringLiteral("弾性係数(MPa)"));
  FG1->setRowHeight(0, 300);
  FG1->setRowHeight(1, 350);
  for (int col = 0; col <= ResultLayerCount; ++col) {
    if (col == 0) FG1->setColWidth(0, 1600);
    centre(FG1, 0, col);
    if (col >= 1) {
      FG1->setTextMatrix(0, col, QStringLiteral("E%1").arg(col));
      FG1->setColWidth(col, 1200);
    }
  }
  for (int i = 1; i <= ResultLayerCount; ++i) {
    centre(FG1, 1, i);
    FG1->setTextMatrix(1, i, DecimalText::fixed(LayerModuliText[i], 0, 1));
    FG1->setCellBackColor(QColor(255, 255, 255));
  }

  // Deflections and the match of the last iteration, laid out across. The file's deflections are
  // in cm: micrometres move the decimal point four places.
  constexpr int kCmToMicrometres = 4;  // decimal places
  FG2->setCols(ResultSensorCount + 1);
  FG2->setRows(4);
  FG2->setRowHeight(0, 300);
  const QString rowTitles[] = {
      QStringLiteral("測定たわみ(μm)"), QStringLiteral("解析たわみ(μm)"), QStringLiteral("一致度")};
  for (int row = 1; row <= 3; ++row) {
    FG2->setTextMatrix(row, 0, rowTitles[row - 1]);
    centre(FG2, row, 0);
    FG2->setRowHeight(row, 300);
  }
  for (int col = 0; col <= ResultSensorCount; ++col) {
    if (col == 0) FG2->setColWidth(0, 1600);
    centre(FG2, 0, col);
    if (col >= 1) {
      FG2->setTextMatrix(0, col, QStringLiteral("S%1").arg(col));
      FG2->setColWidth(col, 900);
    }
  }
  for (int i = 1; i <= ResultSensorCount; ++i) {
    centre(FG2, 1, i);
    FG2->setTextMatrix(1, i, DecimalText::fixed(MeasuredDeflectionsText[i], kCmToMicrometres, 1));
    centre(FG2, 2, i);
    FG2->setTextMatrix(2, i, DecimalText::fixed(AnalysedDeflectionsText[i], kCmToMicrometres, 1));
    centre(FG2, 3, i);
    FG2->setTextMatrix(3, i, DecimalText::fixed(MatchHistoryText[IterationCount][i], 0, 3));
  }

  // Evaluation value and iteration count.
  FG3->setCols(2);
  FG3->setColWidth(0, 1450);
  FG3->setColWidth(1, 1400);
  FG3->setRowHeight(0, 300);
  FG3->setRowHeight(1, 400);
  FG3->setTextMatrix(0, 0, QStringLiteral("評価関数(cm)"));
  FG3->setTextMatrix(0, 1, QStringLiteral("計算回数"));
  FG3->setTextMatrix(1, 0, EvaluationText);
  FG3->setTextMatrix(1, 1, QString::number(IterationCount));
  for (int row = 0; row <= 1; ++row)
    for (int col = 0; col <= 1; ++col) centre(FG3, row, col);
}

void Form3::Form_Load() {
  // Every showing starts from nothing: a failed check leaves the window empty.
  loaded_ = false;
  ProjectName.clear();
  ResultLayerCount = ResultSensorCount = IterationCount = 0;
  SensorPositions.clear();
  LayerModuli.clear();
  EvaluationText.clear();
  MeasuredDeflections.clear();
  AnalysedDeflections.clear();
  MatchHistory.clear();
  LayerModuliText.clear();
  MeasuredDeflectionsText.clear();
  AnalysedDeflectionsText.clear();
  MatchHistoryText.clear();

  removeCloseCommand();
  Command1->hide();
  Command2->hide();
  setWindowTitle(Module1::AppTitle + QStringLiteral(" - 結果の表示"));

  const QString inputMissing = QStringLiteral("入力ファイルが見当たりません。確認してください！");
  const QString reportMissing =
      QStringLiteral("解析結果ファイルが見当たりません。確認してください！");
  const QString runFailed = QStringLiteral("解析が失敗した可能性があります。確認してください！");
  auto fail = [&](const QString& message) {
    platform_.messageBox(this, message, MsgStyle::kOk, QString());
  };
  const struct {
    const char* name;
    const QString& message;
  } checks[] = {{"inp.dat", inputMissing},
                {"out1.dat", reportMissing},
                {"MODULI.OUT", runFailed},
                {"DEF.OUT", runFailed}};
  for (const auto& check : checks) {
    if (Module1::FileState(programFile(QString::fromLatin1(check.name))) == -1) {
      fail(check.message);
      return;
    }
  }

  // A present file that cannot be read in full (empty, cut short, a value that is not a finite
  // number, impossible counts) gets the message of a missing one.
  QString name;
  if (!ResultFiles::readProjectName(programFile("inp.dat"), &name)) {
    fail(inputMissing);
    return;
  }
  ResultFiles::ModuliResults moduli;
  if (!ResultFiles::readModuli(programFile("MODULI.OUT"), &moduli)) {
    fail(runFailed);
    return;
  }
  ResultFiles::DeflectionResults deflections;
  if (!ResultFiles::readDeflections(
          programFile("DEF.OUT"), moduli.sensorCount, moduli.iterationCount, &deflections)) {
    fail(runFailed);
    return;
  }

  ProjectName = name;
  ResultLayerCount = moduli.layerCount;
  ResultSensorCount = moduli.sensorCount;
  SensorPositions = std::move(moduli.sensorPositions);
  LayerModuli = std::move(moduli.layerModuli);
  IterationCount = moduli.iterationCount;
  EvaluationText = moduli.evaluationText;
  MeasuredDeflections = std::move(deflections.measured);
  AnalysedDeflections = std::move(deflections.analysed);
  MatchHistory = std::move(deflections.match);
  LayerModuliText = std::move(moduli.layerModuliText);
  MeasuredDeflectionsText = std::move(deflections.measuredText);
  AnalysedDeflectionsText = std::move(deflections.analysedText);
  MatchHistoryText = std::move(deflections.matchText);
  loaded_ = true;

  Label7->setText(ProjectName);
  fillGrids();

  // clang-format off
  const int colours[20][3] = {
      {0, 0, 128},     {255, 0, 255},   {255, 100, 0},   {0, 255, 255},   {128, 0, 128},
      {120, 0, 0},     {0, 128, 128},   {0, 0, 255},     {0, 204, 255},   {150, 180, 255},
      {204, 255, 204}, {255, 255, 153}, {153, 204, 255}, {255, 153, 204}, {204, 153, 255},
      {255, 204, 153}, {51, 102, 255},  {51, 204, 204},  {153, 204, 0},   {255, 255, 128}};
  // clang-format on
  for (int j = 1; j <= 20; ++j) {
    CurveColours[j] = QColor(colours[j - 1][0], colours[j - 1][1], colours[j - 1][2]);
  }

  Command1_Click();
  Command2_Click();
}

void Form3::Command3_Click() { Module1::ConfirmExit(platform_, this); }

void Form3::Command4_Click() {
  const int answer = platform_.messageBox(this,
                                          QStringLiteral("入力データを更新しますか？"),
                                          MsgStyle::kYesNoInfo,
                                          QStringLiteral("Information"));
  windows_.loadForm2()->ReturnFromResults(answer == MsgAnswer::kYes);

  // Unload: every value goes with the window; the next showing loads it afresh.
  if (windows_.form3 == this) windows_.form3 = nullptr;
  hide();
  deleteLater();
  windows_.showForm2();
}

void Form3::Command6_Click() {
  Module1::OpenDocument(platform_, programFile(Module1::kManualName));
}

void ShowForm3(AppWindows& windows) {
  if (!windows.form3) {
    windows.form3 = new Form3(windows);
    windows.form3->Form_Load();
  }
  windows.form3->show();
}
