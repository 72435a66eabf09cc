#pragma once

// Orientation and crystal-symmetry routines.
//
// ============================================================================
//  CONVENTIONS (read these before calling anything below)
// ============================================================================
//
//  * Single precision throughout. Every value and every intermediate result
//    is a float, formulas are evaluated left to right as written, and nothing
//    is fused (the library is built with -ffp-contract=off).
//
//  * Angles are in RADIANS, never degrees.
//
//  * Matrices are stored COLUMN BY COLUMN (column-major). Element (i,j), row i
//    and column j both counted from 1, sits at index (i-1) + 3*(j-1):
//        index:   0      1      2      3      4      5      6      7      8
//        element: (1,1)  (2,1)  (3,1)  (1,2)  (2,2)  (3,2)  (1,3)  (2,3)  (3,3)
//    A matrix acts on column vectors: w = m * v (see mtov). Code written for
//    row-major 3x3 arrays sees the TRANSPOSE of every matrix here.
//
//  * Euler angles are (phi1, Phi, phi2) in the BUNGE z-x-z convention: a turn
//    phi1 about z, then Phi about the new x, then phi2 about the new z.
//
//  * etog is PASSIVE: g = Z(phi2) * X(Phi) * Z(phi1) maps the components of a
//    fixed vector in the reference frame to its components in the turned
//    frame. aatog is ACTIVE: it turns the vector itself, counter-clockwise
//    about the axis by the right-hand rule. For the same axis z and the same
//    angle the two matrices are transposes of each other.
//
//  * const1 holds pi and eps and is ZERO at program start. Nothing in this
//    library ever stores into it. gtoe, vtoangles and get_symop (for the
//    trigonal set) read const1.pi, so the caller MUST store pi there first,
//    e.g. orientation::const1.pi = orientation::singlePrecisionPi; with pi
//    left at 0, reflected angles come out negative instead of being brought
//    into [0, 2*pi) and the trigonal operators degenerate to the identity. gtoe also reads
//    const1.eps, a non-negative threshold on sin(Phi).
//
//  * Cosine and sine of an angle are always taken together, as the real and
//    imaginary parts of std::exp(std::complex<float>(0, angle)).
//
//  * The routines keep no state, allocate nothing, print nothing and report
//    no errors. Inputs and outputs live in the caller's arrays; an output must
//    not share storage with an input of the same call (trans, for one, does
//    not produce the transpose when both arguments are the same array).
// ============================================================================

#include <array>
#include <cstdint>

namespace orientation {

using Vector3 = std::array<float, 3>;
using EulerAngles = std::array<float, 3>;              // phi1, Phi, phi2
using Matrix3 = std::array<float, 9>;                  // column-major: element (i,j) at index (i-1)+3(j-1)
using AnglePair = std::array<float, 2>;                // theta, phi
using SymmetryOperatorArray = std::array<float, 216>;  // 24 slots of one Matrix3 each

// pi in single precision, the float nearest to it (bits 0x40490FDB).
inline constexpr float singlePrecisionPi = 3.1415927f;

// The block shared by the routines below and the program's main flow.
struct Const1 {
    float pi;   // pi in single precision (singlePrecisionPi); 2*pi is formed as pi + pi
    float eps;  // gtoe treats sin(Phi) <= eps as a rotation about z alone
};
extern Const1 const1;  // zero at program start; see CONVENTIONS

// ---------------------------------------------------------------------------
// Rotation matrices and Euler angles
// ---------------------------------------------------------------------------

// Arc-cosine clamped to the domain: x > 1 gives 0, x < -1 gives
// singlePrecisionPi (a constant; const1 is not read), anything else acos(x). Both tests are
// strict, so NaN yields NaN.
float acos2(float x);

// g = rotation matrix of the Bunge angles e (passive).
void etog(const EulerAngles& e, Matrix3& g);

// e = Bunge angles of the rotation matrix g; reads const1.pi and const1.eps.
// phi1 and phi2 come out in [0, 2*pi], Phi in [0, pi].
//
// With s = sqrt(1 - g(3,3)^2) (0 when g(3,3)^2 >= 1): if s > eps the three
// angles are recovered from the third row and column. Otherwise the matrix is
// treated as a turn about z alone: Phi = 0, phi2 = 0 and phi1 carries the
// whole turn, taken from g(2,2) and the sign of g(1,2). With eps = 0 this
// happens only when |g(3,3)| >= 1.
//
// Phi at or near pi: this degenerate branch is taken there too (g(3,3) = -1,
// or close enough that s <= eps), and it is kept deliberately: the result is
// still Phi = 0, phi2 = 0, phi1 from g(2,2) and g(1,2). That triple does NOT
// reproduce the matrix (its g(3,3) is +1). Callers that need Phi = pi must
// check g(3,3) themselves.
void gtoe(const Matrix3& g, EulerAngles& e);

// g = rotation by omega about the axis a (active, right-hand rule). The axis
// is used as passed, without normalisation: pass a unit vector.
void aatog(const Vector3& a, float omega, Matrix3& g);

// b = transpose of a.
void trans(const Matrix3& a, Matrix3& b);

// r = a * b, each element summed from +0 in the order k = 1, 2, 3.
void mtom(const Matrix3& a, const Matrix3& b, Matrix3& r);

// w = m * v (the matrix itself, not its transpose), summed like mtom.
void mtov(const Matrix3& m, const Vector3& v, Vector3& w);

// ---------------------------------------------------------------------------
// Direction vectors and polar angles
// ---------------------------------------------------------------------------

// v = unit vector with polar angle theta (from +z) and azimuth phi (from +x
// toward +y): (sin theta cos phi, sin theta sin phi, cos theta).
void anglestov(float theta, float phi, Vector3& v);

// ang = (theta, phi) of the axis along v; reads const1.pi.
// A direction and its opposite are one axis: if v(3) < 0 (strictly, so -0
// is kept) all three components of v are negated IN PLACE and the angles
// describe the negated vector. theta = acos2(v(3)) assumes a unit vector;
// phi = atan2(v(2), v(1)), with pi + pi added when it is negative, so it
// lies in [0, 2*pi) (a -0 azimuth is returned as -0).
void vtoangles(Vector3& v, AnglePair& ang);

// ---------------------------------------------------------------------------
// Crystal symmetry operator sets
// ---------------------------------------------------------------------------
//
// An operator is a proper rotation in the layout of Matrix3, acting as
// v' = g * v. A SymmetryOperatorArray holds 24 slots; slot k (from 1) starts
// at index 9*(k-1).
//
//   code  system        count  rotation group
//     1   tetragonal       8   422 / D4
//     2   hexagonal       12   622 / D6
//     3   cubic           24   432 / O
//     4   trigonal         3   3   / C3
//     5   orthorhombic     4   222 / D2

// Sets all 216 values of ops to 0, then, for codes 1 to 5, stores the count
// and fills slots 1 to count with the set. Slots beyond the count stay 0 for
// every code, the trigonal set included. For any other code the array stays
// all zero and count is NOT written.
// The trigonal entries are computed from const1.pi at the time of the call
// (angles pi * 2/3 and pi * 4/3), so they differ in their last bits from the
// stored halves and sqrt(3)/2 of the hexagonal set.
void get_symop(std::int32_t code, SymmetryOperatorArray& ops, std::int32_t& count);

// g = operator number n (counted from 1) of ops. A number outside 1 to 24
// reads nothing and writes the zero matrix.
void symop(const SymmetryOperatorArray& ops, std::int32_t n, Matrix3& g);

}  // namespace orientation
