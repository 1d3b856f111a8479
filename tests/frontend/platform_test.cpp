// The platform layer: the grid widget, key codes, the text box's key events, the spin button with
// its buddy, the font substitutions, running and stopping a process (which never outlives the
// front end), and the Qt seam's document opening, boxes and save dialog.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontInfo>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest/QTest>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>

#include "ExecFolder.h"
#include "FakePlatform.h"
#include "FlexGrid.h"
#include "Fonts.h"
#include "KeyCodes.h"
#include "Orphans.h"
#include "ProcessRunner.h"
#include "QtPlatform.h"
#include "QtTranslation.h"
#include "TextBox.h"
#include "Twips.h"
#include "UpDown.h"

namespace {

TEST(FlexGrid, ResizingKeepsTheTextsOfTheCellsThatStay) {
  FlexGrid g;
  g.setRows(3);
  g.setCols(3);
  g.setTextMatrix(1, 1, "a");
  g.setTextMatrix(2, 2, "b");
  g.setRows(2);
  g.setCols(4);
  EXPECT_EQ(g.textMatrix(1, 1), "a");
  g.setRows(3);
  g.setCols(3);
  EXPECT_EQ(g.textMatrix(2, 2), "");  // dropped with its row, added back empty
  EXPECT_EQ(g.textMatrix(5, 5), "");  // outside: empty, no crash
  g.clear();
  EXPECT_EQ(g.textMatrix(1, 1), "");
  EXPECT_EQ(g.rows(), 3);
  // Regression: shrinking a grid to one row cut its fixed rows to 0 for good, so the header row
  // came back as a data row when the rows did.
  g.setRows(1);  // the fixed row stays fixed when rows come back
  g.setRows(3);
  EXPECT_EQ(g.fixedRows(), 1);
}

TEST(FlexGrid, LeaveCellComesBeforeTheCurrentCellChanges) {
  FlexGrid g;
  g.setRows(4);
  g.setCols(4);
  g.setRow(1);
  g.setCol(1);
  std::vector<std::pair<int, int>> left;
  QObject::connect(&g, &FlexGrid::leaveCell, [&] { left.emplace_back(g.row(), g.col()); });
  g.setRow(1);  // no change, no event
  g.setCol(2);
  g.setRow(3);
  g.setRows(2);  // the current row goes: it is left first
  EXPECT_EQ(left, (std::vector<std::pair<int, int>>{{1, 1}, {1, 2}, {3, 2}}));
  EXPECT_EQ(g.row(), 1);
}

TEST(FlexGrid, SizesAndTheCurrentCellsRectangleInTwips) {
  FlexGrid g;
  g.setCols(4);
  g.setRows(3);
  g.setColWidth(0, 900);
  g.setColWidth(1, 1500);
  g.setRowHeight(0, 300);
  EXPECT_EQ(g.colWidth(2), g.defaultColWidth());
  g.setRow(2);
  g.setCol(2);
  EXPECT_EQ(g.cellLeft(), 900 + 1500);
  EXPECT_EQ(g.cellTop(), 300 + g.defaultRowHeight());
  EXPECT_EQ(g.cellWidth(), g.defaultColWidth());
  EXPECT_EQ(g.cellRect(2, 2),
            QRect(twipsToPixels(2400),
                  twipsToPixels(g.cellTop()),
                  twipsToPixels(g.defaultColWidth()),
                  twipsToPixels(g.defaultRowHeight())));
  g.setColWidth(1, -1);
  EXPECT_EQ(g.colWidth(1), g.defaultColWidth());
  g.setCellAlignment(FlexGrid::kAlignCenterCenter);
  g.setCellBackColor(Qt::white);
  EXPECT_EQ(g.cellAlignment(), FlexGrid::kAlignCenterCenter);
  EXPECT_EQ(g.cellBackColor(), QColor(Qt::white));
}

TEST(FlexGrid, KeysRaiseKeyDownThenKeyPressAndArrowsMoveInsideTheDataCells) {
  FlexGrid g;
  g.setRows(3);
  g.setCols(3);
  g.setRow(1);
  g.setCol(1);
  QStringList events;
  QObject::connect(
      &g, &FlexGrid::keyDown, [&](int k, int) { events << QString("down %1").arg(k); });
  QObject::connect(&g, &FlexGrid::keyPress, [&](int c) { events << QString("press %1").arg(c); });
  QTest::keyClick(&g, Qt::Key_7);
  QTest::keyClick(&g, Qt::Key_F2);
  QTest::keyClick(&g, Qt::Key_Delete);
  QTest::keyClick(&g, Qt::Key_Return);
  EXPECT_EQ(events,
            (QStringList{"down 55", "press 55", "down 113", "down 46", "down 13", "press 13"}));
  QTest::keyClick(&g, Qt::Key_Left);  // column 0 is fixed
  EXPECT_EQ(g.col(), 1);
  QTest::keyClick(&g, Qt::Key_Right);
  QTest::keyClick(&g, Qt::Key_Right);
  EXPECT_EQ(g.col(), 2);
  QTest::keyClick(&g, Qt::Key_Up);  // row 0 is fixed
  EXPECT_EQ(g.row(), 1);
  QTest::keyClick(&g, Qt::Key_Down);
  QTest::keyClick(&g, Qt::Key_Down);
  EXPECT_EQ(g.row(), 2);
  // A click on a fixed cell leaves the current cell.
  QTest::mouseClick(&g, Qt::LeftButton, {}, g.cellRect(0, 1).center());
  EXPECT_EQ(g.row(), 2);
  QTest::mouseClick(&g, Qt::LeftButton, {}, g.cellRect(1, 1).center());
  EXPECT_EQ(g.row(), 1);
  EXPECT_EQ(g.col(), 1);
}

TEST(KeyCodes, QtKeysMapToTheWindowsKeyCodes) {
  struct Case {
    int key;
    Qt::KeyboardModifiers modifiers;
    int code;
  };
  // clang-format off
  const Case cases[] = {
      {Qt::Key_F2, {}, 113},       {Qt::Key_Delete, {}, 46},    {Qt::Key_Return, {}, 13},
      {Qt::Key_Enter, Qt::KeypadModifier, 13},                  {Qt::Key_Escape, {}, 27},
      {Qt::Key_Tab, {}, 9},        {Qt::Key_Up, {}, 38},        {Qt::Key_Down, {}, 40},
      {Qt::Key_A, {}, 65},         {Qt::Key_5, {}, 53},         {Qt::Key_5, Qt::KeypadModifier, 101},
      {Qt::Key_Minus, {}, 189},    {Qt::Key_Period, {}, 190},   {Qt::Key_Plus, {}, 187},
      {Qt::Key_Minus, Qt::KeypadModifier, 109},                 {Qt::Key_Space, {}, 32},
      {Qt::Key_Henkan, {}, 229},   {Qt::Key_Exclam, {}, 49},    {Qt::Key_Backspace, {}, 8},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    QKeyEvent e(QEvent::KeyPress, c.key, c.modifiers);
    EXPECT_EQ(keyCodeOf(&e), c.code);
  }
  QKeyEvent shifted(QEvent::KeyPress, Qt::Key_A, Qt::ShiftModifier | Qt::ControlModifier);
  EXPECT_EQ(shiftStateOf(&shifted), ShiftState::kShift | ShiftState::kCtrl);
}

TEST(TextBox, AKeyPressHandlerCanSwallowOrReplaceTheCharacter) {
  QWidget window;
  TextBox box(&window);
  window.show();
  QApplication::setActiveWindow(&window);
  box.setFocus();
  QObject::connect(&box, &TextBox::keyPress, [](int* c) {
    if (*c == 'x') *c = 0;
    if (*c == 'y') *c = 'Y';
  });
  QTest::keyClicks(&box, "axbyc");
  EXPECT_EQ(box.text(), "abYc");
  // Tab is a key of the box when it takes Tab, and types nothing.
  std::vector<int> downs;
  QObject::connect(&box, &TextBox::keyDown, [&](int k, int) { downs.push_back(k); });
  box.setTakesTab(true);
  QTest::keyClick(&box, Qt::Key_Tab);
  EXPECT_EQ(downs, std::vector<int>{9});
  EXPECT_EQ(box.text(), "abYc");
}

// Regression: the box took a key as handled whenever it lacked the focus after its KeyDown
// handlers, so keys sent to a box of a window that is not active were lost.
TEST(TextBox, TypingReachesABoxOfAWindowThatIsNotActive) {
  QWidget window;
  TextBox box(&window);
  window.show();
  QTest::keyClicks(&box, "P-1");
  EXPECT_EQ(box.text(), "P-1");
}

TEST(UpDown, StepsInsideItsRangeAndKeepsItsBuddyInStep) {
  TextBox buddy;
  UpDown spin;
  QSignalSpy changes(&spin, &UpDown::change);
  spin.setBuddy(&buddy);
  spin.setMin(1);
  spin.setMax(3);
  spin.setValue(1);
  EXPECT_EQ(buddy.text(), "1");
  EXPECT_EQ(changes.count(), 1);
  spin.setValue(1);  // the value it holds: no change
  EXPECT_EQ(changes.count(), 1);
  for (int i = 0; i < 5; ++i) spin.stepUp();
  EXPECT_EQ(spin.value(), 3);
  EXPECT_EQ(buddy.text(), "3");
  EXPECT_EQ(changes.count(), 3);
  buddy.setText("2");  // written by code: the next step starts there
  spin.stepDown();
  EXPECT_EQ(spin.value(), 1);
  buddy.setText("9");  // outside the range: ignored
  spin.stepUp();
  EXPECT_EQ(spin.value(), 2);
  spin.setEnabled(false);
  spin.stepUp();
  EXPECT_EQ(spin.value(), 2);
}

TEST(Fonts, TheWindowsFontsMapToTheInstalledOnes) {
  Fonts::installSubstitutions();
  // Qt keeps substitutes in lower case.
  EXPECT_EQ(QFont::substitute(Fonts::kGothic), "ipagothic");
  EXPECT_EQ(QFont::substitute("MS Gothic"), "ipagothic");
  EXPECT_EQ(QFont::substitute(Fonts::kPGothic), "ipapgothic");
  EXPECT_EQ(QFont::substitute(Fonts::kArial), "liberation sans");
  // A resolved font carries the name the system gives it in the user's language ("IPAゴシック"
  // under a Japanese locale): each is compared with the font its substitute resolves to, and the
  // three are told apart, so that no two of them fell back to one default font.
  struct Case {
    QString windowsName;
    QString installed;
  };
  const Case cases[] = {{Fonts::kGothic, "IPAGothic"},
                        {Fonts::kPGothic, "IPAPGothic"},
                        {Fonts::kArial, "Liberation Sans"}};
  QSet<QString> resolved;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.installed.toStdString());
    const QString family = QFontInfo(QFont(c.windowsName, 9)).family();
    EXPECT_EQ(family, QFontInfo(QFont(c.installed, 9)).family());
    resolved.insert(family);
  }
  EXPECT_EQ(resolved.size(), 3);
}

