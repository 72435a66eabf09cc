// The kernels of a study over many files (triangle_tools.study), for the
// Python module: a reader that yields the faces dremmick keeps, file by file
// in bounded memory, and two mergeable states computed from them in double
// precision, quorvel's 200 bins and the per-face slope fit through the origin.
#pragma once

#include <pybind11/pybind11.h>

// Adds KeptFaceReader, BinState and FitState to the module.
void registerStudyKernels(pybind11::module_& m);
