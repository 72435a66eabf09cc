"""Boundaries, not faces: per-boundary velocity and curvature, the share moving
against curvature, and mobility by boundary class.

Conventions
-----------
A face is one row of a record array (float32, shape (n, 12)): columns 0-2
and 3-5 the Bunge Euler angles (radians) of its two grains, 6-8 its normal in
the sample frame, 9 its area, 10 its curvature and 11 its velocity, both
signed along the normal. Writing a face with its two grains the other way
round negates its normal, curvature and velocity. Growth follows v = M·κ with
a mobility M > 0, so a boundary moves *against its curvature* when its mean
velocity and mean curvature have opposite signs.

A boundary is the unordered pair of the two grains' triples as read (see
``triangle_tools._core.BoundarySums``: bitwise, -0.0 as +0.0, faces with a
non-finite value counted and left out). Its order puts the smaller triple
first; every face is brought to that order. Per boundary: faces, area, the
area-weighted mean curvature, velocity and normal (the mean vector, not
rescaled to unit length), the disorientation (the library's, once per
boundary, from quaternions in double: fast_disorientation) and a class.

Classes. Cubic: the CSL misorientations Sigma3 to Sigma29 of
``triangle_tools.csl`` by the Brandon criterion (within ``brandon``·Σ^-1/2
degrees of misorientation distance, 15° by default; the lowest Σ whose window
holds it wins), then ``low_angle`` (disorientation under ``low_angle``
degrees, 15 by default), then ``general``. Other crystal classes:
disorientation-angle classes ``angle_0_5``, ``angle_5_10``, ... (degrees,
``angle_width`` wide).

Statistics across boundaries resample boundaries, never faces: the faces of
one boundary share its mobility and its drive and are not independent. The
mobility of a class is the per-face signed fit through the origin,
M = Σ w κ v / Σ w κ² over its faces (w = 1, or the area), with a standard
error clustered by boundary and a 95% percentile interval from a bootstrap
over the class's boundaries. All in double precision.
"""

import csv
import os
from dataclasses import asdict, dataclass, field

import numpy as np

from . import csl
from ._core import BoundarySums, fast_disorientation

__all__ = ["BoundarySums", "Boundaries", "ClassMobility", "Interval", "BoundaryStatistics", "CRYSTAL_CODES",
           "BOUNDARY_COLUMNS", "CLASS_COLUMNS", "BoundaryReducer", "group_faces", "boundaries_from_sums",
           "cubic_classes", "angle_classes", "class_mobility", "across_boundaries", "write_boundaries_csv",
           "write_classes_csv", "plot_class_mobility"]

CRYSTAL_CODES = {"tetragonal": 1, "hexagonal": 2, "cubic": 3, "trigonal": 4, "orthorhombic": 5}
BOUNDARY_COLUMNS = ("step,grain1_phi1,grain1_Phi,grain1_phi2,grain2_phi1,grain2_Phi,grain2_phi2,faces,area,"
                    "curvature,velocity,normal_x,normal_y,normal_z,angle,axis_x,axis_y,axis_z,class").split(",")
CLASS_COLUMNS = ("class,boundaries,faces,area,slope,stderr,low,high,against_fraction,against_low,"
                 "against_high").split(",")
_SUM = {name: k for k, name in enumerate(BoundarySums.columns)}


@dataclass
class Boundaries:
    """One row per boundary (numpy arrays of length B), sorted by grains.

    Attributes
    ----------
    grains : ndarray (B, 6) float32
        The first grain's Euler angles, then the second's, in the boundary's order.
    faces : ndarray (B,) int64
    area : ndarray (B,)
    curvature, velocity : ndarray (B,)
        Area-weighted means, in the boundary's order (NaN for zero area).
    normal : ndarray (B, 3)
        Area-weighted mean normal (not rescaled).
    angle : ndarray (B,)
        Disorientation angle, degrees.
    axis : ndarray (B, 3)
        Disorientation axis, unit, in the crystal's fundamental sector.
    label : ndarray (B,) of str
        The class.
    sums : ndarray (B, 10)
        The sums of ``BoundarySums.columns``, for the fits.
    crystal : str
    """

    grains: np.ndarray
    faces: np.ndarray
    area: np.ndarray
    curvature: np.ndarray
    velocity: np.ndarray
    normal: np.ndarray
    angle: np.ndarray
    axis: np.ndarray
    label: np.ndarray
    sums: np.ndarray
    crystal: str

    def __len__(self):
        return len(self.faces)

    def subset(self, keep):
        """The boundaries selected by a mask or index array."""
        return Boundaries(**{k: (v[keep] if isinstance(v, np.ndarray) else v) for k, v in vars(self).items()})

    def against(self):
        """Mask: the boundary's mean velocity and mean curvature have opposite signs."""
        return self.velocity * self.curvature < 0