// Writes an executable shell script into folder.
QString writeScript(const ExecFolder& folder, const char* name, const QByteArray& body) {
  const QString script = folder.filePath(QLatin1String(name));
  QFile f(script);
  if (f.open(QIODevice::WriteOnly)) f.write("#!/bin/sh\n" + body + "\n");
  f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
  return script;
}

TEST(RunProcess, RunsInTheWorkingFolderWithEmptyInputAndKeepsTheEventsFlowing) {
  ExecFolder folder;
  const QString script =
      writeScript(folder, "job.sh", "pwd > where.txt\ncat > input.txt\nsleep 0.3\nexit 3");
  FakePlatform platform(folder.path());
  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start(20);
  QString error;
  ProcessEnd end;
  EXPECT_TRUE(platform.runProcess(script, {}, folder.path(), &end, &error));
  EXPECT_EQ(end.exitCode, 3);
  EXPECT_FALSE(end.crashed);
  EXPECT_GT(ticks, 3);
  QFile where(folder.filePath("where.txt"));
  ASSERT_TRUE(where.open(QIODevice::ReadOnly));
  EXPECT_EQ(where.readAll().trimmed(), QFileInfo(folder.path()).canonicalFilePath().toUtf8());
  EXPECT_EQ(QFileInfo(folder.filePath("input.txt")).size(), 0);
  ASSERT_EQ(platform.runs.size(), 1u);
  EXPECT_EQ(platform.runs[0].workingFolder, folder.path());

  // A process ended by a signal has crashed, with the signal's number.
  EXPECT_TRUE(platform.runProcess(
      writeScript(folder, "crash.sh", "kill -SEGV $$"), {}, folder.path(), &end, &error));
  EXPECT_TRUE(end.crashed);
  EXPECT_EQ(end.exitCode, 11);

  EXPECT_FALSE(platform.runProcess(folder.filePath("ORVA-V4"), {}, folder.path(), &end, &error));
  EXPECT_TRUE(error.contains("ORVA-V4"));
}

