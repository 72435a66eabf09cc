"""Slope fits of velocity against curvature, v = M·κ: binned and per face.

Both return a `SlopeResult` (slope, stderr, low, high, method, fitted), as
scipy's fits return result objects. Computed in double precision.

fit_bins, fit_report
    The binned fit, from quorvel's report (or ``bin_curvature``'s columns).
    The report keeps per bin only the number of faces n, the mean |κ| (κ̄),
    the mean |v| (m) and the population standard deviation of |v| (s). Since
    only |v| is kept, |v| is folded normal with μ = M·κ̄ and a spread σ_b that
    may differ from bin to bin, and its mean

        E|v| = σ·√(2/π)·exp(-θ²/2) + μ·erf(θ/√2),   θ = μ/σ,

    lies above μ where θ is small: a straight line through the bins' m rises
    too steeply. For a trial M each bin's σ_b is the one whose folded normal
    has the bin's variance of |v| (s²·n/(n-1)), and the bin's residual is
    m - E|v| less the bias of order 1/n that comes from σ_b being estimated
    from the bin's own faces. M is the root of Σ a_b·r_b(M) = 0 with the
    weights a_b = D_b/V_b (D_b = -dr_b/dM, V_b = Var r_b at the spread pooled
    over the bins), efficient for one pooled spread, so one bin's chance
    spread does not steer its weight. The standard error is the sandwich
    one with its middle from the bins' own residuals, Σ a_b²·r_b² (each made
    up for the share 1 - a_b·D_b/Σ a·D the fit takes away), over (Σ a·D)²;
    the 95% interval is slope ± t·stderr, t Student's with bins - 1 degrees
    of freedom. Bins of fewer than 2 faces carry no spread and are left out;
    so is bin 200, which holds every curvature from 0.597 up, unless
    ``last_bin``.
fit_slope
    The per-face fit of the signed values: the compiled kernel
    ``triangle_tools._core.fit_slope`` (weighted least squares, the sandwich
    standard error, a bootstrap interval) behind checks of its input.

Warnings (`FitWarning`): a fit decided by a handful of faces or bins, faces
dropped for NaN or infinite values, bins skipped for NaN or overflowed
fields; each names what to do (most often, dremmick's limits).
"""

import math
import warnings
from dataclasses import dataclass

import numpy as np

from . import _core
from . import report as _report

LAST_BIN = _report.BIN_COUNT
BINNED_METHOD = "folded-normal moments per bin"
_ROOT_2_PI = math.sqrt(2 / math.pi)
TOP_SHARE = 0.001    # "a handful": the top 0.1% of the faces ...
MOST = 0.5           # ... holding over half of the sum
MIN_FACES = 100      # below that, one face may well hold half by chance


class FitWarning(UserWarning):
    """A fit that is likely wrong, or that left data out."""


@dataclass(frozen=True)
class SlopeResult:
    """The result of a slope fit.

    Attributes
    ----------
    slope : float
        M of v = M·κ (+ intercept).
    stderr : float
        Its standard error.
    low, high : float
        The 95% interval.
    method : str
        How it was fitted.
    fitted : str
        What was fitted, in words (which bins, how many faces).
    intercept : float
        The fitted intercept (per-face fit with ``intercept=True``), else 0.
    bins : tuple of int
        The bin numbers fitted (1-200; binned fit), else ().
    faces : int
        The faces fitted (per-face fit), or the faces in the bins fitted.
    spread : float
        The spread of v pooled over the bins (binned fit), else NaN.
    """
    slope: float
    stderr: float
    low: float
    high: float
    method: str
    fitted: str
    intercept: float = 0.0
    bins: tuple = ()
    faces: int = 0
    spread: float = math.nan

    @property
    def confidence_interval(self):
        """(low, high), the 95% interval."""
        return self.low, self.high


def _warn(text):
    warnings.warn(text, FitWarning, stacklevel=3)


