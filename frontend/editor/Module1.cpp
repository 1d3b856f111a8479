#include "Module1.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include "Platform.h"

namespace Module1 {

void DelFlag(Platform& platform, const QString& folder, const QString& flags) {
  if (flags.size() != 5) {
    platform.messageBox(nullptr,
                        QStringLiteral("DelFlag$ の引数が間違っています。"),
                        MsgStyle::kOk,
                        QStringLiteral("ERROR"));
    platform.quit();
    return;
  }
  for (int k = 0; k < 5; ++k) {
    if (flags[k] != QLatin1Char('1')) continue;
    const QString path = folder + QLatin1Char('/') + QLatin1String(kWorkFiles[k]);
    const int state = FileState(path);
    if (state == 0 || state == 1) QFile::remove(path);
  }
}

int FileState(const QString& path) {
  const QFileInfo file(path);
  if (path.isEmpty() || !file.exists() || !file.isFile()) return -1;
  const qint64 n = file.size();
  if (n == 0) return 0;
  return n > 0 ? 1 : -1;
}

QString OpenDocumentErrorText(int code) {
  switch (code) {
    case 2:
      return QStringLiteral("File not found");
    case 3:
      return QStringLiteral("Path not found");
    case 5:
      return QStringLiteral("Access denied");
    case 8:
      return QStringLiteral("Out of memory");
    case 11:
      return QStringLiteral("Invalid EXE file or error in EXE image");
    case 26:
      return QStringLiteral("A sharing violation occurred");
    case 27:
      return QStringLiteral("Incomplete or invalid file association");
    case 28:
      return QStringLiteral("DDE Time out");
    case 29:
      return QStringLiteral("DDE transaction failed");
    case 30:
      return QStringLiteral("DDE busy");
    case 31:
      return QStringLiteral("No association for file extension");
    case 32:
      return QStringLiteral("DLL not found");
    default:
      return QStringLiteral("Unknown error");
  }
}

void OpenDocument(Platform& platform, const QString& path) {
  const int r = platform.openDocument(path);
  if (r <= 32) {
    platform.messageBox(nullptr,
                        OpenDocumentErrorText(r),
                        MsgStyle::kExclamation,
                        QStringLiteral("HELP OPENING ERROR"));
  }
}

void ConfirmExit(Platform& platform, QWidget* owner) {
  const int answer = platform.messageBox(owner,
                                         QStringLiteral("本当に終了しますか？"),
                                         MsgStyle::kYesNoInfo,
                                         QStringLiteral("Information"));
  if (answer == MsgAnswer::kYes) EndProgram(platform);
}

void EndProgram(Platform& platform) {
  platform.killProcess();
  DelFlag(platform, platform.programFolder(), QStringLiteral("11111"));
  platform.quit();
}

QString ProgramFile(Platform& platform, const QString& name) {
  return platform.programFolder() + QLatin1Char('/') + name;
}

bool FolderIsWritable(const QString& folder) {
  QTemporaryFile probe(folder + QStringLiteral("/.orva_write_test_XXXXXX"));
  return probe.open();
}

}  // namespace Module1
