"""The slope of velocity against curvature from quorvel's binned report.

    python3 triangle_slope.py [--last-bin] REPORT
    import triangle_slope; fit = triangle_slope.fit_report("x_binned.txt")

The model: v = M·κ + ε, ε normal with a spread σ_b that may differ from bin
to bin. The report keeps per bin the number of faces n, the mean |κ| (κ̄),
the mean |v| (m) and the population standard deviation of |v| (s). Since only
|v| is kept, the velocities of a bin are folded: |v| is folded normal with
μ = M·κ̄ and σ = σ_b, and its mean

    E|v| = σ·√(2/π)·exp(-θ²/2) + μ·erf(θ/√2),   θ = μ/σ,

lies above μ where θ is small: a straight line fitted to the bins' m rises
too steeply. Here, for a trial M, each bin's σ_b is the one whose folded
normal has the bin's variance of |v| (s²·n/(n-1)), and the bin's residual is
m - E|v| (less the bias of order 1/n that comes from σ_b being estimated from
the bin's own faces). M is the root of Σ a_b·r_b(M) = 0 with the weights
a_b = D_b/V_b (D_b = -dr_b/dM, V_b = Var r_b), which are the efficient ones
for a spread σ pooled over the bins; so one bin's chance spread does not
steer its weight. The standard error is the sandwich one, sqrt(Σ a²V)/Σ aD,
each V_b with the bin's own σ_b and the folded normal's moments up to the
fourth (and the report's 4-decimal rounding), widened by sqrt(χ²/dof) when
the bins scatter more than that. The 95% interval is slope ± 1.96 stderr.

Bins of fewer than 2 faces carry no spread and are left out; so is bin 200,
which holds every curvature from 0.597 up and is no bin of width 0.003,
unless last_bin is asked for. Standard library only; double precision.
"""

import math
import sys

RESOLUTION = 1e-4   # the report's fields have 4 decimals
LAST_BIN = 200
METHOD = "folded-normal moments per bin"
_ROOT_2_PI = math.sqrt(2 / math.pi)


def _folded(mu, sigma):
    """E|v| for v ~ N(mu, sigma²) and its first derivatives in mu and sigma."""
    t = mu / sigma if sigma > 0 else math.copysign(math.inf, mu)
    bell = _ROOT_2_PI * math.exp(-t * t / 2)
    side = math.erf(t / math.sqrt(2))
    return sigma * bell + mu * side, side, bell, t


def _spread(mu, variance):
    """The sigma whose folded normal about mu has this variance of |v|.

    Var|v| = sigma² + mu² - (E|v|)² grows with sigma, from (1 - 2/pi)·sigma²
    at mu = 0 to sigma² far from 0, which brackets the root."""
    if variance <= 0:
        return 0.0
    low, high = math.sqrt(variance), math.sqrt(variance / (1 - 2 / math.pi))
    sigma = low
    for _ in range(100):
        mean, _, bell, _ = _folded(mu, sigma)
        excess = sigma * sigma + mu * mu - mean * mean - variance
        if excess > 0:
            high = sigma
        else:
            low = sigma
        slope = 2 * sigma - 2 * mean * bell
        step = sigma - excess / slope if slope > 0 else -1
        sigma = step if low < step < high else (low + high) / 2
        if high - low <= 1e-14 * high or excess == 0:
            break
    return sigma


def _bin_terms(M, k, n, m, variance, resolution, sigma=None):
    """r, D = -dr/dM and V = Var r of one bin at slope M; sigma is the bin's
    own (from its variance of |v|) unless given; returns sigma too."""
    mu = M * k
    if sigma is None:
        sigma = _spread(mu, variance)
    sigma = max(sigma, 1e-12 * (abs(mu) + 1e-12))
    mean, side, bell, t = _folded(mu, sigma)
    # Raw moments of |v| (the odd ones of the fold), then central ones.
    m2 = mu * mu + sigma * sigma
    m3 = (mu ** 3 + 3 * mu * sigma ** 2) * side + sigma * (mu * mu + 2 * sigma * sigma) * bell
    m4 = mu ** 4 + 6 * mu * mu * sigma ** 2 + 3 * sigma ** 4
    var = m2 - mean * mean
    c3 = m3 - 3 * mean * m2 + 2 * mean ** 3
    c4 = m4 - 4 * mean * m3 + 6 * mean * mean * m2 - 3 * mean ** 4
    # G(mu, sigma) = Var|v|; sigma follows the bin's variance through it.
    g_mu, g_sigma = 2 * mu - 2 * mean * side, 2 * sigma - 2 * mean * bell
    c = bell / g_sigma                    # d E|v| / d variance, through sigma
    D = k * (side - bell * g_mu / g_sigma)
    var_variance = c4 / n - var * var * (n - 3) / (n * (n - 1))   # of s²·n/(n-1)
    V = (var - 2 * c * c3) / n + c * c * var_variance
    V += resolution ** 2 / 12 * (1 + (M * D / k) ** 2 + (2 * c * math.sqrt(max(variance, 0))) ** 2)
    # Second-order bias of E|v| at the estimated sigma.
    bell_ss = bell * t * t / sigma
    g_ss = 2 - 2 * bell * bell - 2 * mean * bell_ss
    bias = 0.5 * var_variance / g_sigma ** 2 * (bell_ss - c * g_ss)
    return m - mean + bias, D, V, sigma


