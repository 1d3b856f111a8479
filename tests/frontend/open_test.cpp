// Opening a data file: the dialog, the copy to inp.dat before the version check, the texts exactly
// as read, the counts and labels, the kept drop fields, and refused files that leave the editor
// usable.
#include <gtest/gtest.h>

#include "editor_harness.h"

namespace {

using harness::Editor;
using harness::readBytes;

// The editor in existing-data mode with the fixture file opened from the data folder.
struct Opened : Editor {
  explicit Opened(const QByteArray& bytes) {
    path = dataFile("007.dat");
    harness::writeBytes(path, bytes);
    form->Option1->click();
    platform.answerOpenFile(path);
    form->Command1_Click();
  }
  QString path;
};

QByteArray keptFixture() {
  return readBytes(harness::fixturePath("opened_1layer_kept_drop_fields.dat"));
}

QStringList rowTexts(const FlexGrid* g, int row) {
  QStringList texts;
  for (int c = 0; c < g->cols(); ++c) texts << g->textMatrix(row, c);
  return texts;
}

TEST(OpenDataFile, CancelShowsItsMessage) {
  Editor e;
  e.form->Option1->click();
  e.platform.answerOpenFile(QString());
  e.platform.answerMessage(MsgAnswer::kOk);
  e.form->Command1_Click();
  ASSERT_EQ(e.platform.dialogs.size(), 1u);
  EXPECT_EQ(e.platform.dialogs[0].kind, QStringLiteral("openFile"));
  EXPECT_EQ(e.platform.dialogs[0].initialFolder, e.programFile("Data"));
  EXPECT_EQ(e.platform.dialogs[0].filter, QStringLiteral("Data(*.dat);;All(*.*)"));
  ASSERT_EQ(e.platform.boxes.size(), 1u);
  EXPECT_EQ(e.platform.boxes[0].text, QStringLiteral("キャンセルされました。"));
  EXPECT_EQ(e.platform.boxes[0].style, MsgStyle::kOk);
  EXPECT_EQ(e.platform.boxes[0].title, QStringLiteral("メッセージ"));
  EXPECT_TRUE(e.form->Command1->isEnabled());
  EXPECT_EQ(e.form->DataOrigin, 0);
}

TEST(OpenDataFile, FillsTheEditorWithTheTextsAsRead) {
  Opened e(keptFixture());
  ASSERT_TRUE(e.platform.boxes.empty()) << e.platform.boxTexts().join('|').toStdString();
  Form2* f = e.form;
  EXPECT_EQ(readBytes(e.programFile("inp.dat")), keptFixture());
  EXPECT_EQ(f->InputPath, e.path);
  EXPECT_EQ(f->Text9->text(), e.path);
  EXPECT_EQ(f->Text4->text(), QStringLiteral("007"));  // a title of digits stays as it was
  EXPECT_EQ(f->ProjectTitle, QStringLiteral("007"));
  EXPECT_EQ(f->Text5->text(), QStringLiteral("007.out"));
  EXPECT_EQ(f->Text8->text(), QStringLiteral("0.05"));
  EXPECT_EQ(f->Text1->text(), QStringLiteral("1"));
  EXPECT_EQ(f->Text2->text(), QStringLiteral("1"));
  EXPECT_EQ(f->Text3->text(), QStringLiteral("2"));
  EXPECT_EQ(f->UpDown3->value(), 2);
  EXPECT_EQ(f->DataCount, 2);
  // The counts stood at 1 after the mode choice, which erased the labels: they are written again.
  EXPECT_EQ(rowTexts(f->FG1, 1), (QStringList{" 1層", "1", "1234.567", "0.35", "", ""}));
  EXPECT_EQ(rowTexts(f->FG2, 0), (QStringList{"", " 1S"}));
  EXPECT_EQ(rowTexts(f->FG2, 1), (QStringList{"センサー位置", "0"}));
  EXPECT_EQ(f->FG3->rows(), 3);
  EXPECT_EQ(rowTexts(f->FG3, 1), (QStringList{" 1DATA", "48.9", "101.5"}));
  EXPECT_EQ(rowTexts(f->FG3, 2), (QStringList{" 2DATA", "49.2", "99"}));
  EXPECT_EQ(rowTexts(f->FG4, 1), (QStringList{"49", "15"}));
  EXPECT_EQ(f->DataOrigin, 1);
  EXPECT_EQ(f->LoadedDataCount, 2);
  ASSERT_EQ(f->DropIds.size(), 3);
  EXPECT_EQ(f->DropIds[1].toString(), QStringLiteral("17"));
  EXPECT_EQ(f->DropCodes[2].toString(), QStringLiteral("3"));
  EXPECT_EQ(f->DropTags[2], QStringLiteral("12:35:10"));
  EXPECT_EQ(f->DropAuxValues[1].toString(), QStringLiteral("12.34"));
  EXPECT_EQ(f->DropNotes[2], QStringLiteral("二回目"));
  EXPECT_TRUE(f->Command2->isEnabled());
  EXPECT_FALSE(f->Command1->isEnabled());
  EXPECT_EQ(f->Command2->text(), QStringLiteral("データチェック"));
}

TEST(OpenDataFile, OpenedThreeLayersFillEveryLayerRow) {
  Opened e(readBytes(harness::fixturePath("typed_3layers_2sensors_2sets.dat")));
  ASSERT_TRUE(e.platform.boxes.empty()) << e.platform.boxTexts().join('|').toStdString();
  EXPECT_EQ(rowTexts(e.form->FG1, 1),
            (QStringList{" 1層", "0", "12345.67890123", "0.35", "5", "0"}));
  EXPECT_EQ(rowTexts(e.form->FG1, 2), (QStringList{" 2層", "0", "300", "0.35", "25", "0.5"}));
  EXPECT_EQ(rowTexts(e.form->FG1, 3), (QStringList{" 3層", "1", "100", "0.4", "", ""}));
  EXPECT_EQ(rowTexts(e.form->FG3, 0), (QStringList{"", "荷重", " 1S", " 2S"}));
}

// The spin button starts from the opened count: one step up adds a third data set and keeps the
// two loaded ones; the new set is written with its own header and trailer.
TEST(OpenDataFile, ExtendedByOneDataSetKeepsTheLoadedSets) {
  Opened e(keptFixture());
  e.form->UpDown3->stepUp();
  EXPECT_EQ(e.form->Text3->text(), QStringLiteral("3"));
  ASSERT_EQ(e.form->FG3->rows(), 4);
  EXPECT_EQ(e.form->FG3->textMatrix(2, 1), QStringLiteral("49.2"));
  e.form->FG3->setTextMatrix(3, 1, "50");
  e.form->FG3->setTextMatrix(3, 2, "97");
  e.platform.answerMessage(MsgAnswer::kNo);  // keep the folder
  e.form->Command2_Click();
  ASSERT_TRUE(e.form->Command5->isEnabled()) << e.platform.boxTexts().join('|').toStdString();
  const QByteArray bytes = readBytes(e.path);
  EXPECT_TRUE(bytes.contains("\r\n3\r\n\r\nLAYER PROPERTIES"));
  EXPECT_TRUE(
      bytes.contains("\r\n17,3,\"12:34:56\",48.9\r\n101.5\r\n12.3,\"note, with comma\"\r\n"
                     "18,3,\"12:35:10\",49.2\r\n99\r\n3.0,\""));
  EXPECT_TRUE(bytes.endsWith("\"\r\n3,0,\"99:99\",50\r\n97\r\n999.9,\"Run3\"\r\n"));
}

TEST(OpenDataFile, RefusedFilesLeaveTheEditorUsable) {
  const QByteArray good = keptFixture();
  auto replaced = [&](const char* from, const char* to) {
    QByteArray b = good;
    return b.replace(from, to);
  };
  struct Case {
    const char* name;
    QByteArray bytes;
    QString boxStart;
  };
  const QString version = QStringLiteral("入力ファイルのバージョン情報を確認してください．");
  const QString refused = QStringLiteral("データファイルを読み込めません");
  // clang-format off
  const Case cases[] = {
      {"Ver2 two blanks later", replaced("Windows Ver2", "Windows   Ver2"), version},
      {"cut short",             good.left(good.indexOf("LAYER PROPERTIES")), refused},
      {"6 layers",              replaced("\r\n1   1\r\n", "\r\n6   6\r\n"),   refused},
      {"11 data sets",          replaced("\r\n2\r\n\r\nLAYER", "\r\n11\r\n\r\nLAYER"), refused},
      {"101 sensors",           replaced("\r\n1   1\r\n", "\r\n1   101\r\n"), refused},
      {"count 1.5",             replaced("\r\n1   1\r\n", "\r\n1.5   1\r\n"), refused},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Editor e;
    e.form->Option1->click();
    e.form->Text4->setText("kept");
    const QString path = e.dataFile("bad.dat");
    harness::writeBytes(path, c.bytes);
    e.platform.answerOpenFile(path);
    e.platform.answerMessage(MsgAnswer::kOk);
    e.form->Command1_Click();
    ASSERT_EQ(e.platform.boxes.size(), 1u);
    EXPECT_TRUE(e.platform.boxes[0].text.startsWith(c.boxStart))
        << e.platform.boxes[0].text.toStdString();
    EXPECT_EQ(e.platform.boxes[0].style, MsgStyle::kCritical);
    EXPECT_EQ(e.platform.boxes[0].title, QStringLiteral("Error"));
    // The file is the engine's input even so; the editor is as it was and can open another file.
    EXPECT_EQ(readBytes(e.programFile("inp.dat")), c.bytes);
    EXPECT_EQ(e.form->Text4->text(), QStringLiteral("kept"));
    EXPECT_EQ(e.form->DataOrigin, 0);
    EXPECT_EQ(e.form->LoadedDataCount, 0);
    EXPECT_TRUE(e.form->Command1->isEnabled());
    EXPECT_FALSE(e.form->Command2->isEnabled());
    EXPECT_EQ(e.form->Text1->text(), QStringLiteral("1"));
  }
}

TEST(OpenDataFile, MissingFileSaysSo) {
  Editor e;
  e.form->Option1->click();
  e.platform.answerOpenFile(e.dataFile("gone.dat"));
  e.platform.answerMessage(MsgAnswer::kOk);
  e.form->Command1_Click();
  ASSERT_EQ(e.platform.boxes.size(), 1u);
  EXPECT_TRUE(e.platform.boxes[0].text.contains(e.dataFile("gone.dat")));
  EXPECT_TRUE(e.form->Command1->isEnabled());
}

}  // namespace
