# The module against the programs on generated files, the orientation layout,
# errors and the inputs numpy users pass. PYTHONPATH holds the module and
# TRIANGLE_BIN the programs (ctest sets both).
import os
import subprocess

import numpy as np
import pytest
import triangle_tools as tt
from triangle_tools import report

rng = np.random.default_rng(13)


def run(tmp_path, program, *arguments):
    return subprocess.run([os.path.join(os.environ["TRIANGLE_BIN"], program), *arguments], cwd=tmp_path,
                          capture_output=True, text=True, check=True).stdout.splitlines()


def raw_records(n):
    v = rng.uniform(-2, 2, (n, 12)).astype(np.float32)
    v[:, 10] = rng.choice([0.35, 0.35, 0.65, 0.8], n) * rng.uniform(-1, 1, n)  # empty bins, bin 200, dropped
    v[::7, 0:3] = 0
    v[::11, 3:6] = -0.0
    return v



def test_read_condition_write_and_bin_as_the_programs_do(tmp_path):
    v = raw_records(3000)
    np.savetxt(tmp_path / "raw.txt", v, fmt="%.9g", delimiter=", ", header="raw faces", comments="  faces # ")
    with open(tmp_path / "raw.txt", "a") as f:
        f.write(" \t\n\n")  # blank lines after the last record are no records
    values, header = tt.read_free(tmp_path / "raw.txt")
    assert header == ["  faces # raw faces"] and np.array_equal(values, v)
    summary = run(tmp_path, "dremmick", "raw.txt", "0.7", "1.5")
    empty = subprocess.run([os.path.join(os.environ["TRIANGLE_BIN"], "dremmick"), "raw.txt", "", "1.5"], capture_output=True)
    assert empty.returncode == 64 and empty.stdout == b"" and b"argument 2 is empty" in empty.stderr  # refused, not read
    kept, counts = tt.condition(values, 0.7, 1.5)
    written, cnd_header = tt.read_fixed(tmp_path / "raw_cnd.txt")
    assert np.array_equal(kept.view(np.uint32), written.view(np.uint32)) and len(cnd_header) == 5
    assert list(counts) == [int(line.split()[-1]) for line in summary[-4:-1]]
    tt.write_fixed(tmp_path / "again.txt", kept, cnd_header)
    assert tt.read_fixed(tmp_path / "again.txt")[1] == cnd_header
    report = run(tmp_path, "quorvel", "again.txt")[-200:]
    edge, curvature, velocity, count, deviation = tt.bin_curvature(kept)
    assert np.isnan(curvature).any() and count[199] > 0 and count.dtype == np.int64
    assert report == tt.report.format_bins(edge, curvature, velocity, count, deviation)
    back = tt.report.read(tmp_path / "again_binned.txt")  # read by fields as quorvel wrote it
    assert np.array_equal(back.number, count) and back.header[0].rstrip() == "  faces # raw faces" and not back.overflowed.any()
    assert np.allclose(back.vel, velocity, atol=5e-5, equal_nan=True) and np.isnan(back.curv).sum() == np.isnan(curvature).sum()


def test_any_array_like_is_converted_never_misread():
    v = raw_records(500).astype(np.float64)
    wide = np.zeros((500, 24))
    wide[:, ::2] = v
    expected = tt.bin_curvature(np.abs(v).astype(np.float32))  # binned by absolute values
    for same in (wide[:, ::2], np.asfortranarray(v), v.tolist()):
        assert all(np.array_equal(a, b, equal_nan=True) for a, b in zip(tt.bin_curvature(same), expected))
    assert np.array_equal(tt.condition(wide[:, ::2], 0.5, 1)[0], tt.condition(v, 0.5, 1)[0])


def test_orientation_layout_and_pi():
    e = rng.uniform([0, 0.1, 0], [6.2, 3.0, 6.2], (4, 5, 3))
    g = tt.etog(e)
    assert g.shape == (4, 5, 3, 3) and np.array_equal(g[2, 3], tt.etog(e[2, 3]))
    assert np.array_equal(tt.gtoe(tt.etog([1, 0.3, 0.5]), eps=0.5), np.float32([1.5212165, 0, 0]))
    assert np.allclose(tt.gtoe(g), e, atol=2e-4)  # eps is back at 0
    assert tt.etog([0.5, 0, 0])[0, 1] == np.float32(np.sin(np.float32(0.5)))  # row 1 = (c1, s1, 0)
    assert np.array_equal(tt.aatog([0, 0, 1], 0.5), tt.etog([0.5, 0, 0]).T)
    v = np.float32([[1, 1, -1], [0.6, 0, 0.8]])
    angles, flipped = tt.vtoangles(v)
    assert v[0, 2] == -1 and np.array_equal(flipped[0], [-1, -1, 1])
    assert np.allclose(angles, [[0, 5 * np.pi / 4], [np.arccos(0.8), 0]])
    assert np.allclose(tt.anglestov(angles[:, 0], angles[:, 1])[1], flipped[1])
    assert [len(tt.symmetry_operators(code)) for code in range(1, 6)] == [8, 12, 24, 3, 4]
    assert np.array_equal(tt.symmetry_operators(3)[1], [[0, 0, 1], [1, 0, 0], [0, 1, 0]])


