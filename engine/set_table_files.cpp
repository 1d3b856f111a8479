#include "set_table_files.h"

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "engine_constants.h"
#include "format_writer.h"
#include "fortran_io.h"
#include "set_statistics.h"

namespace orva {

namespace {

constexpr int kSetTablesUnit = 7;
constexpr int kSummaryUnit = 8;
constexpr int kRatioUnit = 10;

std::filesystem::path unit_path(const std::filesystem::path& folder, int unit) {
  return folder / ("fort." + std::to_string(unit));
}

// A unit that is opened by its first record, as a unit written without an OPEN is.
class LazyUnit {
 public:
  LazyUnit(int unit, std::filesystem::path path) : unit_(unit), path_(std::move(path)) {}
  void write(const std::vector<std::string>& records) {
    if (!out_.is_open()) out_.open(unit_, path_.string());
    for (const std::string& r : records) out_.write_record(r);
  }
  void close() {
    if (out_.is_open()) out_.close();
  }

 private:
  int unit_;
  std::filesystem::path path_;
  OutputUnit out_;
};

std::vector<std::string> format_records(std::string_view format,
                                        const std::vector<OutputItem>& items) {
  return RecordFormat(format).write(items);
}

// Items for the part of a rule above the modulus columns: `stretch` once per layer.
std::vector<OutputItem> rule_items(const std::string& stretch, int n) {
  return std::vector<OutputItem>(static_cast<size_t>(n < 0 ? 0 : n), std::string_view(stretch));
}

// Items "E", 1, "E", 2, ... for the modulus column headings.
std::vector<OutputItem> modulus_heading_items(int n_layers) {
  std::vector<OutputItem> items;
  for (int i = 1; i <= n_layers; ++i) {
    items.emplace_back(std::string_view("E"));
    items.emplace_back(int32_t{i});
  }
  return items;
}

std::vector<OutputItem> values(const std::vector<double>& v) {
  return std::vector<OutputItem>(v.begin(), v.end());
}

std::vector<OutputItem> labelled_values(std::string_view label, const std::vector<double>& v) {
  std::vector<OutputItem> items{label};
  for (double x : v) items.emplace_back(x);
  return items;
}

std::vector<OutputItem> numbered_row(int32_t k, const HistoryTable& table) {
  std::vector<OutputItem> items{k};
  for (int j = 1; j <= table.cols; ++j) items.emplace_back(table(k, j));
  return items;
}

}  // namespace

void write_statistics_summary(const SetTables& tables,
                              const std::filesystem::path& folder,
                              std::ostream& console) {
  const SetStatistics st = compute_set_statistics(tables);
  const int nl = tables.n_layers;
  const std::string equals(12, '='), dashes(12, '-');
  std::vector<std::string> file;
  auto add = [&](std::string_view format, const std::vector<OutputItem>& items) {
    RecordFormat(format).write(items, file);
  };

  add("(/,4X,'BACKCALCULATED MODULI VALUES')", {});
  add("(4X,'SOFTWARE NAME : ORVA')", {});
  add("(4X,'REGULARIZATION PARAMENTER =',E8.1)", {tables.regularization_parameter});
  add("(2X,52('='),20A12)", rule_items(equals, nl));
  add("(4X,'SUB',5X,'ITER',4X,'Condition',3X,'Max CN',8X,'J',9X,20(4X,A,I2,5X))",
      modulus_heading_items(nl));
  add("(3X,'TITLE',4X,'NUMB',4X,'Number')", {});
  add("(2X,52('-'),20A12)", rule_items(dashes, nl));
  for (const SetTable& set : tables.sets) {
    std::vector<OutputItem> row{std::string_view(set.label),
                                set.best_iteration,
                                set.condition_number,
                                set.max_singular_value,
                                static_cast<double>(set.best_error)};
    for (double e : set.best_moduli) row.emplace_back(e);
    add("(3X,A7,2X,I3,2X,E12.3,2X,E10.4,2X,E10.4,20(2X,F10.1))", row);
  }
  add("(2X,52('='),20A12)", rule_items(equals, nl));

  std::vector<std::string> stats;
  constexpr std::string_view kRow = "(3X,A7,20F12.3)";
  RecordFormat(kRow).write(labelled_values("AVE   :", st.moduli.mean), stats);
  RecordFormat(kRow).write(labelled_values("STD   :", st.moduli.std_dev), stats);
  RecordFormat(kRow).write(labelled_values("COV(%):", st.moduli.cv_percent), stats);
  RecordFormat("(3X,A7,E12.3)").write(labelled_values("  J   :", st.error.mean), stats);

  add("(2X,9('='),20A12)", rule_items(equals, nl));
  add("(13X,20(3X,A,I2,6X))", modulus_heading_items(nl));
  add("(2X,9('-'),20A12)", rule_items(dashes, nl));
  file.insert(file.end(), stats.begin(), stats.end());
  add("(2X,9('='),20A12)", rule_items(equals, nl));

  LazyUnit unit(kSummaryUnit, unit_path(folder, kSummaryUnit));
  unit.write(file);
  unit.close();
  for (const std::string& r : stats) console << r << '\n';
  console.flush();
}

void write_set_tables(const SetTables& tables, const std::filesystem::path& folder) {
  LazyUnit sets_unit(kSetTablesUnit, unit_path(folder, kSetTablesUnit));
  LazyUnit ratio_unit(kRatioUnit, unit_path(folder, kRatioUnit));
  const bool write_deflections = tables.output_options[1] == 1;
  const bool write_ratios = tables.output_options[2] == 1;

  for (const SetTable& set : tables.sets) {
    std::vector<double> computed_cm;
    for (double d : set.computed_deflection_um) computed_cm.push_back(d / kMicrometresPerCm);
    sets_unit.write(
        format_records("(3X,'NUMBER OF LAYERS = ',I3,';  NUMBER OF MEASUREMENT POINTS = ',I3)",
                       {tables.n_layers, tables.n_sensors}));
    sets_unit.write(format_records("(3X,'MEAS. POINT(cm):',10F8.1)", values(tables.sensor_offset)));
    sets_unit.write(format_records("(3X,'MEAS. DEFL.(cm):',10F8.4)", values(set.mean_deflection)));
    sets_unit.write(format_records("(3X,'COMP. DEFL.(cm):',10F8.4)", values(computed_cm)));
    if (write_deflections) {
      for (int32_t k = 1; k <= set.computed_deflections.rows; ++k) {
        sets_unit.write(
            format_records("(I5,3X,F6.4,20(3X,F6.4))", numbered_row(k, set.computed_deflections)));
      }
    }
    if (write_ratios) {
      for (int32_t k = 1; k <= set.deflection_ratios.rows; ++k) {
        const std::vector<OutputItem> row = numbered_row(k, set.deflection_ratios);
        sets_unit.write(format_records("(I5,2X,F7.3,20(2X,F7.3))", row));
        ratio_unit.write({free_format_record(row)});
      }
    }
  }
  sets_unit.close();
  ratio_unit.close();
}

}  // namespace orva
