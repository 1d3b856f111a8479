#include "input_reader.h"

#include <charconv>
#include <cmath>
#include <filesystem>

#include "forward_model.h"

namespace orva {

namespace {

constexpr size_t kLabelLength = 72;
constexpr size_t kTitleLength = 80;
constexpr size_t kTagLength = 7;
constexpr size_t kNoteLength = 80;

// Shortest text that reads back as v.
std::string number_text(double v) {
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
  return ec == std::errc() ? std::string(buffer, end) : std::string("?");
}

[[noreturn]] void reject(const std::string& message) { throw InputRejected{message}; }

void read_label(InputUnit& file, InputData& input) {
  ListRead(file).read(input.label_line, kLabelLength);
}

void check_count(int32_t value, int32_t limit, const char* what) {
  if (value < 1 || value > limit) {
    reject(std::string("the number of ") + what + " is " + std::to_string(value) +
           "; it must lie between 1 and " + std::to_string(limit));
  }
}

void check_layer(const InputData& input, int i, bool finite) {
  const LayerTable& t = input.layers;
  const std::string layer = "layer " + std::to_string(i + 1) + ": ";
  if (!(t.layer_modulus[i] > 0.0)) {
    reject(layer + "modulus " + number_text(t.layer_modulus[i]) + " MPa must be above 0");
  }
  if (!(t.layer_poisson[i] > -1.0 && t.layer_poisson[i] <= 0.5)) {
    reject(layer + "Poisson's ratio " + number_text(t.layer_poisson[i]) +
           " must be above -1 and at most 0.5");
  }
  if (!finite) return;
  if (!(t.layer_thickness[i] > 0.0)) {
    reject(layer + "thickness " + number_text(t.layer_thickness[i]) + " cm must be above 0");
  }
  if (!(t.layer_slip[i] >= 0.0 && t.layer_slip[i] < 1.0)) {
    reject(layer + "slip rate " + number_text(t.layer_slip[i]) + " must be at least 0 and below 1");
  }
}

void allocate(const InputData& input, DataSet& data) {
  const auto n_sensors = static_cast<size_t>(input.n_sensors);
  const auto n_drops = static_cast<size_t>(input.n_drops);
  const int rows = input.max_iterations + 2;
  data.drop_load.assign(n_drops, 0.0);
  data.drop_deflection.resize(input.n_drops, input.n_sensors);
  data.deflection_sum.assign(n_sensors, 0.0);
  data.mean_deflection.assign(n_sensors, 0.0);
  data.deflection_history.resize(rows, input.n_sensors);
  data.modulus_history.resize(rows, input.n_layers);
  data.match_table.resize(input.max_iterations, input.n_sensors);
  data.iteration_count = 0;
}

}  // namespace

int model_sublayer_count(double thickness_cm) {
  const int parts = split_layer(thickness_cm * 0.01).parts;  // metres, as the model converts it
  return parts > kMaxModelSublayers ? kMaxModelSublayers + 1 : parts;
}

std::string trimmed_report_name(const InputData& input) {
  const size_t end = input.iteration_file_name.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : input.iteration_file_name.substr(0, end + 1);
}

bool is_engine_file(const std::string& name) {
  const std::string normal = std::filesystem::path(name).lexically_normal().string();
  for (const char* own : {"inp.dat", "SESF.LAB", "DEF.OUT", "MODULI.OUT"}) {
    if (normal == own) return true;
  }
  return false;
}

bool leaves_working_folder(const std::string& name) {
  if (!name.empty() && name[0] == '/') return true;
  for (size_t pos = 0; pos <= name.size();) {
    size_t end = name.find('/', pos);
    if (end == std::string::npos) end = name.size();
    if (name.compare(pos, end - pos, "..") == 0) return true;
    pos = end + 1;
  }
  return false;
}

void read_input(InputUnit& file, InputData& input, DataSet& data, int32_t& regularization_flag) {
  file.open(1, "inp.dat");

  read_label(file, input);  // version line
  read_label(file, input);
  ListRead(file).read(input.project_title, kTitleLength);
  read_label(file, input);
  ListRead(file).read(input.iteration_file_name, kTitleLength);
  const std::string report_name = trimmed_report_name(input);
  if (is_engine_file(report_name)) {
    reject("the report's name \"" + report_name + "\" is one of the engine's own files");
  }
  if (leaves_working_folder(report_name)) {
    reject("the report's name \"" + report_name + "\" leads out of the working folder");
  }
  read_label(file, input);
  {
    ListRead r(file);
    r.read(input.n_layers);
    r.read(input.n_sensors);
  }
  check_count(input.n_layers, kMaxLayers, "layers");
  check_count(input.n_sensors, kMaxSensors, "sensors");
  read_label(file, input);
  ListRead(file).read(input.n_drops);
  check_count(input.n_drops, kMaxDrops, "drops");

  input.max_iterations = 100;
  input.max_change_percent = 10;

  // Every array at once, from the counts.
  const auto n = static_cast<size_t>(input.n_layers);
  LayerTable& t = input.layers;
  t.layer_fixed.assign(n, 0);
  t.layer_modulus.assign(n, 0.0);
  t.layer_poisson.assign(n, 0.0);
  t.layer_thickness.assign(n, 0.0);
  t.layer_slip.assign(n, 0.0);
  input.sensor_offset.assign(static_cast<size_t>(input.n_sensors), 0.0);
  allocate(input, data);

  read_label(file, input);  // "LAYER PROPERTIES"
  read_label(file, input);  // column heading
  const int last = input.n_layers - 1;
  if (last > 0) {
    ListRead r(file);  // layers 1 .. n-1 in one read
    for (int i = 0; i < last; ++i) {
      r.read(t.layer_fixed[i]);
      r.read(t.layer_modulus[i]);
      r.read(t.layer_poisson[i]);
      r.read(t.layer_thickness[i]);
      r.read(t.layer_slip[i]);
    }
  }
  {
    ListRead r(file);
    r.read(t.layer_fixed[last]);
    r.read(t.layer_modulus[last]);
    r.read(t.layer_poisson[last]);
  }
  int sublayers = 0;
  for (int i = 0; i <= last; ++i) {
    check_layer(input, i, i < last);
    if (i < last) sublayers += model_sublayer_count(t.layer_thickness[i]);
    if (sublayers > kMaxModelSublayers) {
      reject("the layers split into more than " + std::to_string(kMaxModelSublayers) +
             " model sublayers of at most 1 m");
    }
  }

  read_label(file, input);
  {
    ListRead r(file);
    for (double& offset : input.sensor_offset) r.read(offset);
  }
  for (int j = 0; j < input.n_sensors; ++j) {
    if (!(input.sensor_offset[j] >= 0.0)) {
      reject("sensor " + std::to_string(j + 1) + ": offset " + number_text(input.sensor_offset[j]) +
             " cm must be at least 0");
    }
  }

  read_label(file, input);
  {
    ListRead r(file);
    r.read(input.plate_load);
    r.read(input.plate_radius);
  }
  if (!(input.plate_load > 0.0)) {
    reject("standard load " + number_text(input.plate_load) + " kN must be above 0");
  }
  if (!(input.plate_radius > 0.0)) {
    reject("plate radius " + number_text(input.plate_radius) + " cm must be above 0");
  }

  read_label(file, input);
  read_label(file, input);
  {
    ListRead r(file);
    for (int32_t& option : input.output_options) r.read(option);
  }
  read_label(file, input);
  ListRead(file).read(input.regularization_flag);
  read_label(file, input);
  read_label(file, input);
  ListRead(file).read(input.regularization_parameter);
  if (!(input.regularization_parameter >= 0.0 && input.regularization_parameter < 1.0)) {
    reject("regularization parameter " + number_text(input.regularization_parameter) +
           " must be at least 0 and below 1");
  }
  read_label(file, input);  // "FWD DEFLECTION DATA(...)", the 15th label

  for (double& e : t.layer_modulus) e = e * kKgfPerCm2PerMpa;
  input.plate_load = input.plate_load * kKgfPerKn;
  for (int i = 1; i <= input.n_layers; ++i) {
    data.modulus_history(1, i) = t.layer_modulus[i - 1] * kMpaPerKgfCm2;
  }
  input.convergence_tolerance = 0.001;
  regularization_flag = input.regularization_flag;
}

void read_data_set(InputUnit& file,
                   const InputData& input,
                   DataSet& data,
                   int32_t& end_of_input,
                   int32_t set_index) {
  const int n_drops = input.n_drops;
  const int n_sensors = input.n_sensors;
  for (double& s : data.deflection_sum) s = 0.0;

  for (int k = 1; k <= n_drops; ++k) {
    int32_t drop_id = 0;
    int32_t drop_code = 0;
    std::string drop_tag;
    try {
      ListRead r(file);
      r.read(drop_id);
      r.read(drop_code);
      r.read(drop_tag, kTagLength);
      r.read(data.drop_load[k - 1]);
    } catch (const RuntimeFailure& failure) {
      // The one read with an end-of-file branch: the end of the input.
      if (failure.number != kEndOfFile) throw;
      end_of_input = 1;
      file.rewind();
      return;
    }
    for (int j = 1; j <= n_sensors; ++j) {
      ListRead(file).read(data.drop_deflection(k, j));
    }
    double drop_aux_value = 0.0;
    {
      ListRead r(file);
      r.read(drop_aux_value);
      r.read(data.drop_note, kNoteLength);
    }
  }
  // Checked once the set is complete: a trailing incomplete set is the end of the input.
  for (int k = 1; k <= n_drops; ++k) {
    if (!(data.drop_load[k - 1] > 0.0)) {
      reject("data set " + std::to_string(set_index) + ", drop " + std::to_string(k) + ": load " +
             number_text(data.drop_load[k - 1]) + " kN must be above 0");
    }
  }

  for (double& load : data.drop_load) load = load * kKgfPerKn;
  for (int k = 1; k <= n_drops; ++k) {
    const double r = 1.0 / data.drop_load[k - 1];
    for (int j = 1; j <= n_sensors; ++j) {
      data.deflection_sum[j - 1] =
          data.deflection_sum[j - 1] + (input.plate_load * data.drop_deflection(k, j)) * r;
    }
  }
  const double s = 1.0 / (static_cast<double>(n_drops) * kMicrometresPerCm);
  for (int j = 1; j <= n_sensors; ++j) {
    data.mean_deflection[j - 1] = data.deflection_sum[j - 1] * s;
    data.deflection_history(1, j) = data.mean_deflection[j - 1];
  }
  end_of_input = 0;
}

}  // namespace orva
