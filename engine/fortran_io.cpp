#include "fortran_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace orva {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Ends an unquoted value.
bool ends_value(char c) { return is_blank(c) || c == ',' || c == '/'; }

// [+-] digits
bool parse_integer(const std::string& s, int32_t& value) {
  if (s.empty()) return false;
  size_t i = (s[0] == '+' || s[0] == '-') ? 1 : 0;
  if (i == s.size()) return false;
  for (size_t k = i; k < s.size(); ++k) {
    if (s[k] < '0' || s[k] > '9') return false;
  }
  // from_chars takes no '+'.
  const char* first = s.data() + (s[0] == '+' ? 1 : 0);
  auto [ptr, ec] = std::from_chars(first, s.data() + s.size(), value);
  return ec == std::errc() && ptr == s.data() + s.size();
}

// [+-] (digits [. [digits]] | . digits) [(E|e|D|d) [+-] digits]
bool parse_real(const std::string& s, double& value) {
  std::string t;  // the same number as from_chars reads it: no '+', exponent letter 'e'
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    if (s[i] == '-') t += '-';
    ++i;
  }
  size_t int_digits = 0, frac_digits = 0;
  long first_nonzero = 0;  // decimal magnitude of the leading nonzero digit (for range errors)
  bool seen_nonzero = false;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, ++int_digits) t += s[i];
  if (i < s.size() && s[i] == '.') {
    t += '.';
    ++i;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, ++frac_digits) t += s[i];
  }
  if (int_digits + frac_digits == 0) return false;
  // Magnitude of the mantissa: position of its first nonzero digit.
  {
    long pos = static_cast<long>(int_digits) - 1;
    for (char c : t) {
      if (c == '-' || c == '.') continue;
      if (c != '0') {
        seen_nonzero = true;
        first_nonzero = pos;
        break;
      }
      --pos;
    }
  }
  long exponent = 0;
  if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
    t += 'e';
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
      if (s[i] == '-') t += '-';
      ++i;
    }
    size_t exp_digits = 0;
    bool negative = !t.empty() && t.back() == '-';
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, ++exp_digits) {
      t += s[i];
      if (exponent < 100000) exponent = exponent * 10 + (s[i] - '0');
    }
    if (exp_digits == 0) return false;
    if (negative) exponent = -exponent;
  }
  if (i != s.size()) return false;
  double v = 0.0;
  auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (ec == std::errc::result_out_of_range && seen_nonzero) {
    if (first_nonzero + exponent > 0) return false;  // overflow, e.g. 1E400
    v = (s[0] == '-') ? -0.0 : 0.0;                  // underflow reads as zero
  } else if (ec != std::errc() || ptr != t.data() + t.size()) {
    return false;
  }
  value = v;
  return true;
}

bool has_parenthesis(const std::string& s) {
  return s.find('(') != std::string::npos || s.find(')') != std::string::npos;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Signals, names and locks

SignalsHeld::SignalsHeld() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, s);
  ::sigprocmask(SIG_BLOCK, &set, &old_);
}

SignalsHeld::~SignalsHeld() { ::sigprocmask(SIG_SETMASK, &old_, nullptr); }

