#include "privileges.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace orva::test {

namespace {

constexpr int kFilePrivileges[] = {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER};

}  // namespace

int drop_file_privileges() noexcept {
  if (::geteuid() == 0) {
    for (int cap : kFilePrivileges) {
      if (::prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0) return errno;
    }
  }
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
  if (::syscall(SYS_capget, &header, data) != 0) return errno;
  for (int cap : kFilePrivileges) {
    const __u32 keep = ~static_cast<__u32>(CAP_TO_MASK(cap));
    data[CAP_TO_INDEX(cap)].effective &= keep;
    data[CAP_TO_INDEX(cap)].permitted &= keep;
    data[CAP_TO_INDEX(cap)].inheritable &= keep;
  }
  if (::syscall(SYS_capset, &header, data) != 0) return errno;
  return 0;
}

std::string file_privileges_cannot_be_dropped(const std::filesystem::path& program) {
  const pid_t pid = ::fork();
  if (pid < 0) return std::string("fork: ") + std::strerror(errno);
  if (pid == 0) {
    int error = drop_file_privileges();
    if (error == 0 && ::faccessat(AT_FDCWD, program.c_str(), X_OK, AT_EACCESS) != 0) error = -1;
    ::_exit(error == 0 ? 0 : error > 0 && error < 255 ? error : 255);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status)) return "the probe for dropping privileges did not end normally";
  const int error = WEXITSTATUS(status);
  if (error == 0) return "";
  if (error == 255) {
    return "without CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH this user cannot run " +
           program.string() + " (a folder above it or the program is closed to it)";
  }
  return std::string("CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH and CAP_FOWNER cannot be dropped: ") +
         std::strerror(error);
}

}  // namespace orva::test
