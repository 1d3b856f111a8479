#include "Form2.h"

#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>

#include "AppWindows.h"
#include "FlexGrid.h"
#include "Fonts.h"
#include "Module1.h"
#include "Platform.h"
#include "TextBox.h"
#include "Twips.h"
#include "UpDown.h"

namespace {

// A count label: the number with a leading blank (the sign position) and the suffix: " 2層".
QString countLabel(int n, const QString& suffix) {
  return QLatin1Char(' ') + QLocale::c().toString(n) + suffix;
}

QPushButton* makeButton(QWidget* parent, const QString& caption, int x, int y, int w, int h) {
  auto* b = new QPushButton(caption, parent);
  b->setGeometry(x, y, w, h);
  return b;
}

QLabel* makeLabel(QWidget* parent, const QString& caption, int x, int y, int w, int h) {
  auto* l = new QLabel(caption, parent);
  l->setGeometry(x, y, w, h);
  return l;
}

FlexGrid* makeGrid(QGroupBox* frame, int w, int h) {
  auto* g = new FlexGrid(frame);
  g->setGeometry(10, 22, w, h);
  return g;
}

// The floating cell editor of a grid: light yellow, hidden until an edit starts.
TextBox* makeCellEditor(QGroupBox* frame) {
  auto* box = new TextBox(frame);
  box->setFrame(false);
  box->setTakesTab(true);
  QPalette pal = box->palette();
  pal.setColor(QPalette::Base, QColor(255, 255, 128));
  box->setPalette(pal);
  box->hide();
  return box;
}

}  // namespace

Form2::Form2(AppWindows& windows, QWidget* parent) : FormWindow(parent), windows_(windows) {
  buildControls();
  connectControls();
  connectActions();
}

Form2::~Form2() = default;

void Form2::buildControls() {
  setFont(QFont(Fonts::kPGothic, 9));
  setFixedSize(890, 600);

  Option1 = new QRadioButton(QStringLiteral("既存データを読み込む"), this);
  Option1->setGeometry(20, 12, 170, 24);
  Option2 = new QRadioButton(QStringLiteral("新規データ作成"), this);
  Option2->setGeometry(200, 12, 150, 24);

  Label4 = makeLabel(this, QStringLiteral("プロジェクト名"), 380, 12, 90, 24);
  Text4 = new TextBox(this);
  Text4->setGeometry(470, 12, 400, 24);

  struct CountRow {
    QLabel** label;
    TextBox** box;
    UpDown** spin;
    const char* caption;
    int x;
  };
  const CountRow counts[] = {
      {&Label1, &Text1, &UpDown1, "層　数", 20},
      {&Label2, &Text2, &UpDown2, "センサー数", 180},
      {&Label3, &Text3, &UpDown3, "全データ数", 340},
  };
  for (const CountRow& c : counts) {
    *c.label = makeLabel(this, QString::fromUtf8(c.caption), c.x, 50, 70, 24);
    *c.box = new TextBox(this);
    (*c.box)->setGeometry(c.x + 72, 50, 44, 24);
    (*c.box)->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // The spin button alone sets a count, so the box never holds a text outside its range.
    (*c.box)->setReadOnly(true);
    (*c.box)->setText(QStringLiteral("0"));
    *c.spin = new UpDown(this);
    (*c.spin)->setGeometry(c.x + 116, 50, 18, 24);
  }

  Text5 = new TextBox(this);
  Text7 = new TextBox(this);
  Text8 = new TextBox(this);
  Text9 = new TextBox(this);
  int hidden_x = 520;
  for (TextBox* box : {Text5, Text7, Text8, Text9}) {
    box->setGeometry(hidden_x, 50, 80, 24);
    hidden_x += 90;
  }

  // Grids sized to show their largest contents (5 layers, 10 sensors, 10 data sets) whole.
  Frame1 = new QGroupBox(QStringLiteral("層特性"), this);
  Frame1->setGeometry(10, 88, 400, 150);
  FG1 = makeGrid(Frame1, 380, 118);
  Frame4 = new QGroupBox(QStringLiteral("基準荷重と載荷板半径"), this);
  Frame4->setGeometry(420, 88, 260, 76);
  FG4 = makeGrid(Frame4, 240, 44);
  Frame2 = new QGroupBox(QStringLiteral("センサー位置(cm)"), this);
  Frame2->setGeometry(10, 246, 680, 76);
  FG2 = makeGrid(Frame2, 660, 44);
  Frame3 = new QGroupBox(QStringLiteral("載荷荷重(kN)とセンサー位置のたわみ(μm)"), this);
  Frame3->setGeometry(10, 330, 680, 258);
  FG3 = makeGrid(Frame3, 660, 226);
  for (FlexGrid* g : {FG1, FG2, FG3, FG4}) g->setFont(QFont(Fonts::kPGothic, 9));
  FG1->setCols(6);
  FG4->setFixedCols(0);
  T1 = makeCellEditor(Frame1);
  T2 = makeCellEditor(Frame2);
  T3 = makeCellEditor(Frame3);
  T4 = makeCellEditor(Frame4);

  const int bx = 710;
  const int bw = 160;
  const int bh = 36;
  Command1 = makeButton(this, QStringLiteral("データ読込"), bx, 96, bw, bh);
  Command2 = makeButton(this, QStringLiteral("データ保存"), bx, 142, bw, bh);
  Command5 = makeButton(this, QStringLiteral("解析"), bx, 188, bw, bh);
  Command6 = makeButton(this, QStringLiteral("結果表示"), bx, 234, bw, bh);
  Command4 = makeButton(this, QStringLiteral("クリア"), bx, 440, bw, bh);
  Command7 = makeButton(this, QStringLiteral("マニュアル"), bx, 486, bw, bh);
  Command3 = makeButton(this, QStringLiteral("終了"), bx, 532, bw, bh);
  for (QPushButton* b : {Command1, Command2, Command5, Command6}) b->setEnabled(false);
}

