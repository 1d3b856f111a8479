#include "set_statistics.h"

#include <cmath>
#include <cstddef>
#include <ostream>
#include <string>

#include "format_writer.h"
#include "fortran_io.h"

namespace orva {

namespace {

// sample(s, v): the value of variable v (1-based) in set s (0-based).
template <typename Sample>
QuantityStatistics quantity_statistics(int n_sets, int n_vars, Sample sample) {
  QuantityStatistics q;
  const int n = n_vars < 0 ? 0 : n_vars;
  q.mean.assign(static_cast<size_t>(n), 0.0);
  q.std_dev.assign(static_cast<size_t>(n), 0.0);
  q.cv_percent.assign(static_cast<size_t>(n), 0.0);
  q.covariance.resize(n, n);
  q.correlation.resize(n, n);
  if (n_sets < 1) return q;

  for (int v = 1; v <= n; ++v) {
    double sum = 0.0;
    for (int s = 0; s < n_sets; ++s) sum += sample(s, v);
    q.mean[static_cast<size_t>(v - 1)] = sum / n_sets;
  }
  if (n_sets < 2) return q;

  // Two passes (deviations from the mean) keep the sums free of cancellation.
  for (int i = 1; i <= n; ++i) {
    for (int j = i; j <= n; ++j) {
      double sum = 0.0;
      for (int s = 0; s < n_sets; ++s) {
        sum += (sample(s, i) - q.mean[static_cast<size_t>(i - 1)]) *
               (sample(s, j) - q.mean[static_cast<size_t>(j - 1)]);
      }
      q.covariance(i, j) = sum / (n_sets - 1);
      q.covariance(j, i) = q.covariance(i, j);
    }
  }
  for (int v = 1; v <= n; ++v) {
    const size_t iv = static_cast<size_t>(v - 1);
    q.std_dev[iv] = std::sqrt(q.covariance(v, v));
    if (q.std_dev[iv] != 0.0) q.cv_percent[iv] = q.std_dev[iv] * 100.0 / q.mean[iv];
  }
  for (int i = 1; i <= n; ++i) {
    for (int j = 1; j <= n; ++j) {
      const double vi = q.covariance(i, i);
      const double vj = q.covariance(j, j);
      if (vi == 0.0 || vj == 0.0) continue;  // stays 0: no spread, no correlation
      q.correlation(i, j) = i == j ? 1.0 : q.covariance(i, j) / std::sqrt(vi * vj);
    }
  }
  return q;
}

double at(const std::vector<double>& values, int index_1based) {
  const size_t i = static_cast<size_t>(index_1based - 1);
  return i < values.size() ? values[i] : 0.0;
}

}  // namespace

SetStatistics compute_set_statistics(const SetTables& tables) {
  SetStatistics st;
  const int n_sets = static_cast<int>(tables.sets.size());
  const auto& sets = tables.sets;
  st.n_sets = n_sets;
  st.degrees_of_freedom = n_sets > 1 ? n_sets - 1 : 0;

  st.moduli = quantity_statistics(n_sets, tables.n_layers, [&](int s, int v) {
    return at(sets[static_cast<size_t>(s)].best_moduli, v);
  });
  st.error = quantity_statistics(n_sets, 1, [&](int s, int) {
    return static_cast<double>(sets[static_cast<size_t>(s)].best_error);
  });
  st.measured_deflection = quantity_statistics(n_sets, tables.n_sensors, [&](int s, int v) {
    return at(sets[static_cast<size_t>(s)].measured_deflection_um, v);
  });
  st.computed_deflection = quantity_statistics(n_sets, tables.n_sensors, [&](int s, int v) {
    return at(sets[static_cast<size_t>(s)].computed_deflection_um, v);
  });

  st.deflection_error_percent.resize(n_sets, tables.n_sensors);
  for (int s = 1; s <= n_sets; ++s) {
    const SetTable& set = sets[static_cast<size_t>(s - 1)];
    for (int j = 1; j <= tables.n_sensors; ++j) {
      st.deflection_error_percent(s, j) =
          std::fabs(1.0 - at(set.computed_deflection_um, j) / at(set.measured_deflection_um, j)) *
          100.0;
    }
  }
  return st;
}

namespace {

constexpr int kSetTablesUnit = 7;
constexpr int kSummaryUnit = 8;
constexpr int kRatioUnit = 10;
constexpr double kMicrometresPerCm = 10000.0;

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

namespace {

constexpr size_t kLabelLength = 20;

// The mean squared difference of iteration k, as the iteration report forms it: double terms
// added to a single-precision running sum.
float iteration_error(const DataSet& data, int n_sensors, int k) {
  float sum = 0.0f;
  const double scale = 1.0 / n_sensors;
  for (int j = 1; j <= n_sensors; ++j) {
    const double d = data.deflection_history(1, j) - data.deflection_history(k + 1, j);
    sum = static_cast<float>(static_cast<double>(sum) + d * d * scale);
  }
  return sum;
}

double pending_value(const std::vector<double>& values, int k) {
  const size_t i = static_cast<size_t>(k - 1);
  return k >= 1 && i < values.size() ? values[i] : 0.0;
}

}  // namespace

void note_singular_values(SetTables& tables, std::span<const double> w) {
  double largest = 0.0, smallest = 0.0;
  for (size_t q = 0; q < w.size(); ++q) {
    if (q == 0 || w[q] > largest) largest = w[q];
    if (q == 0 || w[q] < smallest) smallest = w[q];
  }
  // A zero singular value makes the condition number infinite; no values leave both 0.
  tables.pending_condition_number.push_back(w.empty() ? 0.0 : largest / smallest);
  tables.pending_max_singular_value.push_back(largest);
}

void record_set(SetTables& tables, const InputData& input, const DataSet& data) {
  const int nl = input.n_layers;
  const int np = input.n_sensors;
  tables.n_layers = nl;
  tables.n_sensors = np;
  tables.regularization_parameter = input.regularization_parameter;
  for (int i = 0; i < 3; ++i) tables.output_options[i] = input.output_options[i];
  tables.sensor_offset = input.sensor_offset;

  SetTable set;
  set.label = data.drop_note.substr(0, kLabelLength);
  set.label.resize(kLabelLength, ' ');
  set.mean_deflection.assign(data.mean_deflection.begin(), data.mean_deflection.end());
  const int n = data.iteration_count;
  set.final_iteration = n;

  int best = 0;
  float best_error = 0.0f;
  for (int k = 1; k <= n; ++k) {
    const float e = iteration_error(data, np, k);
    if (std::isnan(e)) continue;
    if (best == 0 || e < best_error) {
      best = k;
      best_error = e;
    }
  }
  if (best == 0 && n >= 1) {
    best = n;
    best_error = iteration_error(data, np, n);
  }
  set.best_iteration = best;
  set.best_error = best_error;
  set.condition_number = pending_value(tables.pending_condition_number, best);
  set.max_singular_value = pending_value(tables.pending_max_singular_value, best);

  for (int j = 1; j <= np; ++j) {
    set.measured_deflection_um.push_back(data.deflection_history(1, j) * kMicrometresPerCm);
  }
  if (best >= 1) {
    for (int i = 1; i <= nl; ++i) set.best_moduli.push_back(data.modulus_history(best, i));
    for (int j = 1; j <= np; ++j) {
      set.computed_deflection_um.push_back(data.deflection_history(best + 1, j) *
                                           kMicrometresPerCm);
    }
  }
  set.computed_deflections.resize(n, np);
  set.deflection_ratios.resize(n, np);
  for (int k = 1; k <= n; ++k) {
    for (int j = 1; j <= np; ++j) {
      const double m = data.deflection_history(1, j);
      const double c = data.deflection_history(k + 1, j);
      set.computed_deflections(k, j) = c;
      const double up = c / m, down = m / c;
      set.deflection_ratios(k, j) = down < up ? down : up;
    }
  }
  tables.sets.push_back(std::move(set));
  tables.pending_condition_number.clear();
  tables.pending_max_singular_value.clear();
}

}  // namespace orva