// Regression: stopping a run killed the engine at once, so it could not remove its temporary
// files. A stop asks first (SIGTERM) and kills only a process that is still there after the grace
// period.
TEST(RunProcess, StopAsksFirstAndKillsOnlyAfterTheGracePeriod) {
  struct Case {
    const char* name;
    QByteArray onTerm;  // the script's trap for SIGTERM
    ProcessEnd expected;
    bool askedFirst;
  };
  // clang-format off
  const Case cases[] = {
      {"ends when asked", "touch asked; exit 200", {200, false}, true},
      {"ignores the request", "",                   {9, true},    false},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExecFolder folder;
    // Short sleeps, so that the trap runs soon and no long-lived child outlives the shell.
    const QString script =
        writeScript(folder,
                    "job.sh",
                    "trap '" + c.onTerm +
                        "' TERM; touch started; i=0; while [ $i -lt 200 ]; do sleep 0.05; "
                        "i=$((i+1)); done");
    ProcessRunner runner;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (!QFile::exists(folder.filePath("started"))) return;
      poll.stop();
      runner.stop(500);
    });
    poll.start(10);
    QElapsedTimer clock;
    clock.start();
    QString error;
    ProcessEnd end;
    ASSERT_TRUE(runner.run(script, {}, folder.path(), &end, &error));
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(end.exitCode, c.expected.exitCode);
    EXPECT_EQ(end.crashed, c.expected.crashed);
    EXPECT_EQ(QFile::exists(folder.filePath("asked")), c.askedFirst);
  }
}