@dataclass
class Interval:
    """A statistic with its 95% interval from a bootstrap over boundaries."""

    value: float
    low: float
    high: float


@dataclass
class ClassMobility:
    """Mobility and against-curvature share of one boundary class (a row of classes.csv)."""

    label: str
    boundaries: int
    faces: int
    area: float
    slope: float
    stderr: float
    low: float
    high: float
    against_fraction: float
    against_low: float
    against_high: float


@dataclass
class BoundaryStatistics:
    """Figures across boundaries, each with a 95% interval that resamples boundaries.

    Attributes
    ----------
    boundaries : int
        Boundaries with a defined mean curvature and velocity (positive area).
    against : Interval
        Fraction of those boundaries moving against their curvature.
    against_area : Interval
        The same, weighted by boundary area.
    pearson, spearman : Interval
        Correlation of mean velocity with mean curvature over boundaries.
    classes : list of ClassMobility
    """

    boundaries: int
    against: Interval
    against_area: Interval
    pearson: Interval
    spearman: Interval
    classes: list = field(default_factory=list)

    def to_dict(self):
        """Plain dict (for JSON): the classes as a list of dicts."""
        return asdict(self)


class BoundaryReducer:
    """A study's per-step reducer: each step's faces grouped into boundaries.

    Follows the reducer protocol of ``triangle_tools.study``: ``add(faces)``
    per chunk of a step's kept faces (float32 (n, 12), signed as read),
    ``merge(other)``, picklable (the state is one ``BoundarySums``, one entry
    per boundary), and ``write`` on the client. It is wanted when the study's
    extra options hold ``boundaries=True``; ``crystal`` ('cubic' by
    default), ``brandon``, ``low_angle``, ``angle_width``, ``n_boot`` and
    ``seed`` are read from them too.

    Writes boundaries.csv (each step's boundaries; ``step`` is the step's row
    in steps.csv, from 1), classes.csv (the boundaries of all steps merged:
    a boundary seen in several steps is one boundary, its faces summed, so
    the intervals resample boundaries across steps), the across-boundary
    figures in summary.json under ``boundaries``, and boundaries.png.
    """

    name = "boundaries"

    @staticmethod
    def add_arguments(parser):
        """Adds --boundaries, --class, --brandon and --low-angle to a command line (argparse)."""
        parser.add_argument("--boundaries", action="store_true",
                            help="group the faces into boundaries (the pair of grain orientations): boundaries.csv "
                            "per step, classes.csv (mobility and the share moving against curvature by class), "
                            "summary.json's 'boundaries', boundaries.png")
        parser.add_argument("--class", dest="crystal", default="cubic", choices=sorted(CRYSTAL_CODES),
                            help="crystal class of the grains (default cubic: CSL, low-angle and general classes; "
                            "the others: classes of 5 degrees of disorientation)")
        parser.add_argument("--brandon", type=float, default=15.0, metavar="DEG",
                            help="Brandon's angle: a CSL of Sigma holds misorientations within DEG/sqrt(Sigma) of "
                            "it (default 15)")
        parser.add_argument("--low-angle", type=float, default=15.0, metavar="DEG",
                            help="disorientations under DEG that are no CSL are low_angle (default 15)")

    @staticmethod
    def wanted(options):
        return bool(options.extra.get("boundaries"))

    def __init__(self, options=None):
        self.sums = BoundarySums()

    def add(self, faces):
        """Adds a chunk of kept faces, float32 (n, 12), signed values."""
        self.sums.add(faces)

    def merge(self, other):
        """Adds another reducer's boundaries."""
        self.sums.merge(other.sums)

    @staticmethod
    def write(directory, states, merged, study):
        """Writes the files of a study (see the class); `study` is a ``triangle_tools.study.Study``."""
        extra = study.options.extra
        table = dict(crystal=extra.get("crystal") or "cubic", brandon=extra.get("brandon", 15.0),
                     low_angle=extra.get("low_angle", 15.0), angle_width=extra.get("angle_width", 5.0))
        boot = dict(area_weights=study.options.area_weights, n_boot=extra.get("n_boot", 1000),
                    seed=extra.get("seed", 0))
        with open(os.path.join(directory, "boundaries.csv"), "w", newline="") as f:
            for step, state in enumerate(states, 1):
                write_boundaries_csv(f, boundaries_from_sums(state, **table), step, header=step == 1)
        whole = boundaries_from_sums(merged, **table)
        figures = across_boundaries(whole, **boot)
        write_classes_csv(os.path.join(directory, "classes.csv"), figures.classes)
        s = merged.sums
        study.summary["boundaries"] = _finite({
            **table, **boot, "boundaries": len(whole), "faces": s.faces, "bad_orientation": s.bad_orientation,
            "bad_values": s.bad_values, "same_grain": s.same_grain, **figures.to_dict()})
        import matplotlib
        matplotlib.use("Agg")
        from matplotlib.figure import Figure
        figure = Figure(figsize=(8, 5), layout="constrained")
        plot_class_mobility(figure.add_subplot(), figures.classes)
        figure.savefig(os.path.join(directory, "boundaries.png"), format="png", dpi=100, metadata={"Software": None})


