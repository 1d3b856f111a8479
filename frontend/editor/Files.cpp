#include "Files.h"

#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstring>

namespace Files {

namespace {

QString systemReason(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

}  // namespace

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
  QSaveFile file(target);
  if (!file.open(QIODevice::WriteOnly)) {
    if (error) *error = file.errorString();
    return false;
  }
  // The bytes go straight to the temporary file's descriptor, each failing write with its errno:
  // through QSaveFile's buffer, a disk that fills part way is found only when the commit flushes,
  // which then renames the cut file over the old one all the same (or fails as "Unknown error").
  // The sync is checked too (QSaveFile's own ignores its failure), before the rename.
  const int fd = file.handle();
  bool written = fd >= 0 && writeAll(fd, bytes, error);
  if (written && ::fsync(fd) != 0 && errno != EINVAL) {
    if (error) *error = systemReason(errno);
    written = false;
  }
  if (!written) {
    if (fd < 0 && error) *error = file.errorString();
    file.cancelWriting();
    file.commit();
    return false;
  }
  if (!file.commit()) {
    if (error) *error = file.errorString();
    return false;
  }
  return true;
}

bool copyFileReplacing(const QString& source, const QString& target, QString* error) {
  if (isSamePath(source, target)) return true;
  QFile in(source);
  if (!in.open(QIODevice::ReadOnly)) {
    if (error) *error = in.errorString();
    return false;
  }
  const QByteArray bytes = in.readAll();
  if (in.error() != QFileDevice::NoError) {
    if (error) *error = in.errorString();
    return false;
  }
  return writeFileReplacing(target, bytes, error);
}

bool isSamePath(const QString& a, const QString& b) {
  const QString ca = QFileInfo(a).canonicalFilePath();
  return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

}  // namespace Files
