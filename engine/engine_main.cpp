#include "engine_main.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <iostream>
#include <new>
#include <optional>
#include <string>

#include "cp932.h"
#include "driver.h"
#include "input_reader.h"
#include "runtime_failure.h"

namespace orva {

namespace {

constexpr int kInterruptStatus = 200;
// Exit status when the engine's arrays cannot be obtained.
constexpr int kOutOfMemoryStatus = 3;

extern "C" void on_interrupt(int) {
  static const char line[] = "forrtl: error (200): program aborting due to control-C event\n";
  const ssize_t written = ::write(STDERR_FILENO, line, sizeof line - 1);
  (void)written;
  ::_exit(kInterruptStatus);
}

void install_interrupt_handler() {
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
}

// The report's file name: the name field without trailing blanks, Shift-JIS to UTF-8.
std::string report_path(const InputData& input) {
  const std::string name = trimmed_report_name(input);
  std::optional<std::string> utf8 = cp932_to_utf8(name);
  if (!utf8) throw runtime_failure(kBadFileName, 3, name);
  return *utf8;
}

// After a failure once the report's name is known: an existing report of that name is emptied, so
// that a report of an earlier run is not taken for this run's result.
void empty_report(EngineRun& run) {
  try {
    run.report.close();
  } catch (const RuntimeFailure&) {
  }
  const std::string name = trimmed_report_name(run.input);
  if (name.empty() || is_engine_file(name)) return;
  std::optional<std::string> path = cp932_to_utf8(name);
  if (!path) return;
  const int fd = ::open(path->c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd >= 0) ::close(fd);
}

}  // namespace

int engine_main(std::ostream& err) {
  install_interrupt_handler();
  EngineRun run;
  try {
    int32_t launch_code = 0;
    {
      InputUnit handshake;
      handshake.open(7, "SESF.LAB");
      ListRead(handshake).read(launch_code);
    }
    if (launch_code != kLaunchCode) return 0;

    int32_t regularization_flag = 0;
    try {
      read_input(run.input_file, run.input, run.data, regularization_flag);
    } catch (...) {
      empty_report(run);
      throw;
    }
    run.report.open(3, report_path(run.input));

    DriverContext driver{
        run.input, run.data, run.model, run.svd, run.solver, run.report, run.results};
    int32_t set_index = 1;
    int32_t end_of_input = 0;
    read_data_set(run.input_file, run.input, run.data, end_of_input, set_index);
    while (end_of_input != 1) {
      back_calculate(driver, set_index, regularization_flag);
      ++set_index;
      read_data_set(run.input_file, run.input, run.data, end_of_input, set_index);
    }
    run.report.close();
    return 0;
  } catch (const RuntimeFailure& failure) {
    err << failure_line(failure) << '\n';
    return failure.number;
  } catch (const InputRejected& rejected) {
    empty_report(run);
    err << "input error, file inp.dat: " << rejected.message << '\n';
    return kInputRejectedStatus;
  } catch (const BackCalculationError& error) {
    err << "back-calculation error: " << error.what() << '\n';
    return kBackCalculationFailureStatus;
  } catch (const std::bad_alloc&) {
    empty_report(run);
    err << "ORVA-V4: not enough memory for the engine's arrays\n";
    return kOutOfMemoryStatus;
  }
}

int engine_main() { return engine_main(std::cerr); }

}  // namespace orva
