# Boundaries from faces against independent references (pandas groupby, scipy's Rotation, literature CSL
# angles, brute-force coincidence counts) and on generated data of known truth. BOUNDARY_SEEDS sets the
# number of seeds of the coverage check (make coverage: 100).
import json
import os
import pickle

import numpy as np
import pandas as pd
import pytest
import triangle_tools as tt
from scipy import stats
from scipy.spatial.transform import Rotation
from triangle_tools import boundaries as tb
from triangle_tools import csl

import boundary_data as bd

SEEDS = int(os.environ.get("BOUNDARY_SEEDS", "6"))


@pytest.fixture(scope="module")
def generated():
    faces, truth = bd.make_faces(7)
    return faces, truth, tb.boundaries_from_sums(tb.group_faces(faces))


def test_csl_table_is_the_literature_table_and_each_has_coincidence_density_one_over_sigma():
    table = {e.label: e for e in csl.csl_table()}
    assert list(table) == list(bd.CSL)
    for label, entry in table.items():
        assert abs(bd.csl_distance(Rotation.from_matrix(entry.matrix[None]), label)[0]) < 0.011, label
        assert abs(np.degrees(entry.angle) - bd.CSL[label][0]) < 0.011, label
        s = entry.sigma
        p = np.stack(np.meshgrid(*[np.arange(s)] * 3), -1).reshape(-1, 3)  # one period of the CSL
        coincident = ~(p @ np.array(entry.integer_matrix).T % s).any(1)
        assert coincident.sum() == s * s and np.allclose(np.array(entry.integer_matrix) / s, entry.matrix)
    assert len(csl._constructions(29, 32)) == len(csl._constructions(29))  # no farther construction


def test_planted_classes_land_in_their_class_and_general_pairs_in_none(generated):
    faces, truth, b = generated
    got = pd.Series(b.label).value_counts().to_dict()
    assert got == {label: count for label, _, count in bd.TYPES}
    # Each boundary's class is its type's: a boundary's own misorientation, from scipy, in its window.
    m = Rotation.from_euler("ZXZ", b.grains[:, 3:]).inv() * Rotation.from_euler("ZXZ", b.grains[:, :3])
    for label in bd.CSL:
        inside = bd.csl_distance(m, label) <= 15 / np.sqrt(int(label[5:].rstrip("ab")))
        assert ((b.label == label) <= inside).all(), label
    assert (b.angle[b.label == "low_angle"] < 15).all() and (b.angle[b.label == "general"] >= 15).all()
    assert (tb.cubic_classes([60.0 - 8.7, 60.0 - 8.6], [[3 ** -0.5] * 3] * 2) == ["general", "Sigma3"]).all()
    assert list(tb.cubic_classes([11, 11], [[0, 0, 1]] * 2)) == ["low_angle"] * 2
    assert list(tb.cubic_classes([11], [[0, 0, 1]], low_angle=10)) == ["general"]
    assert list(tb.angle_classes([0, 9.99, 10, 62.8], 10)) == ["angle_0_10", "angle_0_10", "angle_10_20", "angle_60_70"]
    h = tb.boundaries_from_sums(tb.group_faces(faces[:2000]), crystal="hexagonal")
    hexagonal = np.degrees(tt.fast_disorientation(h.grains[:, :3], h.grains[:, 3:], 2)[0])
    assert np.array_equal(h.angle, hexagonal) and np.array_equal(h.label, tb.angle_classes(hexagonal))


def test_writing_every_face_the_other_way_round_changes_no_boundary_result(generated):
    faces, truth, b = generated
    for a, c in zip(tb.group_faces(faces).arrays(), tb.group_faces(bd.swapped(faces)).arrays()):
        assert np.array_equal(a, c)
    s = tb.across_boundaries(tb.boundaries_from_sums(tb.group_faces(bd.swapped(faces))), n_boot=50)
    assert s == tb.across_boundaries(b, n_boot=50)


def test_sums_equal_a_pandas_groupby_whatever_the_chunks_and_merges(generated):
    faces = generated[0][:3000].copy()
    faces[0, 0:3] = 0.0
    faces[1, 0:3] = [-0.0, 0.0, -0.0]  # the same grain as face 0
    faces[1, 3:6] = faces[0, 3:6]
    faces[2, 4], faces[3, 11], faces[4, 0:6] = np.nan, np.nan, faces[5, 0:3].tolist() * 2
    d = pd.DataFrame(faces.astype(float)).drop([2, 3])  # left out; face 4 is one grain twice
    a, c = d[[0, 1, 2]].to_numpy() + 0.0, d[[3, 4, 5]].to_numpy() + 0.0  # + 0.0 makes -0.0 +0.0
    first = [tuple(x) <= tuple(y) for x, y in zip(a.tolist(), c.tolist())]
    sign = np.where(first, 1.0, -1.0)
    key = pd.DataFrame(np.where(np.array(first)[:, None], np.hstack([a, c]), np.hstack([c, a])))
    w, k, v = d[9].to_numpy(), sign * d[10].to_numpy(), sign * d[11].to_numpy()
    cols = [w, w * k, w * v, *(w * sign * d[j].to_numpy() for j in (6, 7, 8)), k * k, k * v, w * k * k, w * k * v]
    expected = pd.DataFrame(np.column_stack(cols)).groupby([key[j] for j in range(6)]).sum().sort_index()
    whole = tb.BoundarySums()
    whole.add(faces[:5])
    whole.add(faces[5:])
    parts = [tb.group_faces(faces[i::3]) for i in (2, 0, 1)]
    parts[1].merge(parts[0])
    parts[2].merge(pickle.loads(pickle.dumps(parts[1])))
    for s in (whole, parts[2]):
        grains, n, sums = s.arrays()
        assert (s.bad_orientation, s.bad_values, s.same_grain, len(s)) == (1, 1, 1, len(expected))
        assert np.array_equal(grains, np.array(expected.index.tolist(), np.float32))
        assert np.allclose(sums, expected.to_numpy(), rtol=1e-12, atol=1e-12) and n.sum() == len(d)


