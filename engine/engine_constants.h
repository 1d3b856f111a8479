// Units and limits that the reader, the driver, the report and the statistics share.
#pragma once

#include <cstdint>

namespace orva {

// The report and the result files hold at most 20 values a record, so a run has at most 20 layers
// and 20 sensors. The reader rejects more; the driver checks again for callers of its own.
inline constexpr int32_t kMaxLayers = 20;
inline constexpr int32_t kMaxSensors = 20;

// Conversions between the input's units (MPa, kN, micrometres) and the engine's (kgf/cm2, kgf,
// cm), used exactly as written.
inline constexpr double kKgfPerCm2PerMpa = 10.197162129779283;
inline constexpr double kKgfPerKn = 101.97162129779282;
inline constexpr double kMpaPerKgfCm2 = 0.0980665;
inline constexpr double kMicrometresPerCm = 10000.0;

}  // namespace orva
