#include "forward_model.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>

#include "de_quadrature.h"

namespace orva {

namespace {

constexpr double kPi = 3.141592653589793;
// The model's own units: kgf/cm2 -> MPa and kgf -> MN with g = 9.81 m/s^2. Only their ratio,
// 1e-4 (m^2 per cm^2), reaches a deflection: the kernel is homogeneous of degree -1 in the moduli
// (the interface compliances scale with 1/E too), so w depends on load over modulus and the value
// of g cancels. Another g in both would move deflections only by rounding.
constexpr double kModulusToMpa = 0.0981;  // kgf/cm2 -> MPa
constexpr double kLoadToMn = 9.81e-6;     // kgf -> MN
constexpr double kCmToM = 0.01;
constexpr double kMToCm = 100;

// Stopping floor of the remainder integral relative to the half-space term: a remainder below it is
// rounding noise (layers of one material) and must not run the quadrature table out.
constexpr double kRemainderFloor = 1e-12;

void resize_layers(ModelLayers& layers, int n) {
  const auto size = static_cast<std::size_t>(n);
  layers.n_model_layers = n;
  layers.sublayer_modulus.resize(size);
  layers.sublayer_poisson.resize(size);
  layers.sublayer_thickness.resize(size);
  layers.sublayer_slip.resize(size);
  layers.sublayer_compliance.resize(size);
}

// Converts the input layers and splits those thicker than 1 m into sublayers of at most about 1 m.
// (The split is part of the model: every sublayer of a slipping layer 1 keeps its slip.)
void build_sublayers(ModelLayers& layers,
                     const ModelInputs& inputs,
                     std::span<const double> moduli) {
  const int n = inputs.n_layers;
  int count = 1;  // the half-space
  for (int i = 0; i < n - 1; ++i) count += split_layer(inputs.layer_thickness[i] * kCmToM).parts;
  resize_layers(layers, count);

  int s = 0;
  for (int i = 0; i < n - 1; ++i) {
    const double e = moduli[i] * kModulusToMpa;
    const double nu = inputs.layer_poisson[i];
    const double h = inputs.layer_thickness[i] * kCmToM;
    const double slip = inputs.layer_slip[i];
    const LayerSplit split = split_layer(h);
    for (int q = 0; q < split.parts; ++q, ++s) {
      layers.sublayer_modulus[s] = e;
      layers.sublayer_poisson[s] = nu;
      layers.sublayer_thickness[s] = split.thickness;
      // Within layer 1 every sublayer keeps the slip; deeper only the lowest one.
      layers.sublayer_slip[s] = (i == 0 || q == split.parts - 1) ? slip : 0.0;
    }
  }
  layers.sublayer_modulus[s] = moduli[n - 1] * kModulusToMpa;
  layers.sublayer_poisson[s] = inputs.layer_poisson[n - 1];
  layers.sublayer_thickness[s] = 0.0;
  layers.sublayer_slip[s] = 0.0;
}

void set_load_values(ModelValues& values, const ModelInputs& inputs) {
  values.radius_m = kCmToM * inputs.plate_radius;
  values.contact_pressure =
      (inputs.plate_load * kLoadToMn) / ((values.radius_m * values.radius_m) * kPi);
  values.norm_radius = values.radius_m * (1 / values.radius_m);
}

double norm_offset_of(const ModelValues& values, double offset_cm) {
  return offset_cm * (1 / values.radius_m) * kCmToM;
}

void set_compliances(ModelLayers& layers, const ModelValues& values) {
  const auto& e = layers.sublayer_modulus;
  const auto& nu = layers.sublayer_poisson;
  layers.sublayer_compliance[0] = 0;
  for (int i = 1; i < layers.n_model_layers; ++i) {
    const double s = layers.sublayer_slip[i - 1];
    layers.sublayer_compliance[i] =
        s * values.norm_radius / (1 - s) * ((1 + nu[i]) / e[i] + (1 + nu[i - 1]) / e[i - 1]);
  }
}

// The integrand tends to that of a half-space of the first sublayer's material,
// A(m) = c J1(a m) J0(rho m) / m with c = 2 (1 - nu1^2) q a / E1.
double halfspace_coefficient(const ModelLayers& layers, const ModelValues& values) {
  const double nu = layers.sublayer_poisson[0];
  return 2 * (1 - nu * nu) * values.contact_pressure * values.norm_radius /
         layers.sublayer_modulus[0];
}

// The geometric factor of the half-space deflection: a E(r/a) for r <= a, else
// r [E(a/r) - (1 - a^2/r^2) K(a/r)] (complete elliptic integrals of modulus k).
double halfspace_shape(double a, double r) {
  if (r <= a) return a * std::comp_ellint_2(r / a);
  const double k = a / r;
  return r * (std::comp_ellint_2(k) - (1 - k * k) * std::comp_ellint_1(k));
}

double current_shape(const ModelValues& values) {
  return halfspace_shape(values.norm_radius, std::fabs(values.norm_offset));
}

// Exact deflection of that half-space (lengths over the plate radius), from its geometric factor.
double halfspace_term(const ModelLayers& layers, const ModelValues& values, double shape) {
  const double nu = layers.sublayer_poisson[0];
  return 4 * (1 - nu * nu) * values.contact_pressure / (kPi * layers.sublayer_modulus[0]) * shape;
}

// Where the remainder has decayed: it falls off like exp(-2 m h1) (h1 the first sublayer's
// thickness over the plate radius) times a polynomial in m h1, so past
// m = kDecayExponent / h1 + kDecayOffset it is below 1e-16 of the half-space part (e^-50 is 2e-22,
// leaving room for the polynomial and for a modulus contrast of 1000; the tests check the model
// against an independent solution integrated much farther).
constexpr double kDecayExponent = 25;
constexpr double kDecayOffset = 5;

double decay_point(const ModelLayers& layers, const ModelValues& values) {
  if (layers.n_model_layers < 2) return 0;
  return kDecayExponent / (layers.sublayer_thickness[0] / values.radius_m) + kDecayOffset;
}

// The remainder integrand: the kernel's value less the half-space part, 0 past the decay point.
// A value that is not finite before it is a fault and goes into the sum as it is.
double remainder_integrand(const ModelLayers& layers,
                           const ModelValues& values,
                           double c,
                           double m) {
  if (m > values.decay_point) return 0;
  const double j1_am = ::j1(values.norm_radius * m);
  const double load = integrand_load(values, m, j1_am);
  double value;
  layer_system_kernel(layers, values, m, value, load);
  return value - c * j1_am / m * ::j0(values.norm_offset * m);
}

void build_table(std::vector<double>& table) {
  table.assign(kDeTableLength, 0.0);
  de_oscillatory_init(kDeTableLength, kDeTiny, kDeEps, table);
}

// The table of the fast path, built on first use and shared by every state of the process.
const std::vector<double>& process_table() {
  static const std::vector<double> table = [] {
    std::vector<double> t;
    build_table(t);
    return t;
  }();
  return table;
}

// One sensor's deflection (cm) from the remainder integrand f and the quadrature table.
template <class F>
double sensor_deflection(ModelState& state, std::span<const double> table, double shape, F&& f) {
  const double w_hs = halfspace_term(state.layers, state.values, shape);
  if (state.layers.n_model_layers == 1) {
    state.de_result = 0;
    state.de_error = 0;
  } else {
    de_oscillatory_integrate(
        f, 0.0, 1.0, table, state.de_result, state.de_error, kRemainderFloor * std::fabs(w_hs));
  }
  return state.de_result * state.values.radius_m * kMToCm + w_hs * state.values.radius_m * kMToCm;
}

// --- Cache of the fast path ---------------------------------------------------------------------

constexpr int kMaxProbes = 64;

std::size_t capacity(const DeflectionCache& cache) { return std::size_t{1} << cache.capacity_log2; }

std::size_t home_slot(const DeflectionCache& cache, std::uint64_t key) {
  return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - cache.capacity_log2));
}

