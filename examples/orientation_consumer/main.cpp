// Uses the installed orientation library: Bunge Euler angles to a matrix and
// back, and the 24 operators of the cubic class. Exits 0 when both come out right.
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "orientation/orientation.hpp"

int main() {
    orientation::const1.pi = orientation::singlePrecisionPi;

    const orientation::EulerAngles e{0.5f, 1.0f, 2.0f};
    orientation::Matrix3 g{};
    orientation::etog(e, g);
    orientation::EulerAngles back{};
    orientation::gtoe(g, back);

    orientation::SymmetryOperatorArray ops{};
    std::int32_t count = 0;
    orientation::get_symop(3, ops, count);

    const bool ok = std::fabs(back[0] - e[0]) < 1e-5f && std::fabs(back[1] - e[1]) < 1e-5f &&
                    std::fabs(back[2] - e[2]) < 1e-5f && count == 24;
    std::printf("orientation consumer: euler %g %g %g, cubic operators %d: %s\n",
                static_cast<double>(back[0]), static_cast<double>(back[1]), static_cast<double>(back[2]),
                static_cast<int>(count), ok ? "ok" : "WRONG");
    return ok ? 0 : 1;
}
