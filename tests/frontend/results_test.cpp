// Reading the result files: the fixtures of a run with 3 layers, 5 sensors and 4 iterations, and
// the ways a file can be broken.
#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QTemporaryDir>
#include <memory>

#include "AppWindows.h"
#include "DecimalText.h"
#include "FakePlatform.h"
#include "FlexGrid.h"
#include "Form3.h"
#include "Module1.h"
#include "PictureBox.h"
#include "ResultFiles.h"
#include "ResultsFolder.h"

namespace {

QByteArray fixture(const char* name) {
  QFile file(kResultFixtures + name);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
  return file.readAll();
}

TEST(ResultFiles, ReadsTheProjectNameFromTheFourthItemOfInpDat) {
  QString name;
  ASSERT_TRUE(ResultFiles::readProjectName(kResultFixtures + "inp.dat", &name));
  EXPECT_EQ(name, QStringLiteral("国道１号試験区間"));  // decoded from CP932
}

TEST(ResultFiles, ProjectNameItemRules) {
  struct Case {
    const char* name;
    QByteArray bytes;
    bool ok;
    QString expected;
  };
  const Case cases[] = {
      {"LF line ends", "V\n\nTITLE\nRoad7\n", true, "Road7"},
      {"blanks dropped", "V\r\n\r\nTITLE\r\n  Road7  \r\n", true, "Road7"},
      {"cut at a comma", "V\r\n\r\nTITLE\r\nRoad,7\r\n", true, "Road"},
      {"quoted text keeps its comma", "V\r\n\r\nTITLE\r\n\"Road, 7\"\r\n", true, "Road, 7"},
      {"empty title line", "V\r\n\r\nTITLE\r\n\r\n", true, ""},
      {"no end of line after the title", "V\r\n\r\nTITLE\r\nRoad7", true, "Road7"},
      {"three items only", "V\r\n\r\nTITLE\r\n", false, ""},
      {"empty file", "", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QString name = "unset";
    ASSERT_EQ(ResultFiles::parseProjectName(c.bytes, &name), c.ok);
    if (c.ok) {
      EXPECT_EQ(name, c.expected);
    }
  }
}

TEST(ResultFiles, ReadsModuliOutItemByItem) {
  ResultFiles::ModuliResults m;
  ASSERT_TRUE(ResultFiles::readModuli(kResultFixtures + "MODULI.OUT", &m));
  EXPECT_EQ(m.layerCount, 3);
  EXPECT_EQ(m.sensorCount, 5);
  ASSERT_EQ(m.sensorPositions.size(), 6u);
  EXPECT_EQ(m.sensorPositions[1], 0.0);
  EXPECT_EQ(m.sensorPositions[2], 20.0);
  EXPECT_EQ(m.sensorPositions[5], 90.0);
  ASSERT_EQ(m.layerModuli.size(), 4u);
  EXPECT_EQ(m.layerModuli[1], 3456.0);
  EXPECT_EQ(m.layerModuli[2], 234.5);
  EXPECT_EQ(m.layerModuli[3], 78.91);
  EXPECT_EQ(m.iterationCount, 4);
  EXPECT_EQ(m.evaluationText, QStringLiteral("0.1234E-03"));  // the file's text, unchanged
}

TEST(ResultFiles, ReadsDefOutInMicrometres) {
  ResultFiles::DeflectionResults d;
  ASSERT_TRUE(ResultFiles::readDeflections(kResultFixtures + "DEF.OUT", 5, 4, &d));
  ASSERT_EQ(d.measured.size(), 6u);
  EXPECT_DOUBLE_EQ(d.measured[1], 123.4);  // 0.1234E-01 cm
  EXPECT_DOUBLE_EQ(d.measured[5], 24.68);
  EXPECT_DOUBLE_EQ(d.analysed[1], 125.0);
  EXPECT_DOUBLE_EQ(d.analysed[4], 42.99);
  ASSERT_EQ(d.match.size(), 5u);     // iterations 0..4
  ASSERT_EQ(d.match[4].size(), 7u);  // sensors 0..6
  EXPECT_EQ(d.match[1][1], 0.7512);  // unscaled
  EXPECT_EQ(d.match[4][5], 0.9822);
  EXPECT_EQ(d.match[0][1], 0.0);
}

// The separations the reader relies on: items are counted across lines; a comma separates too.
TEST(ResultFiles, ItemsAreCountedNotLines) {
  ResultFiles::ModuliResults m;
  ASSERT_TRUE(ResultFiles::parseModuli("2 1\n10.5\n100 , 50\n3 1.5E-04, next\n", &m));
  EXPECT_EQ(m.layerCount, 2);
  EXPECT_EQ(m.sensorCount, 1);
  EXPECT_EQ(m.sensorPositions[1], 10.5);
  EXPECT_EQ(m.layerModuli[2], 50.0);
  EXPECT_EQ(m.iterationCount, 3);
  EXPECT_EQ(m.evaluationText, QStringLiteral("1.5E-04"));

  ASSERT_TRUE(ResultFiles::parseModuli("   2.9   1.2  5 100 200  1  0.5", &m));
  EXPECT_EQ(m.layerCount, 2);  // counts are cut to their integer part
  EXPECT_EQ(m.sensorCount, 1);
}

TEST(ResultFiles, RejectsBrokenModuliOut) {
  const QByteArray good = fixture("MODULI.OUT");
  struct Case {
    const char* name;
    QByteArray bytes;
  };
  const Case cases[] = {
      {"empty", ""},
      {"cut after the counts", good.left(10)},
      {"cut inside the moduli", good.left(good.indexOf("0.7891"))},
      {"no evaluation value", "   3   5\r\n 0 20 30 60 90\r\n 1 2 3\r\n  4\r\n"},
      {"no layers", "   0   5\r\n 0 20 30 60 90\r\n\r\n  4  0.1E-03\r\n"},
      {"negative sensor count", "   3  -5\r\n 1 2 3\r\n  4  0.1E-03\r\n"},
      {"21 sensors", "   1  21\r\n" + QByteArray(" 1").repeated(22) + "  4  0.1E-03\r\n"},
      {"21 layers", "  21   1\r\n" + QByteArray(" 1").repeated(22) + "  4  0.1E-03\r\n"},
      {"no iterations", "   1   1\r\n 10\r\n 100\r\n  0  0.1E-03\r\n"},
      {"iteration count beyond int", "   1   1\r\n 10\r\n 100\r\n 1E10  0.1E-03\r\n"},
      {"infinite modulus", "   1   1\r\n 10\r\n Infinity\r\n  4  0.1E-03\r\n"},
      {"inf", "   1   1\r\n 10\r\n inf\r\n  4  0.1E-03\r\n"},
      {"NaN offset", "   1   1\r\n NaN\r\n 100\r\n  4  0.1E-03\r\n"},
      {"NaN evaluation", "   1   1\r\n 10\r\n 100\r\n  4         NaN\r\n"},
      {"overflowing value", "   1   1\r\n 10\r\n 1E999\r\n  4  0.1E-03\r\n"},
      {"field overflow stars", "   1   1\r\n 10\r\n ************\r\n  4  0.1E-03\r\n"},
      {"three-digit exponent without E", "   1   1\r\n 10\r\n 0.1234+100\r\n  4  0.1E-03\r\n"},
      {"numeric prefix only", "   1   1\r\n 10\r\n 100abc\r\n  4  0.1E-03\r\n"},
      {"hexadecimal", "   1   1\r\n 10\r\n 0x10\r\n  4  0.1E-03\r\n"},
      {"empty item between commas", "   1   1\r\n 10,,100\r\n  4  0.1E-03\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResultFiles::ModuliResults m;
    EXPECT_FALSE(ResultFiles::parseModuli(c.bytes, &m));
  }
}

TEST(ResultFiles, RejectsBrokenDefOut) {
  const QByteArray good = fixture("DEF.OUT");
  ResultFiles::DeflectionResults d;
  ASSERT_TRUE(ResultFiles::parseDeflections(good, 5, 4, &d));
  EXPECT_TRUE(ResultFiles::parseDeflections(good, 5, 3, &d));  // further records are not read

  struct Case {
    const char* name;
    QByteArray bytes;
    int ns, ni;
  };
  const Case cases[] = {
      {"empty", "", 5, 4},
      {"cut inside the last match record", good.left(good.size() - 20), 5, 4},
      {"missing the last match record", good.left(good.lastIndexOf("  0.9871E+00")), 5, 4},
      {"fewer records than iterations", good, 5, 5},
      {"NaN match value", "1 1 NaN\r\n", 1, 1},
      {"deflection overflowing micrometres", "1E305 1 1\r\n", 1, 1},
      {"no sensors", good, 0, 4},
      {"no iterations", good, 5, 0},
      {"huge iteration count", good, 5, 2000000000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(ResultFiles::parseDeflections(c.bytes, c.ns, c.ni, &d));
  }
}

TEST(ResultFiles, MissingFileFails) {
  QString name;
  ResultFiles::ModuliResults m;
  ResultFiles::DeflectionResults d;
  EXPECT_FALSE(ResultFiles::readProjectName(kResultFixtures + "absent.dat", &name));
  EXPECT_FALSE(ResultFiles::readModuli(kResultFixtures + "absent.OUT", &m));
  EXPECT_FALSE(ResultFiles::readDeflections(kResultFixtures + "absent.OUT", 5, 4, &d));
}

// Regression: values were rounded on the binary double after the cm-to-micrometre multiply, so
// 0.1235E-02 cm showed 12.3. Values are rounded on the decimal digits of their text, half up,
// never on the binary double.
TEST(DecimalText, RoundsTheTextsDigitsHalfUp) {
  struct Case {
    const char* text;
    int shift, decimals;
    const char* expected;
  };
  const Case cases[] = {
      {"0.1235E-02", 4, 1, "12.4"},  // cm to micrometres: the double of 12.35 lies below it
      {"0.3215E-02", 4, 1, "32.2"},
      {"0.1234E-01", 4, 1, "123.4"},
      {"0.9995E-02", 4, 1, "100.0"},  // the carry runs through every digit
      {"0.1250E-03", 4, 1, "1.3"},    // an exact binary tie
      {"0.1249E-03", 4, 1, "1.2"},
      {"0.4445E-03", 4, 1, "4.4"},  // a 5 beyond the deciding digit counts for nothing
      {"0.5000E-05", 4, 1, "0.1"},  // the deciding digit is the text's first
      {"0.4999E-05", 4, 1, "0.0"},
      {"0.1234E-07", 4, 1, "0.0"},     // every digit beyond the cut
      {"-0.1235E-02", 4, 1, "-12.4"},  // half away from zero
      {"-0.0000E+00", 4, 1, "0.0"},    // zero has no sign
      {"0.0000E+00", 0, 3, "0.000"},
      {"0.1235E+00", 0, 3, "0.124"},  // match values
      {"0.1225E+00", 0, 3, "0.123"},
      {"0.9995E+00", 0, 3, "1.000"},
      {"0.1000E+01", 0, 3, "1.000"},
      {"0.3456E+04", 0, 1, "3456.0"},  // moduli
      {"0.1235E+02", 0, 1, "12.4"},
      {"0.1225E+02", 0, 1, "12.3"},
      {"0.5000E+00", 0, 0, "1"},
      {"+12.25", 0, 1, "12.3"},  // plain decimal form, a plus sign
      {"12", 4, 1, "120000.0"},
      {".5", 0, 0, "1"},
      {"5e-1", 0, 0, "1"},
      {"0.1234E+10", 0, 1, "1234000000.0"},
      {"abc", 0, 1, ""},
      {"1.5E", 0, 1, ""},
      {"1.5x", 0, 1, ""},
      {"", 0, 1, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecimalText::fixed(c.text, c.shift, c.decimals), QString::fromLatin1(c.expected))
        << c.text << " shift " << c.shift << " decimals " << c.decimals;
  }
}

// Regression: rounding the binary double showed the lower digit for 371 of these 900 ties.
// Every tie between 10 and 99.99 micrometres, a.b5, as the engine writes it in cm (0.ab5E-02 with
// the two digits of a), shows a.(b+1) with the carry into the units: 10.95 shows 11.0.
TEST(DecimalText, EveryMicrometreTieRoundsUp) {
  int ties = 0;
  for (int a = 10; a <= 99; ++a) {
    for (int b = 0; b <= 9; ++b, ++ties) {
      const std::string text = "0." + std::to_string(a) + std::to_string(b) + "5E-02";
      const int tenths = a * 10 + b + 1;
      const QString expected = QStringLiteral("%1.%2").arg(tenths / 10).arg(tenths % 10);
      EXPECT_EQ(DecimalText::fixed(text, 4, 1), expected) << text;
    }
  }
  EXPECT_EQ(ties, 900);
}

// ---- The results window loading the files of a run ----

const QString kInputMissing = "入力ファイルが見当たりません。確認してください！";
const QString kReportMissing = "解析結果ファイルが見当たりません。確認してください！";
const QString kRunFailed = "解析が失敗した可能性があります。確認してください！";

class ResultsWindow : public ResultsFolderTest {
 protected:
  // Texts of one grid row, columns 0 .. cols-1.
  static QStringList row(const FlexGrid* grid, int r) {
    QStringList texts;
    for (int c = 0; c < grid->cols(); ++c) texts << grid->textMatrix(r, c);
    return texts;
  }
  static void expectAllCentred(FlexGrid* grid, QPoint except = {-1, -1}) {
    for (int r = 0; r < grid->rows(); ++r)
      for (int c = 0; c < grid->cols(); ++c) {
        grid->setRow(r);
        grid->setCol(c);
        const int expected =
            QPoint(r, c) == except ? FlexGrid::kAlignGeneral : FlexGrid::kAlignCenterCenter;
        EXPECT_EQ(grid->cellAlignment(), expected) << r << "," << c;
      }
  }
};

TEST_F(ResultsWindow, ShowsTheFixtureRunInItsGrids) {
  Form3* f = load();
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_TRUE(f->resultsLoaded());
  EXPECT_EQ(f->windowTitle(), "ORVA for Windows v2.2 - 結果の表示");
  EXPECT_EQ(f->Label7->text(), "国道１号試験区間");
  EXPECT_EQ(f->Label8->text(), "プロジェクト名：");
  EXPECT_TRUE(f->Command1->isHidden());
  EXPECT_TRUE(f->Command2->isHidden());
  EXPECT_FALSE(f->windowFlags() & Qt::WindowCloseButtonHint);

  ASSERT_EQ(f->FG1->rows(), 2);
  ASSERT_EQ(f->FG1->cols(), 4);
  EXPECT_EQ(row(f->FG1, 0), (QStringList{"", "E1", "E2", "E3"}));
  EXPECT_EQ(row(f->FG1, 1), (QStringList{"弾性係数(MPa)", "3456.0", "234.5", "78.9"}));
  EXPECT_EQ(f->FG1->colWidth(0), 1600);
  EXPECT_EQ(f->FG1->colWidth(3), 1200);
  EXPECT_EQ(f->FG1->rowHeight(0), 300);
  EXPECT_EQ(f->FG1->rowHeight(1), 350);
  f->FG1->setRow(1);
  f->FG1->setCol(2);
  EXPECT_EQ(f->FG1->cellBackColor(), QColor(255, 255, 255));

  ASSERT_EQ(f->FG2->rows(), 4);
  ASSERT_EQ(f->FG2->cols(), 6);
  EXPECT_EQ(row(f->FG2, 0), (QStringList{"", "S1", "S2", "S3", "S4", "S5"}));
  // 0.1234E-01 cm shows as 123.4 micrometres.
  EXPECT_EQ(row(f->FG2, 1),
            (QStringList{"測定たわみ(μm)", "123.4", "98.8", "76.5", "43.2", "24.7"}));
  EXPECT_EQ(row(f->FG2, 2),
            (QStringList{"解析たわみ(μm)", "125.0", "97.0", "77.0", "43.0", "25.1"}));
  // The match of the last iteration (4).
  EXPECT_EQ(row(f->FG2, 3), (QStringList{"一致度", "0.987", "0.982", "0.994", "0.995", "0.982"}));
  EXPECT_EQ(f->FG2->colWidth(0), 1600);
  EXPECT_EQ(f->FG2->colWidth(5), 900);
  for (int r = 0; r < 4; ++r) EXPECT_EQ(f->FG2->rowHeight(r), 300);

  ASSERT_EQ(f->FG3->rows(), 2);
  ASSERT_EQ(f->FG3->cols(), 2);
  EXPECT_EQ(f->FG3->fixedCols(), 0);
  EXPECT_EQ(row(f->FG3, 0), (QStringList{"評価関数(cm)", "計算回数"}));
  EXPECT_EQ(row(f->FG3, 1), (QStringList{"0.1234E-03", "4"}));  // the file's text, unchanged
  EXPECT_EQ(f->FG3->colWidth(0), 1450);
  EXPECT_EQ(f->FG3->colWidth(1), 1400);
  EXPECT_EQ(f->FG3->rowHeight(1), 400);

  expectAllCentred(f->FG1, {1, 0});  // the row title of the moduli keeps the default
  expectAllCentred(f->FG2);
  expectAllCentred(f->FG3);

  EXPECT_EQ(f->CurveColours[1], QColor(0, 0, 128));
  EXPECT_EQ(f->CurveColours[11], QColor(204, 255, 204));
  EXPECT_EQ(f->CurveColours[20], QColor(255, 255, 128));
  // Both graphs are drawn: 4 iterations give an x axis to 5, offsets up to 90 cm one to 100.
  EXPECT_FALSE(f->Picture1->commands().empty());
  EXPECT_FALSE(f->Picture2->commands().empty());
  EXPECT_EQ(f->ConvergenceXMax, 5);
  EXPECT_DOUBLE_EQ(f->DeflectionXMargin, -100 / 7.7);
}

TEST_F(ResultsWindow, ControlsSitAtTheirTwipPositions) {
  Form3* f = load();
  // 15 twips to a pixel.
  EXPECT_EQ(f->Picture1->geometry(), QRect(48, 96, 369, 305));
  EXPECT_EQ(f->Picture2->geometry(), QRect(424, 96, 377, 305));
  EXPECT_EQ(f->FG1->geometry(), QRect(32, 456, 505, 57));
  EXPECT_EQ(f->FG2->geometry(), QRect(40, 568, 737, 97));
  EXPECT_EQ(f->FG3->geometry(), QRect(608, 456, 193, 57));
  EXPECT_EQ(f->Command5->geometry(), QRect(456, 680, 105, 41));
  EXPECT_EQ(f->Command3->text(), "終了");
  EXPECT_EQ(f->Command4->text(), "<< 戻る");
  EXPECT_EQ(f->Label3->text(), "弾性係数  ");
  EXPECT_EQ(f->Label3->palette().color(QPalette::Window), QColor(224, 224, 224));
}

// Regression: the grids rounded the binary double, so 0.1235E-02 cm showed 12.3 micrometres and a
// match of 0.1235E+00 showed 0.123. Ties at every shown place: the grids show the file's digits
// rounded half up.
TEST_F(ResultsWindow, GridsRoundTheFilesDigitsHalfUp) {
  writeFile("MODULI.OUT",
            "   4   5\r\n"
            "  0.0000E+00  0.2000E+02  0.3000E+02  0.6000E+02  0.9000E+02\r\n"
            "  0.3456E+04  0.1235E+02  0.1225E+02  0.1250E+01\r\n"
            "  2  0.1235E-03\r\n");
  writeFile("DEF.OUT",
            "  0.1235E-02  0.3215E-02  0.9995E-02  0.1250E-03  0.1234E-01\r\n"
            "  0.1005E-02  0.2675E-02  0.5555E-02  0.4445E-03  0.0000E+00\r\n"
            "  0.2345E+00  0.5675E+00  0.1115E+00  0.7775E+00  0.3335E+00\r\n"
            "  0.1235E+00  0.9995E+00  0.1225E+00  0.5000E+00  0.1000E+01\r\n");
  Form3* f = load();
  ASSERT_TRUE(f->resultsLoaded()) << platform.boxTexts().join('|').toStdString();
  EXPECT_EQ(row(f->FG1, 1), (QStringList{"弾性係数(MPa)", "3456.0", "12.4", "12.3", "1.3"}));
  EXPECT_EQ(row(f->FG2, 1),
            (QStringList{"測定たわみ(μm)", "12.4", "32.2", "100.0", "1.3", "123.4"}));
  EXPECT_EQ(row(f->FG2, 2), (QStringList{"解析たわみ(μm)", "10.1", "26.8", "55.6", "4.4", "0.0"}));
  EXPECT_EQ(row(f->FG2, 3), (QStringList{"一致度", "0.124", "1.000", "0.123", "0.500", "1.000"}));
  EXPECT_EQ(row(f->FG3, 1), (QStringList{"0.1235E-03", "2"}));  // shown as the file holds it
}

// A file that is missing, or present but not readable in full, gives that file's message and an
// empty window; only the first failing file is reported.
TEST_F(ResultsWindow, EachFailingFileGivesItsMessageAndAnEmptyWindow) {
  struct Case {
    const char* name;
    QStringList remove;
    QString file;  // written with bytes, when set
    QByteArray bytes;
    QString message;
  };
  const QByteArray def = [] {
    QFile f(kResultFixtures + "DEF.OUT");
    f.open(QIODevice::ReadOnly);
    return f.readAll();
  }();
  const Case cases[] = {
      {"inp.dat missing", {"inp.dat"}, "", "", kInputMissing},
      {"out1.dat missing", {"out1.dat"}, "", "", kReportMissing},
      {"MODULI.OUT missing", {"MODULI.OUT"}, "", "", kRunFailed},
      {"DEF.OUT missing", {"DEF.OUT"}, "", "", kRunFailed},
      {"first failure only", {"DEF.OUT", "inp.dat"}, "", "", kInputMissing},
      {"DEF.OUT cut short", {}, "DEF.OUT", def.left(def.size() - 30), kRunFailed},
      {"DEF.OUT empty", {}, "DEF.OUT", "", kRunFailed},
      {"MODULI.OUT with NaN",
       {},
       "MODULI.OUT",
       "   1   1\r\n 0\r\n NaN\r\n  1  0.1E-03\r\n",
       kRunFailed},
      {"MODULI.OUT empty", {}, "MODULI.OUT", "", kRunFailed},
      {"inp.dat cut short", {}, "inp.dat", "ORVA for Windows Ver2.2\r\n\r\n", kInputMissing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    copyResultFixtures();
    for (const QString& name : c.remove) QFile::remove(folder.filePath(name));
    if (!c.file.isEmpty()) writeFile(c.file, c.bytes);
    platform.boxes.clear();
    platform.answerMessage(MsgAnswer::kOk);
    Form3* f = load();
    ASSERT_EQ(platform.boxTexts(), QStringList{c.message});
    EXPECT_EQ(platform.boxes[0].style, 0);
    EXPECT_EQ(platform.boxes[0].title, "");
    EXPECT_FALSE(f->resultsLoaded());
    EXPECT_EQ(f->windowTitle(), "ORVA for Windows v2.2 - 結果の表示");
    EXPECT_EQ(f->Label7->text(), "");
    EXPECT_EQ(f->FG1->textMatrix(0, 1), "");
    EXPECT_EQ(f->FG2->cols(), 2);
    EXPECT_EQ(f->FG3->textMatrix(1, 0), "");
    EXPECT_TRUE(f->Picture1->commands().empty());
    EXPECT_TRUE(f->Picture2->commands().empty());
    EXPECT_TRUE(f->Command3->isEnabled());
    EXPECT_TRUE(f->Command4->isEnabled());
    EXPECT_TRUE(f->Command6->isEnabled());
  }
}

}  // namespace
