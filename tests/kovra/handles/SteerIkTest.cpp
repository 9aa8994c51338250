#include "kovra/handles/car/SteerIk.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "AllocationCounter.h"
#include "TestMath.h"
#include "SimTestSupport.h"
#include "kovra/host/Runtime.h"
#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"
#include "sim/SimHost.h"

namespace kovra {
namespace {

constexpr float kRimRadius = 0.19f;  // the sedan's wheel box

// A simulated game whose script commands can be counted without recording.
class QuietHost : public sim::SimHost {
public:
    bool RunScriptCommand(int opcode, std::span<const ScriptArg> inputs,
                          std::span<ScriptArg> outputs) override {
        if (record) return SimHost::RunScriptCommand(opcode, inputs, outputs);
        ++quietCalls;
        return true;
    }
    bool record = true;
    int quietCalls = 0;
};

class SteerIkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.AddVehicleModel(sim::MakeSedanModel(400)));
        test::SeatDriverInTurnedVehicle(host, 400, vehicle, ped);
        host.SetTimeStep(1.0f);

        rig.armLength = ArmReach(host, ped);
        steer.rig = &rig;
        steer.vehicle = vehicle;
        steer.ped = ped;
        steer.grabOffset = {kRimRadius, 0.0f, kRimRadius};
        steer.frameA.frame = host.FindFrame(vehicle, "ik_steer");
        ASSERT_NE(steer.frameA.frame, nullptr);
        steer.frameA.found = true;
        steer.frameA.restMatrix = *host.FrameModelling(steer.frameA.frame);
    }

    // One frame: the game animates the driver, then the handle poses it.
    void Frame(float steerAngle) {
        vehicle->state.steerAngle = steerAngle;
        host.AnimatePed(ped);
        steer.Update();
        // As the rig does at the end of its turn.
        runtime.solver().sync().Flush(ped);
    }

    Vector3 Bone(BoneId bone) {
        Vector3 p;
        EXPECT_TRUE(BonePosition(host, ped, bone, p));
        return p;
    }
    const FrameMatrix& Wheel() { return *host.FrameWorld(steer.frameA.frame); }
    const FrameMatrix& WheelModelling() { return *host.FrameModelling(steer.frameA.frame); }

    // Where the hand on `side` should be, worked out from the wheel's pose.
    Vector3 RimTarget(float side) {
        const FrameMatrix& w = Wheel();
        const float y = steer.grabOffset.y + 0.5f * runtime.settings().gWristOffsetY;
        const auto rim = [&](float degrees) {
            const float a = degrees * kDegToRad;
            return Vector3{std::cos(a) * side * steer.grabOffset.x, y,
                           std::sin(a) * side * steer.grabOffset.z};
        };
        const Vector3 rest = TransformPoint(rim(side * steer.restAngle), w);
        const Vector3 back = TransformPoint(rim(side * steer.grabBwAngle), w);
        const Vector3 f = rim(-side * steer.grabFwAngle);
        const Vector3 fw = TransformPoint({-f.x, f.y, -f.z}, w);
        const HandOverBlend b =
            HandOverFactors(steer.switchHands, side, steer.cycleAngle, steer.wheelAngle);
        const Vector3 target = side * steer.wheelAngle < 0.0f ? fw * (1 - b.h) + rest * b.h
                                                              : back * (1 - b.m) + rest * b.m;
        return target + w.up * (ChangeOverLift(b, rig.leverBlend) * steer.putAwayMult);
    }

    // Every rotation slot and bone matrix of the driver is finite.
    void ExpectFinitePose(const char* what) {
        for (NodeIndex n = 0; n < kNodeCount; ++n) {
            ASSERT_TRUE(IsFinite(*BoneRotationSlot(host, ped, n))) << what << " node " << n;
            ASSERT_TRUE(IsFinite(*host.BoneMatrix(ped, n))) << what << " node " << n;
            ASSERT_TRUE(IsFinite(rig.nodeOffsets[n])) << what << " node " << n;
        }
        ASSERT_TRUE(IsFinite(WheelModelling())) << what;
        ASSERT_TRUE(IsFinite(steer.wheelAngle)) << what;
        EXPECT_EQ(host.Skeleton(ped)->NonFiniteInputs(), 0) << what;
    }

    QuietHost host;
    Runtime runtime{host};
    CVehicle* vehicle = nullptr;
    CPed* ped = nullptr;
    CabinIk rig{runtime, nullptr};
    SteerIk steer{runtime};
};

