// Layered elastic response model: surface deflections of layers over an elastic half-space under a
// uniform circular load, with partially slipping interfaces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "layer_kernel.h"

namespace orva {

// What the model reads besides the moduli (filled by the engine's input reader). Arrays are indexed
// 0..n-1 for layers 1..n; the half-space is the last layer and has no thickness or slip.
struct ModelInputs {
  int n_layers = 0;                         // layers including the half-space (>= 1)
  int n_sensors = 0;                        // sensors
  std::span<const double> layer_poisson;    // n_layers
  std::span<const double> layer_thickness;  // cm, n_layers (last entry unused)
  std::span<const double> layer_slip;       // n_layers (last entry unused)
  std::span<const double> sensor_offset;    // cm, n_sensors
  double plate_load = 0.0;                  // kgf
  double plate_radius = 0.0;                // cm
};

// How the model splits a finite layer `thickness_m` metres thick into `parts` sublayers of
// `thickness` metres each: a layer up to about 1 m (thickness + 0.9999 below 2) stays whole, a
// whole number of metres (to single precision) is split into 1 m sublayers, any other thickness
// into trunc(thickness + 0.9999) equal sublayers. The input reader counts with it too, to refuse
// layers the model would split into too many. parts saturates at INT_MAX (a thickness that is not
// a number included).
struct LayerSplit {
  int parts;
  double thickness;
};
LayerSplit split_layer(double thickness_m);

// Values that depend only on the abscissa (and, for J0, on the sensor offsets), kept across the
// calls of one run, and the kernel's own sensor-independent values, kept for the current call. An
// open- addressing table keyed on the abscissa's bit pattern. It starts small (a fresh state
// touches little memory) and grows fourfold, moving its entries, when it is three quarters full,
// up to 2^kMaxCapacityLog2 slots; past that, further abscissae are evaluated without being stored.
struct DeflectionCache {
  struct Slot {
    std::uint64_t key = 0;    // bit pattern of the abscissa
    std::uint64_t epoch = 0;  // call whose response the slot holds; 0 = unused
    std::uint64_t use = 0;    // latest call whose quadrature asked for the abscissa
    double j1 = 0.0;          // J1(norm_radius m)
    double response = 0.0;    // layer_system_response(m, load) of that call
    double halfspace = 0.0;   // c J1(norm_radius m) / m of that call, c of halfspace_coefficient
  };
  // 256 slots hold 192 abscissae, enough for a top layer of about 20 cm; 1024 the 550 of a 5 cm
  // one, 4096 the 2000 of a 2 cm top. Growing by 4 at a time moves the entries at most a few times
  // in a run, and a fresh state allocates only what its calls need: at 1024 slots, 48 KB of slots
  // and 8 KB per sensor (J0) and per sublayer (decay factors).
  static constexpr int kInitialCapacityLog2 = 8;
  static constexpr int kGrowthLog2 = 2;
  static constexpr int kMaxCapacityLog2 = 14;
  int capacity_log2 = 0;  // slots.size() == 2^capacity_log2 once in use
  std::vector<Slot> slots;
  std::vector<double> j0;            // slot x n_sensors + sensor; NaN = not yet computed
  std::vector<double> norm_offsets;  // the offsets the J0 values belong to
  std::vector<double> shapes;        // geometric factor of the half-space deflection per sensor
  double norm_radius = 0.0;          // the loaded radius the J1 values belong to
  std::uint64_t epoch = 0;           // the current call
  int n_used = 0;                    // slots in use
  // The abscissae that the quadrature asked for in this call and in the call before, in that
  // order: a call starts by evaluating the kernel at all of the previous call's at once (the
  // driver's calls differ only in the moduli, so they need nearly the same), and only those it
  // did not foresee one at a time. Emptied with the table.
  std::vector<double> used;
  std::vector<double> previous;
  // decay_factor of each slot's abscissa for each sublayer above the half-space, slot x rows +
  // sublayer, kept across the calls of a run while the sublayers' thicknesses are those of
  // decay_heights (rows of them; none beyond kMaxDecayRows sublayers); NaN = not yet computed.
  static constexpr int kMaxDecayRows = 32;
  std::vector<double> decay;
  std::vector<double> decay_heights;
  std::vector<std::ptrdiff_t> batch_slot;  // work arrays of that evaluation
  std::vector<double> batch_load;
  std::vector<double> batch_decay;
  std::vector<double> batch_response;
};

// The model's state, owned by the caller and rebuilt from the arguments on every call, except the
// cache. compute_deflections reads one quadrature table built once per process (it depends only
// on constants); de_table is the table that the straightforward path builds per sensor.
struct ModelState {
  ModelLayers layers;
  ModelValues values;
  std::vector<SublayerTerms> terms;  // of the latest compute_deflections call
  std::vector<double> de_table;      // node and weight table of the quadrature
  double de_result = 0.0;  // integral of the latest sensor (the part besides the half-space)
  double de_error = 0.0;   // its error estimate; read by nobody
  DeflectionCache cache;
};

// Surface deflections for one set of moduli.
// moduli: n_layers values in kgf/cm2. deflections: n_sensors surface deflections in cm (output);
// untouched when n_sensors <= 0. The spans of inputs hold at least n_layers (n_sensors) values.
//
// The deflection integral is split into the exact surface deflection of a half-space of the first
// layer's material (closed form) plus the integral of the remainder, which decays exponentially in
// the wavenumber: integrating the whole integrand with the Fourier-type quadrature is exact only at
// even offset-to-radius ratios and is off by up to 2 % at others. The remainder counts as 0 past
// its decay point (values.decay_point, where it is below 1e-16 of the half-space part); before it,
// a kernel value that is not finite goes into the sum, so the deflection is not finite either.
void compute_deflections(ModelState& state,
                         const ModelInputs& inputs,
                         std::span<const double> moduli,
                         std::span<double> deflections);

// The same deflections computed the straightforward way: the quadrature table built and the kernel
// evaluated per sensor and node, no caches. Gives the same bits as compute_deflections. The
// reference for tests and benchmarks of the fast path; the engine never calls it.
void compute_deflections_uncached(ModelState& state,
                                  const ModelInputs& inputs,
                                  std::span<const double> moduli,
                                  std::span<double> deflections);

// The deflection at the norm_offset already stored in state, for the sublayers and load of the
// latest compute_deflections call (cm). deflection is set to 0 first; it stays 0 when no call has
// set up the model. Kept as a library routine (one more point of a basin already computed): the
// engine never calls it; tests and other callers of the model may.
void compute_deflection_at_point(ModelState& state, double& deflection);

}  // namespace orva
