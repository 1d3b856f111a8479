// A run analyses what the window shows: every change the user makes after a completed check and
// save turns the run and the results off and check and save on again, after the save, after a
// run (failed or not), after the results window and while the engine runs; a change that leaves
// the text as it was changes nothing, and neither do the resets of a mode choice or Clear.
#include <gtest/gtest.h>

#include <QTimer>
#include <functional>

#include "editor_harness.h"

namespace {

using harness::Editor;
using harness::installEngine;
using harness::readBytes;

// Types text into the cell (row, col) of grid as a user does: the first key on the grid opens the
// editor box, the rest go into the box, and Enter ends the edit.
void typeCell(FlexGrid* grid, TextBox* box, int row, int col, const QString& text) {
  grid->setRow(row);
  grid->setCol(col);
  QTest::keyClick(grid, text[0].toLatin1());
  QTest::keyClicks(box, text.mid(1));
  QTest::keyClick(box, Qt::Key_Return);
}

void keyOnCell(FlexGrid* grid, int row, int col, Qt::Key key) {
  grid->setRow(row);
  grid->setCol(col);
  QTest::keyClick(grid, key);
}

// The valid data set, saved: the run is on. The half-space's thickness cell holds a text that is
// neither checked nor written, so that emptying it is an edit that keeps the data valid.
struct Saved : Editor {
  Saved() {
    typeValidDataSet();
    form->FG1->setTextMatrix(2, 4, "5");
    saved = saveIntoDataFolder() && platform.boxes.empty();
  }
  // Checks and saves again into the same folder, as the user does after an edit.
  bool saveAgain() {
    platform.answerFolder(data.path());
    form->Command2_Click();
    return form->Command5->isEnabled();
  }
  bool saved = false;
};

void expectAnalysedDataChanged(const Form2* f) {
  EXPECT_FALSE(f->Command5->isEnabled());
  EXPECT_FALSE(f->Command6->isEnabled());
  EXPECT_TRUE(f->Command2->isEnabled());
}

// Regression: after a completed check and save the cells, counts and name stayed editable while the
// run went on with the saved file: a modulus changed from 3000 to 3500 was shown but 3000 was
// analysed. Each change turns the run off and check and save on (its caption kept); checking and
// saving again puts the change into inp.dat and turns the run on. A change that leaves the text as
// it was changes nothing.
TEST(EditsAfterSave, AChangeTurnsTheRunOffAndCheckAndSaveOn) {
  struct Case {
    const char* name;
    std::function<void(Form2*)> edit;
    std::function<bool(const QByteArray&)> analysed;  // what inp.dat holds after the new save;
                                                      // nullptr: the edit changes nothing
  };
  auto holds = [](const char* bytes) {
    return [=](const QByteArray& inp) { return inp.contains(bytes); };
  };
  // clang-format off
  const Case cases[] = {
      {"a modulus typed into FG1",
       [](Form2* f) { typeCell(f->FG1, f->T1, 1, 2, "3500"); },  holds("\r\n0             3500 ")},
      {"a sensor position typed into FG2",
       [](Form2* f) { typeCell(f->FG2, f->T2, 1, 3, "90"); },    holds("\r\n0    30    90\r\n")},
      {"a deflection typed into FG3",
       [](Form2* f) { typeCell(f->FG3, f->T3, 1, 2, "450"); },   holds("\r\n450\r\n200\r\n")},
      {"the standard load typed into FG4",
       [](Form2* f) { typeCell(f->FG4, f->T4, 1, 0, "50"); },    holds("\r\n50            15\r\n")},
      {"the plate radius typed into FG4",
       [](Form2* f) { typeCell(f->FG4, f->T4, 1, 1, "20"); },    holds("\r\n49            20\r\n")},
      {"a cell emptied with Delete",
       [](Form2* f) { keyOnCell(f->FG1, 2, 4, Qt::Key_Delete); },
       [](const QByteArray& inp) { return inp.contains("\r\n1             100           0.4\r\n"); }},
      {"a count stepped down",
       [](Form2* f) { f->UpDown3->stepDown(); },
       [](const QByteArray& inp) { return inp.endsWith("999.9,\"Run1\"\r\n"); }},
      {"the project name",
       [](Form2* f) { QTest::keyClicks(f->Text4, "B"); },        holds("\r\nRoute7B\r\n")},
      {"F2 and Enter on a cell",
       [](Form2* f) { keyOnCell(f->FG1, 1, 2, Qt::Key_F2);
                      QTest::keyClick(f->T1, Qt::Key_Return); }, nullptr},
      {"the digit a cell holds typed over it",
       [](Form2* f) { typeCell(f->FG1, f->T1, 1, 1, "0"); },     nullptr},
      {"Delete on an empty cell",
       [](Form2* f) { keyOnCell(f->FG1, 2, 5, Qt::Key_Delete); }, nullptr},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Saved e;
    ASSERT_TRUE(e.saved) << e.platform.boxTexts().join('|').toStdString();
    Form2* f = e.form;
    c.edit(f);
    if (!c.analysed) {
      EXPECT_TRUE(f->Command5->isEnabled());
      EXPECT_FALSE(f->Command2->isEnabled());
      continue;
    }
    expectAnalysedDataChanged(f);
    EXPECT_EQ(f->Command2->text(), QStringLiteral("データ保存"));
    // The file saved a moment ago is replaced without the question for another file of its name.
    EXPECT_TRUE(e.saveAgain()) << e.platform.boxTexts().join('|').toStdString();
    EXPECT_TRUE(e.platform.boxes.empty()) << e.platform.boxTexts().join('|').toStdString();
    EXPECT_TRUE(c.analysed(readBytes(e.programFile("inp.dat"))));
    EXPECT_FALSE(f->Command2->isEnabled());
  }
}

const QByteArray kGoodEngine =
    "printf 'report\\r\\n' > Route7.out; printf 'def\\r\\n' > DEF.OUT; "
    "printf 'moduli\\r\\n' > MODULI.OUT";

// After a successful run the results belong to the saved data, not to what an edit shows: the
// results button goes off too, also when the results window has been left with "No" (which
// turned it on). After a failed run an edit is the way on: check and save comes on.
TEST(EditsAfterSave, AChangeAfterARunTurnsTheResultsOffAndCheckAndSaveOn) {
  struct Case {
    const char* name;
    QByteArray engine;
    bool results;  // the results button on before the edit
    std::function<void(Editor&)> then;
    bool askFolder;  // saving again asks whether to change the folder
  };
  const Case cases[] = {
      {"after a successful run", kGoodEngine, true, [](Editor&) {}, false},
      {"after a failed run",
       "exit 3",
       false,
       [](Editor& e) {
         ASSERT_EQ(e.platform.boxes.size(), 1u);
         e.platform.boxes.clear();
       },
       false},
      {"after the results window, answered No",
       kGoodEngine,
       true,
       [](Editor& e) { e.form->ReturnFromResults(false); },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Saved e;
    ASSERT_TRUE(e.saved);
    installEngine(e, c.engine);
    if (!c.results) e.platform.answerMessage(MsgAnswer::kOk);  // the failure's message
    e.form->Command5_Click();
    ASSERT_NO_FATAL_FAILURE(c.then(e));
    Form2* f = e.form;
    EXPECT_EQ(f->Command6->isEnabled(), c.results);
    EXPECT_FALSE(f->Command2->isEnabled());

    typeCell(f->FG1, f->T1, 1, 2, "3500");
    expectAnalysedDataChanged(f);
    if (c.askFolder) e.platform.answerMessage(MsgAnswer::kYes);  // "作業フォルダ変更しますか？"
    EXPECT_TRUE(e.saveAgain()) << e.platform.boxTexts().join('|').toStdString();
    EXPECT_TRUE(readBytes(e.programFile("inp.dat")).contains("\r\n0             3500 "));
  }
}

// A change made while the engine runs: the run's report is handed over as usual, but the results
// button stays off (the run analysed the saved data) and check and save comes back on once the
// engine has ended; it is not on during the run, which must not have its files rewritten.
TEST(EditsAfterSave, AChangeDuringTheRunLeavesTheResultsOffAndCheckAndSaveOnAfterIt) {
  Saved e;
  ASSERT_TRUE(e.saved);
  // The engine waits (at most 20 s) for the test to create "go".
  installEngine(e,
                "touch started; i=0; while [ ! -e go ] && [ $i -lt 1000 ]; do sleep 0.02; "
                "i=$((i+1)); done; rm -f started go; " +
                    kGoodEngine);
  bool edited = false;
  bool checkDuringRun = true;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (edited || !QFile::exists(e.programFile("started"))) return;
    edited = true;
    typeCell(e.form->FG1, e.form->T1, 1, 2, "3500");
    checkDuringRun = e.form->Command2->isEnabled();
    harness::writeBytes(e.programFile("go"), "");
  });
  poll.start(10);
  e.form->Command5_Click();
  poll.stop();
  ASSERT_TRUE(edited);
  EXPECT_FALSE(checkDuringRun);
  EXPECT_TRUE(e.platform.boxes.empty()) << e.platform.boxTexts().join('|').toStdString();
  EXPECT_EQ(readBytes(e.programFile("out1.dat")), QByteArray("report\r\n"));
  EXPECT_EQ(readBytes(e.dataFile("Route7.out")), QByteArray("report\r\n"));
  expectAnalysedDataChanged(e.form);
  EXPECT_EQ(e.form->Command5->text(), QStringLiteral("解析"));
  EXPECT_TRUE(e.saveAgain()) << e.platform.boxTexts().join('|').toStdString();
  EXPECT_TRUE(readBytes(e.programFile("inp.dat")).contains("\r\n0             3500 "));
}

// The resets set the buttons themselves: after a save, a mode choice or Clear writes the grids,
// counts and name, and neither that nor a later change turns check and save on in a state where
// the state table keeps it off.
TEST(EditsAfterSave, TheResetsOfAModeChoiceOrClearAreNoEdits) {
  struct Case {
    const char* name;
    std::function<void(Editor&)> reset;
    bool gridsOn;
  };
  const Case cases[] = {
      {"existing data chosen", [](Editor& e) { e.form->Option1->click(); }, true},
      {"Clear answered Yes",
       [](Editor& e) {
         e.platform.answerMessage(MsgAnswer::kYes);
         e.form->Command4_Click();
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Saved e;
    ASSERT_TRUE(e.saved);
    c.reset(e);
    Form2* f = e.form;
    EXPECT_FALSE(f->Command2->isEnabled());
    EXPECT_FALSE(f->Command5->isEnabled());
    if (c.gridsOn) typeCell(f->FG1, f->T1, 1, 2, "3500");
    QTest::keyClicks(f->Text4, "B");
    EXPECT_FALSE(f->Command2->isEnabled());
    EXPECT_FALSE(f->Command5->isEnabled());
  }
}

}  // namespace
