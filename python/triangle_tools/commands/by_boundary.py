"""triangle-by-boundary: velocity against curvature by boundary type.

Reads a raw (free-form) triangle file as dremmick does and keeps the faces
dremmick keeps with the limits given (as dremmick takes them: the curvature
limit, then the velocity limit), with their values and signs as read. For
each face it computes the disorientation of its two grains (columns 1-3 and
4-6, Bunge Euler angles) under the symmetry of the crystal class and groups
the faces (``triangle_tools.boundary_types``): for cubic crystals first the
Σ3 twin, within the twin window (the Brandon criterion 15°/√3 = 8.66°,
scaled by --brandon, or --twin-window degrees), then every other face by
disorientation angle in classes of --step degrees.

Per group it prints the number of faces, their total area (column 10) and
the mobility M of velocity = M·curvature (columns 12 and 11, signed), fitted
through the origin over the group's faces by ``fit_slope``, with its 95%
bootstrap interval, and draws them into STEM_by_boundary.png beside the data
file (STEM: the name up to its first "."), or -o.

Warnings: a fit decided by a handful of faces (outliers that dremmick's
limits would drop: set them), faces dropped for NaN or infinite values.
"""

import math
import os
import sys
import warnings

import numpy as np

from .. import _core, boundary_types, fits, plots
from . import Parser, pyplot, run, save_figure

PROG = "triangle-by-boundary"


def parser():
    p = Parser(prog=PROG, description="Groups the faces of a raw triangle file by the disorientation of their "
               "grains and fits a mobility per group.")
    p.add_argument("data", metavar="FACES", help="raw triangle file (free form)")
    p.add_argument("limits", metavar="LIMIT", nargs="*",
                   help="the curvature limit and the velocity limit, as dremmick takes them (both or none): "
                        "faces over either are dropped")
    p.add_argument("--class", dest="crystal", choices=boundary_types.CLASSES, default="cubic",
                   help="crystal class (cubic)")
    p.add_argument("--step", type=float, default=5.0, help="width of the angle classes in degrees (5)")
    window = p.add_mutually_exclusive_group()
    window.add_argument("--brandon", type=float, metavar="FACTOR",
                        help="the twin window: the Brandon criterion 15°/√3 times FACTOR (1)")
    window.add_argument("--twin-window", type=float, metavar="DEGREES", help="the twin window in degrees")
    p.add_argument("-o", "--png", metavar="OUT.png", help="the plot (default: STEM_by_boundary.png beside FACES)")
    return p


def fitted(label, curvature, velocity):
    """The group's fit, its warnings told with the group's name."""
    if len(curvature) < 2:
        return (math.nan,) * 3
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        f = fits.fit_slope(curvature, velocity)
    for w in caught:
        warnings.warn(f"group {label}: {w.message}", fits.FitWarning)
    return f.slope, f.low, f.high


def body(args):
    limits = [float(x) for x in args.limits] or [math.inf, math.inf]
    values, _ = _core.read_free(args.data)
    keep, (high_curvature, high_velocity, blank) = _core.condition(values, *limits, mask=True)
    faces = values[keep]
    code = boundary_types.CLASSES[args.crystal]
    window = boundary_types.twin_window(args.brandon if args.brandon is not None else 1.0, args.twin_window)
    given = f"limits {args.limits[0]} {args.limits[1]}" if args.limits else "no limits given"
    print(f"{args.data}: {len(faces)} faces of {len(values)} ({blank} blank, {high_curvature + high_velocity}"
          f" over a limit; {given}), {args.crystal} (code {code})")
    print(f"{'group':<14}{'faces':>9}{'area':>12}{'mobility':>11}{'low':>9}{'high':>9}")
    rows = []
    for label, members in [("all", np.ones(len(faces), bool))] + boundary_types.groups(faces, args.crystal, args.step,
                                                                                      window):
        area, curvature, velocity = faces[members, 9:12].astype(np.float64).T
        slope, low, high = fitted(label, curvature, velocity)
        rows.append((label, int(members.sum()), area.sum(), slope, low, high))
        print(f"{label:<14}{rows[-1][1]:>9d}{rows[-1][2]:>12.2f}{slope:>11.4f}{low:>9.4f}{high:>9.4f}")
    png = args.png or os.path.join(os.path.dirname(args.data), os.path.basename(args.data).split(".")[0] +
                                   "_by_boundary.png")
    draw(rows, args, window, png)
    print(f"{PROG}: wrote {png}", file=sys.stderr)
    return 0


def draw(rows, args, window, png):
    plt = pyplot()
    figure, axes = plt.subplots(3, 1, sharex=True, figsize=(8, 7.5), height_ratios=[2, 1, 1])
    plots.boundary_axes(*axes, rows, window)
    axes[0].set_title(f"{os.path.basename(args.data)}: faces by disorientation ({args.crystal})")
    figure.tight_layout()
    save_figure(figure, png)
    plt.close(figure)


def main(argv=None):
    """Runs triangle-by-boundary with argv (sys.argv[1:] if None); returns the exit status."""
    p = parser()
    args = p.parse_args(argv)
    if len(args.limits) not in (0, 2):
        p.error(f"give both limits (curvature limit, velocity limit) or none, not {len(args.limits)}")
    for k, text in enumerate(args.limits, 2):
        try:
            float(text)
        except ValueError:
            p.error(f"argument {k}: expected the {('curvature', 'velocity')[k - 2]} limit (a number), found '{text}'")
    if not args.data.strip() or (args.png is not None and not args.png.strip()):
        p.error("an empty or blank file name")
    if not args.step > 0 or (args.twin_window is not None and not args.twin_window >= 0) or \
            (args.brandon is not None and not args.brandon >= 0):
        p.error("--step must be > 0, --brandon and --twin-window >= 0")
    return run(PROG, body, args)


if __name__ == "__main__":
    sys.exit(main())
