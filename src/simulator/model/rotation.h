#pragma once

// Small vector and rotation-matrix types and helpers for the jig's physics.

#include "calibration/matrix3.h"

namespace vesko::simulator {

// The console's own 3x3 types: the cross-axis fit's matrix and the model's
// truth are the same kind of value. A matrix times a vector is times().
using Vec3 = Vector3;
using Mat3 = Matrix3;  // rows

inline constexpr Mat3 kIdentity3 = {{{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}}};

// Rotation by `angle_rad` (right hand) about coordinate axis 0, 1 or 2.
Mat3 axis_rotation(int axis, double angle_rad);

Mat3 multiply(const Mat3& a, const Mat3& b);
Mat3 transpose(const Mat3& m);

}  // namespace vesko::simulator