namespace {

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True when `name` in `folder_fd` still names the open file `fd`, and that file still has a name:
// no other process has removed or replaced it since it was opened. Only async-signal-safe calls.
bool still_named(int folder_fd, const char* name, int fd) noexcept {
  struct stat opened {};
  struct stat named {};
  return ::fstat(fd, &opened) == 0 && opened.st_nlink > 0 &&
         ::fstatat(folder_fd, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && same_file(opened, named);
}

// The working folder's lock while this process holds it or waits for it, where a signal handler
// can reach it: `fd` is the open lock file (-1 for none).
struct FolderLockState {
  int fd = -1;
};
FolderLockState folder_lock;

}  // namespace

void WorkingFolderLock::acquire(int unit) {
  release();
  constexpr int kOpen = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  const auto refuse = [unit]() {
    throw runtime_failure(kOpenFailure, unit, kWorkingFolderLockName);
  };
  for (;;) {
    // Anything but a regular file of that name is never opened: a FIFO or a device could block or
    // act on the open.
    struct stat named {};
    if (::fstatat(AT_FDCWD, kWorkingFolderLockName, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        !S_ISREG(named.st_mode)) {
      refuse();
    }
    // Read-write where possible: on NFS an exclusive flock is a POSIX write lock, which needs
    // write access.
    int fd = ::openat(AT_FDCWD, kWorkingFolderLockName, O_RDWR | O_CREAT | kOpen, 0666);
    if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
      fd = ::openat(AT_FDCWD, kWorkingFolderLockName, O_RDONLY | kOpen);
    }
    if (fd < 0) {
      if (errno == ELOOP || errno == EISDIR || errno == ENXIO) refuse();
      return;  // not to be created: the run goes on without the lock
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
      ::close(fd);
      refuse();
    }
    {
      SignalsHeld held;
      folder_lock.fd = fd;
    }
    int locked = -1;
    do {
      locked = ::flock(fd, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
      release();  // a file system without locks; the lock is not held, so the file stays
      return;
    }
    SignalsHeld held;
    if (still_named(AT_FDCWD, kWorkingFolderLockName, fd)) return;
    // The engine before removed the lock file while this one waited on it: open the name again.
    folder_lock.fd = -1;
    ::close(fd);
  }
}

void WorkingFolderLock::release() noexcept {
  SignalsHeld held;
  remove_working_folder_lock();
  if (folder_lock.fd >= 0) ::close(folder_lock.fd);
  folder_lock.fd = -1;
}

void remove_working_folder_lock() noexcept {
  const int fd = folder_lock.fd;
  // Only the holder removes the file. While this process waits, another holds the lock and the
  // non-blocking flock fails; once it holds the lock, the flock succeeds on its own descriptor.
  if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
      still_named(AT_FDCWD, kWorkingFolderLockName, fd)) {
    ::unlinkat(AT_FDCWD, kWorkingFolderLockName, 0);
  }
}

// ---------------------------------------------------------------------------------------------
// OutputUnit

bool OutputSink::write(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool OutputSink::close(int fd) { return ::close(fd) == 0; }

OutputSink& system_sink() {
  static OutputSink sink;
  return sink;
}

namespace {

// The temporary files of the open units, where a signal handler can reach them: the one table of
// the process, changed only while the fatal signals are held back, so that a handler never sees a
// half-changed entry.
struct TemporaryFile {
  bool used = false;
  int folder_fd = -1;   // the folder of the name (O_PATH)
  int fd = -1;          // the temporary file for writing, until finish() closes it
  int lock_fd = -1;     // a duplicate of fd, which keeps the file's lock until rename or removal
  off_t complete = -1;  // length of its complete records, -1 when none are marked
  char temp[64] = {};
  char name[NAME_MAX + 1] = {};
};

constexpr int kMaxTemporaryFiles = 16;
constexpr int kMaxAttempts = 100;  // names tried for one temporary file
TemporaryFile temporary_files[kMaxTemporaryFiles];

// Publishes the complete records of `t` under its name, or removes the temporary file. Only
// async-signal-safe calls.
void settle(const TemporaryFile& t) noexcept {
  if (t.complete >= 0 && ::ftruncate(t.lock_fd, t.complete) == 0 &&
      ::renameat(t.folder_fd, t.temp, t.folder_fd, t.name) == 0) {
    return;
  }
  ::unlinkat(t.folder_fd, t.temp, 0);
}

// Opens the folder part of `path` one folder at a time, following no symbolic link, and returns its
// descriptor (O_PATH) with the last part of the name in `base`; -1 with the open-failure number in
// `failure` when a folder is missing, is not a folder or is a link.
int open_folder_of(const std::string& path, std::string& base, int& failure) {
  const size_t slash = path.rfind('/');
  base = slash == std::string::npos ? path : path.substr(slash + 1);
  int fd = ::open(path[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    failure = open_failure_number(errno);
    return -1;
  }
  if (slash == std::string::npos) return fd;
  const std::string folders = path.substr(0, slash);
  for (size_t pos = 0; pos <= folders.size();) {
    size_t end = folders.find('/', pos);
    if (end == std::string::npos) end = folders.size();
    const std::string part = folders.substr(pos, end - pos);
    pos = end + 1;
    if (part.empty() || part == ".") continue;
    int error = 0;
    struct stat st {};
    if (::fstatat(fd, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      error = errno;
    } else if (S_ISLNK(st.st_mode)) {
      error = ELOOP;
    } else if (!S_ISDIR(st.st_mode)) {
      error = ENOTDIR;
    }
    const int next =
        error != 0 ? -1 : ::openat(fd, part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0 && error == 0) error = errno;
    ::close(fd);
    if (next < 0) {
      failure = open_failure_number(error);
      return -1;
    }
    fd = next;
  }
  return fd;
}

// What an earlier file of a name is: its type and permissions, and whether it may not be changed
// at all (immutable or append-only, which no permission, root's included, overrides).
struct Entry {
  mode_t mode = 0;
  bool unchangeable = false;
};

// The entry `base` in `folder_fd`, the name itself when it is a symbolic link; false with errno
// set when there is none.
bool examine(int folder_fd, const std::string& base, Entry& entry) {
  struct statx sx {};
  if (::statx(folder_fd, base.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_MODE, &sx) != 0) {
    return false;
  }
  entry.mode = sx.stx_mode;
  entry.unchangeable = (sx.stx_attributes & (STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND)) != 0;
  return true;
}

// True when the regular file `base` in `folder_fd` is read-only: this process may not write it, no
// write permission is set at all, or it is immutable or append-only (a rename over it fails). The
// second test makes a file that the user marked read-only one for root too, so that it is kept
// whoever runs the engine; EPERM is how a file system that shows no attributes answers for an
// immutable file.
bool is_read_only(int folder_fd, const std::string& base, const Entry& entry) {
  if ((entry.mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || entry.unchangeable) return true;
  return ::faccessat(folder_fd, base.c_str(), W_OK, AT_EACCESS) != 0 &&
         (errno == EACCES || errno == EROFS || errno == EPERM);
}

// Why `base` in `folder_fd` cannot be replaced by an output file (an errno value), or 0: a folder,
// a read-only regular file (kept, as the user marked it: the report, DEF.OUT and MODULI.OUT
// alike), or something other than a regular file or a symbolic link (a device or a pipe is never
// replaced).
int replace_refused(int folder_fd, const std::string& base) {
  if (base.size() > NAME_MAX) return ENAMETOOLONG;
  if (base.empty() || base == "." || base == "..") return EISDIR;
  Entry entry;
  if (!examine(folder_fd, base, entry)) return errno == ENOENT ? 0 : errno;
  if (S_ISDIR(entry.mode)) return EISDIR;
  if (S_ISLNK(entry.mode)) return 0;
  if (!S_ISREG(entry.mode)) return EBUSY;
  if (is_read_only(folder_fd, base, entry)) return EACCES;
  return 0;
}

// Reads a decimal number below `limit` at `p`, as "%d" prints it (no sign, no leading zero), and
// moves `p` past it; false when there is none.
bool read_number(const char*& p, long limit, long& value) {
  if (*p < '0' || *p > '9' || (p[0] == '0' && p[1] >= '0' && p[1] <= '9')) return false;
  value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value >= limit) return false;
  }
  return true;
}

// True when `name` is exactly a name that OutputUnit::open gives a temporary file,
// ".orva-PID-SLOT-ATTEMPT.tmp".
bool is_temporary_file_name(const char* name) {
  static constexpr char prefix[] = ".orva-";
  if (std::strncmp(name, prefix, sizeof prefix - 1) != 0) return false;
  const char* p = name + sizeof prefix - 1;
  long pid = 0, slot = 0, attempt = 0;
  if (!read_number(p, static_cast<long>(INT_MAX) + 1, pid) || pid == 0 || *p++ != '-') return false;
  if (!read_number(p, kMaxTemporaryFiles, slot) || *p++ != '-') return false;
  return read_number(p, kMaxAttempts, attempt) && std::strcmp(p, ".tmp") == 0;
}

// Removes the temporary file `name` from the folder `folder_fd` when no engine holds it: a regular
// file of this user whose lock this process can take. It is examined without following a link
// before anything is opened, opened without blocking, and compared again once open; after the lock
// is taken, the name must still name the file locked.
void remove_if_abandoned(int folder_fd, const char* name) noexcept {
  struct stat named {};
  if (::fstatat(folder_fd, name, &named, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(named.st_mode) ||
      named.st_uid != ::geteuid()) {
    return;
  }
  // For writing where possible, as the lock on NFS needs.
  constexpr int kOpen = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int fd = ::openat(folder_fd, name, O_WRONLY | kOpen);
  if (fd < 0 && errno == EACCES) fd = ::openat(folder_fd, name, O_RDONLY | kOpen);
  if (fd < 0) return;
  struct stat opened {};
  if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && same_file(named, opened) &&
      ::flock(fd, LOCK_EX | LOCK_NB) == 0 && still_named(folder_fd, name, fd)) {
    ::unlinkat(folder_fd, name, 0);
  }
  ::close(fd);
}

// Removes from the folder `folder_fd` the temporary files that no engine holds.
void remove_dead_temporary_files_in(int folder_fd) noexcept {
  const int fd = ::openat(folder_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return;
  }
  while (const dirent* entry = ::readdir(dir)) {
    if (is_temporary_file_name(entry->d_name)) remove_if_abandoned(fd, entry->d_name);
  }
  ::closedir(dir);
}

// Creates a new temporary file for `t` in `folder_fd` under the next free name and locks it; the
// descriptor, or -1 with errno set. A sweep of another engine may take the fresh file before its
// lock is taken here: then the name no longer names it, or the lock is taken, and the next name is
// tried.
int create_temporary_file(TemporaryFile& t, int folder_fd, int slot) {
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    std::snprintf(
        t.temp, sizeof t.temp, ".orva-%ld-%d-%d.tmp", static_cast<long>(::getpid()), slot, attempt);
    const int fd =
        ::openat(folder_fd, t.temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return -1;
    }
    // A file system without locks leaves the file unlocked: no sweep can take its lock either.
    const bool taken = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    if (!taken && still_named(folder_fd, t.temp, fd)) return fd;
    ::close(fd);
  }
  errno = EEXIST;
  return -1;
}

}  // namespace

void OutputUnit::fail(int number) const { throw runtime_failure(number, unit_, path_); }

void OutputUnit::open(int unit, const std::string& path) {
  discard();
  unit_ = unit;
  path_ = path;
  written_ = 0;
  if (path.empty() || path.find('\0') != std::string::npos) fail(kBadFileName);
  std::string base;
  int failure = 0;
  const int folder_fd = open_folder_of(path, base, failure);
  if (folder_fd < 0) fail(failure);
  if (const int error = replace_refused(folder_fd, base); error != 0) {
    ::close(folder_fd);
    fail(open_failure_number(error));
  }

  SignalsHeld held;
  int slot = 0;
  while (slot < kMaxTemporaryFiles && temporary_files[slot].used) ++slot;
  if (slot == kMaxTemporaryFiles) {
    ::close(folder_fd);
    fail(kOpenFailure);
  }
  TemporaryFile& t = temporary_files[slot];
  const int fd = create_temporary_file(t, folder_fd, slot);
  const int lock_fd = fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (lock_fd < 0) {
    const int error = errno;
    if (fd >= 0) {
      ::unlinkat(folder_fd, t.temp, 0);
      ::close(fd);
    }
    ::close(folder_fd);
    fail(open_failure_number(error));
  }
  std::snprintf(t.name, sizeof t.name, "%s", base.c_str());
  t.folder_fd = folder_fd;
  t.fd = fd;
  t.lock_fd = lock_fd;
  t.complete = -1;
  t.used = true;
  slot_ = slot;
}

void OutputUnit::write_record(std::string_view bytes) {
  if (slot_ < 0 || temporary_files[slot_].fd < 0) fail(kWriteError);
  std::string record;
  record.reserve(bytes.size() + 2);
  record.append(bytes).append("\r\n");
  if (!sink_->write(temporary_files[slot_].fd, record)) fail(kWriteError);
  written_ += static_cast<long>(record.size());
}

void OutputUnit::mark_complete() {
  if (slot_ < 0) return;
  SignalsHeld held;
  temporary_files[slot_].complete = written_;
}

void OutputUnit::finish() {
  if (slot_ < 0 || temporary_files[slot_].fd < 0) return;
  int fd = -1;
  {
    SignalsHeld held;
    fd = temporary_files[slot_].fd;
    temporary_files[slot_].fd = -1;
  }
  if (!sink_->close(fd)) fail(kWriteError);
}

void OutputUnit::close() {
  if (slot_ < 0) return;
  finish();
  SignalsHeld held;
  const TemporaryFile& t = temporary_files[slot_];
  if (::renameat(t.folder_fd, t.temp, t.folder_fd, t.name) != 0) {
    fail(open_failure_number(errno));
  }
  release();
}

void OutputUnit::discard() noexcept {
  if (slot_ < 0) return;
  SignalsHeld held;
  ::unlinkat(temporary_files[slot_].folder_fd, temporary_files[slot_].temp, 0);
  release();
}

void OutputUnit::publish_complete() noexcept {
  if (slot_ < 0) return;
  SignalsHeld held;
  settle(temporary_files[slot_]);
  release();
}

void OutputUnit::release() noexcept {
  SignalsHeld held;
  TemporaryFile& t = temporary_files[slot_];
  if (t.fd >= 0) ::close(t.fd);
  ::close(t.lock_fd);  // the lock goes with the last descriptor, once the name is settled
  ::close(t.folder_fd);
  t = TemporaryFile{};
  slot_ = -1;
}

void remove_temporary_output_files() noexcept {
  for (const TemporaryFile& t : temporary_files) {
    if (t.used) settle(t);
  }
}

namespace {

// Calls act(folder_fd, base) on the folder of `path`, opened as by open_folder_of(); nothing when
// the name is not valid, a folder of it is missing or a link, or there is no memory for its parts.
template <typename Act>
void in_folder_of(const std::string& path, Act act) noexcept {
  if (path.empty() || path.find('\0') != std::string::npos) return;
  try {
    std::string base;
    int failure = 0;
    const int folder_fd = open_folder_of(path, base, failure);
    if (folder_fd < 0) return;
    act(folder_fd, base);
    ::close(folder_fd);
  } catch (...) {
  }
}

}  // namespace

void remove_output_file(const std::string& path) noexcept {
  in_folder_of(path, [](int folder_fd, const std::string& base) {
    Entry entry;
    if (!examine(folder_fd, base, entry)) return;
    if (S_ISLNK(entry.mode) || (S_ISREG(entry.mode) && !is_read_only(folder_fd, base, entry))) {
      ::unlinkat(folder_fd, base.c_str(), 0);
    }
  });
}

void remove_dead_temporary_files_beside(const std::string& path) noexcept {
  in_folder_of(
      path, [](int folder_fd, const std::string&) { remove_dead_temporary_files_in(folder_fd); });
}

// ---------------------------------------------------------------------------------------------
// InputUnit

void InputUnit::open(int unit, const std::string& path) {
  unit_ = unit;
  path_ = path;
  bytes_.clear();
  next_line_ = 0;
  if (path.empty() || path.find('\0') != std::string::npos) {
    throw runtime_failure(kBadFileName, unit, path);
  }
  const auto refuse = [&](int number) { throw runtime_failure(number, unit, path); };
  // The name is examined before it is opened: an open could block on a FIFO, or release a writer
  // waiting on it, and a device could act on it.
  struct stat st {};
  int fd = -1;
  if (::stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) refuse(kAccessDenied);
    if (!S_ISREG(st.st_mode)) refuse(kOpenFailure);  // a FIFO, a device or a socket
    // O_NONBLOCK: should the name have become a FIFO or a device, the open does not wait on it.
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 && errno != ENOENT) refuse(open_failure_number(errno));
  } else if (errno != ENOENT) {
    refuse(open_failure_number(errno));
  }
  if (fd < 0) {
    // Create-if-missing: the new, empty file is left behind. Never through a symbolic link: a
    // dangling one is an open failure (EEXIST), not a file created where it points.
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) refuse(open_failure_number(errno));
    ::close(fd);
    return;
  }
  // Examined again once open, against a swap of the name in between.
  int refused = 0;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    refused = kAccessDenied;
  } else if (!S_ISREG(st.st_mode)) {
    refused = kOpenFailure;
  } else if (const int flags = ::fcntl(fd, F_GETFL);
             flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    refused = kOpenFailure;
  }
  if (refused != 0) {
    ::close(fd);
    refuse(refused);
  }
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      refuse(kReadError);
    }
    bytes_.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
}

