// Replacing files safely: every write goes to a temporary file in the target's folder that is
// renamed over the target once complete, so a failed write leaves the old file as it was.
#pragma once

#include <QByteArray>
#include <QString>

namespace Files {

// Writes bytes to target, replacing it whole. A symbolic link is followed to the file it names,
// and that file is replaced (the link stays). The bytes go to a temporary file in that file's
// folder, which takes the old file's owner, group and mode where this process may set them (a new
// file gets 0666 less the umask), is synced and renamed over it; then the folder is synced, so
// that the new name survives a power loss.
// Refused, with the target left as it was: a target that is not a regular file (a FIFO, a device,
// a folder), and a read-only earlier file (no write permission set at all, marked immutable or
// append-only, or one this process may not write), for root too. A failure leaves the old file
// whole and no temporary file behind; error says why (the system's reason, or the refusal naming
// the file).
bool writeFileReplacing(const QString& target, const QByteArray& bytes, QString* error);

// Writes all bytes to the open file descriptor fd, resuming after short writes. error gets the
// system's reason (strerror of errno, "No space left on device") when a write fails.
bool writeAll(int fd, const QByteArray& bytes, QString* error);

// Copies source over target in the same safe way; copying a file onto itself (same canonical
// path) does nothing and succeeds. A source that is not a regular file is refused without
// waiting on it (a FIFO would block the read).
bool copyFileReplacing(const QString& source, const QString& target, QString* error);

// True when both paths name the same existing file or folder.
bool isSamePath(const QString& a, const QString& b);

// The call that syncs the folder after the rename (fsync). A test puts its own in place to see
// which folder is synced and when, or to make the sync fail; the call replaced is returned.
using SyncCall = int (*)(int fd);
SyncCall setFolderSync(SyncCall sync);

}  // namespace Files
