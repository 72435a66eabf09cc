"""Do the two slope fits hold the truth? Coverage on data whose slope is known.

    slope_coverage.py [--seeds N] [--faces N]   the table (make coverage: 100 seeds)
    slope_coverage.py --quick                   a few seeds, and check on one report (make test)
    slope_coverage.py check REPORT [LINE]       the binned fit of REPORT by another route

Faces are made as examples/make_grain_faces.py makes them: |κ| exponential
with mean 0.11 and a random sign, v = M·κ + ε with ε normal of spread
σ = share·M·0.11 (the example: M = 1.6, σ = 0.25, a share of 1.42), the
area lognormal. For each slope M and share, and each seed:
  - binned: the faces conditioned as dremmick writes them
    (triangle_tools.condition, 4 decimals, absolute values, no face dropped),
    binned as quorvel bins them (bin_curvature), printed as quorvel prints its
    report lines (triangle_tools.report), and fitted from those lines, as
    triangle-plot-slope fits a report (bin 200 left out);
  - per face: triangle_tools.fit_slope on the signed values, area-weighted.
A row counts the seeds whose 95% interval holds M, the mean |error| and the
mean stated standard error. The exit status is 1 when a row covers M in
fewer than 90% of its seeds or its mean |error| is not below its mean
standard error (--quick: when an error passes 3.5 standard errors, or fewer
than 90% of all intervals cover).

check recomputes the binned fit of a report without triangle_tools.fits'
formulas: the folded normal's moments by quadrature on each side of the fold,
the spreads by bisection, every derivative by differences, the slope as the
root of the same weighted sum. It prints its slope line and, given the
plot's slope LINE, exits 1 unless the two agree to the 6 digits printed.
Needs numpy; the table needs the module too (PYTHONPATH).
"""
import sys
import warnings

import numpy as np

import triangle_tools as tt
from triangle_tools import fits, report

SLOPES = (0.5, 1.6, 5.0)
SHARES = (0.05, 0.5, 1.5, 4.0)
MEAN_CURVATURE = 0.11


def faces(slope, share, n, seed):
    rng = np.random.default_rng(seed)
    values = rng.uniform(0.1, 3.0, (n, 12)).astype(np.float32)   # no blank triple
    kappa = rng.exponential(MEAN_CURVATURE, n) * rng.choice((-1.0, 1.0), n)
    values[:, 9] = rng.lognormal(0.0, 0.8, n)
    values[:, 10] = kappa
    values[:, 11] = slope * kappa + rng.normal(0.0, share * slope * MEAN_CURVATURE, n)
    return values


def report_lines(values):
    kept, _ = tt.condition(values, 1e30, 1e30)
    return [report.COLUMN_HEADER] + report.format_bins(*tt.bin_curvature(kept))


def both_fits(slope, share, n, seed):
    values = faces(slope, share, n, seed)
    warnings.simplefilter("ignore", fits.FitWarning)   # bin 200 holds faces here, as it should be left out
    binned = fits.fit_report(report.parse(report_lines(values)))
    if fits.LAST_BIN in binned.bins:
        raise SystemExit("bin 200, the catch-all, was fitted; it is left out unless asked for")
    face = tt.fit_slope(values[:, 10], values[:, 11], weights=values[:, 9], seed=1000 * seed[0] + seed[1])
    return binned, face


def table(seeds, n, quick):
    rows = [(m, s) for m in SLOPES for s in ((SHARES[0], SHARES[-1]) if quick else SHARES)]
    print(f"{n} faces, {seeds} seeds per row; covered: seeds whose 95% interval holds M")
    print("    M  share   sigma | binned: covered  mean|err|  mean stderr | per face: covered  mean|err|  mean stderr")
    failed, covered, total, worst = False, 0, 0, 0.0
    for row, (slope, share) in enumerate(rows):
        results = {"binned": [], "face": []}
        for seed in range(seeds):
            binned, face = both_fits(slope, share, n, [row, seed])
            results["binned"].append((binned.slope - slope, binned.stderr, binned.low <= slope <= binned.high))
            results["face"].append((face.slope - slope, face.stderr, face.low <= slope <= face.high))
        line = f"{slope:5.1f} {share:6.2f} {share * slope * MEAN_CURVATURE:7.4f} |"
        for name, width in (("binned", 15), ("face", 17)):
            err, se, hit = (np.array(c) for c in zip(*results[name]))
            line += f" {hit.sum():{width}d}/{seeds} {np.abs(err).mean():10.3g} {se.mean():12.3g} |"
            failed |= not quick and (hit.mean() < 0.9 or np.abs(err).mean() >= se.mean())
            covered, total = covered + hit.sum(), total + seeds
            worst = max(worst, (np.abs(err) / se).max())
        print(line.rstrip(" |"))
    if quick:
        print(f"all rows: {covered} of {total} intervals cover M; largest |error| {worst:.2f} standard errors")
        failed = covered < 0.9 * total or worst > 3.5
        example = report.parse(report_lines(faces(1.6, 1.42, 3000, [99, 0])))   # as the bundled example
        failed |= check(example, fits.describe(fits.fit_report(example))[0]) != 0
    print("coverage: " + ("FAILED" if failed else "passed"))
    return 1 if failed else 0


# ------------------------------------------------- check: another route

X, W = np.polynomial.legendre.leggauss(64)


