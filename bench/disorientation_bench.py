"""triangle_tools.disorientation in the benchmark (bench/run.sh), against a
straightforward numpy implementation timed in the same run:

  disorientation_bench.py N_FAST N_NAIVE
      times disorientation(a, b, 3) on N_FAST random cubic pairs of Euler
      angles (float32, as read from a file; median of 3 runs), then numpy on
      the first N_NAIVE pairs: Bunge matrices, dg = gb ga^T, every S_i dg S_j
      of the 24 cubic operators broadcast, the largest trace, its axis sorted.
      Prints the times, the numpy time scaled to N_FAST pairs and the ratio
      beside the targets (under 1 s for 1,000,000 pairs, at least 20 times
      faster than numpy), and how closely the two agree.

Exit status 1 when their angles differ by more than 1e-5 rad; a missed
timing target is reported, not fatal.
"""
import sys
import time

import numpy as np
import triangle_tools as tt

TARGET_SECONDS = 1.0  # for 1,000,000 pairs
TARGET_RATIO = 20


def bunge(e):
    """Passive Bunge matrices g = Z(phi2) X(Phi) Z(phi1), numpy row-major."""
    c1, c, c2 = np.cos(e.T)
    s1, s, s2 = np.sin(e.T)
    return np.stack([c1 * c2 - s1 * s2 * c, s1 * c2 + c1 * s2 * c, s2 * s,
                     -c1 * s2 - s1 * c2 * c, c1 * c2 * c - s1 * s2, c2 * s,
                     s1 * s, -c1 * s, c], axis=1).reshape(-1, 3, 3)


def naive(ea, eb, chunk=2000):
    ops = tt.symmetry_operators(3).astype(np.float64)
    angles, axes = [], []
    for k in range(0, len(ea), chunk):
        dg = bunge(eb[k:k + chunk].astype(np.float64)) @ bunge(ea[k:k + chunk].astype(np.float64)).transpose(0, 2, 1)
        c = (ops[:, None, None] @ dg[None, None] @ ops[None, :, None]).reshape(-1, len(dg), 3, 3)
        trace = np.trace(c, axis1=2, axis2=3)
        best = np.argmax(trace, axis=0)
        m = c[best, np.arange(len(dg))]
        angles.append(np.arccos(np.clip((trace[best, np.arange(len(dg))] - 1) / 2, -1, 1)))
        axis = np.abs(np.stack([m[:, 2, 1] - m[:, 1, 2], m[:, 0, 2] - m[:, 2, 0], m[:, 1, 0] - m[:, 0, 1]], axis=1))
        axes.append(np.sort(axis, axis=1) / np.linalg.norm(axis, axis=1, keepdims=True))
    return np.concatenate(angles), np.concatenate(axes)


def main(n_fast, n_naive):
    rng = np.random.default_rng(20210221)
    ea, eb = (np.column_stack([rng.uniform(0, 2 * np.pi, n_fast), np.arccos(rng.uniform(-1, 1, n_fast)),
                               rng.uniform(0, 2 * np.pi, n_fast)]).astype(np.float32) for _ in range(2))
    times = []
    for _ in range(3):
        start = time.perf_counter()
        angle, axis = tt.disorientation(ea, eb, 3)
        times.append(time.perf_counter() - start)
    fast = sorted(times)[1]
    start = time.perf_counter()
    slow_angle, slow_axis = naive(ea[:n_naive], eb[:n_naive])
    slow = time.perf_counter() - start
    per_fast, per_slow = fast / n_fast, slow / n_naive
    angle_error = np.abs(angle[:n_naive] - slow_angle).max()
    axis_error = np.abs(axis[:n_naive] - slow_axis).max(axis=1)
    target = TARGET_SECONDS * n_fast / 1e6
    print(f"disorientation of {n_fast} random cubic pairs of Euler angles (float32), median of 3 runs:")
    print(f"  triangle_tools.disorientation {fast:.3f} s (runs {' '.join(f'{t:.3f}' for t in times)});"
          f" target < {target:g} s: {'met' if fast < target else 'MISSED'}")
    print(f"  numpy, every pair of the 24 operators broadcast: {slow:.2f} s for {n_naive} pairs,"
          f" {per_slow * n_fast:.1f} s for {n_fast}")
    print(f"  ratio {per_slow / per_fast:.0f} x, target >= {TARGET_RATIO}:"
          f" {'met' if per_slow / per_fast >= TARGET_RATIO else 'MISSED'}")
    print(f"  agreement on {n_naive} pairs: angles within {angle_error:.1e} rad; axes within"
          f" {np.median(axis_error):.1e} (median), {np.sum(axis_error > 1e-4)} differ by more than 1e-4")
    return 0 if angle_error <= 1e-5 else 1


if __name__ == "__main__":
    sys.exit(main(int(sys.argv[1]), int(sys.argv[2])))
