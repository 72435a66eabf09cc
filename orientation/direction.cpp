// Direction vectors and their polar and azimuth angles.

#include <cmath>
#include <complex>

#include "orientation/orientation.hpp"
#include "orientation/unit_circle.hpp"

namespace orientation {

void anglestov(float theta, float phi, Vector3& v) {
    const std::complex<float> rT = detail::unitCircle(theta);
    const std::complex<float> rF = detail::unitCircle(phi);
    const float cT = rT.real();
    const float sT = rT.imag();
    const float cF = rF.real();
    const float sF = rF.imag();

    v[0] = sT * cF;
    v[1] = sT * sF;
    v[2] = cT;
}

void vtoangles(Vector3& v, AnglePair& ang) {
    // A direction and its opposite are one axis: report the member in the
    // upper half-space and leave it in the caller's array. -0 is not
    // negative, so (x, y, -0) is kept as it is.
    if (v[2] < 0.0f) {
        v[0] = -v[0];
        v[1] = -v[1];
        v[2] = -v[2];
    }

    const float theta = acos2(v[2]);
    float phi = std::atan2(v[1], v[0]);
    if (phi < 0.0f) {
        phi = (const1.pi + const1.pi) + phi;
    }

    ang[0] = theta;
    ang[1] = phi;
}

}  // namespace orientation
