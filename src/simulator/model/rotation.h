#pragma once

// Small vector and rotation-matrix types and helpers for the jig's physics.

#include <array>

namespace vesko::simulator {

using Vec3 = std::array<double, 3>;
using Mat3 = std::array<Vec3, 3>;  // rows

inline constexpr Mat3 kIdentity3 = {{{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}}};

// Rotation by `angle_rad` (right hand) about coordinate axis 0, 1 or 2.
Mat3 axis_rotation(int axis, double angle_rad);

Mat3 multiply(const Mat3& a, const Mat3& b);
Vec3 multiply(const Mat3& m, const Vec3& v);
Mat3 transpose(const Mat3& m);

}  // namespace vesko::simulator
