// The run-time failure of the engine: every I/O failure ends the process with one line on standard
// error, "forrtl: severe (N): MESSAGE, unit U, file PATH", and exit status N. I/O code throws
// RuntimeFailure; engine_main catches it at its single exit point.
#pragma once

#include <string>
#include <string_view>

namespace orva {

struct RuntimeFailure {
  int number = 0;       // 24, 59, 64, 43, 29, 9, 30, 38, 39 (exit status)
  std::string message;  // e.g. "end-of-file during read"
  int unit = 0;
  std::string path;  // the file's path as opened
};

// Error numbers of the run-time and their messages.
inline constexpr int kEndOfFile = 24;        // "end-of-file during read"
inline constexpr int kSyntaxError = 59;      // "list-directed I/O syntax error"
inline constexpr int kConversionError = 64;  // "input conversion error"
inline constexpr int kBadFileName = 43;      // "file name specification error"
inline constexpr int kFileNotFound = 29;     // "file not found"
inline constexpr int kAccessDenied = 9;      // "permission to access file denied"
inline constexpr int kOpenFailure = 30;      // "open failure"
inline constexpr int kReadError = 39;        // "error during read"
inline constexpr int kWriteError = 38;       // "error during write"

// The failure `number` on `unit`, with the run-time's message for that number.
RuntimeFailure runtime_failure(int number, int unit, const std::string& path);

// The error number for a failed open(2) or fopen with this errno: 43, 29, 9 or 30.
int open_failure_number(int error);

// "forrtl: severe (N): MESSAGE, unit U, file PATH" (no line end).
std::string failure_line(const RuntimeFailure& failure);

// Input that the reader refuses because the engine could not compute with it (counts out of range,
// physically meaningless values, sizes beyond the engine's bounds). engine_main writes
// "input error, file inp.dat: MESSAGE" to standard error and ends with kInputRejectedStatus
// (engine_main.h).
struct InputRejected {
  std::string message;
};

}  // namespace orva