TEST(SteerHandOver, BlendFactorsAndLift) {
    EXPECT_EQ(HandOverFactors(false, 1.0f, 100.0f, 170.0f).m, 1.0f);
    EXPECT_EQ(HandOverFactors(false, -1.0f, 100.0f, -170.0f).h, 1.0f);
    for (float side : {1.0f, -1.0f}) {  // the other hand is the mirror image
        const auto at = [&](float wheel) { return HandOverFactors(true, side, 100.0f, side * wheel); };
        EXPECT_EQ(at(0.0f).m, 1.0f);
        EXPECT_EQ(at(0.0f).h, 1.0f);
        EXPECT_FLOAT_EQ(at(50.0f).m, 0.5f);
        EXPECT_EQ(at(100.0f).m, 0.0f);
        EXPECT_EQ(at(400.0f).m, 0.0f);
        EXPECT_EQ(at(-50.0f).m, 1.0f);
        EXPECT_EQ(at(-50.0f).h, 1.0f);
        EXPECT_FLOAT_EQ(at(-150.0f).h, 1.0f / 3.0f);
        EXPECT_EQ(at(-200.0f).h, 0.0f);
    }
    // No cycle to slide over: on the grab point as soon as the wheel turns.
    EXPECT_EQ(HandOverFactors(true, 1.0f, 0.0f, 0.0f).m, 1.0f);
    EXPECT_EQ(HandOverFactors(true, 1.0f, 0.0f, 5.0f).m, 0.0f);
    EXPECT_EQ(HandOverFactors(true, 1.0f, 0.0f, -5.0f).h, 0.0f);
    EXPECT_EQ(HandOverFactors(true, -1.0f, 0.0f, 5.0f).h, 0.0f);
    for (float cycle : {kNaN, kInf, 1e-38f, -100.0f}) {
        for (float wheel : {0.0f, 60.0f, -60.0f, 1e30f}) {
            const HandOverBlend b = HandOverFactors(true, 1.0f, cycle, wheel);
            EXPECT_TRUE(b.m >= 0.0f && b.m <= 1.0f && b.h >= 0.0f && b.h <= 1.0f) << cycle;
        }
    }

    // The lift: nothing at either end of a change-over, most half way.
    EXPECT_EQ(ChangeOverLift({1.0f, 1.0f}, 1.0f), 0.0f);
    EXPECT_EQ(ChangeOverLift({0.0f, 1.0f}, 1.0f), 0.0f);
    EXPECT_EQ(ChangeOverLift({1.0f, 0.0f}, 1.0f), 0.0f);
    EXPECT_FLOAT_EQ(ChangeOverLift({0.5f, 1.0f}, 1.0f), 1.0f);
    float previous = 0.0f;
    for (float m = 0.05f; m <= 0.5f; m += 0.05f) {
        const float g = ChangeOverLift({m, 1.0f}, 1.0f);
        EXPECT_GT(g, previous) << m;
        EXPECT_NEAR(g, ChangeOverLift({1.0f, 1.0f - m}, 1.0f), 1e-6f) << m;
        previous = g;
    }
    // A hand busy on a lever takes the lift down with it.
    EXPECT_FLOAT_EQ(ChangeOverLift({0.5f, 1.0f}, 0.5f), 0.5f);
    EXPECT_EQ(ChangeOverLift({0.5f, 1.0f}, kNaN), 0.0f);
}