// ---------------------------------------------------------------------------------------------
// ListRead

namespace {

// End of the text of the line that starts at `begin`: before its LF, and before a CR that
// precedes the LF (or ends the file).
size_t text_end(const std::string& bytes, size_t begin) {
  size_t end = bytes.find('\n', begin);
  if (end == std::string::npos) end = bytes.size();
  if (end > begin && bytes[end - 1] == '\r') --end;
  return end;
}

}  // namespace

ListRead::ListRead(InputUnit& unit) : unit_(unit), pos_(unit.next_line_) {
  line_end_ = text_end(unit_.bytes_, pos_);
}

ListRead::~ListRead() {
  // On to the line after the last line used.
  const size_t lf = unit_.bytes_.find('\n', line_end_);
  unit_.next_line_ = lf == std::string::npos ? unit_.bytes_.size() : lf + 1;
}

void ListRead::fail(int number) const { throw runtime_failure(number, unit_.unit_, unit_.path_); }

void ListRead::next_line() {
  const std::string& b = unit_.bytes_;
  const size_t lf = b.find('\n', line_end_);
  if (lf == std::string::npos) {
    pos_ = line_end_ = b.size();
    fail(kEndOfFile);
  }
  pos_ = lf + 1;
  line_end_ = text_end(b, pos_);
}

