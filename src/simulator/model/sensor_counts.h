#pragma once

// The gyroscope and accelerometer counts a module reports for a given motion.

#include <cstdint>

#include "simulator/model/jig.h"
#include "simulator/model/module_params.h"

namespace vesko::simulator {

// Rounds to the nearest count and clamps to the signed 16-bit range.
std::int16_t to_counts(double value);

// The gyroscope counts of one sample: rate through the coupling, divided by
// the true scale, plus bias and the given noise (in counts, per axis).
void gyro_counts(const ModuleParams& params, const Vec3& rate, const Vec3& noise, std::int16_t out[3]);

// The accelerometer counts of one sample of a module at rest or turning
// slowly: gravity (+1 g up in the jig frame) seen in the module frame.
void accel_counts(const ModuleParams& params, const Mat3& orientation, const Vec3& noise, std::int16_t out[3]);

}  // namespace vesko::simulator
