"""The five-parameter character of grain boundaries: where the boundary area
lies over misorientation and plane, and how fast those boundaries move.

A face carries both grains' orientations (Bunge angles, columns 0-2 and 3-5),
its normal in the sample frame from grain 1 into grain 2 (6-8), its area (9),
and its curvature (10) and velocity (11), both signed along that normal.
Writing a face the other way round (grains exchanged) negates the normal,
the curvature and the velocity; it describes the same boundary.

The partition
-------------
Each face is taken to its disorientation r (the smallest rotation among the
symmetric equivalents, axis in the class's fundamental sector, as
``disorientation`` gives it) with the plane normal in the crystal frame of
the grain r is referred to, turned by the same symmetry operator (see
``boundary_plane``). r is then brought into the class's Euler box by turns
of the class about [001] (on either grain) and its 2-fold about [100]
(the normal turned along where the operator acts on the reference grain):

=============  ==============  ================  ==============
class (code)   phi1 and phi2   cos Phi           box / zone
=============  ==============  ================  ==============
cubic (3)      0 to 90 deg     0 to 1            36
tetragonal (1) 0 to 90 deg     0 to 1            4
hexagonal (2)  0 to 60 deg     0 to 1            4
trigonal (4)   0 to 120 deg    -1 to 1           2
orthorhombic   0 to 180 deg    0 to 1            4
=============  ==============  ================  ==============

(the last column: how many fundamental zones the box holds; each face goes
to exactly one cell, so only that share of the box is ever reached). The box
is cut into equal steps of phi1, cos Phi and phi2, each about ``resolution``
degrees wide (cos Phi: as many steps as the Phi range holds resolutions), and
the plane normal's sphere into equal steps of cos theta and azimuth phi
(equal areas), about ``resolution`` degrees each: at 9 degrees 10 x 10 x 10
misorientation cells and 20 x 40 plane cells for cubic crystals. Normals are
directed (from the reference grain into the other), so n and -n are
different cells; for a centrosymmetric crystal they are alike in
expectation.

Per cell: the faces, their area, the MRD (multiples of a random
distribution: the cell's share of the area over its share for random
orientations with isotropic normals), the area-weighted mean curvature and
velocity (signed along the cell's normal, so turned round with it), and,
from ``min_faces`` (30) faces up, the mobility: the area-weighted per-face
fit through the origin of velocity against curvature, v = M kappa, its
sandwich (HC1) standard error and its 95% interval M +- t(0.975, n - 1)
stderr. A cell's random share is its share of the box's misorientations
that the reduction takes into it (worked out once per class and resolution
on a stratified sample of 1,000,000 points) times 1 / (plane cells).

Computed in double precision. The cell kernel is C++
(``triangle_tools._core.five_parameter_cells``).
"""

import functools
import math
from dataclasses import dataclass

import numpy as np

from . import _core

CLASS_CODES = {"tetragonal": 1, "hexagonal": 2, "cubic": 3, "trigonal": 4, "orthorhombic": 5}
_TURNS = {1: 4, 2: 6, 3: 4, 4: 3, 5: 2}  # the order of the class's turns about [001]
COLUMNS = ("cell", "phi1", "cos_Phi", "phi2", "plane_x", "plane_y", "plane_z", "faces", "area", "mrd",
           "curvature", "velocity", "slope", "stderr", "low", "high")
# The sums kept per cell: faces, faces of area > 0, then with a the area,
# k the curvature and v the velocity (both along the cell's normal):
# a, a k, a v, a k^2, a k v, a^2 k^2 v^2, a^2 k^3 v, a^2 k^4.
_SUMS = 10


def class_code(crystal):
    """The class code of a class name ('cubic', ...) or of a code 1-5."""
    code = CLASS_CODES.get(crystal, crystal)
    if code not in _TURNS:
        raise ValueError(f"unknown crystal class {crystal!r}; the classes are "
                         + ", ".join(f"{name} ({c})" for name, c in CLASS_CODES.items()))
    return code