// Regression: a front end that ended without stopping its engine (SIGKILL from a task manager, a
// crash) left the engine running, to publish its files over those of the next run. The program
// gets SIGTERM as soon as the front end is gone, also when a wrapper execs it.
TEST(RunProcess, TheProgramEndsWithTheFrontEndHoweverThatEnds) {
  struct Case {
    const char* name;
    const char* program;
  };
  const Case cases[] = {{"the program itself", "job.sh"},
                        {"through a wrapper that execs it", "wrapper.sh"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExecFolder folder;
    // Writes its process id once its trap is set, then runs for 20 s unless asked to end.
    writeScript(folder,
                "job.sh",
                "trap 'touch asked; exit 200' TERM; echo $$ > pid.part; mv pid.part pid; i=0; "
                "while [ $i -lt 400 ]; do sleep 0.05; i=$((i+1)); done");
    writeScript(folder, "wrapper.sh", "exec \"$(dirname \"$0\")/job.sh\"");
    const Subreaper adopter;
    ASSERT_TRUE(adopter.ok()) << std::strerror(errno);
    QProcess frontEnd;
    frontEnd.start(QStringLiteral(ORVA_RUNNER_CHILD), {folder.filePath(c.program), folder.path()});
    ASSERT_TRUE(frontEnd.waitForStarted()) << frontEnd.errorString().toStdString();
    QFile pidFile(folder.filePath("pid"));
    for (QDeadlineTimer deadline(10000); !pidFile.exists() && !deadline.hasExpired();)
      QThread::msleep(10);
    ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly)) << "the program did not start";
    const pid_t program = pidFile.readAll().trimmed().toInt();
    ASSERT_GT(program, 0);
    EXPECT_EQ(parentOf(program), frontEnd.processId());  // the wrapper became the program

    ::kill(static_cast<pid_t>(frontEnd.processId()), SIGKILL);
    ASSERT_TRUE(frontEnd.waitForFinished(10000));
    int status = 0;
    ASSERT_TRUE(waitForEnd(program, 10000, &status)) << "the program outlived its front end";
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 200);
    EXPECT_TRUE(QFile::exists(folder.filePath("asked")));
  }
}

