// The data file: written bytes against hand-checked fixtures, the item reader, reading back what
// was written, the checks' number rules, the path helpers and the safe replacement of files.
#include "DataFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>
#include <climits>
#include <cstring>

#include "Cp932.h"
#include "FileSizeLimit.h"
#include "Files.h"
#include "Form2.h"

namespace {

using namespace DataFile;

QByteArray fixture(const char* name) {
  QFile f(QStringLiteral(ORVA_TEST_DATA_DIR "/frontend/") + QLatin1String(name));
  EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name;
  return f.readAll();
}

// Compares two files line by line so that a failure names the first line that differs.
void expectSameBytes(const QByteArray& expected, const QByteArray& actual) {
  const QList<QByteArray> e = expected.split('\n'), a = actual.split('\n');
  for (qsizetype i = 0; i < qMin(e.size(), a.size()); ++i) {
    if (e[i] != a[i]) {
      ADD_FAILURE() << "line " << i + 1 << "\nexpected: " << e[i].toHex(' ').constData()
                    << "\n  actual: " << a[i].toHex(' ').constData();
      return;
    }
  }
  EXPECT_EQ(e.size(), a.size()) << "line counts differ";
}

// The data set typed into the editor for typed_3layers_2sensors_2sets.dat. The first modulus is
// 14 characters long: the next item must still follow after a blank.
DataSetTexts typedDataSet() {
  DataSetTexts d;
  d.title = QStringLiteral("Route7");
  d.iterationFileName = QStringLiteral("Route7.out");
  d.layerCount = 3;
  d.sensorCount = 2;
  d.dataCount = 2;
  d.layers = {{"0", "12345.67890123", "0.35", "5", "0"},
              {"0", "300", "0.35", "25", "0.5"},
              {"1", "100", "0.4", "", ""}};
  d.positions = {"0", "30"};
  d.drops = {{"49.05", {"412.5", "208"}}, {"50.0", {"401", "199.5"}}};
  d.standardLoad = QStringLiteral("49");
  d.plateRadius = QStringLiteral("15");
  d.regularization = QString();  // the hidden box empty: 0.001 for 3 layers
  return d;
}

TEST(DataFileWriter, WritesTypedDataSetAsTheHandCheckedFile) {
  bool ok = false;
  const QByteArray bytes = writeDataFile(typedDataSet(), &ok);
  EXPECT_TRUE(ok);
  expectSameBytes(fixture("typed_3layers_2sensors_2sets.dat"), bytes);

  // Independent of the fixture: every line ends in CR LF, the label is Shift-JIS.
  EXPECT_TRUE(bytes.endsWith("\r\n"));
  EXPECT_EQ(bytes.count('\n'), bytes.count("\r\n"));
  EXPECT_TRUE(
      bytes.contains(QByteArray::fromHex("46574420444546 4C454354494F4E2044415441 28"
                                         "83CA828D816A0D0A")));
  EXPECT_TRUE(bytes.contains("\r\n1,0,\"99:99\",49.05\r\n412.5\r\n208\r\n999.9,\"Run1\"\r\n"));
  EXPECT_TRUE(bytes.contains("\r\n2,0,\"99:99\",50\r\n"));  // the load as a number
}

TEST(DataFileWriter, RegularizationParameterDefaultsByLayerCount) {
  // clang-format off
  struct Case { const char* text; int layers; const char* written; };
  const Case cases[] = {
      {"",     3, "0.001"},
      {"",     4, "0.03"},
      {"0.05", 3, "0.05"},
      {"1E-05", 5, "1e-05"},
      {"5D-2", 3, "0.05"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(generalNumberText(regularizationValue(QString::fromLatin1(c.text), c.layers)),
              QLatin1String(c.written));
  }
}

TEST(DataFileWriter, OneLayerHasOnlyTheHalfSpaceLineAndOneSensorNoTrailingBlanks) {
  DataSetTexts d;
  d.title = QStringLiteral("a");
  d.iterationFileName = QStringLiteral("a.out");
  d.layerCount = d.sensorCount = d.dataCount = 1;
  d.layers = {{"1", "100", "0.35", "", ""}};
  d.positions = {"20"};
  d.drops = {{"49", {"10"}}};
  d.standardLoad = QStringLiteral("49");
  d.plateRadius = QStringLiteral("15");
  const QByteArray bytes = writeDataFile(d);
  EXPECT_TRUE(bytes.contains("SLIP RATE\r\n1             100           0.35\r\n\r\nSENSOR"));
  EXPECT_TRUE(bytes.contains("POSITIONS(cm)\r\n20\r\n"));
}

TEST(ItemReader, SplitsItemsAtBlanksCommasAndLineEnds) {
  // clang-format off
  struct Case { const char* line; QStringList items; QVector<bool> quoted; };
  const Case cases[] = {
      {"3   2",                         {"3", "2"},                        {false, false}},
      {"0             300           0.35", {"0", "300", "0.35"},       {false, false, false}},
      {"1,0,\"99:99\",49.05",           {"1", "0", "99:99", "49.05"},  {false, false, true, false}},
      {"12.34,\"note, with comma\"",    {"12.34", "note, with comma"},    {false, true}},
      {"  007  ",                       {"007"},                          {false}},
      {"a , b,,c",                      {"a", "b", "", "c"},              {false, false, false, false}},
      {"My Project",                    {"My", "Project"},                {false, false}},
      {"",                              {""},                             {false}},
      {"   ",                           {""},                             {false}},
      {"1\t2",                          {"1", "2"},                       {false, false}},
      {"1,0,\"a\"\"b\",49",              {"1", "0", "a\"b", "49"},         {false, false, true, false}},
      {"'x, y',2",                      {"x, y", "2"},                    {true, false}},
      {"12.34,'it''s'",                 {"12.34", "it's"},                {false, true}},
      {"ab\"c,it's",                    {"ab\"c", "it's"},                {false, false}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    QVector<bool> quoted;
    EXPECT_EQ(ItemReader::splitItems(QString::fromUtf8(c.line), &quoted), c.items);
    EXPECT_EQ(quoted, c.quoted);
  }
  // The engine refuses a quoted text followed by anything but a separator.
  for (const char* line : {"\"a\"b\"", "1,'x'y"}) {
    bool malformed = false;
    ItemReader::splitItems(QString::fromUtf8(line), nullptr, &malformed);
    EXPECT_TRUE(malformed) << line;
  }
  for (const char* line : {"\"a\" b", "\"a\",b", "\"a\"/", "\"a\"\"b\""}) {
    bool malformed = true;
    ItemReader::splitItems(QString::fromUtf8(line), nullptr, &malformed);
    EXPECT_FALSE(malformed) << line;
  }
}

// Regression: a quoted text followed by other text beyond the items a record takes ("x"y after the
// load) refused the whole file at Open, although the engine passes over the rest of the line.
TEST(ItemReader, AMalformedQuotedItemFailsOnlyARecordThatReadsIt) {
  ItemReader r(QStringLiteral("1,0,\"a\"b,49\r\n1,0,\"a\",49 \"x\"y\r\n"));
  QStringList items;
  EXPECT_FALSE(r.readRecord(4, &items));
  EXPECT_TRUE(r.malformed());
  ASSERT_TRUE(r.readRecord(4, &items));  // the engine passes over the rest of the line
  EXPECT_FALSE(r.malformed());
  EXPECT_EQ(items, (QStringList{"1", "0", "a", "49"}));
}

TEST(ItemReader, RecordsUseWholeLinesAndSkipsCountLines) {
  ItemReader r(QStringLiteral("a b c\r\n\r\nd\r\ne f\r\n"));
  QStringList items;
  ASSERT_TRUE(r.readRecord(1, &items));  // "b c" is passed over with the rest of the line
  EXPECT_EQ(items, QStringList{"a"});
  ASSERT_TRUE(r.skip(1));
  ASSERT_TRUE(r.readRecord(1, &items));
  EXPECT_EQ(items, QStringList{"d"});
  EXPECT_FALSE(r.readRecord(3, &items));  // "e f" holds two items only
  EXPECT_FALSE(r.skip(1));                // end of the file
}

TEST(DataFileReader, ReadsTextsExactlyAndKeepsDropFields) {
  DataSetTexts d;
  const DataFileReadResult r = readDataFile(fixture("opened_1layer_kept_drop_fields.dat"), &d);
  ASSERT_EQ(r.error, DataFileError::kNone) << r.line;
  EXPECT_EQ(d.title, QLatin1String("007"));
  EXPECT_EQ(d.iterationFileName, QLatin1String("007.out"));
  EXPECT_EQ(d.layerCount, 1);
  EXPECT_EQ(d.sensorCount, 1);
  EXPECT_EQ(d.dataCount, 2);
  ASSERT_EQ(d.layers.size(), 1);
  EXPECT_EQ(d.layers[0].modulus, QLatin1String("1234.567"));
  EXPECT_EQ(d.layers[0].thickness, QString());
  EXPECT_EQ(d.positions, QStringList{"0"});
  EXPECT_EQ(d.standardLoad, QLatin1String("49"));
  EXPECT_EQ(d.plateRadius, QLatin1String("15"));
  EXPECT_EQ(d.regularization, QLatin1String("0.05"));
  ASSERT_EQ(d.drops.size(), 2);
  EXPECT_EQ(d.drops[0].load, QLatin1String("48.9"));
  EXPECT_EQ(d.drops[1].deflections, QStringList{"99"});
  ASSERT_EQ(d.kept.size(), 2);
  EXPECT_EQ(d.kept[0].id, QLatin1String("17"));
  EXPECT_EQ(d.kept[0].code, QLatin1String("3"));
  EXPECT_EQ(d.kept[0].tag, QLatin1String("12:34:56"));
  EXPECT_EQ(d.kept[0].auxValue, QLatin1String("12.34"));
  EXPECT_EQ(d.kept[0].note, QLatin1String("note, with comma"));
  EXPECT_EQ(d.kept[1].note, QStringLiteral("二回目"));
}

TEST(DataFileReader, OpenThenSaveGivesTheSameFile) {
  const QByteArray typed = fixture("typed_3layers_2sensors_2sets.dat");
  DataSetTexts d;
  ASSERT_EQ(readDataFile(typed, &d).error, DataFileError::kNone);
  EXPECT_EQ(d.layers[0].modulus, QLatin1String("12345.67890123"));
  expectSameBytes(typed, writeDataFile(d));
}

TEST(DataFileReader, KeptFieldsWrittenBackAndANewSetGetsItsOwnHeaderAndTrailer) {
  DataSetTexts d;
  ASSERT_EQ(readDataFile(fixture("opened_1layer_kept_drop_fields.dat"), &d).error,
            DataFileError::kNone);
  const QByteArray same = writeDataFile(d);
  EXPECT_TRUE(same.contains("17,3,\"12:34:56\",48.9\r\n101.5\r\n12.3,\"note, with comma\"\r\n"));
  EXPECT_TRUE(
      same.contains("18,3,\"12:35:10\",49.2\r\n99\r\n3.0,\"" + Cp932::encode("二回目") + "\"\r\n"));
  EXPECT_TRUE(same.contains("\r\n0.05\r\n"));
  EXPECT_TRUE(same.contains("\r\n1             1234.567      0.35\r\n"));

  d.dataCount = 3;
  d.drops.append(DropTexts{"50", {"97"}});
  const QByteArray extended = writeDataFile(d);
  EXPECT_TRUE(extended.contains("18,3,\"12:35:10\",49.2\r\n"));
  EXPECT_TRUE(extended.endsWith("\"\r\n3,0,\"99:99\",50\r\n97\r\n999.9,\"Run3\"\r\n"));
}

TEST(DataFileReader, RefusesBadVersionsShortFilesAndBadCounts) {
  const QByteArray good = fixture("typed_3layers_2sensors_2sets.dat");
  auto replaceLine = [&](int line, const QByteArray& text) {
    QList<QByteArray> lines = good.split('\n');
    lines[line - 1] = text + "\r";
    return lines.join('\n');
  };
  // clang-format off
  struct Case { const char* name; QByteArray bytes; DataFileError error; };
  const Case cases[] = {
      {"Ver2 two blanks later", replaceLine(1, "ORVA for Windows   Ver2.2"), DataFileError::kBadVersion},
      {"lower-case name",       replaceLine(1, "orva for Windows Ver2.2"),   DataFileError::kBadVersion},
      {"empty file",            QByteArray(),                               DataFileError::kBadVersion},
      {"cut after the counts",  good.left(good.indexOf("NUMBERS")),         DataFileError::kCutShort},
      {"cut in the last set",   good.left(good.size() - 8),                 DataFileError::kCutShort},
      {"layer line too short",  replaceLine(17, "0             300"),        DataFileError::kCutShort},
      {"count 3.0",             replaceLine(10, "3.0   2"),                  DataFileError::kBadCount},
      {"count text",            replaceLine(13, "two"),                     DataFileError::kBadCount},
      {"6 layers",              replaceLine(10, "6   10"),                   DataFileError::kCountOutOfRange},
      {"0 sensors",             replaceLine(10, "3   0"),                    DataFileError::kCountOutOfRange},
      {"101 data sets",         replaceLine(13, "101"),                     DataFileError::kCountOutOfRange},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DataSetTexts d;
    d.title = QStringLiteral("unchanged");
    EXPECT_EQ(readDataFile(c.bytes, &d).error, c.error);
    EXPECT_EQ(d.title, QLatin1String("unchanged"));
  }
  DataSetTexts d;
  EXPECT_EQ(readDataFile(replaceLine(1, "ORVA for Windows Ver2.3 extra"), &d).error,
            DataFileError::kNone);
}

// Regression: the checks did not read the whole text, so "1.2.3" or "1-" passed, and a number
// beyond a double's range passed although the engine refuses it (error 64).
TEST(DataChecks, NumberTextIsTheWholeText) {
  // clang-format off
  struct Case { const char* text; bool number; double value; };
  const Case cases[] = {
      {"0",      true,  0},     {"12",   true, 12},  {"-1.5", true, -1.5}, {"1.", true, 1},
      {".5",     true,  0.5},   {"-.5",  true, -0.5},
      {"",       false, 0},     {".",    false, 0},  {"-",    false, 0},   {"1.2.3", false, 0},
      {"+5",     false, 0},     {"1e5",  false, 0},  {" 1",   false, 0},   {"1 ",    false, 0},
      {"1-",     false, 0},     {"--1",  false, 0},  {"inf",  false, 0},   {"１",    false, 0},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    double v = -99;
    EXPECT_EQ(isNumberText(QString::fromUtf8(c.text), &v), c.number);
    if (c.number) {
      EXPECT_EQ(v, c.value);
    }
  }
  // Beyond the range of a double is no number (the engine refuses it); below it reads as zero.
  EXPECT_FALSE(isNumberText(QStringLiteral("1") + QString(309, QLatin1Char('0'))));
  double tiny = -1;
  EXPECT_TRUE(isNumberText(QStringLiteral("0.") + QString(400, QLatin1Char('0')) + "1", &tiny));
  EXPECT_EQ(tiny, 0);
  EXPECT_TRUE(isFlagText("0"));
  EXPECT_TRUE(isFlagText("1"));
  for (const char* t : {"", "1.0", "01", "-0", "2", " 1"}) EXPECT_FALSE(isFlagText(t)) << t;
}

TEST(DataChecks, CountsAndLeadingNumbers) {
  EXPECT_EQ(countValue("3", 5), 3);
  EXPECT_EQ(countValue("5", 5), 5);
  EXPECT_EQ(countValue("6", 5), 0);
  EXPECT_EQ(countValue("0", 5), 0);
  EXPECT_EQ(countValue("", 5), 0);
  EXPECT_EQ(countValue("2.5", 5), 0);
  EXPECT_EQ(leadingNumber("3"), 3);
  EXPECT_EQ(leadingNumber(""), 0);
  EXPECT_EQ(leadingNumber("0.05abc"), 0.05);
  EXPECT_EQ(leadingNumber(" 1E-05"), 1e-05);
  EXPECT_EQ(leadingNumber("abc"), 0);
}

// Regression: project names that the run cannot use passed the check: one with a blank (the engine
// reads the report's name only up to it), "inp" and "out1" (the program's own work files), and
// names with no CP932 form.
TEST(DataChecks, ProjectTitleMustBeOneWordFileNameInCp932) {
  // clang-format off
  struct Case { const char* title; bool valid; };
  const Case cases[] = {
      {"Route7", true}, {"007", true}, {"国道１号", true}, {"a.b", true}, {"inp2", true},
      {"", false}, {"My Project", false}, {"a\tb", false}, {"a,b", false}, {"a/b", false},
      {"a\\b", false}, {"a\"b", false}, {"a'b", false}, {"a:b", false}, {"a*b", false},
      {"a?b", false}, {"a<b", false}, {"a|b", false},
      {"inp", false}, {"out1", false},   // the program's own work files
      {"€", false},                      // no CP932 code
      {"〜", false},                      // U+301C comes back as U+FF5E
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    EXPECT_EQ(isValidProjectTitle(QString::fromUtf8(c.title)), c.valid);
  }
  EXPECT_TRUE(isValidProjectTitle(QString(76, QLatin1Char('x'))));
  EXPECT_FALSE(isValidProjectTitle(QString(77, QLatin1Char('x'))));
  EXPECT_TRUE(isValidProjectTitle(QString(38, QChar(0x56FD))));   // 38 x 2 bytes
  EXPECT_FALSE(isValidProjectTitle(QString(39, QChar(0x56FD))));  // 78 bytes
}

TEST(Paths, SplitPathAndChangeExtension) {
  QString folder, name;
  Form2::SplitPath("/a/b/x.dat", folder, name);
  EXPECT_EQ(folder, QLatin1String("/a/b/"));
  EXPECT_EQ(name, QLatin1String("x.dat"));
  Form2::SplitPath("x.dat", folder, name);
  EXPECT_EQ(folder, QString());
  EXPECT_EQ(name, QLatin1String("x.dat"));
  Form2::SplitPath("/a/", folder, name);
  EXPECT_EQ(folder, QLatin1String("/a/"));
  EXPECT_EQ(name, QString());

  QString ext = QStringLiteral("out"), result;
  EXPECT_TRUE(Form2::ChangeExtension(ext, "x.y.dat", result));
  EXPECT_EQ(ext, QLatin1String(".out"));
  EXPECT_EQ(result, QLatin1String("x.y.out"));
  result = QStringLiteral("kept");
  EXPECT_FALSE(Form2::ChangeExtension(ext, "noext", result));
  EXPECT_EQ(result, QLatin1String("kept"));
}

// Regression: the data file was written over the old one in place, so a write that failed part-way
// left a cut file and lost the old one.
TEST(SafeFiles, ReplacesWholeFilesAndLeavesTheOldOneOnFailure) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString target = dir.filePath("a.dat");
  QString error;
  ASSERT_TRUE(Files::writeFileReplacing(target, "old\r\n", &error)) << error.toStdString();
  ASSERT_TRUE(Files::writeFileReplacing(target, "new\r\n", &error)) << error.toStdString();
  QFile f(target);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("new\r\n"));
  f.close();
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"a.dat"});  // no temporary left

  // A name of 250 bytes exists, but a temporary file beside it cannot get a longer name: the
  // write fails and the old file stays as it was.
  const QString longTarget = dir.filePath(QString(246, QLatin1Char('n')) + ".dat");
  ASSERT_TRUE(Files::writeFileReplacing(longTarget, "old", &error)) << error.toStdString();
  EXPECT_FALSE(Files::writeFileReplacing(longTarget, "new", &error));
  EXPECT_FALSE(error.isEmpty());
  QFile g(longTarget);
  ASSERT_TRUE(g.open(QIODevice::ReadOnly));
  EXPECT_EQ(g.readAll(), QByteArray("old"));

  // A copy onto itself leaves the file alone.
  EXPECT_TRUE(Files::copyFileReplacing(target, dir.path() + "/./a.dat", &error));
  EXPECT_TRUE(Files::copyFileReplacing(target, dir.filePath("b.dat"), &error));
  EXPECT_TRUE(Files::isSamePath(target, dir.path() + "/./a.dat"));
  EXPECT_FALSE(Files::isSamePath(target, dir.filePath("b.dat")));
  EXPECT_FALSE(Files::copyFileReplacing(dir.filePath("missing"), dir.filePath("c.dat"), &error));
  EXPECT_FALSE(QFile::exists(dir.filePath("c.dat")));
}

