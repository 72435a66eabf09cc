# The fits' options and warnings, each pinned where breaking it shows, and the two commands' command lines.
import dataclasses
import warnings

import numpy as np
import pytest
import triangle_tools as tt
from triangle_tools import plots, report
from triangle_tools.commands import by_boundary, plot_slope

rng = np.random.default_rng(5)


def faces(n, slope=1.6):
    k = rng.exponential(0.1, n) * rng.choice([-1, 1], n)
    return k, slope * k + rng.normal(0, 0.2, n), rng.lognormal(0, 0.5, n)


def quiet(call):  # fails on any warning
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        return call()


def test_zero_weights_count_nowhere_and_the_bootstrap_interpolates_between_few_replicates():
    k, v, w = faces(8)
    w[::2] = 0
    whole, part = tt.fit_slope(k, v, w), tt.fit_slope(k[1::2], v[1::2], w[1::2])
    assert np.isclose(whole.slope, part.slope, rtol=1e-13) and np.isclose(whole.stderr, part.stderr, rtol=1e-13)
    k, v, w = faces(500)
    one, two = tt.fit_slope(k, v, n_boot=1, seed=9), tt.fit_slope(k, v, n_boot=2, seed=9)
    assert one.low == one.high and two.low < two.high
    width = (two.high - two.low) / 0.95  # the two replicates a < b: low = a + 0.025 (b - a), high = a + 0.975 (b - a)
    assert min(abs(one.low - (two.low - 0.025 * width)), abs(one.low - (two.high + 0.025 * width))) < 1e-12


def test_condition_mask_marks_the_rows_condition_keeps():
    v = rng.uniform(-1, 1, (400, 12)).astype(np.float32)
    v[::9, 0:3] = 0
    keep, counts = tt.condition(v, 0.6, 0.8, mask=True)
    kept, same = tt.condition(v, 0.6, 0.8)
    assert keep.dtype == bool and keep.shape == (400,) and counts == same and 0 < keep.sum() < 300
    assert np.allclose(v[keep][:, :9], kept[:, :9], atol=5e-5) and np.allclose(np.abs(v[keep][:, 9:]), kept[:, 9:], atol=5e-5)


def bins(**changes):  # 200 bins: 1-10 and 13-20 of 5 faces, 11 of one, 12 of 5 but NaN, the rest empty
    n = np.zeros(200, np.int64)
    n[:20], n[10] = 5, 1
    k = (np.arange(200) + 0.5) * 0.003
    m, s = np.where(n > 0, 1.6 * k + 0.1, np.nan), np.where(n > 1, 0.1, np.where(n == 1, 0, np.nan))
    k = np.where(n > 0, k, np.nan)
    m[11] = np.nan
    for i, (count, mean) in changes.items():
        n[int(i[1:]) - 1], m[int(i[1:]) - 1], k[int(i[1:]) - 1], s[int(i[1:]) - 1] = count, mean, 0.5, 0.1
    return n, k, m, s


def test_binned_fit_names_the_bins_it_fits_and_those_it_skips():
    with pytest.warns(tt.FitWarning, match=r"binned fit: bin 12 skipped: NaN while holding faces"):
        fit = tt.fit_bins(*bins())
    assert fit.fitted == "18 bins fitted: 1-10, 13-20 (bins of 2 or more faces; bin 200 left out)"
    assert fits_line(fit) == "method: folded-normal moments per bin; " + fit.fitted and fit.faces == 90
    with pytest.warns(tt.FitWarning, match="bin 200 holds 7 faces of curvature 0.597 and up"):
        tt.fit_bins(*bins(b200=(7, 0.9)))
    last = tt.fit_bins(*bins(b200=(7, 0.9)), last_bin=True)
    assert last.bins[-1] == 200 and last.fitted.endswith(", 200 (bins of 2 or more faces)")
    over = np.zeros(200, bool)
    over[2:4] = True
    with pytest.warns(tt.FitWarning, match=r"bins 3-4 skipped: a mean or spread of 10 or more shows asterisks"):
        assert tt.fit_bins(*bins(), overflowed=over).bins[:3] == (1, 2, 5)
    with pytest.raises(dataclasses.FrozenInstanceError):
        fit.slope = 1


def fits_line(fit):
    return tt.fits.describe(fit)[2]


