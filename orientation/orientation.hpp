#pragma once

// Orientation and crystal-symmetry routines.
//
// ============================================================================
//  CONVENTIONS (read these before calling anything below)
// ============================================================================
//
//  * Single precision throughout (disorientation excepted, see below). Every
//    value and every intermediate result is a float, formulas are evaluated left to right as written, and
//    nothing is fused (the library is built with -ffp-contract=off).
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
//    trigonal set; so disorientation for the trigonal class too) read
//    const1.pi, so the caller MUST store pi there first,
//    e.g. orientation::const1.pi = orientation::singlePrecisionPi; with pi
//    left at 0, reflected angles come out negative instead of being brought
//    into [0, 2*pi) and the trigonal operators degenerate to the identity. gtoe also reads
//    const1.eps, a non-negative threshold on sin(Phi).
//
//  * gtoe near Phi = pi: for Phi within 0.01 of pi (g(3,3) <= -0.99995f) it
//    takes formulas of its own that give the matrix back within 1e-6, and
//    where sin Phi <= eps there it returns Phi = pi, not Phi = 0 (see gtoe).
//
//  * disorientation computes in double precision on float inputs and gives
//    float results. The routines under "Grain-boundary character, in double"
//    (etoq, gtoq, the quaternion disorientation, boundaryplane) compute and
//    give double precision; their inputs are floats (angles, matrices) or
//    doubles (quaternions, normals).
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
#include <cstddef>
#include <cstdint>

