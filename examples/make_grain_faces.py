#!/usr/bin/env python3
"""Write the example raw triangle file used by `make demo`.

Each data line describes one grain-boundary face between two grains:

    phi1 Phi phi2   Euler angles of grain 1 (radians, Bunge)
    phi1 Phi phi2   Euler angles of grain 2 (radians, Bunge)
    nx ny nz        unit normal of the face
    area            face area (square microns)
    curvature       signed mean curvature (1/micron)
    velocity        signed normal velocity (microns per step)

The file is written in the free form: values separated by blanks, on some
lines by commas, with a mix of spellings as they come out of different
tools.  A few faces touch an unindexed grain (one orientation triple all
zeros) and a few lie beyond the demo limits, so the filter has something to
drop.  The seed is fixed: running the script again gives the same file.

Usage: python3 examples/make_grain_faces.py [OUTPUT]   (default: stdout)
"""

import math
import random
import sys

SEED = 20210219
LINES = 3000

HEADER = [
    "# grain faces of a synthetic polycrystal, for the dremmick/quorvel demo",
    "# columns: phi1 Phi phi2 (grain 1), phi1 Phi phi2 (grain 2), nx ny nz,"
    " area, curvature, velocity",
    "# angles in radians, lengths in microns; curvature and velocity signed",
    "# units: curvature 1/um velocity um/step",
]


def euler(rng):
    """A random orientation, uniform in orientation space."""
    return (rng.uniform(0.0, 2.0 * math.pi),
            math.acos(rng.uniform(-1.0, 1.0)),
            rng.uniform(0.0, 2.0 * math.pi))


def normal(rng):
    while True:
        x, y, z = (rng.gauss(0.0, 1.0) for _ in range(3))
        r = math.sqrt(x * x + y * y + z * z)
        if r > 1e-6:
            return (x / r, y / r, z / r)


def face(rng):
    """One ordinary face: curvature mostly within 0..0.6 of either sign,
    velocity roughly proportional to curvature plus scatter."""
    g1 = euler(rng)
    g2 = euler(rng)
    n = normal(rng)
    area = rng.lognormvariate(0.0, 0.8)
    kappa = rng.expovariate(1.0 / 0.11) * rng.choice((-1.0, 1.0))
    vel = 1.6 * kappa + rng.gauss(0.0, 0.25)
    return list(g1) + list(g2) + list(n) + [area, kappa, vel]


def spell(rng, v, style):
    if style == "short":
        return "%.4f" % v
    if style == "exp":
        return "%.5E" % v
    return "%.6f" % v


def line_text(rng, values, zero_triple=None):
    style = rng.choices(("plain", "short", "exp"), weights=(80, 15, 5))[0]
    words = []
    for i, v in enumerate(values):
        if zero_triple is not None and zero_triple <= i < zero_triple + 3:
            words.append(rng.choice(("0", "0.0", "0.000000")))
        else:
            words.append(spell(rng, v, style))
    sep = rng.choices(("  ", " ", ", ", ","), weights=(70, 15, 10, 5))[0]
    return sep.join(words)


def main():
    rng = random.Random(SEED)
    out = open(sys.argv[1], "w") if len(sys.argv) > 1 else sys.stdout
    for h in HEADER:
        out.write(h + "\n")
    for _ in range(LINES):
        values = face(rng)
        zero_triple = None
        u = rng.random()
        if u < 0.004:
            zero_triple = 0            # grain 1 not indexed
        elif u < 0.008:
            zero_triple = 3            # grain 2 not indexed
        elif u < 0.012:
            values[11] = rng.choice((-1.0, 1.0)) * rng.uniform(2.05, 3.5)
        out.write(line_text(rng, values, zero_triple) + "\n")
    if out is not sys.stdout:
        out.close()


if __name__ == "__main__":
    main()
