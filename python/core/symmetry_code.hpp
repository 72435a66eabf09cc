#pragma once

// The crystal classes' codes as the orientation library numbers them, and the
// one refusal of any other code that every binding gives.

#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>

inline void requireSymmetryCode(std::int32_t code) {
    if (code < 1 || code > 5)
        throw pybind11::value_error(
            "unknown symmetry code " + std::to_string(code) +
            "; the codes are 1 tetragonal, 2 hexagonal, 3 cubic, 4 trigonal, 5 orthorhombic");
}