@dataclass(frozen=True)
class Partition:
    """The fixed cells of one crystal class at one resolution.

    bins = (phi1, cos Phi, phi2, cos theta, azimuth) counts; the box is
    phi1, phi2 in [0, phi_range), cos Phi in [cos_low, 1]; the sphere
    cos theta in [-1, 1], azimuth in [0, 2 pi)."""
    code: int
    resolution: float
    bins: tuple
    phi_range: float
    cos_low: float

    @property
    def plane_cells(self):
        return self.bins[3] * self.bins[4]

    @property
    def misorientation_cells(self):
        return self.bins[0] * self.bins[1] * self.bins[2]

    @property
    def cells(self):
        return self.misorientation_cells * self.plane_cells

    def centres(self, cell):
        """Centres of cells: (phi1, cos_Phi, phi2, plane) with plane (n, 3) the unit normal."""
        cell = np.asarray(cell, dtype=np.int64)
        rest, i_az = np.divmod(cell, self.bins[4])
        rest, i_theta = np.divmod(rest, self.bins[3])
        rest, i2 = np.divmod(rest, self.bins[2])
        i1, i_cos = np.divmod(rest, self.bins[1])
        phi1 = (i1 + 0.5) * self.phi_range / self.bins[0]
        phi2 = (i2 + 0.5) * self.phi_range / self.bins[2]
        cos_phi = self.cos_low + (i_cos + 0.5) * (1 - self.cos_low) / self.bins[1]
        return phi1, cos_phi, phi2, sphere_grid(self.bins[3], self.bins[4])[i_theta * self.bins[4] + i_az]

    def expected(self):
        """Each cell's share of the area for random orientations with isotropic normals."""
        return np.repeat(_misorientation_shares(self.code, self.bins[:3]), self.plane_cells) / self.plane_cells


def partition(crystal, resolution=9.0):
    """The Partition of a crystal class (name or code) at about `resolution` degrees."""
    code = class_code(crystal)
    if not resolution > 0:
        raise ValueError(f"resolution must be a number of degrees > 0, got {resolution!r}")
    turns = _TURNS[code]
    cos_low = -1.0 if code == 4 else 0.0
    steps = lambda degrees: max(1, round(degrees / resolution))  # noqa: E731
    bins = (steps(360 / turns), steps(180 if cos_low < 0 else 90), steps(360 / turns), steps(180), steps(360))
    return Partition(code, float(resolution), bins, 2 * math.pi / turns, cos_low)


def sphere_grid(n_theta, n_azimuth):
    """Unit directions (n_theta * n_azimuth, 3) at the centres of equal-area
    cells: equal steps of cos theta in [-1, 1] (rows) and of azimuth in [0, 2 pi)."""
    cos_theta = -1 + (np.arange(n_theta) + 0.5) * 2 / n_theta
    azimuth = (np.arange(n_azimuth) + 0.5) * 2 * math.pi / n_azimuth
    c, a = np.meshgrid(cos_theta, azimuth, indexing="ij")
    s = np.sqrt(1 - c * c)
    return np.column_stack([(s * np.cos(a)).ravel(), (s * np.sin(a)).ravel(), c.ravel()])


@functools.lru_cache(maxsize=16)
def _misorientation_shares(code, bins, points=1_000_000):
    """The share of the box's misorientations that the reduction takes into
    each misorientation cell: one point drawn uniformly (fixed seed) in each
    step of a regular grid over the box (uniform in phi1, cos Phi, phi2, the
    invariant measure), put through the cell kernel as grain 2 against an
    unturned grain 1. Drawn, not the steps' midpoints: those would put whole
    planes of points (phi1 = phi2, say) on the zone's boundaries, where ties
    are decided one way."""
    p = Partition(code, 0.0, tuple(bins) + (1, 1), 2 * math.pi / _TURNS[code], -1.0 if code == 4 else 0.0)
    per_cell = max(2, round((points / p.misorientation_cells) ** (1 / 3)))
    steps = [n * per_cell for n in bins]
    rng = np.random.default_rng(20261208)
    at = [(np.arange(n)[:, None, None], np.arange(n)[None, :, None], np.arange(n)[None, None, :])[k]
          for k, n in enumerate(steps)]
    u = [(a + rng.random(tuple(steps))) / n for a, n in zip(at, steps)]
    faces = np.zeros((u[0].size, 12), dtype=np.float32)
    faces[:, 3] = (u[0] * p.phi_range).ravel()
    faces[:, 4] = np.arccos(np.clip(p.cos_low + u[1] * (1 - p.cos_low), -1, 1)).ravel()
    faces[:, 5] = (u[2] * p.phi_range).ravel()
    faces[:, 8] = 1
    cell, _ = _core.five_parameter_cells(faces, code, list(p.bins))
    return np.bincount(cell, minlength=p.misorientation_cells) / len(cell)


