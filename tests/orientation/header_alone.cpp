// The public header compiles with nothing included before it, and the arrays
// callers hand over are plain runs of floats.
#include "orientation/orientation.hpp"

static_assert(sizeof(orientation::Matrix3) == 9 * sizeof(float));
static_assert(sizeof(orientation::SymmetryOperatorArray) == 216 * sizeof(float));
