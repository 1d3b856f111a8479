#include "Files.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace Files {

bool writeFileReplacing(const QString& target, const QByteArray& bytes, QString* error) {
  QSaveFile file(target);
  if (!file.open(QIODevice::WriteOnly)) {
    if (error) *error = file.errorString();
    return false;
  }
  if (file.write(bytes) != bytes.size()) {
    if (error) *error = file.errorString();
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
