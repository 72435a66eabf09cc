"""triangle-plane-section: the plane distribution at one misorientation.

Reads a raw (free-form) triangle file as dremmick does and keeps the faces
dremmick keeps with the limits given (the curvature limit, then the velocity
limit). Takes the faces whose misorientation lies within --tolerance degrees
of --angle degrees about --axis (a crystal direction; the Sigma3 twin, 60
degrees about 1,1,1, by default), over the symmetric equivalents of the
crystal class, and draws the distribution of their boundary-plane normals in
the crystal frame (``triangle_tools.plane_distribution``), in multiples of a
random distribution, as stereographic projections of both hemispheres; with
--value, the area-weighted mean velocity or curvature per direction beneath
(signed along the normal). MRD is drawn on a log scale (log10, from 0.1).
The plot goes to STEM_plane_section.png beside
the data file (STEM: the name up to its first "."), or -o.
"""

import math
import os
import sys

import numpy as np

from .. import _core, sections
from ..five_parameter import CLASS_CODES
from . import Parser, pyplot, run, save_figure

PROG = "triangle-plane-section"


def parser():
    p = Parser(prog=PROG, description="Draws the distribution of boundary planes at one misorientation.")
    p.add_argument("data", metavar="FACES", help="raw triangle file (free form)")
    p.add_argument("limits", metavar="LIMIT", nargs="*", type=float,
                   help="the curvature limit and the velocity limit, as dremmick takes them (both or none)")
    p.add_argument("--class", dest="crystal", choices=CLASS_CODES, default="cubic", help="crystal class (cubic)")
    p.add_argument("--angle", type=float, default=60.0, help="misorientation angle in degrees (60)")
    p.add_argument("--axis", default="1,1,1", help="misorientation axis, a crystal direction X,Y,Z (1,1,1)")
    p.add_argument("--tolerance", type=float, default=5.0, help="how far a face may lie, in degrees (5)")
    p.add_argument("--resolution", type=float, default=5.0, help="the grid's step in degrees (5)")
    p.add_argument("--value", choices=("velocity", "curvature"), help="also draw its area-weighted mean")
    p.add_argument("-o", "--png", metavar="OUT.png", help="the plot (default: STEM_plane_section.png beside FACES)")
    return p


def projected(directions, upper):
    """Stereographic projection of one hemisphere, seen from outside it."""
    x, y, z = directions.T
    z = z if upper else -z
    keep = z >= -1e-9
    return x[keep] / (1 + z[keep]), (y[keep] if upper else -y[keep]) / (1 + z[keep]), keep


def draw_hemispheres(axes_pair, directions, values, label, crystal, cmap):
    """Draws values per direction on two Axes, the upper and the lower hemisphere."""
    import matplotlib.tri as mtri
    finite = np.isfinite(values)
    low, high = (np.nanmin(values), np.nanmax(values)) if finite.any() else (0, 1)
    mappable = None
    for ax, upper in zip(axes_pair, (True, False)):
        x, y, keep = projected(directions, upper)
        v = values[keep]
        ok = np.isfinite(v)
        if ok.sum() >= 3:
            mappable = ax.tricontourf(mtri.Triangulation(x[ok], y[ok]), v[ok], levels=np.linspace(low, high, 21),
                                      cmap=cmap)
        ax.add_patch(__import__("matplotlib.patches", fromlist=["Circle"]).Circle((0, 0), 1, fill=False, lw=1))
        poles = [(1, 0, 0), (0, 1, 0), (0, 0, 1), (1, 1, 1), (-1, 1, 1), (1, -1, 1), (-1, -1, 1)] if crystal == "cubic" \
            else [(1, 0, 0), (0, 1, 0), (0, 0, 1)]
        for pole in poles:
            d = np.array(pole, float) / np.linalg.norm(pole)
            d = d if upper else -d
            px, py, shown = projected(d[None], upper)
            if shown.any():
                ax.plot(px, py, "k+", ms=6)
                text = "".join(str(int(c)) if c >= 0 else f"-{int(-c)}" for c in (pole if upper else -np.array(pole)))
                ax.annotate(f"[{text}]", (px[0], py[0]), xytext=(3, 3), textcoords="offset points", fontsize=7)
        ax.set_xlim(-1.08, 1.08), ax.set_ylim(-1.08, 1.08), ax.set_aspect("equal"), ax.axis("off")
        ax.set_title(f"{label}, {'upper (z >= 0)' if upper else 'lower (z <= 0, seen from below)'}", fontsize=9)
    return mappable


