// Files of the engine by unit number, opened create-if-missing as the run-time does. Every failure
// throws RuntimeFailure (runtime_failure.h) with the error number, unit and path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "runtime_failure.h"

namespace orva {

// A sequential formatted output file. open() creates a missing file and empties an existing one
// (records of an earlier run never survive). Each record is written followed by CR LF.
class OutputUnit {
 public:
  OutputUnit() = default;
  ~OutputUnit();
  OutputUnit(const OutputUnit&) = delete;
  OutputUnit& operator=(const OutputUnit&) = delete;

  // Throws RuntimeFailure 43 (bad name), 29 (folder missing), 9 (access denied), 30 (other).
  void open(int unit, const std::string& path);
  // One record: the bytes, then CR LF. Throws RuntimeFailure on a write error.
  void write_record(std::string_view bytes);
  // Flushes and closes; throws RuntimeFailure when the data cannot be written out.
  void close();

  bool is_open() const { return file_ != nullptr; }
  int unit() const { return unit_; }
  const std::string& path() const { return path_; }

 private:
  std::FILE* file_ = nullptr;
  int unit_ = 0;
  std::string path_;
};

// A sequential formatted input file, read whole as bytes when it is opened. open() creates a
// missing file (empty), so a missing file shows as an end of file at the first read. Lines end in
// LF or CR LF; the last line may lack its line end.
class InputUnit {
 public:
  // Throws RuntimeFailure 43 (bad name), 29 (folder missing), 9 (access denied), 30 (other).
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
