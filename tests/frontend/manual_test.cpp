// The manual is built into the program folder as a Japanese PDF.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>

namespace {

QString manualText() {
  const QString pdf = QStringLiteral(ORVA_PROGRAM_DIR "/orva_win_man.pdf");
  EXPECT_TRUE(QFileInfo(pdf).isFile());
  QProcess text;
  text.start("pdftotext", {"-enc", "UTF-8", pdf, "-"});
  EXPECT_TRUE(text.waitForFinished(20000));
  return QString::fromUtf8(text.readAllStandardOutput());
}

// The manual's text from the heading from to the heading to, without line ends.
QString manualSection(const QString& from, const QString& to) {
  QString content = manualText();
  content.remove('\n');
  const qsizetype begin = content.indexOf(from);
  const qsizetype end = content.indexOf(to);
  EXPECT_GE(begin, 0) << from.toStdString();
  EXPECT_GT(end, begin) << to.toStdString();
  return begin >= 0 && end > begin ? content.mid(begin, end - begin) : QString();
}

TEST(Manual, IsAJapanesePdfInTheProgramFolder) {
  const QString content = manualText();
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

// Regression: the manual said that the printed page holds the deflections; it does not. The
// printing section lists what the page holds: the name, the two graphs, the evaluation value, the
// iteration count and the moduli; the deflection table is not on the page.
TEST(Manual, ThePrintingSectionListsWhatThePageHolds) {
  const QString section = manualSection(QStringLiteral("9. 印刷"), QStringLiteral("10. ファイル"));
  ASSERT_FALSE(section.isEmpty());
  const qsizetype listEnd = section.indexOf(QStringLiteral("印刷します"));
  ASSERT_GT(listEnd, 0) << section.toStdString();
  const QString printed = section.left(listEnd);
  for (const char* item : {"プロジェクト名", "グラフ", "評価関数", "計算回数", "弾性係数"}) {
    EXPECT_TRUE(printed.contains(QString::fromUtf8(item))) << item << ": " << printed.toStdString();
  }
  EXPECT_FALSE(printed.contains(QStringLiteral("たわみ"))) << printed.toStdString();
  EXPECT_TRUE(section.contains(QStringLiteral("たわみと一致度の表は印刷されません")))
      << section.toStdString();
}

// The section on saving gives the project name's limit: 76 bytes, 38 full-width or 76 half-width
// characters.
TEST(Manual, TheSavingSectionGivesTheProjectNamesLimit) {
  const QString section =
      manualSection(QStringLiteral("6. データチェックと保存"), QStringLiteral("7. 解析の実行"));
  ASSERT_FALSE(section.isEmpty());
  for (const char* limit : {"76バイト", "全角38文字", "半角76文字"}) {
    EXPECT_TRUE(section.contains(QString::fromUtf8(limit)))
        << limit << ": " << section.toStdString();
  }
}

// The manual says what happens when the program is started twice on one program folder, and that a
// folder runs one analysis at a time, a second one waiting for the first.
TEST(Manual, OneProgramPerFolderAndOneAnalysisAtATime) {
  const QString start =
      manualSection(QStringLiteral("1. 起動と終了"), QStringLiteral("2. 入力画面のモード"));
  EXPECT_TRUE(start.contains(QStringLiteral("「ORVAは既に起動しています。」")))
      << start.toStdString();
  const QString run =
      manualSection(QStringLiteral("7. 解析の実行"), QStringLiteral("8. 結果の表示"));
  for (const char* rule :
       {"一つのフォルダで同時に行える解析は一つだけです", "終わるのを待ってから"}) {
    EXPECT_TRUE(run.contains(QString::fromUtf8(rule))) << rule << ": " << run.toStdString();
  }
}

}  // namespace
