// Leaving the results window: Back to the editor with both answers, showing the results again
// after a new run, Exit and Manual.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include "AppWindows.h"
#include "FakePlatform.h"
#include "FlexGrid.h"
#include "Form2.h"
#include "Form3.h"
#include "Module1.h"
#include "ResultsFolder.h"
#include "TextBox.h"

namespace {

class Navigation : public ResultsFolderTest {
 protected:
  void SetUp() override {
    ResultsFolderTest::SetUp();
    ASSERT_FALSE(HasFatalFailure());
    windows.showForm3 = [this] { ShowForm3(windows); };
    // The editor as a finished run leaves it: new data typed in, results shown.
    form2 = windows.loadForm2();
    form2->show();
    form2->Option2->click();  // selects the option and runs Option2_Click
    form2->Text4->setText("ROAD1");
    form2->FG1->setTextMatrix(1, 2, "3000");
    form2->hide();
    windows.showForm3();
    form3 = windows.form3;
    ASSERT_TRUE(form3);
  }
  void TearDown() override { delete form3.data(); }

  // Back with an answer; the results window is gone afterwards.
  void back(int answer) {
    platform.answerMessage(answer);
    form3->Command4_Click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  void expectBackBox() {
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, "入力データを更新しますか？");
    EXPECT_EQ(platform.boxes[0].style, MsgStyle::kYesNoInfo);
    EXPECT_EQ(platform.boxes[0].title, "Information");
  }
  void expectEditorKeptItsData() {
    EXPECT_EQ(form2->Text4->text(), "ROAD1");
    EXPECT_EQ(form2->FG1->textMatrix(1, 2), "3000");
    EXPECT_TRUE(form2->Option2->isChecked());
  }

