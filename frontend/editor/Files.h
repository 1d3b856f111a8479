// Replacing files safely: every write goes to a temporary file in the target's folder that is
// renamed over the target once complete, so a failed write leaves the old file as it was.
#pragma once

#include <QByteArray>
#include <QString>

namespace Files {

// Writes bytes to a temporary file in target's folder and renames it over target once it is
// complete: a failed write leaves the old file as it was. error says why it failed.
bool writeFileReplacing(const QString& target, const QByteArray& bytes, QString* error);

// Writes all bytes to the open file descriptor fd, resuming after short writes. error gets the
// system's reason (strerror of errno, "No space left on device") when a write fails.
bool writeAll(int fd, const QByteArray& bytes, QString* error);

// Copies source over target in the same safe way; copying a file onto itself (same canonical
// path) does nothing and succeeds.
bool copyFileReplacing(const QString& source, const QString& target, QString* error);

// True when both paths name the same existing file or folder.
bool isSamePath(const QString& a, const QString& b);

}  // namespace Files
