// Running the engine from the editor with stand-in engines (shell scripts in the program folder):
// the exit status and the report decide success, where the report's copies go, the clean-up of a
// failed run, earlier files that cannot be removed, the window during the run, a missing engine,
// Exit, SIGTERM and SIGHUP during a run, and the hand-over to the results window. With the real
// engine: a front end killed during a run, and the next run in its folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QPalette>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>

#include "ExitSignals.h"
#include "Orphans.h"
#include "ProcessRunner.h"
#include "editor_harness.h"

namespace {

using harness::Editor;
using harness::installEngine;
using harness::readBytes;

const QString kFailure =
    QStringLiteral("解析に失敗しました。入力ファイルを確認してください（out1）。");

// Writes what the real engine writes, after checking the hand-over files.
const QByteArray kGoodEngine =
    "[ \"$(head -c 4 SESF.LAB)\" = 2958 ] && [ -s inp.dat ] || exit 1\n"
    "printf 'report\\r\\n' > Route7.out; printf 'def\\r\\n' > DEF.OUT; "
    "printf 'moduli\\r\\n' > MODULI.OUT";

// A stand-in engine that marks its start with the file "started", then waits (at most 20 s) for
// the test to create "go" before it goes on with `then`.
QByteArray waitingEngine(const QByteArray& then) {
  return "touch started; i=0; while [ ! -e go ] && [ $i -lt 1000 ]; do sleep 0.02; i=$((i+1)); "
         "done; rm -f started go; " +
         then;
}

// Calls `act` once, from the event loop that runs while the editor waits for the engine, as soon
// as the engine has started.
void whenEngineStarted(const Editor& e, std::function<void()> act) {
  auto* poll = new QTimer(e.form);
  QObject::connect(poll, &QTimer::timeout, e.form, [&e, poll, act] {
    if (!QFile::exists(e.programFile("started"))) return;
    poll->stop();
    poll->deleteLater();
    act();
  });
  poll->start(10);
}

// Lets a waiting engine go on.
void releaseEngine(const Editor& e) { harness::writeBytes(e.programFile("go"), ""); }

struct Saved : Editor {
  Saved() {
    typeValidDataSet();
    saved = saveIntoDataFolder();
  }
  bool saved = false;
};

TEST(RunEngine, ReportGoesBesideTheDataFileAndToOut1) {
  Saved e;
  ASSERT_TRUE(e.saved);
  installEngine(e, kGoodEngine);
  e.form->Command5_Click();
  EXPECT_TRUE(e.platform.boxes.empty()) << e.platform.boxTexts().join('|').toStdString();
  ASSERT_EQ(e.platform.runs.size(), 1u);
  EXPECT_EQ(e.platform.runs[0].program, e.programFile("ORVA-V4"));  // by its full path
  EXPECT_EQ(e.platform.runs[0].workingFolder, e.program.path());
  EXPECT_TRUE(e.platform.runs[0].arguments.isEmpty());
  EXPECT_EQ(readBytes(e.dataFile("Route7.out")), QByteArray("report\r\n"));
  EXPECT_EQ(readBytes(e.programFile("out1.dat")), QByteArray("report\r\n"));
  EXPECT_EQ(e.programFiles(),
            (QStringList{"DEF.OUT", "inp.dat", "MODULI.OUT", "ORVA-V4", "out1.dat", "SESF.LAB"}));
  EXPECT_TRUE(e.form->Command6->isEnabled());
  EXPECT_FALSE(e.form->Command5->isEnabled());
  EXPECT_FALSE(e.form->Command1->isEnabled());
  EXPECT_EQ(e.form->Command5->text(), QStringLiteral("解析"));
  EXPECT_EQ(e.form->cursor().shape(), Qt::ArrowCursor);
}

TEST(RunEngine, DataFileInTheProgramFolderKeepsTheReportThere) {
  Editor e;
  e.typeValidDataSet();
  e.platform.answerFolder(e.program.path());
  e.form->Command2_Click();
  ASSERT_TRUE(e.form->Command5->isEnabled());
  installEngine(e, kGoodEngine);
  e.form->Command5_Click();
  EXPECT_TRUE(e.platform.boxes.empty()) << e.platform.boxTexts().join('|').toStdString();
  EXPECT_EQ(readBytes(e.programFile("Route7.out")), QByteArray("report\r\n"));
  EXPECT_EQ(readBytes(e.programFile("out1.dat")), QByteArray("report\r\n"));
  EXPECT_TRUE(e.form->Command6->isEnabled());
}

TEST(RunEngine, FailedRunsGiveTheFailureMessageAndRemoveTheWorkFiles) {
  struct Case {
    const char* name;
    QByteArray engine;
    bool staleResults;   // a report, out1.dat and result files left by an earlier run
    QString statusLine;  // the message's second line, after kFailure
  };
  const QString status = QStringLiteral("\n解析プログラムの終了コード：");
  // clang-format off
  const Case cases[] = {
      {"no report",                       "exit 0",                             false, ""},
      {"empty report",                    ": > Route7.out; printf x > DEF.OUT", false, ""},
      {"non-zero exit and no report",     "exit 3",                             false, status + "3"},
      // Regression: an earlier run's report and result files stayed in place, so a run that
      // wrote no report passed for a success.
      {"no report, an earlier run's left", "exit 0",                            true,  ""},
      // Regression: a run that ended with a failure status passed for a success when its report
      // was there, so an earlier report that the engine could not replace was shown as this
      // run's result.
      {"failure status, complete report", kGoodEngine + "; exit 9",             false, status + "9"},
      {"crash, complete report",          kGoodEngine + "; kill -SEGV $$",      false,
       QStringLiteral("\n解析プログラムが異常終了しました（シグナル 11）。")},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Saved e;
    ASSERT_TRUE(e.saved);
    installEngine(e, c.engine);
    if (c.staleResults) {
      for (const char* name : {"Route7.out", "out1.dat", "DEF.OUT", "MODULI.OUT"})
        harness::writeBytes(e.programFile(name), "from an earlier run\r\n");
    }
    e.platform.answerMessage(MsgAnswer::kOk);
    e.form->Command5_Click();
    ASSERT_EQ(e.platform.boxes.size(), 1u);
    EXPECT_EQ(e.platform.boxes[0].text, kFailure + c.statusLine);
    EXPECT_EQ(e.platform.boxes[0].style, MsgStyle::kCritical);
    EXPECT_EQ(e.platform.boxes[0].title, QStringLiteral("Error"));
    EXPECT_EQ(e.programFiles(), QStringList{"ORVA-V4"});
    EXPECT_FALSE(QFile::exists(e.dataFile("Route7.out")));
    EXPECT_FALSE(e.form->Command5->isEnabled());
    EXPECT_FALSE(e.form->Command6->isEnabled());
    EXPECT_EQ(e.form->Command5->text(), QStringLiteral("解析"));
    EXPECT_EQ(e.form->cursor().shape(), Qt::ArrowCursor);
  }
}

// Makes a file impossible to remove, even for root (the immutable attribute), for its lifetime.
class Unremovable {
 public:
  explicit Unremovable(const QString& path) : path_(path.toLocal8Bit()) { set(FS_IMMUTABLE_FL); }
  ~Unremovable() { set(0); }
  bool made() const { return made_; }

