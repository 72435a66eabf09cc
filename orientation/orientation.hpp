#pragma once

namespace orientation {

// Shared constants of the orientation routines; zero at program start.
struct Const1 {
    float pi;
    float eps;
};
extern Const1 const1;

}  // namespace orientation
