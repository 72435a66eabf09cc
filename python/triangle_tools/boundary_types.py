"""Faces grouped by boundary type: the disorientation of their two grains.

For cubic crystals the Σ3 twin (60° about ⟨111⟩) comes first: a face is a
twin when its misorientation lies within the twin window of any equivalent
of the twin, measured as a misorientation distance (the angle of the
smallest rotation between the two). The window is the Brandon criterion,
15°/√Σ = 8.66° for Σ3, scaled by a factor, or given in degrees. Every other
face goes to a class of disorientation angle of ``step`` degrees.

Computed in double precision by the compiled ``fast_disorientation``.
"""

import math

import numpy as np

from . import _core

CLASSES = {"tetragonal": 1, "hexagonal": 2, "cubic": 3, "trigonal": 4, "orthorhombic": 5}
BRANDON_DEGREES = 15.0     # Brandon's angle for Σ1; Σ3's window is this over √3
_CHUNK = 100000


def twin_window(brandon=1.0, degrees=None):
    """The Σ3 twin window in radians: ``degrees`` when given, else the Brandon
    criterion 15°/√3 times the factor ``brandon``.

    Raises
    ------
    ValueError
        A window that is negative or not finite.

    Examples
    --------
    >>> round(math.degrees(twin_window()), 3), round(math.degrees(twin_window(brandon=0.5)), 3)
    (8.66, 4.33)
    >>> twin_window(degrees=5.0) == math.radians(5.0)
    True
    """
    window = math.radians(degrees) if degrees is not None else brandon * math.radians(BRANDON_DEGREES) / math.sqrt(3)
    if not (math.isfinite(window) and window >= 0):
        raise ValueError(f"the twin window must be a finite angle >= 0, got {degrees if degrees is not None else brandon}")
    return window


def twin_distance(angle, axis):
    """Misorientation distance (radians) of each disorientation from Σ3.

    Parameters
    ----------
    angle : array_like, shape (N,)
        Disorientation angles (radians), as ``disorientation`` returns them.
    axis : array_like, shape (N, 3)
        Their axes.

    Returns
    -------
    numpy.ndarray, shape (N,)
        The smallest angle of g·t⁻¹ over every equivalent t of the twin.
    """
    ops = _core.symmetry_operators(3).astype(np.float64)
    twin = _core.aatog(np.full(3, 3 ** -0.5), math.pi / 3).astype(np.float64)
    twins = np.unique(np.round(ops[:, None] @ twin @ ops[None, :], 6).reshape(-1, 9), axis=0)
    g = _core.aatog(axis, angle).astype(np.float64).reshape(-1, 9)
    trace = np.concatenate([np.max(g[k:k + _CHUNK] @ twins.T, axis=1) for k in range(0, len(g), _CHUNK)] or
                           [np.zeros(0)])
    return np.arccos(np.clip((trace - 1) / 2, -1, 1))  # the angle of g·tᵀ is acos((trace - 1) / 2)


def groups(faces, crystal="cubic", step=5.0, window=None):
    """Groups faces by boundary type.

    Parameters
    ----------
    faces : array_like, shape (N, 12)
        Records; columns 0-2 and 3-5 are the two grains' Bunge Euler angles.
    crystal : str or int
        The crystal class by name ("cubic", "hexagonal", "tetragonal",
        "trigonal", "orthorhombic") or by its code in `CLASSES`.
    step : float
        Width of the angle classes in degrees.
    window : float, optional
        The Σ3 twin window in radians (cubic only); `twin_window()` if None.

    Returns
    -------
    list of (str, numpy.ndarray of bool)
        (label, members) per non-empty group, in the order they are reported:
        "Sigma3" first (cubic), then "A-B deg" by angle.

    Examples
    --------
    A grain turned by 60° about [111] from its neighbour is a twin, one
    turned by 22° about [001] is not:

    >>> import numpy as np, triangle_tools as tt
    >>> g1 = tt.etog(np.zeros((2, 3)))
    >>> g2 = tt.aatog([[1, 1, 1], [0, 0, 1]] / np.sqrt([[3], [1]]), np.radians([60, 22])) @ g1
    >>> faces = np.zeros((2, 12), np.float32)
    >>> faces[:, 3:6] = tt.gtoe(g2)
    >>> [(label, members.tolist()) for label, members in groups(faces, "cubic")]
    [('Sigma3', [True, False]), ('20-25 deg', [False, True])]
    """
    if not step > 0:
        raise ValueError(f"the angle step must be > 0 degrees, got {step}")
    code = CLASSES[crystal] if isinstance(crystal, str) else crystal
    faces = np.asarray(faces)
    angle, axis = _core.fast_disorientation(faces[:, 0:3], faces[:, 3:6], code)
    degrees = np.degrees(angle)
    out = []
    rest = np.ones(len(faces), bool)
    if code == CLASSES["cubic"]:
        twin = twin_distance(angle, axis) <= (twin_window() if window is None else window)
        out.append(("Sigma3", twin))
        rest &= ~twin
    for low in np.arange(0, degrees.max(initial=0) + step, step):
        members = rest & (degrees >= low) & (degrees < low + step)
        if members.any():
            out.append((f"{low:g}-{low + step:g} deg", members))
    return out
