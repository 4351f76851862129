#pragma once

// Small 3x3 linear algebra for the cross-axis fit: products, the inverse, and
// the eigenvalues of a symmetric matrix (for its condition).

#include <array>
#include <optional>

namespace vesko {

using Vector3 = std::array<double, 3>;
using Matrix3 = std::array<Vector3, 3>;  // rows

Vector3 times(const Matrix3& m, const Vector3& v);

// nullopt when the matrix is singular (or nearly: a determinant below 1e-300
// against the product of its row lengths).
std::optional<Matrix3> inverse(const Matrix3& m);

// The eigenvalues of a symmetric matrix, smallest first.
Vector3 symmetric_eigenvalues(const Matrix3& m);

}  // namespace vesko
