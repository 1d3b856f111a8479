#include "ProcessRunner.h"

#include <QEventLoop>
#include <QFileInfo>

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
