// The engine program: the launch handshake, the input, the iteration report and the loop over the
// data sets of "inp.dat", all in the current directory.
#pragma once

#include <cstdint>
#include <ostream>

#include "engine_state.h"
#include "fortran_io.h"
#include "forward_model.h"
#include "solvers.h"

namespace orva {

// Launch code that "SESF.LAB" must hold; any other value stops the engine silently.
inline constexpr int32_t kLaunchCode = 2958;

// The unit of "SESF.LAB", the first file of a run; the working folder's lock file, taken just
// before it, is reported on it too.
inline constexpr int kHandshakeUnit = 7;

// Everything one run owns: the input data set, the current data set with its history tables, the
// input file (unit 1), the iteration report (unit 3), the unit of the result files (unit 2) and the
// states of the model and the solvers.
struct EngineRun {
  EngineRun() = default;
  explicit EngineRun(OutputSink& sink) : report(sink), results(sink) {}

  InputData input;
  DataSet data;
  InputUnit input_file;
  OutputUnit report;
  OutputUnit results;
  ModelState model;
  SvdWork svd;
  SolverState solver;
};

// The exit statuses of the engine besides the run-time error numbers (24, 59, 64, 43, 29, 9, 30,
// 38, 39 of runtime_failure.h), each distinct from them.
inline constexpr int kInputRejectedStatus = 2;           // InputRejected
inline constexpr int kOutOfMemoryStatus = 3;             // std::bad_alloc
inline constexpr int kBackCalculationFailureStatus = 4;  // BackCalculationError
inline constexpr int kInterruptStatus = 200;             // SIGINT, SIGTERM, SIGHUP

// Runs the engine and returns the exit status:
//   0   normal end, or a launch code other than 2958 (nothing written);
//   N   a run-time failure, after "forrtl: severe (N): MESSAGE, unit U, file PATH" on `err`
//       (24, 59, 64, 43, 29, 9, 30, 38, 39);
//   2   input rejected by the reader's or the driver's checks, after "input error, file inp.dat:
//       ..." on `err`;
//   3   the engine's arrays cannot be obtained, after a line saying so;
//   4   a data set's results are not all finite numbers, after "back-calculation error: ..." on
//       `err`; nothing of that data set is written;
//   200 a signal ended the run (below).
//
// One analysis at a time in a working folder: the engine holds the folder's lock
// (WorkingFolderLock, on the lock file ".ORVA-V4.lock") from before it reads "SESF.LAB" until its
// last file is published, and an engine started meanwhile in the same folder waits for it, so that
// the report, DEF.OUT and MODULI.OUT in a folder always come from one run. A lock file name that
// is not a regular file (a link, a folder, a FIFO, a device) ends the run with 30 on unit 7,
// untouched; where the lock file cannot be created (a folder that may not be written) the run goes
// on without it and fails where it would write. No lock file is left, except by an engine killed
// with SIGKILL, whose lock file the next engine takes.
//
// The report, DEF.OUT and MODULI.OUT are published whole (OutputUnit): DEF.OUT and MODULI.OUT
// together after each data set (no signal falls between their renames), the report at the end, so
// that a report exists only when the run has ended normally and this run's DEF.OUT and MODULI.OUT
// are complete. An earlier report of the same name is removed once the name is known (not when
// the name leads out of the working folder, which is rejected before anything is touched). After
// a failure in a later data set the report holds the complete records of the data sets before it.
// A read-only earlier file of any of the three (no write permission, or immutable or append-only)
// is kept, and the run ends with 9 where that file would be written, before either result file of
// that data set is published. A write past the file-size limit (RLIMIT_FSIZE) ends the run with 38.
//
// Once the folder is locked, before anything is read or written, the temporary files that no
// running engine holds are removed from the working folder, and from the report's folder once its
// name is known; a running engine's stay, in whatever process-id namespace it runs
// (remove_dead_temporary_files_beside). An input ("SESF.LAB", "inp.dat") that is not a regular
// file ends the run at once with 30 (a folder with 9), without being opened; a missing one is
// created empty.
//
// Control-C (SIGINT), SIGTERM and SIGHUP end the process the same way, with "forrtl: error (200):
// program aborting due to control-C event" and status 200, also while it waits for the folder.
// `sink` receives every byte of the output files.
int engine_main(std::ostream& err, OutputSink& sink);
int engine_main(std::ostream& err);
int engine_main();

}  // namespace orva
