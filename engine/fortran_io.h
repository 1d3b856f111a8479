// Files of the engine by unit number: input files opened create-if-missing as the run-time does,
// output files published whole, and the lock that gives a working folder to one engine at a time.
// Every failure throws RuntimeFailure (runtime_failure.h) with the error number, unit and path.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "runtime_failure.h"

namespace orva {

// Where the bytes of the output files go: write(2) and close(2). A test puts a sink in their place
// that fails on purpose.
class OutputSink {
 public:
  virtual ~OutputSink() = default;
  // Writes all of `bytes` to `fd`; false, with errno set, when not all of them were written.
  virtual bool write(int fd, std::string_view bytes);
  // Closes `fd` (released in any case); false when the close reports an error.
  virtual bool close(int fd);
};

// The sink of the system calls, for every unit that is given no other.
OutputSink& system_sink();

// Holds back the signals that end the engine (SIGINT, SIGTERM, SIGHUP) for its scope, so that a
// signal handler never sees a half-changed table of temporary files and never falls between
// renames that belong together. Scopes may nest.
class SignalsHeld {
 public:
  SignalsHeld();
  ~SignalsHeld();
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t old_;
};

// The lock file of the working folder: hidden, and no name that the engine or the front end
// removes as a work file or a temporary file.
inline constexpr char kWorkingFolderLockName[] = ".ORVA-V4.lock";

// One analysis at a time in a working folder: an exclusive lock (flock) on the lock file
// kWorkingFolderLockName in the current folder, held from acquire() until release() or the
// destructor. A second engine in the folder waits in acquire() until the first lets go; the fatal
// signals still end it while it waits. The holder removes the lock file just before it lets go
// (release(), or remove_working_folder_lock() from a signal handler), so that none is left in the
// folder; a waiter that then gets the lock finds the name gone or naming another file and opens it
// again. A lock file left by a killed engine is simply taken. Where the lock file cannot be
// created or locked (a folder that may not be written, a file system without locks), the run goes
// on without the lock: nothing can be published in such a folder either. One per process: its
// state is kept where a signal handler can reach it.
class WorkingFolderLock {
 public:
  WorkingFolderLock() = default;
  ~WorkingFolderLock() { release(); }
  WorkingFolderLock(const WorkingFolderLock&) = delete;
  WorkingFolderLock& operator=(const WorkingFolderLock&) = delete;

  // Waits for the lock. Throws RuntimeFailure 30 on `unit` when the lock file's name is a symbolic
  // link, a folder, a FIFO, a device or a socket: such a name is never followed, opened or removed.
  void acquire(int unit);
  // Removes the lock file and lets go of the lock; nothing when it is not held.
  void release() noexcept;
};

// Removes the lock file of the working folder when this process holds its lock. Only
// async-signal-safe calls; for a signal handler, before the process ends and lets go of the lock.
void remove_working_folder_lock() noexcept;

// A sequential formatted output file, published whole. open() creates a temporary file beside the
// name; the records go there, each written out at once and followed by CR LF; close() renames the
// temporary file over the name once everything has been written and closed without error. Until
// then an earlier file of that name stays as it was. A unit discarded, or destroyed before close(),
// removes its temporary file, and so does remove_temporary_output_files() from a signal handler.
// The temporary file is locked (flock) from its creation until it is renamed or removed, finish()
// included, so that the start-up sweep of another engine (remove_dead_temporary_files_beside)
// leaves it alone whatever process-id namespace or machine that engine runs in.
// No symbolic link is followed: every folder of the name must be a real folder, and the rename
// replaces a link of that name instead of writing through it. A read-only earlier file of the name
// (one this process may not write, with no write permission set, or immutable or append-only, so
// for root too) is kept: open() refuses it with 9.
class OutputUnit {
 public:
  explicit OutputUnit(OutputSink& sink = system_sink()) : sink_(&sink) {}
  ~OutputUnit() { discard(); }
  OutputUnit(const OutputUnit&) = delete;
  OutputUnit& operator=(const OutputUnit&) = delete;

  // Throws RuntimeFailure 43 (bad name), 29 (folder missing), 9 (access denied: the name is a
  // folder or a read-only file, or the folder may not be written), 30 (other: a folder of the name
  // that is a symbolic link, a name that is a device or a pipe).
  void open(int unit, const std::string& path);
  // One record: the bytes, then CR LF. Throws RuntimeFailure 38 on a write error.
  void write_record(std::string_view bytes);
  // The records written so far are complete: should the run fail later, publish_complete() keeps
  // them.
  void mark_complete();
  // Closes the temporary file (38 when the close fails); the name is not yet replaced.
  void finish();
  // finish(), then renames the temporary file over the name (the open-failure numbers when the
  // rename is refused). On a failure the temporary file stays until discard().
  void close();
  // Removes the temporary file; an earlier file of the name stays as it was.
  void discard() noexcept;
  // After a failure: publishes the file cut after the records of the last mark_complete(), or
  // discards it when there was none.
  void publish_complete() noexcept;