class FiveParameterState:
    """Per-cell sums of a set of faces, mergeable and picklable.

    ``add(faces)`` takes a float32 (n, 12) chunk of kept faces;
    ``merge(other)`` adds another state of the same class and resolution
    (in any order or grouping the result is the same, to rounding);
    ``result()`` gives the table. Only cells that hold faces are kept."""

    def __init__(self, crystal="cubic", resolution=9.0):
        self.partition = partition(crystal, resolution)
        self.keys = np.zeros(0, dtype=np.int64)
        self.sums = np.zeros((0, _SUMS))
        self.faces = 0      # faces added
        self.unplaced = 0   # of which left out: a NaN angle, a zero normal, a NaN area, curvature or velocity

    def add(self, faces):
        """Adds a chunk of faces: float32 (n, 12) records. Returns self."""
        faces = np.asarray(faces, dtype=np.float32)
        if faces.ndim != 2 or faces.shape[1] != 12:
            raise ValueError(f"faces must have shape (n, 12), got {faces.shape}")
        cell, sign = _core.five_parameter_cells(faces, self.partition.code, list(self.partition.bins))
        placed = (cell >= 0) & np.isfinite(faces[:, 9:12]).all(axis=1)
        self.faces += len(faces)
        self.unplaced += int(len(faces) - placed.sum())
        cell, sign = cell[placed], sign[placed].astype(np.float64)
        a = faces[placed, 9].astype(np.float64)
        k = sign * faces[placed, 10]
        v = sign * faces[placed, 11]
        keys, where = np.unique(cell, return_inverse=True)
        columns = (np.ones_like(a), (a > 0).astype(np.float64), a, a * k, a * v, a * k * k, a * k * v,
                   (a * k * v) ** 2, (a * k) ** 2 * k * v, (a * k * k) ** 2)
        sums = np.column_stack([np.bincount(where, weights=c, minlength=len(keys)) for c in columns])
        self._combine(keys, sums)
        return self

    def merge(self, other):
        """Adds the sums of another state (same class and resolution). Returns self."""
        if other.partition != self.partition:
            raise ValueError("cannot merge five-parameter states of different classes or resolutions")
        self.faces += other.faces
        self.unplaced += other.unplaced
        self._combine(other.keys, other.sums)
        return self

    def _combine(self, keys, sums):
        if len(keys) == 0:
            return
        union = np.union1d(self.keys, keys)
        merged = np.zeros((len(union), _SUMS))
        merged[np.searchsorted(union, self.keys)] += self.sums
        merged[np.searchsorted(union, keys)] += sums
        self.keys, self.sums = union, merged

    def result(self, min_faces=30, every_cell=False):
        """The table: a dict of numpy columns named as COLUMNS, one row per
        cell holding faces (every_cell: per cell that random faces reach).

        cell (its number), phi1, cos_Phi, phi2 (the misorientation cell's
        centre, radians), plane_x, plane_y, plane_z (the plane cell's centre,
        a unit normal in the reference grain's crystal frame), faces, area,
        mrd, curvature and velocity (area-weighted means along that normal),
        slope, stderr, low, high (the mobility and its 95% interval; NaN
        below min_faces faces, or where every curvature is 0)."""
        p = self.partition
        expected = p.expected()
        if every_cell:
            cells = np.union1d(np.flatnonzero(expected > 0), self.keys)
            sums = np.zeros((len(cells), _SUMS))
            sums[np.searchsorted(cells, self.keys)] = self.sums
        else:
            cells, sums = self.keys, self.sums
        n, weighted, area, ak, av, akk, akv, s2, s3, s4 = sums.T
        total = self.sums[:, 2].sum()
        with np.errstate(divide="ignore", invalid="ignore"):
            # NaN where random faces never go (a cell the sample of the box missed)
            mrd = np.where(expected[cells] > 0, area / total / expected[cells], np.nan) if total > 0 \
                else np.full(len(cells), np.nan)
            slope = akv / akk
            shares = np.maximum(s2 - 2 * slope * s3 + slope * slope * s4, 0)
            stderr = np.sqrt(shares * weighted / (weighted - 1)) / akk
            fitted = (n >= min_faces) & (akk > 0) & (weighted > 1)
            slope, stderr = np.where(fitted, slope, np.nan), np.where(fitted, stderr, np.nan)
            half = _t_quantile(np.maximum(weighted - 1, 1)) * stderr
            curvature, velocity = ak / area, av / area
        phi1, cos_phi, phi2, plane = p.centres(cells)
        values = (cells, phi1, cos_phi, phi2, plane[:, 0], plane[:, 1], plane[:, 2], n.astype(np.int64), area,
                  mrd, curvature, velocity, slope, stderr, slope - half, slope + half)
        return dict(zip(COLUMNS, values))


