#include "kovra/ik/EaseCurve.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace kovra {
namespace {

TEST(EaseCurve, TheFourCombinationsTheHandlesUse) {
    for (float t : {0.0f, 0.2f, 0.5f, 0.9f, 1.0f}) {
        EXPECT_NEAR(EaseCurve(1, 0, t), t * t, 1e-6f);
        EXPECT_NEAR(EaseCurve(2, 0, t), t * t * t, 1e-6f);
        EXPECT_NEAR(EaseCurve(7, 0, t), 1.0f - std::sqrt(1.0f - t * t), 1e-6f);
        EXPECT_NEAR(EaseCurve(7, 1, t), std::sqrt(1.0f - (t - 1.0f) * (t - 1.0f)), 1e-6f);
    }
}

TEST(EaseCurve, EveryTypeAndModeRunsFromZeroToOne) {
    for (int type = 1; type <= 10; ++type) {
        for (int mode = 0; mode <= 2; ++mode) {
            EXPECT_NEAR(EaseCurve(type, mode, 0.0f), 0.0f, 1e-3f) << type << "/" << mode;
            EXPECT_NEAR(EaseCurve(type, mode, 1.0f), 1.0f, 1e-3f) << type << "/" << mode;
            for (float t = 0.0f; t <= 1.0f; t += 0.05f) {
                EXPECT_TRUE(std::isfinite(EaseCurve(type, mode, t)));
            }
        }
        // In-out is symmetric about the middle.
        EXPECT_NEAR(EaseCurve(type, 2, 0.3f) + EaseCurve(type, 2, 0.7f), 1.0f, 1e-4f) << type;
    }
}

TEST(EaseCurve, PublishedShapes) {
    EXPECT_LT(EaseCurve(9, 0, 0.2f), 0.0f);  // back overshoots below zero
    EXPECT_GT(EaseCurve(9, 1, 0.8f), 1.0f);
    EXPECT_NEAR(EaseCurve(10, 1, 1.0f / 2.75f), 1.0f, 1e-5f);  // first bounce lands
    EXPECT_NEAR(EaseCurve(5, 0, 0.5f), 1.0f - std::cos(3.14159265f / 4.0f), 1e-6f);
}

TEST(EaseCurve, UnknownTypeOrModeIsIdentity) {
    EXPECT_EQ(EaseCurve(0, 0, 0.3f), 0.3f);
    EXPECT_EQ(EaseCurve(11, 1, 0.7f), 0.7f);
    EXPECT_EQ(EaseCurve(1, 5, 0.7f), 0.7f);
}

TEST(EaseCurve, RampStartsAndStopsGentlyWithALowTopSpeed) {
    EXPECT_EQ(EaseInOutRamp(0.0f, 0.3f), 0.0f);
    EXPECT_NEAR(EaseInOutRamp(1.0f, 0.3f), 1.0f, 1e-6f);
    EXPECT_NEAR(EaseInOutRamp(0.5f, 0.3f), 0.5f, 1e-6f);
    EXPECT_EQ(EaseInOutRamp(0.4f, 0.0f), 0.4f);  // no ramp: linear
    // Its speed never passes 1 / (1 - ramp) and starts near 0; a step
    // function of the weight would be what made the hand jump.
    constexpr int kSteps = 1000;
    float last = 0.0f;
    float fastest = 0.0f;
    for (int i = 1; i <= kSteps; ++i) {
        const float now = EaseInOutRamp(static_cast<float>(i) / kSteps, 0.3f);
        EXPECT_GE(now, last);
        fastest = std::max(fastest, (now - last) * kSteps);
        if (i == 1) {
            EXPECT_LT((now - last) * kSteps, 0.01f);
        }
        last = now;
    }
    EXPECT_LE(fastest, 1.0f / 0.7f + 1e-2f);
    EXPECT_LT(fastest, 2.0f) << "gentler at its top than the quadratic in-out";
}

TEST(EaseCurve, InOutQuadOfTheHandleWeight) {
    EXPECT_EQ(EaseInOutQuad(0.0f), 0.0f);
    EXPECT_NEAR(EaseInOutQuad(0.25f), 0.125f, 1e-7f);
    EXPECT_NEAR(EaseInOutQuad(0.5f), 0.5f, 1e-7f);
    EXPECT_NEAR(EaseInOutQuad(0.75f), 0.875f, 1e-7f);
    EXPECT_NEAR(EaseInOutQuad(1.0f), 1.0f, 1e-7f);
}

}  // namespace
}  // namespace kovra
