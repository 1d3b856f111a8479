// Helpers for engine tests: a temporary folder and a run of the built ORVA-V4 in it.
#pragma once

#include <filesystem>
#include <string>

namespace orva::test {

// A fresh folder under the system's temporary directory, removed with its contents on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

std::filesystem::path engine_path();    // ORVA_PROGRAM_DIR/ORVA-V4
std::filesystem::path test_data_dir();  // tests/data

struct RunResult {
  int exit_status = -1;  // exit code, or 128 + signal number
  std::string out;       // standard output
  std::string err;       // standard error
};

// Runs program (default: the built ORVA-V4) with `dir` as current directory and standard input
// from `input` (empty: end of input at once).
RunResult run_engine(const std::filesystem::path& dir,
                     const std::string& input = "",
                     const std::filesystem::path& program = engine_path());

std::string read_file(const std::filesystem::path& p);  // bytes; empty when missing
void write_file(const std::filesystem::path& p, const std::string& bytes);

}  // namespace orva::test
