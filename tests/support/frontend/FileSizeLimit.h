// A limit on the size of the files this process writes (RLIMIT_FSIZE) for as long as it lives. A
// write past the limit fails with EFBIG ("File too large") once the part below it has gone in,
// as a write onto a disk that fills part way fails with ENOSPC. SIGXFSZ is ignored meanwhile, so
// the write fails instead of ending the process.
#pragma once

#include <sys/resource.h>

#include <csignal>

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ok_ = getrlimit(RLIMIT_FSIZE, &saved_) == 0;
    previous_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ok_ = ok_ && setrlimit(RLIMIT_FSIZE, &limit) == 0;
  }
  ~FileSizeLimit() {
    if (ok_) setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  bool ok() const { return ok_; }

 private:
  rlimit saved_{};
  void (*previous_)(int) = nullptr;
  bool ok_ = false;
};
