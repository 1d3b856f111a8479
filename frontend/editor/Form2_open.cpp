// Opening a data file: the file becomes the engine's input "inp.dat" at once, its version line is
// checked, and its contents fill the counts, boxes and grids of the editor.
#include <QDir>
#include <QFile>
#include <QPushButton>

#include "AppWindows.h"
#include "DataFile.h"
#include "Files.h"
#include "FlexGrid.h"
#include "Form2.h"
#include "Module1.h"
#include "Platform.h"
#include "TextBox.h"
#include "UpDown.h"

namespace {

const QString kError = QStringLiteral("Error");

QString readFailureText(const DataFile::DataFileReadResult& r) {
  switch (r.error) {
    case DataFile::DataFileError::kCutShort:
      return QStringLiteral(
                 "データファイルを読み込めません（%1行目）。\n"
                 "ファイルが途中で終わっているか、行の項目が足りません。")
          .arg(r.line);
    case DataFile::DataFileError::kBadQuote:
      return QStringLiteral(
                 "データファイルを読み込めません（%1行目）。\n"
                 "引用符で囲んだ項目の後に区切りがありません。")
          .arg(r.line);
    case DataFile::DataFileError::kBadCount:
      return QStringLiteral(
          "データファイルを読み込めません。\n"
          "層数、センサー数、データ数が整数ではありません。");
    case DataFile::DataFileError::kCountOutOfRange:
      return QStringLiteral(
          "データファイルを読み込めません。\n"
          "層数は1から5、センサー数とデータ数は1から10でなければなりません。");
    default:
      return QString();
  }
}

}  // namespace

void Form2::Command1_Click() {
  Platform& platform = windows_.platform;
  const QString programFolder = platform.programFolder();
  const QString path = platform.openFileName(this,
                                             QString(),
                                             Module1::ProgramFile(platform, QStringLiteral("Data")),
                                             QStringLiteral("Data(*.dat);;All(*.*)"));
  if (path.isEmpty()) {
    platform.messageBox(this,
                        QStringLiteral("キャンセルされました。"),
                        MsgStyle::kOk,
                        QStringLiteral("メッセージ"));
    return;
  }

  // The chosen file is the engine's input from now on, even when the checks below refuse it.
  QString error;
  if (!Files::copyFileReplacing(
          path, Module1::ProgramFile(platform, QStringLiteral("inp.dat")), &error)) {
    platform.messageBox(
        this,
        QStringLiteral("データファイルを読み込めません。\n") + path + QLatin1Char('\n') + error,
        MsgStyle::kCritical,
        kError);
    return;
  }
  QFile file(path);
  QByteArray bytes;
  if (file.open(QIODevice::ReadOnly)) bytes = file.readAll();
  if (!file.isOpen() || file.error() != QFileDevice::NoError) {
    platform.messageBox(this,
                        QStringLiteral("データファイルを読み込めません。\n") + path +
                            QLatin1Char('\n') + file.errorString(),
                        MsgStyle::kCritical,
                        kError);
    return;
  }
  file.close();

  // The file is read whole before anything in the editor changes: a refused file leaves the
  // editor as it was.
  DataFile::DataSetTexts d;
  const DataFile::DataFileReadResult read = DataFile::readDataFile(bytes, &d);
  if (read.error == DataFile::DataFileError::kBadVersion) {
    platform.messageBox(this,
                        QStringLiteral("入力ファイルのバージョン情報を確認してください．"),
                        MsgStyle::kCritical,
                        kError);
    return;
  }
  if (read.error != DataFile::DataFileError::kNone) {
    platform.messageBox(this, readFailureText(read), MsgStyle::kCritical, kError);
    return;
  }

  // An edit left open would write its text over the value filled in from the file. What is
  // filled in is no edit of saved data: the buttons are set below.
  EndCellEdits();
  saved_ = false;
  dataFileWritten_ = false;
  InputPath = path;
  Text9->setText(path);
  ProjectTitle = d.title;
  IterationFileName = d.iterationFileName;
  DropIds.clear();
  DropCodes.clear();
  DropTags.clear();
  DropAuxValues.clear();
  DropNotes.clear();
  // Index 0 stays empty; data set i is at index i.
  DropIds.append(QVariant());
  DropCodes.append(QVariant());
  DropTags.append(QString());
  DropAuxValues.append(QVariant());
  DropNotes.append(QString());
  for (const DataFile::KeptDropFields& k : d.kept) {
    DropIds.append(k.id);
    DropCodes.append(k.code);
    DropTags.append(k.tag);
    DropAuxValues.append(k.auxValue);
    DropNotes.append(k.note);
  }
  DataOrigin = 1;
  LoadedDataCount = d.dataCount;

  Text4->setText(d.title);
  Text5->setText(d.iterationFileName);
  // The spin buttons take the counts first, so that their next step starts from them; the count
  // handling then sizes and labels the grids (also when a count keeps its value).
  UpDown1->setValue(d.layerCount);
  UpDown2->setValue(d.sensorCount);
  UpDown3->setValue(d.dataCount);
  UpDown1_Change();
  UpDown2_Change();
  UpDown3_Change();
  for (int i = 1; i <= d.layerCount; ++i) {
    const DataFile::LayerTexts& l = d.layers[i - 1];
    const QString texts[] = {l.fix, l.modulus, l.poisson, l.thickness, l.slip};
    for (int c = 1; c <= 5; ++c) FG1->setTextMatrix(i, c, texts[c - 1]);
  }
  for (int j = 1; j <= d.sensorCount; ++j) FG2->setTextMatrix(1, j, d.positions[j - 1]);
  for (int i = 1; i <= d.dataCount; ++i) {
    FG3->setTextMatrix(i, 1, d.drops[i - 1].load);
    for (int j = 1; j <= d.sensorCount; ++j)
      FG3->setTextMatrix(i, j + 1, d.drops[i - 1].deflections[j - 1]);
  }
  FG4->setTextMatrix(1, 0, d.standardLoad);
  FG4->setTextMatrix(1, 1, d.plateRadius);
  Text8->setText(d.regularization);

  Command2->setEnabled(true);
  Command1->setEnabled(false);
  QDir::setCurrent(programFolder);
}