void Form2::connectControls() {
  connect(Option1, &QRadioButton::toggled, this, [this](bool on) {
    if (on) Option1_Click();
  });
  connect(Option2, &QRadioButton::toggled, this, [this](bool on) {
    if (on) Option2_Click();
  });
  connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
  connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
  connect(Command7, &QPushButton::clicked, this, [this] { Command7_Click(); });
  connect(UpDown1, &UpDown::change, this, [this] { UpDown1_Change(); });
  connect(UpDown2, &UpDown::change, this, [this] { UpDown2_Change(); });
  connect(UpDown3, &UpDown::change, this, [this] { UpDown3_Change(); });
  // What the user can change after a save: the counts, the project name and every cell (typed
  // through the cell editors, emptied with Delete, or changed any other way).
  for (UpDown* spin : {UpDown1, UpDown2, UpDown3})
    connect(spin, &UpDown::change, this, [this] { dataEdited(); });
  connect(Text4, &TextBox::textChanged, this, [this] { dataEdited(); });
  for (FlexGrid* grid : {FG1, FG2, FG3, FG4})
    connect(grid, &FlexGrid::cellChanged, this, [this] { dataEdited(); });

  connect(FG1, &FlexGrid::keyPress, this, [this](int c) { FG1_KeyPress(c); });
  connect(FG1, &FlexGrid::keyDown, this, [this](int k, int s) { FG1_KeyDown(k, s); });
  connect(FG1, &FlexGrid::leaveCell, this, [this] { FG1_LeaveCell(); });
  connect(FG1, &FlexGrid::gotFocus, this, [this] { GridFocusCommit1(); });
  connect(T1, &TextBox::textChanged, this, [this] { T1_Change(); });
  connect(T1, &TextBox::keyPress, this, [this](int* c) { T1_KeyPress(c); });
  connect(T1, &TextBox::keyDown, this, [this](int k, int s) { T1_KeyDown(k, s); });

  connect(FG2, &FlexGrid::keyPress, this, [this](int c) { FG2_KeyPress(c); });
  connect(FG2, &FlexGrid::keyDown, this, [this](int k, int s) { FG2_KeyDown(k, s); });
  connect(FG2, &FlexGrid::leaveCell, this, [this] { FG2_LeaveCell(); });
  connect(FG2, &FlexGrid::gotFocus, this, [this] { GridFocusCommit2(); });
  connect(T2, &TextBox::textChanged, this, [this] { T2_Change(); });
  connect(T2, &TextBox::keyPress, this, [this](int* c) { T2_KeyPress(c); });
  connect(T2, &TextBox::keyDown, this, [this](int k, int s) { T2_KeyDown(k, s); });

  connect(FG3, &FlexGrid::keyPress, this, [this](int c) { FG3_KeyPress(c); });
  connect(FG3, &FlexGrid::keyDown, this, [this](int k, int s) { FG3_KeyDown(k, s); });
  connect(FG3, &FlexGrid::leaveCell, this, [this] { FG3_LeaveCell(); });
  connect(FG3, &FlexGrid::gotFocus, this, [this] { GridFocusCommit3(); });
  connect(T3, &TextBox::textChanged, this, [this] { T3_Change(); });
  connect(T3, &TextBox::keyPress, this, [this](int* c) { T3_KeyPress(c); });
  connect(T3, &TextBox::keyDown, this, [this](int k, int s) { T3_KeyDown(k, s); });

  connect(FG4, &FlexGrid::keyPress, this, [this](int c) { FG4_KeyPress(c); });
  connect(FG4, &FlexGrid::keyDown, this, [this](int k, int s) { FG4_KeyDown(k, s); });
  connect(FG4, &FlexGrid::leaveCell, this, [this] { FG4_LeaveCell(); });
  connect(FG4, &FlexGrid::gotFocus, this, [this] { GridFocusCommit4(); });
  connect(T4, &TextBox::textChanged, this, [this] { T4_Change(); });
  connect(T4, &TextBox::keyPress, this, [this](int* c) { T4_KeyPress(c); });
  connect(T4, &TextBox::keyDown, this, [this](int k, int s) { T4_KeyDown(k, s); });
}

