// The start and the end of the program: one orva_win per program folder (the lock and the message
// of a second start), SIGTERM and SIGHUP as Exit, the descriptors that the engine could inherit;
// and orva_win itself as a process, offscreen in a program folder of its own: a second start on
// the folder, the end on a signal, SIGXFSZ, and a window system that cannot be reached.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QProcess>
#include <QSet>
#include <QThread>
#include <algorithm>
#include <climits>
#include <csignal>
#include <cstring>
#include <functional>
#include <optional>

#include "ExecFolder.h"
#include "ExitSignals.h"
#include "FakePlatform.h"
#include "InstanceLock.h"
#include "Module1.h"
#include "ProcessRunner.h"

namespace {

const QStringList kWorkFiles = {"inp.dat", "out1.dat", "SESF.LAB", "DEF.OUT", "MODULI.OUT"};

void writeFile(const QString& path, const QByteArray& bytes = "x") {
  QFile f(path);
  if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
}

void placeWorkFiles(const QString& folder) {
  for (const QString& name : kWorkFiles) writeFile(folder + "/" + name);
}

// Every entry of folder, hidden ones included, with what a change to it would change: its file,
// its size and its time of last change.
QStringList snapshot(const QString& folder) {
  QStringList entries;
  const QDir dir(folder);
  for (const QString& name : dir.entryList(
           QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
    struct stat st {};
    ::lstat(QFile::encodeName(dir.filePath(name)).constData(), &st);
    entries << QStringLiteral("%1 %2 %3 %4.%5")
                   .arg(name)
                   .arg(st.st_ino)
                   .arg(st.st_size)
                   .arg(st.st_mtim.tv_sec)
                   .arg(st.st_mtim.tv_nsec);
  }
  return entries;
}

QStringList names(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                QDir::NoDotAndDotDot);
}

QString lockPath(const QString& folder) {
  return folder + "/" + QLatin1String(InstanceLock::kFileName);
}

// An exclusive flock on path through an open file description of its own, as another process
// would take it.
class OtherHolder {
 public:
  explicit OtherHolder(const QString& path) {
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    held_ = fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
  }
  ~OtherHolder() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool held() const { return held_; }

 private:
  int fd_ = -1;
  bool held_ = false;
};

// True when some other open file description holds a lock on path.
bool lockedElsewhere(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return locked;
}

bool canCreateIn(const QString& folder) {
  const QByteArray probe = QFile::encodeName(folder + "/probe");
  const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(probe.constData());
  return true;
}

// A folder in which no file can be created, even by root where the immutable attribute can be
// set, for its lifetime.
class UnwritableFolder {
 public:
  explicit UnwritableFolder(const QString& folder) : path_(QFile::encodeName(folder)) {
    ::chmod(path_.constData(), 0555);
    if (canCreateIn(folder)) setImmutable(true);
    made_ = !canCreateIn(folder);
  }
  ~UnwritableFolder() {
    if (immutable_) setImmutable(false);
    ::chmod(path_.constData(), 0755);
  }
  bool made() const { return made_; }

