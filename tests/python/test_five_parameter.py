# The five-parameter cells and plane sections on data of known truth: random faces give 1 MRD everywhere, planted
# coherent twins peak at <111> in the Sigma3 section, equivalent inputs give the same cells and sections, the cells
# agree with a brute-force assignment (scipy's Rotation, every equivalent), the mobility per cell is covered by its
# interval, and states merge exactly. FIVE_PARAMETER_SEEDS (make coverage) runs the random checks over many seeds.
import math
import os
import pickle

import numpy as np
import pytest
import triangle_tools as tt
from scipy.spatial.transform import Rotation
from scipy.stats import poisson
from triangle_tools.five_parameter import FiveParameterState, partition

SEEDS = range(int(os.environ.get("FIVE_PARAMETER_SEEDS", "1")))
SECTOR = {1: [(0, 1, 0), (1, -1, 0), (0, 0, 1)], 2: [(0, 1, 0), (1, -3 ** .5, 0), (0, 0, 1)],
          3: [(1, 0, 0), (-1, 1, 0), (0, -1, 1)], 4: [(0, 1, 0), (3 ** .5, 1, 0), (0, 0, 1)], 5: np.eye(3)}


def random_faces(rng, n, mobility=None):
    f = np.zeros((n, 12), np.float32)
    for c in (0, 3):
        f[:, c:c + 3] = np.column_stack([rng.uniform(0, 2 * np.pi, n), np.arccos(rng.uniform(-1, 1, n)),
                                         rng.uniform(0, 2 * np.pi, n)])
    v = rng.normal(size=(n, 3))
    f[:, 6:9] = v / np.linalg.norm(v, axis=1, keepdims=True)
    f[:, 9], f[:, 10] = rng.lognormal(0, 0.5, n), rng.normal(0, 0.1, n)
    f[:, 11] = (1 if mobility is None else mobility) * f[:, 10] + rng.normal(0, 0.05, n) * (1 + 3 * abs(f[:, 10]))
    return f


def bunge(e):  # etog's passive matrix, by scipy
    return Rotation.from_euler("ZXZ", np.asarray(e, float)).inv().as_matrix()


def euler_of(g):
    return Rotation.from_matrix(g).inv().as_euler("ZXZ").astype(np.float32)


@pytest.mark.parametrize("seed", SEEDS)
@pytest.mark.parametrize("code", range(1, 6))
def test_random_faces_are_one_mrd_in_every_cell_and_direction(code, seed):
    rng = np.random.default_rng([code, seed])
    f = random_faces(rng, 100000)
    table = tt.five_parameter(f, code, resolution=30, every_cell=True)
    expected = partition(code, 30).expected()[table["cell"]] * len(f)
    tail = np.minimum(poisson.cdf(table["faces"], expected), poisson.sf(table["faces"] - 1, expected))
    assert table["faces"].sum() == len(f) and tail.min() * len(tail) > 1e-5  # every cell, Bonferroni
    assert np.abs(np.average(table["mrd"], weights=expected) - 1) < 0.01
    directions, mrd = tt.plane_distribution(f[:, :3], f[:, 3:6], f[:, 6:9], code, np.pi / 3, (1, 1, 1),
                                            np.radians(10), resolution=30)
    face, _, weight, _ = tt.sections.section_faces(f[:, :3], f[:, 3:6], f[:, 6:9], code, np.pi / 3, (1, 1, 1),
                                                   np.radians(10))
    selected = len(np.unique(face))
    assert np.isclose(weight.sum(), selected) and selected > 300 and np.abs(mrd - 1).max() < 6 / np.sqrt(selected / len(mrd))