void Form2::Form_Load() {
  removeCloseCommand();
  ClearMode = QStringLiteral("0");
  DataOrigin = 0;
  setWindowTitle(Module1::AppTitle + QStringLiteral(" - 初期設定"));
  for (TextBox* box : {Text5, Text7, Text8, Text9}) box->hide();
  ResetEditor();
}

void Form2::ResetEditor() {
  // The callers set the buttons themselves: what is written here is no edit of saved data.
  saved_ = false;
  dataFileWritten_ = false;
  // An edit under way ends with the grids it edits: a box left open would go on writing into the
  // erased (and perhaps disabled) grid.
  EndCellEdits();
  Option1->setEnabled(true);
  Option2->setEnabled(true);
  for (QWidget* w :
       std::initializer_list<QWidget*>{UpDown1, UpDown2, UpDown3, FG1, FG2, FG3, FG4}) {
    w->setEnabled(false);
  }

  // The fixed texts are written through the current cell, which is left on the last one written.
  FG1->clear();
  FG1->setColWidth(0, 500);
  FG1->setColWidth(1, 500);
  FG1->setColWidth(2, 1400);
  FG1->setColWidth(5, 1000);
  const QString layer_headers[] = {QStringLiteral("固定"),
                                   QStringLiteral("弾性係数(MPa)"),
                                   QStringLiteral("ﾎﾟｱｿﾝ比"),
                                   QStringLiteral("層厚(cm)"),
                                   QStringLiteral("層間すべり率")};
  FG1->setRow(0);
  for (int c = 1; c <= 5; ++c) {
    FG1->setCol(c);
    FG1->setText(layer_headers[c - 1]);
  }

  FG2->clear();
  FG2->setColWidth(0, 1400);
  FG2->setRow(1);
  FG2->setCol(0);
  FG2->setText(QStringLiteral("センサー位置"));

  FG3->clear();
  FG3->setColWidth(0, 900);
  FG3->setColWidth(1, 800);
  FG3->setRow(0);
  FG3->setCol(1);
  FG3->setText(QStringLiteral("荷重"));

  FG4->clear();
  FG4->setColWidth(0, 1400);
  FG4->setColWidth(1, 1600);
  FG4->setRow(0);
  FG4->setCol(0);
  FG4->setText(QStringLiteral("基準荷重(kN)"));
  FG4->setCol(1);
  FG4->setText(QStringLiteral("載荷板半径(cm)"));

  struct Count {
    UpDown* spin;
    TextBox* box;
    int max;
  };
  for (const Count& c :
       {Count{UpDown1, Text1, 5}, Count{UpDown2, Text2, 10}, Count{UpDown3, Text3, 10}}) {
    c.spin->setBuddy(c.box);
    c.spin->setIncrement(1);
    c.spin->setMax(c.max);
    c.spin->setMin(1);
    c.spin->setValue(1);
  }

  Text4->setText(QString());

  if (ClearMode.toInt() == 1) {
    // Deselecting raises no click: the exclusive group would refuse an unchecked state.
    for (QRadioButton* option : {Option1, Option2}) {
      const QSignalBlocker block(option);
      option->setAutoExclusive(false);
      option->setChecked(false);
      option->setAutoExclusive(true);
    }
  }
}

