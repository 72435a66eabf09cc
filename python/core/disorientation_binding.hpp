#pragma once

#include <pybind11/pybind11.h>

// Adds triangle_tools.disorientation to the module.
void registerDisorientation(pybind11::module_& m);