def test_fit_slope_is_weighted_least_squares_with_a_sandwich_error_and_a_seeded_bootstrap():
    k = rng.exponential(0.1, 5000) * rng.choice([-1, 1, 1], 5000)
    v, w = 1.6 * k + 0.3 + rng.normal(0, 0.2 + np.abs(k)), rng.lognormal(0, 0.8, 5000)
    for intercept in (False, True):
        x = np.c_[k, np.ones(5000)][:, :1 + intercept]
        beta = np.linalg.lstsq(x * np.sqrt(w)[:, None], v * np.sqrt(w), rcond=None)[0]
        bread, wr = np.linalg.inv(x.T @ (x * w[:, None])), w * (v - x @ beta)
        sandwich = (bread @ (x.T @ (x * wr[:, None] ** 2)) @ bread)[0, 0] * 5000 / (4999 - intercept)
        fit = tt.fit_slope(k, v, weights=w, intercept=intercept, seed=3)
        assert np.allclose([fit.slope, fit.intercept, fit.stderr ** 2], [beta[0], beta[-1] * intercept, sandwich])
        assert abs(fit.high - fit.low - 3.92 * fit.stderr) < 0.3 * fit.stderr and fit.low < fit.slope < fit.high
        assert repr(tt.fit_slope(k, v, w, intercept, seed=3)) == repr(fit) != repr(tt.fit_slope(k, v, w, intercept))


@pytest.mark.parametrize("call, error, words", [
    (lambda p: tt.read_fixed(str(p / "missing.txt")), OSError, "missing.txt: cannot open"),
    (lambda p: tt.read_fixed(write(p, "# h\n" + "  1.0000" * 10 + "    abcd\n")),
     ValueError, "bad.txt: line 2: field 11 (columns 81-88): expected a number, found '    abcd'"),
    (lambda p: tt.read_free(write(p, "1 2 3 4 5 6 7 8 9 10 11 12\n1 2 x 4\n")),
     ValueError, "bad.txt: line 2: value 3 of 12"),
    (lambda p: tt.read_free(write(p, "1 2 3 4 5 6\n7 8 9 10 11 12\n")), ValueError,
     "line 2: expected a record of 12 values, found the end of the file; lines and records went out of step at line 1"),
    (lambda p: tt.write_fixed(str(p / "w.txt"), np.zeros((1, 12)), ["no hash"]), ValueError, "header line 1"),
    (lambda p: tt.condition(np.zeros((3, 11)), 1, 1), ValueError, "(N, 12), got (3, 11)"),
    (lambda p: tt.bin_curvature(np.zeros(12)), ValueError, "(N, 12), got (12,)"),
    (lambda p: tt.gtoe(np.zeros((2, 9))), ValueError, "(..., 3, 3), got (2, 9)"),
    (lambda p: tt.aatog(np.zeros((2, 3)), np.zeros(3)), ValueError, "(2,), got (3,)"),
    (lambda p: tt.anglestov(np.zeros(2), np.zeros(3)), ValueError, "(2,), got (3,)"),
    (lambda p: tt.symmetry_operators(6), ValueError, "unknown symmetry code 6"),
    (lambda p: tt._core.fit_slope([1, 2], [1, np.inf]), ValueError, "velocity[1] is not a finite number"),
    (lambda p: tt.fit_slope([np.nan], [1]), ValueError, "no face with a finite curvature and velocity"),
    (lambda p: tt.report.parse(["x", "# units: curvature 1/um"]), ValueError, 'line 3: expected the column header "bin'),
    (lambda p: tt.report.parse([report.COLUMN_HEADER, "0.0030  0.0015  0.2x87  82    0.1562"]), ValueError,
     "report: line 2: field 3 (vel): expected a number, NaN or asterisks, found '0.2x87'"),
    (lambda p: tt.report.parse([report.COLUMN_HEADER, "0.0030  0.0015  0.2187  8.2    0.1562"]), ValueError,
     "line 2: field 4 (number): expected a face count, found '8.2'"),
    (lambda p: tt.report.parse([report.COLUMN_HEADER, "0.0030  0.0015  82    0.1562"]), ValueError,
     "line 2: expected a bin line of 5 fields, found 4"),
    (lambda p: tt.report.parse([report.COLUMN_HEADER] + report.format_bins(*[[0.5]] * 5)), ValueError,
     "line 3: expected 200 bin lines, found 1"),
    (lambda p: tt.fit_slope([1, 2], [1, 2], [1, -1]), ValueError, "weights[1] is not a finite number >= 0"),
    (lambda p: tt.fit_slope([1, 2], [1]), ValueError, "as long as curvature (2)"),
])
def test_errors_name_what_was_wrong(tmp_path, call, error, words):
    with pytest.raises(error) as raised:
        call(tmp_path)
    assert words in str(raised.value)


def write(tmp_path, text):
    (tmp_path / "bad.txt").write_text(text)
    return str(tmp_path / "bad.txt")
