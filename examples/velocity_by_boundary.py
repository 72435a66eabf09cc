#!/usr/bin/python3
"""Velocity against curvature by boundary type: the faces of a raw triangle
file grouped by the disorientation of their two grains, with a mobility
fitted per group.

    python3 examples/velocity_by_boundary.py FACES.txt [--class cubic] [--step 5]

Reads the raw (free-form) file as dremmick does and keeps the faces dremmick
keeps, with their values and signs as read: blank faces (a zero orientation
triple, an unindexed grain) are dropped and, when the limits are given, faces
over the curvature or velocity limit. For each
face it computes the disorientation of its two grains (columns 1-3 and 4-6,
Bunge Euler angles) under the symmetry of the class, and groups the faces:

  * cubic only: the twin, Sigma3 (60 degrees about <111>), by the Brandon
    criterion: within 15/sqrt(3) = 8.66 degrees of it, measured as a
    misorientation distance (the smallest rotation taking the boundary's
    misorientation to any equivalent of the twin's);
  * every other face by disorientation angle, in classes of --step degrees.

Per group it prints (standard output) and plots the number of faces, their
total area (column 10) and the mobility M of velocity = M curvature
(columns 12 and 11, signed: the absolute values would lift the slope where
the curvature is small), fitted over the group's faces through the origin
by the module's fit_slope, with its 95% bootstrap interval. The plot goes to
STEM_by_boundary.png beside the data file (STEM: the name up to its first
"."), or to --png.

Needs the triangle_tools module (built by make into build/python, found
there when it is not installed), numpy and matplotlib.
"""

import argparse
import math
import os
import sys

import numpy as np

import triangle_tools as tt

CLASSES = {"tetragonal": 1, "hexagonal": 2, "cubic": 3, "trigonal": 4, "orthorhombic": 5}
BRANDON = math.radians(15) / math.sqrt(3)


def twin_distance(angle, axis):
    """Misorientation distance (radians) of each disorientation from Sigma3, over all its equivalents."""
    ops = tt.symmetry_operators(3).astype(np.float64)
    twin = tt.aatog(np.full(3, 3 ** -0.5), math.pi / 3).astype(np.float64)
    twins = np.unique(np.round(ops[:, None] @ twin @ ops[None, :], 6).reshape(-1, 9), axis=0)
    g = tt.aatog(axis, angle).reshape(-1, 9)
    trace = np.concatenate([np.max(g[k:k + 100000] @ twins.T, axis=1) for k in range(0, len(g), 100000)])
    return np.arccos(np.clip((trace - 1) / 2, -1, 1))  # angle of g . twin^T is acos((trace - 1) / 2)


def fit(curvature, velocity):
    """Slope through the origin with its 95% interval."""
    f = tt.fit_slope(curvature, velocity)
    return f.slope, f.low, f.high


def groups(faces, code, step):
    """(label, mask) per group, in the order they are reported."""
    angle, axis = tt.disorientation(faces[:, 0:3], faces[:, 3:6], code)
    degrees = np.degrees(angle)
    out = []
    rest = np.ones(len(faces), bool)
    if code == 3:
        twin = twin_distance(angle, axis) <= BRANDON
        out.append(("Sigma3", twin))
        rest &= ~twin
    for low in np.arange(0, degrees.max(initial=0) + step, step):
        members = rest & (degrees >= low) & (degrees < low + step)
        if members.any():
            out.append((f"{low:g}-{low + step:g} deg", members))
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("data", help="raw triangle file (free form)")
    parser.add_argument("--class", dest="crystal", choices=CLASSES, default="cubic", help="crystal class (cubic)")
    parser.add_argument("--step", type=float, default=5.0, help="width of the angle classes in degrees (5)")
    parser.add_argument("--curvature-limit", type=float, default=math.inf, help="drop faces above it, as dremmick")
    parser.add_argument("--velocity-limit", type=float, default=math.inf, help="drop faces above it, as dremmick")
    parser.add_argument("--png", help="plot file (STEM_by_boundary.png beside the data file)")
    args = parser.parse_args()
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    values, _ = tt.read_free(args.data)
    keep, (high_curvature, high_velocity, blank) = tt.condition(values, args.curvature_limit, args.velocity_limit,
                                                               mask=True)
    faces = values[keep]
    code = CLASSES[args.crystal]
    print(f"{args.data}: {len(faces)} faces of {len(values)} ({blank} blank, {high_curvature + high_velocity}"
          f" over a limit), {args.crystal} (code {code})")
    print(f"{'group':<14}{'faces':>9}{'area':>12}{'mobility':>11}{'low':>9}{'high':>9}")
    rows = []
    for label, members in [("all", np.ones(len(faces), bool))] + groups(faces, code, args.step):
        area, curvature, velocity = faces[members, 9:12].astype(np.float64).T
        slope, low, high = fit(curvature, velocity) if members.sum() > 1 else (math.nan,) * 3
        rows.append((label, members.sum(), area.sum(), slope, low, high))
        print(f"{label:<14}{rows[-1][1]:>9d}{rows[-1][2]:>12.2f}{slope:>11.4f}{low:>9.4f}{high:>9.4f}")

    labels, count, area, slope, low, high = (np.array(column, dtype=object) for column in zip(*rows[1:]))
    labels[labels == "Sigma3"] = "Σ3 (Brandon)"
    slope, low, high = (np.float64(column) for column in (slope, low, high))
    x = np.arange(len(labels))
    figure, (top, middle, bottom) = plt.subplots(3, 1, sharex=True, figsize=(8, 7.5), height_ratios=[2, 1, 1])
    top.axhline(rows[0][3], color="grey", linestyle="--", label=f"all faces: {rows[0][3]:.4g}")
    top.errorbar(x, slope, yerr=[slope - low, high - slope], fmt="o", capsize=4)
    top.legend()
    top.set_ylabel("mobility M\n(v = M curvature)")
    top.set_title(f"{os.path.basename(args.data)}: faces by disorientation ({args.crystal})")
    middle.bar(x, count)
    middle.set_ylabel("faces")
    bottom.bar(x, area, color="tab:green")
    bottom.set_ylabel("total area")
    bottom.set_xticks(x, labels, rotation=45, ha="right")
    figure.tight_layout()
    name = os.path.basename(args.data)
    png = args.png or os.path.join(os.path.dirname(args.data), name.split(".")[0] + "_by_boundary.png")
    figure.savefig(png, dpi=100)
    print(f"plot: {png}")


if __name__ == "__main__":
    main()