TEST(QtPlatformSeam, DocumentOpeningReportsMissingFilesAndFolders) {
  QTemporaryDir folder;
  QtPlatform platform;
  EXPECT_EQ(platform.openDocument(folder.filePath("orva_win_man.pdf")), 2);
  EXPECT_EQ(platform.openDocument(folder.filePath("no/orva_win_man.pdf")), 3);
  EXPECT_EQ(platform.programFolder(), QCoreApplication::applicationDirPath());
}

// The boxes of the real seam: each style code gives its buttons and icon, with the title and text
// given; the default button of the Yes/No box is Yes.
TEST(QtPlatformSeam, MessageBoxStylesGiveTheirButtonsAndIcons) {
  struct Case {
    int style;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon;
  };
  const Case cases[] = {
      {0, QMessageBox::Ok, QMessageBox::NoIcon},
      {16, QMessageBox::Ok, QMessageBox::Critical},
      {48, QMessageBox::Ok, QMessageBox::Warning},
      {68, QMessageBox::Yes | QMessageBox::No, QMessageBox::Information},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.style);
    const auto box = QtPlatform::makeMessageBox(
        nullptr, QStringLiteral("本当に終了しますか？"), c.style, "Title");
    EXPECT_EQ(box->standardButtons(), c.buttons);
    EXPECT_EQ(box->icon(), c.icon);
    EXPECT_EQ(box->windowTitle(), "Title");
    EXPECT_EQ(box->text(), QStringLiteral("本当に終了しますか？"));
    if (c.style == MsgStyle::kYesNoInfo) {
      EXPECT_EQ(static_cast<QAbstractButton*>(box->defaultButton()), box->button(QMessageBox::Yes));
    }
  }
}

// Qt's Japanese translation gives the real seam's boxes Japanese buttons (the texts of qtbase_ja)
// and the file dialog Japanese labels; the box's own text and title stay as given. Where the
// translation is missing nothing is installed and Qt's texts stay English; taking the translation
// out brings them back.
TEST(QtPlatformSeam, QtsJapaneseTranslationGivesTheButtonsJapaneseTexts) {
  auto buttonTexts = [] {
    QStringList texts;
    for (int style : {MsgStyle::kYesNoInfo, MsgStyle::kCritical}) {
      const auto box = QtPlatform::makeMessageBox(
          nullptr, QStringLiteral("入力データを更新しますか？"), style, "Information");
      EXPECT_EQ(box->text(), QStringLiteral("入力データを更新しますか？"));
      EXPECT_EQ(box->windowTitle(), "Information");
      for (QAbstractButton* button : box->buttons()) texts << button->text();
    }
    texts.sort();
    return texts;
  };
  auto lookIn = [] {
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    return dialog.labelText(QFileDialog::LookIn);
  };
  const QStringList english = {"&No", "&Yes", "OK"};
  QTemporaryDir empty;
  EXPECT_EQ(QtTranslation::installJapanese(empty.path()), nullptr);
  EXPECT_EQ(buttonTexts(), english);
  {
    const auto translation = QtTranslation::installJapanese();
    ASSERT_NE(translation, nullptr)
        << "no qtbase_ja.qm (package qt6-translations-l10n) in "
        << QLibraryInfo::path(QLibraryInfo::TranslationsPath).toStdString();
    EXPECT_EQ(buttonTexts(),
              (QStringList{
                  QStringLiteral("OK"), QStringLiteral("いいえ(&N)"), QStringLiteral("はい(&Y)")}));
    EXPECT_EQ(lookIn(), QStringLiteral("アドレス:"));
  }
  EXPECT_EQ(buttonTexts(), english);
  EXPECT_EQ(lookIn(), "Look in:");
}

// Shows a box through the real seam and clicks one of its buttons as soon as it is up.
int answerShownBox(QtPlatform& platform, int style, QMessageBox::StandardButton button) {
  QTimer clicker;
  QObject::connect(&clicker, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(w);
      if (box && box->isVisible() && box->button(button)) {
        clicker.stop();
        box->button(button)->click();
        return;
      }
    }
  });
  clicker.start(0);
  return platform.messageBox(nullptr, QStringLiteral("入力データを更新しますか？"), style, "T");
}