 private:
  void setImmutable(bool on) {
    const int fd = ::open(path_.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
      if (::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0) immutable_ = on;
    }
    ::close(fd);
  }
  QByteArray path_;
  bool immutable_ = false;
  bool made_ = false;
};

// What may stand under the lock's name when a program starts, and what the start makes of it. A
// lock file that nobody holds is what a crash or a power loss leaves: it never blocks a start. A
// lock held elsewhere is another orva_win: the start is refused with its message and touches
// nothing. A link or a FIFO under the name is not followed and does not block: the program runs
// without a lock. A lock file is removed when its holder ends, and only then.
TEST(InstanceLock, WhatStandsUnderItsNameDecidesTheStart) {
  using State = InstanceLock::State;
  ExecFolder elsewhere;
  const QString target = elsewhere.filePath("target");
  writeFile(target, "kept");
  struct Case {
    const char* name;
    std::function<void(const QString& lock)> prepare;
    bool heldByAnother;
    State state;
    QStringList namesAfter;  // the folder's entries once the lock is gone
  };
  const QString kName = QLatin1String(InstanceLock::kFileName);
  const auto nothing = [](const QString&) {};
  // clang-format off
  const Case cases[] = {
      {"nothing",                  nothing,                                      false,
       State::kHeld,           kWorkFiles},
      {"a lock file nobody holds", [](const QString& lock) { writeFile(lock, ""); }, false,
       State::kHeld,           kWorkFiles},
      {"a lock held by another",   nothing,                                      true,
       State::kHeldElsewhere,  kWorkFiles + QStringList{kName}},
      {"a link",                   [&](const QString& lock) { QFile::link(target, lock); }, false,
       State::kUnavailable,    kWorkFiles + QStringList{kName}},
      {"a FIFO",                   [](const QString& lock) {
                                     ::mkfifo(QFile::encodeName(lock).constData(), 0644); }, false,
       State::kUnavailable,    kWorkFiles + QStringList{kName}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExecFolder folder;
    placeWorkFiles(folder.path());
    c.prepare(lockPath(folder.path()));
    std::optional<OtherHolder> other;
    if (c.heldByAnother) {
      other.emplace(lockPath(folder.path()));
      ASSERT_TRUE(other->held());
    }
    const QStringList before = snapshot(folder.path());
    FakePlatform platform(folder.path());
    if (c.state == State::kHeldElsewhere) platform.answerMessage(MsgAnswer::kOk);
    {
      const InstanceLock lock(folder.path());
      EXPECT_EQ(lock.state(), c.state);
      EXPECT_EQ(StartsAlone(platform, lock, folder.path()), c.state != State::kHeldElsewhere);
      if (c.state == State::kHeld) {
        EXPECT_TRUE(lockedElsewhere(lockPath(folder.path())));
      } else {
        EXPECT_EQ(snapshot(folder.path()), before);
      }
    }
    if (c.state == State::kHeldElsewhere) {
      ASSERT_EQ(platform.boxes.size(), 1u);
      EXPECT_EQ(platform.boxes[0].text, QStringLiteral("ORVAは既に起動しています。"));
      EXPECT_EQ(platform.boxes[0].style, MsgStyle::kExclamation);
      EXPECT_EQ(platform.boxes[0].title, QStringLiteral("Error"));
      EXPECT_TRUE(lockedElsewhere(lockPath(folder.path())));  // the other's lock stays
    } else {
      EXPECT_TRUE(platform.boxes.empty()) << platform.boxTexts().join('|').toStdString();
    }
    QStringList expected = c.namesAfter;
    expected.sort();
    QStringList after = names(folder.path());
    after.sort();
    EXPECT_EQ(after, expected);
  }
  EXPECT_FALSE(lockedElsewhere(target));  // the link led nowhere
  EXPECT_EQ(names(elsewhere.path()), QStringList{"target"});
}

// A program folder that cannot be written starts as before, without a lock (the start window
// reports such a folder); nothing is created in it.
TEST(InstanceLock, AFolderThatCannotBeWrittenStartsWithoutALock) {
  ExecFolder folder;
  const UnwritableFolder unwritable(folder.path());
  if (!unwritable.made())
    GTEST_SKIP() << "a folder cannot be made unwritable here (root, and no immutable attribute)";
  FakePlatform platform(folder.path());
  const InstanceLock lock(folder.path());
  EXPECT_EQ(lock.state(), InstanceLock::State::kUnavailable);
  EXPECT_TRUE(StartsAlone(platform, lock, folder.path()));
  EXPECT_TRUE(names(folder.path()).isEmpty());
}

// Regression guard for the removal at the end: a lock file that is no longer the one locked (the
// name was given to another file meanwhile) is not removed, so that its holder keeps its lock.
TEST(InstanceLock, TheEndRemovesOnlyTheFileItLocked) {
  ExecFolder folder;
  const QString path = lockPath(folder.path());
  {
    const InstanceLock lock(folder.path());
    ASSERT_EQ(lock.state(), InstanceLock::State::kHeld);
    writeFile(folder.filePath("other"), "another one's");
    ASSERT_TRUE(::rename(QFile::encodeName(folder.filePath("other")).constData(),
                         QFile::encodeName(path).constData()) == 0);
  }
  QFile kept(path);
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll(), QByteArray("another one's"));
}

// A signal's disposition for the scope.
class Disposition {
 public:
  Disposition(int signal, void (*handler)(int))
      : signal_(signal), previous_(std::signal(signal, handler)) {}
  ~Disposition() { std::signal(signal_, previous_); }

