// The one fuzz target: the property layer of the unit tests on arbitrary bytes.
#include "tests/unit/properties.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    properties::check(data, size);
    return 0;
}