def folded_moments(mu, sigma):
    """E|v|^j, j = 1..4, for v ~ N(mu, sigma²), by Gauss-Legendre on each side
    of v = 0 (z from -12 to 12 standard deviations)."""
    mu, sigma = np.broadcast_arrays(np.asarray(mu, float), np.asarray(sigma, float))
    cut = np.clip(-mu / sigma, -12.0, 12.0)
    out = np.zeros((4,) + mu.shape)
    for a, b in ((np.full_like(cut, -12.0), cut), (cut, np.full_like(cut, 12.0))):
        half = (b - a)[..., None] / 2
        z = half * X + (b + a)[..., None] / 2
        weight = half * W * np.exp(-z * z / 2) / np.sqrt(2 * np.pi)
        v = np.abs(mu[..., None] + sigma[..., None] * z)
        for j in range(4):
            out[j] += (weight * v ** (j + 1)).sum(-1)
    return out


def mean_abs(mu, variance):
    """E|v| of the normal about mu whose |v| has this variance (its spread by bisection)."""
    lo, hi = np.sqrt(variance) * 0.99, np.sqrt(variance) * 1.7
    for _ in range(64):
        mid = (lo + hi) / 2
        e1, e2 = folded_moments(mu, mid)[:2]
        lo, hi = np.where(e2 - e1 * e1 > variance, lo, mid), np.where(e2 - e1 * e1 > variance, mid, hi)
    return folded_moments(mu, (lo + hi) / 2)[0]


def check(r, line=None):
    """The independent route on a report.Report; with the fit's slope LINE, 1 unless they agree."""
    n, k, m, s = (np.array(c, float) for c in (r.number, r.curv, r.vel, r.std_dev))
    use = (np.arange(1, 201) < 200) & ~r.overflowed & np.isfinite(k + m + s) & (n >= 2) & (k > 0)
    n, k, m, s = n[use], k[use], m[use], s[use]
    var = s * s * n / (n - 1)

    def spread(mu, variance):    # the sigma whose |v| has this variance, by bisection
        lo, hi = np.sqrt(variance) * 0.99, np.sqrt(variance) * 1.7
        for _ in range(64):
            mid = (lo + hi) / 2
            e1, e2 = folded_moments(mu, mid)[:2]
            lo, hi = np.where(e2 - e1 * e1 > variance, lo, mid), np.where(e2 - e1 * e1 > variance, mid, hi)
        return (lo + hi) / 2

    def slope_terms(mu, sigma, v):
        """D/k (dE|v|/dmu at fixed Var|v|), c (dE|v|/dVar|v|), the curvature of
        E|v| in Var|v|, Var of the sample variance, Var of the residual."""
        e1, e2, e3, e4 = folded_moments(mu, sigma)
        h, dm = 1e-4 * v, 1e-6 * np.maximum(mu, 1e-3)
        up, down = mean_abs(mu, v + h), mean_abs(mu, v - h)
        d = (mean_abs(mu + dm, v) - mean_abs(mu - dm, v)) / (2 * dm)
        c, curve = (up - down) / (2 * h), (up - 2 * e1 + down) / h ** 2
        c3 = e3 - 3 * e1 * e2 + 2 * e1 ** 3
        var_var = (e4 - 4 * e1 * e3 + 6 * e1 * e1 * e2 - 3 * e1 ** 4) / n - v * v * (n - 3) / (n * (n - 1))
        V = (v - 2 * c * c3) / n + c * c * var_var
        return e1, d, c, curve, var_var, V

    def score(M):
        own = spread(M * k, var)
        e1, d, _, curve, var_var, _ = slope_terms(M * k, own, var)
        r = m - e1 + 0.5 * var_var * curve
        pooled = np.full_like(k, np.sqrt(np.sum((n - 1) * own ** 2) / np.sum(n - 1)))
        e1p, e2p = folded_moments(M * k, pooled)[:2]
        _, dp, cp, _, _, Vp = slope_terms(M * k, pooled, e2p - e1p * e1p)
        Vp += 1e-8 / 12 * (1 + (M * dp) ** 2 + (2 * cp * np.sqrt(var)) ** 2)   # the 4-decimal rounding
        return np.sum(k * dp / Vp * r), k * dp / Vp, r, k * d

    a0 = np.sum(n * k * m) / np.sum(n * k * k)
    lo, hi = 0.7 * a0, 1.1 * a0
    f_lo, f_hi = score(lo)[0], score(hi)[0]
    for _ in range(40):   # regula falsi (Illinois)
        M = hi - f_hi * (hi - lo) / (f_hi - f_lo)
        f = score(M)[0]
        if f * f_hi < 0:
            lo, f_lo = hi, f_hi
        else:
            f_lo /= 2
        hi, f_hi = M, f
        if abs(hi - lo) < 1e-12 * abs(M):
            break
    _, a, r, D = score(M)
    share = a * D / np.sum(a * D)
    se = np.sqrt(np.sum(a * a * r * r / (1 - share))) / abs(np.sum(a * D))
    print(f"slope {M:.6g} ± {se:.6g}   (independent route, {len(n)} bins)")
    if line is None:
        return 0
    printed = [float(w) for w in line.split()[1::2]]
    agree = abs(printed[0] / M - 1) < 6e-6 and abs(printed[1] / se - 1) < 6e-6   # 6 digits printed
    print("agrees with: " + line if agree else "DIFFERS from: " + line)
    return 0 if agree else 1


def main(argv):
    if argv[:1] == ["check"]:
        return check(report.read(argv[1]), *argv[2:3])
    options = dict(zip(argv[::2], argv[1::2]))
    quick = "--quick" in argv
    return table(int(options.get("--seeds", 2 if quick else 100)), int(options.get("--faces", 200000)), quick)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
