#include "ProcessRunner.h"

#include <sys/prctl.h>
#include <unistd.h>

#include <QEventLoop>
#include <QFileInfo>
#include <csignal>

namespace {

// Runs in the child between fork and exec, so it makes async-signal-safe calls only. The program
// gets SIGTERM when the front end ends, however it ends (a crash, SIGKILL, a logout): an engine
// left running would publish its files over the next run's, while on SIGTERM it removes its
// temporary files and ends. The request is kept across the exec of a wrapper; it follows the
// thread that starts the program, the main thread, which lives as long as the front end. A front
// end that died before the request took effect has handed its child to another parent: the child
// ends at once. The front end ignores SIGXFSZ; the program gets the default, as from a shell.
void bindToFrontEnd(pid_t frontEnd) {
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (::getppid() != frontEnd) ::_exit(128 + SIGTERM);
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  sigemptyset(&byDefault.sa_mask);
  ::sigaction(SIGXFSZ, &byDefault, nullptr);
}

}  // namespace

bool ProcessRunner::run(const QString& program,
                        const QStringList& arguments,
                        const QString& workingFolder,
                        ProcessEnd* end,
                        QString* error) {
  const QFileInfo file(program);
  if (!file.exists()) {
    if (error) *error = QStringLiteral("%1: file not found").arg(program);
    return false;
  }
  QProcess process;
  process.setProgram(file.absoluteFilePath());
  process.setArguments(arguments);
  process.setWorkingDirectory(workingFolder);
  process.setStandardInputFile(QProcess::nullDevice());
  process.setProcessChannelMode(QProcess::ForwardedChannels);
  const pid_t frontEnd = ::getpid();
  process.setChildProcessModifier([frontEnd] { bindToFrontEnd(frontEnd); });
  process_ = &process;
  process.start();
  if (!process.waitForStarted(-1)) {
    process_ = nullptr;
    if (error) *error = QStringLiteral("%1: %2").arg(program, process.errorString());
    return false;
  }
  // The end of the process is reported through the event loop, which runs until then.
  QEventLoop loop;
  QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
  if (process.state() != QProcess::NotRunning) loop.exec();
  process_ = nullptr;
  // On a crash Qt gives the number of the signal that ended the process as its exit code.
  if (end) *end = {process.exitCode(), process.exitStatus() == QProcess::CrashExit};
  return true;
}

void ProcessRunner::stop(int graceMs) {
  if (!process_ || process_->state() == QProcess::NotRunning) return;
  process_->terminate();
  if (process_ && process_->waitForFinished(graceMs)) return;
  if (process_ && process_->state() != QProcess::NotRunning) {
    process_->kill();
    process_->waitForFinished(5000);
  }
}
