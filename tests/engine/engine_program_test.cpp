// The engine program end to end: the built ORVA-V4 in a temporary folder, and engine_main in
// process for the many runs of the prefix test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine_main.h"
#include "forward_model.h"
#include "test_support.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::run_engine;
using test::TempDir;
using test::write_file;

const std::string kHandshake = "2958\r\n";

std::string fixture(const std::string& name) { return read_file(test::test_data_dir() / name); }

std::string eof_line(int unit, const std::string& file) {
  return "forrtl: severe (24): end-of-file during read, unit " + std::to_string(unit) + ", file " +
         file + "\n";
}

TEST(EngineProgram, HandshakeWithBlanksAndBlankLinesIsAccepted) {
  TempDir dir;
  write_file(dir / "SESF.LAB", "\r\n   \r\n  2958  \r\n\r\nmore\r\n");
  write_file(dir / "inp.dat", fixture("three_layers.dat"));
  const auto r = run_engine(dir.path());
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(fs::exists(dir / "three_layers.out"));
  EXPECT_EQ(read_file(dir / "SESF.LAB"), "\r\n   \r\n  2958  \r\n\r\nmore\r\n");  // kept
}

TEST(EngineProgram, OtherLaunchCodeStopsSilently) {
  TempDir dir;
  write_file(dir / "SESF.LAB", "2959\r\n");
  const auto r = run_engine(dir.path());
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(fs::exists(dir / "inp.dat"));  // never opened
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(EngineProgram, HandshakeFailures) {
  struct Case {
    const char* name;
    const char* handshake;  // nullptr: no "SESF.LAB"
    std::string err;
    int status;
  };
  const Case cases[] = {
      {"missing", nullptr, eof_line(7, "SESF.LAB"), 24},
      {"empty", "", eof_line(7, "SESF.LAB"), 24},
      {"text",
       "ORVA\r\n",
       "forrtl: severe (64): input conversion error, unit 7, file SESF.LAB\n",
       64},
      {"real",
       "2958.0\r\n",
       "forrtl: severe (64): input conversion error, unit 7, file SESF.LAB\n",
       64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    if (c.handshake != nullptr) write_file(dir / "SESF.LAB", c.handshake);
    const auto r = run_engine(dir.path());
    EXPECT_EQ(r.exit_status, c.status);
    EXPECT_EQ(r.err, c.err);
    EXPECT_TRUE(fs::exists(dir / "SESF.LAB"));
    EXPECT_EQ(fs::file_size(dir / "SESF.LAB"), std::string(c.handshake ? c.handshake : "").size());
    EXPECT_FALSE(fs::exists(dir / "inp.dat"));
  }
}

TEST(EngineProgram, MissingInputIsCreatedEmptyAndEndOfFile) {
  TempDir dir;
  write_file(dir / "SESF.LAB", kHandshake);
  const auto r = run_engine(dir.path());
  EXPECT_EQ(r.exit_status, 24);
  EXPECT_EQ(r.err, eof_line(1, "inp.dat"));
  EXPECT_TRUE(fs::exists(dir / "inp.dat"));
  EXPECT_EQ(fs::file_size(dir / "inp.dat"), 0u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

// No complete drop header: the report exists and is empty, the run ends normally.
TEST(EngineProgram, NoCompleteDropHeaderEndsNormallyWithAnEmptyReport) {
  const std::string full = fixture("three_layers.dat");
  const size_t drops = full.find("1,0,\"99:99\"");
  for (const std::string& text : {full.substr(0, drops), full.substr(0, drops + 6)}) {
    TempDir dir;
    write_file(dir / "SESF.LAB", kHandshake);
    write_file(dir / "inp.dat", text);
    const auto r = run_engine(dir.path());
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "");
    ASSERT_TRUE(fs::exists(dir / "three_layers.out"));
    EXPECT_EQ(fs::file_size(dir / "three_layers.out"), 0u);
  }
}

// A second run leaves nothing of the first run's report.
TEST(EngineProgram, RunOverwritesTheReport) {
  TempDir dir;
  write_file(dir / "SESF.LAB", kHandshake);
  write_file(dir / "inp.dat", fixture("two_data_sets.dat"));
  const std::string old(5000, 'x');
  write_file(dir / "two_data_sets.out", old);
  const auto r = run_engine(dir.path());
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(read_file(dir / "two_data_sets.out").find('x'), std::string::npos);
}

// An old report never survives a run whose input fails once the report's name is known.
TEST(EngineProgram, FailedInputEmptiesAnEarlierReport) {
  const std::string full = fixture("three_layers.dat");
  std::string zero_modulus = full;
  zero_modulus.replace(zero_modulus.find("3000"), 4, "0   ");
  std::string bad_number = full;
  bad_number.replace(bad_number.find("3000"), 4, "1E400");
  std::string zero_drop_load = full;
  zero_drop_load.replace(zero_drop_load.find("\"99:99\",60"), 10, "\"99:99\",0");
  struct Case {
    const char* name;
    std::string input;
    int status;
    std::string err;
  };
  const Case cases[] = {
      {"modulus 0",
       zero_modulus,
       2,
       "input error, file inp.dat: layer 1: modulus 0 MPa must be above 0\n"},
      {"1E400",
       bad_number,
       64,
       "forrtl: severe (64): input conversion error, unit 1, file inp.dat\n"},
      {"drop load 0",
       zero_drop_load,
       2,
       "input error, file inp.dat: data set 1, drop 2: load 0 kN must be above 0\n"},
      {"cut after the name", full.substr(0, full.find("NO. OF")), 24, eof_line(1, "inp.dat")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    write_file(dir / "SESF.LAB", kHandshake);
    write_file(dir / "inp.dat", c.input);
    write_file(dir / "three_layers.out", "report of an earlier run\r\n");
    const auto r = run_engine(dir.path());
    EXPECT_EQ(r.exit_status, c.status);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(read_file(dir / "three_layers.out"), "");
  }
}

TEST(EngineProgram, ReportNamedAfterAnEngineFileLeavesItAlone) {
  TempDir dir;
  std::string input = fixture("three_layers.dat");
  input.replace(input.find("three_layers.out"), 16, "DEF.OUT");
  write_file(dir / "SESF.LAB", kHandshake);
  write_file(dir / "inp.dat", input);
  write_file(dir / "DEF.OUT", "results of an earlier run\r\n");
  const auto r = run_engine(dir.path());
  EXPECT_EQ(r.exit_status, 2);
  EXPECT_EQ(r.err,
            "input error, file inp.dat: the report's name \"DEF.OUT\" is one of the engine's own "
            "files\n");
  EXPECT_EQ(read_file(dir / "DEF.OUT"), "results of an earlier run\r\n");
  EXPECT_EQ(read_file(dir / "inp.dat"), input);
}

// The report's name is Shift-JIS in the input and UTF-8 on disk.
TEST(EngineProgram, ReportNames) {
  struct Case {
    const char* name;
    std::string in_file;  // the report name as written in inp.dat
    int status;
    std::string err;
    std::string created;  // UTF-8 name of the report left behind, empty for none
  };
  const Case cases[] = {
      {"Japanese title", "\x95\xdc\x91\x95.out", 0, "", "\xe8\x88\x97\xe8\xa3\x85.out"},
      {"not Shift-JIS",
       "\x81.out",
       43,
       "forrtl: severe (43): file name specification error, unit 3, file \x81.out\n",
       ""},
      {"folder missing",
       "'no/r.out'",
       29,
       "forrtl: severe (29): file not found, unit 3, file no/r.out\n",
       ""},
      {"a folder",
       "'sub'",
       9,
       "forrtl: severe (9): permission to access file denied, unit 3, file sub\n",
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    fs::create_directory(dir / "sub");
    std::string input = fixture("three_layers.dat");
    input.replace(input.find("three_layers.out"), 16, c.in_file);
    write_file(dir / "SESF.LAB", kHandshake);
    write_file(dir / "inp.dat", input);
    const auto r = run_engine(dir.path());
    EXPECT_EQ(r.exit_status, c.status);
    EXPECT_EQ(r.err, c.err);
    if (!c.created.empty()) {
      EXPECT_TRUE(fs::exists(dir / c.created));
    }
    // sub, SESF.LAB, inp.dat; after a run also the report, DEF.OUT and MODULI.OUT.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()),
              c.created.empty() ? 3 : 6);
  }
}

TEST(EngineProgram, BundledExampleAndFixturesRun) {
  struct Case {
    fs::path file;
    const char* report;
  };
  const Case cases[] = {
      {fs::path(ORVA_PROGRAM_DIR) / "Data" / "example.dat", "example.out"},
      {test::test_data_dir() / "one_layer.dat", "one_layer.out"},
      {test::test_data_dir() / "three_layers.dat", "three_layers.out"},
      {test::test_data_dir() / "two_data_sets.dat", "two_data_sets.out"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.string());
    TempDir dir;
    write_file(dir / "SESF.LAB", kHandshake);
    fs::copy_file(c.file, dir / "inp.dat");
    const auto r = run_engine(dir.path());
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(fs::exists(dir / c.report));
  }
}

// Pavements with slipping interfaces that the editor admits, run by the built engine on a basin
// that the model computed for moduli 20 % away from the seeds: every one ends with status 0 and
// finite moduli. (They used to end with status 4, the deflections not finite, after svdcmp pauses.)
TEST(EngineProgram, SlippingPavementsRun) {
  struct Layer {
    double modulus_mpa, poisson, thickness_cm, slip;
  };
  struct Case {
    const char* name;
    std::vector<Layer> layers;
  };
  // clang-format off
  const Case cases[] = {
    {"5 layers, slip 0.1 on four interfaces",
     {{4000, 0.35, 5, 0.1}, {3000, 0.35, 10, 0.1}, {1500, 0.35, 20, 0.1}, {300, 0.35, 40, 0.1}, {80, 0.40, 0, 0}}},
    {"2.5 m top layer, slip 0.1",       {{2000, 0.35, 250, 0.1}, {100, 0.40, 0, 0}}},
    {"2 layers, slip 0.99",             {{3000, 0.35, 20, 0.99}, {100, 0.40, 0, 0}}},
    {"3 layers, slip 0.5 and 0.05",     {{5000, 0.35, 15, 0.5}, {300, 0.35, 30, 0.05}, {60, 0.40, 0, 0}}},
    {"4 layers, springs on two",        {{6000, 0.35, 10, 0.9}, {1500, 0.35, 15, 0}, {250, 0.35, 30, 0.5}, {80, 0.40, 0, 0}}},
    {"4 layers, 2 cm top, slip 0.3",    {{8000, 0.35, 2, 0.3}, {3000, 0.35, 20, 0.2}, {200, 0.35, 60, 0.7}, {50, 0.45, 0, 0}}},
    {"5 layers, 120 cm layer 4",        {{5000, 0.35, 10, 0.2}, {2000, 0.35, 20, 0}, {500, 0.35, 30, 0.6}, {200, 0.35, 120, 0.9}, {60, 0.40, 0, 0}}},
  };
  // clang-format on
  const std::vector<double> offsets = {0, 20, 30, 45, 60, 90, 120, 150};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int nl = static_cast<int>(c.layers.size());
    std::vector<double> truth, poisson, thickness, slip;
    for (const Layer& l : c.layers) {
      truth.push_back(l.modulus_mpa * 1.2 / 0.0981);
      poisson.push_back(l.poisson);
      thickness.push_back(l.thickness_cm);
      slip.push_back(l.slip);
    }
    const double load_kgf = 50 / 9.81e-3;
    const ModelInputs inputs{nl, 8, poisson, thickness, slip, offsets, load_kgf, 15};
    ModelState state;
    std::vector<double> cm(offsets.size());
    compute_deflections(state, inputs, truth, cm);

    std::ostringstream in;
    in << "ORVA for Windows Ver2.2\r\n\r\nTITLE OF THE PROJECT\r\nslip\r\n\r\n"
       << "NAME OF FILE FOR ITERATION PROCESS\r\nslip.out\r\n\r\n"
       << "NO. OF LAYERS AND MEASUREMENT POINTS\r\n"
       << nl << "   8\r\n\r\nNUMBERS OF TOTAL DATA\r\n1\r\n\r\nLAYER PROPERTIES\r\n"
       << "IFIX    MODULUS(MPa)      MU       THICKNESS(cm)      SLIP RATE\r\n";
    for (int i = 0; i < nl; ++i) {
      const Layer& l = c.layers[static_cast<std::size_t>(i)];
      in << "0   " << l.modulus_mpa << "   " << l.poisson;
      if (i + 1 < nl) in << "   " << l.thickness_cm << "   " << l.slip;
      in << "\r\n";
    }
    in << "\r\nSENSOR POSITIONS(cm)\r\n0 20 30 45 60 90 120 150\r\n\r\n"
       << "STD LOAD AND RADIUS of PLATE\r\n50   15\r\n\r\n"
       << "OPTIONS FOR TYPE OF OUTPUT (1--> YES   0--> NO)\r\n"
       << "LAYER MODULI,ANALYTICAL DEFLECTIONS,DEFLECTION RATIO\r\n1  1  1\r\n\r\n"
       << "REGULARIZATION (1--> YES   0--> NO)\r\n0\r\n\r\nREGULARIZATION PARAMETER\r\n"
       << "(RECOMMENDED VALUE : LAYERS#<=3 --> 0.001, LAYERS#=>4 --> 0.03)\r\n0.001\r\n\r\n"
       << "FWD DEFLECTION DATA\r\n1,0,\"99:99\",50\r\n";
    in.precision(10);
    for (double d : cm) in << d * 1e4 << "\r\n";
    in << "999.9,\"Run1\"\r\n";

    TempDir dir;
    write_file(dir / "SESF.LAB", kHandshake);
    write_file(dir / "inp.dat", in.str());
    const auto r = run_engine(dir.path());
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.find("svdcmp"), std::string::npos) << r.out;
    const std::string moduli = read_file(dir / "MODULI.OUT");
    ASSERT_FALSE(moduli.empty());
    EXPECT_EQ(moduli.find("NaN"), std::string::npos) << moduli;
    EXPECT_EQ(moduli.find("Infinity"), std::string::npos) << moduli;
    EXPECT_EQ(moduli.find("*"), std::string::npos) << moduli;
  }
}

// Control-C while the engine waits on its handshake file (a FIFO nobody writes).
TEST(EngineProgram, ControlCEndsWithStatus200) {
  TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "SESF.LAB").c_str(), 0600), 0);
  const fs::path err_path = dir / "stderr";
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (err < 0 || ::chdir(dir.path().c_str()) != 0) ::_exit(127);
    ::dup2(err, 2);
    ::execl(test::engine_path().c_str(), "ORVA-V4", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // Opening the FIFO for writing succeeds once the engine has opened it for reading, after its
  // handler is in place; the engine then waits in its read.
  int fifo = -1;
  for (int i = 0; i < 1000 && fifo < 0; ++i) {
    fifo = ::open((dir / "SESF.LAB").c_str(), O_WRONLY | O_NONBLOCK);
    if (fifo < 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_GE(fifo, 0);
  ::kill(pid, SIGINT);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(fifo);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 200);
  EXPECT_EQ(read_file(err_path), "forrtl: error (200): program aborting due to control-C event\n");
}

// Makes a folder the current directory for the test's lifetime.
class InFolder {
 public:
  explicit InFolder(const fs::path& dir) : old_(fs::current_path()) { fs::current_path(dir); }
  ~InFolder() { fs::current_path(old_); }

 private:
  fs::path old_;
};

// Bad input never crashes: every prefix of a valid input ends normally or with a defined line.
TEST(EngineMain, EveryPrefixOfAnInputEndsInAnOrderlyWay) {
  const std::regex failure(
      "forrtl: severe \\((24|59|64)\\): (end-of-file during read|list-directed I/O syntax "
      "error|input conversion error), unit 1, file inp\\.dat\n");
  const std::regex rejected("input error, file inp\\.dat: [^\n]+\n");
  // Cuts run up to the end of the first data set, so that few prefixes hold a complete set.
  struct Case {
    const char* name;
    const char* end;  // the cuts stop here; nullptr: the whole file
  };
  for (const Case& c : {Case{"three_layers.dat", nullptr}, Case{"two_data_sets.dat", "7,15,"}}) {
    const char* name = c.name;
    const std::string full = fixture(name);
    const size_t last = c.end == nullptr ? full.size() : full.find(c.end);
    ASSERT_NE(last, std::string::npos);
    TempDir dir;
    InFolder in(dir.path());
    int normal = 0;
    for (size_t cut = 0; cut <= last; ++cut) {
      write_file("SESF.LAB", kHandshake);
      write_file("inp.dat", full.substr(0, cut));
      std::ostringstream err;
      const int status = engine_main(err);
      const std::string line = err.str();
      SCOPED_TRACE(std::string(name) + " cut at " + std::to_string(cut) + ": " + line);
      if (status == 0) {
        EXPECT_EQ(line, "");
        ++normal;
      } else if (status == 2) {
        EXPECT_TRUE(std::regex_match(line, rejected));
      } else {
        EXPECT_TRUE(std::regex_match(line, failure));
        EXPECT_EQ(line.substr(16, 2), std::to_string(status));
      }
    }
    EXPECT_GT(normal, 0);
  }
}

// Bad bytes anywhere in front of the drop data: a defined line, or a normal end (nothing to
// compute, since the file holds no drop).
TEST(EngineMain, AnyBadByteInTheHeaderEndsInAnOrderlyWay) {
  // A changed report name can also fail to open on unit 3.
  const std::regex failure(
      "forrtl: severe \\((24|59|64)\\): (end-of-file during read|list-directed I/O syntax "
      "error|input conversion error), unit 1, file inp\\.dat\n|"
      "forrtl: severe \\((43|29|9|30)\\): [a-z ]+, unit 3, file [^\n]*\n");
  const std::regex rejected("input error, file inp\\.dat: [^\n]+\n");
  const std::string full = fixture("three_layers.dat");
  const std::string header = full.substr(0, full.find("1,0,\"99:99\""));
  TempDir dir;
  InFolder in(dir.path());
  write_file("SESF.LAB", kHandshake);
  int kinds[256] = {};
  for (size_t at = 0; at < header.size(); ++at) {
    for (char bad : {'(', '"', '.', '/', 'x'}) {
      std::string text = header;
      text[at] = bad;
      write_file("inp.dat", text);
      std::ostringstream err;
      const int status = engine_main(err);
      const std::string line = err.str();
      SCOPED_TRACE("byte " + std::to_string(at) + " as " + bad + ": " + line);
      ASSERT_TRUE(status >= 0 && status < 256);
      ++kinds[status];
      if (status == 0) {
        EXPECT_EQ(line, "");
      } else if (status == 2) {
        EXPECT_TRUE(std::regex_match(line, rejected));
      } else {
        EXPECT_TRUE(std::regex_match(line, failure));
        EXPECT_EQ(line.find("(" + std::to_string(status) + ")"), 15u);
      }
    }
  }
  // Each kind of ending occurs.
  for (int status : {0, 2, 24, 59, 64}) EXPECT_GT(kinds[status], 0) << status;
}

}  // namespace
}  // namespace orva