// A write that fails names the system's reason. /dev/full refuses every write with ENOSPC; a file
// size limit lets the first part of a write in and refuses the rest with EFBIG, as a disk that
// fills part way does. Regression: QSaveFile's buffered write took a small file whole and its
// commit put the cut file in place of the old one, reported as success ("Unknown error" for a large
// one). The old file stays, and no temporary is left beside it.
TEST(SafeFiles, AFailedWriteNamesTheSystemsReason) {
  const int full = ::open("/dev/full", O_WRONLY);
  ASSERT_GE(full, 0);
  QString error;
  EXPECT_FALSE(Files::writeAll(full, QByteArray(100, 'x'), &error));
  ::close(full);
  EXPECT_EQ(error, QString::fromLocal8Bit(std::strerror(ENOSPC)));

  QTemporaryDir dir;
  const QString target = dir.filePath("a.dat");
  ASSERT_TRUE(Files::writeFileReplacing(target, "old", &error)) << error.toStdString();
  {
    FileSizeLimit limit(100);
    ASSERT_TRUE(limit.ok());
    EXPECT_FALSE(Files::writeFileReplacing(target, QByteArray(1000, 'x'), &error));
  }
  EXPECT_EQ(error, QString::fromLocal8Bit(std::strerror(EFBIG)));
  QFile f(target);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("old"));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"a.dat"});
}

