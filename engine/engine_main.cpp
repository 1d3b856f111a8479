#include "engine_main.h"

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

extern "C" void on_fatal_signal(int) {
  remove_temporary_output_files();
  remove_working_folder_lock();
  static const char line[] = "forrtl: error (200): program aborting due to control-C event\n";
  const ssize_t written = ::write(STDERR_FILENO, line, sizeof line - 1);
  (void)written;
  ::_exit(kInterruptStatus);
}

// Control-C, and the ends that stand for closing the console (SIGHUP) or stopping the program
// (SIGTERM). SIGXFSZ is ignored: a write past the file-size limit then fails (EFBIG) and ends the
// run with its error line, instead of the signal ending the process with its temporary files left.
void install_signal_handlers() {
  struct sigaction action {};
  action.sa_handler = on_fatal_signal;
  sigemptyset(&action.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, s);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(s, &action, nullptr);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGXFSZ, &ignore, nullptr);
}

// The report's file name: the name field without trailing blanks, Shift-JIS to UTF-8.
std::string report_path(const InputData& input) {
  const std::string name = trimmed_report_name(input);
  std::optional<std::string> utf8 = cp932_to_utf8(name);
  if (!utf8) throw runtime_failure(kBadFileName, 3, name);
  return *utf8;
}

// Once the report's name is known: an earlier report of that name is removed, so that it is not
// taken for this run's result. Nothing is touched for a name that the reader refuses.
void remove_earlier_report(const InputData& input) {
  const std::string name = trimmed_report_name(input);
  if (name.empty() || is_engine_file(name) || leaves_working_folder(name)) return;
  if (std::optional<std::string> path = cp932_to_utf8(name)) remove_output_file(*path);
}

// After a failure: no half-written file is left; the report keeps the data sets completed before.
void end_failed_run(EngineRun& run) {
  run.results.discard();
  run.report.publish_complete();
}

}  // namespace

int engine_main(std::ostream& err, OutputSink& sink) {
  install_signal_handlers();
  // Declared before the run: the run's files are settled before the folder is let go.
  WorkingFolderLock folder_lock;
  EngineRun run(sink);
  try {
    folder_lock.acquire(kHandshakeUnit);
    remove_dead_temporary_files_beside("DEF.OUT");  // the working folder
    int32_t launch_code = 0;
    {
      InputUnit handshake;
      handshake.open(kHandshakeUnit, "SESF.LAB");
      ListRead(handshake).read(launch_code);
    }
    if (launch_code != kLaunchCode) return 0;

    int32_t regularization_flag = 0;
    try {
      read_input(run.input_file, run.input, run.data, regularization_flag);
    } catch (...) {
      remove_earlier_report(run.input);
      throw;
    }
    remove_earlier_report(run.input);
    const std::string report = report_path(run.input);
    if (report.find('/') != std::string::npos) remove_dead_temporary_files_beside(report);
    run.report.open(3, report);

    DriverContext driver{
        run.input, run.data, run.model, run.svd, run.solver, run.report, run.results};
    int32_t set_index = 1;
    int32_t end_of_input = 0;
    read_data_set(run.input_file, run.input, run.data, end_of_input, set_index);
    while (end_of_input != 1) {
      back_calculate(driver, set_index, regularization_flag);
      run.report.mark_complete();
      ++set_index;
      read_data_set(run.input_file, run.input, run.data, end_of_input, set_index);
    }
    try {
      run.report.close();
    } catch (const RuntimeFailure&) {
      run.report.discard();  // a report whose file failed to close is not published at all
      throw;
    }
    return 0;
  } catch (const RuntimeFailure& failure) {
    end_failed_run(run);
    err << failure_line(failure) << '\n';
    return failure.number;
  } catch (const InputRejected& rejected) {
    end_failed_run(run);
    err << "input error, file inp.dat: " << rejected.message << '\n';
    return kInputRejectedStatus;
  } catch (const BackCalculationError& error) {
    end_failed_run(run);
    err << "back-calculation error: " << error.what() << '\n';
    return kBackCalculationFailureStatus;
  } catch (const std::bad_alloc&) {
    end_failed_run(run);
    err << "ORVA-V4: not enough memory for the engine's arrays\n";
    return kOutOfMemoryStatus;
  }
}

int engine_main(std::ostream& err) { return engine_main(err, system_sink()); }

int engine_main() { return engine_main(std::cerr); }

}  // namespace orva
