// Preloaded into the engine by tests (LD_PRELOAD): holds the engine just after it has renamed a
// file over a given name, so that a test can act while the engine is at that point of its run.
//   ORVA_TEST_HOLD="NAME,READY,WAIT"
// After the first renameat(..., NAME), one byte goes to the descriptor READY; then the engine waits
// until the descriptor WAIT gives a byte or its end (the test closes its end to let go).
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int renameat(int old_dir, const char* old_name, int new_dir, const char* new_name) {
  using Renameat = int (*)(int, const char*, int, const char*);
  static const auto next = reinterpret_cast<Renameat>(::dlsym(RTLD_NEXT, "renameat"));
  static bool held = false;
  const int renamed = next(old_dir, old_name, new_dir, new_name);
  const int saved = errno;
  const char* hold = std::getenv("ORVA_TEST_HOLD");
  char name[256];
  int ready = -1, wait = -1;
  if (!held && hold != nullptr && std::sscanf(hold, "%255[^,],%d,%d", name, &ready, &wait) == 3 &&
      std::strcmp(new_name, name) == 0) {
    held = true;
    if (::write(ready, "h", 1) != 1) std::perror("hold_rename: ready");
    char byte;
    while (::read(wait, &byte, 1) < 0 && errno == EINTR) {
    }
  }
  errno = saved;
  return renamed;
}
