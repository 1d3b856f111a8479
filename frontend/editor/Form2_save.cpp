// Check and save: every entry of the editor is checked, the data folder chosen, the data file
// written there, copied to "inp.dat" in the program folder, and the handshake file "SESF.LAB"
// written beside it; then the run button is enabled.
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QRadioButton>

#include "AppWindows.h"
#include "DataFile.h"
#include "Files.h"
#include "FlexGrid.h"
#include "Form2.h"
#include "Module1.h"
#include "Platform.h"
#include "TextBox.h"

namespace {

const QString kError = QStringLiteral("Error");
const QString kInformation = QStringLiteral("Information");

void removeIfPresent(const QString& path) {
  const int state = Module1::FileState(path);
  if (state == 0 || state == 1) QFile::remove(path);
}

// The data set as the editor holds it: the counts of the boxes, the grids' cell texts, and for
// opened data the kept fields of the data sets that came from the file.
DataFile::DataSetTexts editorDataSet(const Form2& f) {
  DataFile::DataSetTexts d;
  d.title = f.Text4->text();
  d.layerCount = DataFile::countValue(f.Text1->text(), DataFile::kMaxLayers);
  d.sensorCount = DataFile::countValue(f.Text2->text(), DataFile::kMaxSensors);
  d.dataCount = DataFile::countValue(f.Text3->text(), DataFile::kMaxDataSets);
  for (int i = 1; i <= d.layerCount; ++i) {
    d.layers.append({f.FG1->textMatrix(i, 1),
                     f.FG1->textMatrix(i, 2),
                     f.FG1->textMatrix(i, 3),
                     f.FG1->textMatrix(i, 4),
                     f.FG1->textMatrix(i, 5)});
  }
  for (int j = 1; j <= d.sensorCount; ++j) d.positions.append(f.FG2->textMatrix(1, j));
  for (int i = 1; i <= d.dataCount; ++i) {
    DataFile::DropTexts drop;
    drop.load = f.FG3->textMatrix(i, 1);
    for (int j = 1; j <= d.sensorCount; ++j) drop.deflections.append(f.FG3->textMatrix(i, j + 1));
    d.drops.append(drop);
  }
  d.standardLoad = f.FG4->textMatrix(1, 0);
  d.plateRadius = f.FG4->textMatrix(1, 1);
  d.regularization = f.Text8->text();
  if (f.DataOrigin != 0) {
    const int kept = qMin(f.LoadedDataCount, d.dataCount);
    for (int i = 1; i <= kept && i < f.DropIds.size(); ++i) {
      d.kept.append({f.DropIds.value(i).toString(),
                     f.DropCodes.value(i).toString(),
                     f.DropTags.value(i),
                     f.DropAuxValues.value(i).toString(),
                     f.DropNotes.value(i)});
    }
  }
  return d;
}

}  // namespace

void Form2::InitInputLabels() { InputLabels = DataFile::inputLabelTable(); }

void Form2::SplitPath(const QString& path, QString& folder, QString& name) {
  const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
  if (slash < 0) {
    folder.clear();
    name = path;
    return;
  }
  folder = path.left(slash + 1);
  name = path.mid(slash + 1);
}

bool Form2::ChangeExtension(QString& ext, const QString& path, QString& result) {
  if (!ext.startsWith(QLatin1Char('.'))) ext.prepend(QLatin1Char('.'));
  const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
  if (dot < 0) return false;
  result = path.left(dot) + ext;
  return true;
}

