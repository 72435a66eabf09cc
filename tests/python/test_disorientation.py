# disorientation against a brute-force reduction with scipy's Rotation (every pair of operators, double
# precision), known values, invariances, and triangle-by-boundary on faces of known mobilities.
import os
import subprocess
import sys

import numpy as np
import pytest
import triangle_tools as tt
from triangle_tools.commands import by_boundary
from scipy.spatial.transform import Rotation

rng = np.random.default_rng(21)
r3 = np.sqrt(3)
# The fundamental sectors: every row . axis >= 0.
SECTOR = {1: [(0, 1, 0), (1, -1, 0), (0, 0, 1)], 2: [(0, 1, 0), (1, -r3, 0), (0, 0, 1)],
          3: [(1, 0, 0), (-1, 1, 0), (0, -1, 1)], 4: [(0, 1, 0), (r3, 1, 0), (0, 0, 1)], 5: np.eye(3)}


def euler(n):  # uniform in orientation space
    return np.column_stack([rng.uniform(0, 2 * np.pi, n), np.arccos(rng.uniform(-1, 1, n)), rng.uniform(0, 2 * np.pi, n)])


@pytest.mark.parametrize("code", range(1, 6))
def test_agrees_with_scipy_over_every_pair_of_operators(code):
    ea, eb = euler(10000), euler(10000)
    (angle, axis), ga, gb = tt.disorientation(ea, eb, code), tt.etog(ea), tt.etog(eb)
    assert all(np.array_equal(x, y) for x, y in zip(tt.disorientation(ga, gb, code), (angle, axis)))
    s = Rotation.from_matrix(tt.symmetry_operators(code).astype(float))
    dg = Rotation.from_matrix(gb.astype(float) @ ga.transpose(0, 2, 1))
    mine = Rotation.from_rotvec(angle[:, None] * axis.astype(float)).as_quat()
    sides = np.tile(mine, (len(s), 1)), np.tile(mine * [-1, -1, -1, 1], (len(s), 1))  # mine and its inverse
    right, smallest, nearest = Rotation.concatenate([dg * sj for sj in s]), np.inf, np.inf  # dg S_j, j = 0, 1..
    for si in s:
        c = si * right
        smallest = np.minimum(smallest, c.magnitude().reshape(-1, 10000).min(0))
        dots = [np.abs(np.sum(c.as_quat() * side, axis=1)).reshape(-1, 10000).max(0) for side in sides]
        nearest = np.minimum(nearest, 2 * np.arccos(np.minimum(np.maximum(*dots), 1)))
    assert np.abs(angle - smallest).max() < 1e-5 and nearest.max() < 1e-5  # (angle, axis) is one of them
    assert (axis @ np.transpose(SECTOR[code]) >= -1e-6).all()


@pytest.mark.parametrize("code", range(1, 6))
def test_equivalent_orientations_and_either_grain_first_give_the_same_boundary(code):
    s, n = tt.symmetry_operators(code), 30
    ga, gb = tt.etog(euler(n)), tt.etog(euler(n))
    a = np.broadcast_to((s[:, None] @ ga)[:, None], (len(s), len(s), n, 3, 3)).reshape(-1, 3, 3)
    b = np.broadcast_to((s[:, None] @ gb)[None], (len(s), len(s), n, 3, 3)).reshape(-1, 3, 3)
    angle, axis = tt.disorientation(ga, gb, code)
    for first, second in ((a, b), (b, a)):
        got = tt.disorientation(first, second, code)
        assert np.abs(got[0] - np.tile(angle, len(s) ** 2)).max() < 1e-6
        assert np.abs(got[1] - np.tile(axis, (len(s) ** 2, 1))).max() < 1e-5


def test_twin_random_cubic_pairs_identical_orientations_and_errors():
    g = tt.etog(euler(200000))
    angle, axis = tt.disorientation(g[:1000], tt.aatog(np.full(3, 3 ** -0.5), np.pi / 3) @ g[:1000], 3)
    assert np.allclose(angle, np.pi / 3, atol=1e-5) and np.allclose(axis, 3 ** -0.5, atol=1e-5)
    random = np.degrees(tt.disorientation(g[:100000], g[100000:], 3)[0])  # Mackenzie: mean 40.74, max 62.8
    assert abs(random.mean() - 40.7) < 0.3 and random.max() <= 62.8
    for code in range(1, 6):
        angle, axis = tt.disorientation(g[:9], g[:9], code)
        assert not angle.any() and np.array_equal(axis, np.tile([0, 0, 1], (9, 1)))
    with pytest.raises(ValueError, match="unknown symmetry code 0"):
        tt.disorientation(g[:1], g[:1], 0)
    with pytest.raises(ValueError, match=r"both have shape \(N, 3\) \(Euler angles\) or \(N, 3, 3\)"):
        tt.disorientation(g[:2], g[:2, 0], 3)


def test_by_boundary_finds_the_known_mobilities_and_its_twin_window(tmp_path, capsys, monkeypatch):
    monkeypatch.chdir(tmp_path)
    kinds = subprocess.run([sys.executable, os.path.join(os.path.dirname(__file__), "../../examples/make_boundary_faces.py"),
                            "4000", "faces.txt"], capture_output=True, text=True, check=True).stdout.split()
    count = lambda kind: int(kinds[kinds.index(kind) + 1])  # noqa: E731

    def table(*options):
        assert by_boundary.main(["faces.txt", *options]) == 0
        out = capsys.readouterr().out.splitlines()
        return out[0], {line.split()[0]: [float(x) for x in line.split()[-5:]] for line in out[2:]}  # faces, area, fit
    first, rows = table()
    assert first.startswith("faces.txt: 3980 faces of 4000 (20 blank, 0 over a limit; no limits given)")
    for kind, mobility, groups in (("twin", 0.5, ["Sigma3"]), ("low_angle", 3, ["0-5", "5-10"]),
                                   ("general", 1.5, ["25-30", "30-35", "35-40"]), ("60_110", 1, ["55-60", "60-65"])):
        assert sum(rows[g][0] for g in groups) == count(kind) and len(rows) == 9, kind
        assert all(abs(rows[g][2] - mobility) < 0.02 and rows[g][3] < rows[g][2] < rows[g][4] for g in groups), kind
    assert (tmp_path / "faces_by_boundary.png").stat().st_size > 10000
    narrow, by_degrees = table("--brandon", "0.5", "-o", "n.png")[1], table("--twin-window", "4.330127", "-o", "d.png")[1]
    assert 0 < narrow["Sigma3"][0] == by_degrees["Sigma3"][0] < count("twin") == table("--twin-window", "9.4")[1]["Sigma3"][0]
    assert "Sigma3" not in table("--class", "hexagonal", "-o", "h.png")[1]  # the twin is cubic only
    first, rows = table("0.02", "1e9")  # the curvature limit drops most faces, as dremmick would
    assert "limits 0.02 1e9" in first and rows["all"][0] < 1000
