"""triangle-plot-slope: fits and draws quorvel's binned report.

Prints the binned fit (``triangle_tools.fits.fit_report``): the slope line
"slope VALUE ± STDERR" first (scripts take it), the 95% interval, then the
method and the bins fitted. Then draws the report as a PNG (REPORT with .txt
replaced by .png, or -o):

* top: mean |velocity| against mean |curvature|, one point per bin, with
  error bars of one standard deviation of |v| (--sem: the standard error of
  the mean); bins left out of the fit drawn open; the fitted line with its 95%
  band; the mean |v| that the fit expects for the pooled spread (the fold's
  lift at small curvature);
* bottom: the faces per bin, the fitted bins in blue.

Bins whose fields overflowed (asterisks) are drawn in neither. Units come
from a header line of the report such as ``# units: curvature 1/um velocity
um/s``, or from the options, which win. Warnings name what to do: a bin
skipped for NaN or asterisks, faces in bin 200 (dremmick's limits).
"""

import os
import sys

from .. import fits, plots, report
from . import Parser, pyplot, run, save_figure

PROG = "triangle-plot-slope"


def parser():
    p = Parser(prog=PROG, description="Fits the slope of velocity against curvature to quorvel's binned REPORT "
               "and draws it. Prints \"slope VALUE ± STDERR\", then the 95%% interval and the bins fitted.")
    p.add_argument("report", metavar="REPORT", help="quorvel's binned report (x_binned.txt)")
    p.add_argument("-o", "--png", metavar="OUT.png", help="the plot (default: REPORT with .txt replaced by .png)")
    p.add_argument("--sem", action="store_true", help="error bars: the standard error of the mean (std dev / √n)")
    p.add_argument("--last-bin", action="store_true", help="fit bin 200 too (every curvature from 0.597 up)")
    p.add_argument("--curvature-unit", metavar="UNIT", help="unit of the curvature axis, e.g. 1/um")
    p.add_argument("--velocity-unit", metavar="UNIT", help="unit of the velocity axis, e.g. um/s")
    p.add_argument("--fit-only", action="store_true", help="print the fit only; draw nothing")
    return p


def draw(bins, fit, units, sem, title, path):
    """Draws the report and its fit into path (PNG)."""
    plt = pyplot()
    figure, (top, bottom) = plt.subplots(2, 1, figsize=(9, 8), height_ratios=[2, 1])
    figure.suptitle(title)
    plots.report_axes(top, bottom, bins, fit, units, sem)
    figure.tight_layout()
    save_figure(figure, path)
    plt.close(figure)


def body(args):
    bins = report.read(args.report)
    try:
        fit = fits.fit_report(bins, args.last_bin)
    except ValueError as e:
        raise ValueError(f"{args.report}: {e}") from None
    print("\n".join(fits.describe(fit)))
    if args.fit_only:
        return 0
    units = dict(bins.units)
    units.update({k: v for k, v in (("curvature", args.curvature_unit), ("velocity", args.velocity_unit)) if v})
    with_faces = int(((bins.number > 0) & ~bins.overflowed).sum())
    overflowed = int((bins.overflowed & (bins.number > 0)).sum())
    empty = int((bins.number == 0).sum())
    title = f"quorvel report {os.path.basename(args.report)}: {with_faces} bins with faces, {len(fit.bins)} fitted"
    if overflowed:
        title += f", {overflowed} overflowed (not drawn)"
    out = args.png or (args.report[:-4] if args.report.endswith(".txt") else args.report) + ".png"
    draw(bins, fit, units, args.sem, title, out)
    print(f"{PROG}: wrote {out} ({with_faces} bins with faces, {len(fit.bins)} fitted, {empty} empty, "
          f"{overflowed} overflowed)", file=sys.stderr)
    return 0


def main(argv=None):
    """Runs triangle-plot-slope with argv (sys.argv[1:] if None); returns the exit status."""
    args = parser().parse_args(argv)
    if not args.report.strip() or (args.png is not None and not args.png.strip()):
        parser().error("an empty or blank file name")
    return run(PROG, body, args)


if __name__ == "__main__":
    sys.exit(main())
