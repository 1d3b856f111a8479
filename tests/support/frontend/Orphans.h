// Watching a program whose parent a test kills: while a Subreaper lives, the orphans of this
// process's children become its own children (PR_SET_CHILD_SUBREAPER), so that the test can wait
// for an orphan's end and read its exit status, with a deadline so that an orphan that lives on
// fails the test instead of holding it.
#pragma once

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

class Subreaper {
 public:
  Subreaper() { ok_ = ::prctl(PR_SET_CHILD_SUBREAPER, 1) == 0; }
  ~Subreaper() {
    if (ok_) ::prctl(PR_SET_CHILD_SUBREAPER, 0);
  }
  Subreaper(const Subreaper&) = delete;
  Subreaper& operator=(const Subreaper&) = delete;

  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

// Waits up to ms for the end of pid, a child of this process (adopted or not); true with its wait
// status once it has ended.
inline bool waitForEnd(pid_t pid, int ms, int* status) {
  const QDeadlineTimer deadline(ms);
  while (!deadline.hasExpired()) {
    const pid_t r = ::waitpid(pid, status, WNOHANG);
    if (r == pid) return true;
    if (r < 0) return false;
    QThread::msleep(10);
  }
  return false;
}

// The parent of pid (from /proc), or -1.
inline pid_t parentOf(pid_t pid) {
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return -1;
  // "pid (comm) state ppid ...": comm may hold blanks and parentheses, so read after the last ')'.
  const QByteArray line = stat.readAll();
  const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
  return fields.size() > 1 ? fields[1].toInt() : -1;
}

// The children of parent whose command name is comm, from /proc.
inline QList<pid_t> childrenOf(pid_t parent, const QByteArray& comm) {
  QList<pid_t> children;
  for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    bool number = false;
    const pid_t pid = entry.toInt(&number);
    if (!number || parentOf(pid) != parent) continue;
    QFile name(QStringLiteral("/proc/%1/comm").arg(pid));
    if (name.open(QIODevice::ReadOnly) && name.readAll().trimmed() == comm) children << pid;
  }
  return children;
}
