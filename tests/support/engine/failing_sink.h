// An output sink for fault injection: it passes `budget` bytes to the files and then fails as a
// full device does (ENOSPC), and it can fail one close; it records the size of every write.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <limits>
#include <string_view>
#include <vector>

#include "fortran_io.h"

namespace orva::test {

class FailingSink : public OutputSink {
 public:
  size_t budget = std::numeric_limits<size_t>::max();
  int failing_close = 0;       // number of the close that fails (1 for the first), 0 for none
  std::vector<size_t> writes;  // sizes of the writes asked for
  int closes = 0;

  bool write(int fd, std::string_view bytes) override {
    writes.push_back(bytes.size());
    const size_t n = std::min(budget, bytes.size());
    if (n > 0 && !OutputSink::write(fd, bytes.substr(0, n))) return false;
    budget -= n;
    if (n < bytes.size()) {
      errno = ENOSPC;
      return false;
    }
    return true;
  }
  bool close(int fd) override {
    const bool closed = OutputSink::close(fd);
    return ++closes != failing_close && closed;
  }
};

}  // namespace orva::test
