// SIGTERM (a logout, a task manager's "end") and SIGHUP (the terminal closed) as requests to end
// the program. While an ExitSignals lives, the first of them calls its function once, from the
// event loop (the nested loop of a run's wait and a modal box's included), never inside the signal
// handler: the handler only writes to a pipe that a socket notifier watches. A signal that was
// ignored when the object was made (nohup) stays ignored. One object at a time.
#pragma once

#include <QObject>
#include <csignal>
#include <functional>

class QSocketNotifier;

class ExitSignals : public QObject {
 public:
  explicit ExitSignals(std::function<void()> onSignal);
  ~ExitSignals() override;
  ExitSignals(const ExitSignals&) = delete;
  ExitSignals& operator=(const ExitSignals&) = delete;

 private:
  void received();

  std::function<void()> on_signal_;
  int fds_[2] = {-1, -1};  // the pipe, both ends close-on-exec so that no child inherits them
  QSocketNotifier* notifier_ = nullptr;
  struct Caught {
    int signal;
    bool installed = false;
    struct sigaction previous {};
  };
  Caught caught_[2] = {{SIGTERM}, {SIGHUP}};
};
