// End to end through the real engine: a data set typed into the editor with key events, saved into
// a data folder, run with the built ORVA-V4 from a temporary program folder, its results shown
// and printed; the same with a Japanese project title; runs that fail (a wrong launch code, a
// result file in the way), which must not pass for a success; and Exit during a run. Without the
// built engine these tests fail.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QInputMethodEvent>
#include <QLabel>
#include <QProcess>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

#include "Cp932.h"
#include "Form3.h"
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
  ASSERT_NO_FATAL_FAILURE(typeKeys(text));
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
    ASSERT_TRUE(QFile::exists(engine)) << "the engine is not built: " << engine.toStdString();
    ASSERT_TRUE(isTheEngine(engine))
        << "the engine's placeholder is built, not the engine: " << engine.toStdString();
    ASSERT_TRUE(QFile::copy(engine, programFile("ORVA-V4")));
    windows.showForm3 = [this] { ShowForm3(windows); };
    QApplication::setActiveWindow(form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
  }
  void TearDown() override { delete windows.form3; }

  // Three layers over five sensors, two drops, as a user types them.
  void typeDataSet(const QString& title = QStringLiteral("Route7")) {
    form->Option2->click();
    clickUp(form->UpDown1, 2);
    clickUp(form->UpDown2, 4);
    clickUp(form->UpDown3, 1);
    form->Text4->setFocus();
    const bool ascii =
        std::all_of(title.begin(), title.end(), [](QChar c) { return c.unicode() < 128; });
    if (ascii) {
      typeKeys(title);
    } else {
      // Japanese text arrives as the commit of the user's input method.
      QInputMethodEvent commit;
      commit.setCommitString(title);
      QApplication::sendEvent(form->Text4, &commit);
    }
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

  // Clicks the editor's results button and returns the results window it shows.
  Form3* showResults() {
    EXPECT_TRUE(form->Command6->isEnabled());
    QTest::mouseClick(form->Command6, Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
    return windows.form3;
  }

  // Clicks the results window's print button; returns the page's text.
  QString printPage(Form3* results) {
    const QString pdf = data.filePath("page.pdf");
    platform.setPrinterPdf(pdf);
    QTest::mouseClick(results->Command5, Qt::LeftButton);
    EXPECT_TRUE(platform.boxes.empty()) << platform.boxTexts().join('|').toStdString();
    QProcess text;
    text.start("pdftotext", {"-enc", "UTF-8", pdf, "-"});
    EXPECT_TRUE(text.waitForFinished(30000));
    return QString::fromUtf8(text.readAllStandardOutput());
  }

  // The results window shows the run of typeDataSet: the project name, three moduli, the
  // measured deflections of five sensors as the averaged drops give them, and the count.
  void expectResultsShown(Form3* results, const QString& title) {
    ASSERT_NE(results, nullptr);
    EXPECT_TRUE(results->isVisible());
    EXPECT_TRUE(platform.boxes.empty()) << platform.boxTexts().join('|').toStdString();
    ASSERT_TRUE(results->resultsLoaded());
    EXPECT_EQ(results->Label7->text(), title);
    EXPECT_EQ(results->FG1->cols(), 4);
    ASSERT_EQ(results->FG2->cols(), 6);
    EXPECT_EQ(results->FG2->textMatrix(1, 1), QStringLiteral("451.4"));
    EXPECT_EQ(results->FG2->textMatrix(1, 2), QStringLiteral("337.2"));
    EXPECT_GE(results->IterationCount, 1);
    EXPECT_EQ(results->FG3->textMatrix(1, 1), QString::number(results->IterationCount));
  }
};

TEST_F(EngineEndToEnd, TypedDataSetSavedAndRun) {
  typeDataSet();
  EXPECT_EQ(form->FG3->textMatrix(2, 6), QStringLiteral("120"));
  ASSERT_TRUE(saveIntoDataFolder()) << platform.boxTexts().join('|').toStdString();
  const QByteArray saved = readBytes(dataFile("Route7.dat"));
  EXPECT_TRUE(saved.contains("\r\n3   5\r\n"));
  EXPECT_TRUE(saved.contains("\r\n1,0,\"99:99\",49.1\r\n452\r\n"));

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

  // On through the results to the printed page.
  Form3* results = showResults();
  ASSERT_NO_FATAL_FAILURE(expectResultsShown(results, QStringLiteral("Route7")));
  const QString page = printPage(results);
  EXPECT_TRUE(page.contains(QStringLiteral("プロジェクト名：Route7"))) << page.toStdString();
  EXPECT_TRUE(page.contains(QStringLiteral("計算回数：%1").arg(results->IterationCount)))
      << page.toStdString();
  EXPECT_TRUE(page.contains(QStringLiteral("評価関数(cm)：") + results->EvaluationText))
      << page.toStdString();
  for (const char* word : {"E1", "E3", "弾性係数(MPa):"})
    EXPECT_TRUE(page.contains(QString::fromUtf8(word))) << word << "\n" << page.toStdString();
}

// A Japanese title names the data file in CP932 inside and the report in UTF-8 outside: the
// engine's report is found under that name, and the results window shows and prints the title.
TEST_F(EngineEndToEnd, JapaneseTitleThroughTheWholeFlow) {
  const QString title = QStringLiteral("国道７号試験区間");
  typeDataSet(title);
  EXPECT_EQ(form->Text4->text(), title);
  ASSERT_TRUE(saveIntoDataFolder()) << platform.boxTexts().join('|').toStdString();
  const QByteArray saved = readBytes(dataFile(title + ".dat"));
  EXPECT_TRUE(saved.contains("\r\n" + Cp932::encode(title) + "\r\n")) << saved.constData();
  EXPECT_TRUE(saved.contains("\r\n" + Cp932::encode(title + ".out") + "\r\n"));

  form->Command5_Click();
  EXPECT_TRUE(platform.boxes.empty()) << platform.boxTexts().join('|').toStdString();
  const QByteArray report = readBytes(dataFile(title + ".out"));  // a UTF-8 file name
  EXPECT_TRUE(report.contains("PROJECT TITLE:    " + Cp932::encode(title)))
      << report.left(2000).constData();
  EXPECT_EQ(readBytes(programFile("out1.dat")), report);

  Form3* results = showResults();
  ASSERT_NO_FATAL_FAILURE(expectResultsShown(results, title));
  const QString page = printPage(results);
  EXPECT_TRUE(page.contains(QStringLiteral("プロジェクト名：") + title)) << page.toStdString();
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

// Regression: with DEF.OUT or MODULI.OUT a folder the engine stopped with status 9 after writing
// the whole report, so the front end showed a success and the results window found no MODULI.OUT.
// The front end shows the failure, however complete the engine's other files are.
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
              QStringList{"解析に失敗しました。入力ファイルを確認してください（out1）。\n"
                          "解析プログラムの終了コード：9"});
    EXPECT_FALSE(QFile::exists(dataFile("Route7.out")));
    EXPECT_FALSE(QFile::exists(programFile("out1.dat")));
    EXPECT_FALSE(form->Command6->isEnabled());
    ASSERT_TRUE(QDir(program.path()).rmdir(name));
  }
}

