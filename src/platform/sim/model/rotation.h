#pragma once

#include <array>

namespace vesko::sim {

using Vec3 = std::array<double, 3>;
using Mat3 = std::array<Vec3, 3>;  // rows

inline constexpr Mat3 kIdentity3 = {{{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}}};

// Rotation by `angle_rad` (right hand) about coordinate axis 0, 1 or 2.
Mat3 axis_rotation(int axis, double angle_rad);

Mat3 multiply(const Mat3& a, const Mat3& b);
Vec3 multiply(const Mat3& m, const Vec3& v);
Mat3 transpose(const Mat3& m);

}  // namespace vesko::sim
