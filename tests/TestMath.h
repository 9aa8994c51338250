#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>

#include "kovra/ik/FrameMatrix.h"
#include "kovra/ik/Quaternion.h"
#include "kovra/ik/Vector3.h"

namespace kovra {

inline constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
inline constexpr float kInf = std::numeric_limits<float>::infinity();

inline std::ostream& operator<<(std::ostream& os, const Vector3& v) {
    return os << "(" << v.x << ", " << v.y << ", " << v.z << ")";
}
inline std::ostream& operator<<(std::ostream& os, const Quaternion& q) {
    return os << "(" << q.x << ", " << q.y << ", " << q.z << ", " << q.w << ")";
}

inline ::testing::AssertionResult VecNear(const char* ae, const char* be, const char*,
                                          const Vector3& a, const Vector3& b, float tol) {
    const float d = std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                              (a.z - b.z) * (a.z - b.z));
    if (d <= tol) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << ae << " = " << a << " and " << be << " = " << b << " are " << d << " apart (> "
           << tol << ")";
}

inline ::testing::AssertionResult QuatNear(const char* ae, const char* be, const char*,
                                           const Quaternion& a, const Quaternion& b, float tol) {
    const float d = std::fabs(a.x - b.x) + std::fabs(a.y - b.y) + std::fabs(a.z - b.z) +
                    std::fabs(a.w - b.w);
    if (d <= tol) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << ae << " = " << a << " differs from " << be << " = "
                                         << b << " by " << d;
}

}  // namespace kovra

#define EXPECT_VEC_NEAR(a, b, tol) EXPECT_PRED_FORMAT3(::kovra::VecNear, a, b, tol)
#define EXPECT_QUAT_NEAR(a, b, tol) EXPECT_PRED_FORMAT3(::kovra::QuatNear, a, b, tol)
