// End to end through the real engine: a data set typed into the editor with key events, saved into
// a data folder, run with the built ORVA-V4 from a temporary program folder; and a run that the
// engine refuses (a wrong launch code), which must not pass for a success.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QToolButton>

#include "editor_harness.h"

namespace {

using harness::readBytes;

// Types text as a user does: each key goes to the widget that has the focus at that moment (the
// grid for the first key, then the editor box that it opened).
void typeKeys(const QString& text) {
  for (QChar ch : text) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QTest::keyClick(target, ch.toLatin1());
  }
}

void typeCell(FlexGrid* grid, int row, int col, const QString& text) {
  grid->setFocus();
  QApplication::processEvents();
  grid->setRow(row);
  grid->setCol(col);
  typeKeys(text);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
}

void typeRows(FlexGrid* grid, int firstCol, const std::vector<QStringList>& rows) {
  for (size_t i = 0; i < rows.size(); ++i)
    for (qsizetype c = 0; c < rows[i].size(); ++c)
      typeCell(grid, static_cast<int>(i) + 1, firstCol + static_cast<int>(c), rows[i][c]);
}

void clickUp(UpDown* spin, int times) {
  for (int i = 0; i < times; ++i) QTest::mouseClick(spin->upButton(), Qt::LeftButton);
}

// True when program behaves as the engine does in an empty folder: it creates the missing
// "SESF.LAB" before its read of the launch code fails. The project skeleton's placeholder engine
// does nothing at all.
bool isTheEngine(const QString& program) {
  QTemporaryDir empty;
  QProcess p;
  p.setWorkingDirectory(empty.path());
  p.setStandardInputFile(QProcess::nullDevice());
  p.start(program, {});
  return p.waitForFinished(10000) && QFile::exists(empty.filePath("SESF.LAB"));
}

class EngineEndToEnd : public ::testing::Test, public harness::Editor {
 protected:
  void SetUp() override {
    const QString engine = QStringLiteral(ORVA_PROGRAM_DIR "/ORVA-V4");
    if (!QFile::exists(engine)) GTEST_SKIP() << "the engine is not built: " << engine.toStdString();
    if (!isTheEngine(engine))
      GTEST_SKIP() << "the engine's placeholder is built, not the engine: " << engine.toStdString();
    ASSERT_TRUE(QFile::copy(engine, programFile("ORVA-V4")));
    QApplication::setActiveWindow(form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
  }

  // Three layers over five sensors, two drops, as a user types them.
  void typeDataSet() {
    form->Option2->click();
    clickUp(form->UpDown1, 2);
    clickUp(form->UpDown2, 4);
    clickUp(form->UpDown3, 1);
    form->Text4->setFocus();
    typeKeys("Route7");
    typeRows(
        form->FG1,
        1,
        {{"0", "3000", "0.35", "15", "0"}, {"0", "300", "0.35", "30", "0"}, {"0", "80", "0.4"}});
    typeRows(form->FG2, 1, {{"0", "20", "30", "60", "90"}});
    typeRows(
        form->FG3,
        1,
        {{"49.1", "452", "338", "281", "172", "121"}, {"48.7", "449", "335", "279", "170", "120"}});
    typeRows(form->FG4, 0, {{"49", "15"}});
  }
};

TEST_F(EngineEndToEnd, TypedDataSetSavedAndRun) {
  typeDataSet();
  EXPECT_EQ(form->FG3->textMatrix(2, 6), QStringLiteral("120"));
  ASSERT_TRUE(saveIntoDataFolder()) << platform.boxTexts().join('|').toStdString();
  const QByteArray data = readBytes(dataFile("Route7.dat"));
  EXPECT_TRUE(data.contains("\r\n3   5\r\n"));
  EXPECT_TRUE(data.contains("\r\n1,0,\"99:99\",49.1\r\n452\r\n"));

  form->Command5_Click();
  EXPECT_TRUE(platform.boxes.empty()) << platform.boxTexts().join('|').toStdString();
  const QByteArray report = readBytes(dataFile("Route7.out"));
  EXPECT_TRUE(report.contains("PROJECT TITLE:    Route7")) << report.left(2000).constData();
  // The drops normalised to the standard load and averaged, by hand: 452 * 49 / 49.1 and
  // 449 * 49 / 48.7 give 451.4; 338 * 49 / 49.1 and 335 * 49 / 48.7 give 337.2.
  EXPECT_TRUE(report.contains("451.4   337.2")) << report.left(2000).constData();
  EXPECT_EQ(readBytes(programFile("out1.dat")), report);
  EXPECT_FALSE(QFile::exists(programFile("Route7.out")));  // moved beside the data file
  EXPECT_EQ(Module1::FileState(programFile("DEF.OUT")), 1);
  EXPECT_EQ(Module1::FileState(programFile("MODULI.OUT")), 1);
  EXPECT_TRUE(form->Command6->isEnabled());
  EXPECT_FALSE(form->Command5->isEnabled());
}

TEST_F(EngineEndToEnd, RefusedRunIsAFailure) {
  typeDataSet();
  ASSERT_TRUE(saveIntoDataFolder()) << platform.boxTexts().join('|').toStdString();
  // The engine stops at once, silently, on a launch code that is not its own.
  harness::writeBytes(programFile("SESF.LAB"), "1234\r\n");
  platform.answerMessage(MsgAnswer::kOk);
  form->Command5_Click();
  EXPECT_EQ(platform.boxTexts(),
            QStringList{"解析に失敗しました。入力ファイルを確認してください（out1）。"});
  EXPECT_EQ(programFiles(), QStringList{"ORVA-V4"});
  EXPECT_FALSE(QFile::exists(dataFile("Route7.out")));
  EXPECT_FALSE(form->Command6->isEnabled());
}

// The engine stops with a result file's name taken by a folder: the front end shows the failure,
// however complete the engine's other files are.
TEST_F(EngineEndToEnd, ResultFileInTheWayIsAFailure) {
  typeDataSet();
  for (const char* name : {"DEF.OUT", "MODULI.OUT"}) {
    SCOPED_TRACE(name);
    QFile::remove(dataFile("Route7.dat"));  // saved afresh, without the question to overwrite
    ASSERT_TRUE(saveIntoDataFolder()) << platform.boxTexts().join('|').toStdString();
    ASSERT_TRUE(QDir(program.path()).mkdir(name));
    platform.boxes.clear();
    platform.answerMessage(MsgAnswer::kOk);
    form->Command5_Click();
    EXPECT_EQ(platform.boxTexts(),
              QStringList{"解析に失敗しました。入力ファイルを確認してください（out1）。"});
    EXPECT_FALSE(QFile::exists(dataFile("Route7.out")));
    EXPECT_FALSE(QFile::exists(programFile("out1.dat")));
    EXPECT_FALSE(form->Command6->isEnabled());
    ASSERT_TRUE(QDir(program.path()).rmdir(name));
  }
}

}  // namespace