TEST_F(SteerIkTest, WheelAngleFollowsTheRoadWheelsWithALag) {
    const float full = -(0.3f * kRadToDeg * 5.0f);
    Frame(0.3f);
    ASSERT_EQ(host.scriptCalls.size(), 1u);
    EXPECT_EQ(host.scriptCalls[0].opcode, 1726);
    ASSERT_EQ(host.scriptCalls[0].inputs().size(), 1u);
    EXPECT_EQ(host.scriptCalls[0].inputs()[0].i, host.VehicleScriptHandle(vehicle));
    EXPECT_FLOAT_EQ(steer.wheelAngle, 0.025f * full);
    Frame(0.3f);
    EXPECT_FLOAT_EQ(steer.wheelAngle, (1 - 0.025f) * 0.025f * full + 0.025f * full);

    steer.spinRate = 0.0f;  // frozen
    const float held = steer.wheelAngle;
    for (int i = 0; i < 5; ++i) Frame(-0.5f);
    EXPECT_EQ(steer.wheelAngle, held);

    steer.spinRate = 0.5f;  // times a step of 2: follows at once
    host.SetTimeStep(2.0f);
    Frame(0.3f);
    EXPECT_FLOAT_EQ(steer.wheelAngle, full);

    steer.spinRate = 3.0f;  // beyond one step a frame: still no overshoot
    host.SetTimeStep(1.0f);
    steer.wheelAngle = 0.0f;
    Frame(0.3f);
    EXPECT_FLOAT_EQ(steer.wheelAngle, full);
}

TEST_F(SteerIkTest, WheelFrameTurnsOppositeTheRoadWheelsFromItsRestMatrix) {
    const FrameMatrix rest = steer.frameA.restMatrix;
    steer.spinRate = 1.0f;
    Frame(0.2f);  // road wheels to one side: the wheel turns the other way
    const FrameMatrix& m = WheelModelling();
    const float expected = 0.2f * kRadToDeg * 5.0f;
    EXPECT_NEAR(std::acos(Dot(m.right, rest.right)) * kRadToDeg, expected, 0.01f);
    EXPECT_LT(Dot(Cross(rest.right, m.right), rest.up), 0.0f);
    EXPECT_VEC_NEAR(m.up, rest.up, 1e-6f);  // turned about its own Y
    EXPECT_EQ(m.pos, rest.pos);

    // Many frames of turning leave no trace once the wheel is straight again.
    for (int i = 0; i < 2000; ++i) Frame(0.6f * std::sin(float(i) * 0.37f));
    Frame(0.0f);
    EXPECT_VEC_NEAR(m.right, rest.right, 1e-6f);
    EXPECT_VEC_NEAR(m.up, rest.up, 1e-6f);
    EXPECT_VEC_NEAR(m.at, rest.at, 1e-6f);
    EXPECT_EQ(m.pos, rest.pos);
}

TEST_F(SteerIkTest, HandsSitOnTheirRestAndGrabPoints) {
    steer.spinRate = 1.0f;
    steer.doSpinePush = false;
    const float y = 0.5f * runtime.settings().gWristOffsetY;
    const float r = kRimRadius * std::sqrt(0.5f);

    Frame(0.0f);  // straight: each hand at its rest point, up on its own side
    RefreshBoneMatrices(host, ped);
    EXPECT_VEC_NEAR(InverseTransformPoint(Bone(24), Wheel()), Vector3(r, y, r), 0.002f);
    EXPECT_VEC_NEAR(InverseTransformPoint(Bone(34), Wheel()), Vector3(-r, y, r), 0.002f);
    const FrameMatrix& body = *host.VehicleMatrix(vehicle);
    EXPECT_GT(InverseTransformPoint(Bone(24), body).x, InverseTransformPoint(Bone(34), body).x);
    EXPECT_TRUE(steer.appliedThisFrame);
    EXPECT_EQ(rig.nodeOffsets[kRightHandNode], runtime.solver().record(kRightHandNode).lastEnd);
    EXPECT_EQ(rig.nodeOffsets[kLeftHandNode], runtime.solver().record(kLeftHandNode).lastEnd);

    // Turned a full cycle the right hand's way: it holds the backward grab
    // point at the bottom of the rim, turned with the wheel.
    Frame(-100.0f * kDegToRad / 5.0f);
    ASSERT_NEAR(steer.wheelAngle, 100.0f, 1e-3f);
    RefreshBoneMatrices(host, ped);
    EXPECT_VEC_NEAR(InverseTransformPoint(Bone(24), Wheel()), Vector3(0, y, -kRimRadius), 0.002f);
    // The left hand, the other way round, is a third of the way to its
    // forward grab point and lifted off the rim on its way.
    EXPECT_VEC_NEAR(Bone(34), RimTarget(-1.0f), 0.002f);
    EXPECT_GT(InverseTransformPoint(Bone(34), Wheel()).y, y + 0.05f);
}