def _finite(x):
    """x with every non-finite float replaced by None (JSON has no NaN)."""
    if isinstance(x, dict):
        return {k: _finite(v) for k, v in x.items()}
    if isinstance(x, (list, tuple)):
        return [_finite(v) for v in x]
    if isinstance(x, (float, np.floating)):
        return float(x) if np.isfinite(x) else None
    return x


def group_faces(faces, chunk=1 << 20):
    """Groups a record array's faces into boundaries: a ``BoundarySums``.

    Parameters
    ----------
    faces : array_like, shape (n, 12)
        Records as ``read_free`` gives them (converted to float32).
    chunk : int
        Rows passed to ``BoundarySums.add`` at a time (memory of the conversion).
    """
    sums = BoundarySums()
    faces = np.asarray(faces)
    for start in range(0, len(faces), chunk):
        sums.add(np.ascontiguousarray(faces[start:start + chunk], dtype=np.float32))
    return sums


def _quaternions(angle_deg, axis):
    half = np.radians(np.asarray(angle_deg, dtype=float)) / 2
    return np.column_stack([np.cos(half), np.sin(half)[:, None] * np.asarray(axis, dtype=float)])


def cubic_classes(angle, axis, brandon=15.0, low_angle=15.0):
    """Class labels of cubic disorientations.

    Parameters
    ----------
    angle : array_like (B,)
        Disorientation angles, degrees.
    axis : array_like (B, 3)
        Their unit axes.
    brandon : float
        Brandon's angle, degrees: a CSL of Σ takes misorientations within
        ``brandon / sqrt(Σ)`` of it (misorientation distance over all
        symmetric equivalents), the lowest Σ first.
    low_angle : float
        Disorientations under this many degrees that are no CSL are ``low_angle``.

    Returns
    -------
    ndarray of str: ``'Sigma3'`` ... ``'Sigma29b'``, ``'low_angle'`` or ``'general'``.
    """
    angle = np.asarray(angle, dtype=float)
    table = csl.csl_table()
    window = np.radians([brandon / np.sqrt(entry.sigma) for entry in table])
    label = np.where(angle < low_angle, "low_angle", "general").astype(object)
    if len(angle):
        distance = csl.csl_distances(_quaternions(angle, axis), window, angle=np.radians(angle))
        inside = distance <= window
        first = np.argmax(inside, axis=1)
        hit = inside.any(axis=1)
        label[hit] = np.array([entry.label for entry in table], dtype=object)[first[hit]]
    return label.astype(str)


def angle_classes(angle, width=5.0):
    """Labels ``angle_LO_HI`` (degrees, ``width`` wide) of disorientation angles in degrees."""
    lo = np.floor(np.asarray(angle, dtype=float) / width) * width
    return np.array([f"angle_{a:g}_{a + width:g}" for a in lo], dtype=str)


def boundaries_from_sums(sums, crystal="cubic", brandon=15.0, low_angle=15.0, angle_width=5.0):
    """Per-boundary table of a ``BoundarySums`` (or ``BoundaryReducer``).

    Parameters
    ----------
    sums : BoundarySums or BoundaryReducer
    crystal : str
        ``'cubic'``, ``'hexagonal'``, ``'tetragonal'``, ``'trigonal'`` or ``'orthorhombic'``.
    brandon, low_angle : float
        Degrees; see ``cubic_classes`` (cubic only).
    angle_width : float
        Degrees; the width of the angle classes (other crystal classes).

    Returns
    -------
    Boundaries
    """
    if crystal not in CRYSTAL_CODES:
        raise ValueError(f"unknown crystal class {crystal!r}; the classes are {', '.join(CRYSTAL_CODES)}")
    sums = getattr(sums, "sums", sums)
    grains, faces, s = sums.arrays()
    area = s[:, _SUM["area"]]
    with np.errstate(invalid="ignore", divide="ignore"):
        mean = s / area[:, None]
    angle, axis = fast_disorientation(grains[:, :3], grains[:, 3:], CRYSTAL_CODES[crystal])
    angle = np.degrees(angle.astype(float))
    label = (cubic_classes(angle, axis, brandon, low_angle) if crystal == "cubic"
             else angle_classes(angle, angle_width))
    return Boundaries(grains, faces, area, mean[:, _SUM["area_curvature"]], mean[:, _SUM["area_velocity"]],
                      mean[:, _SUM["area_normal_x"]:_SUM["area_normal_z"] + 1], angle, axis.astype(float), label, s,
                      crystal)


