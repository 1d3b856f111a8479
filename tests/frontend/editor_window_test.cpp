// The editor window: start-up, the two modes, Clear, Quit, Manual, the counts and how they size and
// label the grids, and which controls are enabled after each event.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest/QTest>
#include <functional>

#include "AppWindows.h"
#include "FakePlatform.h"
#include "FlexGrid.h"
#include "Form2.h"
#include "Module1.h"
#include "TextBox.h"
#include "UpDown.h"

namespace {

const QString kSp = QStringLiteral(" ");

// One editor window on a scripted platform with its own program folder.
struct Editor {
  Editor() {
    platform.setProgramFolder(folder.path());
    Module1::AppTitle = "ORVA for Windows v2.2";
    form = windows.loadForm2();
    form->show();
  }
  QTemporaryDir folder;
  FakePlatform platform;
  AppWindows windows{platform};
  Form2* form = nullptr;
};

class EditorWindow : public ::testing::Test, public Editor {};

// The header row of a grid, column by column.
QStringList rowTexts(const FlexGrid* g, int row) {
  QStringList texts;
  for (int c = 0; c < g->cols(); ++c) texts << g->textMatrix(row, c);
  return texts;
}
QStringList colTexts(const FlexGrid* g, int col) {
  QStringList texts;
  for (int r = 0; r < g->rows(); ++r) texts << g->textMatrix(r, col);
  return texts;
}
QList<int> colWidths(const FlexGrid* g) {
  QList<int> widths;
  for (int c = 0; c < g->cols(); ++c) widths << g->colWidth(c);
  return widths;
}

TEST_F(EditorWindow, CaptionsAndLabelsAreTheSystemsOwn) {
  EXPECT_EQ(form->windowTitle(), "ORVA for Windows v2.2 - 初期設定");
  EXPECT_FALSE(form->windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(form->close());
  EXPECT_TRUE(form->isVisible());
  // clang-format off
  const std::pair<QString, QString> captions[] = {
      {form->Option1->text(),  "既存データを読み込む"},
      {form->Option2->text(),  "新規データ作成"},
      {form->Command1->text(), "データ読込"},
      {form->Command2->text(), "データ保存"},
      {form->Command3->text(), "終了"},
      {form->Command4->text(), "クリア"},
      {form->Command5->text(), "解析"},
      {form->Command6->text(), "結果表示"},
      {form->Command7->text(), "マニュアル"},
      {form->Label1->text(),   QString::fromUtf8("層\u3000数")},
      {form->Label2->text(),   "センサー数"},
      {form->Label3->text(),   "全データ数"},
      {form->Label4->text(),   "プロジェクト名"},
      {form->Frame1->title(),  "層特性"},
      {form->Frame2->title(),  "センサー位置(cm)"},
      {form->Frame3->title(),  "載荷荷重(kN)とセンサー位置のたわみ(μm)"},
      {form->Frame4->title(),  "基準荷重と載荷板半径"},
  };
  // clang-format on
  for (const auto& [shown, expected] : captions) EXPECT_EQ(shown, expected);
  for (TextBox* hidden : {form->Text5, form->Text7, form->Text8, form->Text9}) {
    EXPECT_TRUE(hidden->isHidden());
  }
  for (TextBox* editor : {form->T1, form->T2, form->T3, form->T4}) {
    EXPECT_TRUE(editor->isHidden());
    EXPECT_EQ(editor->palette().color(QPalette::Base), QColor(255, 255, 128));
  }
}

TEST_F(EditorWindow, RightAfterLoadingEachGridShowsOneOfEverything) {
  EXPECT_EQ(form->FG1->rows(), 2);
  EXPECT_EQ(form->FG1->cols(), 6);
  EXPECT_EQ(rowTexts(form->FG1, 0),
            (QStringList{"", "固定", "弾性係数(MPa)", "ﾎﾟｱｿﾝ比", "層厚(cm)", "層間すべり率"}));
  EXPECT_EQ(form->FG1->textMatrix(1, 0), kSp + "1層");
  EXPECT_EQ(rowTexts(form->FG2, 0), (QStringList{"", kSp + "1S"}));
  EXPECT_EQ(rowTexts(form->FG2, 1), (QStringList{"センサー位置", ""}));
  EXPECT_EQ(rowTexts(form->FG3, 0), (QStringList{"", "荷重", kSp + "1S"}));
  EXPECT_EQ(colTexts(form->FG3, 0), (QStringList{"", kSp + "1DATA"}));
  EXPECT_EQ(rowTexts(form->FG4, 0), (QStringList{"基準荷重(kN)", "載荷板半径(cm)"}));
  EXPECT_EQ(form->FG4->fixedCols(), 0);
  EXPECT_EQ(form->FG4->fixedRows(), 1);
  for (TextBox* count : {form->Text1, form->Text2, form->Text3}) EXPECT_EQ(count->text(), "1");
  EXPECT_EQ(form->LayerCount, 1);
  EXPECT_EQ(form->SensorCount, 1);
  EXPECT_EQ(form->DataCount, 1);
  EXPECT_EQ(form->ClearMode, "0");
  EXPECT_EQ(form->DataOrigin, 0);
}

TEST_F(EditorWindow, ColumnWidthsInTwips) {
  form->UpDown2->setValue(2);
  const int d = form->FG1->defaultColWidth();
  EXPECT_EQ(colWidths(form->FG1), (QList<int>{500, 500, 1400, d, d, 1000}));
  EXPECT_EQ(colWidths(form->FG2), (QList<int>{1400, 800, 800}));
  EXPECT_EQ(colWidths(form->FG3), (QList<int>{900, 800, 800, 800}));
  EXPECT_EQ(colWidths(form->FG4), (QList<int>{1400, 1600}));
}

// The enabled state of the controls after each of this window's events.
TEST(EditorWindowStates, EnabledStateAfterEachEvent) {
  enum Selected { kNeither, kOption1, kOption2 };
  struct State {
    bool cmd1, cmd2, cmd5, cmd6;
    const char* caption2;
    Selected selected;
    bool spinsAndGrids;
  };
  struct Case {
    const char* name;
    std::function<void(Editor&)> events;
    State state;
  };
  const auto clearYes = [](Editor& e) {
    e.platform.answerMessage(MsgAnswer::kYes);
    e.form->Command4_Click();
  };
  const auto clearNo = [](Editor& e) {
    e.platform.answerMessage(MsgAnswer::kNo);
    e.form->Command4_Click();
  };
  const auto option1 = [](Editor& e) { e.form->Option1->click(); };
  const auto option2 = [](Editor& e) { e.form->Option2->click(); };
  // As after a successful save and run: the run and results buttons on.
  const auto runDone = [](Editor& e) {
    e.form->Command5->setEnabled(true);
    e.form->Command6->setEnabled(true);
  };
  // clang-format off
  const Case cases[] = {
      {"window loaded",           [](Editor&) {},
       {false, false, false, false, "データ保存",     kNeither, false}},
      {"Option1 chosen",          option1,
       {true,  false, false, false, "データチェック", kOption1, true}},
      {"Option2 chosen",          option2,
       {false, true,  false, false, "データ保存",     kOption2, true}},
      {"Option1, then Option2",   [&](Editor& e) { option1(e); option2(e); },
       {false, true,  false, false, "データ保存",     kOption2, true}},
      {"Option2, then Option1",   [&](Editor& e) { option2(e); option1(e); },
       {true,  false, false, false, "データチェック", kOption1, true}},
      {"a run, then Option2",     [&](Editor& e) { option1(e); runDone(e); option2(e); },
       {false, true,  false, false, "データ保存",     kOption2, true}},
      // Clicking the mode already chosen changes nothing (the typed data stay).
      {"a run, Option2 again",    [&](Editor& e) { option2(e); runDone(e); option2(e); },
       {false, true,  true,  true,  "データ保存",     kOption2, true}},
      {"a run, then Option1",     [&](Editor& e) { option2(e); runDone(e); option1(e); },
       {true,  false, false, false, "データチェック", kOption1, true}},
      {"Clear, answered Yes",     [&](Editor& e) { option1(e); runDone(e); clearYes(e); },
       {false, false, false, false, "データチェック", kNeither, false}},
      {"Clear, answered No",      [&](Editor& e) { option1(e); clearNo(e); },
       {true,  false, false, false, "データチェック", kOption1, true}},
      {"Clear, then Option2",     [&](Editor& e) { option1(e); clearYes(e); option2(e); },
       {false, true,  false, false, "データ保存",     kOption2, true}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Editor e;
    c.events(e);
    Form2* f = e.form;
    const State& s = c.state;
    EXPECT_EQ(f->Command1->isEnabled(), s.cmd1);
    EXPECT_EQ(f->Command2->isEnabled(), s.cmd2);
    EXPECT_EQ(f->Command5->isEnabled(), s.cmd5);
    EXPECT_EQ(f->Command6->isEnabled(), s.cmd6);
    EXPECT_EQ(f->Command2->text(), QString::fromUtf8(s.caption2));
    EXPECT_TRUE(f->Option1->isEnabled());
    EXPECT_TRUE(f->Option2->isEnabled());
    EXPECT_EQ(f->Option1->isChecked(), s.selected == kOption1);
    EXPECT_EQ(f->Option2->isChecked(), s.selected == kOption2);
    for (QWidget* w : std::initializer_list<QWidget*>{
             f->UpDown1, f->UpDown2, f->UpDown3, f->FG1, f->FG2, f->FG3, f->FG4}) {
      EXPECT_EQ(w->isEnabled(), s.spinsAndGrids);
    }
    // Never disabled here: Quit, Clear, Manual, the count boxes, the project name, the frames.
    for (QWidget* w : std::initializer_list<QWidget*>{f->Command3,
                                                      f->Command4,
                                                      f->Command7,
                                                      f->Text1,
                                                      f->Text2,
                                                      f->Text3,
                                                      f->Text4,
                                                      f->Frame1,
                                                      f->Frame2,
                                                      f->Frame3,
                                                      f->Frame4}) {
      EXPECT_TRUE(w->isEnabled());
    }
  }
}

TEST_F(EditorWindow, ClearAsksFirst) {
  platform.answerMessage(MsgAnswer::kNo);
  form->Command4_Click();
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, "本当にクリアしますか？");
  EXPECT_EQ(platform.boxes[0].style, 68);
  EXPECT_EQ(platform.boxes[0].title, "Information");
  EXPECT_EQ(form->ClearMode, "0");
}

TEST_F(EditorWindow, RaisingTheSensorCountWidensBothSensorGrids) {
  form->Option2->click();
  form->UpDown2->stepUp();
  form->UpDown2->stepUp();
  EXPECT_EQ(form->Text2->text(), "3");
  EXPECT_EQ(form->SensorCount, 3);
  EXPECT_EQ(rowTexts(form->FG2, 0), (QStringList{"", kSp + "1S", kSp + "2S", kSp + "3S"}));
  EXPECT_EQ(rowTexts(form->FG3, 0), (QStringList{"", "荷重", kSp + "1S", kSp + "2S", kSp + "3S"}));
  EXPECT_EQ(colWidths(form->FG2), (QList<int>{1400, 800, 800, 800}));
  EXPECT_EQ(colWidths(form->FG3), (QList<int>{900, 800, 800, 800, 800}));
}

TEST_F(EditorWindow, LayerAndDataCountsSizeAndLabelTheRows) {
  form->Option2->click();
  form->FG1->setTextMatrix(1, 2, "3000");
  form->FG3->setTextMatrix(1, 1, "49.0");
  for (int i = 0; i < 2; ++i) form->UpDown1->stepUp();
  for (int i = 0; i < 3; ++i) form->UpDown3->stepUp();
  EXPECT_EQ(colTexts(form->FG1, 0), (QStringList{"", kSp + "1層", kSp + "2層", kSp + "3層"}));
  EXPECT_EQ(colTexts(form->FG3, 0),
            (QStringList{"", kSp + "1DATA", kSp + "2DATA", kSp + "3DATA", kSp + "4DATA"}));
  // Rows that stay keep their texts; a smaller count drops rows with their texts.
  form->FG1->setTextMatrix(3, 2, "100");
  form->UpDown1->stepDown();
  EXPECT_EQ(form->FG1->rows(), 3);
  EXPECT_EQ(form->FG1->textMatrix(1, 2), "3000");
  form->UpDown1->stepUp();
  EXPECT_EQ(form->FG1->textMatrix(3, 2), "");
  EXPECT_EQ(form->FG3->textMatrix(1, 1), "49.0");
}

TEST_F(EditorWindow, SpinButtonsStopAtTheirLimits) {
  form->Option2->click();
  struct Case {
    UpDown* spin;
    TextBox* box;
    int max;
  };
  for (const Case& c : {Case{form->UpDown1, form->Text1, 5},
                        Case{form->UpDown2, form->Text2, 10},
                        Case{form->UpDown3, form->Text3, 10}}) {
    SCOPED_TRACE(c.max);
    for (int i = 0; i < 15; ++i) QTest::mouseClick(c.spin->upButton(), Qt::LeftButton);
    EXPECT_EQ(c.box->text(), QString::number(c.max));
    EXPECT_EQ(c.spin->value(), c.max);
    for (int i = 0; i < 15; ++i) QTest::mouseClick(c.spin->downButton(), Qt::LeftButton);
    EXPECT_EQ(c.box->text(), "1");
  }
  EXPECT_EQ(form->FG1->rows(), 2);
  EXPECT_EQ(form->FG2->cols(), 2);
  EXPECT_EQ(form->FG3->rows(), 2);
  EXPECT_EQ(form->FG3->cols(), 3);
}

TEST_F(EditorWindow, CountBoxesTakeNoTyping) {
  form->Option2->click();
  form->Text1->setFocus();
  QTest::keyClicks(form->Text1, "x9");
  EXPECT_EQ(form->Text1->text(), "1");
  EXPECT_EQ(form->FG1->rows(), 2);
  // The Up and Down keys in a count box step its spin button.
  QTest::keyClick(form->Text1, Qt::Key_Up);
  EXPECT_EQ(form->Text1->text(), "2");
  EXPECT_EQ(form->FG1->rows(), 3);
}

TEST_F(EditorWindow, SpinStartsFromACountWrittenIntoItsBox) {
  form->Option1->click();
  form->Text1->setText("3");  // as opening a data file writes it
  form->UpDown1->stepUp();
  EXPECT_EQ(form->Text1->text(), "4");
  EXPECT_EQ(form->FG1->rows(), 5);
}

TEST_F(EditorWindow, AModeChoiceAtCountsOfOneErasesTheLabelsUntilACountChanges) {
  form->Option2->click();
  EXPECT_EQ(form->FG1->textMatrix(1, 0), "");
  EXPECT_EQ(form->FG2->textMatrix(0, 1), "");
  EXPECT_EQ(form->FG3->textMatrix(0, 2), "");
  EXPECT_EQ(form->FG3->textMatrix(1, 0), "");
  EXPECT_EQ(form->FG2->textMatrix(1, 0), "センサー位置");  // fixed texts are written again
  form->UpDown1->stepUp();
  EXPECT_EQ(form->FG1->textMatrix(1, 0), kSp + "1層");
  EXPECT_EQ(form->FG2->textMatrix(0, 1), "");
  form->UpDown2->stepUp();
  EXPECT_EQ(form->FG2->textMatrix(0, 1), kSp + "1S");
  EXPECT_EQ(form->FG3->textMatrix(0, 2), kSp + "1S");
  form->UpDown3->stepUp();
  EXPECT_EQ(form->FG3->textMatrix(1, 0), kSp + "1DATA");
}

TEST_F(EditorWindow, AModeChoiceShrinksTheGridsBackToOneOfEverything) {
  form->Option2->click();
  form->UpDown1->setValue(4);
  form->UpDown2->setValue(6);
  form->UpDown3->setValue(3);
  form->Text4->setText("P1");
  form->FG1->setTextMatrix(1, 1, "0");
  form->Option1->click();
  EXPECT_EQ(form->FG1->rows(), 2);
  EXPECT_EQ(form->FG2->cols(), 2);
  EXPECT_EQ(form->FG3->rows(), 2);
  EXPECT_EQ(form->FG3->cols(), 3);
  EXPECT_EQ(form->FG1->textMatrix(1, 1), "");
  EXPECT_EQ(form->FG1->textMatrix(1, 0), kSp + "1層");
  EXPECT_EQ(form->Text4->text(), "");
  for (TextBox* count : {form->Text1, form->Text2, form->Text3}) EXPECT_EQ(count->text(), "1");
}

TEST_F(EditorWindow, Option1KeepsDataOriginAndOption2SetsItToZero) {
  form->DataOrigin = 1;  // as after opening a file
  form->Option1->click();
  EXPECT_EQ(form->DataOrigin, 1);
  form->Option2->click();
  EXPECT_EQ(form->DataOrigin, 0);
  form->DataOrigin = 1;
  form->Option1->click();
  EXPECT_EQ(form->DataOrigin, 1);
}

TEST_F(EditorWindow, ClearKeepsTheHiddenBoxesAndDeselectsBothModes) {
  form->Option1->click();
  form->Text8->setText("0.05");
  form->Text9->setText("/data/p.dat");
  form->Text5->setText("p.out");
  form->Text4->setText("p");
  platform.answerMessage(MsgAnswer::kYes);
  form->Command4_Click();
  EXPECT_EQ(form->ClearMode, "1");
  EXPECT_EQ(form->Text8->text(), "0.05");
  EXPECT_EQ(form->Text9->text(), "/data/p.dat");
  EXPECT_EQ(form->Text5->text(), "p.out");
  EXPECT_EQ(form->Text4->text(), "");
  EXPECT_FALSE(form->Option1->isChecked());
  EXPECT_FALSE(form->Option2->isChecked());
}

// Regression: new data got the regularisation parameter of a file opened earlier instead of the
// default of their own layer count.
TEST_F(EditorWindow, NewDataForgetTheRegularisationParameterOfAnOpenedFile) {
  form->Option1->click();
  form->Text8->setText("0.05");  // as opening a data file writes it
  form->Option1->click();
  EXPECT_EQ(form->Text8->text(), "0.05");
  form->Option2->click();
  EXPECT_EQ(form->Text8->text(), "");
}

TEST_F(EditorWindow, QuitAsksAndEndsOnlyOnYes) {
  QFile(folder.filePath("inp.dat")).open(QIODevice::WriteOnly);
  platform.answerMessage(MsgAnswer::kNo);
  form->Command3_Click();
  EXPECT_TRUE(QFile::exists(folder.filePath("inp.dat")));
  EXPECT_EQ(platform.quits, 0);
  platform.answerMessage(MsgAnswer::kYes);
  form->Command3_Click();
  EXPECT_FALSE(QFile::exists(folder.filePath("inp.dat")));
  EXPECT_EQ(platform.quits, 1);
  EXPECT_EQ(platform.boxTexts(), (QStringList{"本当に終了しますか？", "本当に終了しますか？"}));
}

TEST_F(EditorWindow, ManualOpensTheManualAndReportsAFailure) {
  form->Command7_Click();
  platform.setOpenDocumentResult(31);
  platform.answerMessage(MsgAnswer::kOk);
  form->Command7_Click();
  EXPECT_EQ(
      platform.openedDocuments,
      (QStringList{folder.filePath("orva_win_man.pdf"), folder.filePath("orva_win_man.pdf")}));
  EXPECT_EQ(platform.boxTexts(), QStringList{"No association for file extension"});
  EXPECT_TRUE(form->isVisible());
}

}  // namespace