 private:
  void set(int flags) {
    const int fd = ::open(path_.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    const bool done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (flags) made_ = done;
    ::close(fd);
  }
  QByteArray path_;
  bool made_ = false;
};

// Regression: an earlier report or result file that could not be removed stayed in place, and the
// front end took it for this run's. Such a file stops the run before the engine starts, with its
// name and the system's reason; the hand-over files stay, so the run can be tried again.
TEST(RunEngine, EarlierFileThatCannotBeRemovedStopsTheRun) {
  for (const char* name : {"Route7.out", "out1.dat", "DEF.OUT", "MODULI.OUT"}) {
    SCOPED_TRACE(name);
    Saved e;
    ASSERT_TRUE(e.saved);
    installEngine(e, kGoodEngine);
    harness::writeBytes(e.programFile(name), "from an earlier run\r\n");
    const Unremovable stays(e.programFile(name));
    if (!stays.made()) GTEST_SKIP() << "the immutable attribute cannot be set here";
    e.platform.answerMessage(MsgAnswer::kOk);
    e.form->Command5_Click();
    EXPECT_TRUE(e.platform.runs.empty());
    ASSERT_EQ(e.platform.boxes.size(), 1u);
    EXPECT_EQ(e.platform.boxes[0].text,
              QStringLiteral("前回の解析のファイルを削除できません。\n") + e.programFile(name) +
                  QLatin1Char('\n') + QString::fromLocal8Bit(std::strerror(EPERM)));
    EXPECT_EQ(e.platform.boxes[0].style, MsgStyle::kCritical);
    EXPECT_EQ(e.platform.boxes[0].title, QStringLiteral("Error"));
    EXPECT_TRUE(QFile::exists(e.programFile("inp.dat")));
    EXPECT_TRUE(QFile::exists(e.programFile("SESF.LAB")));
    EXPECT_TRUE(e.form->Command5->isEnabled());
    EXPECT_EQ(e.form->Command5->text(), QStringLiteral("解析"));
    EXPECT_EQ(e.form->cursor().shape(), Qt::ArrowCursor);
    EXPECT_FALSE(e.form->Command6->isEnabled());
  }
}

// Regression: a missing or unstartable engine left the run button with its running caption, its
// yellow face and the wait cursor.
TEST(RunEngine, MissingOrUnstartableEngineRestoresTheRunButton) {
  for (const bool present : {false, true}) {
    SCOPED_TRACE(present ? "not executable" : "missing");
    Saved e;
    ASSERT_TRUE(e.saved);
    const QColor face = e.form->Command5->palette().color(QPalette::Button);
    if (present) harness::writeBytes(e.programFile("ORVA-V4"), "not a program");
    e.platform.answerMessage(MsgAnswer::kOk);
    e.form->Command5_Click();
    ASSERT_EQ(e.platform.boxes.size(), 1u);
    EXPECT_TRUE(
        e.platform.boxes[0].text.startsWith(QStringLiteral("解析プログラムを起動できません")));
    EXPECT_EQ(e.platform.boxes[0].style, MsgStyle::kCritical);
    EXPECT_TRUE(e.form->Command5->isEnabled());
    EXPECT_EQ(e.form->Command5->text(), QStringLiteral("解析"));
    EXPECT_EQ(e.form->Command5->palette().color(QPalette::Button), face);
    EXPECT_EQ(e.form->cursor().shape(), Qt::ArrowCursor);
    EXPECT_TRUE(e.form->Option1->isEnabled());
    EXPECT_TRUE(e.form->Command4->isEnabled());
    // The hand-over files stay for the next try.
    EXPECT_TRUE(QFile::exists(e.programFile("inp.dat")));
    EXPECT_TRUE(QFile::exists(e.programFile("SESF.LAB")));
  }
}

// Regression: the mode options and Clear stayed enabled while the engine ran, so the editor could
// be reset under a running engine. While the engine runs the window handles events; only what
// could start a second run or rewrite the work files is disabled, and everything comes back
// afterwards.
TEST(RunEngine, WindowDuringTheRun) {
  Saved e;
  ASSERT_TRUE(e.saved);
  installEngine(e, waitingEngine(kGoodEngine));
  const QColor face = e.form->Command5->palette().color(QPalette::Button);
  struct Seen {
    bool sampled = false;
    bool run, option1, option2, clear, exit, manual;
    QString caption;
    QColor colour;
    Qt::CursorShape cursor;
  } seen;
  whenEngineStarted(e, [&] {
    Form2* f = e.form;
    seen = {true,
            f->Command5->isEnabled(),
            f->Option1->isEnabled(),
            f->Option2->isEnabled(),
            f->Command4->isEnabled(),
            f->Command3->isEnabled(),
            f->Command7->isEnabled(),
            f->Command5->text(),
            f->Command5->palette().color(QPalette::Button),
            f->cursor().shape()};
    releaseEngine(e);
  });
  e.form->Command5_Click();
  ASSERT_TRUE(seen.sampled);
  EXPECT_FALSE(seen.run);
  EXPECT_FALSE(seen.option1);
  EXPECT_FALSE(seen.option2);
  EXPECT_FALSE(seen.clear);
  EXPECT_TRUE(seen.exit);
  EXPECT_TRUE(seen.manual);
  EXPECT_EQ(seen.caption, QStringLiteral("解析中..."));
  EXPECT_EQ(seen.colour, QColor(255, 255, 0));
  EXPECT_EQ(seen.cursor, Qt::WaitCursor);

  EXPECT_TRUE(e.platform.boxes.empty()) << e.platform.boxTexts().join('|').toStdString();
  EXPECT_EQ(e.form->Command5->text(), QStringLiteral("解析"));
  EXPECT_EQ(e.form->Command5->palette().color(QPalette::Button), face);
  EXPECT_TRUE(e.form->Option1->isEnabled());
  EXPECT_TRUE(e.form->Option2->isEnabled());
  EXPECT_TRUE(e.form->Command4->isEnabled());
  EXPECT_EQ(e.form->cursor().shape(), Qt::ArrowCursor);
}

// Regression: Exit during a run removed the work files and ended the program but left the engine
// running, to write its files into the program folder after the clean-up; then it killed the
// engine at once, leaving its temporary files behind. The engine is asked to stop first.
TEST(RunEngine, ExitDuringARunStopsTheEngineBeforeTheCleanUp) {
  Saved e;
  ASSERT_TRUE(e.saved);
  // Writes its report after 20 s unless it is ended first; marks a polite stop with "stopped".
  // Short sleeps, so that no long-lived child outlives the ended shell holding the test's output
  // open.
  installEngine(e,
                "trap 'touch stopped; exit 200' TERM; i=0; while [ $i -lt 200 ]; do sleep 0.1; "
                "i=$((i+1)); done; " +
                    kGoodEngine);
  e.platform.answerMessage(MsgAnswer::kYes);  // "本当に終了しますか？"
  QTimer::singleShot(100, e.form, [&] { e.form->Command3_Click(); });
  QElapsedTimer clock;
  clock.start();
  // The scripted platform does not end the test program: the run procedure goes on after the
  // engine has been ended and finds its failure status.
  e.platform.answerMessage(MsgAnswer::kOk);
  e.form->Command5_Click();
  EXPECT_LT(clock.elapsed(), 10000);
  EXPECT_EQ(e.platform.kills, 1);
  EXPECT_EQ(e.platform.quits, 1);
  EXPECT_EQ(e.platform.boxTexts(),
            (QStringList{"本当に終了しますか？",
                         kFailure + QStringLiteral("\n解析プログラムの終了コード：200")}));
  EXPECT_EQ(e.programFiles(), (QStringList{"ORVA-V4", "stopped"}));
}

// Regression: SIGTERM (a logout, a task manager) or SIGHUP ended the program during a run without
// a word to the engine, which went on to write its files into the program folder, and left the
// work files behind. Either signal acts as Exit answered Yes, from the event loop of the run's
// wait: the engine is asked to stop and ends, then the work files are deleted and the program ends.
TEST(RunEngine, EndSignalsDuringARunActAsExit) {
  for (const int signal : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    Saved e;
    ASSERT_TRUE(e.saved);
    installEngine(e,
                  "trap 'rm -f started; touch stopped; exit 200' TERM; touch started; i=0; "
                  "while [ $i -lt 200 ]; do sleep 0.1; i=$((i+1)); done; " +
                      kGoodEngine);
    const auto previous = std::signal(signal, SIG_DFL);  // whatever this test inherited
    {
      const ExitSignals exitSignals([&e] { Module1::EndProgram(e.platform); });
      whenEngineStarted(e, [signal] { ::kill(::getpid(), signal); });
      // The scripted platform does not end the test program: the run procedure goes on after the
      // engine has ended and finds its failure status.
      e.platform.answerMessage(MsgAnswer::kOk);
      e.form->Command5_Click();
    }
    std::signal(signal, previous);
    EXPECT_EQ(e.platform.kills, 1);
    EXPECT_EQ(e.platform.quits, 1);
    EXPECT_EQ(e.platform.boxTexts(),
              QStringList{kFailure + QStringLiteral("\n解析プログラムの終了コード：200")});
    EXPECT_EQ(e.programFiles(), (QStringList{"ORVA-V4", "stopped"}));
  }
}

// Regression: the engine of a front end that was killed (SIGKILL, a crash) ran on and published
// its DEF.OUT and MODULI.OUT over those of the next run in the folder, which the results window
// then showed under the next project's name. The real engine, slowed by a long input: it ends on
// the SIGTERM that the front end's end sends it (status 200) and leaves no temporary file, and
// the next run in the folder gives what a run in a fresh folder gives.
TEST(RunEngine, AKilledFrontEndsEngineEndsAndTheNextRunIsRight) {
  const QString engine = QStringLiteral(ORVA_PROGRAM_DIR "/ORVA-V4");
  ASSERT_TRUE(QFile::exists(engine)) << "the engine is not built: " << engine.toStdString();
  ExecFolder folder;
  ASSERT_TRUE(QFile::copy(engine, folder.filePath("ORVA-V4")));
  harness::writeBytes(folder.filePath("SESF.LAB"), "2958\r\n");
  // The same data set many times over, so that the run lasts long enough to be interrupted.
  QByteArray input = readBytes(QStringLiteral(ORVA_TEST_DATA_DIR "/three_layers.dat"));
  const qsizetype drops = input.indexOf("1,0,\"99:99\"");
  ASSERT_GT(drops, 0);
  const QByteArray set = input.mid(drops);
  for (int k = 1; k < 5000; ++k) input += set;
  harness::writeBytes(folder.filePath("inp.dat"), input);
  auto temporaries = [&folder] {
    return QDir(folder.path()).entryList({".orva-*"}, QDir::Files | QDir::Hidden);
  };

  const Subreaper adopter;
  ASSERT_TRUE(adopter.ok()) << std::strerror(errno);
  QProcess frontEnd;
  // The engine's console goes where the front end's goes: a file that outlives them both.
  QTemporaryDir console;
  frontEnd.setStandardOutputFile(console.filePath("out"));
  frontEnd.setStandardErrorFile(console.filePath("err"));
  frontEnd.start(QStringLiteral(ORVA_RUNNER_CHILD), {folder.filePath("ORVA-V4"), folder.path()});
  ASSERT_TRUE(frontEnd.waitForStarted()) << frontEnd.errorString().toStdString();
  // The engine is inside its run once its report's temporary file is there.
  QList<pid_t> running;
  for (QDeadlineTimer deadline(20000); !deadline.hasExpired(); QThread::msleep(5)) {
    running = childrenOf(static_cast<pid_t>(frontEnd.processId()), "ORVA-V4");
    if (!running.isEmpty() && !temporaries().isEmpty()) break;
  }
  ASSERT_EQ(running.size(), 1) << "the engine did not start";
  ASSERT_FALSE(temporaries().isEmpty()) << "the engine ended before it could be interrupted";

  ::kill(static_cast<pid_t>(frontEnd.processId()), SIGKILL);
  ASSERT_TRUE(frontEnd.waitForFinished(10000));
  int status = 0;
  ASSERT_TRUE(waitForEnd(running[0], 60000, &status)) << "the engine outlived its front end";
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 200);
  EXPECT_EQ(readBytes(console.filePath("err")),
            QByteArray("forrtl: error (200): program aborting due to control-C event\n"));
  EXPECT_TRUE(temporaries().isEmpty()) << temporaries().join(' ').toStdString();