// What a folder holds, hidden names, FIFOs and devices too.
QStringList names(const QString& folder) {
  return QDir(folder).entryList(
      QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray contents(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct stat statOf(const QString& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
  return st;
}

// The text of a symbolic link, as it was made.
QByteArray linkText(const QString& path) {
  QByteArray text(PATH_MAX, '\0');
  const ssize_t n = ::readlink(QFile::encodeName(path).constData(), text.data(), text.size());
  return n < 0 ? QByteArray() : text.left(n);
}

QString notRegular(const QString& path) {
  return path + QStringLiteral(" は通常のファイルではないため、置き換えません。");
}

QString readOnly(const QString& path) {
  return path + QStringLiteral(" は読み取り専用のため、置き換えません。");
}

// Regression: a FIFO or a device node at the target was replaced by a regular file (run as root,
// /dev/null once). A target that is not a regular file, also when a link leads to it, is refused
// with a message that names it, and stays as it was; nothing is left beside it. A FIFO as the
// source of a copy is refused at once instead of waiting for a writer.
TEST(SafeFiles, ATargetThatIsNotARegularFileIsRefusedAndLeftAsItWas) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString fifo = dir.filePath("pipe.dat");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0) << std::strerror(errno);
  const QString folder = dir.filePath("folder.dat");
  ASSERT_TRUE(QDir().mkdir(folder));
  const QString link = dir.filePath("link.dat");
  ASSERT_TRUE(QFile::link(fifo, link));
  struct Case {
    const char* name;
    QString target;
    QString refused;  // the node named in the message
    mode_t type;
  };
  const Case cases[] = {
      {"FIFO", fifo, fifo, S_IFIFO},
      {"folder", folder, folder, S_IFDIR},
      {"link to a FIFO", link, fifo, S_IFIFO},
  };
  const QStringList before = names(dir.path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QString error;
    EXPECT_FALSE(Files::writeFileReplacing(c.target, "new", &error));
    EXPECT_EQ(error, notRegular(c.refused));
    EXPECT_EQ(statOf(c.refused).st_mode & S_IFMT, c.type);
    EXPECT_EQ(names(dir.path()), before);
  }
  EXPECT_EQ(linkText(link), QFile::encodeName(fifo));

  QString error;
  EXPECT_FALSE(Files::copyFileReplacing(fifo, dir.filePath("copy.dat"), &error));
  EXPECT_EQ(error, fifo + QStringLiteral(" は通常のファイルではないため、読み込みません。"));
  EXPECT_EQ(names(dir.path()), before);
}

// A device node made in the test folder (the null device's numbers, 1 and 3), never one in /dev.
TEST(SafeFiles, ADeviceNodeIsRefusedAndLeftAsItWas) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString node = dir.filePath("null.dat");
  if (::mknod(QFile::encodeName(node).constData(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
    GTEST_SKIP() << "no device node can be made here (" << std::strerror(errno)
                 << "): that takes root outside a user namespace";
  }
  QString error;
  EXPECT_FALSE(Files::writeFileReplacing(node, "new", &error));
  EXPECT_EQ(error, notRegular(node));
  const struct stat st = statOf(node);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  EXPECT_EQ(st.st_rdev, makedev(1, 3));
  EXPECT_EQ(names(dir.path()), QStringList{"null.dat"});
}

// A link is followed to the file it names, which is replaced in its own folder: the link stays as
// it was made, relative, absolute or through another link, and no temporary file is left in either
// folder. A link to a file not there yet makes that file.
TEST(SafeFiles, ALinkIsFollowedAndTheFileItNamesIsReplaced) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  ASSERT_TRUE(QDir(dir.path()).mkdir("real"));
  ASSERT_TRUE(QDir(dir.path()).mkdir("links"));
  const QString real = dir.filePath("real/a.dat");
  QString error;
  ASSERT_TRUE(Files::writeFileReplacing(real, "old", &error)) << error.toStdString();
  struct Case {
    const char* name;
    const char* text;  // of the link in links/
    QString file;      // the file it leads to
  };
  const Case cases[] = {
      {"rel.dat", "../real/a.dat", real},
      {"abs.dat", nullptr, real},
      {"chain.dat", "rel.dat", real},
      {"new.dat", "../real/b.dat", dir.filePath("real/b.dat")},
  };
  for (const Case& c : cases) {
    const QByteArray text = c.text ? QByteArray(c.text) : QFile::encodeName(real);
    ASSERT_EQ(::symlink(text.constData(), QFile::encodeName(dir.filePath("links/") + c.name)), 0);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString link = dir.filePath("links/") + c.name;
    const QByteArray text = linkText(link);
    const QByteArray bytes = QByteArray("new through ") + c.name;
    EXPECT_TRUE(Files::writeFileReplacing(link, bytes, &error)) << error.toStdString();
    EXPECT_EQ(contents(c.file), bytes);
    EXPECT_TRUE(S_ISLNK(statOf(link).st_mode));
    EXPECT_EQ(linkText(link), text);
  }
  EXPECT_EQ(names(dir.filePath("real")), (QStringList{"a.dat", "b.dat"}));
  EXPECT_EQ(names(dir.filePath("links")),
            (QStringList{"abs.dat", "chain.dat", "new.dat", "rel.dat"}));
}

// Regression: the replacement dropped set-group-ID and took the default mode. It keeps the earlier
// file's mode, set-group-ID included; a new file gets 0666 less the umask.
TEST(SafeFiles, TheReplacementKeepsTheModeAndANewFileTakesTheUmasks) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("a.dat");
  QString error;
  for (const mode_t mode : {mode_t(0600), mode_t(02640), mode_t(0604), mode_t(0775)}) {
    SCOPED_TRACE(mode);
    QFile::remove(path);
    ASSERT_TRUE(Files::writeFileReplacing(path, "old", &error)) << error.toStdString();
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
    // Without root, set-group-ID stays only on a file of one of this process's groups.
    const mode_t old = statOf(path).st_mode & 07777;
    ASSERT_TRUE(Files::writeFileReplacing(path, "new", &error)) << error.toStdString();
    EXPECT_EQ(statOf(path).st_mode & 07777, old);
    EXPECT_EQ(contents(path), "new");
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  const QString fresh = dir.filePath("fresh.dat");
  ASSERT_TRUE(Files::writeFileReplacing(fresh, "new", &error)) << error.toStdString();
  EXPECT_EQ(statOf(fresh).st_mode & 07777, 0666 & ~mask);
  EXPECT_EQ(names(dir.path()), (QStringList{"a.dat", "fresh.dat"}));
}

// Regression: root saving another user's file made it root's. The owner and the group stay.
TEST(SafeFiles, TheReplacementKeepsAnotherUsersOwnerAndGroup) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file to another user";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("a.dat");
  QString error;
  ASSERT_TRUE(Files::writeFileReplacing(path, "old", &error)) << error.toStdString();
  if (::chown(QFile::encodeName(path).constData(), 4321, 4322) != 0) {
    GTEST_SKIP() << "chown refused (" << std::strerror(errno)
                 << "): root in a user namespace has no other user to give the file to";
  }
  ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 02640), 0);  // chown cleared it
  ASSERT_TRUE(Files::writeFileReplacing(path, "new", &error)) << error.toStdString();
  const struct stat st = statOf(path);
  EXPECT_EQ(st.st_uid, 4321u);
  EXPECT_EQ(st.st_gid, 4322u);
  EXPECT_EQ(st.st_mode & 07777, 02640u);
  EXPECT_EQ(contents(path), "new");
}

