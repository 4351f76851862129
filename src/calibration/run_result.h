#pragma once

// RunResult: one accepted rotation run, as the console measured it, and the
// figures every reader of runs takes from it: its axis's letter and its scale
// against the nominal ones.

#include <array>
#include <cstdint>

namespace vesko {

// One accepted rotation run.
struct RunResult {
    std::int32_t axis = 0;             // dominant axis: 0 X, 1 Y, 2 Z
    double angle_deg = 0;              // the angle the operator entered
    double scale = 0;                  // rad/s per LSB, positive
    double leakage = 0;                // largest off-axis integral over the dominant one (fraction)
    std::array<double, 3> integral{};  // bias-corrected rate integral per axis, LSB*s
};

// A run's axis by its letter, as every text about it names it.
inline char axis_letter(int axis) { return static_cast<char>('X' + axis); }

// A run's angle is typed in degrees; its turn is figured in radians.
inline constexpr double kPi = 3.141592653589793;

// A scale against the two nominal ones, 1/1024 and 0.001 rad/s per LSB, in percent.
inline double vs_1024_pct(double scale) { return (scale * 1024.0 - 1.0) * 100.0; }
inline double vs_0001_pct(double scale) { return (scale / 0.001 - 1.0) * 100.0; }

}  // namespace vesko
