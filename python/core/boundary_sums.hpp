// Faces grouped into grain boundaries: BoundarySums, a mergeable accumulator
// of per-boundary sums in double precision, for the Python module.
#pragma once

#include <pybind11/pybind11.h>

// Adds the class BoundarySums to the module.
void registerBoundarySums(pybind11::module_& m);
