#include "results_files.h"

#include "format_writer.h"

namespace orva {

namespace {

const RecordFormat& values_format() {
  static const RecordFormat f("(20E12.4)");
  return f;
}

void append_row(const HistoryTable& table,
                int row,
                int cols,
                std::vector<OutputItem>& items,
                std::vector<std::string>& records) {
  items.clear();
  for (int j = 1; j <= cols; ++j) items.emplace_back(table(row, j));
  values_format().write(items, records);
}

// Writes the records to the unit's temporary file and closes it; close() then publishes it.
void write_file(OutputUnit& unit, const char* name, const std::vector<std::string>& records) {
  unit.open(kResultsUnit, name);
  for (const std::string& record : records) unit.write_record(record);
  unit.finish();
}

}  // namespace

std::vector<std::string> deflection_results_records(const InputData& input,
                                                    const DataSet& data,
                                                    int n) {
  const int np = input.n_sensors;
  std::vector<std::string> records;
  std::vector<OutputItem> items;
  append_row(data.deflection_history, 1, np, items, records);
  append_row(data.deflection_history, n + 1, np, items, records);
  for (int k = 1; k <= n; ++k) append_row(data.match_table, k, np, items, records);
  return records;
}

std::vector<std::string> moduli_results_records(const InputData& input,
                                                const DataSet& data,
                                                float final_error,
                                                int n) {
  static const RecordFormat counts("(2I4)");
  static const RecordFormat summary("(I3,20E12.4)");
  std::vector<std::string> records;
  counts.write(std::vector<OutputItem>{input.n_layers, input.n_sensors}, records);
  std::vector<OutputItem> items(input.sensor_offset.begin(), input.sensor_offset.end());
  values_format().write(items, records);
  append_row(data.modulus_history, n, input.n_layers, items, records);
  summary.write(std::vector<OutputItem>{n, static_cast<double>(final_error)}, records);
  return records;
}

void write_result_files(
    OutputUnit& unit, const InputData& input, const DataSet& data, float final_error, int n) {
  // Both files are written out before either replaces its name, so that a write failure leaves
  // both as they were, and both names are replaced with the fatal signals held, so that a signal
  // never leaves a new DEF.OUT beside an old MODULI.OUT.
  OutputUnit moduli(unit.sink());
  write_file(unit, "DEF.OUT", deflection_results_records(input, data, n));
  write_file(moduli, "MODULI.OUT", moduli_results_records(input, data, final_error, n));
  SignalsHeld held;
  unit.close();
  moduli.close();
}

}  // namespace orva