def test_correlations_agree_with_scipy(generated):
    b = generated[2]
    s = tb.across_boundaries(b, n_boot=200)
    assert np.isclose(s.pearson.value, stats.pearsonr(b.curvature, b.velocity)[0], rtol=1e-12)
    assert np.isclose(s.against_area.value, b.area[b.velocity * b.curvature < 0].sum() / b.area.sum(), rtol=1e-12)
    assert np.isclose(s.spearman.value, stats.spearmanr(b.curvature, b.velocity)[0], rtol=1e-12)
    assert s.pearson.low < s.pearson.value < s.pearson.high and s.spearman.low < s.spearman.value < s.spearman.high


def test_mobility_and_against_fraction_are_covered_by_their_intervals_over_seeds():
    covered, n = {}, 0
    for seed in range(SEEDS):
        faces, truth = bd.make_faces(1000 + seed)
        area = seed % 2 == 1
        s = tb.across_boundaries(tb.boundaries_from_sums(tb.group_faces(faces)), area_weights=area, seed=seed)
        for c in s.classes:
            m = dict((t[0], t[1]) for t in truth)[c.label]
            hits = [c.low <= m <= c.high, abs(c.slope - m) <= 1.96 * c.stderr, c.against_low <= 0.2 <= c.against_high]
            covered[c.label] = np.add(covered.get(c.label, 0), hits)
        covered["all"] = np.add(covered.get("all", 0), [s.against.low <= 0.2 <= s.against.high,
                                                        s.against_area.low <= 0.2 <= s.against_area.high])
    print(covered)
    assert all((np.asarray(v) >= int(0.9 * SEEDS)).all() for v in covered.values()), covered


def test_class_fit_is_the_per_face_fit_of_its_faces_plain_or_by_area(generated):
    faces, truth, b = generated
    keys = {tuple(g) for g in b.grains[b.label == "Sigma5"].tolist()}
    mine = np.array([(f[:6] if f[:3] <= f[3:6] else f[3:6] + f[:3]) in keys for f in
                     (tuple(r) for r in faces[:, :6].tolist())])
    k, v, a = (faces[mine, j].astype(float) for j in (10, 11, 9))
    for weighted, w in ((False, 1.0), (True, a)):
        c = next(c for c in tb.class_mobility(b, area_weights=weighted, n_boot=10) if c.label == "Sigma5")
        assert np.isclose(c.slope, (w * k * v).sum() / (w * k * k).sum(), rtol=1e-12) and c.faces == mine.sum()


def test_triangle_study_boundaries_writes_what_the_module_computes(tmp_path, generated):
    from triangle_tools.commands.study import main
    faces, files = generated[0], [tmp_path / "a.txt", tmp_path / "b.txt"]
    for path, part in zip(files, (faces[:6000], bd.swapped(faces[6000:]))):
        np.savetxt(path, part, fmt="%.9g")
    assert main(["-o", str(tmp_path / "out"), "--boundaries", "--class", "cubic", "--scheduler", "synchronous",
                 *map(str, files)]) == 0
    steps = [tb.group_faces(np.loadtxt(f, dtype=np.float32)) for f in files]
    table = pd.read_csv(tmp_path / "out/boundaries.csv")
    assert list(table) == tb.BOUNDARY_COLUMNS and (table.step.value_counts().sort_index() == list(map(len, steps))).all()
    steps[0].merge(steps[1])
    s = tb.across_boundaries(tb.boundaries_from_sums(steps[0]))
    tb.write_classes_csv(tmp_path / "classes.csv", s.classes)
    assert (tmp_path / "classes.csv").read_text() == (tmp_path / "out/classes.csv").read_text()
    summary = json.loads((tmp_path / "out/summary.json").read_text())["boundaries"]
    assert summary["against"] == vars(s.against) and (tmp_path / "out/boundaries.png").exists()
    assert main(["-o", str(tmp_path / "hex"), "--boundaries", "--class", "hexagonal", "--brandon", "3", "--low-angle",
                 "5", "--area-weights", str(files[0])]) == 0
    summary = json.loads((tmp_path / "hex/summary.json").read_text())["boundaries"]
    assert (summary["crystal"], summary["brandon"], summary["low_angle"], summary["area_weights"]) == ("hexagonal", 3, 5, True)
    assert all(c["label"].startswith("angle_") for c in summary["classes"])
