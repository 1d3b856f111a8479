// A front end's run and nothing else: runs the program given as the first argument in the folder
// given as the second, as the front end runs its engine (ProcessRunner), and waits for its end.
// Tests kill this process during the run to show what becomes of the program.
#include <QCoreApplication>
#include <cstdio>

#include "ProcessRunner.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: orva_runner_child PROGRAM FOLDER\n");
    return 2;
  }
  ProcessRunner runner;
  ProcessEnd end;
  QString error;
  if (!runner.run(
          QString::fromLocal8Bit(argv[1]), {}, QString::fromLocal8Bit(argv[2]), &end, &error)) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return 2;
  }
  return end.crashed ? 128 + end.exitCode : end.exitCode;
}
