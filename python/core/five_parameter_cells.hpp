#pragma once

#include <pybind11/pybind11.h>

// Adds triangle_tools._core.five_parameter_cells and section_faces to the module.
void registerFiveParameterCells(pybind11::module_& m);