def twins(rng, n, deviation=np.radians(1)):
    """Coherent Sigma3 twins: grain 2 is grain 1 turned 60 degrees about [111] (and a little off), the normal
    the shared {111} plane, either way round."""
    ga = Rotation.random(n, random_state=rng.integers(1 << 30)).as_matrix()
    turn = Rotation.from_rotvec(np.full((n, 3), np.pi / 3 / 3 ** .5) + rng.normal(0, deviation / 3 ** .5, (n, 3)))
    f = np.zeros((n, 12), np.float32)
    f[:, :3], f[:, 3:6] = euler_of(ga), euler_of(turn.as_matrix() @ ga)
    f[:, 6:9] = np.einsum("kji,j->ki", ga, np.full(3, 3 ** -.5)) * rng.choice([-1, 1], (n, 1))
    f[:, 9:] = 1
    return f


def test_coherent_twins_peak_at_the_111_poles_of_the_sigma3_section_and_nowhere_else():
    rng = np.random.default_rng(3)
    f = np.concatenate([twins(rng, 2000), random_faces(rng, 100000)])
    directions, mrd = tt.plane_distribution(f[:, :3], f[:, 3:6], f[:, 6:9], "cubic", np.pi / 3, (1, 1, 1))
    to_111 = np.degrees(np.arccos(np.abs(directions @ np.full(3, 3 ** -.5))))
    assert to_111[np.argmax(mrd)] < 4 and mrd.max() > 100 and mrd[to_111 > 10].max() < 5
    assert mrd[directions @ np.full(3, 3 ** -.5) > 0].max() > 100 < mrd[directions @ np.full(3, 3 ** -.5) < 0].max()


@pytest.mark.parametrize("code", range(1, 6))
def test_equivalent_grains_and_either_order_change_no_cell_and_no_section(code):
    rng = np.random.default_rng(code)
    f = np.concatenate([random_faces(rng, 3000), twins(rng, 300)])
    s = tt.symmetry_operators(code).astype(float)
    turned = f.copy()
    for c in (0, 3):
        turned[:, c:c + 3] = euler_of(s[rng.integers(0, len(s), len(f))] @ bunge(f[:, c:c + 3]))
    swapped = np.concatenate([f[:, 3:6], f[:, :3], -f[:, 6:9], f[:, 9:10], -f[:, 10:]], axis=1)
    cell = tt._core.five_parameter_cells(f, code, list(partition(code).bins))[0]
    random = slice(0, 3000)  # exact twins have equivalents of their own: their plane cell may differ
    assert np.array_equal(tt._core.five_parameter_cells(swapped, code, list(partition(code).bins))[0], cell)
    assert np.mean(tt._core.five_parameter_cells(turned, code, list(partition(code).bins))[0][random] == cell[random]) > 0.999
    section = [tt.plane_distribution(g[random, :3], g[random, 3:6], g[random, 6:9], code, np.pi / 3, (1, 1, 1),
                                     np.radians(15), values=g[random, 11], resolution=15) for g in (f, turned, swapped)]
    for other in section[1:]:
        assert np.allclose(other[1], section[0][1], equal_nan=True) and np.allclose(other[2], section[0][2], equal_nan=True)


