"""Coincidence-site-lattice (CSL) misorientations of cubic crystals, Sigma 3 to 29.

The table is derived here, not typed in: a rotation by ``theta`` about the
lattice direction ``[h k l]`` (coprime integers, ``N = h² + k² + l²``) with
``tan(theta / 2) = (n / m) * sqrt(N)`` for coprime integers ``m, n`` maps the
cubic lattice onto itself on a coincidence lattice of density ``1 / Sigma``.
Its matrix times ``m² + N n²`` is the integer matrix

    (m² - N n²) I + 2 m n [hkl]× + 2 n² hkl hklᵀ,

and ``Sigma`` is the denominator of the matrix in lowest terms (``m² + N n²``
with its common factor with every entry removed). Every ``h, k, l, m, n`` up
to bounds that reach every odd ``Sigma <= 29`` is tried; constructions that
are the same misorientation under the cubic symmetry (either grain first)
are merged. Where one ``Sigma`` has two misorientations they are told apart
as ``a`` (the smaller disorientation angle) and ``b``, as the field labels
them (``Sigma13a`` is 22.6° about [100], ``Sigma13b`` 27.8° about [111]).

Distances are misorientation distances: the smallest rotation angle between
the two misorientations over all their symmetric equivalents, either grain
first. All in double precision; quaternions are ``(w, x, y, z)`` of the
active rotation of a matrix acting on column vectors.
"""

from dataclasses import dataclass
from functools import lru_cache
from math import gcd

import numpy as np

__all__ = ["CslMisorientation", "csl_table", "csl_distances", "cubic_quaternions", "quaternion_of",
           "quaternion_product"]

MAX_SIGMA = 29


@dataclass(frozen=True)
class CslMisorientation:
    """One CSL misorientation of the cubic table.

    Attributes
    ----------
    label : str
        ``'Sigma3'``, ``'Sigma13a'``, ...
    sigma : int
        The inverse density of coincidence sites.
    angle : float
        Disorientation angle, radians.
    axis : tuple of float
        Unit disorientation axis in the cubic fundamental sector
        (``0 <= x <= y <= z``).
    matrix : numpy.ndarray
        A rotation matrix (3, 3) of the misorientation, exact to rounding:
        ``sigma * matrix`` is an integer matrix.
    integer_matrix : tuple of tuple of int
        ``sigma * matrix``.
    """

    label: str
    sigma: int
    angle: float
    axis: tuple
    matrix: np.ndarray
    integer_matrix: tuple


def quaternion_of(g):
    """Unit quaternions (..., 4), ``w >= 0``, of rotation matrices (..., 3, 3).

    Each is taken from the largest of ``1 + trace`` and ``1 + 2 g_ii - trace``
    (Shepperd's method), so every component keeps full precision.
    """
    g = np.asarray(g, dtype=float)
    t = g[..., 0, 0] + g[..., 1, 1] + g[..., 2, 2]
    d = [g[..., i, i] for i in range(3)]
    c = np.stack([1 + t, 1 + 2 * d[0] - t, 1 + 2 * d[1] - t, 1 + 2 * d[2] - t], axis=-1)
    which = np.argmax(c, axis=-1)
    big = np.sqrt(np.take_along_axis(c, which[..., None], -1)[..., 0]) * 2  # 4 times the largest component
    a, b, e = g[..., 2, 1] - g[..., 1, 2], g[..., 0, 2] - g[..., 2, 0], g[..., 1, 0] - g[..., 0, 1]
    f, h, k = g[..., 1, 0] + g[..., 0, 1], g[..., 0, 2] + g[..., 2, 0], g[..., 2, 1] + g[..., 1, 2]
    rows = [np.stack([big * big / 4, a, b, e], -1), np.stack([a, big * big / 4, f, h], -1),
            np.stack([b, f, big * big / 4, k], -1), np.stack([e, h, k, big * big / 4], -1)]
    q = np.choose(which[..., None], rows) / big[..., None]
    q = q * np.where(q[..., :1] < 0, -1, 1)
    return q / np.linalg.norm(q, axis=-1, keepdims=True)


def quaternion_product(p, q):
    """Hamilton product of quaternions (..., 4): the rotation of ``q`` then ``p``."""
    p, q = np.asarray(p, dtype=float), np.asarray(q, dtype=float)
    pw, px, py, pz = np.moveaxis(p, -1, 0)
    qw, qx, qy, qz = np.moveaxis(q, -1, 0)
    return np.stack([pw * qw - px * qx - py * qy - pz * qz, pw * qx + px * qw + py * qz - pz * qy,
                     pw * qy - px * qz + py * qw + pz * qx, pw * qz + px * qy - py * qx + pz * qw], axis=-1)


def _permutation_rotations():
    """The 24 proper rotations of the cube: signed permutation matrices of determinant +1."""
    out = []
    for perm in ((0, 1, 2), (0, 2, 1), (1, 0, 2), (1, 2, 0), (2, 0, 1), (2, 1, 0)):
        for signs in np.ndindex(2, 2, 2):
            g = np.zeros((3, 3))
            g[range(3), perm] = 1 - 2 * np.array(signs)
            if np.linalg.det(g) > 0:
                out.append(g)
    return np.array(out)


@lru_cache(maxsize=None)
def cubic_quaternions():
    """The 24 cubic symmetry rotations as quaternions, shape (24, 4)."""
    return quaternion_of(_permutation_rotations())


def _equivalents(q):
    """Every S_a q S_b and S_a q⁻¹ S_b, S the cubic rotations, duplicates (and -q) removed: (K, 4)."""
    s = cubic_quaternions()
    both = np.array([q, q * [1, -1, -1, -1]])
    e = quaternion_product(quaternion_product(s[:, None, None], both[None, :, None]), s[None, None, :])
    e = e.reshape(-1, 4)
    e *= np.where(e[:, :1] < 0, -1, 1)
    return np.unique(np.round(e, 9), axis=0)