class BinnedFit:
    """slope, stderr, low and high (the 95% interval), bins (the bin numbers
    fitted), spread (the spread of v pooled over the bins) and method."""

    def __init__(self, **values):
        self.__dict__.update(values)

    def __repr__(self):
        return "BinnedFit(slope={}, stderr={}, low={}, high={}, bins={} bins)".format(
            self.slope, self.stderr, self.low, self.high, len(self.bins))


def fit_bins(count, curvature, velocity, std_dev, last_bin=False, resolution=0.0):
    """Fits the slope to quorvel's 200 bins, given as four sequences in bin
    order (the report's number, curv, vel and std_dev columns, or what
    triangle_tools.bin_curvature returns); resolution is the rounding step of
    the values (1e-4 for a report, 0 for bin_curvature's). Bins of fewer than
    2 faces, with a value that is not a number, and bin 200 (unless last_bin)
    are left out. Raises ValueError when no bin is left."""
    rows = []
    for number, (n, k, m, s) in enumerate(zip(count, curvature, velocity, std_dev), 1):
        values = (float(n), float(k), float(m), float(s))
        if values[0] >= 2 and all(map(math.isfinite, values)) and values[1] > 0 and \
                (number != LAST_BIN or last_bin):
            rows.append((number, values[1], values[0], values[2], values[3] ** 2 * values[0] / (values[0] - 1)))
    if not rows:
        raise ValueError("no bin of 2 or more faces away from zero curvature: nothing to fit")

    M = sum(n * k * m for _, k, n, m, _ in rows) / sum(n * k * k for _, k, n, _, _ in rows)
    for _ in range(100):
        terms = [_bin_terms(M, k, n, m, v, resolution) for _, k, n, m, v in rows]
        pooled = math.sqrt(sum((row[2] - 1) * t[3] ** 2 for row, t in zip(rows, terms)) /
                           sum(row[2] - 1 for row in rows)) or 1e-12
        weights = []
        for (_, k, n, m, v) in rows:
            _, D, V, _ = _bin_terms(M, k, n, m, v, resolution, pooled)
            weights.append(D / V)
        step = sum(a * t[0] for a, t in zip(weights, terms)) / sum(a * t[1] for a, t in zip(weights, terms))
        M += step
        if abs(step) <= 1e-13 * abs(M):
            break
    # The sandwich, its middle from the bins' own residuals (each made up for
    # the share of it the fit took away, 1 - a_b·D_b/Σ a·D).
    terms = [_bin_terms(M, k, n, m, v, resolution) for _, k, n, m, v in rows]
    slope_of_sums = sum(a * t[1] for a, t in zip(weights, terms))
    stderr = math.sqrt(sum(a * a * t[0] ** 2 / (1 - a * t[1] / slope_of_sums) if a * t[1] < slope_of_sums else 0
                           for a, t in zip(weights, terms))) / abs(slope_of_sums)
    half = stderr * _t975(len(rows) - 1)
    return BinnedFit(slope=M, stderr=stderr, low=M - half, high=M + half, bins=[row[0] for row in rows],
                     spread=pooled, method=METHOD)


def _t975(dof):
    """The 97.5% point of Student's t with dof degrees of freedom: Fisher's
    expansion about the normal's 1.96, within 1% from 3 up, 0.01% from 10 up."""
    z = 1.959964
    if dof < 1:
        return math.nan
    return z + (z ** 3 + z) / (4 * dof) + (5 * z ** 5 + 16 * z ** 3 + 3 * z) / (96 * dof ** 2) + \
        (3 * z ** 7 + 19 * z ** 5 + 17 * z ** 3 - 15 * z) / (384 * dof ** 3)


def parse_report(lines):
    """The bins of a binned report, and its units from a header line like
    '# units: curvature 1/um velocity um/s'. Returns (bins, units): bins a list
    of (edge, curv, vel, number, std_dev) per report line, None for a field
    that shows NaN or asterisks; units a dict. Raises ValueError when the
    column header is missing."""
    units, bins, header = {}, [], False
    for line in lines:
        line = line.rstrip("\r\n")
        if not header:
            if line.split()[:5] == ["bin", "curv", "vel", "number", "std_dev"]:
                header = True
            elif "#" in line and "units:" in line.lower():
                words = line[line.lower().index("units:") + 6:].split()
                units.update(zip(words[::2], words[1::2]))
            continue
        fields = (line[0:6], line[8:14], line[16:22], line[24:31], line[35:41])
        bins.append(tuple(None if "*" in f or "NaN" in f else float(f) for f in fields))
    if not header:
        raise ValueError('no column header "bin     curv    vel ...": not a binned report')
    return bins, units