namespace orientation {

using Vector3 = std::array<float, 3>;
using EulerAngles = std::array<float, 3>;              // phi1, Phi, phi2
using Matrix3 = std::array<float, 9>;                  // column-major: element (i,j) at index (i-1)+3(j-1)
using AnglePair = std::array<float, 2>;                // theta, phi
using SymmetryOperatorArray = std::array<float, 216>;  // 24 slots of one Matrix3 each
using Quaternion = std::array<double, 4>;              // w, x, y, z (see etoq)
using Direction = std::array<double, 3>;               // x, y, z in double

// pi in single precision, the float nearest to it (bits 0x40490FDB).
inline constexpr float singlePrecisionPi = 3.1415927f;

// The block shared by the routines below and the program's main flow.
struct Const1 {
    float pi;   // pi in single precision (singlePrecisionPi); 2*pi is formed as pi + pi
    float eps;  // gtoe lets phi1 carry the whole turn (phi2 = 0) where sin(Phi) <= eps
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
// Phi within 0.01 of pi, that is g(3,3) <= -0.99995f (cos(pi - 0.01) in
// single precision), has formulas of its own: there 1 - g(3,3)^2 has lost
// the digits of sin Phi, and the general formulas below would give matrices
// up to 0.8 per element away from g. With s = hypot(g(1,3), g(2,3)):
//
//  * phi1 - phi2 is d = atan2(g(1,2) + g(2,1), g(1,1) - g(2,2)): the two are
//    (1 - cos Phi) times the sine and cosine of phi1 - phi2 whatever Phi is,
//    so d stays exact where the third row and column fade with sin Phi.
//
//  * s > eps: Phi = atan2(s, g(3,3)), phi2 = atan2(g(1,3), g(2,3)) with
//    pi + pi added when negative, phi1 = phi2 + d brought into [0, 2*pi) by
//    one subtraction or addition of pi + pi. etog(e) gives back g within 1e-6
//    per element (measured over every float Phi in the band), also when each
//    element of g carries noise of 2e-7; phi1 and phi2 taken from the third
//    row and column separately would be off there by up to 2.
//
//  * s <= eps (with eps = 0 only when g(1,3) and g(2,3) are both 0): Phi =
//    singlePrecisionPi (the constant of acos2), phi2 = 0, phi1 = d with pi + pi
//    added when negative (a -0 stays -0); etog(e) is off from g only in the
//    third row and column, by at most s. Phi = pi is a choice of this
//    library: Phi = 0, as in the degenerate case below, would give a triple
//    whose matrix is 180 degrees away from g.
//
//  * With pi left at 0 nothing is added or subtracted: phi2 is the atan2
//    value in [-pi, pi] and phi1 = phi2 + d, in [-2*pi, 2*pi].
//
// Elsewhere (g(3,3) > -0.99995f, NaN too): with s = sqrt(1 - g(3,3)^2) (0
// when g(3,3)^2 >= 1), if s > eps the three angles are recovered from the
// third row and column, phi1 and phi2 from arc-cosines of ratios to s, which
// lose precision as Phi nears 0 or pi (up to 0.03 per element just outside
// the band above). Otherwise (s <= eps; with eps = 0 only when g(3,3) >= 1)
// the matrix is treated as a turn about z alone: Phi = 0, phi2 = 0, phi1 from
// acos2(g(2,2)), reflected to 2*pi - phi1 when g(1,2) < 0. With eps above
// sin 0.01 this also takes matrices with Phi near pi outside the band.
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

// ---------------------------------------------------------------------------
// Grain-boundary character
// ---------------------------------------------------------------------------

// Disorientation of two grains of one crystal class: angle (radians) and
// axis of the smallest rotation among all symmetrically equivalent
// misorientations, with the two grains interchangeable.
//
//  * ga, gb: orientations as etog gives them (passive: crystal components =
//    g * sample components). The misorientation dg = gb * ga^T takes grain
//    a's crystal components to grain b's; its equivalents are S_i * dg * S_j
//    and, with the grains interchanged, their transposes, for all operators
//    S_i, S_j of get_symop(code). Both grains use the same class.
//
//  * angle: the smallest rotation angle among them, in [0, pi].
//
//  * axis: a unit vector in the crystal frame. The rotation axis of a
//    misorientation has the same components in both grains' frames, so it
//    names one direction of both crystals. aatog(axis, angle) is one of the
//    equivalent misorientations above (as the grains may be interchanged,
//    its transpose is one too: the sense of turning carries no meaning).
//    The axis is reduced, by the operators and by the sign, to the
//    fundamental sector of the class, so that equal boundaries give equal
//    (angle, axis):
//        code 3 cubic          0 <= x <= y <= z   (triangle [001] [101] [111])
//        code 1 tetragonal     0 <= y <= x, z >= 0 (triangle [001] [100] [110])
//        code 2 hexagonal      z >= 0, azimuth 0 to 30 degrees from +x
//        code 5 orthorhombic   x, y, z >= 0
//        code 4 trigonal       z >= 0, azimuth 0 to 120 degrees from +x
//    Where several equivalents share the smallest angle (to within 1e-7 in
//    cos(angle/2), the inputs' precision), the one whose reduced axis lies
//    deepest in the sector (largest c.axis, c a fixed direction inside it)
//    is taken. On the trigonal sector's edges (azimuth 0 and 120 degrees)
//    either of the two equivalent axes may come out.
//
//  * Identical matrices give angle 0 and axis (0, 0, 1). Orientations that
//    are equal only up to symmetry, or up to rounding, give an angle of the
//    order of the inputs' rounding (about 1e-7) and an axis without meaning.
//
//  * Precision: computed in double on the float inputs and rounded to float
//    at the end. Reads const1.pi for the trigonal class (through get_symop),
//    like get_symop. A code other than 1 to 5 gives NaN angle and axis.
void disorientation(const Matrix3& ga, const Matrix3& gb, std::int32_t code, float& angle, Vector3& axis);

// The same for n pairs: (ga[k], gb[k]) into angle[k] and axis[k], k < n, each
// array holding n elements; the operator set is prepared once for all.
void disorientation(const Matrix3* ga, const Matrix3* gb, std::size_t n, std::int32_t code, float* angle,
                    Vector3* axis);

// ---------------------------------------------------------------------------
// Grain-boundary character, in double
// ---------------------------------------------------------------------------
//
// QUATERNIONS. q = (w, x, y, z) = (cos(a/2), sin(a/2) u) is the quaternion of
// a rotation matrix READ IN THE ACTIVE SENSE: the matrix g (as etog gives it,
// or as aatog gives it) turns a vector v into g v = q v q*, so that the
// product of two matrices is the product of their quaternions, and
// aatog(u, a) has the quaternion (cos(a/2), sin(a/2) u). For an orientation g
// (passive, crystal components = g * sample components) this is the
// quaternion of g itself, not of its transpose. q and -q are the same
// rotation; the routines below accept either.

// q = unit quaternion of etog(e), computed in double from the float angles:
// q = (cos(Phi/2) cos(s), -sin(Phi/2) cos(d), -sin(Phi/2) sin(d),
// -cos(Phi/2) sin(s)) with s = (phi1 + phi2)/2, d = (phi1 - phi2)/2.
void etoq(const EulerAngles& e, Quaternion& q);

// q = unit quaternion of the rotation matrix g (normalised; g need not be
// orthogonal to more than float precision).
void gtoq(const Matrix3& g, Quaternion& q);

// The disorientation of n pairs from their quaternions: the same angle and
// axis as disorientation above (same equivalents, same fundamental sectors,
// same choice among equal angles within 1e-7 in cos(angle/2)), in double.
// The cubic class takes a closed form: with a >= b >= c >= d the sorted
// absolute components of the misorientation, cos(angle/2) is the largest
// of a, (a + b)/sqrt(2), (a + b + c + d)/2, and the axis is sorted by a
// signed permutation; the other classes try their operators one by one.
// angle in [0, pi]; axis a unit vector, (0, 0, 1) for angle 0. A code other
// than 1 to 5 gives NaN. Reads const1.pi for the trigonal class.
void disorientation(const Quaternion* qa, const Quaternion* qb, std::size_t n, std::int32_t code,
                    double* angle, Direction* axis);

// The boundary plane in the crystal frame, for n faces.
//
//  * Face k lies between grain a (orientation qa[k], grain 1 of the face)
//    and grain b (qb[k], grain 2); normal[k] is its normal in the SAMPLE
//    frame, pointing from grain a into grain b (any length but zero).
//
//  * r[k] is the disorientation as a quaternion: scalar part >= 0,
//    r = (cos(angle/2), sin(angle/2) axis) with the angle and axis that the
//    quaternion disorientation above gives (axis in the fundamental sector;
//    in a tie within 1e-7 the angle of r may differ from that angle by as
//    much). aatog(axis, angle) is the matrix of r.
//
//  * r is one equivalent S_j dg S_i^T of the misorientation dg = gb ga^T
//    (grain b's crystal components from grain a's), or, with the grains
//    exchanged, one equivalent of dg^T. grain[k] says which grain r is
//    REFERRED TO: 1 when r = S_j (gb ga^T) S_i^T (r takes grain a's
//    components, as turned by S_i, to grain b's), 2 when r = S_j (ga gb^T)
//    S_i^T (the grains exchanged: grain b turned by S_i is the reference).
//
//  * plane[k] is the unit boundary-plane normal in the crystal frame of the
//    reference grain, with THE SAME operator applied: S_i ga n when grain is
//    1, and -S_i gb n when grain is 2, since exchanging the grains turns the
//    normal round (it points from the reference grain into the other one).
//    So r * plane is the same normal in the other grain's (turned) frame,
//    pointing the same way, and a face written the other way round (grains
//    exchanged, normal negated) gives the same r and plane.
//
//  * Where r has equivalents of its own (a misorientation that some
//    operators leave unchanged, as an exact CSL one), several planes
//    describe the same boundary; which of them comes out then depends on
//    the inputs' rounding. The symmetric equivalents of one pair of
//    orientations, and either order of the grains, give the same r and
//    plane elsewhere.
//
//  * A code other than 1 to 5 gives NaN r and plane and grain 0; a zero
//    normal gives a NaN plane. Reads const1.pi for the trigonal class.
void boundaryplane(const Quaternion* qa, const Quaternion* qb, const Direction* normal, std::size_t n,
                   std::int32_t code, Quaternion* r, Direction* plane, std::uint8_t* grain);

}  // namespace orientation
