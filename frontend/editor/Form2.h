// The input-data editor and run control: the two modes (existing data, new data), the three counts
// with their spin buttons, the four grids with their floating cell editors, and the buttons to
// open, check and save, run, show the results, clear, open the manual and quit.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "FormWindow.h"

class AppWindows;
class FlexGrid;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class TextBox;
class UpDown;

class Form2 : public FormWindow {
  Q_OBJECT

 public:
  explicit Form2(AppWindows& windows, QWidget* parent = nullptr);
  ~Form2() override;

  // Controls.
  QRadioButton* Option1;  // "既存データを読み込む": existing-data mode
  QRadioButton* Option2;  // "新規データ作成": new-data mode
  QPushButton* Command1;  // "データ読込": open a data file
  QPushButton* Command2;  // "データ保存" / "データチェック": check and save
  QPushButton* Command3;  // "終了": quit
  QPushButton* Command4;  // "クリア": clear
  QPushButton* Command5;  // "解析": run the engine
  QPushButton* Command6;  // "結果表示": show the results
  QPushButton* Command7;  // "マニュアル": open the manual
  QLabel* Label1;         // "層　数"
  QLabel* Label2;         // "センサー数"
  QLabel* Label3;         // "全データ数"
  QLabel* Label4;         // "プロジェクト名"
  TextBox* Text1;         // layer count (read-only: only the spin button changes it)
  TextBox* Text2;         // sensor count (read-only)
  TextBox* Text3;         // data-set count (read-only)
  TextBox* Text4;         // project name
  TextBox* Text5;         // hidden: iteration file name
  TextBox* Text7;         // hidden: no further role
  TextBox* Text8;         // hidden: regularisation parameter ("" = the default of the layer count)
  TextBox* Text9;         // hidden: data file path
  UpDown* UpDown1;        // layer count 1..5
  UpDown* UpDown2;        // sensor count 1..10
  UpDown* UpDown3;        // data-set count 1..10
  QGroupBox* Frame1;      // "層特性"
  QGroupBox* Frame2;      // "センサー位置(cm)"
  QGroupBox* Frame3;      // "載荷荷重(kN)とセンサー位置のたわみ(μm)"
  QGroupBox* Frame4;      // "基準荷重と載荷板半径"
  FlexGrid* FG1;  // layers: fix flag, modulus (MPa), Poisson's ratio, thickness (cm), slip rate
  FlexGrid* FG2;  // sensor positions (cm)
  FlexGrid* FG3;  // per data set: load (kN), deflection (μm) per sensor
  FlexGrid* FG4;  // standard load (kN), plate radius (cm)
  TextBox* T1;    // cell editors of FG1 .. FG4
  TextBox* T2;
  TextBox* T3;
  TextBox* T4;

  // Form-level state.
  QString ClearMode;   // "1" after Clear, "0" after loading and after each mode choice
  int DataOrigin = 0;  // 0 = data typed in, 1 = data read from a file
  int LayerCount = 0;  // the counts as the count handling last took them from Text1..Text3
  int SensorCount = 0;
  int DataCount = 0;
  // Values of opening, checking and saving, and running.
  QString InputPath;
  QString ProjectTitle;
  QString IterationFileName;
  QString SavePath;
  QString SaveFileName;
  int LoadedDataCount = 0;
  QStringList InputLabels;  // caption lines, indices 0..19
  QList<QVariant> DropIds;  // kept drop header and trailer fields, indices 0..DataCount
  QList<QVariant> DropCodes;
  QStringList DropTags;
  QList<QVariant> DropAuxValues;
  QStringList DropNotes;

  // Event procedures.
  void Form_Load();
  void Option1_Click();
  void Option2_Click();
  void Command1_Click();  // open a data file
  void Command2_Click();  // check and save
  void Command3_Click();  // quit
  void Command4_Click();  // clear
  void Command5_Click();  // run the engine
  void Command6_Click();  // show the results
  void Command7_Click();  // manual
  void UpDown1_Change();
  void UpDown2_Change();
  void UpDown3_Change();

