#include "kovra/handles/bike/BikeShiftIk.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "AllocationCounter.h"
#include "BikeTestSupport.h"
#include "TestMath.h"
#include "kovra/handles/bike/PegIk.h"

namespace kovra {
namespace {


class BikeShiftIkTest : public test::BikeTest {
protected:
    // The built-in motorbike, its shift lever moved to x (its own position,
    // in the chassis frame).
    void StartWithLeverAt(float x) {
        sim::VehicleModel model = sim::MakeMotorbikeModel(461);
        model.frames[static_cast<std::size_t>(model.FindFrame("ik_bike_shift"))].modelling.pos.x = x;
        Start(model);
        shift = rig->bikeShiftIk;
        ASSERT_NE(shift, nullptr);
        ASSERT_EQ(shift->gearSeen, 0);
        ASSERT_EQ(shift->weight, 0.0f) << "standing in neutral: no stroke yet";
    }
    // The lever's angle about its X from its rest pose, degrees.
    float LeverAngle() {
        const FrameMatrix& m = Modelling(shift->frameA);
        const FrameMatrix& r = shift->frameA.restMatrix;
        return std::atan2(Dot(m.up, r.at), Dot(m.up, r.up)) * kRadToDeg;
    }
    // Frames until `done` holds, at most `limit`.
    template <class Done>
    int FramesUntil(Done done, int limit = 100) {
        int frames = 0;
        while (!done() && frames < limit) {
            Frame();
            ++frames;
        }
        return frames;
    }

