"""Plots of the fits, drawn on matplotlib Axes given by the caller, so that
notebooks and the commands share them.

report_axes
    A binned report and its fit (what ``triangle-plot-slope`` draws).
boundary_axes
    Mobility, faces and area per boundary group (``triangle-by-boundary``).
"""

import math

import numpy as np

from . import fits, report


def report_axes(top, bottom, bins, fit, units=None, sem=False):
    """Draws a binned report and its binned fit.

    Parameters
    ----------
    top, bottom : matplotlib.axes.Axes
        top: mean |velocity| against mean |curvature| per bin, with error bars
        (one standard deviation of |v|, or with `sem` the standard error of the
        mean), the bins left out of the fit drawn open, the fitted line with
        its 95% band and the mean |v| the fit expects for the pooled spread
        (the fold's lift); bottom: the faces per bin, the fitted bins in blue.
        Bins whose fields overflowed are drawn in neither.
    bins : report.Report
    fit : fits.SlopeResult
        The binned fit of `bins` (``fits.fit_report``).
    units : dict, optional
        "curvature" and "velocity" units for the axes.
    sem : bool
    """
    units = units or {}
    shown = (bins.number > 0) & ~bins.overflowed & np.isfinite(bins.curv) & np.isfinite(bins.vel)
    number = np.flatnonzero(shown) + 1
    k, m, s, n = bins.curv[shown], bins.vel[shown], bins.std_dev[shown], bins.number[shown]
    fitted = np.isin(number, fit.bins)
    cu, vu = units.get("curvature", ""), units.get("velocity", "")
    x = np.linspace(0, max(k.max(initial=0), 1e-9) * 1.03, 200)
    top.fill_between(x, fit.low * x, fit.high * x, color="#2ca02c", alpha=0.25,
                     label=f"95% interval {fit.low:.6g} to {fit.high:.6g}")
    top.errorbar(k, m, yerr=s / np.sqrt(n) if sem else s, fmt="none", ecolor="#7f7f7f",
                 label="± standard error of the mean (std dev / √n)" if sem else "± one standard deviation of |v|")
    top.scatter(k[fitted], m[fitted], s=10 + 60 * np.sqrt(n[fitted] / n.max()), color="#1f5fbf",
                label=f"bin fitted (size grows with faces, at most {n.max()})")
    top.scatter(k[~fitted], m[~fitted], facecolors="none", edgecolors="#d62728", label="left out of the fit")
    slope_unit = f" ({vu})/({cu})" if cu and vu else ""
    top.plot(x, fit.slope * x, color="#2ca02c", lw=2,
             label=f"fit, {fit.method}: slope {fit.slope:.6g} ± {fit.stderr:.6g}{slope_unit}")
    expected = [fits._folded(fit.slope * xi, fit.spread)[0] for xi in x]
    top.plot(x, expected, "--", color="#ff7f0e", lw=2,
             label=f"mean |v| the fit expects (pooled spread {fit.spread:.6g}): lifted by the fold")
    top.set_xlabel(f"mean |curvature| of the bin ({cu or 'unit of the data'})")
    top.set_ylabel(f"mean |velocity| ({vu or 'unit of the data'})")
    top.set_ylim(bottom=0)
    top.grid(True)
    top.legend(loc="upper left", fontsize=8)
    bottom.bar(bins.edge[shown] - report.BIN_WIDTH / 2, n, width=report.BIN_WIDTH,
               color=np.where(fitted, "#1f5fbf", "#aaaaaa"))
    bottom.set_xlabel(f"|curvature| bin (width {report.BIN_WIDTH} {cu or 'unit of the data'}; "
                      "the last bin holds everything from 0.597 up)")
    bottom.set_ylabel("faces in the bin")
    ranges = fits.bin_ranges(fit.bins)
    bottom.set_title("bins fitted, in blue: " + (ranges if len(ranges) <= 120 else ranges[:117] + "..."), fontsize=9)
    bottom.set_xlim(top.get_xlim())
    bottom.grid(True)


def boundary_axes(top, middle, bottom, rows, window=None):
    """Draws a mobility per boundary group.

    Parameters
    ----------
    top, middle, bottom : matplotlib.axes.Axes
        top: each group's mobility with its 95% interval, and that of all
        faces as a line; middle: the faces per group; bottom: their area.
    rows : list of (label, faces, area, slope, low, high)
        The first row is all faces, then one per group (``triangle-by-boundary``'s table).
    window : float, optional
        The Σ3 twin window in radians, for the label of the "Sigma3" group.
    """
    labels = [f"Σ3 (within {math.degrees(window):.3g}°)" if r[0] == "Sigma3" and window is not None else r[0]
              for r in rows[1:]]
    count, area, slope, low, high = (np.array([r[i] for r in rows[1:]], np.float64) for i in range(1, 6))
    x = np.arange(len(labels))
    top.axhline(rows[0][3], color="grey", linestyle="--", label=f"all faces: {rows[0][3]:.4g}")
    top.errorbar(x, slope, yerr=[slope - low, high - slope], fmt="o", capsize=4)
    top.legend()
    top.set_ylabel("mobility M\n(v = M curvature)")
    middle.bar(x, count)
    middle.set_ylabel("faces")
    bottom.bar(x, area, color="tab:green")
    bottom.set_ylabel("total area")
    bottom.set_xticks(x, labels, rotation=45, ha="right")