def _disorientation(q):
    """(angle, axis) of the smallest equivalent of a misorientation q, axis with 0 <= x <= y <= z.

    S_a q S_b is S_b^-1 (S_b S_a q) S_b: the same angle as S q for S = S_b S_a, its axis turned by a
    cubic rotation; so the 24 products S q hold the smallest angle, and sorting |axis| names it.
    """
    c = quaternion_product(cubic_quaternions(), q)
    best = c[np.argmax(np.abs(c[:, 0]))]
    angle = 2 * np.arccos(min(1.0, abs(best[0])))
    axis = np.sort(np.abs(best[1:]))
    return angle, axis / np.linalg.norm(axis)


def _constructions(max_sigma=MAX_SIGMA, reach=4):
    """(sigma, integer matrix, denominator) of every construction with an odd sigma <= max_sigma."""
    found, most = [], reach * max_sigma  # m² + N n² is sigma times 1, 2 or 4
    bound = int(most ** 0.5)
    for h in range(bound + 1):
        for k in range(h + 1):
            for l in range(k + 1):  # noqa: E741
                if h == 0 or gcd(gcd(h, k), l) != 1:
                    continue
                n2 = h * h + k * k + l * l
                u = np.array([h, k, l])
                cross = np.array([[0, -l, k], [l, 0, -h], [-k, h, 0]])
                for m in range(bound + 1):
                    for n in range(1, bound + 1):
                        if gcd(m, n) != 1 or m * m + n2 * n * n > most:
                            continue
                        total = m * m + n2 * n * n
                        r = (m * m - n2 * n * n) * np.eye(3, dtype=int) + 2 * m * n * cross + 2 * n * n * np.outer(u, u)
                        common = total
                        for value in r.flat:
                            common = gcd(common, int(value))
                        sigma = total // common
                        if sigma % 2 == 1 and 1 < sigma <= max_sigma:
                            found.append((sigma, r // common))
    return found


@lru_cache(maxsize=None)
def csl_table(max_sigma=MAX_SIGMA):
    """The cubic CSL misorientations with odd Sigma from 3 to ``max_sigma``.

    Returns
    -------
    tuple of CslMisorientation
        Sorted by Sigma, then ``a`` before ``b``.

    Raises
    ------
    RuntimeError
        If one Sigma holds more than two distinct misorientations (none does
        up to 29), as ``a``/``b`` labels could not tell them apart.
    """
    distinct = {}
    for sigma, integer in _constructions(max_sigma):
        matrix = integer / sigma
        angle, axis = _disorientation(quaternion_of(matrix))
        key = (sigma, round(angle, 9), *np.round(axis, 9))
        distinct.setdefault(key, (sigma, angle, axis, matrix, integer))
    by_sigma = {}
    for sigma, angle, axis, matrix, integer in distinct.values():
        by_sigma.setdefault(sigma, []).append((angle, axis, matrix, integer))
    table = []
    for sigma in sorted(by_sigma):
        kinds = sorted(by_sigma[sigma], key=lambda kind: kind[0])
        if len(kinds) > 2:
            raise RuntimeError(f"Sigma{sigma} has {len(kinds)} misorientations; a/b cannot name them")
        for letter, (angle, axis, matrix, integer) in zip("ab" if len(kinds) == 2 else [""], kinds):
            table.append(CslMisorientation(f"Sigma{sigma}{letter}", sigma, float(angle), tuple(axis.tolist()),
                                           matrix, tuple(map(tuple, integer.tolist()))))
    return tuple(table)


@lru_cache(maxsize=None)
def _equivalent_sets(max_sigma):
    return [_equivalents(quaternion_of(entry.matrix)) for entry in csl_table(max_sigma)]


def csl_distances(q, window=None, max_sigma=MAX_SIGMA, angle=None):
    """Misorientation distance (radians) from each misorientation to each CSL of the table.

    Parameters
    ----------
    q : array_like, shape (B, 4)
        Misorientations as unit quaternions (any equivalent of each).
    window : array_like of float, shape (len(csl_table()),), optional
        Per CSL, the distance beyond which its value is not needed: a
        misorientation whose disorientation angle differs from the CSL's by
        more (a lower bound of the distance) gets ``inf`` there, unworked.
    max_sigma : int
        The table's largest Sigma.
    angle : array_like (B,), optional
        The disorientation angles of q (radians), when known; else computed.

    Returns
    -------
    numpy.ndarray, shape (B, len(csl_table()))
    """
    q = np.atleast_2d(np.asarray(q, dtype=float))
    if angle is None:
        angle = 2 * np.arccos(np.minimum(1.0, _equivalents_max_w(q)))
    table = csl_table(max_sigma)
    out = np.full((len(q), len(table)), np.inf)
    for j, (entry, equivalents) in enumerate(zip(table, _equivalent_sets(max_sigma))):
        near = np.ones(len(q), bool) if window is None else np.abs(angle - entry.angle) <= window[j]
        if near.any():
            dots = np.abs(q[near] @ equivalents.T).max(axis=1)
            out[near, j] = 2 * np.arccos(np.minimum(1.0, dots))
    return out


def _equivalents_max_w(q):
    """cos(angle / 2) of the disorientation of each misorientation q (B, 4)."""
    s = cubic_quaternions()
    best = np.zeros(len(q))
    for sa in s:  # S_a q S_b: the largest |w| over b is that of S_b S_a q, so one side suffices
        best = np.maximum(best, np.abs(quaternion_product(sa, q)[:, 0]))
    return best