  bool is_open() const { return slot_ >= 0; }
  int unit() const { return unit_; }
  const std::string& path() const { return path_; }
  OutputSink& sink() const { return *sink_; }

 private:
  [[noreturn]] void fail(int number) const;
  void release() noexcept;  // closes the descriptors, frees the slot

  OutputSink* sink_;
  int unit_ = 0;
  std::string path_;
  int slot_ = -1;     // entry of the table of temporary files while open
  long written_ = 0;  // bytes written to the temporary file
};

// Removes the temporary file of every open OutputUnit, or publishes its complete records where
// mark_complete() was called, so that a fatal signal leaves no half-written file. Only
// async-signal-safe calls; for a signal handler.
void remove_temporary_output_files() noexcept;

// Removes the temporary files that engines no longer running left in the folder of the file name
// `path` (the working folder for a name without a folder): a process ended by SIGKILL cannot remove
// its own. Only regular files of this process's effective user, named exactly as OutputUnit names
// its temporary files, ".orva-PID-SLOT-ATTEMPT.tmp", whose lock can be taken: a running or stopped
// engine holds the lock of each of its temporary files, this process's included, and keeps them.
// The process id in the name is not looked at: it means nothing in another process-id namespace or
// on another machine that shares the folder. No symbolic link is followed, and nothing but a
// regular file is opened. Failures are ignored.
void remove_dead_temporary_files_beside(const std::string& path) noexcept;

// Removes the regular file or symbolic link `path` (the link itself, never what it points to), when
// no folder of the name is a symbolic link. A read-only file (immutable and append-only ones
// included) stays, as OutputUnit keeps it.
// Failures are ignored.
void remove_output_file(const std::string& path) noexcept;

// A sequential formatted input file, read whole as bytes when it is opened. open() creates a
// missing file (empty), so a missing file shows as an end of file at the first read. Only a
// regular file is read: the name is examined (following links, as the open does) before it is
// opened, so that a FIFO, a device or a socket is refused at once, never opened or waited on, and
// the opened file is examined again against a swap. Lines end in LF or CR LF; the last line may
// lack its line end.
class InputUnit {
 public:
  // Throws RuntimeFailure 43 (bad name), 29 (folder missing), 9 (access denied, or a folder), 30
  // (other, or not a regular file).
  void open(int unit, const std::string& path);
  // The next read statement starts at the first line again.
  void rewind() { next_line_ = 0; }

  int unit() const { return unit_; }
  const std::string& path() const { return path_; }

 private:
  friend class ListRead;
  std::string bytes_;
  size_t next_line_ = 0;  // offset of the line where the next read statement starts
  int unit_ = 0;
  std::string path_;
};

// One list-directed (free-format) read statement on an InputUnit. It starts at the beginning of
// the unit's next line and takes as many lines as its values need; when it ends (destructor) the
// unit moves to the line after the last line it used, so whatever is left there is ignored.
//
// Values are separated by blanks or tabs, by a comma with or without blanks round it, or by a line
// end; lines without a value are passed over. Two commas in a row give a null value, and a slash
// ends the statement: the items not yet read then keep their values. Texts may be quoted with
// double quotes or apostrophes (a doubled quote stands for one); an unquoted text ends at a blank,
// tab, comma, slash or line end.
//
// Failures (RuntimeFailure): 24 when the file ends before a value, 59 for a numeric value holding a
// parenthesis or a quoted text followed by something other than a separator, 64 for a value that is
// not a number of the kind read (text, a decimal point or exponent in an integer, an integer
// outside 32 bits, a real beyond the range of a double).
class ListRead {
 public:
  explicit ListRead(InputUnit& unit);
  ~ListRead();
  ListRead(const ListRead&) = delete;
  ListRead& operator=(const ListRead&) = delete;

  // Optional sign and digits.
  void read(int32_t& value);
  // Plain decimal or exponent form (E or D), e.g. 0.35, 1E-05, -2., .5; no inf or nan.
  void read(double& value);
  // A text, cut or blank-padded to field_length bytes.
  void read(std::string& value, size_t field_length);

 private:
  struct Token {
    std::string text;
    bool quoted = false;
  };
  // The next value: false for a null value or after a slash (the item keeps its value).
  bool next_token(Token& token);
  void next_line();       // to the next line; throws 24 at the end of the file
  void skip_separator();  // blanks and at most one comma (or a slash) after a value
  [[noreturn]] void fail(int number) const;

  InputUnit& unit_;
  size_t pos_;                  // current byte
  size_t line_end_;             // end of the current line's text (before CR LF / LF)
  bool ended_ = false;          // a slash has ended the statement
  bool comma_pending_ = false;  // the separator after the last value has not had its comma yet
};

}  // namespace orva
