// The free-format reader (ListRead on an InputUnit), the output unit and the failure line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <iterator>
#include <string>

#include "failing_sink.h"
#include "fortran_io.h"
#include "runtime_failure.h"
#include "test_support.h"

namespace orva {
namespace {

using test::read_file;
using test::TempDir;
using test::write_file;

// An input unit on a file holding `bytes`.
class Input {
 public:
  explicit Input(const std::string& bytes) {
    write_file(dir_ / "in.dat", bytes);
    unit_.open(1, (dir_ / "in.dat").string());
  }
  InputUnit& unit() { return unit_; }

 private:
  TempDir dir_;
  InputUnit unit_;
};

// Runs `read` and returns the error number it throws, 0 when none.
template <typename F>
int failure_of(F&& read) {
  try {
    read();
  } catch (const RuntimeFailure& f) {
    return f.number;
  }
  return 0;
}

TEST(ListRead, Integers) {
  struct Case {
    const char* name;
    const char* bytes;
    int failure;
    int32_t value;  // 99 stands for "left as it was"
  };
  // clang-format off
  const Case cases[] = {
      {"plain",                "42\r\n",            0,  42},
      {"blanks and sign",      "   +7  \r\n",       0,  7},
      {"negative",             "-3\r\n",            0,  -3},
      {"empty lines before",   "\r\n \r\n\t\r\n5",  0,  5},
      {"comma ends it",        "5,6\r\n",           0,  5},
      {"slash ends it",        "5/\r\n",            0,  5},
      {"32-bit limit",         "2147483647",        0,  2147483647},
      {"null value",           ",7\r\n",            0,  99},
      {"slash alone",          "/ 7\r\n",           0,  99},
      {"decimal point",        "1.0\r\n",           64, 99},
      {"exponent",             "1E2\r\n",           64, 99},
      {"text",                 "abc\r\n",           64, 99},
      {"quoted digits",        "'5'\r\n",           64, 99},
      {"beyond 32 bits",       "2147483648\r\n",    64, 99},
      {"sign only",            "-\r\n",             64, 99},
      {"parenthesis",          "(1)\r\n",           59, 99},
      {"empty file",           "",                  24, 99},
      {"only empty lines",     "\r\n\r\n",          24, 99},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Input in(c.bytes);
    int32_t v = 99;
    EXPECT_EQ(failure_of([&] { ListRead(in.unit()).read(v); }), c.failure);
    EXPECT_EQ(v, c.value);
  }
}

TEST(ListRead, Reals) {
  struct Case {
    const char* name;
    const char* bytes;
    int failure;
    double value;  // -99 stands for "left as it was"
  };
  // clang-format off
  const Case cases[] = {
      {"decimal",           "0.35",      0,  0.35},
      {"exponent",          "1E-05",     0,  1e-05},
      {"lower case",        "2.5e3",     0,  2500.0},
      {"D exponent",        "1d3",       0,  1000.0},
      {"integer form",      "50",        0,  50.0},
      {"trailing point",    "-2.",       0,  -2.0},
      {"leading point",     ".5",        0,  0.5},
      {"plus sign",         "+1.5E+2",   0,  150.0},
      {"underflow is 0",    "1E-400",    0,  0.0},
      {"subnormal",         "1E-310",    0,  1e-310},
      // Regression: a value beyond a double's range was read as infinity, not error 64.
      {"overflow",          "1E400",     64, -99},
      {"large mantissa",    "1000E306",  64, -99},
      {"inf",               "inf",       64, -99},
      {"nan",               "nan",       64, -99},
      {"two points",        "1.2.3",     64, -99},
      {"exponent only",     "1E",        64, -99},
      {"point only",        ".",         64, -99},
      {"sign exponent",     "1+5",       64, -99},
      {"locale comma",      "49;05",     64, -99},
      {"quoted",            "\"1.5\"",   64, -99},
      {"parenthesis",       "1.5)",      59, -99},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Input in(c.bytes);
    double v = -99;
    EXPECT_EQ(failure_of([&] { ListRead(in.unit()).read(v); }), c.failure);
    EXPECT_EQ(v, c.value);
  }
}

TEST(ListRead, Texts) {
  struct Case {
    const char* name;
    const char* bytes;
    size_t field;
    int failure;
    const char* value;
  };
  // clang-format off
  const Case cases[] = {
      {"first word of a label",  "TITLE OF THE PROJECT\r\n",  8,  0,  "TITLE   "},
      {"ends at a comma",        "LAYER MODULI,ANALYTICAL",    6,  0,  "LAYER "},
      {"ends at a slash",        "a/b",                        3,  0,  "a  "},
      {"ends at a tab",          "ab\tc",                      2,  0,  "ab"},
      {"quoted keeps all",       "\"lane 1, km 3/2\"",         14, 0,  "lane 1, km 3/2"},
      {"apostrophes",            "'it''s'",                    4,  0,  "it's"},
      {"tag cut to 7",           "\"123456789\"",              7,  0,  "1234567"},
      {"unquoted cut",           "123456789",                  7,  0,  "1234567"},
      {"quoted over a line end", "\"ab\r\ncd\"",               4,  0,  "abcd"},
      {"shift-jis bytes kept",   "\x95\xdc\x91\x95.out",       8,  0,  "\x95\xdc\x91\x95.out"},
      {"junk after the quote",   "\"ab\"c",                    4,  59, ""},
      {"unterminated quote",     "\"ab\r\n",                   4,  24, ""},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Input in(c.bytes);
    std::string v;
    EXPECT_EQ(failure_of([&] { ListRead(in.unit()).read(v, c.field); }), c.failure);
    EXPECT_EQ(v, c.value);
  }
}

// Each statement starts on a new line, spans lines as its values need, and ignores the rest of
// its last line.
TEST(ListRead, StatementsAndLines) {
  Input in("1 2 3 ignored\r\n\r\n4\r\n5,\r\n\r\n6 7\r\n8\n9");
  int32_t a = 0, b = 0, c = 0, d = 0;
  ListRead(in.unit()).read(a);
  EXPECT_EQ(a, 1);
  {
    ListRead r(in.unit());  // spans "4", "5," and an empty line
    r.read(b);
    r.read(c);
    r.read(d);
  }
  EXPECT_EQ(b, 4);
  EXPECT_EQ(c, 5);
  EXPECT_EQ(d, 6);
  ListRead(in.unit()).read(a);  // "7" is left behind with its line
  EXPECT_EQ(a, 8);
  ListRead(in.unit()).read(a);  // LF line end, last line without one
  EXPECT_EQ(a, 9);
  EXPECT_EQ(failure_of([&] { ListRead(in.unit()).read(a); }), kEndOfFile);

  in.unit().rewind();
  ListRead(in.unit()).read(a);
  EXPECT_EQ(a, 1);
}

TEST(ListRead, CommasNullsAndSlash) {
  {
    // A comma after a line end is still the separator of the value before it.
    Input in("5\r\n, 6\r\n");
    int32_t a = 0, b = 0;
    ListRead r(in.unit());
    r.read(a);
    r.read(b);
    EXPECT_EQ(a, 5);
    EXPECT_EQ(b, 6);
  }
  {
    // Two commas: a null value keeps the item's value.
    Input in("1 , ,3\r\n");
    int32_t a = 0, b = 42, c = 0;
    ListRead r(in.unit());
    r.read(a);
    r.read(b);
    r.read(c);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 42);
    EXPECT_EQ(c, 3);
  }
  {
    // A slash ends the statement: the rest keep their values and the next line is read next.
    Input in("1 / 2\r\n3\r\n");
    int32_t a = 0, b = 42;
    {
      ListRead r(in.unit());
      r.read(a);
      r.read(b);
    }
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 42);
    ListRead(in.unit()).read(a);
    EXPECT_EQ(a, 3);
  }
}

