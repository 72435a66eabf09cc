"""triangle_tools: triangle data files of grain-boundary faces, from numpy.

The compiled part (``triangle_tools._core``) holds the programs' own code
(the record readers and writer, dremmick's filter tests, quorvel's bins, the
orientation library), so those functions give the programs' numbers bit for
bit, and the C++ kernels that run per face or per pair (the per-face slope
fit, disorientation), which are this package's own analysis in double
precision. ``help(triangle_tools._core)`` describes the array conventions.

The modules beside it are plain Python, one concern each:

report
    quorvel's binned report: its lines written and read.
fits
    The slope fits, binned and per face, returning one `SlopeResult`.
boundary_types
    Faces grouped by disorientation (the Σ3 twin window, angle classes).
plots
    The drawings, on matplotlib Axes given by the caller (imports matplotlib).
five_parameter
    The five-parameter cells of misorientation and plane: `five_parameter`,
    `FiveParameterState` (mergeable), the study's `FiveParameterReducer`.
sections
    Plane distributions at one misorientation: `plane_distribution`.
commands
    The command lines ``triangle-plot-slope``, ``triangle-by-boundary``,
    ``triangle-plane-section`` and ``triangle-study``.
"""

from ._core import (aatog, anglestov, bin_curvature, boundary_plane, condition, disorientation, etog, etoq,
                    fast_disorientation, gtoe, read_fixed, read_free, symmetry_operators, vtoangles, write_fixed)
from . import boundary_types, fits, report, sections
from .fits import FitWarning, SlopeResult, fit_bins, fit_report, fit_slope
# The module five_parameter is imported by name (from triangle_tools.five_parameter
# import ...); the package's attribute of that name is its function.
from .five_parameter import FiveParameterState, five_parameter
from .sections import plane_distribution

__all__ = ["FitWarning", "FiveParameterState", "SlopeResult", "aatog", "anglestov", "bin_curvature", "boundary_plane",
           "boundary_types", "condition", "disorientation", "etog", "etoq", "fast_disorientation", "fit_bins",
           "fit_report", "fit_slope", "fits", "five_parameter", "gtoe", "plane_distribution", "read_fixed",
           "read_free", "report", "sections", "symmetry_operators", "vtoangles", "write_fixed"]