  // The next run, of another project, as the front end runs it; and the same run in a fresh
  // folder.
  const QByteArray next = readBytes(QStringLiteral(ORVA_TEST_DATA_DIR "/one_layer.dat"));
  ExecFolder fresh;
  ASSERT_TRUE(QFile::copy(engine, fresh.filePath("ORVA-V4")));
  for (const ExecFolder* f : {&folder, &fresh}) {
    harness::writeBytes(f->filePath("inp.dat"), next);
    harness::writeBytes(f->filePath("SESF.LAB"), "2958\r\n");
    ProcessRunner runner;
    ProcessEnd end;
    QString error;
    ASSERT_TRUE(runner.run(f->filePath("ORVA-V4"), {}, f->path(), &end, &error))
        << error.toStdString();
    ASSERT_FALSE(end.crashed);
    ASSERT_EQ(end.exitCode, 0);
  }
  for (const char* name : {"one_layer.out", "DEF.OUT", "MODULI.OUT"}) {
    SCOPED_TRACE(name);
    const QByteArray expected = readBytes(fresh.filePath(name));
    EXPECT_FALSE(expected.isEmpty());
    EXPECT_EQ(readBytes(folder.filePath(name)), expected);
  }
  EXPECT_TRUE(temporaries().isEmpty()) << temporaries().join(' ').toStdString();
}

TEST(RunEngine, ResultsButtonHandsOverToTheResultsWindow) {
  Saved e;
  ASSERT_TRUE(e.saved);
  installEngine(e, kGoodEngine);
  e.form->Command5_Click();
  ASSERT_TRUE(e.form->Command6->isEnabled());
  int shown = 0;
  e.windows.showForm3 = [&] { ++shown; };
  e.form->Command6_Click();
  EXPECT_EQ(shown, 1);
  EXPECT_FALSE(e.form->isVisible());
  EXPECT_FALSE(e.form->Command5->isEnabled());
  EXPECT_FALSE(e.form->Command6->isEnabled());
}

}  // namespace