def fit_report(path, last_bin=False):
    """Fits the slope to the binned report in the file path."""
    with open(path, encoding="utf-8", errors="replace") as report:
        bins, _ = parse_report(report)
    return fit_rows(bins, last_bin)


def fit_rows(bins, last_bin=False):
    """fit_bins on parse_report's rows (a field shown as NaN or asterisks is not a number)."""
    columns = [[math.nan if row[i] is None else row[i] for row in bins] for i in (3, 1, 2, 4)]
    return fit_bins(*columns, last_bin=last_bin, resolution=RESOLUTION)


def bin_ranges(numbers):
    """'1-150, 152, 155-160' for the bin numbers given in order."""
    runs = []
    for b in numbers:
        if runs and runs[-1][1] == b - 1:
            runs[-1][1] = b
        else:
            runs.append([b, b])
    return ", ".join(str(a) if a == b else "%d-%d" % (a, b) for a, b in runs)


def describe(fit, last_bin=False):
    """The lines the plot script prints: the slope line first."""
    left = "" if last_bin else "; bin 200 left out"
    return ["slope %.6g ± %.6g" % (fit.slope, fit.stderr),
            "95%% interval %.6g to %.6g" % (fit.low, fit.high),
            "method: %s; %d bins fitted: %s (bins of 2 or more faces%s)" % (
                fit.method, len(fit.bins), bin_ranges(fit.bins), left)]


def write_plot_data(bins, units, fit, directory):
    """What the plot script draws, in directory: bins.dat, one line per bin with
    faces and no overflowed field (number, edge, curv, vel, faces, std_dev, 1
    when fitted), and summary, one value a line (slope, stderr, low, high,
    spread, the two units, bins with faces, empty bins, overflowed bins, the
    largest curvature, bins fitted, the fitted bins as ranges, what was left
    out)."""
    fitted = set(fit.bins)
    shown, empty, overflowed, ones, xmax = 0, 0, 0, 0, 0.0
    with open(directory + "/bins.dat", "w") as out:
        for number, row in enumerate(bins, 1):
            if None in row:
                empty, overflowed = empty + (row[3] == 0), overflowed + (row[3] != 0)
                continue
            out.write("%d %g %g %g %d %g %d\n" % ((number,) + row + (number in fitted,)))
            shown, ones, xmax = shown + 1, ones + (row[3] == 1), max(xmax, row[0], row[1])
    left = ["%d bin%s of one face" % (ones, "s" * (ones != 1))] if ones else []
    if LAST_BIN not in fitted and len(bins) >= LAST_BIN and bins[LAST_BIN - 1][3]:
        left.append("bin 200 (everything from 0.597 up)")
    with open(directory + "/summary", "w") as out:
        for value in (fit.slope, fit.stderr, fit.low, fit.high, fit.spread):
            out.write("%.6g\n" % value)
        for value in (units.get("curvature", ""), units.get("velocity", ""), shown, empty, overflowed,
                      "%g" % xmax, len(fit.bins), bin_ranges(fit.bins), ", ".join(left) or "none"):
            out.write("%s\n" % value)


def main(argv):
    """python3 triangle_slope.py [--last-bin] [--plot-data DIRECTORY] REPORT"""
    last_bin = "--last-bin" in argv
    args = [a for a in argv if a != "--last-bin"]
    directory = None
    if args[:1] == ["--plot-data"] and len(args) > 1:
        directory, args = args[1], args[2:]
    if len(args) != 1 or args[0].startswith("-"):
        print("usage: python3 triangle_slope.py [--last-bin] [--plot-data DIRECTORY] REPORT", file=sys.stderr)
        return 2
    try:
        with open(args[0], encoding="utf-8", errors="replace") as report:
            bins, units = parse_report(report)
        fit = fit_rows(bins, last_bin)
    except OSError as e:
        print("plot: cannot read the report %s: %s" % (args[0], e.strerror), file=sys.stderr)
        return 1
    except ValueError as e:
        print("plot: %s: %s" % (args[0], e), file=sys.stderr)
        return 3 if "column header" in str(e) else 4
    print("\n".join(describe(fit, last_bin)))
    last = bins[LAST_BIN - 1] if len(bins) >= LAST_BIN else (None, None, None, 0, None)
    if last[3] and not last_bin:
        print("plot: bin 200 holds %d faces of curvature 0.597 and up (mean %s), left out of the fit; "
              "--last-bin brings it in" % (last[3], "%g" % last[1] if last[1] is not None else "overflowed"),
              file=sys.stderr)
    if directory is not None:
        write_plot_data(bins, units, fit, directory)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
