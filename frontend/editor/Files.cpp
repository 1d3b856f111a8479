#include "Files.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <cstring>

namespace Files {

namespace {

SyncCall folderSync = ::fsync;

QString systemReason(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

bool fail(QString* error, const QString& reason) {
  if (error) *error = reason;
  return false;
}

// A descriptor closed when it goes out of scope.
struct Descriptor {
  explicit Descriptor(int descriptor) : fd(descriptor) {}
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int fd;
};

// The folder of a path: "." for a bare name, "/" for a name in the root folder.
QByteArray folderOf(const QByteArray& path) {
  const qsizetype slash = path.lastIndexOf('/');
  if (slash < 0) return QByteArrayLiteral(".");
  return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

// Follows the symbolic links from path to the name they lead to (which need not exist yet).
// 0, or the errno that stopped it.
int followLinks(QByteArray& path) {
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0) return errno == ENOENT ? 0 : errno;
    if (!S_ISLNK(st.st_mode)) return 0;
    QByteArray link(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.constData(), link.data(), static_cast<size_t>(link.size()));
    if (n < 0) return errno;
    if (n >= link.size()) return ENAMETOOLONG;
    link.truncate(n);
    path = link.startsWith('/') ? link : folderOf(path) + '/' + link;
  }
  return ELOOP;
}

QString notRegularFile(const QString& path) {
  return QStringLiteral("%1 は通常のファイルではないため、置き換えません。").arg(path);
}

QString readOnlyFile(const QString& path) {
  return QStringLiteral("%1 は読み取り専用のため、置き換えません。").arg(path);
}

// Why the earlier regular file base in the folder folderFd (described by st) must be kept, or an
// empty text: no write permission is set at all, it is marked immutable or append-only, or this
// process may not write it. The first two hold for root too: the user marked the file so.
QString keptReason(int folderFd,
                   const QByteArray& base,
                   const struct stat& st,
                   const QString& shown) {
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return readOnlyFile(shown);
  const Descriptor file(
      ::openat(folderFd, base.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
  int flags = 0;
  if (file.fd >= 0 && ::ioctl(file.fd, FS_IOC_GETFLAGS, &flags) == 0 &&
      (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0) {
    return readOnlyFile(shown);
  }
  if (::faccessat(folderFd, base.constData(), W_OK, AT_EACCESS) != 0 &&
      (errno == EACCES || errno == EROFS || errno == EPERM)) {
    return shown + QStringLiteral("：") + systemReason(errno);
  }
  return QString();
}

// Gives the new file fd the owner, group and mode of the earlier one. The owner and the group are
// set only where this process may set them (another owner needs root; the group must be one of
// this process's); the mode comes after them, since a change of owner clears set-group-ID.
bool keepOwnerAndMode(int fd, const struct stat& old) {
  struct stat now {};
  if (::fstat(fd, &now) != 0) return false;
  if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) &&
      ::fchown(fd, old.st_uid, old.st_gid) != 0 &&
      ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
    // Neither may be set: the new file keeps this process's owner and group.
  }
  return ::fchmod(fd, old.st_mode & 07777) == 0;
}

// A temporary file beside the target, removed unless it has been put in the target's place. A new
// file whose name leaves no room for a longer temporary name is written as an unnamed file of the
// folder instead (O_TMPFILE), linked under its name once complete; a link never replaces a file
// that appeared meanwhile.
struct Temporary {
  Temporary(int folder, const QByteArray& base, bool replacing) : folderFd(folder), target(base) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
      name = '.' + base + '.';
      for (int i = 0; i < 6; ++i)
        name += kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))];
      fd = ::openat(
          folderFd, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kMode);
      if (fd >= 0 || errno != EEXIST) break;
    }
    if (fd < 0 && errno == ENAMETOOLONG && !replacing) {
      fd = ::openat(folderFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, kMode);
      if (fd >= 0)
        name.clear();
      else
        errno = ENAMETOOLONG;
    }
  }
  ~Temporary() {
    if (fd >= 0) ::close(fd);
    if (!published && !name.isEmpty()) ::unlinkat(folderFd, name.constData(), 0);
  }
  Temporary(const Temporary&) = delete;
  Temporary& operator=(const Temporary&) = delete;

  // Puts the complete file in the target's place and closes it; 0 or the errno of the failure.
  int publish() {
    if (name.isEmpty()) {
      const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
      if (::linkat(AT_FDCWD, self.constData(), folderFd, target.constData(), AT_SYMLINK_FOLLOW) !=
          0)
        return errno;
      published = true;
    }
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0) return errno;
    if (!published) {
      if (::renameat(folderFd, name.constData(), folderFd, target.constData()) != 0) return errno;
      published = true;
    }
    return 0;
  }

  // New files are created as the system creates them (0666 less the umask); a replacement gets
  // the earlier file's mode afterwards.
  static constexpr mode_t kMode = 0666;
  int folderFd;
  QByteArray target;
  QByteArray name;  // empty for an unnamed file
  int fd = -1;
  bool published = false;
};

}  // namespace