    BikeShiftIk* shift = nullptr;
};

TEST_F(BikeShiftIkTest, AStrokeReachesFlicksTheLeverOutAndBackThenReturns) {
    StartWithLeverAt(-0.2f);
    ASSERT_EQ(shift->rateArm, 0.075f);
    vehicle->state.gear = 1;
    EXPECT_EQ(FramesUntil([&] { return shift->weight >= 1.0f; }), 14) << "the foot arrives";
    EXPECT_TRUE(shift->shiftPending);
    EXPECT_EQ(shift->shiftKind, BikeShiftIk::kUpShift);
    EXPECT_EQ(shift->strokeProgress, 0.0f) << "the lever waits for the foot";
    EXPECT_TRUE(RowsAtRest(shift->frameA));

    std::vector<float> out;
    const int outFrames = FramesUntil([&] {
        out.push_back(LeverAngle());
        return shift->strokePhase == 3;
    });
    EXPECT_EQ(outFrames, 14);
    EXPECT_NEAR(LeverAngle(), 30.0f, 1e-3f) << "an up-shift turns the lever by +MaxAngle";
    for (std::size_t i = 1; i < out.size(); ++i) EXPECT_GT(out[i], out[i - 1]) << i;

    EXPECT_EQ(FramesUntil([&] { return !shift->shiftPending; }), 14) << "and back";
    EXPECT_EQ(shift->strokePhase, 2);
    EXPECT_EQ(shift->gearSeen, 1);
    EXPECT_TRUE(RowsAtRest(shift->frameA));
    EXPECT_EQ(FramesUntil([&] { return shift->weight <= 0.0f; }), 13) << "the foot returns";
    EXPECT_TRUE(RowsAtRest(shift->frameA));
}

TEST_F(BikeShiftIkTest, ADownShiftTurnsTheLeverTheOtherWay) {
    StartWithLeverAt(-0.2f);
    vehicle->state.gear = 3;
    Frame();
    FramesUntil([&] { return shift->weight <= 0.0f && !shift->shiftPending; }, 200);
    ASSERT_EQ(shift->gearSeen, 3);
    vehicle->state.gear = 2;
    FramesUntil([&] { return shift->strokePhase == 3; }, 200);
    EXPECT_EQ(shift->shiftKind, BikeShiftIk::kDownShift);
    EXPECT_NEAR(LeverAngle(), -30.0f, 1e-3f);
}

// A change while a stroke is pending waits until that stroke is done and
// the foot is back on its peg; then it gets a stroke of its own.
TEST_F(BikeShiftIkTest, AChangeDuringAStrokeWaitsForTheFootToComeBack) {
    StartWithLeverAt(-0.2f);
    vehicle->state.gear = 1;
    FramesUntil([&] { return shift->strokePhase == 3; });
    vehicle->state.gear = 2;
    FramesUntil([&] { return !shift->shiftPending; });
    EXPECT_EQ(shift->gearSeen, 1);
    EXPECT_EQ(shift->targetGear, 1);
    const int back = FramesUntil([&] { return shift->shiftPending; });
    EXPECT_EQ(back, 14) << "the foot goes back to the peg first (13 frames)";
    EXPECT_EQ(shift->targetGear, 2);
}

TEST_F(BikeShiftIkTest, TheFootOnTheLeverPointsAtTheShiftPoint) {
    StartWithLeverAt(-0.2f);
    EXPECT_TRUE(shift->leftSide);
    vehicle->state.gear = 1;
    FramesUntil([&] { return shift->weight >= 1.0f; });
    Frame();
    const LimbSolve& solve = log.last[kLeftFootNode];
    ASSERT_EQ(solve.tag, KindCode(HandleKind::BikeShift));
    ASSERT_TRUE(solve.reached);
    EXPECT_EQ(solve.weight, 1.0f);
    const PegIk& peg = *rig->pegIk;
    const Vector3 g = shift->grabOffset + peg.grabOffset;
    const FrameMatrix& lever = *host.FrameWorld(shift->frameA.frame);
    // On the lever's spot as it stood at rest, carried round with its turn:
    // the foot goes with the lever instead of sliding over it.
    EXPECT_NE(shift->leverTurn, 0.0f);
    EXPECT_VEC_NEAR(Bone(43), IkHandle::TurnedWithControl(TransformPoint({-g.x, g.y, g.z}, Body()), lever,
                                                          shift->leverTurn),
                    0.002f);
    const Vector3 aim = TransformPoint({shift->footTurn, shift->frameA.reachY, shift->UpShiftHeight}, lever);
    EXPECT_VEC_NEAR(host.BoneMatrix(ped, kLeftFootNode)->up, NormalizedCopy(aim - Bone(43)), 1e-4f);

    // Leaning left frees the shifting foot as it frees the peg foot.
    vehicle->state.lean = -0.4f;
    Frame();
    EXPECT_FLOAT_EQ(log.last[kLeftFootNode].weight, 0.6f);
}

// A lever on the right is worked by the right foot, its knee bent as on the
// peg (forwards, not flipped backwards as the foot moves across).
TEST_F(BikeShiftIkTest, ALeverOnTheRightTakesTheRightFootItsKneeForwards) {
    StartWithLeverAt(0.0f);
    EXPECT_FALSE(shift->leftSide);
    rig->handBrakeIk = nullptr;  // the rear brake shares the right foot
    vehicle->state.gear = 1;
    FramesUntil([&] { return shift->weight >= 1.0f; });
    Frame();
    const LimbSolve& solve = log.last[kRightFootNode];
    ASSERT_EQ(solve.tag, KindCode(HandleKind::BikeShift));
    EXPECT_EQ(log.last[kLeftFootNode].tag, KindCode(HandleKind::Peg));
    const Vector3 hip = Bone(51);
    const Vector3 axis = NormalizedCopy(Bone(53) - hip);
    const Vector3 knee = Bone(52) - hip;
    EXPECT_GT(Dot(knee - axis * Dot(knee, axis), Body().up), 0.0f) << "the knee points forwards";
}

TEST_F(BikeShiftIkTest, WithoutAPegHandleNothingMoves) {
    StartWithLeverAt(-0.2f);
    rig->pegIk = nullptr;
    vehicle->state.gear = 1;
    for (int i = 0; i < 30; ++i) Frame();
    EXPECT_EQ(shift->weight, 0.0f);
    EXPECT_FALSE(shift->shiftPending);
    EXPECT_NE(log.last[kLeftFootNode].tag, KindCode(HandleKind::BikeShift));
}

TEST_F(BikeShiftIkTest, TuningAidShowsOnlyForTheTwoHeightsWhateverTheDebugSwitch) {
    StartWithLeverAt(-0.2f);
    Frame();
    DebugDrawQueue& debug = runtime.debug();
    ASSERT_FALSE(debug.enabled);
    debug.Clear();
    shift->DrawTuningAid("Gas", "UpShiftHeight: ");
    shift->DrawTuningAid("BikeShift", "MaxAngle: ");
    shift->DrawTuningAid("BikeShift", "UpShiftHeight:");  // the label has its blank
    EXPECT_TRUE(debug.triangles().empty());

    for (const char* label : {"UpShiftHeight: ", "DownShiftHeight: "}) {
        debug.Clear();
        shift->DrawTuningAid("BikeShift", label);
        EXPECT_FALSE(debug.enabled) << "the switch is left as it was";
        ASSERT_EQ(debug.triangles().size(), 18u) << "three arrows";
        int green = 0, cyan = 0, red = 0;
        for (const DebugTriangle& t : debug.triangles()) {
            green += t.colour.Packed() == kDebugGreen;
            cyan += t.colour.Packed() == 0xffffff00u;
            red += t.colour.Packed() == kDebugRed;
        }
        EXPECT_EQ(green, 6);
        EXPECT_EQ(cyan, 6);
        EXPECT_EQ(red, 6);
        // The green arrow ends at the point the foot aims at for that height.
        const FrameMatrix& lever = *host.FrameWorld(shift->frameA.frame);
        const float h = label[0] == 'U' ? shift->UpShiftHeight : shift->DownShiftHeight;
        const Vector3 aim = TransformPoint({shift->footTurn, shift->frameA.reachY, h}, lever);
        EXPECT_VEC_NEAR(debug.triangles()[2].corners[1], aim, 1e-5f);
    }
}

TEST_F(BikeShiftIkTest, DegenerateTunablesNeverReachABoneOrTheLever) {
    StartWithLeverAt(-0.2f);
    BikeShiftIk defaults{runtime};
    defaults.CopyFrom(shift);
    for (int c = 0; c < 8; ++c) {
        shift->CopyFrom(&defaults);
        host.SetTimeStep(c == 6 ? 0.0f : 1.0f);
        if (c == 0) shift->rateArm = kNaN;
        if (c == 1) shift->rateArm = 1e30f;
        if (c == 2) shift->maxAngle = kInf;
        if (c == 3) shift->grabOffset = {kNaN, kInf, 1e30f};
        if (c == 4) shift->UpShiftHeight = shift->DownShiftHeight = kNaN;
        if (c == 5) shift->footTurn = -1e30f;
        if (c == 7) shift->rateArm = -0.5f;
        for (int i = 0; i < 60; ++i) {
            vehicle->state.gear = 1 + (i / 20) % 3;
            Frame();
        }
        ExpectFinitePose("case " + std::to_string(c));
        EXPECT_TRUE(IsFinite(shift->strokeProgress) && IsFinite(shift->weight)) << c;
    }
}

TEST_F(BikeShiftIkTest, TheWholeBikeDispatchDoesNotAllocate) {
    StartWithLeverAt(-0.2f);
    vehicle->state.gear = 1;
    vehicle->state.gasPedal = 0.5f;
    vehicle->state.brakePedal = 0.5f;
    vehicle->state.handBrake = true;
    for (int i = 0; i < 20; ++i) Frame();
    ASSERT_GT(shift->weight, 0.0f);
    test::AllocationCounter allocations;
    for (int i = 0; i < 5; ++i) {
        rig->dispatched = false;
        rig->Dispatch();
    }
    EXPECT_EQ(allocations.count(), 0u);
}

}  // namespace
}  // namespace kovra
