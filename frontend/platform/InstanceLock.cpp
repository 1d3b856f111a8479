#include "InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdio>

#include "Platform.h"

namespace {

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True when path, not followed if it is a link, names the file open on fd.
bool nameIsStillTheFile(const QByteArray& path, int fd) {
  struct stat byName {
  }, open{};
  return ::lstat(path.constData(), &byName) == 0 && ::fstat(fd, &open) == 0 &&
         sameFile(byName, open);
}

// Locks fd without waiting: 0 when locked, else the errno of flock.
int lockNow(int fd) {
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

}  // namespace

InstanceLock::InstanceLock(const QString& folder)
    : path_(QFile::encodeName(folder + QLatin1Char('/') + QLatin1String(kFileName))) {
  // A file removed or replaced by an orva_win that ended between this one's open and its lock
  // leaves this lock on a file without a name: the name is opened again. A few tries are plenty;
  // each one that fails means another orva_win has just ended.
  for (int attempt = 0; attempt < 10; ++attempt) {
    // Read-write where possible: on NFS an exclusive flock is a POSIX write lock, which needs
    // write access; elsewhere read-only is enough. No link is followed, and a FIFO planted under
    // the name does not block the open.
    constexpr int kOpen = O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    int fd = ::open(path_.constData(), O_RDWR | kOpen, 0666);
    if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS))
      fd = ::open(path_.constData(), O_RDONLY | kOpen, 0666);
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      return;
    }
    const int error = lockNow(fd);
    if (error == 0 && nameIsStillTheFile(path_, fd)) {
      fd_ = fd;
      state_ = State::kHeld;
      return;
    }
    ::close(fd);
    if (error == EWOULDBLOCK) {
      state_ = State::kHeldElsewhere;
      return;
    }
    if (error != 0) return;
  }
}

InstanceLock::~InstanceLock() {
  if (fd_ < 0) return;
  if (nameIsStillTheFile(path_, fd_)) ::unlink(path_.constData());
  ::close(fd_);
}

bool StartsAlone(Platform& platform, const InstanceLock& lock, const QString& folder) {
  if (lock.state() != InstanceLock::State::kHeldElsewhere) return true;
  std::fprintf(stderr,
               "orva_win: ORVA is already running in this program folder: %s\n",
               QFile::encodeName(QDir::toNativeSeparators(folder)).constData());
  std::fflush(stderr);
  platform.messageBox(nullptr,
                      QStringLiteral("ORVAは既に起動しています。"),
                      MsgStyle::kExclamation,
                      QStringLiteral("Error"));
  return false;
}
