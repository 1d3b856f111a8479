// Files of the engine by unit number, opened create-if-missing as the run-time does. Every failure
// throws RuntimeFailure (runtime_failure.h) with the error number, unit and path.
#pragma once

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

}  // namespace orva