  Form2* form2 = nullptr;
  QPointer<Form3> form3;
};

TEST_F(Navigation, TheResultsWindowShowsTheRunAndCannotBeClosedFromTheTitleBar) {
  EXPECT_TRUE(form3->isVisible());
  EXPECT_TRUE(form3->resultsLoaded());
  EXPECT_FALSE(form3->close());
  EXPECT_TRUE(form3->isVisible());
}

TEST_F(Navigation, BackAnsweredYesLeadsToCheckAndSave) {
  back(MsgAnswer::kYes);
  expectBackBox();
  EXPECT_TRUE(form3.isNull());  // unloaded
  EXPECT_EQ(windows.form3, nullptr);
  EXPECT_TRUE(form2->isVisible());
  EXPECT_FALSE(form2->Option1->isEnabled());
  EXPECT_FALSE(form2->Option2->isEnabled());
  EXPECT_FALSE(form2->Command1->isEnabled());
  EXPECT_TRUE(form2->Command2->isEnabled());
  EXPECT_EQ(form2->Command2->text(), "データチェック");
  EXPECT_TRUE(form2->Command3->isEnabled());
  EXPECT_TRUE(form2->Command4->isEnabled());
  EXPECT_FALSE(form2->Command5->isEnabled());
  EXPECT_FALSE(form2->Command6->isEnabled());
  expectEditorKeptItsData();

  // Exit from the editor still works.
  platform.answerMessage(MsgAnswer::kYes);
  form2->Command3_Click();
  EXPECT_EQ(platform.quits, 1);
  EXPECT_FALSE(QFile::exists(folder.filePath("MODULI.OUT")));
}

TEST_F(Navigation, BackAnsweredNoLeadsToTheResultsButton) {
  back(MsgAnswer::kNo);
  expectBackBox();
  EXPECT_TRUE(form3.isNull());
  EXPECT_TRUE(form2->isVisible());
  EXPECT_FALSE(form2->Option1->isEnabled());
  EXPECT_FALSE(form2->Option2->isEnabled());
  EXPECT_FALSE(form2->Command1->isEnabled());
  EXPECT_FALSE(form2->Command2->isEnabled());
  EXPECT_EQ(form2->Command2->text(), "データ保存");  // caption unchanged
  EXPECT_TRUE(form2->Command3->isEnabled());
  EXPECT_TRUE(form2->Command4->isEnabled());
  EXPECT_FALSE(form2->Command5->isEnabled());
  EXPECT_TRUE(form2->Command6->isEnabled());
  expectEditorKeptItsData();
}

TEST_F(Navigation, ShowingTheResultsAgainRereadsEveryFile) {
  back(MsgAnswer::kNo);
  // A second run leaves other results: two layers, one sensor, two iterations.
  writeFile("MODULI.OUT",
            "   2   1\r\n  0.0000E+00\r\n  0.1500E+04  0.9000E+02\r\n  2  0.5000E-05\r\n");
  writeFile("DEF.OUT", "  0.3000E-01\r\n  0.2900E-01\r\n  0.8000E+00\r\n  0.9667E+00\r\n");
  windows.showForm3();
  form3 = windows.form3;
  ASSERT_TRUE(form3);
  EXPECT_TRUE(platform.boxes.size() == 1u);  // only the Back question of before
  EXPECT_EQ(form3->FG1->cols(), 3);
  EXPECT_EQ(form3->FG1->textMatrix(1, 1), "1500.0");
  EXPECT_EQ(form3->FG2->cols(), 2);
  EXPECT_EQ(form3->FG2->textMatrix(1, 1), "300.0");
  EXPECT_EQ(form3->FG2->textMatrix(3, 1), "0.967");
  EXPECT_EQ(form3->FG3->textMatrix(1, 0), "0.5000E-05");
  EXPECT_EQ(form3->FG3->textMatrix(1, 1), "2");
  EXPECT_EQ(form3->IterationCount, 2);
  EXPECT_EQ(form3->MatchHistory.size(), 3u);
}

TEST_F(Navigation, ExitAsksAndEndsTheProgramOnlyOnYes) {
  platform.answerMessage(MsgAnswer::kNo);
  form3->Command3_Click();
  EXPECT_EQ(platform.quits, 0);
  EXPECT_TRUE(QFile::exists(folder.filePath("DEF.OUT")));

  platform.answerMessage(MsgAnswer::kYes);
  form3->Command3_Click();
  ASSERT_EQ(platform.boxes.size(), 2u);
  EXPECT_EQ(platform.boxes[1].text, "本当に終了しますか？");
  EXPECT_EQ(platform.boxes[1].style, MsgStyle::kYesNoInfo);
  EXPECT_EQ(platform.boxes[1].title, "Information");
  EXPECT_EQ(platform.quits, 1);
  for (const char* name : {"inp.dat", "out1.dat", "MODULI.OUT", "DEF.OUT"}) {
    EXPECT_FALSE(QFile::exists(folder.filePath(name))) << name;
  }
}

TEST_F(Navigation, ManualOpensTheDocumentOfTheProgramFolder) {
  form3->Command6_Click();
  EXPECT_EQ(platform.openedDocuments, QStringList{folder.filePath("orva_win_man.pdf")});
  EXPECT_TRUE(platform.boxes.empty());

  platform.setOpenDocumentResult(2);
  platform.answerMessage(MsgAnswer::kOk);
  form3->Command6_Click();
  EXPECT_EQ(platform.boxTexts(), QStringList{"File not found"});
  EXPECT_TRUE(form3->isVisible());
}

// Regression: Back left an edit box open over the editor's grid, to write its text there after the
// results window. Back ends the edit without writing it anywhere else.
TEST_F(Navigation, BackEndsAnEditLeftOpenInTheEditor) {
  form2->show();
  form2->FG1->setRow(1);
  form2->FG1->setCol(2);
  QTest::keyClick(form2->FG1, Qt::Key_7);
  ASSERT_TRUE(form2->T1->isVisible());
  back(MsgAnswer::kYes);
  EXPECT_FALSE(form2->T1->isVisible());
  EXPECT_EQ(form2->FG1->textMatrix(1, 2), "7");
}

}  // namespace