constexpr double kNotComputed = std::numeric_limits<double>::quiet_NaN();

// Empties the table, keeping its size.
void clear_table(DeflectionCache& cache, std::size_t n_sensors) {
  if (cache.capacity_log2 == 0) cache.capacity_log2 = DeflectionCache::kInitialCapacityLog2;
  cache.slots.assign(capacity(cache), DeflectionCache::Slot{});
  cache.j0.assign(capacity(cache) * n_sensors, kNotComputed);
  cache.decay.assign(capacity(cache) * cache.decay_heights.size(), kNotComputed);
  cache.n_used = 0;
}

// Keeps the decay factors of the table when the sublayers above the half-space have the
// thicknesses of the previous call, otherwise forgets them.
void match_decays(DeflectionCache& cache, std::span<const SublayerTerms> terms) {
  std::size_t rows = terms.size() - 1;
  if (rows > DeflectionCache::kMaxDecayRows) rows = 0;
  bool same = cache.decay_heights.size() == rows;
  for (std::size_t s = 0; same && s < rows; ++s) {
    same = std::bit_cast<std::uint64_t>(cache.decay_heights[s]) ==
           std::bit_cast<std::uint64_t>(terms[s].h);
  }
  if (same) return;
  cache.decay_heights.resize(rows);
  for (std::size_t s = 0; s < rows; ++s) cache.decay_heights[s] = terms[s].h;
  cache.decay.assign(capacity(cache) * rows, kNotComputed);
}

