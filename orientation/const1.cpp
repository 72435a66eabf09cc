#include "orientation/orientation.hpp"

namespace orientation {

// Zero until the program stores into it; the library only reads it.
Const1 const1{0.0f, 0.0f};

}  // namespace orientation
