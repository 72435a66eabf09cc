# triangle_tools.study: merged states against one pass in numpy over the
# concatenated faces, one file against dremmick + quorvel, failing steps.
# The cluster run is tests/python/study_cluster.py (its own ctest).
import copy
import gzip
import json
import os
import subprocess
import tempfile

import numpy as np
import pytest
from triangle_tools import _core, study
from triangle_tools.commands.study import main

rng = np.random.default_rng(25)


def faces(n, seed):
    r = np.random.default_rng(seed)
    v = r.uniform(-1, 1, (n, 12)).astype(np.float32)
    v[:, 9] = r.lognormal(0, 1, n) * r.choice([-1, 1], n)  # the fit weighs by |area|
    v[:, 10] = r.exponential(0.11, n) * r.choice([-1, 1], n)
    v[:, 10][::97] = r.choice([0, 0.003, 0.009, 0.6, 1.5], len(v[::97]))  # bin edges, bin 200
    v[:, 11] = 1.6 * v[:, 10] + r.normal(0, 0.25 + np.abs(v[:, 10]), n)
    return np.round(v, 4)


def reduce(chunks, options):
    states = [cls(options) for cls in study.REDUCERS if cls.wanted(options)]
    for chunk in chunks:
        for s in states:
            s.add(chunk)
    return states


def one_pass(v, weights):  # numpy in double, the bin rule in float32
    x = (np.abs(v[:, 10]) * np.float32(200)) / np.float32(0.6)
    b = np.where(x < 200, np.floor(np.nan_to_num(x, nan=200)) + 1, 200).astype(int) - 1
    n = np.bincount(b, minlength=200)
    c, u = (np.bincount(b, np.abs(v[:, k]).astype(float), 200) / n for k in (10, 11))
    sd = np.sqrt(np.bincount(b, (np.abs(v[:, 11]) - u[b]) ** 2, 200) / n)
    w = np.abs(v[:, 9]).astype(float) if weights else None
    f = _core.fit_slope(v[:, 10].astype(float), v[:, 11].astype(float), w)
    return n, [c, u, sd], [f.slope, f.stderr, f.low, f.high]


@pytest.mark.parametrize("area_weights", [False, True])
def test_merged_steps_equal_one_pass_whatever_the_split_order_and_grouping(area_weights):
    steps = [faces(n, seed) for seed, n in enumerate([1, 300, 5000, 4095, 9000, 4097, 2, 7000])]
    options = study.StudyOptions(area_weights=area_weights)
    for trial in range(4):
        order = rng.permutation(8) if trial else np.arange(8)
        states = []
        for k in order:  # each step cut into chunks at random places
            cuts = np.sort(rng.integers(0, len(steps[k]), rng.integers(0, 4)))
            states.append(reduce(np.split(steps[k], cuts), options))
        while len(states) > 1:  # any grouping that keeps the order
            i = rng.integers(len(states) - 1)
            joined = copy.deepcopy(states[i])
            for a, b in zip(joined, states.pop(i + 1)):
                a.merge(b)
            states[i] = joined
        bins, fit = states[0]
        n, expected, fitted = one_pass(np.concatenate([steps[k] for k in order]), area_weights)
        t = bins.table()
        assert np.array_equal(t["faces"], n)
        np.testing.assert_allclose([t["mean_curvature"], t["mean_velocity"], t["std_velocity"]], expected,
                                   rtol=1e-12)
        r = fit.result()
        np.testing.assert_allclose([r.slope, r.stderr, r.low, r.high], fitted, rtol=1e-12)
        assert r.faces == sum(map(len, steps))


def test_one_file_agrees_with_dremmick_and_quorvel(tmp_path):
    bin_dir = os.environ["TRIANGLE_BIN"]
    raw = faces(20000, 99)
    raw[::13, 3:6] = 0
    np.savetxt(tmp_path / "raw.txt", raw, fmt="%.4f", header="# raw faces", footer="\n ", comments="")
    summary = subprocess.run([f"{bin_dir}/dremmick", "raw.txt", "0.45", "1.2"], cwd=tmp_path, capture_output=True,
                             text=True, check=True).stdout.split()
    report = subprocess.run([f"{bin_dir}/quorvel", "raw_cnd.txt"], cwd=tmp_path, capture_output=True, text=True,
                            check=True).stdout.splitlines()[-200:]
    result = study.run_study([tmp_path / "raw.txt"], tmp_path / "out", 0.45, 1.2)
    assert list(result.steps[0].counts.values())[1:] == [int(summary[k]) for k in (-1, -11, -9, -7)]
    bins = np.genfromtxt(tmp_path / "out/bins.csv", delimiter=",", names=True)
    quorvel = np.genfromtxt(report)  # edge, curvature, velocity, number, std_dev
    assert np.array_equal(bins["faces"], quorvel[:, 3])
    fields = ["upper_edge", "mean_curvature", "mean_velocity", "std_velocity"]
    assert np.nanmax(np.abs(np.array([bins[f] for f in fields]).T - quorvel[:, [0, 1, 2, 4]])) < 5.1e-5
    assert sorted(os.listdir(tmp_path / "out")) == ["bins.csv", "steps.csv", "steps.png", "summary.json",
                                                    "velocity.png"]


