#include "orientation/orientation.hpp"

namespace orientation {

Const1 const1{0.0f, 0.0f};

}  // namespace orientation