void Form2::dataEdited() {
  if (!saved_) return;
  saved_ = false;
  if (running_) {
    editedDuringRun_ = true;
    return;
  }
  Command5->setEnabled(false);
  Command6->setEnabled(false);
  Command2->setEnabled(true);
}

Form2::RunInProgress::RunInProgress(Form2& form) : form_(form) {
  form_.running_ = true;
  form_.editedDuringRun_ = false;
}

Form2::RunInProgress::~RunInProgress() {
  form_.running_ = false;
  if (!form_.editedDuringRun_) return;
  // The run analysed the saved data, not what the window shows now.
  form_.Command5->setEnabled(false);
  form_.Command6->setEnabled(false);
  form_.Command2->setEnabled(true);
}

void Form2::UpDown1_Change() {
  EndCellEdits();
  LayerCount = Text1->text().toInt();
  FG1->setRows(LayerCount + 1);
  for (int i = 1; i <= LayerCount; ++i) {
    FG1->setRow(i);
    FG1->setCol(0);
    FG1->setText(countLabel(i, QStringLiteral("層")));
  }
}

void Form2::UpDown2_Change() {
  EndCellEdits();
  SensorCount = Text2->text().toInt();
  FG2->setCols(SensorCount + 1);
  FG3->setCols(SensorCount + 2);
  for (int j = 1; j <= SensorCount; ++j) {
    const QString label = countLabel(j, QStringLiteral("S"));
    FG2->setRow(0);
    FG2->setCol(j);
    FG2->setText(label);
    FG2->setColWidth(j, 800);
    FG3->setRow(0);
    FG3->setCol(j + 1);
    FG3->setText(label);
    FG3->setColWidth(j + 1, 800);
  }
}

void Form2::UpDown3_Change() {
  EndCellEdits();
  DataCount = Text3->text().toInt();
  FG3->setRows(DataCount + 1);
  for (int i = 1; i <= DataCount; ++i) {
    FG3->setRow(i);
    FG3->setCol(0);
    FG3->setText(countLabel(i, QStringLiteral("DATA")));
  }
}

void Form2::Option1_Click() {
  ClearMode = QStringLiteral("0");
  ResetEditor();
  Command1->setEnabled(true);
  Command2->setEnabled(false);
  Command5->setEnabled(false);
  Command6->setEnabled(false);
  Command2->setText(QStringLiteral("データチェック"));
  for (QWidget* w :
       std::initializer_list<QWidget*>{UpDown1, UpDown2, UpDown3, FG1, FG2, FG3, FG4}) {
    w->setEnabled(true);
  }
  toFirstEditableCells();
}

void Form2::Option2_Click() {
  DataOrigin = 0;
  ClearMode = QStringLiteral("0");
  // New data take the regularisation default of their layer count, never the value of a file
  // opened earlier.
  Text8->setText(QString());
  ResetEditor();
  for (UpDown* spin : {UpDown1, UpDown2, UpDown3}) spin->setEnabled(true);
  Command2->setEnabled(true);
  Command1->setEnabled(false);
  Command5->setEnabled(false);
  Command6->setEnabled(false);
  Command2->setText(QStringLiteral("データ保存"));
  for (FlexGrid* g : {FG1, FG2, FG3, FG4}) g->setEnabled(true);
  toFirstEditableCells();
}

void Form2::Command4_Click() {
  const int answer = windows_.platform.messageBox(this,
                                                  QStringLiteral("本当にクリアしますか？"),
                                                  MsgStyle::kYesNoInfo,
                                                  QStringLiteral("Information"));
  if (answer != MsgAnswer::kYes) return;
  ClearMode = QStringLiteral("1");
  ResetEditor();
  Command1->setEnabled(false);
  Command2->setEnabled(false);
  Command6->setEnabled(false);
  Command5->setEnabled(false);
}

void Form2::Command3_Click() { Module1::ConfirmExit(windows_.platform, this); }

void Form2::Command7_Click() {
  Module1::OpenDocument(windows_.platform,
                        Module1::ProgramFile(windows_.platform, Module1::kManualName));
}