 private:
  int signal_;
  void (*previous_)(int);
};

// SIGTERM and SIGHUP end the program as Exit answered Yes does, without a run too (then nothing is
// stopped): once, however many arrive, and from the event loop, never inside the signal handler.
// A signal ignored when the program started (nohup) stays ignored.
TEST(ExitSignals, EachEndsTheProgramOnceFromTheEventLoop) {
  struct Case {
    int signal;
    bool ignoredAtStart;
  };
  const Case cases[] = {{SIGTERM, false}, {SIGHUP, false}, {SIGHUP, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(strsignal(c.signal)) + (c.ignoredAtStart ? ", ignored" : ""));
    ExecFolder folder;
    placeWorkFiles(folder.path());
    FakePlatform platform(folder.path());
    const Disposition atStart(c.signal, c.ignoredAtStart ? SIG_IGN : SIG_DFL);
    int ends = 0;
    const ExitSignals exitSignals([&] {
      ++ends;
      Module1::EndProgram(platform);
    });
    if (c.ignoredAtStart) {
      struct sigaction now {};
      ::sigaction(c.signal, nullptr, &now);
      EXPECT_EQ(now.sa_handler, SIG_IGN);
      continue;
    }
    ::kill(::getpid(), c.signal);
    ::kill(::getpid(), c.signal);
    EXPECT_EQ(ends, 0);
    for (QDeadlineTimer deadline(10000); ends == 0 && !deadline.hasExpired();)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::processEvents();
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(platform.quits, 1);
    EXPECT_EQ(names(folder.path()), QStringList());  // the work files are gone
  }
}

// The targets of this process's descriptors (paths, "pipe:[inode]").
QSet<QString> descriptorTargets() {
  QSet<QString> targets;
  const QDir fds(QStringLiteral("/proc/self/fd"));
  for (const QString& fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
    char target[PATH_MAX];
    const ssize_t n =
        ::readlink(QFile::encodeName(fds.filePath(fd)).constData(), target, sizeof target);
    if (n > 0) targets.insert(QString::fromLocal8Bit(target, n));
  }
  return targets;
}

// The engine inherits no descriptor of the front end: a lock inherited by it would outlive the
// front end, and the signals' pipe would let it write into the front end's.
TEST(ExitSignals, TheEngineInheritsNeitherTheLockNorThePipe) {
  ExecFolder folder;
  const QSet<QString> before = descriptorTargets();
  const InstanceLock lock(folder.path());
  ASSERT_EQ(lock.state(), InstanceLock::State::kHeld);
  const ExitSignals exitSignals({});
  const QSet<QString> ours = descriptorTargets() - before;
  ASSERT_TRUE(ours.contains(QFileInfo(lockPath(folder.path())).canonicalFilePath()));
  ASSERT_TRUE(std::any_of(
      ours.begin(), ours.end(), [](const QString& target) { return target.startsWith("pipe:"); }));

  const QString script = folder.filePath("job.sh");
  writeFile(script, "#!/bin/sh\nfor f in /proc/$$/fd/*; do readlink \"$f\"; done > fds.txt\n");
  QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  ProcessRunner runner;
  ProcessEnd end;
  QString error;
  ASSERT_TRUE(runner.run(script, {}, folder.path(), &end, &error)) << error.toStdString();
  QFile listed(folder.filePath("fds.txt"));
  ASSERT_TRUE(listed.open(QIODevice::ReadOnly));
  QSet<QString> inherited;
  for (const QByteArray& line : listed.readAll().split('\n')) inherited.insert(line);
  ASSERT_GT(inherited.size(), 3);  // at least standard input, output and error
  EXPECT_TRUE((inherited & ours).isEmpty())
      << QStringList((inherited & ours).values()).join(' ').toStdString();
}

// orva_win in a program folder of its own (a hard link to the built program where the file system
// allows one), started offscreen.
class OrvaWin {
 public:
  OrvaWin() {
    const QByteArray program = QFile::encodeName(folder.filePath("orva_win"));
    installed = ::link(ORVA_WIN, program.constData()) == 0 ||
                QFile::copy(QStringLiteral(ORVA_WIN), folder.filePath("orva_win"));
  }

