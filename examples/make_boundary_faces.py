#!/usr/bin/python3
"""Write a raw triangle file of cubic grain faces whose mobility depends on the
boundary type, for trying examples/velocity_by_boundary.py on known answers.

Each face separates a grain of random orientation from a neighbour turned by
a misorientation of one of three types, each with its own mobility M in
|velocity| = M |curvature| (plus a little scatter):

    low angle   1 to 8 degrees about a random axis            M = 3.0
    twin        60 degrees about <111>, off by up to 3 degrees M = 0.5
    general     25 to 40 degrees about a random axis          M = 1.5

Misorientations up to 45 degrees are their own disorientation in the cubic
class, so the general faces fall in the angle classes 25-40 degrees and
stay more than 20 degrees away from the twin. One face in 200 has an
unindexed grain (a zero triple). The seed is fixed.

Usage: python3 examples/make_boundary_faces.py N OUTPUT
"""

import sys

import numpy as np

MOBILITY = {"low angle": 3.0, "twin": 0.5, "general": 1.5}


def rotations(rng, n, low, high):
    """Active rotation matrices by angles uniform in [low, high] degrees about random axes."""
    axis = rng.normal(size=(n, 3))
    axis /= np.linalg.norm(axis, axis=1, keepdims=True)
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
    kind = rng.choice(list(MOBILITY), n, p=[0.3, 0.2, 0.5])
    dg = rotations(rng, n, 25, 40)
    low = kind == "low angle"
    dg[low] = rotations(rng, low.sum(), 1, 8)
    twin = kind == "twin"
    turn = np.array([[0, -1, 1], [1, 0, -1], [-1, 1, 0]]) / np.sqrt(3)  # [n]x for n = <111>
    sigma3 = 0.5 * np.eye(3) + np.sqrt(0.75) * turn + np.ones((3, 3)) / 6  # 60 degrees about n
    dg[twin] = rotations(rng, twin.sum(), 0, 3) @ sigma3
    u = rng.normal(size=(n, 4))
    u /= np.linalg.norm(u, axis=1, keepdims=True)
    w, x, y, z = u.T  # random orientations, uniform
    ga = np.stack([1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y),
                   2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x),
                   2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)], axis=1).reshape(n, 3, 3)
    gb = dg @ ga  # dg = gb . ga^T
    curvature = rng.choice([-1, 1], n) * rng.uniform(0.05, 0.5, n)
    velocity = np.vectorize(MOBILITY.get)(kind) * curvature + rng.normal(0, 0.02, n)
    normal = rng.normal(size=(n, 3))
    normal /= np.linalg.norm(normal, axis=1, keepdims=True)
    values = np.column_stack([euler(ga), euler(gb), normal, rng.lognormal(0, 0.8, n), curvature, velocity])
    values[::200, 3:6] = 0  # unindexed neighbour
    header = "# cubic grain faces with mobility 3.0 (low angle), 0.5 (twin), 1.5 (general)\n" \
             "# columns: phi1 Phi phi2 (grain 1), phi1 Phi phi2 (grain 2), nx ny nz, area, curvature, velocity"
    np.savetxt(path, values, fmt="%.6f", header=header, comments="")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: python3 examples/make_boundary_faces.py N OUTPUT")
    main(int(sys.argv[1]), sys.argv[2])
