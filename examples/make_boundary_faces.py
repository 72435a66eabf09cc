#!/usr/bin/python3
"""Write a raw triangle file of cubic grain faces whose mobility depends on the
boundary type, for trying triangle-by-boundary on known answers.

Each face separates a grain of random orientation from a neighbour turned by
a misorientation of one of four types, each with its own mobility M in
|velocity| = M |curvature| (plus a little scatter):

    low_angle  1 to 8 degrees about a random axis                     M = 3.0
    twin       60 degrees about <111> (Sigma3), off by up to 8 degrees M = 0.5
    60_110     60 degrees about <110>, off by up to 1 degree           M = 1.0
    general    26 to 39 degrees about a random axis                    M = 1.5

Misorientations up to 45 degrees are their own disorientation in the cubic
class, so the low-angle and general faces keep their angles; the twins stay
within the Brandon limit of Sigma3 (8.66 degrees), the 60_110 faces have the
twin's angle about another axis, 9.5 degrees or more from it. One face in
200 has an unindexed grain (a zero triple). The seed is fixed. Prints the
number of faces of each type, blank faces left out.

Usage: python3 examples/make_boundary_faces.py N OUTPUT
"""

import sys

import numpy as np

TYPES = {  # name: mobility, share, turn in degrees (low, high), axis (None: random), scatter in degrees
    "low_angle": (3.0, 0.3, (1, 8), None, 0),
    "twin": (0.5, 0.2, (60, 60), (1, 1, 1), 8),
    "60_110": (1.0, 0.1, (60, 60), (1, 1, 0), 1),
    "general": (1.5, 0.4, (26, 39), None, 0),
}


def rotations(rng, n, low, high, axis=None):
    """Active rotation matrices by angles uniform in [low, high] degrees about an axis (random when None)."""
    axis = rng.normal(size=(n, 3)) if axis is None else np.tile(axis, (n, 1))
    axis = axis / np.linalg.norm(axis, axis=1, keepdims=True)
    w = np.radians(rng.uniform(low, high, n))[:, None, None]
    k = np.zeros((n, 3, 3))
    k[:, [2, 0, 1], [1, 2, 0]] = axis
    k[:, [1, 2, 0], [2, 0, 1]] = -axis
    return np.eye(3) + np.sin(w) * k + (1 - np.cos(w)) * k @ k


def euler(g):
    """Bunge angles of passive matrices g (crystal = g . sample), as the library's gtoe reads them."""
    phi = np.arccos(np.clip(g[:, 2, 2], -1, 1))
    return np.stack([np.arctan2(g[:, 2, 0], -g[:, 2, 1]) % (2 * np.pi), phi,
                     np.arctan2(g[:, 0, 2], g[:, 1, 2]) % (2 * np.pi)], axis=1)


def main(n, path):
    rng = np.random.default_rng(20210221)
    kind = rng.choice(list(TYPES), n, p=[t[1] for t in TYPES.values()])
    dg = np.empty((n, 3, 3))
    for name, (_, _, (low, high), axis, scatter) in TYPES.items():
        members = kind == name
        dg[members] = rotations(rng, members.sum(), 0, scatter) @ rotations(rng, members.sum(), low, high, axis)
    u = rng.normal(size=(n, 4))
    w, x, y, z = (u / np.linalg.norm(u, axis=1, keepdims=True)).T  # random orientations, uniform
    ga = np.stack([1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y),
                   2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x),
                   2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)], axis=1).reshape(n, 3, 3)
    gb = dg @ ga  # dg = gb . ga^T
    curvature = rng.choice([-1, 1], n) * rng.uniform(0.05, 0.5, n)
    velocity = np.array([TYPES[k][0] for k in kind]) * curvature + rng.normal(0, 0.02, n)
    normal = rng.normal(size=(n, 3))
    normal /= np.linalg.norm(normal, axis=1, keepdims=True)
    values = np.column_stack([euler(ga), euler(gb), normal, rng.lognormal(0, 0.8, n), curvature, velocity])
    values[::200, 3:6] = 0  # unindexed neighbour
    header = "# cubic grain faces, mobility " + ", ".join(f"{t[0]} ({k})" for k, t in TYPES.items()) + \
             "\n# columns: phi1 Phi phi2 (grain 1), phi1 Phi phi2 (grain 2), nx ny nz, area, curvature, velocity"
    np.savetxt(path, values, fmt="%.6f", header=header, comments="")
    kept = np.ones(n, bool)
    kept[::200] = False
    print(" ".join(f"{name} {np.sum(kept & (kind == name))}" for name in TYPES))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: python3 examples/make_boundary_faces.py N OUTPUT")
    main(int(sys.argv[1]), sys.argv[2])