void Form2::Command2_Click() {
  Platform& platform = windows_.platform;
  const QString programFolder = platform.programFolder();

  // Read the form. What is checked here is what gets written.
  DataFile::DataSetTexts dataSet = editorDataSet(*this);
  LayerCount = dataSet.layerCount;
  SensorCount = dataSet.sensorCount;
  DataCount = dataSet.dataCount;
  ProjectTitle = dataSet.title;

  const DataFile::CheckResult check = DataFile::checkDataSet(dataSet);
  for (const QString& text : check.boxes)
    platform.messageBox(this, text, MsgStyle::kCritical, kError);
  if (!check.passed) return;

  InitInputLabels();
  removeIfPresent(Module1::ProgramFile(platform, QStringLiteral("inp.dat")));
  removeIfPresent(Module1::ProgramFile(platform, QStringLiteral("SESF.LAB")));

  // The data folder: asked for new data; for opened data (or after the results window) only when
  // the user wants to change it.
  // The path is settled in a local until the user has agreed to write: a refusal leaves every box,
  // path and the remembered folder (Text9) as they were.
  bool browse = true;
  if (!Option2->isEnabled() || DataOrigin != 0) {
    browse = platform.messageBox(this,
                                 QStringLiteral("作業フォルダ変更しますか？"),
                                 MsgStyle::kYesNoInfo,
                                 kInformation) == MsgAnswer::kYes;
  }
  QString savePath;
  if (browse) {
    const QString folder =
        platform.folderName(this, QStringLiteral("フォルダを選択してください"), QString());
    if (folder.isEmpty()) {
      SavePath.clear();
      platform.messageBox(this,
                          QStringLiteral("キャンセルされました。"),
                          MsgStyle::kExclamation,
                          Module1::AppTitle);
      return;
    }
    savePath = folder + QLatin1Char('/') + ProjectTitle + QStringLiteral(".dat");
  } else {
    QString folder, name;
    SplitPath(Text9->text(), folder, name);
    savePath = folder + ProjectTitle + QStringLiteral(".dat");
  }

  // Another file of that name is replaced only when the user agrees; the data file being worked
  // on (opened or saved before) is replaced without a question.
  const bool sameData = Files::isSamePath(savePath, InputPath) &&
                        (DataOrigin != 0 || !Option2->isEnabled() || dataFileWritten_);
  if (QFileInfo::exists(savePath) && !sameData) {
    const int answer = platform.messageBox(
        this,
        QStringLiteral("同じ名前のデータファイルが既にあります。上書きしますか？\n") + savePath,
        MsgStyle::kYesNoInfo,
        kInformation);
    if (answer != MsgAnswer::kYes) return;
  }
  SavePath = savePath;
  Text9->setText(SavePath);
  SaveFileName = ProjectTitle + QStringLiteral(".dat");
  IterationFileName = ProjectTitle + QStringLiteral(".out");
  Text5->setText(IterationFileName);

  dataSet.title = ProjectTitle;
  dataSet.iterationFileName = IterationFileName;
  bool encoded = false;
  const QByteArray bytes = DataFile::writeDataFile(dataSet, &encoded);
  QString error;
  if (!encoded) {
    platform.messageBox(this,
                        QStringLiteral("データファイルに書けない文字があります。"),
                        MsgStyle::kCritical,
                        kError);
    return;
  }
  if (!Files::writeFileReplacing(SavePath, bytes, &error)) {
    platform.messageBox(this,
                        QStringLiteral("データファイルを保存できませんでした。\n") + SavePath +
                            QLatin1Char('\n') + error,
                        MsgStyle::kCritical,
                        kError);
    return;
  }
  InputPath = SavePath;
  dataFileWritten_ = true;

  // The engine's input and the handshake in the program folder.
  const QString inp = Module1::ProgramFile(platform, QStringLiteral("inp.dat"));
  const QString handshake = Module1::ProgramFile(platform, QStringLiteral("SESF.LAB"));
  const bool written = Files::copyFileReplacing(InputPath, inp, &error) &&
                       Files::writeFileReplacing(handshake, DataFile::handshakeFileBytes(), &error);
  for (const QString& path : {inp, handshake}) {
    if (!written || Module1::FileState(path) != 1) {
      platform.messageBox(this,
                          QStringLiteral("入力ファイルの準備ができていません。"),
                          MsgStyle::kCritical,
                          kError);
      return;
    }
  }

  Command1->setEnabled(false);
  Command2->setEnabled(false);
  Command5->setEnabled(true);
  saved_ = true;
  QDir::setCurrent(programFolder);
}
