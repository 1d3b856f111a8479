// The engine program end to end: the built ORVA-V4 in a temporary folder, and engine_main in
// process for the many runs of the prefix test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine_main.h"
#include "failing_sink.h"
#include "fortran_io.h"
#include "forward_model.h"
#include "privileges.h"
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

// Regression: an input that failed after the report's name was read left the earlier run's report
// in place, and the front end, which only looks for a non-empty report, took the run for a success.
// An old report never survives a run whose input fails once the report's name is known.
TEST(EngineProgram, FailedInputRemovesAnEarlierReport) {
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
    EXPECT_FALSE(fs::exists(dir / "three_layers.out"));
  }
}

// Regression: a report named after one of the engine's own files (here DEF.OUT) would be opened
// over that file and empty it.
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

// Holds an engine started with it just after it has renamed a file over `name` (the preloaded
// hold_rename fixture), until let_go() or the end of the scope. One engine per Hold.
class Hold {
 public:
  explicit Hold(std::string name) : name_(std::move(name)) {
    ok_ = ::pipe2(ready_, O_CLOEXEC) == 0 && ::pipe2(wait_, O_CLOEXEC) == 0;
  }
  ~Hold() {
    for (int fd : {ready_[0], ready_[1], wait_[0], wait_[1]}) {
      if (fd >= 0) ::close(fd);
    }
  }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;

  bool ok() const { return ok_; }
  // ORVA_TEST_HOLD for the engine, and its two descriptors, to be inherited.
  std::string setting() const {
    return name_ + "," + std::to_string(ready_[1]) + "," + std::to_string(wait_[0]);
  }
  std::vector<int> engine_ends() const { return {ready_[1], wait_[0]}; }
  // In this process once the engine has started: only the engine holds its ends, so that its end
  // shows.
  void started() {
    close_end(ready_[1]);
    close_end(wait_[0]);
  }
  // Waits at most `limit` for the engine to reach the hold; false when it ended or did not.
  bool reached(std::chrono::seconds limit = std::chrono::seconds(60)) {
    pollfd p{ready_[0], POLLIN, 0};
    char byte = 0;
    return ::poll(&p, 1, static_cast<int>(limit.count() * 1000)) == 1 &&
           ::read(ready_[0], &byte, 1) == 1;
  }
  void let_go() { close_end(wait_[1]); }

 private:
  static void close_end(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }

  std::string name_;
  int ready_[2] = {-1, -1};  // the engine writes a byte once it is held
  int wait_[2] = {-1, -1};   // it waits until this pipe gives a byte or its end
  bool ok_ = false;
};

// How a test starts the built engine, besides its folder and standard error.
struct Launch {
  // When root: without the capabilities that override a file's mode (test::drop_file_privileges).
  bool drop_file_privileges = false;
  rlim_t file_size_limit = RLIM_INFINITY;  // RLIMIT_FSIZE
  Hold* hold = nullptr;                    // held after a rename
  // The program and arguments that start the engine instead of the engine alone (it is then the
  // last argument), e.g. in another namespace.
  std::vector<std::string> wrapper = {};
};