void ListRead::skip_separator() {
  const std::string& b = unit_.bytes_;
  comma_pending_ = true;
  while (pos_ < line_end_ && is_blank(b[pos_])) ++pos_;
  if (pos_ < line_end_ && b[pos_] == ',') {
    comma_pending_ = false;
    ++pos_;
  } else if (pos_ < line_end_ && b[pos_] == '/') {
    ended_ = true;
  }
}

bool ListRead::next_token(Token& token) {
  const std::string& b = unit_.bytes_;
  if (ended_) return false;
  // Blanks and line ends before the value; lines without a value are passed over. A line end
  // counts as a blank, so a comma after it may still be the separator of the previous value.
  for (;;) {
    while (pos_ < line_end_ && is_blank(b[pos_])) ++pos_;
    if (pos_ == line_end_) {
      next_line();
      continue;
    }
    if (b[pos_] != ',' || !comma_pending_) break;
    comma_pending_ = false;
    ++pos_;
  }
  const char c = b[pos_];
  if (c == ',') {  // null value
    ++pos_;
    return false;
  }
  if (c == '/') {
    ended_ = true;
    return false;
  }
  token.text.clear();
  token.quoted = false;
  if (c == '"' || c == '\'') {
    token.quoted = true;
    ++pos_;
    for (;;) {
      if (pos_ >= line_end_) {
        // A quoted text goes on over the line end, which adds nothing to it.
        next_line();
        continue;
      }
      const char q = b[pos_++];
      if (q != c) {
        token.text += q;
      } else if (pos_ < line_end_ && b[pos_] == c) {
        token.text += c;
        ++pos_;
      } else {
        break;
      }
    }
    if (pos_ < line_end_ && !ends_value(b[pos_])) fail(kSyntaxError);
  } else {
    const size_t begin = pos_;
    while (pos_ < line_end_ && !ends_value(b[pos_])) ++pos_;
    token.text.assign(b, begin, pos_ - begin);
  }
  skip_separator();
  return true;
}

void ListRead::read(int32_t& value) {
  Token token;
  if (!next_token(token)) return;
  if (!token.quoted && has_parenthesis(token.text)) fail(kSyntaxError);
  int32_t v = 0;
  if (token.quoted || !parse_integer(token.text, v)) fail(kConversionError);
  value = v;
}

void ListRead::read(double& value) {
  Token token;
  if (!next_token(token)) return;
  if (!token.quoted && has_parenthesis(token.text)) fail(kSyntaxError);
  double v = 0.0;
  if (token.quoted || !parse_real(token.text, v)) fail(kConversionError);
  value = v;
}

void ListRead::read(std::string& value, size_t field_length) {
  Token token;
  if (!next_token(token)) return;
  token.text.resize(field_length, ' ');
  value = std::move(token.text);
}

}  // namespace orva