def bin_ranges(numbers):
    """'1-150, 152, 155-160' for the bin numbers given in order."""
    runs = []
    for b in numbers:
        if runs and runs[-1][1] == b - 1:
            runs[-1][1] = b
        else:
            runs.append([b, b])
    return ", ".join(str(a) if a == b else "%d-%d" % (a, b) for a, b in runs)


def _top_share(values):
    """The share of sum(values) that its largest TOP_SHARE (at least one) hold, and how many those are."""
    total = values.sum()
    top = max(1, math.ceil(TOP_SHARE * len(values)))
    if not total > 0 or len(values) < MIN_FACES:
        return 0.0, top
    return np.partition(values, len(values) - top)[len(values) - top:].sum() / total, top


def dominance(curvature, velocity, weights=None):
    """Says whether a handful of faces decides a fit through the origin.

    The slope Σwκv / Σwκ² is decided by a handful of faces when the top 0.1%
    of them (at least one) hold over half of Σ w·κ² (outlying curvatures) or of
    Σ |w·κ·v| (outlying velocities). Not judged below 100 faces.

    Parameters
    ----------
    curvature, velocity : array_like, shape (N,)
    weights : array_like, shape (N,), optional

    Returns
    -------
    str or None
        A sentence saying so and naming the limits to set, or None.
    """
    k, v = np.asarray(curvature, np.float64), np.asarray(velocity, np.float64)
    w = np.ones_like(k) if weights is None else np.asarray(weights, np.float64)
    for values, what, limit in ((w * k * k, "w·κ²", "curvature"), (np.abs(w * k * v), "|w·κ·v|", "velocity")):
        share, top = _top_share(values)
        if share > MOST:
            return (f"{top} of {len(k)} faces (the top {TOP_SHARE:.1%}) hold {share:.0%} of the sum of {what}: "
                    f"they decide the slope; drop outliers with a curvature limit and a velocity limit, as "
                    f"dremmick takes them (dremmick FILE C V, triangle-by-boundary FILE C V, "
                    f"condition(values, C, V)), the {limit} limit first")
    return None


def fit_slope(curvature, velocity, weights=None, intercept=False, n_boot=2000, seed=0):
    """Fits v = slope·κ (+ intercept) to the faces by weighted least squares.

    Parameters
    ----------
    curvature, velocity : array_like, shape (N,)
        The signed values of each face, as ``read_free`` gives them (columns
        10 and 11). Condition them first (``condition`` with dremmick's
        limits): a few outlying faces decide a least-squares slope.
    weights : array_like, shape (N,), optional
        One value >= 0 per face (the area, column 9); equal weights if None.
        Faces of weight 0 do not count among the faces of the standard error's
        degrees of freedom.
    intercept : bool
        Fit an intercept too (else the line goes through 0).
    n_boot : int
        Bootstrap replicates (>= 1) for the interval.
    seed : int
        The bootstrap's seed: the same seed gives the same interval.

    Returns
    -------
    SlopeResult
        slope; stderr, the sandwich (HC1) standard error, which holds when the
        scatter varies from face to face; low and high, the 2.5% and 97.5%
        percentiles of the bootstrap slopes (interpolated between neighbours;
        the faces are dealt in turn to 4096 groups, which are resampled);
        intercept; faces.

    Raises
    ------
    ValueError
        Arrays of the wrong shape, a weight that is negative or not finite, no
        finite face left, or curvatures without spread.

    Warns
    -----
    FitWarning
        Every value >= 0 (folded values, which lift the slope). Faces whose
        curvature or velocity is NaN or infinite are dropped, with
        their count and the first one's index (dremmick keeps NaN values: no
        limit drops them). A fit decided by a handful of faces (see
        `dominance`) is fitted as asked, with a warning naming the limits.

    Examples
    --------
    >>> import numpy as np
    >>> rng = np.random.default_rng(0)
    >>> k = rng.normal(0, 0.1, 5000)
    >>> fit = fit_slope(k, 1.6 * k + rng.normal(0, 0.25, 5000))
    >>> print(f"{fit.slope:.2f} [{fit.low:.2f}, {fit.high:.2f}]; {fit.fitted}")
    1.64 [1.57, 1.71]; 5000 faces
    """
    k, v = np.asarray(curvature, np.float64), np.asarray(velocity, np.float64)
    w = None if weights is None else np.asarray(weights, np.float64)
    faces = len(k) if k.ndim == 1 else 0
    if k.ndim == 1 and v.shape == k.shape and (w is None or w.shape == k.shape):
        finite = np.isfinite(k) & np.isfinite(v)
        if not finite.all():
            bad = np.flatnonzero(~finite)
            _warn(f"fit_slope: {len(bad)} of {len(k)} faces dropped, their curvature or velocity NaN or "
                  f"infinite (the first: face {bad[0]})")
            if len(bad) == len(k):
                raise ValueError("fit_slope: no face with a finite curvature and velocity")
            k, v, w = k[finite], v[finite], None if w is None else w[finite]
        if len(k) >= MIN_FACES and (k >= 0).all() and (v >= 0).all():
            _warn("fit_slope: every curvature and velocity is >= 0: folded values (a conditioned file's, whose "
                  "values dremmick makes non-negative) lift the slope where the curvature is small; fit the "
                  "signed values as read_free gives them, keep = condition(values, ..., mask=True)[0]")
        if w is None or np.all(w >= 0):
            message = dominance(k, v, w)
            if message:
                _warn("fit_slope: " + message)
    r = _core.fit_slope(k, v, w, intercept, n_boot, seed)
    dropped = faces - r.faces
    return SlopeResult(r.slope, r.stderr, r.low, r.high,
                       "weighted least squares%s, sandwich (HC1) stderr, bootstrap interval of %d replicates" % (
                           " with an intercept" if intercept else " through the origin", n_boot),
                       "%d faces%s%s" % (r.faces, "" if w is None else ", weighted",
                                         f" ({dropped} dropped: NaN or infinite)" if dropped > 0 else ""),
                       intercept=r.intercept, faces=r.faces)


