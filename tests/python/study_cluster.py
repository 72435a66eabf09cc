# triangle-study on a real Dask cluster: dask-scheduler and two dask-worker
# processes on 127.0.0.1 (free ports), the package on their PYTHONPATH. The
# study on this machine's cores must give the same files byte for byte; a
# worker killed while it reduces a step is replaced and the step run again,
# with the same files. Everything started here is stopped at the end.
import os
import signal
import socket
import subprocess
import sys
import tempfile

import numpy as np
from distributed import Client
from triangle_tools import study
from triangle_tools.commands.study import main


class KillOnce:
    """A reducer that kills its worker at its first chunk, once per study (a marker file)."""
    name = "kill_once"
    wanted = staticmethod(lambda options: "kill_marker" in options.extra)

    def __init__(self, options):
        self.marker = options.extra["kill_marker"]

    def add(self, faces):
        if not os.path.exists(self.marker):
            open(self.marker, "w").close()
            os.kill(os.getpid(), signal.SIGKILL)

    def merge(self, other):
        pass

    write = staticmethod(lambda directory, states, merged, study: None)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def same(a, b, names=("steps.csv", "bins.csv", "summary.json")):
    return all(open(f"{a}/{n}", "rb").read() == open(f"{b}/{n}", "rb").read() for n in names)


def check(tmp, address):
    files = []
    for k in range(8):
        rng = np.random.default_rng(k)
        v = rng.uniform(-1, 1, (3000 + 500 * k, 12))
        v[:, 11] = 1.6 * v[:, 10] + rng.normal(0, 0.25, len(v))
        files.append(f"{tmp}/step.{k}.txt")
        np.savetxt(files[-1], v, fmt="%.4f")
    common = ["--curvature-limit", "0.8", "--velocity-limit", "2", "--area-weights", *files]
    assert main(["-o", f"{tmp}/cluster", "--scheduler", address, *common]) == 0
    assert main(["-o", f"{tmp}/local", *common]) == 0
    assert same(f"{tmp}/cluster", f"{tmp}/local"), "the cluster's files differ from the local ones"
    study.run_study(files, f"{tmp}/killed", 0.8, 2, True, address, reducers=[*study.REDUCERS, KillOnce],
                    kill_marker=f"{tmp}/killed.marker")
    assert os.path.exists(f"{tmp}/killed.marker") and same(f"{tmp}/killed", f"{tmp}/local")


def run():
    with tempfile.TemporaryDirectory() as tmp:
        port = free_port()
        address = f"tcp://127.0.0.1:{port}"
        log = open(f"{tmp}/cluster.log", "w")
        started = [subprocess.Popen(["dask-scheduler", "--host", "127.0.0.1", "--port", str(port), "--no-dashboard",
                                     "--idle-timeout", "300"],  # ends itself if this script is killed
                                    stdout=log, stderr=log)]
        try:
            for k in range(2):
                started.append(subprocess.Popen(
                    ["dask-worker", address, "--host", "127.0.0.1", "--nthreads", "1", "--no-dashboard",
                     "--local-directory", f"{tmp}/worker{k}", "--death-timeout", "60"],
                    stdout=log, stderr=log, env=os.environ))
            with Client(address, timeout="30s") as client:
                client.wait_for_workers(2, timeout=40)
            check(tmp, address)
        except BaseException:
            log.flush()
            print(open(f"{tmp}/cluster.log").read()[-3000:], file=sys.stderr)
            raise
        finally:
            for p in reversed(started):
                p.terminate()
            for p in reversed(started):
                try:
                    p.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
    print("study on a Dask cluster: same files as on this machine, also after a killed worker")


if __name__ == "__main__":
    run()
