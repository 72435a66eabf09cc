"""Grouping faces into boundaries (triangle_tools BoundarySums) in the
benchmark (bench/run.sh):

  boundaries_bench.py N_FACES N_BOUNDARIES
      makes N_FACES random faces (float32 records) on N_BOUNDARIES boundaries,
      each face written in either order, in random order (every face a jump
      in the table) and sorted by boundary; times BoundarySums.add over
      chunks of 1,000,000 faces on one core (median of 3 runs each), and the
      per-boundary table (disorientation and class) of the result. Prints the
      times beside the target (10,000,000 faces grouped in at most 5 s) and
      the peak memory the grouping added.

Exit status 1 when a run does not find every boundary that drew a face, or
loses a face; a missed timing target is reported, not fatal.
"""
import pickle
import sys
import time

import numpy as np
from triangle_tools import boundaries as tb

TARGET_SECONDS = 5.0  # for 10,000,000 faces
CHUNK = 1_000_000


def faces_of(n_faces, n_boundaries, rng):
    grains = rng.uniform(0, 2 * np.pi, (n_boundaries, 6)).astype(np.float32)
    which = rng.integers(0, n_boundaries, n_faces)
    faces = np.empty((n_faces, 12), np.float32)
    faces[:, 6:] = rng.normal(size=(n_faces, 6))
    flip = rng.uniform(size=n_faces) < 0.5
    faces[:, :6] = grains[which]
    faces[flip, :3], faces[flip, 3:6] = faces[flip, 3:6], grains[which[flip], :3]
    return faces, which


def resident():
    """This process's resident memory now, in MiB."""
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * 4096 / 2**20


def timed(faces):
    times = []
    for _ in range(3):
        start = time.perf_counter()
        sums = tb.BoundarySums()
        for k in range(0, len(faces), CHUNK):
            sums.add(faces[k:k + CHUNK])
        times.append(time.perf_counter() - start)
    return sorted(times)[1], times, sums


def main(n_faces, n_boundaries):
    rng = np.random.default_rng(20261208)
    faces, which = faces_of(n_faces, n_boundaries, rng)
    target = TARGET_SECONDS * n_faces / 1e7
    ok, present = True, len(np.unique(which))  # boundaries that drew at least one face
    grown = None
    print(f"grouping {n_faces} faces on {n_boundaries} boundaries (BoundarySums.add, chunks of {CHUNK}, one core),"
          " median of 3 runs:")
    for order, data in (("random order", faces), ("sorted by boundary", faces[np.argsort(which, kind="stable")])):
        before = resident()
        median, times, sums = timed(data)
        grown = resident() - before if grown is None else grown  # the first run's, before any is freed
        ok &= len(sums) == present and sums.faces == n_faces
        print(f"  {order}: {median:.3f} s (runs {' '.join(f'{t:.3f}' for t in times)}),"
              f" {n_faces / median / 1e6:.1f} M faces/s; target <= {target:g} s: {'met' if median <= target else 'MISSED'}")
    start = time.perf_counter()
    table = tb.boundaries_from_sums(sums)
    print(f"  per-boundary table of {len(table)} boundaries (disorientation, cubic class):"
          f" {time.perf_counter() - start:.2f} s")
    print(f"  memory of the grouping: {grown:.1f} MiB resident ({grown * 2**20 / present:.0f} bytes a boundary;"
          f" the faces themselves {faces.nbytes / 2**20:.0f} MiB); its pickled state {len(pickle.dumps(sums)) / 2**20:.1f} MiB")
    print(f"  {'ok' if ok else 'FAILED'}: every run found the {present} boundaries of {n_faces} faces")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(int(sys.argv[1]), int(sys.argv[2])))
