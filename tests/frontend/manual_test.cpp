// The manual is built into the program folder as a Japanese PDF.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>

namespace {

TEST(Manual, IsAJapanesePdfInTheProgramFolder) {
  const QString pdf = QStringLiteral(ORVA_PROGRAM_DIR "/orva_win_man.pdf");
  ASSERT_TRUE(QFileInfo(pdf).isFile());
  QProcess text;
  text.start("pdftotext", {"-enc", "UTF-8", pdf, "-"});
  ASSERT_TRUE(text.waitForFinished(20000));
  const QString content = QString::fromUtf8(text.readAllStandardOutput());
  for (const char* phrase : {"操作マニュアル",
                             "新規データ作成",
                             "既存データを読み込む",
                             "センサー数",
                             "データ保存",
                             "解析",
                             "結果表示",
                             "印刷",
                             "F2",
                             "Esc"}) {
    EXPECT_TRUE(content.contains(QString::fromUtf8(phrase))) << phrase;
  }
}

}  // namespace
