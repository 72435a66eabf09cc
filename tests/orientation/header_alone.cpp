// The public header must compile with nothing included before it. This file
// includes nothing else; it is compiled as part of the test build.
#include "orientation/orientation.hpp"

namespace {

static_assert(sizeof(orientation::Matrix3) == 9 * sizeof(float));
static_assert(sizeof(orientation::SymmetryOperatorArray) == 216 * sizeof(float));
static_assert(sizeof(orientation::EulerAngles) == 3 * sizeof(float));
static_assert(sizeof(orientation::AnglePair) == 2 * sizeof(float));
static_assert(sizeof(std::int32_t) == 4);

// Every routine is declared with the argument types callers rely on.
[[maybe_unused]] float (*const acos2Entry)(float) = &orientation::acos2;
[[maybe_unused]] void (*const etogEntry)(const orientation::EulerAngles&,
                                         orientation::Matrix3&) = &orientation::etog;
[[maybe_unused]] void (*const gtoeEntry)(const orientation::Matrix3&,
                                         orientation::EulerAngles&) = &orientation::gtoe;
[[maybe_unused]] void (*const aatogEntry)(const orientation::Vector3&, float,
                                          orientation::Matrix3&) = &orientation::aatog;
[[maybe_unused]] void (*const transEntry)(const orientation::Matrix3&,
                                          orientation::Matrix3&) = &orientation::trans;
[[maybe_unused]] void (*const mtomEntry)(const orientation::Matrix3&, const orientation::Matrix3&,
                                         orientation::Matrix3&) = &orientation::mtom;
[[maybe_unused]] void (*const mtovEntry)(const orientation::Matrix3&, const orientation::Vector3&,
                                         orientation::Vector3&) = &orientation::mtov;
[[maybe_unused]] void (*const anglestovEntry)(float, float, orientation::Vector3&) = &orientation::anglestov;
[[maybe_unused]] void (*const vtoanglesEntry)(orientation::Vector3&,
                                              orientation::AnglePair&) = &orientation::vtoangles;
[[maybe_unused]] void (*const getSymopEntry)(std::int32_t, orientation::SymmetryOperatorArray&,
                                             std::int32_t&) = &orientation::get_symop;
[[maybe_unused]] void (*const symopEntry)(const orientation::SymmetryOperatorArray&, std::int32_t,
                                          orientation::Matrix3&) = &orientation::symop;
[[maybe_unused]] orientation::Const1* const const1Entry = &orientation::const1;

}  // namespace