// Starts a call: keeps the J0 and J1 values when the loaded radius and the offsets are those of the
// previous call, otherwise empties the table.
void begin_call(DeflectionCache& cache, const ModelInputs& inputs, const ModelValues& values) {
  const auto n_sensors = static_cast<std::size_t>(inputs.n_sensors);
  bool same_run = !cache.slots.empty() && cache.norm_offsets.size() == n_sensors &&
                  std::bit_cast<std::uint64_t>(cache.norm_radius) ==
                      std::bit_cast<std::uint64_t>(values.norm_radius);
  for (std::size_t s = 0; same_run && s < n_sensors; ++s) {
    same_run = std::bit_cast<std::uint64_t>(cache.norm_offsets[s]) ==
               std::bit_cast<std::uint64_t>(norm_offset_of(values, inputs.sensor_offset[s]));
  }
  if (!same_run) {
    clear_table(cache, n_sensors);
    cache.norm_offsets.resize(n_sensors);
    cache.shapes.resize(n_sensors);
    for (std::size_t s = 0; s < n_sensors; ++s) {
      cache.norm_offsets[s] = norm_offset_of(values, inputs.sensor_offset[s]);
      cache.shapes[s] = halfspace_shape(values.norm_radius, std::fabs(cache.norm_offsets[s]));
    }
    cache.norm_radius = values.norm_radius;
    cache.used.clear();
  }
  ++cache.epoch;
  cache.previous.swap(cache.used);
  cache.used.clear();
}

// Makes the table four times larger and moves every entry (with its J0 values and decay factors)
// to its place.
void grow(DeflectionCache& cache) {
  const std::size_t n_sensors = cache.norm_offsets.size();
  const std::size_t rows = cache.decay_heights.size();
  std::vector<DeflectionCache::Slot> old_slots = std::move(cache.slots);
  std::vector<double> old_j0 = std::move(cache.j0);
  std::vector<double> old_decay = std::move(cache.decay);
  cache.capacity_log2 += DeflectionCache::kGrowthLog2;
  clear_table(cache, n_sensors);
  for (std::size_t from = 0; from < old_slots.size(); ++from) {
    const DeflectionCache::Slot& slot = old_slots[from];
    if (slot.epoch == 0) continue;
    std::size_t pos = home_slot(cache, slot.key);
    while (cache.slots[pos].epoch != 0) pos = (pos + 1) & (capacity(cache) - 1);
    cache.slots[pos] = slot;
    std::copy_n(old_j0.begin() + static_cast<std::ptrdiff_t>(from * n_sensors),
                n_sensors,
                cache.j0.begin() + static_cast<std::ptrdiff_t>(pos * n_sensors));
    std::copy_n(old_decay.begin() + static_cast<std::ptrdiff_t>(from * rows),
                rows,
                cache.decay.begin() + static_cast<std::ptrdiff_t>(pos * rows));
    ++cache.n_used;
  }
}