@pytest.mark.parametrize("code", range(1, 6))
def test_cells_agree_with_a_brute_force_assignment_over_every_equivalent(code):
    rng = np.random.default_rng(10 + code)
    f, p = random_faces(rng, 2000), partition(code)
    s = tt.symmetry_operators(code).astype(float)
    ga, gb, n = bunge(f[:, :3]), bunge(f[:, 3:6]), f[:, 6:9].astype(float)
    dg = gb @ ga.transpose(0, 2, 1)
    d = np.concatenate([np.einsum("jab,kbc,idc->ijkad", s, m, s).reshape(-1, len(f), 3, 3) for m in (dg, dg.transpose(0, 2, 1))])
    normal = np.concatenate([np.repeat(np.einsum("iab,kbc,kc->ika", s, g, n) * sign, len(s), axis=0)
                             for g, sign in ((ga, 1), (gb, -1))])
    angle = np.arccos(np.clip((np.trace(d, axis1=2, axis2=3) - 1) / 2, -1, 1))
    axis = np.stack([d[..., 2, 1] - d[..., 1, 2], d[..., 0, 2] - d[..., 2, 0], d[..., 1, 0] - d[..., 0, 1]], -1)
    inside = (np.einsum("ra,eka->ekr", np.asarray(SECTOR[code], float), axis) >= -1e-9).all(-1)
    best = np.argmax(np.where(inside, -angle, -np.inf), axis=0)  # the disorientation, axis in the sector
    k = np.arange(len(f))
    d0, n0 = d[best, k], normal[best, k]
    z = lambda t: np.array([[np.cos(t), np.sin(t), 0], [-np.sin(t), np.cos(t), 0], [0, 0, 1]])  # noqa: E731
    turns = round(2 * np.pi / p.phi_range)
    found = np.full(len(f), -1)
    for left in [z(a * p.phi_range) @ x for a in range(turns) for x in (np.eye(3), np.diag([1., -1, -1]))[:2 if p.cos_low == 0 else 1]]:
        for right in [z(b * p.phi_range) for b in range(turns)]:
            m, v = left @ d0 @ right.T, n0 @ right.T
            phi1, phi2 = np.mod(np.arctan2(m[:, 2, 0], -m[:, 2, 1]), 2 * np.pi), np.mod(np.arctan2(m[:, 0, 2], m[:, 1, 2]), 2 * np.pi)
            box = (m[:, 2, 2] >= p.cos_low) & (phi1 < p.phi_range) & (phi2 < p.phi_range)
            at = [np.floor(x * b).astype(int) for x, b in zip((phi1 / p.phi_range, (m[:, 2, 2] - p.cos_low) / (1 - p.cos_low),
                  phi2 / p.phi_range, (v[:, 2] + 1) / 2, np.mod(np.arctan2(v[:, 1], v[:, 0]), 2 * np.pi) / 2 / np.pi), p.bins)]
            cell = at[4] + p.bins[4] * (at[3] + p.bins[3] * (at[2] + p.bins[2] * (at[1] + p.bins[1] * at[0])))
            found = np.where(box, cell, found)
    assert (found >= 0).all() and np.array_equal(found, tt._core.five_parameter_cells(f, code, list(p.bins))[0])
    # the section's faces: the equivalents within 15 degrees of 60 about [111], one per S_i and grain order
    twin = Rotation.from_rotvec(np.full(3, np.pi / 3 ** 1.5)).as_matrix()
    near = np.einsum("ab,ekac->ekbc", twin, d).trace(axis1=2, axis2=3) >= 1 + 2 * np.cos(np.radians(15))
    count = near.reshape(2, len(s), len(s), len(f)).any(axis=2).sum(axis=(0, 1))
    face = tt.sections.section_faces(f[:, :3], f[:, 3:6], f[:, 6:9], code, np.pi / 3, (1, 1, 1), np.radians(15))[0]
    assert count.sum() > 20 and np.array_equal(np.bincount(face, minlength=len(f)), count)


@pytest.mark.parametrize("code", range(1, 6))
def test_random_misorientations_fill_the_cells_in_their_shares(code):
    rng, p = np.random.default_rng(50 + code), partition(code, 30)
    f = random_faces(rng, 400000)
    count = np.bincount(tt._core.five_parameter_cells(f, code, list(p.bins))[0] // p.plane_cells,
                        minlength=p.misorientation_cells)
    expected = p.expected().reshape(p.misorientation_cells, -1).sum(axis=1) * len(f)
    assert np.array_equal(count > 0, expected > 0) and np.abs((count - expected) / np.sqrt(expected + 1)).max() < 5


@pytest.mark.parametrize("seed", SEEDS)
def test_mobility_per_cell_is_covered_by_its_interval(seed):
    rng, p = np.random.default_rng(100 + seed), partition("cubic", 30)
    f = random_faces(rng, 150000)
    cell = tt._core.five_parameter_cells(f, 3, list(p.bins))[0]
    truth = 0.5 + (cell % 7) * 0.4
    f[:, 11] = truth * f[:, 10] + rng.normal(0, 0.05, len(f)) * (1 + 3 * abs(f[:, 10]))
    table = tt.five_parameter(f, 3, resolution=30)
    fitted = np.isfinite(table["slope"])
    m = 0.5 + (table["cell"][fitted] % 7) * 0.4
    assert fitted.sum() > 300 and (table["faces"][~fitted] < 30).all()
    assert np.mean((table["low"][fitted] <= m) & (m <= table["high"][fitted])) > 0.9


