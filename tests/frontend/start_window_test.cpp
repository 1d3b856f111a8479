// The start window and the shared procedures: work-file deletion, file probing, document opening
// and the exit confirmation.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>

#include "AppWindows.h"
#include "FakePlatform.h"
#include "Form1.h"
#include "Form2.h"
#include "Module1.h"

namespace {

const QStringList kWorkFiles = {"inp.dat", "out1.dat", "SESF.LAB", "DEF.OUT", "MODULI.OUT"};

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
  f.write(bytes);
}

// The work files still present in folder, in DelFlag's order.
QStringList presentWorkFiles(const QString& folder) {
  QStringList present;
  for (const QString& name : kWorkFiles) {
    if (QFile::exists(folder + "/" + name)) present << name;
  }
  return present;
}

class StartWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    platform.setProgramFolder(folder.path());
    for (const QString& name : kWorkFiles) writeFile(folder.filePath(name), "x");
    writeFile(folder.filePath("keep.dat"), "data");
  }

  Form1* loadForm1() {
    windows.form1 = new Form1(windows);
    windows.form1->Form_Load();
    windows.form1->show();
    return windows.form1;
  }

  QTemporaryDir folder;
  FakePlatform platform;
  AppWindows windows{platform};
};

TEST_F(StartWindow, LoadingSetsTheTitleAndRemovesTheFiveWorkFiles) {
  Form1* form = loadForm1();
  EXPECT_EQ(Module1::AppTitle, "ORVA for Windows v2.2");
  EXPECT_EQ(form->windowTitle(), "ORVA for Windows v2.2");
  EXPECT_EQ(presentWorkFiles(folder.path()), QStringList());
  EXPECT_TRUE(QFile::exists(folder.filePath("keep.dat")));
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_EQ(form->Command3->text(), QString::fromUtf8("開\u3000始"));
  EXPECT_EQ(form->Command1->text(), "マニュアル");
  EXPECT_EQ(form->Command2->text(), QString::fromUtf8("終\u3000了"));
}

TEST_F(StartWindow, ACloseRequestLeavesTheWindowOpen) {
  Form1* form = loadForm1();
  EXPECT_FALSE(form->windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(form->close());
  EXPECT_TRUE(form->isVisible());
}

TEST_F(StartWindow, ExitAnsweredNoChangesNothing) {
  Form1* form = loadForm1();
  for (const QString& name : kWorkFiles) writeFile(folder.filePath(name), "x");
  platform.answerMessage(MsgAnswer::kNo);
  form->Command2_Click();
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, "本当に終了しますか？");
  EXPECT_EQ(platform.boxes[0].style, 68);
  EXPECT_EQ(platform.boxes[0].title, "Information");
  EXPECT_EQ(presentWorkFiles(folder.path()), kWorkFiles);
  EXPECT_EQ(platform.quits, 0);
  EXPECT_TRUE(form->isVisible());
}

TEST_F(StartWindow, ExitAnsweredYesRemovesTheWorkFilesAndEnds) {
  Form1* form = loadForm1();
  for (const QString& name : kWorkFiles) writeFile(folder.filePath(name), "x");
  platform.answerMessage(MsgAnswer::kYes);
  form->Command2_Click();
  EXPECT_EQ(presentWorkFiles(folder.path()), QStringList());
  EXPECT_TRUE(QFile::exists(folder.filePath("keep.dat")));
  EXPECT_EQ(platform.quits, 1);
}

TEST_F(StartWindow, StartUnloadsTheStartWindowAndShowsTheEditor) {
  QPointer<Form1> form = loadForm1();
  form->Command3_Click();
  EXPECT_EQ(windows.form1, nullptr);
  ASSERT_NE(windows.form2, nullptr);
  EXPECT_TRUE(windows.form2->isVisible());
  EXPECT_EQ(windows.form2->windowTitle(), "ORVA for Windows v2.2 - 初期設定");
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(form.isNull());
}

TEST_F(StartWindow, ThePictureStartsToo) {
  loadForm1()->Image1_Click();
  EXPECT_EQ(windows.form1, nullptr);
  ASSERT_NE(windows.form2, nullptr);
  EXPECT_TRUE(windows.form2->isVisible());
}

TEST_F(StartWindow, ManualOpensTheManualOfTheProgramFolder) {
  Form1* form = loadForm1();
  form->Command1_Click();
  EXPECT_EQ(platform.openedDocuments, QStringList{folder.filePath("orva_win_man.pdf")});
  EXPECT_TRUE(platform.boxes.empty());

  platform.setOpenDocumentResult(2);
  platform.answerMessage(MsgAnswer::kOk);
  form->Command1_Click();
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, "File not found");
  EXPECT_EQ(platform.boxes[0].style, 48);
  EXPECT_EQ(platform.boxes[0].title, "HELP OPENING ERROR");
  EXPECT_TRUE(form->isVisible());
}