// Starts the built engine in `dir`, its standard error into `err_path`, as `launch` says. The
// child ends with 126 when it cannot be set up, 127 when the program cannot be run.
pid_t start_engine(const fs::path& dir, const fs::path& err_path, const Launch& launch = {}) {
  std::vector<std::string> args = launch.wrapper;
  args.push_back(test::engine_path().string());
  std::vector<std::string> env;
  bool asan_options = false;
  int preload = -1;
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  if (launch.hold != nullptr) {
    // An instrumented engine accepts a library loaded before the sanitizer's run-time.
    for (std::string& e : env) {
      if (e.rfind("ASAN_OPTIONS=", 0) == 0) {
        e += ":verify_asan_link_order=0";
        asan_options = true;
      }
    }
    if (!asan_options) env.emplace_back("ASAN_OPTIONS=verify_asan_link_order=0");
    // Named through a descriptor: LD_PRELOAD splits its list at blanks, which the path of the
    // build folder may hold. The descriptor goes through every exec to the engine.
    preload = ::open(ORVA_HOLD_RENAME_LIBRARY, O_RDONLY | O_CLOEXEC);
    if (preload < 0) return -1;
    env.push_back("LD_PRELOAD=/proc/self/fd/" + std::to_string(preload));
    env.push_back("ORVA_TEST_HOLD=" + launch.hold->setting());
  }
  std::vector<char*> argv, envp;
  for (std::string& a : args) argv.push_back(a.data());
  for (std::string& e : env) envp.push_back(e.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (err < 0 || ::chdir(dir.c_str()) != 0 || ::dup2(err, 2) != 2) ::_exit(126);
    if (launch.hold != nullptr) {
      for (int fd : launch.hold->engine_ends()) {
        if (::fcntl(fd, F_SETFD, 0) != 0) ::_exit(126);
      }
      if (::fcntl(preload, F_SETFD, 0) != 0) ::_exit(126);
    }
    if (launch.file_size_limit != RLIM_INFINITY) {
      rlimit limit{};
      if (::getrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
      limit.rlim_cur = launch.file_size_limit;
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
    }
    if (launch.drop_file_privileges && test::drop_file_privileges() != 0) ::_exit(126);
    ::execvpe(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  if (preload >= 0) ::close(preload);
  if (launch.hold != nullptr) launch.hold->started();
  return pid;
}

// Waits at most `limit` for `pid` to end and returns its exit status (128 + the signal's number
// when a signal ended it); one still running then is killed and gives -1, so that a run that hangs
// fails its test instead of holding it.
int wait_for_end(pid_t pid, std::chrono::seconds limit = std::chrono::seconds(60)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  for (;;) {
    const pid_t ended = ::waitpid(pid, &status, WNOHANG);
    if (ended == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (ended < 0 || std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

// A child process, killed and reaped at the end of the scope unless it was reaped before.
struct Child {
  pid_t pid;
  ~Child() {
    if (pid > 0 && ::kill(pid, SIGKILL) == 0) ::waitpid(pid, nullptr, 0);
  }
  // Waits for its end as wait_for_end() does.
  int end_status(std::chrono::seconds limit = std::chrono::seconds(60)) {
    const int status = wait_for_end(pid, limit);
    pid = -1;
    return status;
  }
  void end() {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
  }
};

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

// ---------------------------------------------------------------------------------------------
// Failed runs never look like a success, and nothing outside the working folder is touched.

// The front end's test of a run (it reads neither the status nor the console): the report exists
// and is not empty.
bool front_end_sees_success(const fs::path& report) {
  std::error_code ec;
  const auto size = fs::file_size(report, ec);
  return !ec && size > 0;
}

// The names in `dir`, sorted; a symbolic link marked with "@", a folder with "/".
std::vector<std::string> listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
    std::string name = e.path().filename().string();
    if (e.is_symlink()) {
      name += "@";
    } else if (e.is_directory()) {
      name += "/";
    }
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The fixture `file` (three_layers.dat unless given) with the report named `name`.
std::string input_naming_report(const std::string& name,
                                const std::string& file = "three_layers.dat") {
  std::string input = fixture(file);
  const std::string report = fs::path(file).stem().string() + ".out";
  return input.replace(input.find(report), report.size(), "'" + name + "'");
}

// The working folder "work" inside a folder that stands for everything outside it, which holds
// "victim.txt".
TEST(EngineProgram, OutputsNeverLeaveTheFolderNorPassALink) {
  const std::string victim_bytes = "a file outside the working folder\n";
  using Prepare = std::function<void(const fs::path& work, const fs::path& outside)>;
  struct Case {
    const char* name;
    std::string report;  // the report's name in inp.dat
    Prepare prepare;
    int status;
    std::string err;
    std::vector<std::string> files;  // the working folder afterwards
  };
  const std::vector<std::string> all = {"DEF.OUT", "MODULI.OUT", "SESF.LAB", "inp.dat", "r.out"};
  auto folder = [](const char* name) {
    return [name](const fs::path& work, const fs::path&) { fs::create_directory(work / name); };
  };
  auto link_out = [](const char* name, const char* target) {
    return [name, target](const fs::path& work, const fs::path& outside) {
      fs::remove(work / name);
      fs::create_symlink(outside / target, work / name);
    };
  };
  auto severe = [](int n, const std::string& message, int unit, const std::string& file) {
    return "forrtl: severe (" + std::to_string(n) + "): " + message + ", unit " +
           std::to_string(unit) + ", file " + file + "\n";
  };
  const std::string denied = "permission to access file denied";
  const std::string leaves = "\" leads out of the working folder\n";
  const Case cases[] = {
      // Regression: with DEF.OUT or MODULI.OUT a folder the engine ended with status 9 but had
      // already written the whole report, so the front end showed a success.
      {"DEF.OUT a folder",
       "r.out",
       folder("DEF.OUT"),
       9,
       severe(9, denied, 2, "DEF.OUT"),
       {"DEF.OUT/", "SESF.LAB", "inp.dat"}},
      {"MODULI.OUT a folder",
       "r.out",
       folder("MODULI.OUT"),
       9,
       severe(9, denied, 2, "MODULI.OUT"),
       {"MODULI.OUT/", "SESF.LAB", "inp.dat"}},
      {"the report a link to a file outside, MODULI.OUT a folder",
       "r.out",
       [&](const fs::path& work, const fs::path& outside) {
         link_out("r.out", "victim.txt")(work, outside);
         fs::create_directory(work / "MODULI.OUT");
       },
       9,
       severe(9, denied, 2, "MODULI.OUT"),
       {"MODULI.OUT/", "SESF.LAB", "inp.dat"}},
      // Regression: the outputs were opened through a symbolic link, overwriting the file outside,
      // and a dangling link created its target outside the folder.
      {"DEF.OUT a link to a file outside", "r.out", link_out("DEF.OUT", "victim.txt"), 0, "", all},
      {"MODULI.OUT a link to a file outside",
       "r.out",
       link_out("MODULI.OUT", "victim.txt"),
       0,
       "",
       all},
      {"the report a link to a file outside", "r.out", link_out("r.out", "victim.txt"), 0, "", all},
      {"DEF.OUT a dangling link", "r.out", link_out("DEF.OUT", "none.txt"), 0, "", all},
      {"MODULI.OUT a dangling link", "r.out", link_out("MODULI.OUT", "none.txt"), 0, "", all},
      {"the report a dangling link", "r.out", link_out("r.out", "none.txt"), 0, "", all},
      {"SESF.LAB a link to a file outside",  // read, never written
       "r.out",
       link_out("SESF.LAB", "victim.txt"),
       64,
       severe(64, "input conversion error", 7, "SESF.LAB"),
       {"SESF.LAB@", "inp.dat"}},
      // Regression: a missing SESF.LAB or inp.dat was created through a dangling link, leaving an
      // empty file at the link's target outside the folder.
      {"SESF.LAB a dangling link",
       "r.out",
       link_out("SESF.LAB", "none.txt"),
       30,
       severe(30, "open failure", 7, "SESF.LAB"),
       {"SESF.LAB@", "inp.dat"}},
      {"inp.dat a dangling link",
       "r.out",
       link_out("inp.dat", "none.txt"),
       30,
       severe(30, "open failure", 1, "inp.dat"),
       {"SESF.LAB", "inp.dat@"}},
      // Regression: a report name with a ".." part left the folder: a rejected input emptied the
      // file outside, and a valid one overwrote it with the report.
      {"report name ../victim.txt",
       "../victim.txt",
       nullptr,
       2,
       "input error, file inp.dat: the report's name \"../victim.txt" + leaves,
       {"SESF.LAB", "inp.dat"}},
      {"report name sub/../../victim.txt",
       "sub/../../victim.txt",
       folder("sub"),
       2,
       "input error, file inp.dat: the report's name \"sub/../../victim.txt" + leaves,
       {"SESF.LAB", "inp.dat", "sub/"}},
      {"report name sub/x.out",
       "sub/x.out",
       folder("sub"),
       0,
       "",
       {"DEF.OUT", "MODULI.OUT", "SESF.LAB", "inp.dat", "sub/"}},
      // Regression: a report name whose folder is a symbolic link was opened through the link and
      // overwrote the file outside.
      {"report name sub/victim.txt with sub a link to the folder outside",
       "sub/victim.txt",
       [](const fs::path& work, const fs::path& outside) {
         fs::create_directory_symlink(outside, work / "sub");
       },
       30,
       severe(30, "open failure", 3, "sub/victim.txt"),
       {"SESF.LAB", "inp.dat", "sub@"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir outside;
    const fs::path work = outside / "work";
    fs::create_directory(work);
    write_file(outside / "victim.txt", victim_bytes);
    write_file(work / "SESF.LAB", kHandshake);
    write_file(work / "inp.dat", input_naming_report(c.report));
    if (c.prepare) c.prepare(work, outside.path());
    const auto r = run_engine(work);
    EXPECT_EQ(r.exit_status, c.status);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(listing(work), c.files);
    EXPECT_EQ(read_file(outside / "victim.txt"), victim_bytes);
    EXPECT_EQ(listing(outside.path()), (std::vector<std::string>{"victim.txt", "work/"}));
    if (c.report.find("victim") == std::string::npos) {  // a name the front end could give
      EXPECT_EQ(front_end_sees_success(work / c.report), c.status == 0);
    }
  }
}

// Regression: an absolute report name wrote the report (or, for a rejected input, emptied the file)
// wherever it pointed. It is refused before anything is touched, even the file it names. The name
// reaches the file outside through the engine's own current directory, so that it fits the name
// field whatever the length of TMPDIR.
TEST(EngineProgram, AbsoluteReportNameIsRejected) {
  TempDir outside;
  const fs::path work = outside / "work";
  fs::create_directory(work);
  const fs::path victim = outside / "victim.out";
  const std::string name = "/proc/self/cwd/../victim.out";
  write_file(victim, "a file outside the working folder\n");
  write_file(work / "SESF.LAB", kHandshake);
  write_file(work / "inp.dat", input_naming_report(name));
  const auto r = run_engine(work);
  EXPECT_EQ(r.exit_status, 2);
  EXPECT_EQ(r.err,
            "input error, file inp.dat: the report's name \"" + name +
                "\" leads out of the working folder\n");
  EXPECT_EQ(read_file(victim), "a file outside the working folder\n");
  EXPECT_EQ(listing(work), (std::vector<std::string>{"SESF.LAB", "inp.dat"}));
}

// The report, DEF.OUT and MODULI.OUT of a run.
struct RunFiles {
  std::string report, def, moduli;
};

// The files of a run of `input`, whose report is r.out, alone in a folder.
RunFiles outputs_of(const std::string& input) {
  TempDir dir;
  write_file(dir / "SESF.LAB", kHandshake);
  write_file(dir / "inp.dat", input);
  EXPECT_EQ(run_engine(dir.path()).exit_status, 0);
  return {read_file(dir / "r.out"), read_file(dir / "DEF.OUT"), read_file(dir / "MODULI.OUT")};
}

// Those of three_layers.dat's first data set alone.
RunFiles first_set_of_three_layers() { return outputs_of(input_naming_report("r.out")); }

// Regression: a second data set that was rejected as input emptied the whole report, the first
// set's complete records included, while its DEF.OUT and MODULI.OUT stayed. A hand-made run whose
// second data set fails keeps the complete report and result files of the first one, and its
// status says that it failed.
TEST(EngineProgram, FailureInALaterDataSetKeepsTheEarlierSetsComplete) {
  const RunFiles first = first_set_of_three_layers();
  const std::string input = input_naming_report("r.out");
  const std::string drops = input.substr(input.find("1,0,\"99:99\""));
  std::string zero_load = drops;
  zero_load.replace(zero_load.find("\"99:99\",40"), 10, "\"99:99\",0");
  struct Case {
    const char* name;
    std::string second_set;
    int status;
    std::string err;
  };
  const Case cases[] = {
      {"cut in a drop group", drops.substr(0, 30), 24, eof_line(1, "inp.dat")},
      {"drop load 0",
       zero_load,
       2,
       "input error, file inp.dat: data set 2, drop 1: load 0 kN must be above 0\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    write_file(dir / "SESF.LAB", kHandshake);
    write_file(dir / "inp.dat", input + c.second_set);
    const auto r = run_engine(dir.path());
    EXPECT_EQ(r.exit_status, c.status);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(read_file(dir / "r.out"), first.report);
    EXPECT_EQ(read_file(dir / "DEF.OUT"), first.def);
    EXPECT_EQ(read_file(dir / "MODULI.OUT"), first.moduli);
    EXPECT_EQ(listing(dir.path()),
              (std::vector<std::string>{"DEF.OUT", "MODULI.OUT", "SESF.LAB", "inp.dat", "r.out"}));
  }
}

bool has_temporary_file(const fs::path& dir) {
  for (const std::string& name : listing(dir)) {
    if (name.rfind(".orva-", 0) == 0) return true;
  }
  return false;
}

// Regression: SIGTERM and SIGHUP ended the engine with no line at all, and a signal during a later
// data set left the report cut mid-record.
// SIGTERM, SIGHUP and SIGINT during a long run (300 data sets): the control-C line and status 200;
// no temporary file and no lock file is left; a report holds only complete data sets, and none
// exists when the first data set was not complete.
TEST(EngineProgram, TerminationSignalsEndLikeControlC) {
  const RunFiles first = first_set_of_three_layers();
  const std::string input = input_naming_report("r.out");
  const size_t drops = input.find("1,0,\"99:99\"");
  std::string long_input = input;
  for (int k = 1; k < 300; ++k) long_input += input.substr(drops);
  struct Case {
    const char* name;
    int signal;
    bool after_first_set;  // signal once DEF.OUT exists; otherwise once the run has begun
  };
  const Case cases[] = {
      {"SIGTERM in a later data set", SIGTERM, true},
      {"SIGHUP in a later data set", SIGHUP, true},
      {"SIGTERM in the first data set", SIGTERM, false},
      {"SIGINT in the first data set", SIGINT, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    TempDir io;
    write_file(dir / "SESF.LAB", kHandshake);
    write_file(dir / "inp.dat", long_input);
    const pid_t pid = start_engine(dir.path(), io / "stderr");
    ASSERT_GE(pid, 0);
    for (int i = 0; i < 20000; ++i) {
      if (c.after_first_set ? fs::exists(dir / "DEF.OUT") : has_temporary_file(dir.path())) break;
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    ::kill(pid, c.signal);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 200);
    EXPECT_EQ(read_file(io / "stderr"),
              "forrtl: error (200): program aborting due to control-C event\n");
    EXPECT_FALSE(has_temporary_file(dir.path()));
    EXPECT_FALSE(fs::exists(dir / kWorkingFolderLockName));
    const std::string report = read_file(dir / "r.out");
    ASSERT_EQ(report.size() % first.report.size(), 0u);
    for (size_t at = 0; at < report.size(); at += first.report.size()) {
      EXPECT_EQ(report.compare(at, first.report.size(), first.report), 0);
    }
    if (fs::exists(dir / "r.out") || c.after_first_set) {
      EXPECT_EQ(read_file(dir / "DEF.OUT"), first.def);
      EXPECT_EQ(read_file(dir / "MODULI.OUT"), first.moduli);
    }
    if (!fs::exists(dir / "DEF.OUT")) {
      EXPECT_FALSE(front_end_sees_success(dir / "r.out"));
    }
  }
}

// Regression: the fatal signals were let through between the renames of DEF.OUT and MODULI.OUT, so
// that a SIGTERM there left this run's DEF.OUT beside the earlier MODULI.OUT. A signal that comes
// while the engine is between the two (held there) takes effect once both are published.
TEST(EngineProgram, SignalBetweenTheResultFilesLeavesThemAPair) {
  const RunFiles first = first_set_of_three_layers();
  TempDir dir;
  TempDir io;
  write_file(dir / "SESF.LAB", kHandshake);
  write_file(dir / "inp.dat", input_naming_report("r.out"));
  write_file(dir / "DEF.OUT", "earlier");
  write_file(dir / "MODULI.OUT", "earlier");
  Hold hold("DEF.OUT");
  ASSERT_TRUE(hold.ok());
  Child engine{start_engine(dir.path(), io / "stderr", {.hold = &hold})};
  ASSERT_TRUE(hold.reached());
  EXPECT_EQ(read_file(dir / "DEF.OUT"), first.def);
  EXPECT_EQ(read_file(dir / "MODULI.OUT"), "earlier");
  ASSERT_EQ(::kill(engine.pid, SIGTERM), 0);
  hold.let_go();
  EXPECT_EQ(engine.end_status(), 200);
  EXPECT_EQ(read_file(io / "stderr"),
            "forrtl: error (200): program aborting due to control-C event\n");
  EXPECT_EQ(read_file(dir / "DEF.OUT"), first.def);
  EXPECT_EQ(read_file(dir / "MODULI.OUT"), first.moduli);
  // No report: the run did not end.
  EXPECT_EQ(listing(dir.path()),
            (std::vector<std::string>{"DEF.OUT", "MODULI.OUT", "SESF.LAB", "inp.dat"}));
}

// Regression: a FIFO as "SESF.LAB" or "inp.dat" held the engine in its open() until some writer
// came, for ever when none did (Control-C was the only way out), and a device was read as a file.
// An input that is not a regular file ends the run at once with the open failure of its unit.
TEST(EngineProgram, InputsThatAreNotRegularFilesAreRefusedAtOnce) {
  const auto fifo = [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); };
  const auto device = [](const fs::path& p) { fs::create_symlink("/dev/null", p); };
  // Bound by its short name from inside its folder: a socket's path is limited to 108 bytes,
  // which a long TMPDIR would pass.
  const auto socket = [](const fs::path& p) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      std::snprintf(address.sun_path, sizeof address.sun_path, "%s", p.filename().c_str());
      const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
      ::_exit(::chdir(p.parent_path().c_str()) == 0 &&
                      ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0
                  ? 0
                  : 1);
    }
    ASSERT_EQ(wait_for_end(pid), 0) << "bind " << p;
  };
  struct Case {
    const char* name;
    const char* file;
    int unit;
    std::function<void(const fs::path&)> make;
  };
  const Case cases[] = {
      {"SESF.LAB a FIFO", "SESF.LAB", 7, fifo},
      {"inp.dat a FIFO", "inp.dat", 1, fifo},
      {"inp.dat a link to a device", "inp.dat", 1, device},
      {"SESF.LAB a socket", "SESF.LAB", 7, socket},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    TempDir io;
    write_file(dir / "SESF.LAB", kHandshake);
    fs::remove(dir / c.file);
    ASSERT_NO_FATAL_FAILURE(c.make(dir / c.file));
    const auto before = listing(dir.path());
    const pid_t pid = start_engine(dir.path(), io / "stderr");
    ASSERT_GE(pid, 0);
    EXPECT_EQ(wait_for_end(pid, std::chrono::seconds(20)), 30);
    EXPECT_EQ(read_file(io / "stderr"),
              "forrtl: severe (30): open failure, unit " + std::to_string(c.unit) + ", file " +
                  c.file + "\n");
    EXPECT_EQ(listing(dir.path()), before);
  }
}

// Regression: the engine opened a FIFO input before it looked at it, which released a writer
// waiting in open() on it; the writer was then ended by SIGPIPE. The name is examined first: the
// run ends with 30 and the writer is still waiting for a reader, which it gets afterwards.
TEST(EngineProgram, FifoInputLeavesAWaitingWriterWaiting) {
  for (const auto& [file, unit] : {std::pair{"SESF.LAB", 7}, std::pair{"inp.dat", 1}}) {
    SCOPED_TRACE(file);
    TempDir dir;
    TempDir io;
    write_file(dir / "SESF.LAB", kHandshake);
    fs::remove(dir / file);
    const fs::path fifo = dir / file;
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    Child writer{::fork()};
    if (writer.pid == 0) {
      const int fd = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
      ::_exit(fd >= 0 && ::write(fd, "waited", 6) == 6 ? 0 : 1);
    }
    ASSERT_GT(writer.pid, 0);
    const pid_t engine = start_engine(dir.path(), io / "stderr");
    ASSERT_GT(engine, 0);
    EXPECT_EQ(wait_for_end(engine, std::chrono::seconds(20)), 30);
    EXPECT_EQ(read_file(io / "stderr"),
              "forrtl: severe (30): open failure, unit " + std::to_string(unit) + ", file " + file +
                  "\n");
    EXPECT_EQ(::waitpid(writer.pid, nullptr, WNOHANG), 0) << "the writer was released";
    // A reader lets the writer go on.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    pollfd p{reader, POLLIN, 0};
    char bytes[16] = {};
    EXPECT_EQ(::poll(&p, 1, 20000), 1);
    EXPECT_EQ(::read(reader, bytes, sizeof bytes), 6);
    ::close(reader);
    EXPECT_EQ(std::string(bytes), "waited");
    EXPECT_EQ(writer.end_status(), 0);
  }
}

// The names of the temporary files in `dir`, sorted.
std::vector<std::string> temporaries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const std::string& name : listing(dir)) {
    if (name.rfind(".orva-", 0) == 0) names.push_back(name);
  }
  return names;
}

std::string temporary_name(pid_t pid, const char* rest) {
  return ".orva-" + std::to_string(pid) + rest;
}

// A process id that certainly no longer exists.
pid_t ended_process() {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(0);
  if (pid > 0) ::waitpid(pid, nullptr, 0);
  return pid;
}

// Regression: an engine ended by SIGKILL (as the front end's exit ended it) left its temporary
// files in the working folder and in the report's folder for ever; and the sweep that came to
// remove them judged an engine alive by its process id, which names no process, or another one, in
// another process-id namespace. A run removes at start the temporary files whose lock it can take:
// those of a killed engine (whose lock file it takes too), and any file of that exact name that no
// one holds, whatever process id it names (this test's included). A running engine's stay, here
// one held after its first rename and stopped in the report's folder, and so does a file that
// another process holds locked. Names that only look like a temporary file's stay, and a link (not
// followed), a folder and a FIFO (not opened) of such a name.
TEST(EngineProgram, TemporariesOfDeadEnginesAreRemovedAtStart) {
  const RunFiles first = first_set_of_three_layers();
  TempDir dir;
  TempDir io;
  const fs::path sub = dir / "sub";
  fs::create_directory(sub);
  write_file(io / "victim", "outside");
  write_file(dir / "SESF.LAB", kHandshake);
  write_file(dir / "inp.dat", input_naming_report("sub/r.out"));

  // An engine killed after publishing DEF.OUT leaves the temporary files of MODULI.OUT and of the
  // report, and its lock file.
  {
    Hold hold("DEF.OUT");
    ASSERT_TRUE(hold.ok());
    Child killed{start_engine(dir.path(), io / "killed", {.hold = &hold})};
    ASSERT_TRUE(hold.reached());
    killed.end();
  }
  ASSERT_EQ(temporaries(dir.path()).size(), 1u);
  ASSERT_EQ(temporaries(sub).size(), 1u);
  ASSERT_TRUE(fs::exists(dir / kWorkingFolderLockName));
  const std::vector<std::string> of_killed = temporaries(sub);

  // An engine running in the report's folder, held after its first rename, then stopped.
  write_file(sub / "SESF.LAB", kHandshake);
  write_file(sub / "inp.dat", input_naming_report("l.out"));
  Hold hold("DEF.OUT");
  ASSERT_TRUE(hold.ok());
  Child running{start_engine(sub, io / "running", {.hold = &hold})};
  ASSERT_TRUE(hold.reached());
  ASSERT_EQ(::kill(running.pid, SIGSTOP), 0);
  std::vector<std::string> of_running;
  std::ranges::set_difference(temporaries(sub), of_killed, std::back_inserter(of_running));
  ASSERT_EQ(of_running.size(), 2u);

  const pid_t dead = ended_process();
  ASSERT_GT(dead, 0);
  const std::vector<fs::path> removed = {
      dir / temporary_name(dead, "-0-0.tmp"),
      dir / temporary_name(dead, "-15-99.tmp"),
      sub / temporary_name(dead, "-2-1.tmp"),
      dir / temporary_name(::getpid(), "-3-0.tmp"),
  };
  const std::vector<std::string> kept_here = {
      temporary_name(dead, "-16-0.tmp"),
      temporary_name(dead, "-0-100.tmp"),
      temporary_name(dead, "-0-0.tmp~"),
      temporary_name(dead, "-0-0.tmp").substr(1),
      ".orva-0" + std::to_string(dead) + "-0-0.tmp",
      temporary_name(dead, "-5-0.tmp"),  // locked below
  };
  for (const fs::path& p : removed) write_file(p, "of a dead engine");
  for (const std::string& name : kept_here) write_file(dir / name, "kept");
  const int locked = ::open((dir / kept_here.back()).c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(locked, 0);
  EXPECT_EQ(::flock(locked, LOCK_EX), 0);
  fs::create_symlink(io / "victim", dir / temporary_name(dead, "-1-0.tmp"));
  fs::create_directory(dir / temporary_name(dead, "-4-0.tmp"));
  ASSERT_EQ(::mkfifo((dir / temporary_name(dead, "-6-0.tmp")).c_str(), 0600), 0);

  const auto r = run_engine(dir.path());
  ::close(locked);
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.err, "");
  for (const fs::path& p : removed) EXPECT_FALSE(fs::exists(fs::symlink_status(p))) << p;
  EXPECT_EQ(read_file(sub / "r.out"), first.report);
  EXPECT_EQ(read_file(dir / "DEF.OUT"), first.def);
  EXPECT_EQ(read_file(dir / "MODULI.OUT"), first.moduli);
  std::vector<std::string> expected = {"DEF.OUT",
                                       "MODULI.OUT",
                                       "SESF.LAB",
                                       "inp.dat",
                                       "sub/",
                                       temporary_name(dead, "-1-0.tmp@"),
                                       temporary_name(dead, "-4-0.tmp/"),
                                       temporary_name(dead, "-6-0.tmp")};
  expected.insert(expected.end(), kept_here.begin(), kept_here.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(listing(dir.path()), expected);
  // The running engine's lock file, temporary files and the DEF.OUT it has published.
  expected = {kWorkingFolderLockName, "DEF.OUT", "SESF.LAB", "inp.dat", "r.out"};
  expected.insert(expected.end(), of_running.begin(), of_running.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(listing(sub), expected);
  EXPECT_EQ(read_file(io / "victim"), "outside");

  // The running engine goes on and ends normally.
  ::kill(running.pid, SIGCONT);
  hold.let_go();
  EXPECT_EQ(running.end_status(), 0);
  EXPECT_EQ(read_file(io / "running"), "");
  EXPECT_EQ(read_file(sub / "l.out"), first.report);
  EXPECT_EQ(read_file(sub / "DEF.OUT"), first.def);
  EXPECT_EQ(
      listing(sub),
      (std::vector<std::string>{"DEF.OUT", "MODULI.OUT", "SESF.LAB", "inp.dat", "l.out", "r.out"}));
}

// A temporary file of another user is never touched, even one that no engine holds.
TEST(EngineProgram, AnotherUsersTemporaryFileStays) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  TempDir dir;
  write_file(dir / "SESF.LAB", kHandshake);
  write_file(dir / "inp.dat", input_naming_report("r.out"));
  const fs::path other = dir / temporary_name(ended_process(), "-0-0.tmp");
  write_file(other, "of another user");
  if (::chown(other.c_str(), 54321, 54321) != 0) {
    GTEST_SKIP() << "chown to another user: " << std::strerror(errno)
                 << " (as root of a user namespace that maps no other user)";
  }
  EXPECT_EQ(run_engine(dir.path()).exit_status, 0);
  EXPECT_EQ(read_file(other), "of another user");
}

// Regression: the start-up sweep took an engine for dead when kill(pid, 0) found no process of
// that id, which is what it finds for a live engine in another process-id namespace (a container
// that shares the folder); the live engine's temporary file was removed and its run ended with 29.
// Each way round: an engine held after its first rename in one namespace, and a run in the folder
// of its report in the other. The held engine's temporary file stays and its run ends normally.
TEST(EngineProgram, ARunningEngineInAnotherPidNamespaceKeepsItsTemporaries) {
  // The engine's process id in the new namespace: a high one, which no process of this
  // namespace is likely to have, where the namespace lets it be set.
  std::ifstream pid_max_file("/proc/sys/kernel/pid_max");
  long pid_max = 32768;
  pid_max_file >> pid_max;
  std::vector<std::string> in_namespace = {
      "unshare", "--pid", "--fork", "--kill-child", "--mount-proc"};
  if (::geteuid() != 0) in_namespace.emplace_back("--map-root-user");
  {
    TempDir probe;
    Launch launch{.wrapper = in_namespace};
    launch.wrapper.emplace_back("true");  // given the engine's name, which it ignores
    if (const int status = wait_for_end(start_engine(probe.path(), probe / "err", launch));
        status != 0) {
      GTEST_SKIP() << "no process-id namespace can be made here: unshare ended with " << status
                   << (status == 127 ? " (not found)" : "") << " " << read_file(probe / "err");
    }
  }
  in_namespace.insert(
      in_namespace.end(),
      {"sh",
       "-c",
       "{ echo \"$1\" > /proc/sys/kernel/ns_last_pid; } 2>/dev/null; \"$2\" & wait $!",
       "sh",
       std::to_string(pid_max - 100)});

  const RunFiles first = first_set_of_three_layers();
  for (const bool held_inside : {false, true}) {
    SCOPED_TRACE(held_inside ? "held engine in the new namespace" : "sweep in the new namespace");
    TempDir dir;
    TempDir io;
    const fs::path sub = dir / "sub";
    fs::create_directory(sub);
    write_file(dir / "SESF.LAB", kHandshake);
    write_file(dir / "inp.dat", input_naming_report("sub/h.out"));
    write_file(sub / "SESF.LAB", kHandshake);
    write_file(sub / "inp.dat", input_naming_report("s.out"));
    Hold hold("DEF.OUT");
    ASSERT_TRUE(hold.ok());
    Launch held_launch{.hold = &hold};
    Launch sweep_launch;
    (held_inside ? held_launch : sweep_launch).wrapper = in_namespace;
    Child held{start_engine(dir.path(), io / "held", held_launch)};
    ASSERT_TRUE(hold.reached()) << read_file(io / "held");
    const std::vector<std::string> report_temporary = temporaries(sub);
    ASSERT_EQ(report_temporary.size(), 1u);

    const pid_t sweep = start_engine(sub, io / "sweep", sweep_launch);
    EXPECT_EQ(wait_for_end(sweep), 0) << read_file(io / "sweep");
    EXPECT_EQ(temporaries(sub), report_temporary);
    hold.let_go();
    EXPECT_EQ(held.end_status(), 0);
    EXPECT_EQ(read_file(io / "held"), "");
    EXPECT_EQ(read_file(sub / "h.out"), first.report);
    EXPECT_EQ(read_file(sub / "s.out"), first.report);
  }
}

// Whether `pid` is waiting in flock(2), as /proc/PID/syscall shows, within `limit`; false when it
// ended or went on.
bool waits_in_flock(pid_t pid, std::chrono::seconds limit = std::chrono::seconds(60)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  const std::string syscall_file = "/proc/" + std::to_string(pid) + "/syscall";
  const std::string flock_call = std::to_string(SYS_flock) + " ";
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string now = read_file(syscall_file);
    if (now.rfind(flock_call, 0) == 0) return true;
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        info.si_pid == pid) {
      return false;  // ended
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

ino_t inode_of(const fs::path& p) {
  struct stat st {};
  return ::lstat(p.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Regression: a second engine started in a folder while the first was publishing ran beside it,
// and the folder was left with DEF.OUT of one run and MODULI.OUT of the other. One analysis at a
// time in a folder: an engine held between its DEF.OUT and its MODULI.OUT holds the folder; a
// second engine started then waits for it and runs after it, on the input it finds then; a third,
// ended by SIGTERM while it waits, ends as ever (200) and leaves the holder's lock file alone.
// Afterwards the report, DEF.OUT and MODULI.OUT are all the second run's, and no lock file is
// left.
TEST(EngineProgram, ASecondEngineInTheFolderWaitsForTheFirst) {
  if (read_file("/proc/self/syscall").empty()) {
    GTEST_SKIP() << "/proc/PID/syscall cannot be read here: a waiting engine cannot be seen";
  }
  const std::string one_input = input_naming_report("r.out");
  const std::string other_input = input_naming_report("r.out", "one_layer.dat");
  const RunFiles one = outputs_of(one_input);
  const RunFiles other = outputs_of(other_input);
  ASSERT_NE(one.def, other.def);
  ASSERT_NE(one.moduli, other.moduli);
  ASSERT_NE(one.report, other.report);
  TempDir dir;
  TempDir io;
  write_file(dir / "SESF.LAB", kHandshake);
  write_file(dir / "inp.dat", one_input);
  Hold hold("DEF.OUT");
  ASSERT_TRUE(hold.ok());
  Child first{start_engine(dir.path(), io / "first", {.hold = &hold})};
  ASSERT_TRUE(hold.reached());
  EXPECT_EQ(read_file(dir / "DEF.OUT"), one.def);
  const ino_t lock = inode_of(dir / kWorkingFolderLockName);
  EXPECT_NE(lock, 0u);

  write_file(dir / "inp.dat", other_input);
  Child second{start_engine(dir.path(), io / "second")};
  ASSERT_TRUE(waits_in_flock(second.pid)) << "the second engine did not wait";
  Child third{start_engine(dir.path(), io / "third")};
  ASSERT_TRUE(waits_in_flock(third.pid)) << "the third engine did not wait";
  ::kill(third.pid, SIGTERM);
  EXPECT_EQ(third.end_status(), 200);
  EXPECT_EQ(read_file(io / "third"),
            "forrtl: error (200): program aborting due to control-C event\n");
  EXPECT_EQ(inode_of(dir / kWorkingFolderLockName), lock);

  hold.let_go();
  EXPECT_EQ(first.end_status(), 0);
  EXPECT_EQ(second.end_status(), 0);
  EXPECT_EQ(read_file(io / "first") + read_file(io / "second"), "");
  EXPECT_EQ(read_file(dir / "r.out"), other.report);
  EXPECT_EQ(read_file(dir / "DEF.OUT"), other.def);
  EXPECT_EQ(read_file(dir / "MODULI.OUT"), other.moduli);
  EXPECT_EQ(listing(dir.path()),
            (std::vector<std::string>{"DEF.OUT", "MODULI.OUT", "SESF.LAB", "inp.dat", "r.out"}));
}

// A lock file's name that is not a regular file is never followed, opened or removed: the run
// ends at once with the open failure on unit 7, and nothing else is touched.
TEST(EngineProgram, LockFileNameThatIsNoRegularFileEndsTheRun) {
  using Make = std::function<void(const fs::path& lock, const fs::path& outside)>;
  struct Case {
    const char* name;
    Make make;
  };
  const Case cases[] = {
      {"a link to a file outside",
       [](const fs::path& lock, const fs::path& outside) {
         fs::create_symlink(outside / "victim", lock);
       }},
      {"a dangling link",
       [](const fs::path& lock, const fs::path& outside) {
         fs::create_symlink(outside / "none", lock);
       }},
      {"a folder", [](const fs::path& lock, const fs::path&) { fs::create_directory(lock); }},
      {"a FIFO",
       [](const fs::path& lock, const fs::path&) { ASSERT_EQ(::mkfifo(lock.c_str(), 0600), 0); }},
      {"a link to a device",
       [](const fs::path& lock, const fs::path&) { fs::create_symlink("/dev/null", lock); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    TempDir io;
    write_file(io / "victim", "outside");
    write_file(dir / "SESF.LAB", kHandshake);
    write_file(dir / "inp.dat", input_naming_report("r.out"));
    ASSERT_NO_FATAL_FAILURE(c.make(dir / kWorkingFolderLockName, io.path()));
    const auto before = listing(dir.path());
    const pid_t pid = start_engine(dir.path(), io / "stderr");
    ASSERT_GT(pid, 0);
    EXPECT_EQ(wait_for_end(pid, std::chrono::seconds(20)), 30);
    EXPECT_EQ(read_file(io / "stderr"),
              std::string("forrtl: severe (30): open failure, unit 7, file ") +
                  kWorkingFolderLockName + "\n");
    EXPECT_EQ(listing(dir.path()), before);
    EXPECT_FALSE(fs::exists(io / "none"));
    EXPECT_EQ(read_file(io / "victim"), "outside");
  }
}

// The earlier report, DEF.OUT and MODULI.OUT of a run in `dir` of three_layers.dat, whose report is
// r.out; each holds "earlier".
void write_earlier_files(const fs::path& dir) {
  write_file(dir / "SESF.LAB", kHandshake);
  write_file(dir / "inp.dat", input_naming_report("r.out"));
  for (const char* name : {"r.out", "DEF.OUT", "MODULI.OUT"}) write_file(dir / name, "earlier");
}

// An earlier file that the run may not replace, and what the run then gives.
struct Refusal {
  const char* file;    // the earlier file kept
  std::string err;     // the run's line
  const char* report;  // the report afterwards: nullptr for none
};

const std::string kDenied = "forrtl: severe (9): permission to access file denied, unit ";

// clang-format off
const Refusal kRefusals[] = {
    {"r.out",      kDenied + "3, file r.out\n",      "earlier"},
    {"DEF.OUT",    kDenied + "2, file DEF.OUT\n",    nullptr},
    {"MODULI.OUT", kDenied + "2, file MODULI.OUT\n", nullptr},
};
// clang-format on

// Runs the engine in `dir` (prepared by write_earlier_files) and checks the refusal: status 9 and
// its line, the report as the refusal says, DEF.OUT and MODULI.OUT as they were (nothing was
// published), no temporary file and no lock file left.
void expect_earlier_files_kept(const fs::path& dir, const Refusal& refusal, const Launch& launch) {
  TempDir io;
  const pid_t pid = start_engine(dir, io / "stderr", launch);
  ASSERT_GT(pid, 0);
  EXPECT_EQ(wait_for_end(pid), 9);
  EXPECT_EQ(read_file(io / "stderr"), refusal.err);
  if (refusal.report != nullptr) {
    EXPECT_EQ(read_file(dir / "r.out"), refusal.report);
  } else {
    EXPECT_FALSE(fs::exists(dir / "r.out"));
  }
  EXPECT_EQ(read_file(dir / "DEF.OUT"), "earlier");
  EXPECT_EQ(read_file(dir / "MODULI.OUT"), "earlier");
  std::vector<std::string> names = {"DEF.OUT", "MODULI.OUT", "SESF.LAB", "inp.dat"};
  if (refusal.report != nullptr) names.emplace_back("r.out");
  EXPECT_EQ(listing(dir), names);
}

// Regression: a read-only earlier DEF.OUT or MODULI.OUT stopped the run with status 9 and was
// kept, while a read-only earlier report was removed and replaced. One rule for the three: a
// read-only earlier file is kept, for root too, and the run ends with status 9 where it would be
// written, after its unit's line.
TEST(EngineProgram, ReadOnlyEarlierFilesAreKept) {
  for (const Refusal& refusal : kRefusals) {
    SCOPED_TRACE(refusal.file);
    TempDir dir;
    write_earlier_files(dir.path());
    ASSERT_EQ(::chmod((dir / refusal.file).c_str(), 0444), 0);
    ASSERT_NO_FATAL_FAILURE(expect_earlier_files_kept(dir.path(), refusal, {}));
  }
  // The same run with every earlier file writable replaces all three.
  const RunFiles first = first_set_of_three_layers();
  TempDir dir;
  write_earlier_files(dir.path());
  EXPECT_EQ(run_engine(dir.path()).exit_status, 0);
  EXPECT_EQ(read_file(dir / "r.out"), first.report);
  EXPECT_EQ(read_file(dir / "DEF.OUT"), first.def);
  EXPECT_EQ(read_file(dir / "MODULI.OUT"), first.moduli);
}

// A working folder that may not be written: the lock file cannot be created, the run goes on
// without it and ends with 9 where it opens the report; the earlier report stays. Root runs the
// engine without the capabilities that would let it write there.
TEST(EngineProgram, FolderThatMayNotBeWrittenKeepsTheEarlierFiles) {
  const bool root = ::geteuid() == 0;
  if (root) {
    const std::string why = test::file_privileges_cannot_be_dropped(test::engine_path());
    if (!why.empty()) GTEST_SKIP() << why;
  }
  TempDir dir;
  write_earlier_files(dir.path());
  ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
  // Writable again before the folder is removed, whatever happens.
  const std::unique_ptr<const fs::path, void (*)(const fs::path*)> writable_again(
      &dir.path(), [](const fs::path* p) { ::chmod(p->c_str(), 0700); });
  expect_earlier_files_kept(dir.path(),
                            {nullptr, kDenied + "3, file r.out\n", "earlier"},
                            {.drop_file_privileges = root});
}

// Sets (or clears) the inode flag `flag` (FS_IMMUTABLE_FL, FS_APPEND_FL) of the file `p` as chattr
// does; 0 or the errno.
int set_inode_flag(const fs::path& p, int flag, bool on) {
  const int fd = ::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  int flags = 0;
  int error = 0;
  if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) {
    error = errno;
  } else {
    flags = on ? flags | flag : flags & ~flag;
    if (::ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0) error = errno;
  }
  ::close(fd);
  return error;
}

// An inode flag set on a file for the scope: cleared at its end, whatever happened, so that the
// file and its folder can be removed.
class InodeFlag {
 public:
  InodeFlag(fs::path p, int flag) : path_(std::move(p)), flag_(flag) {
    error_ = set_inode_flag(path_, flag_, true);
  }
  ~InodeFlag() {
    if (error_ == 0) set_inode_flag(path_, flag_, false);
  }
  InodeFlag(const InodeFlag&) = delete;
  InodeFlag& operator=(const InodeFlag&) = delete;
  int error() const { return error_; }

 private:
  fs::path path_;
  int flag_;
  int error_;
};

// Regression: an immutable or append-only earlier file (chattr +i, +a) was not seen as read-only:
// faccessat answers EPERM for it, not EACCES. With MODULI.OUT so, DEF.OUT was published and the
// run ended with 9 only at the rename of MODULI.OUT, leaving a new DEF.OUT beside the old
// MODULI.OUT. Such files are refused as read-only ones are, before anything is published.
TEST(EngineProgram, ImmutableAndAppendOnlyEarlierFilesAreKept) {
  struct Flag {
    const char* name;
    int flag;
  };
  for (const Flag& f : {Flag{"immutable", FS_IMMUTABLE_FL}, Flag{"append-only", FS_APPEND_FL}}) {
    TempDir probe;
    write_file(probe / "file", "");
    if (const int error = InodeFlag(probe / "file", f.flag).error(); error != 0) {
      GTEST_SKIP() << "a file cannot be made " << f.name << " here (" << std::strerror(error)
                   << "): it takes CAP_LINUX_IMMUTABLE and a file system that has the flag";
    }
  }
  for (const Flag& f : {Flag{"immutable", FS_IMMUTABLE_FL}, Flag{"append-only", FS_APPEND_FL}}) {
    for (const Refusal& refusal : kRefusals) {
      SCOPED_TRACE(std::string(f.name) + " " + refusal.file);
      TempDir dir;
      write_earlier_files(dir.path());
      const InodeFlag flag(dir / refusal.file, f.flag);
      ASSERT_EQ(flag.error(), 0) << std::strerror(flag.error());
      ASSERT_NO_FATAL_FAILURE(expect_earlier_files_kept(dir.path(), refusal, {}));
    }
  }
}

// Regression: past the file-size limit (ulimit -f) the engine was ended by SIGXFSZ: status 153, no
// line, its temporary file left behind. The write fails instead: status 38 and its line, no
// temporary file; after a first complete data set the report keeps it, beside its result files.
TEST(EngineProgram, FileSizeLimitEndsWithAWriteError) {
  const RunFiles first = first_set_of_three_layers();
  const std::string one = input_naming_report("r.out");
  const std::string two = one + one.substr(one.find("1,0,\"99:99\""));
  struct Case {
    const char* name;
    std::string input;
    rlim_t limit;
    const RunFiles* left;  // the files afterwards, nullptr for none
  };
  const Case cases[] = {
      {"in the first data set", one, 512, nullptr},
      {"in the second data set", two, first.report.size() * 3 / 2, &first},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    TempDir io;
    write_file(dir / "SESF.LAB", kHandshake);
    write_file(dir / "inp.dat", c.input);
    const pid_t pid = start_engine(dir.path(), io / "stderr", {.file_size_limit = c.limit});
    ASSERT_GT(pid, 0);
    EXPECT_EQ(wait_for_end(pid), 38);
    EXPECT_EQ(read_file(io / "stderr"),
              "forrtl: severe (38): error during write, unit 3, file r.out\n");
    if (c.left == nullptr) {
      EXPECT_EQ(listing(dir.path()), (std::vector<std::string>{"SESF.LAB", "inp.dat"}));
    } else {
      EXPECT_EQ(read_file(dir / "r.out"), c.left->report);
      EXPECT_EQ(read_file(dir / "DEF.OUT"), c.left->def);
      EXPECT_EQ(read_file(dir / "MODULI.OUT"), c.left->moduli);
      EXPECT_EQ(
          listing(dir.path()),
          (std::vector<std::string>{"DEF.OUT", "MODULI.OUT", "SESF.LAB", "inp.dat", "r.out"}));
    }
  }
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

// Regression: a disk that filled during a run ended with status 38 but left the report cut short
// (at 4096 to 16384 bytes, its tail still in the stdio buffer), which the front end took for a
// success.
// A device that fills up anywhere in a run's output, or a close that fails: status 38 and its line;
// no half-written file is left; DEF.OUT and MODULI.OUT are the earlier run's or complete ones of
// this run. A one-set run leaves no report; a two-set run leaves one only after a failure in its
// second data set, and then it is the first set's complete report beside the first set's results.
TEST(EngineMain, WriteFailureAnywhereLeavesNoHalfWrittenFile) {
  const std::string one = read_file(test::test_data_dir() / "golden" / "all_held.dat");
  const std::string two =
      one + "1,0,\"99:99\",50\r\n600\r\n380\r\n230\r\n100\r\n999.9,\"Run2\"\r\n";
  const std::string old_report = "report of an earlier run\r\n";
  const std::string old_def = "DEF.OUT of an earlier run\r\n";
  const std::string old_moduli = "MODULI.OUT of an earlier run\r\n";
  struct Files {
    std::string report, def, moduli;
    std::vector<std::string> names;
    bool operator==(const Files&) const = default;
  };
  // One in-process run in a fresh folder holding the earlier run's files.
  auto run = [&](const std::string& input, test::FailingSink& sink, std::string& line) {
    TempDir dir;
    InFolder in(dir.path());
    write_file("SESF.LAB", kHandshake);
    write_file("inp.dat", input);
    write_file("golden.out", old_report);
    write_file("DEF.OUT", old_def);
    write_file("MODULI.OUT", old_moduli);
    std::ostringstream err;
    const int status = engine_main(err, sink);
    line = err.str();
    Files files{fs::exists("golden.out") ? read_file("golden.out") : "(none)",
                read_file("DEF.OUT"),
                read_file("MODULI.OUT"),
                listing(dir.path())};
    return std::make_pair(status, files);
  };
  const std::regex write_error(
      "forrtl: severe \\(38\\): error during write, unit (2, file (DEF|MODULI)\\.OUT|3, file "
      "golden\\.out)\n");
  const std::vector<std::string> names = {"DEF.OUT", "MODULI.OUT", "SESF.LAB", "inp.dat"};
  std::vector<std::string> names_with_report = names;
  names_with_report.push_back("golden.out");
  std::sort(names_with_report.begin(), names_with_report.end());

  // Complete runs of the first data set and of both.
  std::string line;
  test::FailingSink first_sink, both_sink;
  const auto [first_status, first] = run(one, first_sink, line);
  const auto [both_status, both] = run(two, both_sink, line);
  ASSERT_EQ(first_status, 0);
  ASSERT_EQ(both_status, 0);
  ASSERT_NE(first.def, both.def);
  ASSERT_NE(both.report, first.report);

  for (const auto* input : {&one, &two}) {
    const bool two_sets = input == &two;
    const test::FailingSink& complete = two_sets ? both_sink : first_sink;
    // The budgets: each write's first byte and a byte inside it, across the whole output.
    std::vector<size_t> budgets;
    size_t total = 0;
    for (size_t size : complete.writes) {
      budgets.push_back(total);
      if (size > 1) budgets.push_back(total + size / 2);
      total += size;
    }
    std::vector<std::pair<size_t, int>> faults;  // budget, failing close
    for (size_t budget : budgets) faults.emplace_back(budget, 0);
    for (int k = 1; k <= complete.closes; ++k) faults.emplace_back(total, k);
    int reports_kept = 0;
    for (const auto& [budget, failing_close] : faults) {
      SCOPED_TRACE(std::string(two_sets ? "two sets" : "one set") + ", budget " +
                   std::to_string(budget) + ", failing close " + std::to_string(failing_close));
      test::FailingSink sink;
      sink.budget = budget;
      sink.failing_close = failing_close;
      const auto [status, files] = run(*input, sink, line);
      EXPECT_EQ(status, 38);
      EXPECT_TRUE(std::regex_match(line, write_error)) << line;
      const bool kept = files.report != "(none)";
      if (kept) {
        ++reports_kept;
        EXPECT_TRUE(two_sets);
        EXPECT_EQ(files, (Files{first.report, first.def, first.moduli, names_with_report}));
      } else {
        EXPECT_EQ(files.names, names);
        EXPECT_TRUE((files.def == old_def && files.moduli == old_moduli) ||
                    (files.def == first.def && files.moduli == first.moduli) ||
                    (files.def == both.def && files.moduli == both.moduli));
      }
    }
    EXPECT_EQ(reports_kept > 0, two_sets);
    // With the whole output taken, the run is complete.
    test::FailingSink sink;
    sink.budget = total;
    EXPECT_EQ(run(*input, sink, line).second, two_sets ? both : first);
  }
}

}  // namespace
}  // namespace orva
