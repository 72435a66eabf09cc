"""Plane sections: the distribution of boundary planes at one misorientation.

For the faces whose misorientation lies within a tolerance of a given one,
over the symmetric equivalents, the plane normals in the crystal frame of the
reference grain, on a grid of directions over the whole sphere, in multiples
of a random distribution (MRD), and optionally a value per direction
(velocity, say), its area-weighted mean.

Conventions: the misorientation (angle, axis) is the rotation that takes the
reference grain's crystal components to the other grain's, as ``aatog(axis,
angle)`` is (active, right-hand rule); the axis is a crystal direction, e.g.
(1, 1, 1) for the Sigma3 twin at 60 degrees. Each face's equivalents within
the tolerance (the rotation angle of the difference, radians) share the face
one between them: a face near a misorientation that some operators leave
unchanged (a CSL one) spreads over the planes those operators relate, as it
should, since they describe one boundary. Where a face's grains come in the
exchanged order its normal is turned round (it points from the reference
grain into the other), and so is a signed value (velocity and curvature are
signed along the normal). Double precision.
"""

import math

import numpy as np

from . import _core
from .five_parameter import class_code, sphere_grid


def section_faces(euler1, euler2, normals, crystal, angle, axis, tolerance=math.radians(5)):
    """The equivalents of the faces near (angle, axis): (face, plane, weight, sign).

    face: the row of each; plane: (m, 3) unit normals in the reference
    grain's crystal frame; weight: 1/K for a face with K equivalents within
    the tolerance; sign: -1 where the normal is the face's turned round."""
    axis = np.asarray(axis, dtype=np.float64)
    if axis.shape != (3,) or not np.linalg.norm(axis) > 0:
        raise ValueError(f"axis must be a non-zero direction (x, y, z), got {axis!r}")
    if not tolerance > 0:
        raise ValueError(f"tolerance must be an angle > 0 (radians), got {tolerance!r}")
    axis = axis / np.linalg.norm(axis)
    target = [math.cos(angle / 2), *(math.sin(angle / 2) * axis)]
    return _core.section_faces(np.asarray(euler1, np.float32), np.asarray(euler2, np.float32),
                               np.asarray(normals, np.float64), class_code(crystal), target, tolerance)


def plane_distribution(euler1, euler2, normals, code, angle, axis, tolerance=math.radians(5), areas=None,
                       values=None, resolution=5.0, signed=True):
    """The distribution of plane normals at one misorientation, in MRD.

    Parameters
    ----------
    euler1, euler2 : array_like (n, 3)
        Bunge angles of grains 1 and 2 (radians).
    normals : array_like (n, 3)
        Face normals in the sample frame, from grain 1 into grain 2.
    code : int or str
        The crystal class: 1-5 or its name ('cubic', ...).
    angle, axis : float, (3,)
        The misorientation: radians, and a crystal direction such as (1, 1, 1).
    tolerance : float
        How far (radians, the smallest rotation between them over the
        symmetric equivalents) a face's misorientation may lie; 5 degrees.
    areas : array_like (n,), optional
        Each face's weight (its area); 1 each without.
    values : array_like (n,), optional
        A value per face whose area-weighted mean per direction is wanted.
    resolution : float
        The grid's step in degrees (equal steps of cos theta and azimuth).
    signed : bool
        Whether the values are signed along the normal (velocity,
        curvature), so turned round with it.

    Returns
    -------
    directions : ndarray (M, 3)
        The grid's unit directions in the crystal frame (cell centres; equal
        areas).
    mrd : ndarray (M,)
        The area share per direction over that of a uniform distribution;
        NaN everywhere when no face is within the tolerance.
    mean : ndarray (M,)
        Only when values are given: their area-weighted mean per direction
        (NaN where no face is).
    """
    face, plane, weight, sign = section_faces(euler1, euler2, normals, code, angle, axis, tolerance)
    n_theta, n_azimuth = max(1, round(180 / resolution)), max(1, round(360 / resolution))
    cells = n_theta * n_azimuth
    i_theta = np.clip(((plane[:, 2] + 1) / 2 * n_theta).astype(np.int64), 0, n_theta - 1)
    azimuth = np.mod(np.arctan2(plane[:, 1], plane[:, 0]), 2 * math.pi)
    i_azimuth = np.clip((azimuth / (2 * math.pi) * n_azimuth).astype(np.int64), 0, n_azimuth - 1)
    cell = i_theta * n_azimuth + i_azimuth
    w = weight * (1.0 if areas is None else np.asarray(areas, np.float64)[face])
    area = np.bincount(cell, weights=w, minlength=cells)
    with np.errstate(divide="ignore", invalid="ignore"):
        mrd = area / area.sum() * cells
        directions = sphere_grid(n_theta, n_azimuth)
        if values is None:
            return directions, mrd
        v = np.asarray(values, np.float64)[face] * (sign if signed else 1)
        return directions, mrd, np.bincount(cell, weights=w * v, minlength=cells) / area
