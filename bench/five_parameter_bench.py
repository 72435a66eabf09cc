"""The disorientation kernels and the five-parameter cells in the benchmark
(make bench), CPU time of one thread unless said:

  five_parameter_bench.py [PAIRS [FACES]]
      cubic disorientation per pair: disorientation (float matrices from
      the Euler angles, the reference) against fast_disorientation from
      quaternions (the closed form alone: the whole call, whose allocation
      of the two output arrays costs under 1 ns per pair; the quaternions
      are float64 already, so nothing is converted), from Euler angles (etoq
      twice more), from matrices; then every class from quaternions; then the
      five-parameter cell of FACES random faces (10,000,000 by default) by
      the kernel alone and by FiveParameterState.add in chunks of 1,000,000,
      and one Sigma3 plane section of them. Prints the figures beside the
      targets (cubic at most 20 ns per pair; 10,000,000 cells in at most
      10 s). A missed target is reported, not fatal; exit status 1 when the
      fast and the reference disorientation differ by more than 5e-7 rad.
"""
import math
import sys
import time

import numpy as np
import triangle_tools as tt
from triangle_tools.five_parameter import FiveParameterState, partition

CLASSES = {1: "tetragonal", 2: "hexagonal", 3: "cubic", 4: "trigonal", 5: "orthorhombic"}


def cpu(f, *args, **kwargs):
    """CPU seconds of one call (the best of three) and its result."""
    best, result = math.inf, None
    for _ in range(3):
        start = time.process_time()
        result = f(*args, **kwargs)
        best = min(best, time.process_time() - start)
    return best, result


def random_euler(rng, n):
    return np.column_stack([rng.uniform(0, 2 * np.pi, n), np.arccos(rng.uniform(-1, 1, n)),
                            rng.uniform(0, 2 * np.pi, n)]).astype(np.float32)


def main(pairs=1_000_000, faces=10_000_000):
    rng = np.random.default_rng(27)
    ea, eb = random_euler(rng, pairs), random_euler(rng, pairs)
    qa, qb, ga, gb = tt.etoq(ea), tt.etoq(eb), tt.etog(ea), tt.etog(eb)
    print(f"disorientation of {pairs} random pairs, CPU time per pair (best of 3, one thread unless said):")
    worst = 0.0
    for code, name in CLASSES.items():
        old, (old_angle, _) = cpu(tt.disorientation, ea, eb, code)
        new, (angle, _) = cpu(tt.fast_disorientation, qa, qb, code, threads=1)
        worst = max(worst, np.abs(angle - old_angle).max())
        line = f"  {name:<13} quaternions {new / pairs * 1e9:6.1f} ns"
        if code == 3:
            euler, _ = cpu(tt.fast_disorientation, ea, eb, code, threads=1)
            matrices, _ = cpu(tt.fast_disorientation, ga, gb, code, threads=1)
            line += (f" (target <= 20: {'met' if new / pairs * 1e9 <= 20 else 'MISSED'}), from Euler angles"
                     f" {euler / pairs * 1e9:.1f} ns, from matrices {matrices / pairs * 1e9:.1f} ns;")
        print(f"{line} disorientation {old / pairs * 1e9:.1f} ns (CPU over its threads, Euler angles)")
    print(f"  fast and reference angles agree within {worst:.1e} rad")

    print(f"five-parameter cells of {faces} random faces (cubic, {partition('cubic').resolution:g} degrees):")
    f = np.zeros((faces, 12), np.float32)
    f[:, :3], f[:, 3:6] = random_euler(rng, faces), random_euler(rng, faces)
    f[:, 6:9] = rng.normal(size=(faces, 3))
    f[:, 9], f[:, 10] = 1, rng.normal(0, 0.1, faces)
    f[:, 11] = 1.5 * f[:, 10]
    start = time.process_time()
    tt._core.five_parameter_cells(f, 3, list(partition("cubic").bins))
    kernel = time.process_time() - start
    start = time.process_time()
    state = FiveParameterState("cubic")
    for k in range(0, faces, 1_000_000):
        state.add(f[k:k + 1_000_000])
    table = state.result()
    whole = time.process_time() - start
    print(f"  kernel {kernel:.2f} s ({kernel / faces * 1e9:.0f} ns per face; target <= 10 s for 10,000,000:"
          f" {'met' if kernel * 1e7 / faces <= 10 else 'MISSED'}); add in chunks and result {whole:.2f} s,"
          f" {len(table['cell'])} cells")
    start = time.process_time()
    tt.plane_distribution(f[:, :3], f[:, 3:6], f[:, 6:9], 3, np.pi / 3, (1, 1, 1))
    print(f"  Sigma3 plane section (5 degrees) of the same faces: {time.process_time() - start:.2f} s")
    return 0 if worst <= 5e-7 else 1


if __name__ == "__main__":
    sys.exit(main(*(int(x) for x in sys.argv[1:])))
