// Runs one program at a time and waits for its end with the event loop running, so the windows
// stay responsive during the wait. Standard input is the null device; there is no time limit.
#pragma once

#include <QPointer>
#include <QProcess>
#include <QString>
#include <QStringList>

class ProcessRunner {
 public:
  // Returns false when the program cannot be started (error says why); true once it has ended,
  // whatever its exit status.
  bool run(const QString& program,
           const QStringList& arguments,
           const QString& workingFolder,
           QString* error);

  // Ends the running program, if any, and waits for it.
  void kill();

 private:
  QPointer<QProcess> process_;
};