// Inserts abscissa m, not yet in the table, growing the table first when it is three quarters
// full; returns its slot, or -1 when the table has no room for it.
std::ptrdiff_t insert_slot(DeflectionCache& cache, double m, const ModelValues& values) {
  if (4 * static_cast<std::size_t>(cache.n_used + 1) > 3 * capacity(cache)) {
    if (cache.capacity_log2 >= DeflectionCache::kMaxCapacityLog2) return -1;
    grow(cache);
  }
  const auto key = std::bit_cast<std::uint64_t>(m);
  std::size_t pos = home_slot(cache, key);
  for (int probe = 0; probe < kMaxProbes; ++probe, pos = (pos + 1) & (capacity(cache) - 1)) {
    DeflectionCache::Slot& slot = cache.slots[pos];
    if (slot.epoch != 0) continue;
    slot.key = key;
    slot.j1 = ::j1(values.norm_radius * m);
    ++cache.n_used;
    return static_cast<std::ptrdiff_t>(pos);
  }
  return -1;
}

// The slot of abscissa m, inserted if new; -1 when the table has no room for it.
inline std::ptrdiff_t find_slot(DeflectionCache& cache, double m, const ModelValues& values) {
  const auto key = std::bit_cast<std::uint64_t>(m);
  std::size_t pos = home_slot(cache, key);
  for (int probe = 0; probe < kMaxProbes; ++probe, pos = (pos + 1) & (capacity(cache) - 1)) {
    const DeflectionCache::Slot& slot = cache.slots[pos];
    if (slot.epoch == 0) return insert_slot(cache, m, values);
    if (slot.key == key) return static_cast<std::ptrdiff_t>(pos);
  }
  return -1;
}

// Stores the kernel's value of this call and the half-space part in the slot.
void fill_slot(
    DeflectionCache& cache, DeflectionCache::Slot& slot, double m, double response, double c) {
  slot.response = response;
  slot.halfspace = c * slot.j1 / m;
  slot.epoch = cache.epoch;
}

// Evaluates the kernel of this call at once at every abscissa that the previous call asked for
// and that lies before the decay point, and stores the values in their slots.
void evaluate_foreseen(DeflectionCache& cache,
                       std::span<const SublayerTerms> terms,
                       const ModelValues& values,
                       double c) {
  std::vector<double>& m = cache.previous;
  std::erase_if(m, [&values](double x) { return x > values.decay_point; });
  // Each is in the table (the list is emptied with it), so finding them inserts nothing and the
  // slots stay where they are.
  const std::size_t n_decays = terms.size() - 1;
  const std::size_t rows = cache.decay_heights.size();
  cache.batch_slot.resize(m.size());
  cache.batch_load.resize(m.size());
  cache.batch_decay.resize(m.size() * n_decays);
  cache.batch_response.resize(m.size());
  for (std::size_t i = 0; i < m.size(); ++i) {
    const std::ptrdiff_t pos = find_slot(cache, m[i], values);
    cache.batch_slot[i] = pos;
    cache.batch_load[i] =
        pos < 0 ? 0.0 : integrand_load(values, m[i], cache.slots[static_cast<std::size_t>(pos)].j1);
    double* kept =
        pos < 0 || rows == 0 ? nullptr : &cache.decay[static_cast<std::size_t>(pos) * rows];
    for (std::size_t s = 0; s < n_decays; ++s) {
      double x = kept ? kept[s] : kNotComputed;
      if (std::isnan(x)) {
        x = decay_factor(m[i], terms[s].h);
        if (kept) kept[s] = x;
      }
      cache.batch_decay[i * n_decays + s] = x;
    }
  }
  layer_system_responses(terms, m, cache.batch_load, cache.batch_decay, cache.batch_response);
  for (std::size_t i = 0; i < m.size(); ++i) {
    if (cache.batch_slot[i] < 0) continue;
    fill_slot(cache,
              cache.slots[static_cast<std::size_t>(cache.batch_slot[i])],
              m[i],
              cache.batch_response[i],
              c);
  }
}

