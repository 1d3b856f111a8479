// Check and save: the boxes of every failed check, in order; nothing written after a failed check
// or a cancel; the files written by a save; the folder question for opened data; the question
// before another file is replaced; a failed write.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QProcess>
#include <cerrno>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "DataFile.h"
#include "FileSizeLimit.h"
#include "editor_harness.h"

namespace {

using namespace DataFile;

using harness::Editor;
using harness::readBytes;

// clang-format off
struct Case {
  const char* name;
  std::function<void(Form2*)> edit;  // applied to the valid data set
  QStringList boxes;                 // every box shown, in order (all style 16, title "Error")
};
// clang-format on

const QString kSummary1 = QStringLiteral("1つのエラーを直して下さい");
const QString kLayers = QStringLiteral("層特性の値が不正です");
const QString kPositions = QStringLiteral("センサー位置の値が不正です");
const QString kLoad = QStringLiteral("荷重の値が不正です");
const QString kDeflection = QStringLiteral("たわみの値が不正です．");
const QString kName = QStringLiteral("プロジェクト名が不正です");
const QString kNameEmpty = QStringLiteral("プロジェクト名が不正です．");

auto cell(FlexGrid* (*grid)(Form2*), int row, int col, const char* text) {
  return [=](Form2* f) { grid(f)->setTextMatrix(row, col, QString::fromUtf8(text)); };
}
FlexGrid* fg1(Form2* f) { return f->FG1; }
FlexGrid* fg2(Form2* f) { return f->FG2; }
FlexGrid* fg3(Form2* f) { return f->FG3; }
FlexGrid* fg4(Form2* f) { return f->FG4; }
auto title(const char* text) {
  return [=](Form2* f) { f->Text4->setText(QString::fromUtf8(text)); };
}
auto both(std::function<void(Form2*)> a, std::function<void(Form2*)> b) {
  return [=](Form2* f) {
    a(f);
    b(f);
  };
}

TEST(CheckAndSave, EveryFailedCheckShowsItsBoxesAndWritesNothing) {
  // clang-format off
  const Case cases[] = {
      {"all counts zero, no name",
       [](Form2* f) { f->Text1->setText("0"); f->Text2->setText("0"); f->Text3->setText("0");
                      f->Text4->setText(""); },
       {"層数を入力して下さい", "測定位置数を入力して下さい", "トータルデータ数を入力して下さい",
        kName, kNameEmpty, "4つのエラーを直して下さい"}},
      {"3 layers, 2 sensors, all cells valid",
       [](Form2* f) { f->UpDown1->setValue(3); f->UpDown2->setValue(2);
                      harness::setCells(f->FG1, 1, {{"0", "3000", "0.35", "10", "0"},
                                                    {"0", "300", "0.35", "20", "0"},
                                                    {"1", "100", "0.4"}}); },
       {"センサー数を層数以上にしてください", kSummary1}},
      {"layer count outside the spin range", [](Form2* f) { f->Text1->setText("6"); },
       {"層数を入力して下さい", kSummary1}},
      {"Poisson's ratio 0.5",      cell(fg1, 1, 3, "0.5"),   {kLayers}},
      {"Poisson's ratio 0",        cell(fg1, 2, 3, "0"),     {kLayers}},
      {"empty modulus",            cell(fg1, 1, 2, ""),      {kLayers}},
      // Regression: the number checks did not cover the whole text, so "1.2.3" (and "49kN" below)
      // passed and the engine's read then failed on it.
      {"modulus 1.2.3",            cell(fg1, 1, 2, "1.2.3"), {kLayers}},
      {"modulus 0",                cell(fg1, 2, 2, "0"),     {kLayers}},
      {"fix flag empty",           cell(fg1, 1, 1, ""),      {kLayers}},
      {"fix flag 2",               cell(fg1, 2, 1, "2"),     {kLayers}},
      // Regression: the fix flag was not held to the text "0" or "1", so "1.0" passed and the
      // engine's integer read then failed on it.
      {"fix flag 1.0",             cell(fg1, 2, 1, "1.0"),   {kLayers}},
      {"thickness 0",              cell(fg1, 1, 4, "0"),     {kLayers}},
      {"slip rate 1",              cell(fg1, 1, 5, "1"),     {kLayers}},
      {"slip rate -0.1",           cell(fg1, 1, 5, "-0.1"),  {kLayers}},
      {"slip rate empty",          cell(fg1, 1, 5, ""),      {kLayers}},
      // Regression: layers that split into more than the engine's 1000 model sublayers passed the
      // check, and the engine then refused the run.
      {"more than 1000 model sublayers of 1 m", cell(fg1, 1, 4, "100000.1"), {kLayers}},
      {"layers of 600 m and 500 m",
       [](Form2* f) { f->UpDown1->setValue(3);
                      harness::setCells(f->FG1, 1, {{"0", "3000", "0.35", "60000", "0"},
                                                    {"0", "300", "0.35", "50000", "0"},
                                                    {"1", "100", "0.4"}}); },
       {kLayers}},
      {"positions 0, 30, 30",      cell(fg2, 1, 3, "30"),    {kPositions}},
      {"position -1",              cell(fg2, 1, 1, "-1"),    {kPositions}},
      {"position empty",           cell(fg2, 1, 2, ""),      {kPositions}},
      {"load 0",                   cell(fg3, 2, 1, "0"),     {kLoad}},
      {"load .",                   cell(fg3, 1, 1, "."),     {kLoad}},
      {"deflection -",             cell(fg3, 1, 3, "-"),     {kDeflection}},
      {"deflection -1",            cell(fg3, 2, 4, "-1"),    {kDeflection}},
      {"load checked before deflections",
       both(cell(fg3, 1, 2, ""), cell(fg3, 1, 1, "")),      {kLoad}},
      {"radius and standard load empty",
       both(cell(fg4, 1, 0, ""), cell(fg4, 1, 1, "")),
       {"載荷板半径の値が不正です．", kSummary1}},
      {"standard load 0",          cell(fg4, 1, 0, "0"),
       {"基準荷重の値が不正です．", kSummary1}},
      {"standard load text",       cell(fg4, 1, 0, "49kN"),
       {"基準荷重の値が不正です．", kSummary1}},
      {"empty name",               title(""),          {kName, kNameEmpty, kSummary1}},
      // Regression: these names passed the check: the engine reads a name only up to a blank, "inp"
      // and "out1" are the program's own work files, and "€" has no CP932 form for the file.
      {"name with a blank",        title("My Project"), {kName, kSummary1}},
      {"name inp",                 title("inp"),        {kName, kSummary1}},
      {"name out1",                title("out1"),       {kName, kSummary1}},
      {"name outside CP932",       title("€uro"),       {kName, kSummary1}},
      {"a layer failure ends before the summary",
       both(title(""), cell(fg1, 1, 2, "")),                {kName, kLayers}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Editor e;
    e.typeValidDataSet();
    harness::writeBytes(e.programFile("inp.dat"), "old");
    c.edit(e.form);
    for (qsizetype i = 0; i < c.boxes.size(); ++i) e.platform.answerMessage(MsgAnswer::kOk);
    e.form->Command2_Click();
    EXPECT_EQ(e.platform.boxTexts(), c.boxes);
    for (const FakePlatform::Box& b : e.platform.boxes) {
      EXPECT_EQ(b.style, MsgStyle::kCritical);
      EXPECT_EQ(b.title, QStringLiteral("Error"));
    }
    EXPECT_TRUE(e.platform.dialogs.empty());
    EXPECT_EQ(e.programFiles(), QStringList{"inp.dat"});  // the old one, untouched
    EXPECT_TRUE(QDir(e.data.path()).isEmpty());
    EXPECT_TRUE(e.form->Command2->isEnabled());
    EXPECT_FALSE(e.form->Command5->isEnabled());
  }
}

TEST(CheckAndSave, ValidEdgeValuesPass) {
  Editor e;
  e.typeValidDataSet();
  // 1000 m: exactly the model's 1000 sublayers of 1 m.
  harness::setCells(e.form->FG1, 1, {{"1", "3000", "0.49", "100000", "0.99"}, {"0", "100", "0.4"}});
  harness::setCells(e.form->FG2, 1, {{"0", "20", "45"}});
  harness::setCells(e.form->FG3, 1, {{"49.5", "0", "-0", "0."}});
  EXPECT_TRUE(e.saveIntoDataFolder()) << e.platform.boxTexts().join('|').toStdString();
  EXPECT_TRUE(e.platform.boxes.empty());
}

TEST(CheckAndSave, SavesTheDataFileInpDatAndTheHandshake) {
  Editor e;
  e.typeValidDataSet();
  harness::writeBytes(e.programFile("SESF.LAB"), "0000\r\n");
  ASSERT_TRUE(e.saveIntoDataFolder()) << e.platform.boxTexts().join('|').toStdString();
  EXPECT_TRUE(e.platform.boxes.empty());
  ASSERT_EQ(e.platform.dialogs.size(), 1u);
  EXPECT_EQ(e.platform.dialogs[0].kind, QStringLiteral("folder"));
  EXPECT_EQ(e.platform.dialogs[0].title, QStringLiteral("フォルダを選択してください"));

  const QString path = e.dataFile("Route7.dat");
  const QByteArray bytes = readBytes(path);
  EXPECT_TRUE(
      bytes.startsWith("ORVA for Windows Ver2.2\r\n\r\nTITLE OF THE PROJECT\r\nRoute7\r\n"
                       "\r\nNAME OF FILE FOR ITERATION PROCESS\r\nRoute7.out\r\n"));
  EXPECT_TRUE(bytes.contains("\r\n2   3\r\n"));
  EXPECT_TRUE(
      bytes.contains("\r\n0             3000          0.35          10            0\r\n"
                     "1             100           0.4\r\n"));
  EXPECT_TRUE(bytes.contains("\r\n0    30    60\r\n"));
  EXPECT_TRUE(bytes.contains("\r\n0.001\r\n"));  // 2 layers, the hidden box empty
  EXPECT_TRUE(bytes.endsWith("2,0,\"99:99\",50\r\n410\r\n205\r\n101\r\n999.9,\"Run2\"\r\n"));
  EXPECT_EQ(readBytes(e.programFile("inp.dat")), bytes);
  EXPECT_EQ(readBytes(e.programFile("SESF.LAB")), QByteArray("2958\r\n"));
  EXPECT_EQ(e.programFiles(), (QStringList{"inp.dat", "SESF.LAB"}));
  EXPECT_EQ(QDir(e.data.path()).entryList(QDir::Files), QStringList{"Route7.dat"});

  EXPECT_EQ(e.form->SavePath, path);
  EXPECT_EQ(e.form->InputPath, path);
  EXPECT_EQ(e.form->Text9->text(), path);
  EXPECT_EQ(e.form->IterationFileName, QStringLiteral("Route7.out"));
  EXPECT_EQ(e.form->Text5->text(), QStringLiteral("Route7.out"));
  EXPECT_EQ(e.form->SaveFileName, QStringLiteral("Route7.dat"));
  EXPECT_FALSE(e.form->Command1->isEnabled());
  EXPECT_FALSE(e.form->Command2->isEnabled());
  EXPECT_TRUE(e.form->Command5->isEnabled());
}

TEST(CheckAndSave, CancelledFolderDialogWritesNothing) {
  Editor e;
  e.typeValidDataSet();
  harness::writeBytes(e.programFile("inp.dat"), "old");
  e.platform.answerFolder(QString());
  e.platform.answerMessage(MsgAnswer::kOk);
  e.form->Command2_Click();
  ASSERT_EQ(e.platform.boxes.size(), 1u);
  EXPECT_EQ(e.platform.boxes[0].text, QStringLiteral("キャンセルされました。"));
  EXPECT_EQ(e.platform.boxes[0].style, MsgStyle::kExclamation);
  EXPECT_TRUE(e.form->SavePath.isEmpty());
  // The old work files go once the checks have passed, before the folder is asked for.
  EXPECT_TRUE(e.programFiles().isEmpty());
  EXPECT_TRUE(QDir(e.data.path()).isEmpty());
  EXPECT_TRUE(e.form->Command2->isEnabled());
  EXPECT_FALSE(e.form->Command5->isEnabled());
}

// Regression: a save replaced another data file of the same name in the chosen folder without
// asking.
TEST(CheckAndSave, AnotherFileOfTheSameNameIsReplacedOnlyOnYes) {
  for (const int answer : {MsgAnswer::kNo, MsgAnswer::kYes}) {
    SCOPED_TRACE(answer);
    Editor e;
    e.typeValidDataSet();
    harness::writeBytes(e.dataFile("Route7.dat"), "someone else's data");
    e.platform.answerMessage(answer);
    EXPECT_EQ(e.saveIntoDataFolder(), answer == MsgAnswer::kYes);
    ASSERT_EQ(e.platform.boxes.size(), 1u);
    EXPECT_TRUE(e.platform.boxes[0].text.contains(QStringLiteral("上書きしますか")));
    EXPECT_EQ(e.platform.boxes[0].style, MsgStyle::kYesNoInfo);
    const bool replaced = readBytes(e.dataFile("Route7.dat")).startsWith("ORVA for Windows");
    EXPECT_EQ(replaced, answer == MsgAnswer::kYes);
    // No writes nothing and names nothing: the boxes and paths still say what they said before.
    const QString saved = answer == MsgAnswer::kYes ? e.dataFile("Route7.dat") : QString();
    EXPECT_EQ(e.form->SavePath, saved);
    EXPECT_EQ(e.form->Text9->text(), saved);
    EXPECT_EQ(e.form->Text5->text(), answer == MsgAnswer::kYes ? "Route7.out" : "");
  }
}

// Regression: after No to the replace question, the boxes and the save path named the file that
// was not written, and a later "keep the folder" used the folder just refused.
TEST(CheckAndSave, NoToReplacingChangesNoBoxPathOrFolder) {
  Editor e;
  QTemporaryDir other;
  const QString path = e.dataFile("007.dat");
  const QByteArray original = readBytes(harness::fixturePath("opened_1layer_kept_drop_fields.dat"));
  harness::writeBytes(path, original);
  harness::writeBytes(other.filePath("007.dat"), "someone else's data");
  e.form->Option1->click();
  e.platform.answerOpenFile(path);
  e.form->Command1_Click();
  Form2* f = e.form;
  f->Text4->setText(QStringLiteral("007"));
  const QStringList before = {
      f->Text4->text(), f->Text5->text(), f->Text9->text(), f->SavePath, f->IterationFileName};

  e.platform.answerMessage(MsgAnswer::kYes);  // change the folder
  e.platform.answerFolder(other.path());
  e.platform.answerMessage(MsgAnswer::kNo);  // do not replace
  f->Command2_Click();
  EXPECT_EQ(e.platform.boxes.size(), 2u);
  EXPECT_EQ(readBytes(other.filePath("007.dat")), QByteArray("someone else's data"));
  EXPECT_EQ(
      (QStringList{
          f->Text4->text(), f->Text5->text(), f->Text9->text(), f->SavePath, f->IterationFileName}),
      before);
  EXPECT_FALSE(f->Command5->isEnabled());

  // Keeping the folder now means the opened file's folder.
  e.platform.answerMessage(MsgAnswer::kNo);
  f->Command2_Click();
  EXPECT_TRUE(f->Command5->isEnabled()) << e.platform.boxTexts().join('|').toStdString();
  EXPECT_EQ(f->SavePath, path);
  EXPECT_EQ(readBytes(other.filePath("007.dat")), QByteArray("someone else's data"));
  EXPECT_TRUE(readBytes(path).startsWith("ORVA for Windows"));
}

TEST(CheckAndSave, FailedWriteLeavesNothingHalfDoneAndSaysSo) {
  Editor e;
  e.typeValidDataSet();
  e.platform.answerFolder(e.data.filePath("missing-folder"));
  e.platform.answerMessage(MsgAnswer::kOk);
  e.form->Command2_Click();
  ASSERT_EQ(e.platform.boxes.size(), 1u);
  EXPECT_TRUE(
      e.platform.boxes[0].text.startsWith(QStringLiteral("データファイルを保存できませんでした")));
  EXPECT_EQ(e.platform.boxes[0].style, MsgStyle::kCritical);
  EXPECT_TRUE(e.programFiles().isEmpty());
  EXPECT_FALSE(e.form->Command5->isEnabled());
  EXPECT_TRUE(e.form->Command2->isEnabled());
}

// A disk that fills during the data file's write names its reason in the message (a file size
// limit refuses the write past it with EFBIG, as a full disk does with ENOSPC); nothing is left in
// the data folder and the run stays off.
TEST(CheckAndSave, AFullDiskNamesItsReason) {
  Editor e;
  e.typeValidDataSet();
  e.platform.answerFolder(e.data.path());
  e.platform.answerMessage(MsgAnswer::kOk);
  {
    FileSizeLimit limit(100);
    ASSERT_TRUE(limit.ok());
    e.form->Command2_Click();
  }
  ASSERT_EQ(e.platform.boxes.size(), 1u);
  EXPECT_EQ(e.platform.boxes[0].text,
            QStringLiteral("データファイルを保存できませんでした。\n") +
                e.data.filePath(QStringLiteral("Route7.dat")) + QLatin1Char('\n') +
                QString::fromLocal8Bit(std::strerror(EFBIG)));
  EXPECT_EQ(e.platform.boxes[0].style, MsgStyle::kCritical);
  EXPECT_TRUE(QDir(e.data.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
  EXPECT_FALSE(e.form->Command5->isEnabled());
}

// Regression: root replaced a data file marked read-only (0444) and left it 0644. The save keeps
// it, for root too, and the message names it and says why; the run stays off.
TEST(CheckAndSave, AReadOnlyDataFileIsKeptAndTheMessageSaysWhy) {
  Editor e;
  e.typeValidDataSet();
  const QString path = e.dataFile("Route7.dat");
  harness::writeBytes(path, "marked read-only");
  ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
  e.platform.answerMessage(MsgAnswer::kYes);  // replace the file of that name
  e.platform.answerMessage(MsgAnswer::kOk);
  EXPECT_FALSE(e.saveIntoDataFolder());
  ASSERT_EQ(e.platform.boxes.size(), 2u);
  EXPECT_EQ(e.platform.boxes[1].text,
            QStringLiteral("データファイルを保存できませんでした。\n") + path + QLatin1Char('\n') +
                path + QStringLiteral(" は読み取り専用のため、置き換えません。"));
  EXPECT_EQ(e.platform.boxes[1].style, MsgStyle::kCritical);
  EXPECT_EQ(readBytes(path), QByteArray("marked read-only"));
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0444u);
  EXPECT_TRUE(e.form->Command2->isEnabled());
}

// Opened data: the folder question; No keeps the opened file's folder and writes the same file back
// without asking to replace it.
TEST(CheckAndSave, OpenedDataSavedBackIntoItsFolderUnchanged) {
  Editor e;
  const QString path = e.dataFile("007.dat");
  const QByteArray original = readBytes(harness::fixturePath("opened_1layer_kept_drop_fields.dat"));
  harness::writeBytes(path, original);
  e.form->Option1->click();
  e.platform.answerOpenFile(path);
  e.form->Command1_Click();
  ASSERT_TRUE(e.form->Command2->isEnabled()) << e.platform.boxTexts().join('|').toStdString();

  e.platform.answerMessage(MsgAnswer::kNo);
  e.form->Command2_Click();
  EXPECT_EQ(e.platform.boxTexts(), QStringList{"作業フォルダ変更しますか？"});
  EXPECT_EQ(e.platform.boxes[0].style, MsgStyle::kYesNoInfo);
  EXPECT_EQ(e.platform.boxes[0].title, QStringLiteral("Information"));
  EXPECT_TRUE(e.platform.dialogs.size() == 1u);  // the open dialog only
  EXPECT_TRUE(e.form->Command5->isEnabled());
  EXPECT_EQ(e.form->SavePath, path);
  // Only the kept trailer values are written with one decimal place.
  QByteArray expected = original;
  expected.replace("12.34,\"note", "12.3,\"note").replace("\r\n3,\"", "\r\n3.0,\"");
  EXPECT_EQ(readBytes(path), expected);
  EXPECT_EQ(readBytes(e.programFile("inp.dat")), expected);
}

// Back from the results window with "update the data": the options are off, so the folder question
// is asked for typed-in data too, and the saved file is written again without a replace question.
TEST(CheckAndSave, SavedAgainAfterTheResultsWindow) {
  Editor e;
  e.typeValidDataSet();
  ASSERT_TRUE(e.saveIntoDataFolder());
  Form2* f = e.form;
  for (QWidget* w : std::initializer_list<QWidget*>{f->Option1, f->Option2, f->Command5})
    w->setEnabled(false);
  f->Command2->setEnabled(true);
  f->Command2->setText(QStringLiteral("データチェック"));
  f->FG3->setTextMatrix(1, 1, "49.5");
  e.platform.answerMessage(MsgAnswer::kNo);
  f->Command2_Click();
  EXPECT_EQ(e.platform.boxTexts(), QStringList{"作業フォルダ変更しますか？"});
  EXPECT_TRUE(f->Command5->isEnabled());
  EXPECT_TRUE(readBytes(e.dataFile("Route7.dat")).contains("\r\n1,0,\"99:99\",49.5\r\n"));
}

TEST(CheckAndSave, OpenedDataToAnotherFolderOnYes) {
  Editor e;
  QTemporaryDir other;
  const QString path = e.dataFile("007.dat");
  harness::writeBytes(path, readBytes(harness::fixturePath("opened_1layer_kept_drop_fields.dat")));
  e.form->Option1->click();
  e.platform.answerOpenFile(path);
  e.form->Command1_Click();
  e.platform.answerMessage(MsgAnswer::kYes);
  e.platform.answerFolder(other.path());
  e.form->Command2_Click();
  EXPECT_TRUE(e.form->Command5->isEnabled()) << e.platform.boxTexts().join('|').toStdString();
  EXPECT_EQ(e.form->SavePath, other.filePath("007.dat"));
  EXPECT_EQ(readBytes(other.filePath("007.dat")), readBytes(e.programFile("inp.dat")));
}

// ---- Hand-edited data files: what passes the check runs ----

// Three layers over five sensors, two data sets with kept header and trailer fields.
const QByteArray kHandEdited =
    "ORVA for Windows Ver2.2\r\n\r\nTITLE OF THE PROJECT\r\nHand\r\n\r\n"
    "NAME OF FILE FOR ITERATION PROCESS\r\nHand.out\r\n\r\n"
    "NO. OF LAYERS AND MEASUREMENT POINTS\r\n3   5\r\n\r\nNUMBERS OF TOTAL DATA\r\n2\r\n\r\n"
    "LAYER PROPERTIES\r\n"
    "IFIX    MODULUS(MPa)      MU       THICKNESS(cm)      SLIP RATE\r\n"
    "0             3000          0.35          15            0\r\n"
    "0             300           0.35          30            0\r\n"
    "0             80            0.4\r\n\r\n"
    "SENSOR POSITIONS(cm)\r\n0    20    30    60    90\r\n\r\n"
    "STD LOAD AND RADIUS of PLATE\r\n49            15\r\n\r\n"
    "OPTIONS FOR TYPE OF OUTPUT (1--> YES   0--> NO)\r\n"
    "LAYER MODULI,ANALYTICAL DEFLECTIONS,DEFLECTION RATIO\r\n1  1  1\r\n\r\n"
    "REGULARIZATION (1--> YES   0--> NO)\r\n0\r\n\r\nREGULARIZATION PARAMETER\r\n"
    "(RECOMMENDED VALUE : LAYERS#<=3 --> 0.001, LAYERS#=>4 --> 0.03)\r\n0.001\r\n\r\n"
    "FWD DEFLECTION DATA\r\n"
    "17,3,\"12:34:56\",49.1\r\n452\r\n338\r\n281\r\n172\r\n121\r\n12.34,\"note one\"\r\n"
    "18,4,\"12:35:10\",48.7\r\n449\r\n335\r\n279\r\n170\r\n120\r\n3,\"note two\"\r\n";

// Every text that the editor shows or keeps, in one list (the trailer value and the parameter are
// written as numbers, so they are compared as values).
QStringList editorTexts(const DataSetTexts& d) {
  QStringList t{d.title, d.iterationFileName};
  for (const LayerTexts& l : d.layers)
    t << l.fix << l.modulus << l.poisson << l.thickness << l.slip;
  t << d.positions << d.standardLoad << d.plateRadius;
  for (const DropTexts& drop : d.drops) t << drop.load << drop.deflections;
  for (const KeptDropFields& k : d.kept) t << k.id << k.code << k.tag << k.note;
  return t;
}

DataSetTexts readBack(const QByteArray& bytes) {
  DataSetTexts d;
  EXPECT_EQ(readDataFile(bytes, &d).error, DataFileError::kNone);
  return d;
}

// Regression: the fields of a hand-edited file that the engine reads strictly were written back
// unchecked, so a drop id or code of 1.5 or x17 or a trailer value abc (engine error 64) and an
// opened parameter of 1.5 or -0.1 (status 2) passed the check and then failed the run; a quote
// inside a kept tag shifted the load cell on reading.
TEST(CheckAndSave, HandEditedFilesAreRefusedByTheCheckOrRunByTheEngine) {
  const QString engine = QStringLiteral(ORVA_PROGRAM_DIR "/ORVA-V4");
  ASSERT_TRUE(QFile::exists(engine)) << "the engine is not built: " << engine.toStdString();
  const QString fromFile = QStringLiteral("の値が不正です（読み込んだデータファイルの値）");
  const QString kParameter = QStringLiteral(
      "正則化パラメータの値が不正です（読み込んだデータファイルの値）．0以上1未満の数値にしてくださ"
      "い");
  struct HandEdit {
    const char* name;
    std::vector<std::pair<QByteArray, QByteArray>> edits;  // replacements in kHandEdited
    QString refusal;      // the one box, or empty when the file is saved and run
    bool atOpen = false;  // refused when opened, not by the check
  };
  const QByteArray tag1 = "\"12:34:56\"";
  const QByteArray trailer1 = "12.34,\"note one\"";
  const QByteArray trailer2 = "3,\"note two\"";
  const QByteArray parameter = "\r\n0.001\r\n";
  // clang-format off
  const HandEdit cases[] = {
      {"the unchanged file",            {},                                   ""},
      {"drop id 1.5",                   {{"17,3,", "1.5,3,"}},                "DATA1のドロップ番号" + fromFile},
      {"drop id x17",                   {{"17,3,", "x17,3,"}},                "DATA1のドロップ番号" + fromFile},
      {"drop id beyond 32 bits",        {{"17,3,", "2147483648,3,"}},         "DATA1のドロップ番号" + fromFile},
      {"drop code 0.5",                 {{"18,4,", "18,0.5,"}},               "DATA2のドロップコード" + fromFile},
      {"signed drop id and code",       {{"17,3,", "+17,-3,"}},               ""},
      {"trailer value abc",             {{trailer2, "abc,\"note two\""}},     "DATA2の末尾の数値" + fromFile},
      {"trailer value 1E400",           {{trailer1, "1E400,\"note one\""}},   "DATA1の末尾の数値" + fromFile},
      {"trailer value 1D2",             {{trailer1, "1D2,\"note one\""}},     ""},
      {"parameter 1.5",                 {{parameter, "\r\n1.5\r\n"}},         kParameter},
      {"parameter -0.1",                {{parameter, "\r\n-0.1\r\n"}},        kParameter},
      {"parameter 1",                   {{parameter, "\r\n1\r\n"}},           kParameter},
      {"parameter abc",                 {{parameter, "\r\nabc\r\n"}},         kParameter},
      {"parameter 0",                   {{parameter, "\r\n0\r\n"}},           ""},
      {"parameter 1E-05",               {{parameter, "\r\n1E-05\r\n"}},       ""},
      {"deflection beyond a double",    {{"\r\n452\r\n", "\r\n1" + QByteArray(309, '0') + "\r\n"}},
       QStringLiteral("たわみの値が不正です．")},
      {"unquoted tag holding a quote",  {{tag1, "ab\"c"}},                    ""},
      {"unquoted tag holding a slash",  {{tag1, "ab/c"}},                     ""},
      {"tag with a doubled quote",      {{tag1, "\"a\"\"b\""}},               ""},
      {"tag and note in apostrophes",   {{tag1, "'12:34, x'"}, {trailer1, "12.34,'it''s'"}}, ""},
      {"note holding quotes",           {{trailer2, "3,\"say \"\"hi\"\"\""}}, ""},
      {"quoted tag followed by text",   {{tag1, "\"a\"b\""}},
       QStringLiteral("データファイルを読み込めません（39行目）。\n引用符で囲んだ項目の後に区切りがありません。"),
       true},
  };
  // clang-format on
  for (const HandEdit& c : cases) {
    SCOPED_TRACE(c.name);
    Editor e;
    ASSERT_TRUE(QFile::copy(engine, e.programFile("ORVA-V4")));
    QByteArray bytes = kHandEdited;
    for (const auto& [from, to] : c.edits) {
      ASSERT_TRUE(bytes.contains(from));
      bytes.replace(from, to);
    }
    const QString path = e.dataFile("Hand.dat");
    harness::writeBytes(path, bytes);
    e.form->Option1->click();
    e.platform.answerOpenFile(path);
    if (c.atOpen) {
      e.platform.answerMessage(MsgAnswer::kOk);
      e.form->Command1_Click();
      EXPECT_EQ(e.platform.boxTexts(), QStringList{c.refusal});
      EXPECT_FALSE(e.form->Command2->isEnabled());
      continue;
    }
    e.form->Command1_Click();
    ASSERT_TRUE(e.platform.boxes.empty()) << e.platform.boxTexts().join('|').toStdString();

    if (!c.refusal.isEmpty()) {
      e.platform.answerMessage(MsgAnswer::kOk);
      e.form->Command2_Click();
      EXPECT_EQ(e.platform.boxTexts(), QStringList{c.refusal});
      ASSERT_EQ(e.platform.boxes.size(), 1u);
      EXPECT_EQ(e.platform.boxes[0].style, MsgStyle::kCritical);
      EXPECT_EQ(e.platform.boxes[0].title, QStringLiteral("Error"));
      EXPECT_FALSE(e.form->Command5->isEnabled());
      EXPECT_EQ(readBytes(path), bytes);
      continue;
    }

    e.platform.answerMessage(MsgAnswer::kNo);  // keep the file's folder
    e.form->Command2_Click();
    ASSERT_TRUE(e.form->Command5->isEnabled()) << e.platform.boxTexts().join('|').toStdString();
    const DataSetTexts opened = readBack(bytes);
    const DataSetTexts saved = readBack(readBytes(path));
    EXPECT_EQ(editorTexts(saved), editorTexts(opened));
    EXPECT_EQ(regularizationValue(saved.regularization, 3),
              regularizationValue(opened.regularization, 3));

    QProcess run;
    run.setWorkingDirectory(e.program.path());
    run.setStandardInputFile(QProcess::nullDevice());
    run.start(e.programFile("ORVA-V4"), {});
    ASSERT_TRUE(run.waitForFinished(60000));
    EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardError().constData();
    EXPECT_EQ(Module1::FileState(e.programFile("Hand.out")), 1);
  }
}

}  // namespace
