"""triangle_tools: triangle data files of grain-boundary faces, from numpy.

The compiled part (``triangle_tools._core``) holds the programs' own code
(the record readers and writer, dremmick's filter tests, quorvel's bins, the
orientation library) and the C++ kernels that run per face; the modules
beside it are plain Python, one concern each. ``help(triangle_tools._core)``
describes the array conventions shared by every function.
"""

from ._core import (aatog, anglestov, bin_curvature, boundary_plane, condition, disorientation, etog, etoq,
                    fast_disorientation, fit_slope, gtoe, read_fixed, read_free, symmetry_operators, vtoangles,
                    write_fixed)
from . import binned_fit, sections
# The module five_parameter is imported by name (from triangle_tools.five_parameter
# import ...); the package's attribute of that name is its function.
from .five_parameter import FiveParameterState, five_parameter
from .sections import plane_distribution

__all__ = ["FiveParameterState", "aatog", "anglestov", "bin_curvature", "binned_fit", "boundary_plane", "condition",
           "disorientation", "etog", "etoq", "fast_disorientation", "fit_slope", "five_parameter", "plane_distribution",
           "sections", "gtoe", "read_fixed", "read_free", "symmetry_operators", "vtoangles", "write_fixed"]
