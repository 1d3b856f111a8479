// The files written from the per-set tables of a run (set_tables.h): the summary with its
// statistics on unit 8, the per-set tables on units 7 and 10. Library routines: the engine's main
// flow never calls them.
#pragma once

#include <filesystem>
#include <iosfwd>

#include "set_tables.h"

namespace orva {

// The summary of all sets: headings, one row per set (label, best iteration, condition number,
// largest singular value, error, moduli) and the rows "AVE   :", "STD   :", "COV(%):" of the
// moduli and "  J   :" (the mean error). Written to unit 8, the file "fort.8" in `folder`
// (created or emptied), and the four statistics rows also to `console` (LF line ends).
// Throws RuntimeFailure when the file cannot be written.
void write_statistics_summary(const SetTables& tables,
                              const std::filesystem::path& folder,
                              std::ostream& console);

// Per set: the counts, sensor offsets, measured and computed deflections (cm) to unit 7 (the file
// "fort.7" in `folder`); when the second output option is 1 the computed deflections of every
// iteration; when the third is 1 the deflection ratios of every iteration, also free-format to
// unit 10 ("fort.10"). A unit's file is created (or emptied) by its first record, so a unit that
// gets no record leaves no file. Throws RuntimeFailure when a file cannot be written.
void write_set_tables(const SetTables& tables, const std::filesystem::path& folder);

}  // namespace orva
