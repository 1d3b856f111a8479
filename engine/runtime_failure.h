// The run-time failure of the engine: every I/O failure ends the process with one line on standard
// error, "forrtl: severe (N): MESSAGE, unit U, file PATH", and exit status N. I/O code throws
// RuntimeFailure; engine_main catches it at its single exit point.
#pragma once

#include <string>

namespace orva {

struct RuntimeFailure {
  int number = 0;         // 24, 59, 64, 43, 29, 9, 30 (exit status)
  std::string message;    // e.g. "end-of-file during read"
  int unit = 0;
  std::string path;       // the file's path as opened
};

}  // namespace orva