TEST(InputUnit, MissingFileIsCreatedEmpty) {
  TempDir dir;
  InputUnit unit;
  unit.open(7, (dir / "SESF.LAB").string());
  EXPECT_TRUE(std::filesystem::exists(dir / "SESF.LAB"));
  EXPECT_EQ(std::filesystem::file_size(dir / "SESF.LAB"), 0u);
  int32_t v = 0;
  try {
    ListRead(unit).read(v);
    FAIL() << "no end of file";
  } catch (const RuntimeFailure& f) {
    EXPECT_EQ(failure_line(f),
              "forrtl: severe (24): end-of-file during read, unit 7, file " +
                  (dir / "SESF.LAB").string());
  }
}

TEST(InputUnit, OpenFailures) {
  TempDir dir;
  InputUnit unit;
  EXPECT_EQ(failure_of([&] { unit.open(1, ""); }), kBadFileName);
  EXPECT_EQ(failure_of([&] { unit.open(1, (dir / "no" / "inp.dat").string()); }), kFileNotFound);
  EXPECT_EQ(failure_of([&] { unit.open(1, dir.path().string()); }), kAccessDenied);
  EXPECT_EQ(failure_of([&] { unit.open(1, "/dev/null"); }), kOpenFailure);  // not a regular file
}

size_t files_in(const TempDir& dir) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir.path()),
                                           std::filesystem::directory_iterator()));
}

// Regression: the unit emptied the earlier file at open and wrote over it in place, through a link
// too, so a run that failed left that name empty or cut short. The records go to a temporary file;
// the earlier file of the name stays until close() replaces it.
TEST(OutputUnit, RecordsEndInCrLfAndCloseReplacesTheFile) {
  TempDir dir;
  const auto path = dir / "report.out";
  const std::string old = "records of an earlier run, longer than this run's\r\n";
  write_file(path, old);
  OutputUnit unit;
  unit.open(3, path.string());
  unit.write_record("first");
  unit.write_record("");
  unit.write_record("\x83\xca");
  EXPECT_EQ(read_file(path), old);
  EXPECT_EQ(files_in(dir), 2u);
  unit.close();
  EXPECT_FALSE(unit.is_open());
  EXPECT_EQ(read_file(path), "first\r\n\r\n\x83\xca\r\n");
  EXPECT_EQ(files_in(dir), 1u);
}

