// Layered elastic response model: surface deflections of layers over an elastic half-space under a
// uniform circular load, with partially slipping interfaces.
#pragma once

#include <span>

namespace orva {

// What the model reads besides the moduli (filled by the engine's input reader). Arrays are indexed
// 0..n-1 for layers 1..n; the half-space is the last layer and has no thickness or slip.
struct ModelInputs {
  int n_layers = 0;                        // layers including the half-space (>= 1)
  int n_sensors = 0;                       // sensors
  std::span<const double> layer_poisson;   // n_layers
  std::span<const double> layer_thickness; // cm, n_layers (last entry unused)
  std::span<const double> layer_slip;      // n_layers (last entry unused)
  std::span<const double> sensor_offset;   // cm, n_sensors
  double plate_load = 0.0;                 // kgf
  double plate_radius = 0.0;               // cm
};

struct ModelState;  // sublayers, model values, quadrature table and caches; owned by the caller

// moduli: n_layers values in kgf/cm2. deflections: n_sensors surface deflections in cm (output).
void compute_deflections(ModelState& state,
                         const ModelInputs& inputs,
                         std::span<const double> moduli,
                         std::span<double> deflections);

}  // namespace orva
