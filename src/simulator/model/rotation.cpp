#include "simulator/model/rotation.h"

#include <cmath>

namespace vesko::simulator {

Mat3 axis_rotation(int axis, double angle_rad) {
    const double c = std::cos(angle_rad);
    const double s = std::sin(angle_rad);
    switch (axis) {
        case 0: return {{{1, 0, 0}, {0, c, -s}, {0, s, c}}};
        case 1: return {{{c, 0, s}, {0, 1, 0}, {-s, 0, c}}};
        default: return {{{c, -s, 0}, {s, c, 0}, {0, 0, 1}}};
    }
}

Mat3 multiply(const Mat3& a, const Mat3& b) {
    Mat3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) r[i][j] += a[i][k] * b[k][j];
    return r;
}

Mat3 transpose(const Mat3& m) {
    Mat3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r[i][j] = m[j][i];
    return r;
}

}  // namespace vesko::simulator
