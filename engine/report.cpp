#include "report.h"

#include <cmath>

#include "format_writer.h"

namespace orva {

namespace {

// Shift-JIS (code page 932) bytes of the two non-ASCII characters of the report.
#define ORVA_WAVE_DASH "\x81\x60"  // "～"
#define ORVA_MICRO "\x83\xCA"      // "μ"

// 15 texts of 52 characters, each written as a free-format record.
constexpr const char* kBanner[] = {
    "****************************************************",
    "*                                                  *",
    "*        OOOOO    RRRRRR    V     V     AAA        *",
    "*       O     O   R     R   V     V    A   A       *",
    "*       O     O   RRRRRR     V   V    A     A      *",
    "*       O     O   R   R       V V     AAAAAAA      *",
    "*        OOOOO    R    RR      V      A     A      *",
    "*                                                  *",
    "*     BACK ANALYSIS FOR LAYER MODULI DEVELOPED     *",
    "*             AT HALVERN TECH INSTITUTE            *",
    "*                                                  *",
    "*             USING GAUSS-NEWTON METHOD            *",
    "*                                                  *",
    "*                                   Vesion 2003.3  *",
    "****************************************************",
};

constexpr const char* kDashes = "---------------------------------------";

// The report's formats, compiled once.
struct ReportFormats {
  RecordFormat title{"(4X,'PROJECT TITLE:  ',2X,A)"};
  RecordFormat counts{"(/,4X,'NUMBER OF LAYERS: ',I2,3X,',',3X,'DEFLECTION POINTS: ',I2)"};
  RecordFormat layer_heading{
      "(/,9X,'LAYER',7X,'MODULUS(MPa)    ',12X,'MU',8X,'THICKNESS(cm)',3X,'SLIP')"};
  RecordFormat layer_row{"(10X,I2,9X,F11.2,16X,F5.3,5X,F8.1,9X,F4.2)"};
  RecordFormat half_space_row{"(10X,I2,9X,F11.2,16X,F5.3)"};
  RecordFormat sensor_range{"(4X,'SENSOR No.1  " ORVA_WAVE_DASH "  ','No.',I3)"};
  RecordFormat positions{"(8X,'POSITION(cm)',20F8.1)"};
  RecordFormat fwd_range{"(4X,'FWD DEF DATA',3X,'No.1  " ORVA_WAVE_DASH "  ','No.',I3)"};
  RecordFormat fwd_values{"(8X,'POSITION(" ORVA_MICRO "m)',20F8.1)"};
  RecordFormat radius{"(/,4X,'RADIUS(cm)',2X,0P,F6.2)"};
  RecordFormat result_heading{"(3X,'Itr.No.',7X,'ERROR (cm)',7X,'LAYER MODULUS (MPa)')"};
  RecordFormat result_layers{"(34X,'LAYER  No.1  " ORVA_WAVE_DASH "  ','No.',I3)"};
  RecordFormat result_row{"(4X,I3,8X,E12.4,3X,20F12.2)"};
  RecordFormat moduli_heading{"(3X,'Itr.No.',8X,'UPDATES OF MODULI(MPa)')"};
  RecordFormat moduli_layers{"(18X,'LAYER  No.1  " ORVA_WAVE_DASH "  ','No.',I3)"};
  RecordFormat moduli_row{"(4X,I3,7X,20F12.2)"};
  RecordFormat fwd_heading{"(3X,'FWD DEF DATA',2X,'(cm)')"};
  RecordFormat measured_row{"(2X,20E12.4)"};
  RecordFormat deflection_heading{
      "(3X,'Itr.No.',7X,'ERROR (cm)',7X,'UPDATES OF DEFLECTIONS',2X,'(cm)')"};
  RecordFormat deflection_sensors{"(34X,'SENSOR No.1  " ORVA_WAVE_DASH "  ','No.',I3)"};
  RecordFormat deflection_row{"(4X,I3,8X,E12.4,5X,20E12.4)"};
  RecordFormat match_heading{"(3X,'Itr.No.',7X,'MEASURE OF DEFLECTION MATCHING')"};
  RecordFormat match_sensors{"(17X,'SENSOR No.1  " ORVA_WAVE_DASH "  ','No.',I3)"};
  RecordFormat match_row{"(4X,I3,8X,20E12.4)"};
};

const ReportFormats& formats() {
  static const ReportFormats f;
  return f;
}

class ReportWriter {
 public:
  explicit ReportWriter(std::vector<std::string>& records) : records_(records) {}

  void text(std::string_view t) {
    OutputItem item = t;
    records_.push_back(free_format_record({&item, 1}));
  }
  void empty() { records_.push_back(free_format_record({})); }
  void heading(std::string_view title) {
    text(kDashes);
    text(title);
    text(kDashes);
    empty();
  }
  void formatted(const RecordFormat& format, std::span<const OutputItem> items = {}) {
    format.write(items, records_);
  }
  void formatted(const RecordFormat& format, std::initializer_list<OutputItem> items) {
    format.write({items.begin(), items.size()}, records_);
  }