# ------------------------------------------------------------- binned fit

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


def _t975(dof):
    """The 97.5% point of Student's t with dof degrees of freedom: Fisher's
    expansion about the normal's 1.96, within 1% from 3 up, 0.01% from 10 up."""
    z = 1.959964
    if dof < 1:
        return math.nan
    return z + (z ** 3 + z) / (4 * dof) + (5 * z ** 5 + 16 * z ** 3 + 3 * z) / (96 * dof ** 2) + \
        (3 * z ** 7 + 19 * z ** 5 + 17 * z ** 3 - 15 * z) / (384 * dof ** 3)


def _bins(numbers):
    return ("bin " if len(numbers) == 1 else "bins ") + bin_ranges(numbers)


def _skipped(count, curvature, velocity, std_dev, overflowed, last_bin):
    """Warns of the bins that hold faces but cannot be fitted, by cause."""
    numbers = np.arange(1, len(count) + 1)
    holds = np.asarray(count, np.float64) > 0
    over = np.zeros(len(count), bool) if overflowed is None else np.asarray(overflowed, bool)
    nan = holds & ~over & ~(np.isfinite(curvature) & np.isfinite(velocity) & np.isfinite(std_dev))
    if nan.any():
        _warn(f"binned fit: {_bins(numbers[nan])} skipped: NaN while holding faces (a NaN curvature or velocity "
              "among a bin's faces makes its means NaN; dremmick's limits keep NaN values)")
    if (holds & over).any():
        _warn(f"binned fit: {_bins(numbers[holds & over])} skipped: a mean or spread of 10 or more shows "
              "asterisks (outlying velocities? set dremmick's velocity limit)")
    if len(count) >= LAST_BIN and count[LAST_BIN - 1] > 0 and not last_bin:
        _warn(f"binned fit: bin {LAST_BIN} holds {int(count[LAST_BIN - 1])} faces of curvature 0.597 and up "
              f"(mean {curvature[LAST_BIN - 1]:g}), left out of the fit; set dremmick's curvature limit to drop "
              "them, or fit it too (last_bin, --last-bin)")