  // Starts a process of it with the environment changes given ("NAME=value", or "NAME" to remove
  // the variable); fileSizeLimit > 0 limits the size of the files it writes.
  void start(QProcess& process, const QStringList& environment = {}, rlim_t fileSizeLimit = 0) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    for (const QString& change : environment) {
      const qsizetype eq = change.indexOf('=');
      if (eq < 0)
        env.remove(change);
      else
        env.insert(change.left(eq), change.mid(eq + 1));
    }
    process.setProcessEnvironment(env);
    process.setProgram(folder.filePath("orva_win"));
    if (fileSizeLimit > 0) {
      process.setChildProcessModifier([fileSizeLimit] {
        const rlimit limit{fileSizeLimit, fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      });
    }
    process.start();
  }

  // Waits until the start window has loaded: it has deleted the work files placed before.
  bool loaded() const {
    for (QDeadlineTimer deadline(30000); !deadline.hasExpired(); QThread::msleep(10)) {
      bool any = false;
      for (const QString& name : kWorkFiles) any = any || QFile::exists(folder.filePath(name));
      if (!any) return true;
    }
    return false;
  }

  ExecFolder folder;
  bool installed = false;
};

// True when process pid ignores sig (its SigIgn mask in /proc).
bool ignores(qint64 pid, int sig) {
  QFile status(QStringLiteral("/proc/%1/status").arg(pid));
  if (!status.open(QIODevice::ReadOnly)) return false;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("SigIgn:"))
      return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (sig - 1)) & 1;
  }
  return false;
}

// Regression: SIGTERM or SIGHUP ended the program at once, its work files left behind, and a write
// past a file-size limit ended it with SIGXFSZ. Now it ignores SIGXFSZ from its start (a save past
// the limit fails with its message, and the edits stay); on either signal it ends with status 0,
// its work files and its lock file gone, the lock released.
TEST(Program, EndsOnSigtermOrSighupAsExitDoes) {
  for (const int signal : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    OrvaWin orva;
    ASSERT_TRUE(orva.installed);
    placeWorkFiles(orva.folder.path());
    QProcess process;
    orva.start(process, {}, 1 << 20);
    ASSERT_TRUE(process.waitForStarted()) << process.errorString().toStdString();
    ASSERT_TRUE(orva.loaded()) << process.readAllStandardError().toStdString();
    EXPECT_TRUE(ignores(process.processId(), SIGXFSZ));
    EXPECT_TRUE(lockedElsewhere(lockPath(orva.folder.path())));
    placeWorkFiles(orva.folder.path());  // as a run leaves them
    ::kill(static_cast<pid_t>(process.processId()), signal);
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_EQ(names(orva.folder.path()), QStringList{"orva_win"});
  }
}

