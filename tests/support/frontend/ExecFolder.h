// A temporary folder from which a test may run programs: the engine copied into a program folder,
// shell stand-ins for it. TMPDIR may be mounted noexec, so these folders lie under the build folder
// (ORVA_TEST_EXEC_DIR) instead; they are removed with their contents on destruction.
#pragma once

#include <QDir>
#include <QTemporaryDir>

class ExecFolder : public QTemporaryDir {
 public:
  ExecFolder() : QTemporaryDir(ensureParent() + QStringLiteral("/XXXXXX")) {}

 private:
  static QString ensureParent() {
    const QString parent = QStringLiteral(ORVA_TEST_EXEC_DIR);
    QDir().mkpath(parent);
    return parent;
  }
};