def fit_bins(count, curvature, velocity, std_dev, last_bin=False, resolution=0.0, overflowed=None):
    """Fits the slope to quorvel's bins, undoing the fold of |v| (see the module's text).

    Parameters
    ----------
    count, curvature, velocity, std_dev : array_like, shape (200,)
        The report's number, curv, vel and std_dev columns in bin order, or
        what ``triangle_tools.bin_curvature`` returns.
    last_bin : bool
        Fit bin 200 too (it holds every curvature from 0.597 up).
    resolution : float
        The rounding step of the values: 1e-4 for a report, 0 for
        ``bin_curvature``'s.
    overflowed : array_like of bool, shape (200,), optional
        Bins whose report fields show asterisks (`report.Report.overflowed`).

    Returns
    -------
    SlopeResult
        With ``bins`` (the bin numbers fitted), ``faces`` (their faces) and
        ``spread`` (the spread of v pooled over them).

    Raises
    ------
    ValueError
        When no bin of 2 or more faces is left.

    Warns
    -----
    FitWarning
        Naming the bins that hold faces but are skipped: for NaN, for
        asterisks, and bin 200 unless ``last_bin``.

    Examples
    --------
    Bins of a report made from faces of slope 1.6 (``bin_curvature`` gives
    them from records):

    >>> import numpy as np, triangle_tools as tt
    >>> rng = np.random.default_rng(2)
    >>> faces = np.ones((20000, 12), np.float32)
    >>> faces[:, 10] = rng.exponential(0.1, 20000)
    >>> faces[:, 11] = 1.6 * faces[:, 10] + rng.normal(0, 0.25, 20000)
    >>> edge, curv, vel, count, std = tt.bin_curvature(faces)
    >>> import warnings
    >>> with warnings.catch_warnings(record=True) as told:
    ...     fit = fit_bins(count, curv, vel, std)
    >>> print(f"{fit.slope:.2f} ± {fit.stderr:.2f}, {len(fit.bins)} bins; {str(told[0].message)[:37]}")
    1.61 ± 0.02, 186 bins; binned fit: bin 200 holds 58 faces of
    """
    count, curvature, velocity, std_dev = (np.asarray(c, np.float64) for c in (count, curvature, velocity, std_dev))
    _skipped(count, curvature, velocity, std_dev, overflowed, last_bin)
    over = np.zeros(len(count), bool) if overflowed is None else np.asarray(overflowed, bool)
    rows = []
    for number, values in enumerate(zip(count.tolist(), curvature.tolist(), velocity.tolist(), std_dev.tolist()), 1):
        if values[0] >= 2 and all(map(math.isfinite, values)) and values[1] > 0 and not over[number - 1] and \
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
    bins = tuple(row[0] for row in rows)
    fitted = "%d bins fitted: %s (bins of 2 or more faces%s)" % (
        len(bins), bin_ranges(bins), "" if last_bin else "; bin 200 left out")
    return SlopeResult(M, stderr, M - half, M + half, BINNED_METHOD, fitted, bins=bins,
                       faces=int(sum(row[2] for row in rows)), spread=pooled)


def fit_report(path_or_report, last_bin=False):
    """The binned fit of a report: a file name, or a `report.Report`.

    Returns
    -------
    SlopeResult
        As `fit_bins`, which warns and raises as it does there; reading the
        file raises as `report.read`.
    """
    r = path_or_report if isinstance(path_or_report, _report.Report) else _report.read(path_or_report)
    return fit_bins(r.number, r.curv, r.vel, r.std_dev, last_bin, _report.RESOLUTION, r.overflowed)


def describe(fit):
    """The lines that print a fit: the slope line first (scripts take it),
    the 95% interval, then the method and what was fitted."""
    return ["slope %.6g ± %.6g" % (fit.slope, fit.stderr),
            "95%% interval %.6g to %.6g" % (fit.low, fit.high),
            "method: %s; %s" % (fit.method, fit.fitted)]