  // Cell editing, one family per grid.
  void FG1_KeyPress(int keyAscii);
  void FG1_KeyDown(int keyCode, int shift);
  void FG1_LeaveCell();
  void GridFocusCommit1();
  void T1_Change();
  void T1_KeyPress(int* keyAscii);
  void T1_KeyDown(int keyCode, int shift);
  void FG2_KeyPress(int keyAscii);
  void FG2_KeyDown(int keyCode, int shift);
  void FG2_LeaveCell();
  void GridFocusCommit2();
  void T2_Change();
  void T2_KeyPress(int* keyAscii);
  void T2_KeyDown(int keyCode, int shift);
  void FG3_KeyPress(int keyAscii);
  void FG3_KeyDown(int keyCode, int shift);
  void FG3_LeaveCell();
  void GridFocusCommit3();
  void T3_Change();
  void T3_KeyPress(int* keyAscii);
  void T3_KeyDown(int keyCode, int shift);
  void FG4_KeyPress(int keyAscii);
  void FG4_KeyDown(int keyCode, int shift);
  void FG4_LeaveCell();
  void GridFocusCommit4();
  void T4_Change();
  void T4_KeyPress(int* keyAscii);
  void T4_KeyDown(int keyCode, int shift);

  // Check and save helpers (paths are split at the last "/").
  void InitInputLabels();
  static void SplitPath(const QString& path, QString& folder, QString& name);
  static bool ChangeExtension(QString& ext, const QString& path, QString& result);

  // Ends any open cell edit without copying the box's text anywhere (the cell already holds it):
  // every fill of a grid by code starts here, so that no box left open writes its text over what
  // was filled.
  void EndCellEdits();

  // The return from the results window's Back. update (Yes to "入力データを更新しますか？"): the
  // way on is check and save; otherwise the results button shows the results again. The run
  // button and the mode choices are off either way; grids, counts and texts stay as they are.
  void ReturnFromResults(bool update);

  AppWindows& windows() { return windows_; }

 private:
  void ResetEditor();
  // A change the user made to what the window shows: a cell, a count or the project name. After
  // a completed check and save the files in the program folder no longer hold what is shown, so
  // the run and the results (of the saved data) go off and check and save comes on again. During
  // a run the change is remembered for the run's end (RunInProgress).
  void dataEdited();
  // Held by the run procedure while the engine runs: when the window was edited meanwhile, the
  // run's result (copied as usual) does not enable the results button, and check and save comes
  // back on.
  class RunInProgress {
   public:
    explicit RunInProgress(Form2& form);
    ~RunInProgress();
    RunInProgress(const RunInProgress&) = delete;
    RunInProgress& operator=(const RunInProgress&) = delete;

   private:
    Form2& form_;
  };
  // Connects the buttons of opening, checking and saving, running and the results
  // (Form2_actions.cpp).
  void connectActions();

  // Cell editing: the four families share one implementation.
  void BeginCellEdit1(FlexGrid* grid, TextBox* box, int code);
  void BeginCellEdit2(FlexGrid* grid, TextBox* box, int code);
  void BeginCellEdit3(FlexGrid* grid, TextBox* box, int code);
  void BeginCellEdit4(FlexGrid* grid, TextBox* box, int code);
  void EditorKeyDown1(FlexGrid* grid, TextBox* box, int keyCode);
  void EditorKeyDown2(FlexGrid* grid, TextBox* box, int keyCode);
  void EditorKeyDown3(FlexGrid* grid, TextBox* box, int keyCode);
  void EditorKeyDown4(FlexGrid* grid, TextBox* box, int keyCode);
  bool FilterNumericText(TextBox* box);

  void beginCellEdit(FlexGrid* grid, TextBox* box, int code);
  void gridKeyDown(FlexGrid* grid, TextBox* box, int keyCode);
  void editorChange(FlexGrid* grid, TextBox* box);
  void editorKeyDown(FlexGrid* grid, TextBox* box, int keyCode);
  void gridFocusCommit(FlexGrid* grid, TextBox* box);
  void leaveCell(FlexGrid* grid, TextBox* box);
  // Moves each grid's current cell off the fixed rows and columns.
  void toFirstEditableCells();

  void buildControls();
  void connectControls();

  AppWindows& windows_;
  // True from a completed check and save until the user changes what the window shows (or a
  // mode choice, Clear or an opened file resets it): the saved files hold what is shown.
  bool saved_ = false;
  // True once check and save has written the data file since the last mode choice, Clear or
  // opened file: saving again replaces that file without asking.
  bool dataFileWritten_ = false;
  bool running_ = false;          // the engine runs
  bool editedDuringRun_ = false;  // the user changed the window while it ran
};