// Regression: root replaced a file marked read-only (0444) and left it 0644. It is kept, for root
// too, with the message; through a link the message names the file itself.
TEST(SafeFiles, AReadOnlyEarlierFileIsKeptForRootToo) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("a.dat");
  const QString link = dir.filePath("link.dat");
  QString error;
  ASSERT_TRUE(Files::writeFileReplacing(path, "old", &error)) << error.toStdString();
  ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
  ASSERT_TRUE(QFile::link(path, link));
  for (const QString& target : {path, link}) {
    SCOPED_TRACE(target.toStdString());
    EXPECT_FALSE(Files::writeFileReplacing(target, "new", &error));
    EXPECT_EQ(error, readOnly(path));
    EXPECT_EQ(contents(path), "old");
    EXPECT_EQ(statOf(path).st_mode & 07777, 0444u);
    EXPECT_EQ(names(dir.path()), (QStringList{"a.dat", "link.dat"}));
  }
}

// A file marked immutable or append-only is kept with the same message (the marks take root, and
// a file system that holds them).
TEST(SafeFiles, AnImmutableOrAppendOnlyFileIsKept) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("a.dat");
  QString error;
  ASSERT_TRUE(Files::writeFileReplacing(path, "old", &error)) << error.toStdString();
  for (const int mark : {FS_IMMUTABLE_FL, FS_APPEND_FL}) {
    SCOPED_TRACE(mark);
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    int flags = 0;
    const bool marked = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                        (flags |= mark, ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
    const int reason = errno;
    if (marked) {
      EXPECT_FALSE(Files::writeFileReplacing(path, "new", &error));
      EXPECT_EQ(error, readOnly(path));
      flags &= ~mark;
      EXPECT_EQ(::ioctl(fd, FS_IOC_SETFLAGS, &flags), 0);  // so that the folder can be removed
    }
    ::close(fd);
    if (!marked) GTEST_SKIP() << "the file cannot be marked here: " << std::strerror(reason);
    EXPECT_EQ(contents(path), "old");
    EXPECT_EQ(names(dir.path()), QStringList{"a.dat"});
  }
}

