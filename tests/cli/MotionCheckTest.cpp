#include "cli/MotionCheck.h"

#include <gtest/gtest.h>

#include "kovra/host/Runtime.h"
#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/Geometry.h"
#include "sim/SimHost.h"

namespace kovra::cli {
namespace {

constexpr std::array<int, 4> kNoHolds{-1, -1, -1, -1};

// A seated driver whose right hand turns a quarter at frame 3 and stays
// turned: one large turn between two quiet frames, a spike. The driver
// getting out and back in with the hand turned back is no turn of his.
TEST(MotionCheck, FindsTheFrameAHandFlipsAndSkipsADriverWhoWasNotSeated) {
    sim::SimHost host;
    Runtime runtime(host);  // the host's events need their subscriber
    const sim::VehicleModel sedan = sim::MakeSedanModel();
    ASSERT_TRUE(host.AddVehicleModel(sedan));
    CVehicle* car = host.CreateVehicle(sedan.id);
    CPed* driver = host.CreatePed();
    ASSERT_TRUE(host.SeatPed(driver, car, true));

    MotionCheck check;
    for (int frame = 0; frame < 12; ++frame) {
        if (frame == 8) host.UnseatPed(driver);
        if (frame == 9) {
            ASSERT_TRUE(host.SeatPed(driver, car, true));
        }
        host.AnimatePed(driver);
        if (frame >= 3 && frame < 8) {
            Quaternion* hand = BoneRotationSlot(host, driver, kRightHandNode);
            ASSERT_NE(hand, nullptr);
            TurnLocally(*hand, AxisAngle(AxisZ, 90.0f));
        }
        check.Capture(host, car, driver, nullptr, frame, kNoHolds);
    }
    const MotionReport report = check.Report();
    ASSERT_EQ(report.turns.size(), static_cast<std::size_t>(kBoneGroupCount));
    const GroupTurn& arm = report.turns[static_cast<std::size_t>(BoneGroup::RightArm)];
    EXPECT_EQ(arm.group, "right arm");
    EXPECT_NEAR(arm.maxTurn, 90.0f, 0.5f);
    EXPECT_EQ(arm.frame, 3);
    EXPECT_EQ(arm.node, kRightHandNode);
    // The fingers ride on the hand.
    EXPECT_NEAR(report.turns[static_cast<std::size_t>(BoneGroup::Fingers)].maxTurn, 90.0f, 0.5f);
    EXPECT_LT(report.turns[static_cast<std::size_t>(BoneGroup::LeftArm)].maxTurn, 1e-3f);
    ASSERT_FALSE(report.spikes.empty());
    EXPECT_EQ(report.spikes.front().frame, 3);
    for (const TurnSpike& s : report.spikes) EXPECT_EQ(s.frame, 3) << s.group << " node " << s.node;
    // Nothing held: no slide measured.
    ASSERT_EQ(report.slides.size(), 4u);
    for (const LimbSlide& s : report.slides) EXPECT_EQ(s.frame, -1) << s.limb;
}

TEST(MotionCheck, BoneGroupsKeepFingersAndToesApart) {
    EXPECT_EQ(BoneGroupOf(kRightHandNode), BoneGroup::RightArm);
    EXPECT_EQ(BoneGroupOf(kLeftHandNode), BoneGroup::LeftArm);
    EXPECT_EQ(BoneGroupOf(kRightFingersNode), BoneGroup::Fingers);
    EXPECT_EQ(BoneGroupOf(kLeftFingersNode), BoneGroup::Fingers);
    EXPECT_EQ(BoneGroupOf(27), BoneGroup::Toes);
    EXPECT_EQ(BoneGroupOf(31), BoneGroup::Toes);
    EXPECT_EQ(BoneGroupOf(kRightFootNode), BoneGroup::RightLeg);
    EXPECT_EQ(BoneGroupOf(kLeftFootNode), BoneGroup::LeftLeg);
    EXPECT_EQ(BoneGroupOf(kNeckNode), BoneGroup::Spine);
}

}  // namespace
}  // namespace kovra::cli
