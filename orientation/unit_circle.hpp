#pragma once

// Internal helper of the orientation library; not installed.

#include <complex>

namespace orientation::detail {

// cos(angle) and sin(angle) together, as the real and imaginary parts of
// exp(i * angle) in single precision. Every routine of the library takes its
// cosines and sines this way, so a given angle always yields the same pair.
inline std::complex<float> unitCircle(float angle) {
    return std::exp(std::complex<float>(0.0f, angle));
}

}  // namespace orientation::detail