TEST(OutputUnit, OpenFailures) {
  TempDir dir;
  OutputUnit unit;
  struct Case {
    const char* name;
    std::string path;
    int failure;
  };
  const Case cases[] = {
      {"empty name", "", kBadFileName},
      {"name too long", std::string(5000, 'x'), kBadFileName},
      {"folder missing", (dir / "no" / "r.out").string(), kFileNotFound},
      {"a folder", dir.path().string(), kAccessDenied},
      // Regression: a name inside a linked folder was opened through the link, and a FIFO was
      // opened for writing, which blocks until some reader opens it: a hang.
      {"a folder that is a link", (dir / "link" / "r.out").string(), kOpenFailure},
      {"a pipe", (dir / "pipe").string(), kOpenFailure},
  };
  std::filesystem::create_directory_symlink(dir.path(), dir / "link");
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      unit.open(3, c.path);
      FAIL() << "opened";
    } catch (const RuntimeFailure& f) {
      EXPECT_EQ(f.number, c.failure);
      EXPECT_EQ(f.unit, 3);
      EXPECT_EQ(f.path, c.path);
    }
  }
  EXPECT_EQ(files_in(dir), 2u);  // the link and the pipe
}

// A read-only earlier file is kept, whoever runs the engine (root too): open() refuses it.
TEST(OutputUnit, ReadOnlyFileIsAccessDenied) {
  TempDir dir;
  const auto path = dir / "DEF.OUT";
  write_file(path, "old");
  std::filesystem::permissions(path, std::filesystem::perms::owner_read);
  OutputUnit unit;
  EXPECT_EQ(failure_of([&] { unit.open(2, path.string()); }), kAccessDenied);
  EXPECT_EQ(read_file(path), "old");
  EXPECT_EQ(files_in(dir), 1u);
}

// Regression: a write that failed on a full disk left the file cut at a buffer boundary under its
// own name, its tail still in the stdio buffer. A failing write or close is error 38 on the unit's
// own name; the unit's temporary file is then removed and the earlier file stays, or the file is
// published cut after its complete records.
TEST(OutputUnit, WriteAndCloseFailures) {
  struct Case {
    const char* name;
    size_t budget;      // bytes the sink takes
    int failing_close;  // 1: the close fails
    bool mark;          // the first record is marked complete
    const char* left;   // the file after the failure
  };
  const Case cases[] = {
      {"no byte", 0, 0, false, "old"},
      {"cut in the second record", 10, 0, false, "old"},
      {"close", 1000, 1, false, "old"},
      {"cut after a complete record", 10, 0, true, "complete\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    write_file(dir / "DEF.OUT", "old");
    test::FailingSink sink;
    sink.budget = c.budget;
    sink.failing_close = c.failing_close;
    OutputUnit unit(sink);
    try {
      unit.open(2, (dir / "DEF.OUT").string());
      unit.write_record("complete");
      if (c.mark) unit.mark_complete();
      unit.write_record("second record");
      unit.close();
      ADD_FAILURE() << "no write error";
    } catch (const RuntimeFailure& f) {
      EXPECT_EQ(
          failure_line(f),
          "forrtl: severe (38): error during write, unit 2, file " + (dir / "DEF.OUT").string());
    }
    unit.publish_complete();
    EXPECT_FALSE(unit.is_open());
    EXPECT_EQ(read_file(dir / "DEF.OUT"), c.left);
    EXPECT_EQ(files_in(dir), 1u);
  }
}

// Regression: finish() closed the temporary file's only descriptor, and with it the file's lock,
// so that another engine's start-up sweep could remove the file before close() renamed it. The
// temporary file is locked from open() until it is renamed or removed, finish() included.
TEST(OutputUnit, TemporaryFileIsLockedUntilRenamedOrRemoved) {
  // Whether another open file of the one file in `dir` can take its lock.
  const auto lock_free = [](const TempDir& dir) {
    const auto entry = *std::filesystem::directory_iterator(dir.path());
    const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
    const bool free = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (fd >= 0) ::close(fd);
    return free;
  };
  for (const bool publish : {true, false}) {
    SCOPED_TRACE(publish ? "closed" : "discarded");
    TempDir dir;
    OutputUnit unit;
    unit.open(2, (dir / "DEF.OUT").string());
    unit.write_record("record");
    ASSERT_EQ(files_in(dir), 1u);
    EXPECT_FALSE(lock_free(dir));
    unit.finish();
    EXPECT_FALSE(lock_free(dir));
    if (publish) {
      unit.close();
      EXPECT_EQ(read_file(dir / "DEF.OUT"), "record\r\n");
    } else {
      unit.discard();
      EXPECT_EQ(files_in(dir), 0u);
    }
  }
}

// Regression: a unit dropped without close(), after a failure elsewhere, flushed and kept its
// partly written file. A unit destroyed before close() leaves nothing of its own.
TEST(OutputUnit, UnclosedUnitLeavesNoFile) {
  TempDir dir;
  {
    OutputUnit unit;
    unit.open(2, (dir / "MODULI.OUT").string());
    unit.write_record("a record");
  }
  EXPECT_EQ(files_in(dir), 0u);
}

}  // namespace
}  // namespace orva
