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
commands
    The command lines ``triangle-plot-slope`` and ``triangle-by-boundary``.
"""

from ._core import (aatog, anglestov, bin_curvature, condition, disorientation, etog, gtoe, read_fixed, read_free,
                    symmetry_operators, vtoangles, write_fixed)
from . import boundary_types, fits, report
from .fits import FitWarning, SlopeResult, fit_bins, fit_report, fit_slope

__all__ = ["FitWarning", "SlopeResult", "aatog", "anglestov", "bin_curvature", "boundary_types", "condition",
           "disorientation", "etog", "fit_bins", "fit_report", "fit_slope", "fits", "gtoe", "read_fixed",
           "read_free", "report", "symmetry_operators", "vtoangles", "write_fixed"]