TEST(QtPlatformSeam, YesAnswersSixNoSevenAndOkOne) {
  QtPlatform platform;
  EXPECT_EQ(answerShownBox(platform, MsgStyle::kYesNoInfo, QMessageBox::Yes), 6);
  EXPECT_EQ(answerShownBox(platform, MsgStyle::kYesNoInfo, QMessageBox::No), 7);
  EXPECT_EQ(answerShownBox(platform, MsgStyle::kCritical, QMessageBox::Ok), 1);
  EXPECT_EQ(answerShownBox(platform, MsgStyle::kOk, QMessageBox::Ok), 1);
}

// The real save dialog hands back an existing file without asking to replace it: the caller asks,
// so the question comes once and goes through the seam.
TEST(QtPlatformSeam, TheSaveDialogLeavesTheReplaceQuestionToTheCaller) {
  QTemporaryDir folder;
  const QString existing = folder.filePath("page.pdf");
  ASSERT_TRUE(QFile(existing).open(QIODevice::WriteOnly));  // created, empty
  QtPlatform platform;
  bool chosen = false;
  QStringList asked;
  QTimer chooser;
  QObject::connect(&chooser, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (!w->isVisible()) continue;
      if (auto* box = qobject_cast<QMessageBox*>(w); box && box->button(QMessageBox::Yes)) {
        asked << box->text();
        box->button(QMessageBox::Yes)->click();
      } else if (auto* dialog = qobject_cast<QFileDialog*>(w); dialog && !chosen) {
        chosen = true;
        dialog->selectFile(existing);
        // Queued, so that a question the dialog asks is met by the next tick of this timer.
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
      }
    }
  });
  chooser.start(0);
  const QString path = platform.saveFileName(
      nullptr, QStringLiteral("保存するPDFファイルを指定してください"), existing, "PDF(*.pdf)");
  chooser.stop();
  EXPECT_EQ(QFileInfo(path), QFileInfo(existing));
  EXPECT_TRUE(asked.isEmpty()) << asked.join('|').toStdString();
}

TEST(FakePlatformPrinter, PrintsToThePdfTheTestNames) {
  QTemporaryDir folder;
  FakePlatform platform(folder.path());
  EXPECT_EQ(platform.printer(), nullptr);  // no printer
  platform.setPrinterPdf(folder.filePath("page.pdf"));
  QPrinter* printer = platform.printer();
  ASSERT_NE(printer, nullptr);
  EXPECT_EQ(printer->outputFormat(), QPrinter::PdfFormat);
  EXPECT_EQ(printer->outputFileName(), folder.filePath("page.pdf"));
}

// The scripted printers: none draws nothing; the PDF printer takes the job into the file the test
// names; a printer that does not accept jobs draws nothing; a refused job is drawn and then lost.
TEST(FakePlatformPrinter, PrintsToThePdfTheTestNamesOrRefusesAsScripted) {
  QTemporaryDir folder;
  const QString pdf = folder.filePath("page.pdf");
  FakePlatform platform(folder.path());
  struct Case {
    const char* name;
    std::function<void()> script;
    PrintResult result;
    bool drawn;
  };
  const Case cases[] = {
      {"no printer", [&] { platform.setPrinterPdf(QString()); }, PrintResult::kNoPrinter, false},
      {"rejecting", [&] { platform.setPrinterRejectingJobs(); }, PrintResult::kRefused, false},
      {"refusing", [&] { platform.setPrinterRefusingTheJob(); }, PrintResult::kRefused, true},
      {"pdf", [&] { platform.setPrinterPdf(pdf); }, PrintResult::kPrinted, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.script();
    bool drawn = false;
    const PrintResult result = platform.print("Title", "Creator", [&](QPagedPaintDevice* device) {
      drawn = true;
      QPainter painter(device);
      painter.drawText(100, 100, "page");
      return painter.end();
    });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(drawn, c.drawn);
    EXPECT_EQ(QFile::exists(pdf), c.result == PrintResult::kPrinted);
  }
  EXPECT_EQ(platform.printJobs, QStringList{"Title"});
}

}  // namespace
