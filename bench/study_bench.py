"""Benchmark of triangle-study (make bench): usage study_bench.py BUILD_DIR [FACES].

1. Per step: reduce_step on one raw file of FACES (1,000,000) faces against
   read_free and bin_curvature on the same file, in this process, median of
   3 runs each (target: within 1.3 times).
2. Eight such steps on a LocalCluster of one worker and of two (each started
   before the clock): the steps reduced (target: two at least 1.7 times
   faster than one, on an idle machine with 2 cores), and the whole
   run_study with its outputs (the merge, the bootstraps and the plots run
   on the client, one after another); median of 2 each.
3. Peak resident memory of a process that reduces 1 step and of one that
   reduces 8, one after another (target: the same within 1 MiB).

The file is generated once into BUILD_DIR/bench-data/ (numpy, 4 decimals,
about 70 MB); the 8 steps are links to it, so they sit in the page cache.
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np
from triangle_tools import _core, study


def median_time(call, runs):
    times = []
    for _ in range(runs):
        started = time.perf_counter()
        call()
        times.append(time.perf_counter() - started)
    return statistics.median(times)


def make_file(path, n):
    if os.path.exists(path):
        return
    rng = np.random.default_rng(1)
    v = rng.uniform(-1, 1, (n, 12))
    v[:, 9] = rng.lognormal(0, 1, n)
    v[:, 10] = rng.exponential(0.11, n) * rng.choice([-1, 1], n)
    v[:, 11] = 1.6 * v[:, 10] + rng.normal(0, 0.25, n)
    np.savetxt(path + ".tmp", v, fmt="%.4f", header="bench faces")
    os.replace(path + ".tmp", path)


def peak_rss(files):
    """Peak RSS (MiB) of a fresh process that reduces the files one after another."""
    code = ("import resource, sys\nfrom triangle_tools import study\nfor f in sys.argv[1:]:\n"
            "    options = study.StudyOptions(0.5, 1.5)\n"
            "    study.reduce_step(f, options, study.wanted_reducers(options))\n"
            "print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss)")
    out = subprocess.run([sys.executable, "-c", code, *files], capture_output=True, text=True, check=True)
    return int(out.stdout) / 1024


def main(build, n):
    data = os.path.join(build, "bench-data")
    os.makedirs(data, exist_ok=True)
    raw = os.path.join(data, f"study_{n}.txt")
    make_file(raw, n)
    steps = []
    for k in range(8):
        steps.append(os.path.join(data, f"study_{n}.step{k}.txt"))
        if not os.path.exists(steps[-1]):
            os.link(raw, steps[-1])
    options = study.StudyOptions(0.5, 1.5)
    reducers = study.wanted_reducers(options)  # the bins and the fit, as every study

    def read_and_bin():
        values, _ = _core.read_free(raw)
        _core.bin_curvature(values)

    step = median_time(lambda: study.reduce_step(raw, options, reducers), 3)
    base = median_time(read_and_bin, 3)
    print(f"study per step, {n} faces: reduce_step {step:.3f} s; read_free + bin_curvature {base:.3f} s; "
          f"{step / base:.2f} x (target <= 1.3)")

    import logging
    import distributed
    wall = {}
    for workers in (1, 2):
        with distributed.LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, host="127.0.0.1",
                                      dashboard_address=None, silence_logs=logging.ERROR,
                                      scheduler_kwargs={"dashboard_address": ":0"}) as cluster, \
                tempfile.TemporaryDirectory() as out:
            address = cluster.scheduler_address
            reduce = lambda: study._run_steps(steps, options, reducers, address, True)  # noqa: E731
            run = lambda: study.run_study(steps, out, 0.5, 1.5, scheduler=address)  # noqa: E731
            wall[workers] = median_time(reduce, 2), median_time(run, 2)
    print(f"study of 8 steps of {n} faces, the steps reduced: 1 worker {wall[1][0]:.2f} s, 2 workers "
          f"{wall[2][0]:.2f} s, speed-up {wall[1][0] / wall[2][0]:.2f} x (target >= 1.7 on an idle 2-core machine); "
          f"the whole study with its outputs: {wall[1][1]:.2f} s and {wall[2][1]:.2f} s, {wall[1][1] / wall[2][1]:.2f} x; "
          f"load average {os.getloadavg()[0]:.1f}")
    one, eight = peak_rss(steps[:1]), peak_rss(steps)
    print(f"peak resident memory of a worker process: 1 step {one:.1f} MiB, 8 steps {eight:.1f} MiB "
          f"(target: the same within 1 MiB)")
    return 0


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit("usage: study_bench.py BUILD_DIR [FACES]")
    sys.exit(main(sys.argv[1], int(sys.argv[2]) if len(sys.argv) == 3 else 1_000_000))
