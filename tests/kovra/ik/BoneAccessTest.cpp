#include "kovra/ik/BoneAccess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "TestMath.h"
#include "kovra/ik/Geometry.h"

namespace kovra {
namespace {

float DegreesBetween(const Quaternion& a, const Quaternion& b) {
    return 2.0f * std::acos(std::min(std::fabs(Dot(Normalized(a), Normalized(b))), 1.0f)) * kRadToDeg;
}

// A hand blending from one roll to another nearly half a turn away while the
// roll it leaves drifts across the half turn: the shorter arc changes sides
// part way, which on its own flips the hand in one frame.
TEST(WriteBoneRotation, ABlendStaysOnTheSideItWasOnAFrameAgo) {
    constexpr int kFrames = 20;
    const Quaternion target = Quaternion::Identity();
    const auto leaving = [](int frame) { return AxisAngle(AxisX, 170.0f + static_cast<float>(frame)); };
    const auto blendAt = [](int frame) { return static_cast<float>(frame) / kFrames; };

    float flip = 0.0f;
    float worst = 0.0f;
    Quaternion lastPlain = leaving(0);
    Quaternion lastNear = leaving(0);
    for (int frame = 1; frame <= kFrames; ++frame) {
        Quaternion plain = leaving(frame);
        WriteBoneRotation(plain, target, blendAt(frame));
        flip = std::max(flip, DegreesBetween(plain, lastPlain));
        lastPlain = plain;

        Quaternion kept = leaving(frame);
        WriteBoneRotation(kept, target, blendAt(frame), &lastNear);
        worst = std::max(worst, DegreesBetween(kept, lastNear));
        lastNear = kept;
    }
    EXPECT_GT(flip, 90.0f) << "the plain blend flips: the case is a real one";
    EXPECT_LT(worst, 25.0f);
    EXPECT_QUAT_NEAR(lastNear, target, 1e-5f);  // and it still arrives
}

TEST(WriteBoneRotation, WithoutAClearlyNearerSideTheShorterArcIsKept) {
    const Quaternion from = Quaternion::Identity();
    const Quaternion to = AxisAngle(AxisZ, 90.0f);
    Quaternion slot = from;
    const Quaternion near = from;  // both sides start equally far from it
    WriteBoneRotation(slot, to, 0.5f, &near);
    EXPECT_NEAR(std::fabs(Dot(slot, AxisAngle(AxisZ, 45.0f))), 1.0f, 1e-6f);
    // A weight of 1 replaces, 0 leaves the slot, whatever the near rotation.
    const Quaternion far = AxisAngle(AxisZ, -120.0f);
    slot = from;
    WriteBoneRotation(slot, to, 1.0f, &far);
    EXPECT_EQ(slot, to);
    WriteBoneRotation(slot, from, 0.0f, &far);
    EXPECT_EQ(slot, to);
}

}  // namespace
}  // namespace kovra
