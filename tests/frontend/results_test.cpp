// Reading the result files: the fixtures of a run with 3 layers, 5 sensors and 4 iterations, and
// the ways a file can be broken.
#include <gtest/gtest.h>

#include <QFile>
#include <QString>

#include "ResultFiles.h"

namespace {

const QString kFixtures = QStringLiteral(ORVA_TEST_DATA_DIR "/results/");

QByteArray fixture(const char* name) {
  QFile file(kFixtures + name);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
  return file.readAll();
}

TEST(ResultFiles, ReadsTheProjectNameFromTheFourthItemOfInpDat) {
  QString name;
  ASSERT_TRUE(ResultFiles::readProjectName(kFixtures + "inp.dat", &name));
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
  ASSERT_TRUE(ResultFiles::readModuli(kFixtures + "MODULI.OUT", &m));
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
  ASSERT_TRUE(ResultFiles::readDeflections(kFixtures + "DEF.OUT", 5, 4, &d));
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
  EXPECT_FALSE(ResultFiles::readProjectName(kFixtures + "absent.dat", &name));
  EXPECT_FALSE(ResultFiles::readModuli(kFixtures + "absent.OUT", &m));
  EXPECT_FALSE(ResultFiles::readDeflections(kFixtures + "absent.OUT", 5, 4, &d));
}

}  // namespace