// Regression: Exit during a run killed the engine outright, so its temporary report stayed in the
// program folder for ever. The engine is asked to stop and removes it; the run counts as failed.
TEST_F(EngineEndToEnd, ExitDuringARunLeavesNoTemporaryFile) {
  typeDataSet();
  ASSERT_TRUE(saveIntoDataFolder()) << platform.boxTexts().join('|').toStdString();
  // The same data set many times over, so that the run lasts long enough to be stopped.
  QByteArray input = readBytes(programFile("inp.dat"));
  const qsizetype drops = input.indexOf("1,0,\"99:99\"");
  ASSERT_GT(drops, 0);
  const QByteArray set = input.mid(drops);
  for (int k = 1; k < 5000; ++k) input += set;
  harness::writeBytes(programFile("inp.dat"), input);

  auto temporaries = [this] {
    return QDir(program.path()).entryList({".orva-*"}, QDir::Files | QDir::Hidden);
  };
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, form, [&] {
    if (temporaries().isEmpty()) return;
    poll.stop();
    platform.answerMessage(MsgAnswer::kYes);  // "本当に終了しますか？"
    platform.answerMessage(MsgAnswer::kOk);   // the failure, once the run procedure goes on
    form->Command3_Click();
  });
  poll.start(5);
  form->Command5_Click();
  ASSERT_EQ(platform.kills, 1) << "the run ended before it could be stopped";
  EXPECT_EQ(platform.quits, 1);
  EXPECT_EQ(platform.boxTexts(),
            (QStringList{"本当に終了しますか？",
                         "解析に失敗しました。入力ファイルを確認してください（out1）。\n"
                         "解析プログラムの終了コード：200"}));
  EXPECT_TRUE(temporaries().isEmpty()) << temporaries().join(' ').toStdString();
  EXPECT_EQ(programFiles(), QStringList{"ORVA-V4"});
}

}  // namespace