def _draws(n, n_boot, rng, block=200):
    """Bootstrap counts over n units, in blocks of replicates: arrays (r, n) of how often each is drawn."""
    for start in range(0, n_boot, block):
        yield rng.multinomial(n, np.full(n, 1.0 / n), size=min(block, n_boot - start))


def _percentiles(values):
    values = np.asarray(values, dtype=float)
    values = values[np.isfinite(values)]
    return (np.nan, np.nan) if len(values) == 0 else tuple(np.percentile(values, [2.5, 97.5]))


def _ratio_interval(top, bottom, n_boot, rng):
    """sum(top)/sum(bottom) and its bootstrap interval over units."""
    value = top.sum() / bottom.sum() if bottom.sum() else np.nan
    if len(top) == 0:
        return Interval(value, np.nan, np.nan)
    with np.errstate(invalid="ignore", divide="ignore"):
        reps = np.concatenate([(c @ top) / (c @ bottom) for c in _draws(len(top), n_boot, rng)])
    return Interval(float(value), *map(float, _percentiles(reps)))


def _ranks(x):
    from scipy.stats import rankdata
    return rankdata(x, axis=-1)


def _correlation(x, y):
    """Pearson correlation of the rows of x and y (..., n)."""
    dx = x - x.mean(-1, keepdims=True)
    dy = y - y.mean(-1, keepdims=True)
    with np.errstate(invalid="ignore", divide="ignore"):
        return (dx * dy).sum(-1) / np.sqrt((dx * dx).sum(-1) * (dy * dy).sum(-1))


def _correlations(x, y, n_boot, rng, block=20):
    """Pearson and Spearman correlation of x and y with intervals from resampled units."""
    pearson, spearman = _correlation(x, y), _correlation(_ranks(x), _ranks(y))
    rp, rs = [], []
    for start in range(0, n_boot, block):
        idx = rng.integers(0, len(x), (min(block, n_boot - start), len(x)))
        rp.append(_correlation(x[idx], y[idx]))
        rs.append(_correlation(_ranks(x[idx]), _ranks(y[idx])))  # repeated units tie
    return (Interval(float(pearson), *map(float, _percentiles(np.concatenate(rp)))),
            Interval(float(spearman), *map(float, _percentiles(np.concatenate(rs)))))


def class_mobility(boundaries, area_weights=False, n_boot=1000, seed=0):
    """Mobility and against-curvature share of each class of boundaries.

    Parameters
    ----------
    boundaries : Boundaries
    area_weights : bool
        Weight each face by its area in the fit (else equally).
    n_boot : int
        Bootstrap replicates over the class's boundaries.
    seed : int

    Returns
    -------
    list of ClassMobility
        One per class present, sorted by label (CSL in Σ order, then
        ``low_angle``, ``general``; or by angle). ``slope`` is
        Σ w κ v / Σ w κ² over the class's faces; ``stderr`` clustered by
        boundary, sqrt(G/(G-1) Σ_b (S_κv,b - M S_κκ,b)²) / Σ_b S_κκ,b with G
        boundaries; ``low``, ``high`` the 95% percentile interval of the slope
        over boundaries resampled with replacement. ``against_*``: the fraction
        of the class's boundaries moving against their curvature, with its
        interval.
    """
    rng = np.random.default_rng(seed)
    prefix = "area_" if area_weights else ""
    sxx = boundaries.sums[:, _SUM[prefix + "curvature_squared"]]
    sxy = boundaries.sums[:, _SUM[prefix + "curvature_velocity"]]
    rows = []
    for label in _class_order(np.unique(boundaries.label)):
        inside = boundaries.label == label
        xx, xy = sxx[inside], sxy[inside]
        fit = _ratio_interval(xy, xx, n_boot, rng)
        g = int(inside.sum())
        score = xy - fit.value * xx
        stderr = float(np.sqrt(g / (g - 1) * (score ** 2).sum()) / xx.sum()) if g > 1 and xx.sum() > 0 else np.nan
        defined = inside & np.isfinite(boundaries.velocity * boundaries.curvature)
        against = boundaries.against()[defined].astype(float)
        share = _ratio_interval(against, np.ones_like(against), n_boot, rng)
        rows.append(ClassMobility(str(label), g, int(boundaries.faces[inside].sum()),
                                  float(boundaries.area[inside].sum()), fit.value, stderr, fit.low, fit.high,
                                  share.value, share.low, share.high))
    return rows


