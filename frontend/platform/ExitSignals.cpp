#include "ExitSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace {

int writeEnd = -1;
pid_t owner = 0;

extern "C" void onExitSignal(int signal) {
  // A child of this process between its fork and its exec runs this handler too: there the signal
  // takes its default action, and the parent's pipe is left alone.
  if (::getpid() != owner) {
    ::signal(signal, SIG_DFL);
    ::raise(signal);
    return;
  }
  const int saved = errno;
  const char byte = static_cast<char>(signal);
  [[maybe_unused]] const ssize_t written = ::write(writeEnd, &byte, 1);
  errno = saved;
}

}  // namespace

ExitSignals::ExitSignals(std::function<void()> onSignal) : on_signal_(std::move(onSignal)) {
  if (::pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) {
    fds_[0] = fds_[1] = -1;
    return;
  }
  writeEnd = fds_[1];
  owner = ::getpid();
  notifier_ = new QSocketNotifier(fds_[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { received(); });

  struct sigaction action {};
  action.sa_handler = onExitSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (const Caught& c : caught_) sigaddset(&action.sa_mask, c.signal);
  for (Caught& c : caught_) {
    if (::sigaction(c.signal, nullptr, &c.previous) != 0 || c.previous.sa_handler == SIG_IGN)
      continue;
    c.installed = ::sigaction(c.signal, &action, nullptr) == 0;
  }
}

ExitSignals::~ExitSignals() {
  for (Caught& c : caught_) {
    if (c.installed) ::sigaction(c.signal, &c.previous, nullptr);
  }
  delete notifier_;
  writeEnd = -1;
  for (int fd : fds_) {
    if (fd >= 0) ::close(fd);
  }
}

void ExitSignals::received() {
  char bytes[16];
  while (::read(fds_[0], bytes, sizeof bytes) > 0) {
  }
  // Once: the program is on its way out, and a second signal must not start the end again.
  notifier_->setEnabled(false);
  if (on_signal_) on_signal_();
}