TEST_F(SteerIkTest, BothHandsReachTheRimThroughFullLockBothWays) {
    steer.spinRate = 1.0f;
    for (bool push : {false, true}) {
        for (bool switching : {true, false}) {
            steer.doSpinePush = push;
            steer.switchHands = switching;
            for (float angle = -0.65f; angle <= 0.651f; angle += 0.05f) {
                Frame(angle);
                RefreshBoneMatrices(host, ped);  // the skeleton's own kinematics
                EXPECT_VEC_NEAR(Bone(24), RimTarget(1.0f), 0.002f)
                    << "steer " << angle << " push " << push << " switch " << switching;
                EXPECT_VEC_NEAR(Bone(34), RimTarget(-1.0f), 0.002f)
                    << "steer " << angle << " push " << push << " switch " << switching;
            }
        }
    }
    ExpectFinitePose("sweep");
}

TEST_F(SteerIkTest, SpinePushLeansTowardsTheWheelAndTurnsTheNeckAboutItsOwnZ) {
    steer.spinRate = 1.0f;
    steer.heightFactor = 0.6f;  // closer than the animated pose sits
    steer.doSpinePush = false;
    Frame(0.0f);
    const Vector3 upperSpine = Bone(4);
    const Vector3 neckAt = host.BoneMatrix(ped, BoneIdToNode(5))->at;
    const Vector3 neckUp = host.BoneMatrix(ped, BoneIdToNode(5))->up;
    const float before = Distance(upperSpine, Wheel().pos);

    steer.doSpinePush = true;
    Frame(0.0f);
    EXPECT_LT(Distance(Bone(4), Wheel().pos), before - 0.1f);
    EXPECT_VEC_NEAR(host.BoneMatrix(ped, BoneIdToNode(5))->at, neckAt, 1e-4f);
    // The spine leans by some 30 degrees; the neck turns back so the head
    // stays as the animation held it.
    EXPECT_VEC_NEAR(host.BoneMatrix(ped, BoneIdToNode(5))->up, neckUp, 1e-3f);

    // A spine node given back to the animation is not pushed.
    rig.nodeWeights[4] = 0.0f;
    Frame(0.0f);
    EXPECT_VEC_NEAR(Bone(4), upperSpine, 1e-5f);
}

TEST_F(SteerIkTest, RigWeightsGiveLimbsBackToTheAnimation) {
    host.AnimatePed(ped);
    std::vector<Quaternion> animated;
    for (NodeIndex n = 0; n < kNodeCount; ++n) animated.push_back(*BoneRotationSlot(host, ped, n));

    rig.nodeWeights[kRightHandNode] = 0.0f;
    Frame(0.3f);
    for (NodeIndex n : {16, 17, 18, 19}) {  // the right arm's joints, wrist and fingers
        EXPECT_EQ(*BoneRotationSlot(host, ped, n), animated[std::size_t(n)]) << n;
    }
    EXPECT_NE(*BoneRotationSlot(host, ped, 10), animated[10]);  // the left arm is posed

    rig.driverBlend = 0.0f;  // the whole driver faded out
    Frame(0.3f);
    for (NodeIndex n = 0; n < kNodeCount; ++n) {
        EXPECT_EQ(*BoneRotationSlot(host, ped, n), animated[std::size_t(n)]) << n;
    }
}