// The first time in this call that the quadrature asks for abscissa m, or the first time in the run
// for the current sensor: records the abscissa, evaluates the kernel if it was not foreseen and
// J0 if it is new.
[[gnu::noinline]] void first_use(
    ModelState& state, DeflectionCache::Slot& slot, double& j0, double m, double c) {
  DeflectionCache& cache = state.cache;
  if (slot.use != cache.epoch) {
    slot.use = cache.epoch;
    cache.used.push_back(m);
  }
  if (slot.epoch != cache.epoch) {
    fill_slot(cache,
              slot,
              m,
              layer_system_response(state.terms, m, integrand_load(state.values, m, slot.j1)),
              c);
  }
  if (std::isnan(j0)) j0 = ::j0(state.values.norm_offset * m);
}

}  // namespace

LayerSplit split_layer(double thickness_m) {
  const double p = std::trunc(thickness_m + 0.9999);
  if (!(p <= std::numeric_limits<int>::max()))
    return {std::numeric_limits<int>::max(), thickness_m};
  if (p <= 1) return {1, thickness_m};
  const int whole = static_cast<int>(thickness_m);
  if (static_cast<float>(thickness_m) == static_cast<float>(whole)) return {whole, 1.0};
  const int parts = static_cast<int>(p);
  return {parts, thickness_m / parts};
}

void compute_deflections_uncached(ModelState& state,
                                  const ModelInputs& inputs,
                                  std::span<const double> moduli,
                                  std::span<double> deflections) {
  build_sublayers(state.layers, inputs, moduli);
  set_load_values(state.values, inputs);
  if (inputs.n_sensors <= 0) return;
  for (int j = 0; j < inputs.n_sensors; ++j) {
    state.values.norm_offset = norm_offset_of(state.values, inputs.sensor_offset[j]);
    set_compliances(state.layers, state.values);
    state.values.decay_point = decay_point(state.layers, state.values);
    build_table(state.de_table);
    const double c = halfspace_coefficient(state.layers, state.values);
    deflections[j] =
        sensor_deflection(state, state.de_table, current_shape(state.values), [&](double m) {
          return remainder_integrand(state.layers, state.values, c, m);
        });
  }
}

void compute_deflections(ModelState& state,
                         const ModelInputs& inputs,
                         std::span<const double> moduli,
                         std::span<double> deflections) {
  build_sublayers(state.layers, inputs, moduli);
  set_load_values(state.values, inputs);
  if (inputs.n_sensors <= 0) return;
  // The table depends only on its three constant arguments (one per process), the compliances on
  // nothing that changes between sensors.
  set_compliances(state.layers, state.values);
  state.values.decay_point = decay_point(state.layers, state.values);
  const double c = halfspace_coefficient(state.layers, state.values);

  DeflectionCache& cache = state.cache;
  begin_call(cache, inputs, state.values);
  sublayer_terms(state.layers, state.values, state.terms);
  match_decays(cache, state.terms);
  evaluate_foreseen(cache, state.terms, state.values, c);
  const auto n_sensors = static_cast<std::size_t>(inputs.n_sensors);
  for (std::size_t j = 0; j < n_sensors; ++j) {
    state.values.norm_offset = norm_offset_of(state.values, inputs.sensor_offset[j]);
    deflections[j] = sensor_deflection(
        state, process_table(), cache.shapes[j], [&](double m) __attribute__((always_inline)) {
          if (m > state.values.decay_point) return 0.0;
          const std::ptrdiff_t pos = find_slot(cache, m, state.values);
          if (pos < 0) return remainder_integrand(state.layers, state.values, c, m);
          DeflectionCache::Slot& slot = cache.slots[static_cast<std::size_t>(pos)];
          double& j0 = cache.j0[static_cast<std::size_t>(pos) * n_sensors + j];
          if (slot.use != cache.epoch || std::isnan(j0)) first_use(state, slot, j0, m, c);
          // The same products in the same order as remainder_integrand, from stored factors.
          return j0 * slot.response * m - slot.halfspace * j0;
        });
  }
}

void compute_deflection_at_point(ModelState& state, double& deflection) {
  deflection = 0;
  if (state.layers.n_model_layers < 1) return;
  build_table(state.de_table);
  const double c = halfspace_coefficient(state.layers, state.values);
  deflection = sensor_deflection(state, state.de_table, current_shape(state.values), [&](double m) {
    return remainder_integrand(state.layers, state.values, c, m);
  });
}

}  // namespace orva