// The folder sync as the test sees it: which folder, what the file held then, and a failure on
// request.
struct SyncSeen {
  QString file;  // read when the folder is synced
  int calls = 0;
  QString folder;
  QByteArray contents;
  int failWith = 0;
};
SyncSeen seen;

int seeingSync(int fd) {
  ++seen.calls;
  seen.folder = QFile::decodeName(linkText(QStringLiteral("/proc/self/fd/%1").arg(fd)));
  seen.contents = contents(seen.file);
  if (seen.failWith == 0) return ::fsync(fd);
  errno = seen.failWith;
  return -1;
}

// Regression: the folder was not synced after the rename, so after a power loss the old file could
// come back. The folder synced is the one the file lies in (a link's target's), after the rename;
// a failure of the sync is reported with its reason (the new file is in place, its lasting is not
// sure).
TEST(SafeFiles, TheFilesFolderIsSyncedAfterTheRenameAndAFailedSyncIsReported) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  ASSERT_TRUE(QDir(dir.path()).mkdir("real"));
  const QString path = dir.filePath("real/a.dat");
  const QString link = dir.filePath("link.dat");
  ASSERT_TRUE(QFile::link(path, link));
  seen = SyncSeen();
  seen.file = path;
  struct Restore {
    Files::SyncCall previous = Files::setFolderSync(&seeingSync);
    ~Restore() { Files::setFolderSync(previous); }
  } restore;

  QString error;
  ASSERT_TRUE(Files::writeFileReplacing(link, "new", &error)) << error.toStdString();
  EXPECT_EQ(seen.calls, 1);
  EXPECT_EQ(seen.folder, QFileInfo(dir.filePath("real")).canonicalFilePath());
  EXPECT_EQ(seen.contents, "new");

  seen.failWith = EIO;
  EXPECT_FALSE(Files::writeFileReplacing(link, "newer", &error));
  EXPECT_EQ(seen.calls, 2);
  EXPECT_EQ(error,
            QStringLiteral("フォルダ %1 を同期できません：%2")
                .arg(dir.filePath("real"), QString::fromLocal8Bit(std::strerror(EIO))));
  EXPECT_EQ(contents(path), "newer");
  EXPECT_EQ(names(dir.filePath("real")), QStringList{"a.dat"});
}

}  // namespace