def _t_quantile(dof):
    """The 0.975 quantile of Student's t with dof degrees of freedom."""
    try:
        from scipy.stats import t
        return t.ppf(0.975, dof)
    except ImportError:  # a normal approximation with the first terms of its expansion
        z = 1.959963984540054
        return z + (z ** 3 + z) / (4 * dof) + (5 * z ** 5 + 16 * z ** 3 + 3 * z) / (96 * dof ** 2)


def five_parameter(faces, crystal="cubic", resolution=9.0, min_faces=30, every_cell=False, chunk=1_000_000):
    """The five-parameter distribution of boundary area, velocity and mobility.

    Parameters
    ----------
    faces : array_like, (n, 12)
        Kept faces as records (read_free, then condition(..., mask=True)):
        columns 0-2 and 3-5 the Bunge angles of grains 1 and 2, 6-8 the
        normal from grain 1 into grain 2, 9 the area, 10 the curvature and 11
        the velocity, both signed along the normal.
    crystal : str or int
        'cubic', 'hexagonal', 'tetragonal', 'trigonal', 'orthorhombic', or
        the code 1-5.
    resolution : float
        The cells' width in degrees (about; see the module's notes).
    min_faces : int
        The fewest faces a cell needs for its mobility to be fitted.
    every_cell : bool
        Give every cell that random faces reach, the empty ones too.

    Returns
    -------
    dict of numpy arrays, the columns of ``COLUMNS``: see
    ``FiveParameterState.result``.

    Examples
    --------
    >>> import numpy as np, triangle_tools as tt
    >>> rng = np.random.default_rng(0)
    >>> faces = rng.uniform(0, 1, (1000, 12)).astype(np.float32)
    >>> table = tt.five_parameter(faces, "cubic", resolution=30)
    >>> int(table["faces"].sum())
    1000
    """
    state = FiveParameterState(crystal, resolution)
    faces = np.asarray(faces)
    for start in range(0, len(faces), chunk):
        state.add(faces[start:start + chunk])
    return state.result(min_faces, every_cell)


def write_csv(path, table):
    """Writes a five_parameter table as CSV (numbers that round-trip a
    double), under path + '.partial' first, renamed when complete."""
    import os
    partial = f"{path}.partial"
    with open(partial, "w") as out:
        out.write(",".join(table) + "\n")
        columns = list(table.values())
        for row in zip(*columns):
            out.write(",".join(repr(int(x)) if isinstance(x, np.integer) else repr(float(x)) for x in row) + "\n")
    os.replace(partial, path)


class FiveParameterReducer:
    """The study's reducer (``triangle-study --five-parameter``): the
    five-parameter cells of every step's kept faces, merged over all steps,
    written as five_parameter.csv (the columns of ``COLUMNS``, one row per
    cell holding faces). Options, in the study's extra options:
    ``five_parameter`` (True to run it), ``crystal`` ('cubic' by default,
    shared with the boundaries' --class), ``five_parameter_resolution``
    (degrees, 9) and ``five_parameter_min_faces`` (30)."""
    name = "five_parameter"

    @staticmethod
    def add_arguments(parser):
        import argparse
        parser.add_argument("--five-parameter", action="store_true",
                            help="the five-parameter cells over all steps: five_parameter.csv")
        parser.add_argument("--five-parameter-resolution", type=float, default=9.0, metavar="DEG",
                            help="their width in degrees (9)")
        parser.add_argument("--five-parameter-min-faces", type=int, default=30, metavar="N",
                            help="the fewest faces of a cell whose mobility is fitted (30)")
        try:
            parser.add_argument("--class", dest="crystal", default="cubic", choices=sorted(CLASS_CODES),
                                help="crystal class (cubic)")
        except argparse.ArgumentError:  # another reducer has it already
            pass

    @staticmethod
    def wanted(options):
        return bool(options.extra.get("five_parameter"))

    def __init__(self, options):
        extra = options.extra
        self.state = FiveParameterState(extra.get("crystal") or "cubic",
                                        extra.get("five_parameter_resolution") or 9.0)

    def add(self, faces):
        self.state.add(faces)

    def merge(self, other):
        self.state.merge(other.state)

    @staticmethod
    def write(directory, states, merged, study):
        import os
        min_faces = study.options.extra.get("five_parameter_min_faces") or 30
        write_csv(os.path.join(directory, "five_parameter.csv"), merged.state.result(min_faces))
        p = merged.state.partition
        study.summary["five_parameter"] = {
            "class": {v: k for k, v in CLASS_CODES.items()}[p.code], "resolution": p.resolution,
            "bins": list(p.bins), "faces": merged.state.faces, "unplaced": merged.state.unplaced,
            "cells": len(merged.state.keys), "min_faces": min_faces}