def test_fit_slope_drops_nan_and_warns_when_a_handful_of_faces_decides():
    k, v, w = faces(3000)
    clean = quiet(lambda: tt.fit_slope(k, v, w))
    assert abs(clean.slope - 1.6) < 5 * clean.stderr and clean.confidence_interval == (clean.low, clean.high)
    k[[5, 9]], v[7] = np.nan, np.inf
    with pytest.warns(tt.FitWarning, match=r"3 of 3000 faces dropped, their curvature or velocity NaN or infinite "
                                           r"\(the first: face 5\)"):
        dropped = tt.fit_slope(k, v, w)
    finite = np.isfinite(k + v)
    assert dropped.faces == 2997 and dropped.slope == quiet(lambda: tt.fit_slope(k[finite], v[finite], w[finite])).slope
    k, v, w = k[finite], v[finite], w[finite]
    for column, value, first in ((k, 40.0, "the curvature limit first"), (v, 4000.0, "the velocity limit first")):
        column[:3] = value
        with pytest.warns(tt.FitWarning, match="3 of 2997 faces .the top 0.1%. hold .*" + first):
            tt.fit_slope(k, v, w)
        column[:3] = 0.1
    quiet(lambda: tt.fit_slope(k[:99], v[:99] * 0 + 1e3))  # below 100 faces: not judged
    with pytest.warns(tt.FitWarning, match="every curvature and velocity is >= 0: folded values"):
        tt.fit_slope(np.abs(k), np.abs(v))
    k = np.ones(1000)
    k[:2] = 800 ** 0.5  # the top face (0.1%) holds 31%, the top two 62%
    assert tt.fits.dominance(k, 0 * k) is None
    k[0] = 2000 ** 0.5  # now 53%
    assert "1 of 1000 faces (the top 0.1%) hold 53% of the sum of w·κ²" in tt.fits.dominance(k, 0 * k)


def write_report(path, n, k, m, s):
    path.write_text("# units: curvature 1/um velocity um/s\n" + "\n".join(
        [report.COLUMN_HEADER] + report.format_bins((np.arange(200) + 1) * 0.003, k, m, n, s)) + "\n")


@pytest.mark.parametrize("argv, status, words", [
    (["--bogus", "r.txt"], 64, "unrecognized arguments"), ([], 64, "required: REPORT"),
    ([" "], 64, "an empty or blank file name"), (["r.txt", "-o", ""], 64, "an empty or blank file name"),
    (["missing.txt"], 1, "triangle-plot-slope: missing.txt: No such file or directory"),
    (["bad.txt"], 1, "bad.txt: line 1: expected the column header"),
])
def test_plot_slope_refuses(tmp_path, monkeypatch, capsys, argv, status, words):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "bad.txt").write_text("")
    try:
        assert plot_slope.main(argv) == status
    except SystemExit as e:
        assert e.code == status
    assert words in capsys.readouterr().err and not list(tmp_path.glob("*.png*"))


def test_plot_slope_prints_the_fit_and_draws_where_told(tmp_path, monkeypatch, capsys):
    monkeypatch.chdir(tmp_path)
    write_report(tmp_path / "r_binned.txt", *bins())
    assert plot_slope.main(["--fit-only", "r_binned.txt"]) == 0
    out = capsys.readouterr()
    assert out.out.splitlines()[2] == fits_line(tt.fit_report("r_binned.txt")) and "bin 12 skipped" in out.err
    assert not list(tmp_path.glob("*.png")) and plot_slope.main(["r_binned.txt"]) == 0
    assert plot_slope.main(["--sem", "r_binned.txt", "-o", "x.png"]) == 0 and plot_slope.main(["r_binned.txt", "--png", "y.png"]) == 0
    assert sorted(p.name for p in tmp_path.glob("*.png*")) == ["r_binned.png", "x.png", "y.png"]
    assert "wrote x.png" in capsys.readouterr().err
    write_report(tmp_path / "o_binned.txt", *bins(b3=(5, 12.0)))  # a mean of 10 or more shows asterisks
    assert plot_slope.main(["--fit-only", "o_binned.txt"]) == 0 and "bin 3 skipped: a mean" in capsys.readouterr().err
    with pytest.raises(SystemExit) as done:
        plot_slope.main(["--help"])
    assert done.value.code == 0 and "usage: triangle-plot-slope" in capsys.readouterr().out


def test_report_axes_draw_the_error_bars_asked_for():
    import matplotlib
    matplotlib.use("Agg")
    from matplotlib.figure import Figure
    n, k, m, s = bins()
    r = report.parse([report.COLUMN_HEADER] + report.format_bins((np.arange(200) + 1) * 0.003, k, m, n, s))
    for sem, bar in ((False, 0.1), (True, 0.1 / 5 ** 0.5)):
        top, bottom = Figure().subplots(2)
        plots.report_axes(top, bottom, r, quiet_fit(r), sem=sem)
        heights = [seg[1, 1] - seg[0, 1] for seg in top.containers[0].lines[2][0].get_segments()]
        assert np.allclose(heights[:10], 2 * bar, atol=1e-4) and len(bottom.patches) == 19  # bins of faces, bar each


def quiet_fit(r):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        return tt.fit_report(r)


@pytest.mark.parametrize("argv, words", [
    (["f.txt", "0.5"], "give both limits"), (["f.txt", "0.5", "x"], "expected the velocity limit (a number), found 'x'"),
    (["f.txt", "--brandon", "1", "--twin-window", "8"], "not allowed with"), (["f.txt", "--class", "cubik"], "invalid choice"),
    (["f.txt", "--step", "0"], "--step must be > 0"),
])
def test_by_boundary_refuses_wrong_arguments(capsys, argv, words):
    with pytest.raises(SystemExit) as done:
        by_boundary.main(argv)
    assert done.value.code == 64 and words in capsys.readouterr().err
