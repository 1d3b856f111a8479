// Running the engine: ORVA-V4 is started in the program folder and waited for with the window
// alive; a run succeeds when the engine ends with status 0 and has written its iteration report,
// which is then handed over beside the data file and as "out1.dat". Showing the results hands
// over to the results window.
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>

#include "AppWindows.h"
#include "Files.h"
#include "Form2.h"
#include "Module1.h"
#include "Platform.h"

namespace {

const QString kError = QStringLiteral("Error");
const QString kEngineName = QStringLiteral("ORVA-V4");

// Removes the file at path when there is one; false, with the system's reason, when it stays.
bool removeIfPresent(const QString& path, QString* reason = nullptr) {
  const int state = Module1::FileState(path);
  if (state != 0 && state != 1) return true;
  QFile file(path);
  if (file.remove()) return true;
  if (reason) *reason = file.errorString();
  return false;
}

// The second line of the failure message: how the engine ended, when that was not status 0.
QString endLine(const ProcessEnd& end) {
  if (end.crashed)
    return QStringLiteral("\n解析プログラムが異常終了しました（シグナル %1）。").arg(end.exitCode);
  if (end.exitCode != 0)
    return QStringLiteral("\n解析プログラムの終了コード：%1").arg(end.exitCode);
  return QString();
}

}  // namespace

void Form2::Command5_Click() {
  const RunInProgress run(*this);
  Platform& platform = windows_.platform;
  const QString programFolder = platform.programFolder();
  auto programFile = [&](const QString& name) { return Module1::ProgramFile(platform, name); };

  // Files left by an earlier run must not pass for the results of this one: one that cannot be
  // removed stops the run before it starts, and the hand-over files stay for another try.
  for (const QString& name : {IterationFileName,
                              QStringLiteral("out1.dat"),
                              QStringLiteral("DEF.OUT"),
                              QStringLiteral("MODULI.OUT")}) {
    QString reason;
    if (!removeIfPresent(programFile(name), &reason)) {
      platform.messageBox(this,
                          QStringLiteral("前回の解析のファイルを削除できません。\n") +
                              programFile(name) + QLatin1Char('\n') + reason,
                          MsgStyle::kCritical,
                          kError);
      return;
    }
  }

  setCursor(Qt::WaitCursor);
  Command5->setEnabled(false);
  // Nothing may start a second run or rewrite the work files while the engine runs.
  struct Held {
    QWidget* control;
    bool enabled;
  };
  const Held held[] = {{Option1, Option1->isEnabled()},
                       {Option2, Option2->isEnabled()},
                       {Command4, Command4->isEnabled()}};
  for (const Held& h : held) h.control->setEnabled(false);
  QDir::setCurrent(programFolder);

  const QPalette buttonFace = Command5->palette();
  QPalette yellow = buttonFace;
  yellow.setColor(QPalette::Button, QColor(255, 255, 0));
  Command5->setPalette(yellow);
  Command5->setText(QStringLiteral("解析中..."));

  QString error;
  ProcessEnd end;
  const bool ran = platform.runProcess(programFile(kEngineName), {}, programFolder, &end, &error);

  Command5->setPalette(buttonFace);
  Command5->setText(QStringLiteral("解析"));
  for (const Held& h : held) h.control->setEnabled(h.enabled);

  if (!ran) {
    // The work files stay, so that the run can be tried again once the engine is in place.
    Command5->setEnabled(true);
    unsetCursor();
    platform.messageBox(this,
                        QStringLiteral("解析プログラムを起動できません。\n") + error,
                        MsgStyle::kCritical,
                        kError);
    return;
  }

  QString folder, name;
  SplitPath(InputPath, folder, name);
  const QString report = programFile(IterationFileName);
  // A report of a run that ended with a failure status is not its result, however complete.
  if (end.crashed || end.exitCode != 0 || Module1::FileState(report) != 1) {
    Module1::DelFlag(platform, programFolder, QStringLiteral("11111"));
    removeIfPresent(report);
    unsetCursor();
    platform.messageBox(
        this,
        QStringLiteral("解析に失敗しました。入力ファイルを確認してください（out1）。") +
            endLine(end),
        MsgStyle::kCritical,
        kError);
    return;
  }

  // The report goes beside the data file; it stays in the program folder only when the data
  // file lives there.
  const bool sameFolder =
      Files::isSamePath(folder.isEmpty() ? QStringLiteral(".") : folder, programFolder);
  bool besideData = sameFolder;
  if (!sameFolder) {
    besideData = Files::copyFileReplacing(report, folder + IterationFileName, &error);
    if (!besideData) {
      platform.messageBox(
          this,
          QStringLiteral("結果ファイルをデータファイルのフォルダにコピーできませんで"
                         "した。\n") +
              folder + IterationFileName + QLatin1Char('\n') + error,
          MsgStyle::kExclamation,
          kError);
    }
  }
  if (!Files::copyFileReplacing(report, programFile(QStringLiteral("out1.dat")), &error)) {
    unsetCursor();
    platform.messageBox(this,
                        QStringLiteral("結果ファイル out1.dat を作成できませんでした。\n") + error,
                        MsgStyle::kCritical,
                        kError);
    return;
  }
  // The copy beside the data file is the user's; a report that could not go there stays here.
  if (!sameFolder && besideData) QFile::remove(report);

  Command6->setEnabled(true);
  Command1->setEnabled(false);
  unsetCursor();
}

void Form2::Command6_Click() {
  Command5->setEnabled(false);
  Command6->setEnabled(false);
  hide();
  if (windows_.showForm3) windows_.showForm3();
}

void Form2::ReturnFromResults(bool update) {
  EndCellEdits();
  Option1->setEnabled(false);
  Option2->setEnabled(false);
  Command1->setEnabled(false);
  Command2->setEnabled(update);
  if (update) Command2->setText(QStringLiteral("データチェック"));
  Command3->setEnabled(true);
  Command4->setEnabled(true);
  Command5->setEnabled(false);
  Command6->setEnabled(!update);
}