def _class_order(labels):
    def key(label):
        if label.startswith("Sigma"):
            return (0, int(label[5:].rstrip("ab")), label)
        if label.startswith("angle_"):
            return (0, float(label.split("_")[1]), label)
        return (1 if label == "low_angle" else 2, 0, label)
    return sorted(labels, key=key)


def across_boundaries(boundaries, area_weights=False, n_boot=1000, seed=0):
    """Figures across boundaries, with intervals that resample boundaries.

    Parameters
    ----------
    boundaries : Boundaries
    area_weights : bool
        For the class fits (see ``class_mobility``).
    n_boot : int
        Bootstrap replicates.
    seed : int

    Returns
    -------
    BoundaryStatistics
        Boundaries of zero area (no mean) are left out of the fractions and
        correlations.
    """
    rng = np.random.default_rng(seed)
    b = boundaries.subset(np.isfinite(boundaries.velocity * boundaries.curvature))
    against = b.against().astype(float)
    share = _ratio_interval(against, np.ones_like(against), n_boot, rng)
    share_area = _ratio_interval(against * b.area, b.area, n_boot, rng)
    if len(b) > 2:
        pearson, spearman = _correlations(b.curvature, b.velocity, n_boot, rng)
    else:
        pearson = spearman = Interval(np.nan, np.nan, np.nan)
    return BoundaryStatistics(len(b), share, share_area, pearson, spearman,
                              class_mobility(boundaries, area_weights, n_boot, seed))


def _number(x):
    return repr(float(x))


def write_boundaries_csv(out, boundaries, step, header=True):
    """Writes the rows of boundaries.csv (``BOUNDARY_COLUMNS``) for one step.

    Parameters
    ----------
    out : file object (text) or path
    boundaries : Boundaries
    step : int or str
        The step's value in the ``step`` column.
    header : bool
        Write the column line first.
    """
    if isinstance(out, (str, os.PathLike)):
        with open(out, "w", newline="") as f:
            return write_boundaries_csv(f, boundaries, step, header)
    w = csv.writer(out, lineterminator="\n")
    if header:
        w.writerow(BOUNDARY_COLUMNS)
    for k in range(len(boundaries)):
        w.writerow([step, *map(_number, boundaries.grains[k]), int(boundaries.faces[k]),
                    *map(_number, (boundaries.area[k], boundaries.curvature[k], boundaries.velocity[k],
                                   *boundaries.normal[k], boundaries.angle[k], *boundaries.axis[k])),
                    boundaries.label[k]])


def write_classes_csv(out, classes):
    """Writes classes.csv (``CLASS_COLUMNS``), one row per ``ClassMobility``."""
    if isinstance(out, (str, os.PathLike)):
        with open(out, "w", newline="") as f:
            return write_classes_csv(f, classes)
    w = csv.writer(out, lineterminator="\n")
    w.writerow(CLASS_COLUMNS)
    for c in classes:
        w.writerow([c.label, c.boundaries, c.faces,
                    *map(_number, (c.area, c.slope, c.stderr, c.low, c.high, c.against_fraction, c.against_low,
                                   c.against_high))])


def plot_class_mobility(ax, classes):
    """Draws each class's mobility with its 95% interval (bootstrap over boundaries) on a matplotlib Axes."""
    x = np.arange(len(classes))
    slope = np.array([c.slope for c in classes])
    err = np.array([[c.slope - c.low for c in classes], [c.high - c.slope for c in classes]])
    ax.errorbar(x, slope, yerr=np.nan_to_num(err), fmt="o", capsize=3)
    ax.set_xticks(x, [f"{c.label}\n{c.boundaries}" for c in classes], rotation=90, fontsize=7)
    ax.axhline(0, color="grey", lw=0.5)
    ax.set_ylabel("mobility M (v = M κ)")
    ax.set_title("mobility by boundary class (95% interval over boundaries; count below)")
    return ax
