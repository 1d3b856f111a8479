#include "runtime_failure.h"

#include <cerrno>

namespace orva {

namespace {

std::string_view message_of(int number) {
  switch (number) {
    case kEndOfFile:
      return "end-of-file during read";
    case kSyntaxError:
      return "list-directed I/O syntax error";
    case kConversionError:
      return "input conversion error";
    case kBadFileName:
      return "file name specification error";
    case kFileNotFound:
      return "file not found";
    case kAccessDenied:
      return "permission to access file denied";
    case kOpenFailure:
      return "open failure";
    case kReadError:
      return "error during read";
    case kWriteError:
      return "error during write";
    default:
      return "unknown error";
  }
}

}  // namespace

RuntimeFailure runtime_failure(int number, int unit, const std::string& path) {
  return RuntimeFailure{number, std::string(message_of(number)), unit, path};
}

int open_failure_number(int error) {
  switch (error) {
    case ENAMETOOLONG:
    case EINVAL:
    case EILSEQ:
      return kBadFileName;
    case ENOENT:
    case ENOTDIR:
      return kFileNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return kAccessDenied;
    default:
      return kOpenFailure;
  }
}

std::string failure_line(const RuntimeFailure& failure) {
  return "forrtl: severe (" + std::to_string(failure.number) + "): " + failure.message + ", unit " +
         std::to_string(failure.unit) + ", file " + failure.path;
}

}  // namespace orva
