# The quaternion disorientation against the matrix one (many random pairs, every class), and the boundary plane:
# an equivalent of the face by one operator on each grain, the same for symmetric equivalents and either order.
import numpy as np
import pytest
import triangle_tools as tt
from scipy.spatial.transform import Rotation

rng = np.random.default_rng(27)


def euler(n):
    return np.column_stack([rng.uniform(0, 2 * np.pi, n), np.arccos(rng.uniform(-1, 1, n)),
                            rng.uniform(0, 2 * np.pi, n)]).astype(np.float32)


def unit(n):
    v = rng.normal(size=(n, 3))
    return v / np.linalg.norm(v, axis=1, keepdims=True)


@pytest.mark.parametrize("code", range(1, 6))
def test_quaternion_disorientation_agrees_with_the_matrix_one(code):
    ea, eb = euler(200000), euler(200000)
    eb[:2000] = ea[:2000]  # identical grains too
    old_angle, old_axis = tt.disorientation(ea, eb, code)
    for a, b in ((ea, eb), (tt.etog(ea), tt.etog(eb)), (tt.etoq(ea), tt.etoq(eb))):
        angle, axis = tt.fast_disorientation(a, b, code, threads=1)
        turned = old_angle > 1e-3  # below that the axis is rounding
        assert np.abs(angle - old_angle).max() < 5e-7
        assert np.abs(axis - old_axis)[turned].max() < 2e-5 and not angle[:2000].any()
        assert np.array_equal(axis[:2000], old_axis[:2000])


@pytest.mark.parametrize("code", range(1, 6))
def test_plane_is_the_normal_turned_by_the_operator_of_the_reference_grain(code):
    n = 2000
    ea, eb, normal = euler(n), euler(n), unit(n)
    angle, axis, plane, grain = tt.boundary_plane(ea, eb, normal, code)
    s = tt.symmetry_operators(code).astype(float)
    ga, gb = tt.etog(ea).astype(float), tt.etog(eb).astype(float)
    r = Rotation.from_rotvec(angle[:, None] * axis).as_matrix()
    ref, other = np.where(grain[:, None, None] == 1, ga, gb), np.where(grain[:, None, None] == 1, gb, ga)
    sign = np.where(grain == 1, 1.0, -1.0)[:, None]
    # some S_i with plane = +-S_i g_ref n and r S_i g_ref g_other^T an operator S_j
    turned = np.einsum("sij,kjl,kl->ski", s, ref, normal)
    match = np.abs(sign * turned - plane).max(axis=2) < 1e-5
    m = np.einsum("kij,sjl,klm,knm->skin", r, s, ref, other)
    member = (np.abs(m[:, :, None] - s[None, None]).max(axis=(3, 4)) < 1e-5).any(axis=2)
    assert (match & member).any(axis=0).all() and set(grain) == {1, 2}
    assert np.abs(np.linalg.norm(plane, axis=1) - 1).max() < 1e-12


@pytest.mark.parametrize("code", range(1, 6))
def test_symmetric_equivalents_and_either_order_give_the_same_plane(code):
    n = 3000
    ea, eb, normal = euler(n), euler(n), unit(n)
    s = Rotation.from_matrix(tt.symmetry_operators(code).astype(float))
    bunge = lambda e: Rotation.from_euler("ZXZ", e.astype(float)).inv()  # noqa: E731  etog's passive matrix
    turn = lambda e: (s[rng.integers(0, len(s), n)] * bunge(e)).inv().as_euler("ZXZ").astype(np.float32)  # noqa
    first = tt.boundary_plane(ea, eb, normal, code)
    for got in (tt.boundary_plane(turn(eb), turn(ea), -normal, code), tt.boundary_plane(turn(ea), turn(eb), normal, code)):
        for x, y in zip(first[:3], got[:3]):
            assert np.abs(x - y).max() < 2e-5


def test_cubic_pairs_in_an_array_are_those_taken_one_at_a_time_bit_for_bit():
    # the two-pair form (chunks of 64, a short chunk, the odd last pair) against the one-pair form; identical
    # grains (a zero axis) and 45 degrees about [001] (a tie of two kinds of operator) go to the one-pair form
    ea, eb = euler(1001), euler(1001)
    eb[::7] = ea[::7]
    eb[3::11] = ea[3::11] + np.float32([0, 0, np.pi / 4])
    qa, qb = tt.etoq(ea), tt.etoq(eb)
    angle, axis = tt.fast_disorientation(qa, qb, 3, threads=1)
    one = [tt.fast_disorientation(qa[k:k + 1], qb[k:k + 1], 3, threads=1) for k in range(len(qa))]
    assert np.array_equal(angle, np.concatenate([a for a, _ in one]))
    assert np.array_equal(axis, np.concatenate([x for _, x in one]))
