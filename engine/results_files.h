// The result files that the front end's results viewer reads: DEF.OUT (measured and computed
// deflections, the match of every iteration) and MODULI.OUT (counts, offsets, final moduli,
// iteration count and final error). Both are rewritten at every call.
#pragma once

#include <string>
#include <vector>

#include "engine_state.h"
#include "fortran_io.h"

namespace orva {

// The unit both files are written on, one after the other.
inline constexpr int kResultsUnit = 2;

// DEF.OUT under (20E12.4): measured deflections (cm), the deflections of iteration n, then
// match_table rows 1..n.
std::vector<std::string> deflection_results_records(const InputData& input,
                                                    const DataSet& data,
                                                    int n);

// MODULI.OUT: (2I4) n_layers, n_sensors; (20E12.4) sensor offsets (cm); (20E12.4) moduli of
// iteration n (MPa); (I3,20E12.4) n and final_error (cm^2).
std::vector<std::string> moduli_results_records(const InputData& input,
                                                const DataSet& data,
                                                float final_error,
                                                int n);

// Writes DEF.OUT on `unit` and MODULI.OUT on a second unit of the same number and sink, in the
// current folder, then publishes both (OutputUnit) with the fatal signals held across the two
// renames. Open and write failures throw RuntimeFailure before either file is replaced.
void write_result_files(
    OutputUnit& unit, const InputData& input, const DataSet& data, float final_error, int n);

}  // namespace orva