// A second orva_win on a program folder says so on standard error and in its box, and touches no
// file: the first one's work files and lock stay as they were, and the first one goes on.
TEST(Program, ASecondStartOnTheFolderTouchesNothing) {
  OrvaWin orva;
  ASSERT_TRUE(orva.installed);
  placeWorkFiles(orva.folder.path());
  QProcess first;
  orva.start(first);
  ASSERT_TRUE(first.waitForStarted()) << first.errorString().toStdString();
  ASSERT_TRUE(orva.loaded()) << first.readAllStandardError().toStdString();
  placeWorkFiles(orva.folder.path());
  const QStringList before = snapshot(orva.folder.path());

  QProcess second;
  orva.start(second);
  ASSERT_TRUE(second.waitForStarted()) << second.errorString().toStdString();
  const QByteArray line = "orva_win: ORVA is already running in this program folder: " +
                          QFile::encodeName(QFileInfo(orva.folder.path()).canonicalFilePath()) +
                          "\n";
  QByteArray err;
  for (QDeadlineTimer deadline(30000); !err.contains(line) && !deadline.hasExpired();) {
    second.waitForReadyRead(100);
    err += second.readAllStandardError();
  }
  EXPECT_TRUE(err.contains(line)) << err.toStdString();
  EXPECT_EQ(second.state(), QProcess::Running);  // its box waits for an answer
  second.kill();
  ASSERT_TRUE(second.waitForFinished(10000));

  EXPECT_EQ(snapshot(orva.folder.path()), before);
  EXPECT_TRUE(lockedElsewhere(lockPath(orva.folder.path())));
  EXPECT_EQ(first.state(), QProcess::Running);
  first.terminate();
  ASSERT_TRUE(first.waitForFinished(30000));
  EXPECT_EQ(first.exitCode(), 0);
}

// Regression: with a display that cannot be opened (a stale DISPLAY, an ssh session) orva_win
// aborted with Qt's fatal message (status 134). It ends with status 2 and one line that says why,
// and touches no file; the same where no platform plugin can be used.
TEST(Program, AWindowSystemThatCannotBeReachedEndsWithStatus2) {
  // A display number that no server serves: no socket of it, named or abstract.
  QByteArray unix;
  {
    QFile sockets(QStringLiteral("/proc/net/unix"));
    if (sockets.open(QIODevice::ReadOnly)) unix = sockets.readAll();
  }
  int number = 90;
  while (number < 200 && (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)) ||
                          unix.contains("/tmp/.X11-unix/X" + QByteArray::number(number) + "\n")))
    ++number;
  const QString display = QStringLiteral(":%1").arg(number);
  struct Case {
    const char* name;
    QStringList environment;
    QByteArray line;
  };
  const Case cases[] = {
      {"no such platform plugin",
       {"QT_QPA_PLATFORM=nosuch"},
       "orva_win: no window system can be used (Qt platform plugin nosuch)\n"},
      {"a display that does not answer",
       {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + display, "WAYLAND_DISPLAY", "XDG_SESSION_TYPE"},
       "orva_win: cannot open the display " + display.toUtf8() + "\n"},
      {"no display",
       {"QT_QPA_PLATFORM=xcb", "DISPLAY", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE"},
       "orva_win: cannot open the display (DISPLAY is not set)\n"},
  };
  const bool xcb = QFile::exists(QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                                 QStringLiteral("/platforms/libqxcb.so"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!xcb && c.environment.contains("QT_QPA_PLATFORM=xcb")) continue;
    OrvaWin orva;
    ASSERT_TRUE(orva.installed);
    QProcess process;
    orva.start(process, c.environment);
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 2);
    EXPECT_EQ(process.readAllStandardError(), c.line);
    EXPECT_EQ(names(orva.folder.path()), QStringList{"orva_win"});
  }
  if (!xcb) GTEST_SKIP() << "Qt's xcb platform plugin is not installed: no display case was run";
}

}  // namespace
