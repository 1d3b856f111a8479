// End to end: the built ORVA-V4 on small input files, its report and result files compared byte for
// byte with files checked by hand against the record layouts.
//
// golden/all_held: two held layers, N = 1: the seed moduli, the deflections of the seed, the error
//   ((612 - 537.4)^2 + (389 - 396.9)^2 + (232 - 267.0)^2 + (101 - 130.6)^2) / 4 um^2 = 0.1930E-04
//   cm^2 and the matches 1 - |m - d| / m (0.8782 ...).
// golden/long_run: three free layers, two drops averaged at the standard load, N = 8: the first two
//   steps of layer 1 clipped to -10 % (4000, 3600, 3240), a match of sensor 6 floored to 0 in
//   iteration 1 (computed more than twice the measured).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_support.h"

namespace orva {
namespace {

using test::read_file;
using test::TempDir;
using test::write_file;

std::string golden(const std::string& name) {
  return read_file(test::test_data_dir() / "golden" / name);
}

test::RunResult run(const TempDir& dir, const std::string& input) {
  write_file(dir / "inp.dat", input);
  write_file(dir / "SESF.LAB", "2958\r\n");
  return test::run_engine(dir.path());
}

void expect_golden_files(const TempDir& dir, const std::string& name) {
  EXPECT_EQ(read_file(dir / "golden.out"), golden(name + ".out"));
  EXPECT_EQ(read_file(dir / "DEF.OUT"), golden(name + ".DEF.OUT"));
  EXPECT_EQ(read_file(dir / "MODULI.OUT"), golden(name + ".MODULI.OUT"));
}

TEST(Golden, ReportAndResultFiles) {
  for (const char* name : {"all_held", "long_run"}) {
    SCOPED_TRACE(name);
    TempDir dir;
    test::RunResult r = run(dir, golden(std::string(name) + ".dat"));
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "");
    expect_golden_files(dir, name);
  }
}

TEST(Golden, SecondRunLeavesNoRecordOfTheFirst) {
  TempDir dir;
  ASSERT_EQ(run(dir, golden("long_run.dat")).exit_status, 0);
  ASSERT_EQ(run(dir, golden("all_held.dat")).exit_status, 0);
  expect_golden_files(dir, "all_held");
}

TEST(Golden, EachDataSetAppendsItsReportAndRewritesTheResultFiles) {
  // A second data set of two drops after those of long_run: its back-calculation starts again
  // from the seed, its report follows the first one, and the result files are its own.
  const std::string second_set =
      "1,0,\"99:99\",49.7\r\n505\r\n390\r\n322\r\n197\r\n126\r\n63\r\n999.9,\"Run3\"\r\n"
      "2,0,\"99:99\",48.9\r\n512\r\n401\r\n329\r\n203\r\n127\r\n65\r\n999.9,\"Run4\"\r\n";
  const std::string first = golden("long_run.dat");
  const size_t drops = first.find("\r\n", first.find("FWD DEFLECTION DATA(")) + 2;
  TempDir alone;
  ASSERT_EQ(run(alone, first.substr(0, drops) + second_set).exit_status, 0);
  TempDir both;
  test::RunResult r = run(both, first + second_set);
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(read_file(both / "golden.out"),
            golden("long_run.out") + read_file(alone / "golden.out"));
  EXPECT_EQ(read_file(both / "DEF.OUT"), read_file(alone / "DEF.OUT"));
  EXPECT_EQ(read_file(both / "MODULI.OUT"), read_file(alone / "MODULI.OUT"));
  EXPECT_NE(read_file(alone / "MODULI.OUT"), golden("long_run.MODULI.OUT"));
}

// `input` with the first occurrence of `from` replaced by `to`.
std::string replaced(std::string input, const std::string& from, const std::string& to) {
  size_t at = input.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) input.replace(at, from.size(), to);
  return input;
}

TEST(Golden, UnsolvableInputIsRejectedBeforeIterating) {
  const std::string base = golden("long_run.dat");
  // The same pavement seen by 3 and by 2 sensors: the counts and the deflection lines cut.
  std::string three = replaced(base, "3   6", "3   3");
  three = replaced(three, "\r\n201\r\n128\r\n64\r\n", "\r\n");
  three = replaced(three, "\r\n208\r\n131\r\n66\r\n", "\r\n");
  std::string two = replaced(three, "3   3", "3   2");
  two = replaced(two, "\r\n330\r\n", "\r\n");
  two = replaced(two, "\r\n342\r\n", "\r\n");
  struct Case {
    const char* name;
    std::string input;
    const char* message;
  };
  const Case cases[] = {
      {"regularization flag 2",
       replaced(base, "NO)\r\n0\r\n", "NO)\r\n2\r\n"),
       "input error, file inp.dat: regularization flag 2 selects no solver"},
      {"fix flag 2",
       replaced(base, "\r\n0             250", "\r\n2             250"),
       "input error, file inp.dat: layer 2: fix flag 2 is neither 0"},
      {"shrinkage with as many free layers as sensors",
       replaced(three, "NO)\r\n0\r\n", "NO)\r\n1\r\n"),
       "input error, file inp.dat: 3 free layers and 3 sensors"},
      {"more free layers than sensors",
       two,
       "input error, file inp.dat: 3 free layers but only 2 sensors"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    write_file(dir / "DEF.OUT", "stale");
    test::RunResult r = run(dir, c.input);
    EXPECT_EQ(r.exit_status, 2);
    EXPECT_EQ(r.err.rfind(c.message, 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line";
    // No report, so the front end reports a failed run.
    EXPECT_FALSE(std::filesystem::exists(dir / "golden.out"));
    EXPECT_EQ(read_file(dir / "DEF.OUT"), "stale");
    EXPECT_FALSE(std::filesystem::exists(dir / "MODULI.OUT"));
  }
}

TEST(Golden, ResultsThatAreNotFiniteReachNoFile) {
  // A measured deflection of 1E300 um: its squared difference overflows the error.
  std::string input = replaced(golden("all_held.dat"), "\r\n389\r\n", "\r\n1E300\r\n");
  TempDir dir;
  write_file(dir / "golden.out", "report of an earlier run\r\n");
  test::RunResult r = run(dir, input);
  EXPECT_EQ(r.exit_status, 4);
  EXPECT_EQ(r.err,
            "back-calculation error: data set 1: the error at iteration 1 is not a finite number; "
            "no results are written\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "golden.out"));
  EXPECT_FALSE(std::filesystem::exists(dir / "DEF.OUT"));
  EXPECT_FALSE(std::filesystem::exists(dir / "MODULI.OUT"));
}

}  // namespace
}  // namespace orva
