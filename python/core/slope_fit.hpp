// The per-face slope of velocity against curvature, for the Python module:
// fit_slope(curvature, velocity, weights=None, intercept=False, n_boot=2000, seed=0).
// This analysis is the module's own, beyond the programs' rules: it computes
// in double precision.
#pragma once

#include <pybind11/pybind11.h>

// Adds fit_slope and its result type to the module.
void registerSlopeFit(pybind11::module_& m);
