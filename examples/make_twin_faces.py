#!/usr/bin/env python3
"""Write a raw triangle file of cubic grain faces with planted Sigma3 twins.

    python3 examples/make_twin_faces.py OUTPUT [FACES]

FACES (100,000 by default) faces in the columns of examples/grain_faces.txt:
a tenth are Sigma3 twins (grain 2 is grain 1 turned 60 degrees about [111],
within a degree), of which half are coherent (the plane normal is the
shared {111} plane, pointing either way) and half lie on random planes; the
rest are random pairs of grains on random planes. Velocity = M * curvature
plus scatter, with M = 0.3 for coherent twins, 1.0 for the other twins and
1.5 for random boundaries. The seed is fixed: the same file every time.
"""

import sys

import numpy as np
import triangle_tools as tt

SEED = 20261208


def random_euler(rng, n):
    return np.column_stack([rng.uniform(0, 2 * np.pi, n), np.arccos(rng.uniform(-1, 1, n)),
                            rng.uniform(0, 2 * np.pi, n)]).astype(np.float32)


def main(path, n=100_000):
    rng = np.random.default_rng(SEED)
    twins = n // 10
    e1, e2 = random_euler(rng, n), random_euler(rng, n)
    g1 = tt.etog(e1).astype(np.float64)
    axis = np.full((twins, 3), 3 ** -0.5) + rng.normal(0, 0.01, (twins, 3))
    axis /= np.linalg.norm(axis, axis=1, keepdims=True)
    turn = tt.aatog(axis.astype(np.float32), (np.pi / 3 + rng.normal(0, 0.01, twins)).astype(np.float32))
    e2[:twins] = tt.gtoe((turn.astype(np.float64) @ g1[:twins]).astype(np.float32))
    normal = rng.normal(size=(n, 3))
    normal /= np.linalg.norm(normal, axis=1, keepdims=True)
    coherent = twins // 2
    sides = rng.choice([-1.0, 1.0], (coherent, 1))
    normal[:coherent] = np.einsum("kji,j->ki", g1[:coherent], np.full(3, 3 ** -0.5)) * sides  # g^T [111]
    mobility = np.full(n, 1.5)
    mobility[:twins], mobility[:coherent] = 1.0, 0.3
    curvature = rng.normal(0, 0.1, n)
    velocity = mobility * curvature + rng.normal(0, 0.02, n)
    area = rng.lognormal(0, 0.5, n)
    rows = np.column_stack([e1, e2, normal, area, curvature, velocity])[rng.permutation(n)]
    with open(path, "w") as out:
        out.write("# cubic grain faces with planted Sigma3 twins (examples/make_twin_faces.py)\n"
                  "# columns: phi1 Phi phi2 (grain 1), phi1 Phi phi2 (grain 2), nx ny nz, area, curvature, velocity\n")
        np.savetxt(out, rows, fmt="%.6f")
    return 0


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], *(int(x) for x in sys.argv[2:])))