TEST_F(SteerIkTest, DegenerateTunablesNeverReachABone) {
    for (int c = 0; c < 10; ++c) {
        SteerIk fresh{runtime};
        steer.CopyFrom(&fresh);
        steer.grabOffset = {kRimRadius, 0.0f, kRimRadius};
        rig.armLength = ArmReach(host, ped);
        rig.driverBlend = rig.leverBlend = 1.0f;
        rig.nodeWeights.fill(1.0f);
        runtime.settings() = GlobalSettings{};
        switch (c) {
            case 0: steer.cycleAngle = 0.0f; break;
            case 1: steer.grabOffset = {}; break;  // no rim: the bend has no side
            case 2: steer.grabOffset = {1e30f, kInf, kNaN}; break;
            case 3: steer.spinRate = kNaN; steer.spinMult = kInf; break;
            case 4: steer.restAngle = kNaN; steer.grabFwAngle = kInf; break;
            case 5: steer.putAwayMult = kNaN; steer.heightFactor = kNaN; break;
            case 6: runtime.settings().muSpinePush = kInf; break;
            case 7: runtime.settings().gWristOffsetY = kInf; break;
            case 8: rig.armLength = rig.driverBlend = rig.leverBlend = kNaN; break;
            case 9: steer.spinRate = 1.0f; steer.spinMult = 1e30f; break;
        }
        for (float angle : {0.0f, 0.4f, -0.6f, kNaN}) {
            Frame(angle);
            ExpectFinitePose(std::to_string(c).c_str());
        }
    }
}

TEST_F(SteerIkTest, RimMarkersWithDebugLinesAndNoAllocationWithout) {
    host.record = false;
    Frame(0.1f);  // warm up
    {
        test::AllocationCounter allocations;
        for (int i = 0; i < 3; ++i) Frame(0.1f * float(i));
        EXPECT_EQ(allocations.count(), 0u);
    }
    EXPECT_EQ(host.quietCalls, 4);
    EXPECT_TRUE(runtime.debug().quads().empty());

    runtime.debug().enabled = true;
    steer.doSpinePush = true;
    Frame(0.0f);
    int red = 0, blue = 0, green = 0;
    for (const DebugQuad& q : runtime.debug().quads()) {
        const std::uint32_t c = q.colour.Packed();
        red += c == kDebugRed;
        blue += c == kDebugBlue;
        green += c == kDebugGreen;
    }
    // Per hand a rest, a backward and a forward marker, plus the chains:
    // two arms in red, the spine in blue.
    EXPECT_EQ(green, 2 * 6);
    EXPECT_EQ(red, 2 * 6 + 2 * 3 * 6);
    EXPECT_EQ(blue, 2 * 6 + 3 * 6);
    EXPECT_EQ(runtime.debug().segments().size(), 2u * 2u + 2u);
}

// The rim points are kept between frames: every tunable they come from, the
// wrist offset among the settings and a CopyFrom move the hands with them.
TEST_F(SteerIkTest, HandsFollowEveryChangeOfTheRimTunables) {
    steer.spinRate = 1.0f;
    steer.doSpinePush = false;
    const auto expectOnRim = [&](const char* what) {
        for (float angle : {0.0f, -0.3f}) {
            Frame(angle);
            RefreshBoneMatrices(host, ped);
            EXPECT_VEC_NEAR(Bone(24), RimTarget(1.0f), 0.002f) << what << " " << angle;
            EXPECT_VEC_NEAR(Bone(34), RimTarget(-1.0f), 0.002f) << what << " " << angle;
        }
    };
    expectOnRim("defaults");
    steer.grabOffset = {0.15f, 0.02f, 0.17f};
    expectOnRim("grab offset");
    steer.restAngle = 20.0f;
    expectOnRim("rest angle");
    steer.grabBwAngle = 250.0f;
    expectOnRim("backward grab");
    steer.grabFwAngle = 320.0f;
    Frame(0.3f);  // the left hand's turn, towards its forward grab point
    RefreshBoneMatrices(host, ped);
    EXPECT_VEC_NEAR(Bone(34), RimTarget(-1.0f), 0.002f) << "forward grab";
    runtime.settings().gWristOffsetY = -0.16f;
    expectOnRim("wrist offset");
    SteerIk other{runtime};
    other.grabOffset = {0.2f, -0.01f, 0.2f};
    other.restAngle = 60.0f;
    steer.CopyFrom(&other);
    steer.spinRate = 1.0f;
    steer.doSpinePush = false;
    expectOnRim("copied");
}

}  // namespace
}  // namespace kovra
