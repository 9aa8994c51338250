#include "cli/RunTimeline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <nlohmann/json.hpp>

#include "kovra/ik/Geometry.h"

namespace kovra::cli {
namespace {

using Json = nlohmann::ordered_json;
constexpr float kNoError = std::numeric_limits<float>::quiet_NaN();
constexpr std::size_t kSteer = 1;
constexpr NodeIndex kForearmR = 17;
constexpr NodeIndex kHandR = 18;

FrameMatrix TurnedBy(const Vector3& axis, float degrees) {
    FrameMatrix m;
    RotateFrame(m, axis, degrees, Combine::Replace);
    return m;
}

// A driver at rest, every bone's axes the vehicle's.
RunTimeline::Frame AtRest() {
    RunTimeline::Frame f;
    f.reachError.fill(kNoError);
    f.hasDriver = true;
    return f;
}

// The right forearm turned `forearm` degrees, the hand a further `hand`
// degrees against it; the hand's children go with it.
RunTimeline::Frame ArmTurned(float forearm, float hand) {
    RunTimeline::Frame f = AtRest();
    const FrameMatrix arm = TurnedBy({0, 0, 1}, forearm);
    const FrameMatrix handWorld = Multiply(TurnedBy({1, 0, 0}, hand), arm);
    f.bones[kForearmR] = arm;
    for (NodeIndex n = kHandR; n <= 20; ++n) f.bones[static_cast<std::size_t>(n)] = handWorld;
    return f;
}

TEST(RunTimeline, MissesBeyondTwoMillimetresAreMarkedOncePerRunWithTheirWorstFrame) {
    RunTimeline timeline({static_cast<int>(kSteer)});
    for (const float error : {kNoError, 0.001f, 0.003f, 0.005f, 0.001f, 0.004f}) {
        RunTimeline::Frame f = AtRest();
        f.weight[kSteer] = 1.0f;
        f.reachError[kSteer] = error;
        timeline.Add(f);
    }
    ASSERT_EQ(timeline.marks().size(), 2u);
    const RunTimeline::Mark& first = timeline.marks()[0];
    EXPECT_EQ(first.kind, "reach");
    EXPECT_EQ(first.what, "Steer");
    EXPECT_EQ(first.frame, 2);
    EXPECT_EQ(first.frames, 2);
    EXPECT_EQ(first.peak, 3);
    EXPECT_FLOAT_EQ(first.value, 0.005f);
    EXPECT_EQ(timeline.marks()[1].frame, 5);

    // The plots' series: no value is null, millimetres for the errors, and
    // marks in millimetres too.
    const Json json = Json::parse(timeline.Json());
    EXPECT_EQ(json["frames"], 6);
    ASSERT_EQ(json["handles"].size(), 1u);
    EXPECT_EQ(json["handles"][0]["kind"], "Steer");
    EXPECT_TRUE(json["handles"][0]["reachErrorMm"][0].is_null());
    EXPECT_DOUBLE_EQ(json["handles"][0]["reachErrorMm"][2].get<double>(), 3.0);
    EXPECT_DOUBLE_EQ(json["marks"][0]["value"].get<double>(), 5.0);
}

TEST(RunTimeline, ATurnIsNamedAtTheBoneThatMovedNotAtTheBonesItCarried) {
    RunTimeline timeline;
    timeline.Add(AtRest());
    timeline.Add(ArmTurned(30.0f, 0.0f));   // the forearm carries the hand
    timeline.Add(ArmTurned(42.0f, 170.0f)); // the forearm goes on, the hand flips
    timeline.Add(ArmTurned(42.0f, 170.0f)); // still
    timeline.Add(ArmTurned(44.0f, 170.0f)); // below the limit
    ASSERT_EQ(timeline.marks().size(), 2u) << timeline.Json();
    const RunTimeline::Mark& forearm = timeline.marks()[0];
    EXPECT_EQ(forearm.kind, "turn");
    EXPECT_EQ(forearm.what, "forearm_r");
    EXPECT_EQ(forearm.frame, 1);
    EXPECT_EQ(forearm.frames, 2);
    EXPECT_NEAR(forearm.value, 30.0f, 0.1f);
    const RunTimeline::Mark& hand = timeline.marks()[1];
    EXPECT_EQ(hand.what, "hand_r");
    EXPECT_EQ(hand.frame, 2);
    EXPECT_GT(hand.value, 160.0f);
}

TEST(RunTimeline, TheVehicleTurningOrTheDriverComingBackIsNoTurn) {
    RunTimeline timeline;
    for (int frame = 0; frame < 4; ++frame) {
        // The vehicle spins 45 degrees a frame with its driver at rest in it.
        RunTimeline::Frame f = AtRest();
        f.vehicle = TurnedBy({0, 0, 1}, 45.0f * static_cast<float>(frame));
        for (FrameMatrix& bone : f.bones) bone = f.vehicle;
        timeline.Add(f);
    }
    RunTimeline::Frame gone = AtRest();
    gone.hasDriver = false;
    timeline.Add(gone);
    timeline.Add(ArmTurned(90.0f, 90.0f));  // seated again in another pose
    EXPECT_TRUE(timeline.marks().empty()) << timeline.Json();
}

TEST(RunTimeline, DebugLinesGoIntoTheVehiclesSpaceInGltfAxesAndBrokenOrOtherVehiclesOnesAreDropped) {
    RunTimeline timeline;
    RunTimeline::Frame f = AtRest();
    f.vehicle.pos = {10.0f, 0.0f, 0.0f};
    f.linePoints = {{10.0f, 1.0f, 0.0f}, {10.0f, 2.0f, 0.5f}, {kNoError, 0.0f, 0.0f}, {10.0f, 1.0f, 1.0f},
                    {30.0f, 1.0f, 0.0f}, {30.0f, 2.0f, 0.0f}};
    f.lineColours = {0xff0000ffu, 0xff00ff00u, 0xffff0000u};
    timeline.Add(f);
    timeline.Add(AtRest());
    const Json lines = Json::parse(timeline.Json())["lines"];
    EXPECT_EQ(lines["starts"], Json::array({0, 1}));
    EXPECT_EQ(lines["colours"], Json::array({0xff0000ffu}));
    // (x, y, z) of the game is (-x, z, y) in glTF.
    const std::vector<double> points = lines["points"].get<std::vector<double>>();
    const std::vector<double> expected = {0, 0, 1, 0, 0.5, 2};
    ASSERT_EQ(points.size(), expected.size());
    for (std::size_t i = 0; i < points.size(); ++i) EXPECT_NEAR(points[i], expected[i], 1e-6) << i;
}

}  // namespace
}  // namespace kovra::cli
