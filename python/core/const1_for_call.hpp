#pragma once

// gtoe, vtoangles and get_symop read pi (and gtoe eps) from const1: the
// module sets it for the call and puts back what was there after it, so
// Python code never sees const1 changed.

#include "orientation/orientation.hpp"

struct Const1ForCall {
    const orientation::Const1 found = orientation::const1;
    explicit Const1ForCall(float eps = 0.0f) { orientation::const1 = {orientation::singlePrecisionPi, eps}; }
    ~Const1ForCall() { orientation::const1 = found; }
};