SyncCall setFolderSync(SyncCall sync) {
  const SyncCall previous = folderSync;
  folderSync = sync;
  return previous;
}

bool writeAll(int fd, const QByteArray& bytes, QString* error) {
  const char* data = bytes.constData();
  qsizetype left = bytes.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      // A write that takes nothing without an error code: the device is full.
      if (error) *error = systemReason(written < 0 ? errno : ENOSPC);
      return false;
    }
    data += written;
    left -= written;
  }
  return true;
}

bool writeFileReplacing(const QString& target, const QByteArray& bytes, QString* error) {
  QByteArray path = QFile::encodeName(target);
  if (path.isEmpty()) return fail(error, systemReason(ENOENT));
  if (const int code = followLinks(path); code != 0) return fail(error, systemReason(code));
  const QByteArray base = path.mid(path.lastIndexOf('/') + 1);
  if (base.isEmpty()) return fail(error, systemReason(EISDIR));
  const QString shown = QFile::decodeName(path);

  const Descriptor folder(::open(folderOf(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.fd < 0) return fail(error, systemReason(errno));
  struct stat old {};
  const bool replacing = ::fstatat(folder.fd, base.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0;
  if (!replacing && errno != ENOENT) return fail(error, systemReason(errno));
  if (replacing) {
    // Never written over: a FIFO or a device would take the bytes or block, and a rename would
    // put a regular file in place of the node.
    if (!S_ISREG(old.st_mode)) return fail(error, notRegularFile(shown));
    const QString kept = keptReason(folder.fd, base, old, shown);
    if (!kept.isEmpty()) return fail(error, kept);
  }

  Temporary temp(folder.fd, base, replacing);
  if (temp.fd < 0) return fail(error, systemReason(errno));
  if (replacing && !keepOwnerAndMode(temp.fd, old)) return fail(error, systemReason(errno));
  // The bytes go straight to the descriptor, each failing write with its errno: a disk that fills
  // part way is found before anything is renamed. The sync is checked too, before the rename.
  if (!writeAll(temp.fd, bytes, error)) return false;
  if (::fsync(temp.fd) != 0 && errno != EINVAL) return fail(error, systemReason(errno));
  if (const int code = temp.publish(); code != 0) return fail(error, systemReason(code));
  // The rename is lasting only once the folder is synced: until then a power loss can bring the
  // old file back.
  if (folderSync(folder.fd) != 0 && errno != EINVAL) {
    return fail(error,
                QStringLiteral("フォルダ %1 を同期できません：%2")
                    .arg(QFile::decodeName(folderOf(path)), systemReason(errno)));
  }
  return true;
}

bool copyFileReplacing(const QString& source, const QString& target, QString* error) {
  if (isSamePath(source, target)) return true;
  // Opened without waiting, then checked: a FIFO would block the open or the read.
  const Descriptor in(
      ::open(QFile::encodeName(source).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (in.fd < 0) return fail(error, systemReason(errno));
  struct stat st {};
  if (::fstat(in.fd, &st) != 0) return fail(error, systemReason(errno));
  if (!S_ISREG(st.st_mode)) {
    return fail(error,
                QStringLiteral("%1 は通常のファイルではないため、読み込みません。").arg(source));
  }
  QFile file;
  if (!file.open(in.fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
    return fail(error, file.errorString());
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return fail(error, file.errorString());
  return writeFileReplacing(target, bytes, error);
}

bool isSamePath(const QString& a, const QString& b) {
  const QString ca = QFileInfo(a).canonicalFilePath();
  return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

}  // namespace Files
