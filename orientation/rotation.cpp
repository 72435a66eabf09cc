// Rotation matrices, Euler angles and the small matrix routines.
//
// Every formula is written in the order it is evaluated: a*b*c is (a*b)*c and
// x - y*z*w subtracts the finished product, each step rounded to float.

#include <cmath>
#include <complex>
#include <cstddef>

#include "orientation/orientation.hpp"
#include "orientation/unit_circle.hpp"

namespace orientation {

namespace {

// Element (i,j) of a column-major 3x3 matrix, i and j counted from 1.
constexpr std::size_t at(std::size_t i, std::size_t j) {
    return (i - 1) + 3 * (j - 1);
}

// cos(pi - 0.01) in single precision (0xBF7FFCB9): gtoe takes a g(3,3) at or
// below it as Phi within 0.01 of pi.
constexpr float cosNearPi = -0.99995f;

// gtoe for Phi within 0.01 of pi, where 1 - g(3,3)^2 has lost the digits of
// sin Phi. phi1 - phi2 is the angle of (g(1,2) + g(2,1), g(1,1) - g(2,2)),
// which are (1 - cos Phi) times its sine and cosine whatever Phi is, so it
// stays exact as the third row and column, sin Phi times the angles' sines
// and cosines, fade away: phi2 comes from the third column and phi1 from the
// difference. Where sin Phi <= eps, Phi = pi, phi2 = 0 and phi1 carries it.
void gtoeNearPi(const Matrix3& g, float twoPi, EulerAngles& e) {
    const float sP = std::hypot(g[at(1, 3)], g[at(2, 3)]);
    float phi1 = std::atan2(g[at(1, 2)] + g[at(2, 1)], g[at(1, 1)] - g[at(2, 2)]);
    float bigPhi = singlePrecisionPi;
    float phi2 = 0.0f;
    if (sP > const1.eps) {
        bigPhi = std::atan2(sP, g[at(3, 3)]);
        phi2 = std::atan2(g[at(1, 3)], g[at(2, 3)]);
        if (phi2 < 0.0f) {
            phi2 = twoPi + phi2;
        }
        phi1 = phi2 + phi1;
        if (phi1 >= twoPi) {
            phi1 = phi1 - twoPi;
        }
    }
    if (phi1 < 0.0f) {
        phi1 = twoPi + phi1;
    }
    e[0] = phi1;
    e[1] = bigPhi;
    e[2] = phi2;
}

}  // namespace

float acos2(float x) {
    if (x > 1.0f) {
        return 0.0f;
    }
    if (x < -1.0f) {
        return singlePrecisionPi;
    }
    return std::acos(x);
}

void etog(const EulerAngles& e, Matrix3& g) {
    const std::complex<float> r1 = detail::unitCircle(e[0]);
    const std::complex<float> rP = detail::unitCircle(e[1]);
    const std::complex<float> r2 = detail::unitCircle(e[2]);
    const float c1 = r1.real();
    const float s1 = r1.imag();
    const float cP = rP.real();
    const float sP = rP.imag();
    const float c2 = r2.real();
    const float s2 = r2.imag();

    g[at(1, 1)] = c1 * c2 - s1 * s2 * cP;
    g[at(2, 1)] = -c1 * s2 - s1 * c2 * cP;
    g[at(3, 1)] = s1 * sP;
    g[at(1, 2)] = c1 * s2 * cP + s1 * c2;
    g[at(2, 2)] = c1 * c2 * cP - s1 * s2;
    g[at(3, 2)] = -c1 * sP;
    g[at(1, 3)] = s2 * sP;
    g[at(2, 3)] = c2 * sP;
    g[at(3, 3)] = cP;
}

void gtoe(const Matrix3& g, EulerAngles& e) {
    const float twoPi = const1.pi + const1.pi;
    if (g[at(3, 3)] <= cosNearPi) {
        gtoeNearPi(g, twoPi, e);
        return;
    }

    const float q = g[at(3, 3)] * g[at(3, 3)];
    float sP = 0.0f;
    if (1.0f > q) {
        sP = std::sqrt(1.0f - q);
    }

    float phi1 = 0.0f;
    float bigPhi = 0.0f;
    float phi2 = 0.0f;
    if (sP > const1.eps) {
        phi1 = acos2(-(g[at(3, 2)] / sP));
        if (g[at(3, 1)] < 0.0f) {
            phi1 = twoPi - phi1;
        }
        bigPhi = acos2(g[at(3, 3)]);
        phi2 = acos2(g[at(2, 3)] / sP);
        if (g[at(1, 3)] < 0.0f) {
            phi2 = twoPi - phi2;
        }
    } else {
        // A turn about z alone: phi1 carries the whole turn.
        phi1 = acos2(g[at(2, 2)]);
        if (g[at(1, 2)] < 0.0f) {
            phi1 = twoPi - phi1;
        }
    }

    e[0] = phi1;
    e[1] = bigPhi;
    e[2] = phi2;
}

void aatog(const Vector3& a, float omega, Matrix3& g) {
    const std::complex<float> r = detail::unitCircle(omega);
    const float c = r.real();
    const float s = r.imag();
    const float t = 1.0f - c;
    const float ax = a[0];
    const float ay = a[1];
    const float az = a[2];

    g[at(1, 1)] = ax * ax * t + c;
    g[at(2, 1)] = ax * ay * t + az * s;
    g[at(3, 1)] = ax * az * t - ay * s;
    g[at(1, 2)] = ax * ay * t - az * s;
    g[at(2, 2)] = ay * ay * t + c;
    g[at(3, 2)] = ay * az * t + ax * s;
    g[at(1, 3)] = ax * az * t + ay * s;
    g[at(2, 3)] = ay * az * t - ax * s;
    g[at(3, 3)] = az * az * t + c;
}

void trans(const Matrix3& a, Matrix3& b) {
    for (std::size_t j = 1; j <= 3; ++j) {
        for (std::size_t i = 1; i <= 3; ++i) {
            b[at(i, j)] = a[at(j, i)];
        }
    }
}

void mtom(const Matrix3& a, const Matrix3& b, Matrix3& r) {
    for (std::size_t j = 1; j <= 3; ++j) {
        for (std::size_t i = 1; i <= 3; ++i) {
            // Summing from +0 turns a -0 result into +0.
            float sum = 0.0f;
            for (std::size_t k = 1; k <= 3; ++k) {
                sum = sum + a[at(i, k)] * b[at(k, j)];
            }
            r[at(i, j)] = sum;
        }
    }
}

void mtov(const Matrix3& m, const Vector3& v, Vector3& w) {
    for (std::size_t i = 1; i <= 3; ++i) {
        float sum = 0.0f;
        for (std::size_t k = 1; k <= 3; ++k) {
            sum = sum + m[at(i, k)] * v[k - 1];
        }
        w[i - 1] = sum;
    }
}

}  // namespace orientation
