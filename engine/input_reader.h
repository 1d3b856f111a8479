// The input reader: "inp.dat" on unit 1, read free-format. read_input reads everything in front of
// the deflection data, obtains every array of InputData and DataSet from the counts and converts to
// the engine's units; read_data_set reads one data set of drops and averages it.
//
// Both throw RuntimeFailure for I/O and format errors (24, 59, 64, ...) and InputRejected for input
// the engine cannot compute with:
//   n_layers outside 1..kMaxLayers or n_sensors outside 1..kMaxSensors,
//   n_drops outside 1..kMaxDrops, more than kMaxModelSublayers model sublayers,
//   a modulus <= 0, a Poisson's ratio <= -1 or > 0.5, a thickness <= 0, a slip rate outside [0, 1),
//   a sensor offset < 0, a standard load, plate radius or drop load <= 0,
//   a regularization parameter outside [0, 1) (from 1 up every singular value would be cut),
//   a report name that is one of the engine's own files, or that leads out of the working folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine_constants.h"
#include "engine_state.h"
#include "fortran_io.h"

namespace orva {

inline constexpr int32_t kMaxDrops = 10000;
// Layers thicker than 1 m are split into sublayers of at most 1 m for the model; the model's work
// grows with their number.
inline constexpr int kMaxModelSublayers = 1000;

// Opens "inp.dat" on `file` (unit 1) and reads up to and including the label
// "FWD DEFLECTION DATA(...)". Fills `input` (moduli in kgf/cm2, load in kgf), sizes every array of
// `data` and writes row 1 of data.modulus_history (seed moduli, MPa). input.iteration_file_name is
// set as soon as it has been read, so a caller can tell whether the report's name is known.
void read_input(InputUnit& file, InputData& input, DataSet& data, int32_t& regularization_flag);

// Reads the next n_drops drop groups. end_of_input = 0: data.drop_load (kgf), data.drop_deflection
// (micrometres), data.mean_deflection (cm) and row 1 of data.deflection_history are filled.
// end_of_input = 1: the file ended at a drop header; unit 1 is rewound and the mean and history
// are left as they were. set_index (the data set's number) only names the set in messages.
void read_data_set(InputUnit& file,
                   const InputData& input,
                   DataSet& data,
                   int32_t& end_of_input,
                   int32_t set_index);

// Number of model sublayers of a finite layer of `thickness_cm`, by the model's splitting rule;
// saturates at kMaxModelSublayers + 1.
int model_sublayer_count(double thickness_cm);

// The report's name as a file name: the field without its trailing blanks (Shift-JIS bytes).
std::string trimmed_report_name(const InputData& input);

// True when `name` names "inp.dat", "SESF.LAB", "DEF.OUT" or "MODULI.OUT" of the current folder.
bool is_engine_file(const std::string& name);

// True when `name` leads out of the current folder: an absolute name, or one with a ".." part.
// (Shift-JIS bytes: no second byte of a character is a "/" or a ".".)
bool leaves_working_folder(const std::string& name);

}  // namespace orva