TEST(StartWindowFolder, AProgramFolderThatCannotBeWrittenIsReportedAtStart) {
  QTemporaryDir parent;
  FakePlatform platform(parent.filePath("missing"));  // nothing can be created in it
  AppWindows windows(platform);
  platform.answerMessage(MsgAnswer::kOk);
  windows.form1 = new Form1(windows);
  windows.form1->Form_Load();
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_TRUE(platform.boxes[0].text.contains("書き込めません"));
  EXPECT_TRUE(
      platform.boxes[0].text.contains(QDir::toNativeSeparators(parent.filePath("missing"))));
  EXPECT_EQ(platform.boxes[0].style, 48);
  EXPECT_EQ(platform.quits, 0);
}

// DelFlag: which of the five work files each flag string deletes.
TEST(DelFlag, DeletesTheFilesItsFlagsSelect) {
  struct Case {
    const char* flags;
    QStringList left;
  };
  // clang-format off
  const Case cases[] = {
      {"11111", {}},
      {"10100", {"out1.dat", "DEF.OUT", "MODULI.OUT"}},
      {"00000", kWorkFiles},
      {"01001", {"inp.dat", "SESF.LAB", "DEF.OUT"}},
      {"1x1y1", {"out1.dat", "DEF.OUT"}},  // only "1" selects
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    QTemporaryDir folder;
    for (const QString& name : kWorkFiles) writeFile(folder.filePath(name), "x");
    writeFile(folder.filePath("inp.dat"), "");  // an empty file is deleted too
    FakePlatform platform(folder.path());
    Module1::DelFlag(platform, folder.path(), c.flags);
    EXPECT_EQ(presentWorkFiles(folder.path()), c.left);
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_EQ(platform.quits, 0);
  }
}

TEST(DelFlag, AFlagStringNotFiveLongDeletesNothingAndStops) {
  for (const char* flags : {"1111", "111111", ""}) {
    SCOPED_TRACE(flags);
    QTemporaryDir folder;
    for (const QString& name : kWorkFiles) writeFile(folder.filePath(name), "x");
    FakePlatform platform(folder.path());
    platform.answerMessage(MsgAnswer::kOk);
    Module1::DelFlag(platform, folder.path(), flags);
    EXPECT_EQ(presentWorkFiles(folder.path()), kWorkFiles);
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, "DelFlag$ の引数が間違っています。");
    EXPECT_EQ(platform.boxes[0].style, 0);
    EXPECT_EQ(platform.boxes[0].title, "ERROR");
    EXPECT_EQ(platform.quits, 1);
  }
}

TEST(DelFlag, MissingFilesAndAMissingFolderArePassedOverSilently) {
  QTemporaryDir folder;
  FakePlatform platform(folder.path());
  Module1::DelFlag(platform, folder.path(), "11111");
  Module1::DelFlag(platform, folder.filePath("no/such/folder"), "11111");
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_EQ(platform.quits, 0);
}

TEST(FileState, TellsMissingEmptyAndNonEmptyApart) {
  QTemporaryDir folder;
  writeFile(folder.filePath("empty"), "");
  writeFile(folder.filePath("one"), "1");
  writeFile(folder.filePath("more"), "12345");
  struct Case {
    QString path;
    int state;
  };
  // clang-format off
  const Case cases[] = {
      {folder.filePath("missing"),         -1},
      {folder.filePath("empty"),            0},
      {folder.filePath("one"),              1},
      {folder.filePath("more"),             1},
      {folder.filePath("no/folder/file"),  -1},
      {folder.path(),                      -1},  // a folder has no length
      {"",                                 -1},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.toStdString());
    EXPECT_EQ(Module1::FileState(c.path), c.state);
  }
}

TEST(OpenDocument, ReportsEachFailureCodeInWords) {
  struct Case {
    int code;
    const char* text;  // nullptr: no box
  };
  // clang-format off
  const Case cases[] = {
      {42, nullptr}, {33, nullptr},
      {2, "File not found"}, {3, "Path not found"}, {5, "Access denied"}, {8, "Out of memory"},
      {11, "Invalid EXE file or error in EXE image"}, {26, "A sharing violation occurred"},
      {27, "Incomplete or invalid file association"}, {28, "DDE Time out"},
      {29, "DDE transaction failed"}, {30, "DDE busy"}, {31, "No association for file extension"},
      {32, "DLL not found"}, {0, "Unknown error"}, {1, "Unknown error"}, {4, "Unknown error"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    FakePlatform platform("/tmp");
    platform.setOpenDocumentResult(c.code);
    if (c.text) platform.answerMessage(MsgAnswer::kOk);
    Module1::OpenDocument(platform, "/tmp/x.pdf");
    EXPECT_EQ(platform.openedDocuments, QStringList{"/tmp/x.pdf"});
    if (!c.text) {
      EXPECT_TRUE(platform.boxes.empty());
      continue;
    }
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, c.text);
    EXPECT_EQ(platform.boxes[0].style, 48);
    EXPECT_EQ(platform.boxes[0].title, "HELP OPENING ERROR");
  }
}

}  // namespace
