// One orva_win per program folder. The work files, "inp.dat" and "SESF.LAB" belong to the folder,
// so a second window on it would delete or overwrite the first one's. The lock is an exclusive
// flock on the file ".orva_win.lock" in the folder, held for the life of the process through a
// close-on-exec descriptor (the engine inherits nothing of it). The system drops it with the
// process however that ends (a crash, SIGKILL, a power loss), so a lock file left behind never
// blocks a start.
#pragma once

#include <QByteArray>
#include <QString>

class Platform;

class InstanceLock {
 public:
  enum class State {
    kHeld,           // this process holds the folder's lock
    kHeldElsewhere,  // another process holds it: another orva_win runs on the folder
    kUnavailable,    // no lock can be had (the folder is not writable, the name is not a regular
                     // file): the program runs without one, as where no lock existed
  };

  static constexpr const char* kFileName = ".orva_win.lock";

  // Takes the lock of folder without waiting for it.
  explicit InstanceLock(const QString& folder);
  // Removes the lock file, while still holding its lock and only when its name still names the
  // file locked, then releases the lock. A process that locks the file checks in turn that the
  // name names what it locked, so that it never holds a lock on a removed file.
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  State state() const { return state_; }

 private:
  QByteArray path_;
  int fd_ = -1;
  State state_ = State::kUnavailable;
};

// At the start, before anything touches the folder: true when the program may go on. When another
// orva_win holds the lock, a line on standard error and the box "ORVAは既に起動しています。" (OK
// with the warning icon, title "Error") tell so, and the result is false: the program ends without
// touching a file.
bool StartsAlone(Platform& platform, const InstanceLock& lock, const QString& folder);
