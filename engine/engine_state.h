// The engine's data for one run: the input data set, the LayerTable, the measured data of the
// current data set and the history tables. One of each per process, held by EngineRun
// (engine_main.h) and passed by reference; no globals. read_input sizes every array from the
// counts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orva {

// Per-layer table, index 0..n_layers-1 for layers 1..n_layers (the last is the half-space).
// Moduli in kgf/cm2 inside the engine (read in MPa), thickness in cm.
struct LayerTable {
  std::vector<int32_t> layer_fixed;   // 0 = back-calculated, 1 = held
  std::vector<double> layer_modulus;  // seed modulus, kgf/cm2
  std::vector<double> layer_poisson;
  std::vector<double> layer_thickness;  // cm, layers 1..n-1
  std::vector<double> layer_slip;       // slip rate at the layer's bottom, layers 1..n-1
};

// Row-major table with 1-based (row, column) access, rows x cols.
struct HistoryTable {
  int rows = 0;
  int cols = 0;
  std::vector<double> values;
  void resize(int r, int c) {
    rows = r < 0 ? 0 : r;
    cols = c < 0 ? 0 : c;
    values.assign(static_cast<size_t>(rows) * static_cast<size_t>(cols), 0.0);
  }
  double& operator()(int row, int col) {
    return values[static_cast<size_t>(row - 1) * static_cast<size_t>(cols) +
                  static_cast<size_t>(col - 1)];
  }
  double operator()(int row, int col) const {
    return values[static_cast<size_t>(row - 1) * static_cast<size_t>(cols) +
                  static_cast<size_t>(col - 1)];
  }
};

struct InputData {
  // Texts are Shift-JIS bytes, blank-padded to their field length.
  std::string project_title;        // 80
  std::string iteration_file_name;  // 80
  std::string label_line;           // 72, receives each skipped label
  int32_t n_layers = 0;
  int32_t n_sensors = 0;
  int32_t n_drops = 0;
  LayerTable layers;
  std::vector<double> sensor_offset;  // cm
  double plate_load = 0.0;            // kgf (read in kN)
  double plate_radius = 0.0;          // cm
  int32_t output_options[3] = {0, 0, 0};
  int32_t regularization_flag = 0;
  double regularization_parameter = 0.0;
  double convergence_tolerance = 0.001;
  int32_t max_iterations = 100;
  int32_t max_change_percent = 10;
};

// The current data set and what the driver records about it.
struct DataSet {
  std::vector<double> drop_load;        // kgf (read in kN), n_drops
  HistoryTable drop_deflection;         // n_drops x n_sensors, micrometres
  std::vector<double> deflection_sum;   // n_sensors
  std::vector<double> mean_deflection;  // n_sensors, cm
  HistoryTable deflection_history;      // (max_iterations + 2) x n_sensors, cm
  HistoryTable modulus_history;         // (max_iterations + 2) x n_layers, MPa
  HistoryTable match_table;             // max_iterations x n_sensors
  int32_t iteration_count = 0;
  std::string drop_note;  // 80, the note of the set's last drop; only the set statistics read it
};

}  // namespace orva