def body(args):
    try:
        axis = np.array([float(x) for x in args.axis.split(",")])
    except ValueError:
        axis = np.zeros(0)
    if axis.shape != (3,) or not np.linalg.norm(axis) > 0:
        raise ValueError(f"--axis: expected a non-zero direction X,Y,Z, found {args.axis!r}")
    values, _ = _core.read_free(args.data)
    limits = args.limits or [math.inf, math.inf]
    keep, (high_curvature, high_velocity, blank) = _core.condition(values, *limits, mask=True)
    faces = values[keep]
    angle, tolerance = math.radians(args.angle), math.radians(args.tolerance)
    euler1, euler2, normals = faces[:, :3], faces[:, 3:6], faces[:, 6:9]
    selected = len(np.unique(sections.section_faces(euler1, euler2, normals, args.crystal, angle, axis,
                                                    tolerance)[0]))
    column = {"velocity": 11, "curvature": 10}.get(args.value)
    result = sections.plane_distribution(euler1, euler2, normals, args.crystal, angle, axis, tolerance,
                                         areas=faces[:, 9], values=None if column is None else faces[:, column],
                                         resolution=args.resolution)
    directions, mrd = result[0], result[1]
    print(f"{args.data}: {len(faces)} faces of {len(values)} kept ({blank} blank, {high_curvature + high_velocity}"
          f" over a limit); {selected} within {args.tolerance:g} deg of {args.angle:g} deg about [{args.axis}]"
          f" ({args.crystal})")
    if selected == 0:
        raise ValueError(f"{args.data}: no face within {args.tolerance:g} deg of {args.angle:g} deg about "
                         f"[{args.axis}]: nothing to draw")
    peak = int(np.nanargmax(mrd))
    print(f"peak {mrd[peak]:.4g} MRD at ({directions[peak][0]:.3f}, {directions[peak][1]:.3f}, "
          f"{directions[peak][2]:.3f})")
    png = args.png or os.path.join(os.path.dirname(args.data), os.path.basename(args.data).split(".")[0] +
                                   "_plane_section.png")
    plt = pyplot()
    rows = 1 if column is None else 2
    figure, axes = plt.subplots(rows, 2, figsize=(9, 4.4 * rows), squeeze=False)
    title = f"{os.path.basename(args.data)}: {args.angle:g}° about [{args.axis}] ± {args.tolerance:g}°, {selected} faces"
    figure.suptitle(title, fontsize=10)
    # MRD on a log scale: a twin peaks at hundreds over a background of 1
    m = draw_hemispheres(axes[0], directions, np.log10(np.maximum(mrd, 0.1)), "log10 MRD", args.crystal, "viridis")
    if m is not None:
        figure.colorbar(m, ax=axes[0].tolist(), shrink=0.8, label="log10 MRD (floor 0.1)")
    if column is not None:
        m = draw_hemispheres(axes[1], directions, result[2], f"mean {args.value}", args.crystal, "coolwarm")
        if m is not None:
            figure.colorbar(m, ax=axes[1].tolist(), shrink=0.8, label=f"area-weighted mean {args.value}")
    save_figure(figure, png)
    plt.close(figure)
    print(f"{PROG}: wrote {png}", file=sys.stderr)
    return 0


def main(argv=None):
    """Runs triangle-plane-section with argv (sys.argv[1:] if None); returns the exit status."""
    p = parser()
    args = p.parse_args(argv)
    if len(args.limits) not in (0, 2):
        p.error(f"give both limits (curvature limit, velocity limit) or none, not {len(args.limits)}")
    if not (args.tolerance > 0 and args.resolution > 0):
        p.error("--tolerance and --resolution must be angles > 0 (degrees)")
    return run(PROG, body, args)


if __name__ == "__main__":
    sys.exit(main())