  // A row: the leading items, then columns 1..cols of `table` row `row` times `scale`.
  void table_row(const RecordFormat& format,
                 std::initializer_list<OutputItem> lead,
                 const HistoryTable& table,
                 int row,
                 int cols,
                 double scale = 1.0) {
    items_.assign(lead.begin(), lead.end());
    for (int j = 1; j <= cols; ++j) items_.emplace_back(table(row, j) * scale);
    format.write(items_, records_);
  }

 private:
  std::vector<std::string>& records_;
  std::vector<OutputItem> items_;
};

}  // namespace

float iteration_error(const DataSet& data, int n_sensors, int k) {
  const HistoryTable& d = data.deflection_history;
  const double weight = 1.0 / n_sensors;
  float sum = 0.0f;
  for (int j = 1; j <= n_sensors; ++j) {
    double diff = d(1, j) - d(k + 1, j);
    sum = static_cast<float>(static_cast<double>(sum) + diff * diff * weight);
  }
  return sum;
}

void compute_iteration_errors(const DataSet& data, int n_sensors, int n, std::span<float> errors) {
  for (int k = 1; k <= n; ++k)
    errors[static_cast<size_t>(k - 1)] = iteration_error(data, n_sensors, k);
}

void compute_match_table(DataSet& data, int n_sensors, int n) {
  const HistoryTable& d = data.deflection_history;
  for (int k = 1; k <= n; ++k) {
    for (int j = 1; j <= n_sensors; ++j) {
      double measured = d(1, j);
      double match = 1.0 - std::fabs(measured - d(k + 1, j)) / measured;
      data.match_table(k, j) = match <= 0.0 ? 0.0 : match;
    }
  }
}

void append_report_records(const InputData& input,
                           const DataSet& data,
                           std::span<const float> errors,
                           int n,
                           std::vector<std::string>& records) {
  const ReportFormats& f = formats();
  const int nl = input.n_layers;
  const int np = input.n_sensors;
  const LayerTable& layers = input.layers;
  ReportWriter out(records);

  for (const char* line : kBanner) out.text(line);
  out.empty();

  out.heading("1.  DESCRIPTION OF ANALYSIS PROBLEM");
  out.formatted(f.title, {std::string_view(input.project_title)});
  out.formatted(f.counts, {nl, np});
  out.formatted(f.layer_heading);
  for (int i = 1; i <= nl; ++i) {
    size_t l = static_cast<size_t>(i - 1);
    double modulus = layers.layer_modulus[l] * kMpaPerKgfCm2;
    if (i < nl) {
      out.formatted(
          f.layer_row,
          {i, modulus, layers.layer_poisson[l], layers.layer_thickness[l], layers.layer_slip[l]});
    } else {
      out.formatted(f.half_space_row, {i, modulus, layers.layer_poisson[l]});
    }
  }
  out.empty();
  out.formatted(f.sensor_range, {np});
  {
    std::vector<OutputItem> offsets(input.sensor_offset.begin(), input.sensor_offset.end());
    out.formatted(f.positions, offsets);
  }
  out.empty();
  out.formatted(f.fwd_range, {np});
  out.table_row(f.fwd_values, {}, data.deflection_history, 1, np, 10000.0);
  out.formatted(f.radius, {input.plate_radius});
  out.empty();
  out.empty();

  out.heading("2.  BACKCALCULATION RESULTS");
  out.formatted(f.result_heading);
  out.formatted(f.result_layers, {nl});
  out.table_row(f.result_row,
                {n, static_cast<double>(errors[static_cast<size_t>(n - 1)])},
                data.modulus_history,
                n,
                nl);
  out.empty();
  out.empty();

  out.heading("3.  LAYER MODULI");
  out.formatted(f.moduli_heading);
  out.formatted(f.moduli_layers, {nl});
  for (int k = 1; k <= n; ++k) out.table_row(f.moduli_row, {k}, data.modulus_history, k, nl);
  out.empty();
  out.empty();

  out.heading("4.  DEFLECTION");
  out.formatted(f.fwd_heading);
  out.formatted(f.sensor_range, {np});
  out.table_row(f.measured_row, {}, data.deflection_history, 1, np);
  out.empty();
  out.formatted(f.deflection_heading);
  out.formatted(f.deflection_sensors, {np});
  for (int k = 1; k <= n; ++k) {
    out.table_row(f.deflection_row,
                  {k, static_cast<double>(errors[static_cast<size_t>(k - 1)])},
                  data.deflection_history,
                  k + 1,
                  np);
  }
  out.empty();
  out.empty();

  out.heading("5.  MEASURE OF DEFLECTION MATCHING");
  out.formatted(f.match_heading);
  out.formatted(f.match_sensors, {np});
  for (int k = 1; k <= n; ++k) out.table_row(f.match_row, {k}, data.match_table, k, np);
}

}  // namespace orva
