#pragma once

#include <pybind11/pybind11.h>

// Adds triangle_tools.fast_disorientation and triangle_tools.boundary_plane to the module.
void registerBoundaryPlane(pybind11::module_& m);