@pytest.mark.parametrize("bad, words", [
    ("1 2 3 4 5 6 7 8 9 10 0.1 0.2\n1 2 x 4 5 6 7 8 9 10 0.1 0.2\n", "bad.txt: line 2: value 3 of 12: expected a "
     "number, found 'x'"),
    ("1 2 3 4 5 6 7 8 9 10 nan 0.2\n", "bad.txt: line 1: value 11 of 12: expected a finite curvature, found NaN"),
    ("1 2 3 4 5 6\n7 8 9 10 0.1 0.2\n", "bad.txt: line 2: expected a record of 12 values, found the end of the "
     "file; lines and records went out of step at line 1"),
    (None, "bad.txt: cannot open for reading: No such file or directory"),
    (b"\x1f\x8b junk", "bad.txt.gz: "),
])
def test_a_failing_step_stops_the_study_or_is_skipped(tmp_path, monkeypatch, capsys, bad, words):
    monkeypatch.chdir(tmp_path)
    monkeypatch.setattr(tempfile, "tempdir", str(tmp_path / "tmp"))  # where .gz steps are decompressed
    os.mkdir("tmp")
    np.savetxt("a.txt", faces(500, 1), fmt="%.4f")
    with gzip.open("c.txt.gz", "wt") as f:
        np.savetxt(f, faces(700, 2), fmt="%.4f")
    name = "bad.txt.gz" if isinstance(bad, bytes) else "bad.txt"
    if bad is not None:
        (tmp_path / name).write_bytes(bad if isinstance(bad, bytes) else bad.encode())
    files = ["a.txt", name, "c.txt.gz"]
    assert main(["-o", "out", "--scheduler", "synchronous", *files]) == 1
    error = capsys.readouterr().err.splitlines()
    assert len(error) == 1 and error[0].startswith(f"triangle-study: {name}") and words in error[0]
    assert not os.path.exists("out") or os.listdir("out") == []
    assert main(["-o", "out", "--scheduler", "synchronous", "--skip-bad", "--area-weights", *files]) == 0
    assert f"triangle-study: warning: skipped {name}" in capsys.readouterr().err
    summary = json.load(open("out/summary.json"))
    assert [s["file"] for s in summary["skipped"]] == [name] and summary["steps"] == 2 and summary["kept"] == 1200
    v = np.concatenate([np.loadtxt(f) for f in ("a.txt", "c.txt.gz")]).astype(np.float32).astype(float)
    fit = _core.fit_slope(v[:, 10], v[:, 11], np.abs(v[:, 9]))
    np.testing.assert_allclose([summary["fit"][k] for k in ("slope", "stderr", "low", "high")],
                               [fit.slope, fit.stderr, fit.low, fit.high], rtol=1e-12)
    assert os.listdir("tmp") == []


class FaceCount:  # the sketch of docs/study.md, "Adding a per-step reducer"
    name = "face_count"
    wanted = staticmethod(lambda options: options.extra.get("count_faces", False))
    add_arguments = staticmethod(lambda parser: parser.add_argument("--count-faces", action="store_true"))

    def __init__(self, options):
        self.n = []

    def add(self, faces):
        self.n.append(len(faces))

    def merge(self, other):
        self.n += other.n

    write = staticmethod(lambda directory, states, merged, study: study.summary.update(counted=[s.n for s in states]
                                                                                      + [merged.n]))


@pytest.mark.parametrize("flag", [[], ["--count-faces"]])
def test_a_further_reducer_plugs_in_with_its_option(tmp_path, monkeypatch, flag):
    monkeypatch.setattr(study, "REDUCERS", [*study.REDUCERS, FaceCount])
    monkeypatch.setattr(study, "CHUNK", 1000)
    np.savetxt(tmp_path / "a.txt", faces(2500, 3), fmt="%.4f")
    np.savetxt(tmp_path / "b.txt", faces(700, 4), fmt="%.4f")
    assert main(["-o", str(tmp_path), "--scheduler", "synchronous", *flag, f"{tmp_path}/a.txt", f"{tmp_path}/b.txt"]) == 0
    counted = [[1000, 1000, 500], [700], [1000, 1000, 500, 700]]
    assert json.load(open(tmp_path / "summary.json")).get("counted") == (counted if flag else None)


def test_faces_without_spread_give_no_fit_and_a_warning(tmp_path, capsys):
    (tmp_path / "flat.txt").write_text("1 2 3 4 5 6 7 8 9 10 0 0.5\n")
    assert main(["-o", str(tmp_path), str(tmp_path / "flat.txt")]) == 0
    assert "no spread" in capsys.readouterr().err and json.load(open(tmp_path / "summary.json"))["fit"]["slope"] is None
