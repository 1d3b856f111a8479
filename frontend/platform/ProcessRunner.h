// Runs one program at a time and waits for its end with the event loop running, so the windows
// stay responsive during the wait. Standard input is the null device; there is no time limit. The
// program gets SIGTERM when this process ends, however it ends, so that it never outlives it.
#pragma once

#include <QPointer>
#include <QProcess>
#include <QString>
#include <QStringList>

#include "Platform.h"

class ProcessRunner {
 public:
  // How long stop() waits for a program that was asked to end before it kills it.
  static constexpr int kStopGraceMs = 3000;

  // Returns false when the program cannot be started (error says why); true once it has ended,
  // with its exit status, or the signal that ended it, in `end`.
  bool run(const QString& program,
           const QStringList& arguments,
           const QString& workingFolder,
           ProcessEnd* end,
           QString* error);

  // Ends the running program, if any, and waits for it: first SIGTERM, so that it can remove its
  // temporary files and leave no half-written one, then SIGKILL after graceMs.
  void stop(int graceMs = kStopGraceMs);

 private:
  QPointer<QProcess> process_;
};
