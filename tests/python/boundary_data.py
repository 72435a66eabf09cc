# Faces of grains and boundaries of known truth, built with scipy's Rotation (independent of the package's
# geometry): each boundary a type of known class and mobility (CSL boundaries a few degrees off their
# literature angle/axis, low-angle, general pairs kept outside every Brandon window), a planted share moving
# against curvature, every face written in either order at random.
from functools import lru_cache

import numpy as np
from scipy.spatial.transform import Rotation

# Literature disorientations of the cubic CSL (angle in degrees, axis): the reference of the CSL table.
CSL = {"Sigma3": (60.0, (1, 1, 1)), "Sigma5": (36.87, (1, 0, 0)), "Sigma7": (38.21, (1, 1, 1)),
       "Sigma9": (38.94, (1, 1, 0)), "Sigma11": (50.48, (1, 1, 0)), "Sigma13a": (22.62, (1, 0, 0)),
       "Sigma13b": (27.80, (1, 1, 1)), "Sigma15": (48.19, (2, 1, 0)), "Sigma17a": (28.07, (1, 0, 0)),
       "Sigma17b": (61.93, (2, 2, 1)), "Sigma19a": (26.53, (1, 1, 0)), "Sigma19b": (46.83, (1, 1, 1)),
       "Sigma21a": (21.79, (1, 1, 1)), "Sigma21b": (44.42, (2, 1, 1)), "Sigma23": (40.45, (3, 1, 1)),
       "Sigma25a": (16.26, (1, 0, 0)), "Sigma25b": (51.68, (3, 3, 1)), "Sigma27a": (31.59, (1, 1, 0)),
       "Sigma27b": (35.43, (2, 1, 0)), "Sigma29a": (43.60, (1, 0, 0)), "Sigma29b": (46.40, (2, 2, 1))}
# Planted types: class, mobility, boundaries.
TYPES = [("Sigma3", 0.3, 150), ("Sigma5", 0.8, 100), ("Sigma7", 0.5, 100), ("Sigma13a", 1.0, 100),
         ("Sigma13b", 0.6, 100), ("low_angle", 0.1, 100), ("general", 1.2, 200)]
CUBIC = Rotation.create_group("O")


def rotation_of(label):
    angle, axis = CSL[label]
    return Rotation.from_rotvec(np.radians(angle) * np.array(axis, float) / np.linalg.norm(axis))


@lru_cache(maxsize=None)
def equivalents(label):
    """Every S_i r S_j and S_i r^-1 S_j of the CSL rotation r, as quaternions."""
    r = rotation_of(label)
    return Rotation.concatenate([s * x * t for s in CUBIC for t in CUBIC for x in (r, r.inv())]).as_quat()


def csl_distance(m, label):
    """Misorientation distance (degrees) of rotations m to a CSL: the smallest angle of m E^-1 over its
    equivalents E."""
    return np.degrees(2 * np.arccos(np.minimum(1, np.abs(m.as_quat() @ equivalents(label).T).max(1))))


def misorientations(label, n, rng, brandon=15.0):
    """n misorientations (Rotation) of a type: CSL within 0.6 of its Brandon window, low angle 2-12°,
    general: random, over 15° and 0.05° outside every CSL window (by csl_distance)."""
    axis = Rotation.random(n, random_state=rng).apply([0, 0, 1])
    if label.startswith("Sigma"):
        off = np.radians(0.6 * brandon / np.sqrt(int(label[5:].rstrip("ab")))) * rng.uniform(0, 1, n)
        return rotation_of(label) * Rotation.from_rotvec(off[:, None] * axis)
    if label == "low_angle":
        return Rotation.from_rotvec(np.radians(rng.uniform(2, 12, n))[:, None] * axis)
    kept = []
    while len(kept) < n:
        m = Rotation.random(4 * n, random_state=rng)
        ok = np.abs(m.as_quat() @ CUBIC.as_quat().T).max(1) < np.cos(np.radians(7.5))  # over 15 degrees
        for other in CSL:
            ok &= csl_distance(m, other) > brandon / np.sqrt(int(other[5:].rstrip("ab"))) + 0.05  # 2-decimal angles
        kept.extend(m[ok])
    return Rotation.concatenate(kept[:n])


def make_faces(seed, types=TYPES, against=0.2, faces=(4, 30)):
    """Faces (float32 (n, 12)) and truth: per boundary its class, mobility and whether it moves against
    its curvature. Boundary b: mean curvature k_b (|k_b| in [0.05, 0.25], either sign); faces k = k_b (1 + 0.3 z);
    v = M k + D_b + 0.02 M z'. The drive D_b = s M |k_b| (1 + U) sign(k_b), s = -1 (against) with
    probability `against`, +1 with the same probability, else 0, U in [0.5, 1.5]: symmetric and
    independent of k, so the class's slope is still M, and a boundary with s = -1 moves against k_b."""
    rng = np.random.default_rng(seed)
    rows, truth = [], []
    for label, mobility, count in types:
        m = misorientations(label, count, rng)
        a = Rotation.random(count, random_state=rng)  # grain 1, active; g = a^-1 (passive)
        b = m * a
        kb = rng.choice([-1, 1], count) * rng.uniform(0.05, 0.25, count)
        s = rng.choice([-1, 0, 1], count, p=[against, 1 - 2 * against, against])
        drive = s * mobility * np.abs(kb) * rng.uniform(1.5, 2.5, count) * np.sign(kb)
        normal = Rotation.random(count, random_state=rng).apply([0, 0, 1])
        for k in range(count):
            n = rng.integers(*faces)
            f = np.zeros((n, 12))
            f[:, 0:3] = a[k].inv().as_euler("ZXZ")
            f[:, 3:6] = b[k].inv().as_euler("ZXZ")
            f[:, 6:9] = normal[k] + rng.normal(0, 0.1, (n, 3))
            f[:, 9] = rng.lognormal(0, 0.5, n)
            f[:, 10] = kb[k] * (1 + 0.3 * rng.normal(size=n))
            f[:, 11] = mobility * f[:, 10] + drive[k] + 0.02 * mobility * rng.normal(size=n)
            rows.append(f)
            truth.append((label, mobility, s[k] < 0))
    faces = np.concatenate(rows).astype(np.float32)
    faces = faces[rng.permutation(len(faces))]
    flip = rng.uniform(size=len(faces)) < 0.5
    return swapped(faces, flip), truth


def swapped(faces, which=None):
    """The faces with the two grains exchanged (where `which`), normal, curvature and velocity negated."""
    out = faces.copy()
    which = np.ones(len(faces), bool) if which is None else which
    out[which, 0:3], out[which, 3:6] = faces[which, 3:6], faces[which, 0:3]
    out[np.ix_(which, [6, 7, 8, 10, 11])] *= -1
    return out