def test_states_merge_in_any_order_as_one_pass_and_survive_pickling():
    rng = np.random.default_rng(7)
    f = random_faces(rng, 30000)
    f[:3, 11], f[3, 6:9] = np.nan, 0  # left out, and counted
    whole = FiveParameterState("hexagonal", 20).add(f)
    assert (whole.faces, whole.unplaced, whole.sums[:, 0].sum()) == (30000, 4, 29996) and np.isfinite(whole.sums).all()
    parts = [FiveParameterState("hexagonal", 20).add(c) for c in np.array_split(f, 5)]
    merged = pickle.loads(pickle.dumps(parts[3].merge(parts[0]))).merge(parts[4].merge(parts[1]).merge(parts[2]))
    assert np.array_equal(merged.keys, whole.keys) and np.allclose(merged.sums, whole.sums, rtol=1e-12, atol=0)
    with pytest.raises(ValueError, match="different classes"):
        whole.merge(FiveParameterState("cubic", 20))


def test_plane_section_command_draws_the_section_and_refuses_bad_arguments(tmp_path, capsys):
    from triangle_tools.commands import plane_section
    rng = np.random.default_rng(9)
    f = np.concatenate([twins(rng, 300), random_faces(rng, 3000)])
    f[:5, :3] = 0  # blank faces, dropped as dremmick drops them
    data = tmp_path / "twins.txt"
    np.savetxt(data, f, fmt="%.7g", header="faces", comments="# ")
    assert plane_section.main([str(data), "--value", "velocity"]) == 0
    out = capsys.readouterr().out
    assert f"{len(f) - 5} faces of {len(f)} kept (5 blank" in out and (tmp_path / "twins_plane_section.png").stat().st_size > 20000
    peak = np.array(out.split("at (")[1].split(")")[0].split(", "), float)
    assert np.degrees(np.arccos(abs(peak @ np.full(3, 3 ** -.5)))) < 4
    kept = tt.read_free(str(data))[0][5:]  # as read; their areas weigh the section
    mrd = tt.plane_distribution(kept[:, :3], kept[:, 3:6], kept[:, 6:9], 3, np.pi / 3, (1, 1, 1), areas=kept[:, 9])[1]
    assert f"peak {mrd.max():.4g} MRD" in out
    with pytest.raises(SystemExit) as stop:
        plane_section.main([str(data), "1"])
    assert stop.value.code == 64
    assert plane_section.main([str(data), "--axis", "1,1"]) == 1 and "--axis: expected" in capsys.readouterr().err
    assert plane_section.main([str(data), "--angle", "20", "--axis", "1,0,0", "--tolerance", "0.01"]) == 1


def test_study_writes_the_cells_of_all_steps_as_one_pass(tmp_path):
    from triangle_tools.study import run_study
    rng = np.random.default_rng(11)
    files = []
    for k in range(3):
        files.append(str(tmp_path / f"step{k}.txt"))
        np.savetxt(files[-1], np.concatenate([twins(rng, 200), random_faces(rng, 3000)]), fmt="%.9g")
    study = run_study(files, str(tmp_path / "out"), velocity_limit=0.5, scheduler="synchronous", plots=False,
                      five_parameter=True, five_parameter_resolution=20)
    faces = np.concatenate([tt.read_free(f)[0] for f in files])
    faces = faces[tt.condition(faces, np.inf, 0.5, mask=True)[0]]
    table = tt.five_parameter(faces, "cubic", 20)
    written = np.genfromtxt(tmp_path / "out" / "five_parameter.csv", delimiter=",", names=True)
    for column in ("cell", "faces", "area", "mrd", "velocity", "slope", "low"):
        assert np.allclose(written[column], table[column], rtol=1e-12, atol=0, equal_nan=True), column
    assert study.summary["five_parameter"]["faces"] == len(faces) < 9600
