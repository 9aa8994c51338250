#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "TestMath.h"
#include "SimTestSupport.h"
#include "kovra/handles/car/GearIk.h"
#include "kovra/handles/car/HandBrakeIk.h"
#include "kovra/host/Runtime.h"
#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/EaseCurve.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"
#include "sim/SimHost.h"

namespace kovra {
namespace {

constexpr int kHoldKey = 51;  // the default HoldHandKey, "3"

// Every limb solve of a frame, as the solver reports it.
class EverySolve : public SolveListener {
public:
    void OnLimbSolved(const LimbSolve& solve) override { solves.push_back(solve); }
    std::vector<LimbSolve> solves;
};

// The stick's blend after k frames of a leg, cubed: how far the leg has got.
float LegProgress(int k) {
    const float blend = std::min(static_cast<float>(k) * 0.075f * 1.25f, 1.0f);
    return blend * blend * blend;
}

// The pattern's angles turned onto the stick's rest mounting, worked out
// independently of the handle.
FrameMatrix StickPose(const FrameMatrix& rest, const Vector3& a) {
    FrameMatrix turn;
    RotateFrame(turn, AxisX, a.x, Combine::Replace);
    RotateFrame(turn, AxisY, a.y, Combine::Local);
    RotateFrame(turn, AxisZ, a.z, Combine::Local);
    FrameMatrix pose = Multiply(turn, rest);
    pose.pos = rest.pos;
    return pose;
}

// One gear handle worked frame by frame against a driver in the sedan, with
// the rig's simulated gear set by the test.
class GearIkUpdateTest : public ::testing::Test {
protected:
    // Degrees (X, Y, Z) the stick is mounted at in the model; zero for the
    // sedan's upright stick.
    virtual Vector3 StickMounting() const { return {}; }
    virtual bool FrontSeatXNegative() const { return false; }

    void SetUp() override {
        sim::VehicleModel model = sim::MakeSedanModel(400);
        const int stickIndex = model.FindFrame("ik_gear_stick");
        ASSERT_GE(stickIndex, 0);
        const Vector3 mount = StickMounting();
        FrameMatrix& m = model.frames[static_cast<std::size_t>(stickIndex)].modelling;
        RotateFrame(m, AxisX, mount.x, Combine::Local);
        RotateFrame(m, AxisY, mount.y, Combine::Local);
        RotateFrame(m, AxisZ, mount.z, Combine::Local);
        ASSERT_TRUE(host.AddVehicleModel(model));

        test::SeatDriverInTurnedVehicle(host, 400, vehicle, ped);
        host.SetTimeStep(1.0f);

        rig.vehicle = vehicle;
        rig.frontSeatXNegative = FrontSeatXNegative();
        gear.rig = &rig;
        gear.vehicle = vehicle;
        gear.ped = ped;
        gear.type = KindCode(HandleKind::Gear);
        ASSERT_TRUE(gear.FindFrames());
        rest = gear.frameA.restMatrix;
        runtime.solver().setSolveListener(&log);
    }

    void TearDown() override { runtime.solver().setSolveListener(nullptr); }

    // One frame: keyboard, the game's animation, then the handle.
    void Frame() {
        runtime.input().keyboard.Snapshot(host);
        host.AnimatePed(ped);
        log.solves.clear();
        rig.leverHandBusy = false;
        weightBefore = gear.weight;
        const int updates = host.frameUpdates;
        gear.Update();
        stickMoved = host.frameUpdates != updates;
        if (gear.frameA.frame != nullptr) ExpectStickOnItsPose();
    }

    // The stick frame holds its rest mounting turned by the angles last
    // applied, and its position row was never touched.
    void ExpectStickOnItsPose() {
        const FrameMatrix& now = Stick();
        const FrameMatrix expected = StickPose(rest, gear.stickAngles);
        EXPECT_VEC_NEAR(now.right, expected.right, 1e-5f);
        EXPECT_VEC_NEAR(now.up, expected.up, 1e-5f);
        EXPECT_VEC_NEAR(now.at, expected.at, 1e-5f);
        EXPECT_EQ(now.pos, rest.pos);
    }

    // Sets the simulated gear and plays frames until the stick has arrived
    // and the hand has let go again. Returns the stick's angles of every
    // frame it moved.
    std::vector<Vector3> Shift(int audioGear, int maxFrames = 400) {
        rig.audioGear = audioGear;
        std::vector<Vector3> legs;
        bool started = false;
        for (int i = 0; i < maxFrames; ++i) {
            Frame();
            if (stickMoved) {
                EXPECT_EQ(weightBefore, 1.0f) << "the stick moves only with the hand on it";
                legs.push_back(gear.stickAngles);
            }
            started = started || gear.shifting;
            if (started && !gear.shifting && gear.weight <= 0.0f) return legs;
        }
        ADD_FAILURE() << "no arrival within " << maxFrames << " frames";
        return legs;
    }

    const FrameMatrix& Stick() { return *host.FrameModelling(gear.frameA.frame); }
    Vector3 Contact() { return TransformPoint(gear.grabOffset, *host.FrameWorld(gear.frameA.frame)); }

    sim::SimHost host;
    Runtime runtime{host};
    CVehicle* vehicle = nullptr;
    CPed* ped = nullptr;
    CabinIk rig{runtime, nullptr};
    GearIk gear{runtime};
    FrameMatrix rest;
    EverySolve log;
    float weightBefore = 0.0f;
    bool stickMoved = false;
};

TEST_F(GearIkUpdateTest, DirectPairIsOneStraightLeg) {
    Shift(1);
    ASSERT_EQ(gear.handGear, 1);
    EXPECT_VEC_NEAR(gear.stickAngles, Vector3(-15, -15, 0), 1e-4f);

    const std::vector<Vector3> legs = Shift(2);
    ASSERT_EQ(legs.size(), 11u);  // 11 frames at 1.25 times the hand's rate
    for (std::size_t k = 0; k < legs.size(); ++k) {
        const float o = LegProgress(static_cast<int>(k) + 1);
        EXPECT_VEC_NEAR(legs[k], Vector3(-15.0f + 30.0f * o, -15.0f, 0.0f), 1e-3f) << k;
    }
    EXPECT_EQ(gear.handGear, 2);
    EXPECT_EQ(gear.targetGear, 2);
    EXPECT_EQ(gear.currentEntry, &gear.pattern[2]);
    EXPECT_EQ(gear.pattern[2].state, 1);
    EXPECT_FALSE(gear.shifting);
}

TEST_F(GearIkUpdateTest, FromNeutralIntoAGearIsPreStageThenFinal) {
    const std::vector<Vector3> legs = Shift(1);
    ASSERT_EQ(legs.size(), 22u);
    for (int k = 0; k < 11; ++k) {
        EXPECT_VEC_NEAR(legs[k], Vector3(0.0f, -15.0f * LegProgress(k + 1), 0.0f), 1e-3f) << k;
        EXPECT_VEC_NEAR(legs[11 + k], Vector3(-15.0f * LegProgress(k + 1), -15.0f, 0.0f), 1e-3f) << k;
    }
}

TEST_F(GearIkUpdateTest, AcrossGatesThreeLegsThenTheFinalStage) {
    Shift(1);
    Shift(2);
    const std::vector<Vector3> legs = Shift(3);
    // 2's final to 2's pre, 2's pre to neutral, neutral to 3's pre (the same
    // stage as neutral: one frame), then 3's pre to its final.
    ASSERT_EQ(legs.size(), 11u + 11u + 1u + 11u);
    for (int k = 0; k < 11; ++k) {
        const float o = LegProgress(k + 1);
        EXPECT_VEC_NEAR(legs[k], Vector3(15.0f * (1.0f - o), -15.0f, 0.0f), 1e-3f) << k;
        EXPECT_VEC_NEAR(legs[11 + k], Vector3(0.0f, -15.0f * (1.0f - o), 0.0f), 1e-3f) << k;
        EXPECT_VEC_NEAR(legs[23 + k], Vector3(-15.0f * o, 0.0f, 0.0f), 1e-3f) << k;
    }
    EXPECT_VEC_NEAR(legs[22], Vector3(), 1e-4f);
    EXPECT_EQ(gear.handGear, 3);
}

TEST_F(GearIkUpdateTest, LeavingAGearWhosePreStageIsNeutralSkipsThatLeg) {
    Shift(3);
    EXPECT_VEC_NEAR(gear.stickAngles, Vector3(-15, 0, 0), 1e-4f);
    const std::vector<Vector3> legs = Shift(5);
    // Out of 3, its pre stage to neutral at once, to 5's pre, into 5.
    ASSERT_EQ(legs.size(), 11u + 1u + 11u + 11u);
    EXPECT_VEC_NEAR(legs[10], Vector3(), 1e-4f);
    EXPECT_VEC_NEAR(legs[11], Vector3(), 1e-4f);
    EXPECT_VEC_NEAR(legs[22], Vector3(0, 15, 0), 1e-4f);
    EXPECT_VEC_NEAR(legs.back(), Vector3(-15, 15, 0), 1e-4f);
    EXPECT_EQ(gear.handGear, 5);
}

TEST_F(GearIkUpdateTest, GearZeroSelectsReverse) {
    Shift(0);
    EXPECT_EQ(gear.handGear, 6);
    EXPECT_VEC_NEAR(gear.stickAngles, Vector3(15, 15, 0), 1e-4f);
    // Nothing more to do while the gear stays at 0.
    for (int i = 0; i < 30; ++i) Frame();
    EXPECT_FALSE(gear.shifting);
    EXPECT_EQ(gear.weight, 0.0f);
}

TEST_F(GearIkUpdateTest, AutoShowsPositionOneForwardAndTwoOtherwise) {
    gear.SetPattern(3);
    Shift(3);
    EXPECT_EQ(gear.handGear, 1);
    EXPECT_VEC_NEAR(gear.stickAngles, Vector3(-15, 0, 0), 1e-4f);
    rig.audioGear = 4;  // another forward gear: nothing to do
    for (int i = 0; i < 30; ++i) Frame();
    EXPECT_FALSE(gear.shifting);
    EXPECT_EQ(gear.weight, 0.0f);

    const std::vector<Vector3> legs = Shift(0);
    EXPECT_EQ(gear.handGear, 2);
    EXPECT_EQ(legs.size(), 11u);  // 1 and 2 share the gate column
    EXPECT_VEC_NEAR(gear.stickAngles, Vector3(15, 0, 0), 1e-4f);

    // Second gear is a forward gear too: the stick shows position 1.
    Shift(2);
    EXPECT_EQ(gear.handGear, 1);
}

TEST_F(GearIkUpdateTest, SequentialLeverGoesOutAndSpringsBack) {
    gear.SetPattern(4);
    std::vector<Vector3> legs = Shift(1);
    EXPECT_EQ(gear.handGear, 1);
    EXPECT_EQ(gear.pattern[0].state, 2);
    EXPECT_EQ(gear.seqProgress, 0.0f);
    // 14 frames out at rateArm, 14 back.
    ASSERT_EQ(legs.size(), 28u);
    for (std::size_t k = 0; k < legs.size(); ++k) {
        EXPECT_GE(legs[k].x, -1e-4f) << k;
        EXPECT_LE(legs[k].x, 15.0f + 1e-4f) << k;
        EXPECT_NEAR(legs[k].y, 0.0f, 1e-5f);
        if (k > 0 && k < 14) {
            EXPECT_GT(legs[k].x, legs[k - 1].x) << k;
        }
        if (k > 14) {
            EXPECT_LT(legs[k].x, legs[k - 1].x) << k;
        }
    }
    EXPECT_NEAR(legs[13].x, 15.0f, 1e-4f);  // pushed all the way
    // Eased out from the stop at a finite speed: the first step is twice
    // the linear one less its square.
    EXPECT_NEAR(legs[0].x, 15.0f * (2.0f - 0.075f) * 0.075f, 1e-3f);
    EXPECT_VEC_NEAR(legs.back(), Vector3(), 1e-6f);

    legs = Shift(0);  // down: pulled the other way
    EXPECT_EQ(gear.handGear, 0);
    ASSERT_EQ(legs.size(), 28u);
    EXPECT_NEAR(legs[13].x, -15.0f, 1e-4f);
    for (const Vector3& a : legs) EXPECT_LE(a.x, 1e-4f);
    EXPECT_VEC_NEAR(legs.back(), Vector3(), 1e-6f);
}

TEST_F(GearIkUpdateTest, SequentialHandStaysOnUntilTheLeverIsBack) {
    gear.SetPattern(4);
    rig.audioGear = 2;
    int leverFrames = 0;
    for (int i = 0; i < 100 && gear.handGear != 2; ++i) {
        Frame();
        if (stickMoved) ++leverFrames;
        // The hand stays on while the lever is out and springing back.
        if (gear.shifting && gear.pattern[0].state == 3) {
            EXPECT_EQ(gear.weight, 1.0f) << i;
        }
    }
    EXPECT_EQ(gear.handGear, 2);
    EXPECT_EQ(leverFrames, 28);
}

TEST_F(GearIkUpdateTest, UnknownPatternNumberChangesNothing) {
    Shift(1);
    gear.SetPattern(5);
    EXPECT_EQ(gear.shiftPattern, 0);
    EXPECT_EQ(gear.directPairs.size(), 4u);
    EXPECT_EQ(gear.handGear, 1);
    EXPECT_EQ(gear.currentEntry, &gear.pattern[1]);
    EXPECT_EQ(Shift(2).size(), 11u);  // still "VW": a direct pair

    // Read from a file, the number is kept and the stick works as an H
    // pattern with the table it has.
    gear.shiftPattern = 5;
    Shift(4);
    EXPECT_EQ(gear.handGear, 4);
    EXPECT_VEC_NEAR(gear.stickAngles, Vector3(15, 0, 0), 1e-4f);
    EXPECT_STREQ(GearIk::PatternName(gear.shiftPattern), "Unknown");
}

TEST_F(GearIkUpdateTest, HoldHandKeyToggles) {
    Shift(1);
    host.SetKeyDown(kHoldKey, true);
    Frame();
    EXPECT_TRUE(gear.holdHand);
    Frame();  // still down: no second toggle
    EXPECT_TRUE(gear.holdHand);
    host.SetKeyDown(kHoldKey, false);
    for (int i = 0; i < 40; ++i) Frame();
    EXPECT_TRUE(gear.holdHand);
    EXPECT_EQ(gear.weight, 1.0f);  // the hand rests on the stick

    // A held hand shifts at once and stays on after the arrival.
    rig.audioGear = 2;
    Frame();
    EXPECT_TRUE(gear.shifting);
    EXPECT_TRUE(stickMoved);
    for (int i = 0; i < 40; ++i) {
        Frame();
        EXPECT_EQ(gear.weight, 1.0f);
    }
    EXPECT_EQ(gear.handGear, 2);

    host.SetKeyDown(kHoldKey, true);
    Frame();
    EXPECT_FALSE(gear.holdHand);
    host.SetKeyDown(kHoldKey, false);
    for (int i = 0; i < 14; ++i) Frame();
    EXPECT_EQ(gear.weight, 0.0f);
    EXPECT_TRUE(log.solves.empty());
}

TEST_F(GearIkUpdateTest, HandReachesTheStickAndTakesItsAngle) {
    rig.audioGear = 1;
    int onStick = 0;
    int turned = 0;
    for (int i = 0; i < 60; ++i) {
        Frame();
        if (gear.weight <= 0.0f) {
            EXPECT_TRUE(log.solves.empty());
            EXPECT_FALSE(rig.leverHandBusy);
            continue;
        }
        EXPECT_TRUE(rig.leverHandBusy);
        EXPECT_FALSE(gear.appliedThisFrame);
        ASSERT_EQ(log.solves.size(), 1u);
        const LimbSolve& solve = log.solves[0];
        EXPECT_EQ(solve.endNode, kRightHandNode);  // the sedan's stick is on the driver's right
        EXPECT_NEAR(solve.weight, EaseInOutQuad(gear.weight), 1e-6f);
        EXPECT_EQ(rig.nodeOffsets[kRightHandNode], runtime.solver().record(kRightHandNode).lastEnd);
        if (gear.weight < 1.0f || !solve.reached) continue;

        ++onStick;
        EXPECT_VEC_NEAR(solve.target, Contact(), 1e-5f);
        RefreshBoneMatrices(host, ped);
        Vector3 wrist;
        ASSERT_TRUE(BonePosition(host, ped, NodeToBoneId(kRightHandNode), wrist));
        EXPECT_VEC_NEAR(wrist, Contact(), 0.002f) << "frame " << i;
        // The hand's own turn lags the arm a little on the way in.
        if (gear.handTurn < 1.0f) continue;
        ++turned;
        EXPECT_QUAT_NEAR(*BoneRotationSlot(host, ped, kRightHandNode), AxisAngle(AxisZ, -45.0f), 1e-5f);
    }
    EXPECT_GE(onStick, 20);
    EXPECT_GE(turned, onStick - 10);
}

TEST_F(GearIkUpdateTest, HandStartsFromWhereItWasAndFollowsTheVehicle) {
    rig.audioGear = 1;
    Frame();
    ASSERT_GT(gear.weight, 0.0f);
    host.AnimatePed(ped);
    Vector3 wrist;
    ASSERT_TRUE(BonePosition(host, ped, NodeToBoneId(kRightHandNode), wrist));
    EXPECT_VEC_NEAR(gear.startWorld, wrist, 1e-5f);
    // A third of the way in, the target is a third of the way along.
    for (int i = 0; i < 4; ++i) Frame();
    const float w = gear.weight;
    ASSERT_GT(w, 0.3f);
    ASSERT_LT(w, 0.4f);
    EXPECT_VEC_NEAR(log.solves.at(0).target, Contact() * w + gear.StartPointNow() * (1.0f - w), 1e-5f);
}

TEST_F(GearIkUpdateTest, RigWeightsScaleTheHandAndHoldTheStick) {
    rig.driverBlend = 0.5f;
    rig.audioGear = 1;
    for (int i = 0; i < 60; ++i) {
        Frame();
        EXPECT_LE(gear.weight, 0.5f);
        EXPECT_FALSE(stickMoved);  // the stick waits for the whole hand
    }
    EXPECT_TRUE(gear.shifting);
    EXPECT_EQ(gear.handGear, 0);

    rig.driverBlend = 1.0f;
    rig.nodeWeights[kRightHandNode] = 0.0f;  // the hand belongs to an animation
    Frame();
    EXPECT_EQ(gear.weight, 0.0f);
    EXPECT_TRUE(log.solves.empty());
    rig.nodeWeights[kRightHandNode] = 1.0f;
    Shift(1);
    EXPECT_EQ(gear.handGear, 1);
}

TEST_F(GearIkUpdateTest, WithoutTheStickFrameNothingIsPosed) {
    gear.frameA.found = false;
    gear.frameA.frame = nullptr;
    rig.audioGear = 1;
    const int updates = host.frameUpdates;
    for (int i = 0; i < 30; ++i) Frame();
    EXPECT_EQ(gear.weight, 0.0f);
    EXPECT_FALSE(rig.leverHandBusy);
    EXPECT_EQ(host.frameUpdates, updates);
}

class GearIkLeftHandTest : public GearIkUpdateTest {
protected:
    bool FrontSeatXNegative() const override { return true; }
};

TEST_F(GearIkLeftHandTest, RightHandDriveUsesTheLeftHand) {
    rig.audioGear = 1;
    bool solved = false;
    for (int i = 0; i < 20; ++i) {
        Frame();
        for (const LimbSolve& solve : log.solves) {
            EXPECT_EQ(solve.endNode, kLeftHandNode);
            solved = true;
        }
    }
    EXPECT_TRUE(solved);
    EXPECT_TRUE(rig.nodeOffsets[kRightHandNode].IsZero());
    EXPECT_FALSE(rig.nodeOffsets[kLeftHandNode].IsZero());
}

// A stick mounted at an angle in the model keeps its mounting: the pattern
// turns it in its own space, and neutral is its rest pose again.
class GearIkTiltedStickTest : public GearIkUpdateTest {
protected:
    Vector3 StickMounting() const override { return {20.0f, -10.0f, 35.0f}; }
};

TEST_F(GearIkTiltedStickTest, BackAtRestAfterShiftsWithoutDrift) {
    ASSERT_GT(std::fabs(rest.up.x), 0.1f);  // really not axis-aligned
    for (int g : {1, 2, 3, 5, 0, 4, 1, 2}) Shift(g);  // every frame checks the pose
    gear.SetGear(0);
    for (int i = 0; i < 200 && gear.handGear != 0; ++i) Frame();
    ASSERT_EQ(gear.handGear, 0);
    EXPECT_VEC_NEAR(gear.stickAngles, Vector3(), 1e-5f);
    EXPECT_VEC_NEAR(Stick().right, rest.right, 1e-5f);
    EXPECT_VEC_NEAR(Stick().up, rest.up, 1e-5f);
    EXPECT_VEC_NEAR(Stick().at, rest.at, 1e-5f);
    EXPECT_EQ(Stick().pos, rest.pos);
}

TEST_F(GearIkTiltedStickTest, SequentialLeverReturnsToRest) {
    gear.SetPattern(4);
    for (int g : {1, 2, 3, 2}) {
        Shift(g);
        EXPECT_VEC_NEAR(Stick().right, rest.right, 1e-5f) << g;
        EXPECT_VEC_NEAR(Stick().up, rest.up, 1e-5f) << g;
        EXPECT_VEC_NEAR(Stick().at, rest.at, 1e-5f) << g;
    }
}

// ---- in the game: the rig's dispatch and the simulated gear --------------------

// A hand brake that pulls its lever while the host's hand-brake flag is set
// and notes whether it ever ran while the gear hand was on the stick.
class SpyHandBrake : public HandBrakeIk {
public:
    using HandBrakeIk::HandBrakeIk;
    void Update() override {
        ++updates;
        if (rig->HandleWeight(HandleKind::Gear) > 0.0f) ++updatesWithGearEngaged;
        StepWeight(host().ReadVehicleState(vehicle).handBrake);
    }
    int updates = 0;
    int updatesWithGearEngaged = 0;
};

class GearInTheGameTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.AddVehicleModel(sim::MakeSedanModel(400)));
        host.StartGame();
        car = host.CreateVehicle(400);
        driver = host.CreatePed();
        ASSERT_TRUE(host.SeatPed(driver, car, true));
        ASSERT_TRUE(host.SetPlayer(driver));
        car->state.gear = 1;
        car->state.gasPedal = 1.0f;  // the engine under load: no fall back
        for (int i = 0; i < 11; ++i) host.RunFrame();
        rig = runtime.rigs().RigOf(car);
        ASSERT_NE(rig, nullptr);
        ASSERT_TRUE(rig->built);
        ASSERT_NE(rig->gearIk, nullptr);
        ASSERT_NE(rig->handBrakeIk, nullptr);

        // Swap the hand brake for the spy, with the same settings and frame.
        auto spy = std::make_unique<SpyHandBrake>(runtime);
        spy->CopyFrom(rig->handBrakeIk);
        spy->rig = rig;
        spy->vehicle = car;
        spy->frameA = rig->handBrakeIk->frameA;
        spy->frameA.owner = spy.get();
        brake = spy.get();
        for (auto& handle : rig->handles) {
            if (handle.get() == rig->handBrakeIk) handle = std::move(spy);
        }
        rig->handBrakeIk = brake;
    }

    // One game frame, checking that the lever hands never overlap.
    void Frame() {
        const float brakeBefore = brake->weight;
        const float gearBefore = rig->gearIk->weight;
        const int brakeUpdates = brake->updates;
        host.RunFrame();
        if (brakeBefore > 0.0f) {
            EXPECT_EQ(rig->gearIk->weight, gearBefore) << "gear updated beside the hand brake";
        }
        if (rig->gearIk->weight > 0.0f) {
            EXPECT_EQ(brake->updates, brakeUpdates);
        }
        EXPECT_EQ(brake->updatesWithGearEngaged, 0);
    }

    sim::SimHost host;
    Runtime runtime{host};
    CVehicle* car = nullptr;
    CPed* driver = nullptr;
    CabinIk* rig = nullptr;
    SpyHandBrake* brake = nullptr;
};

TEST_F(GearInTheGameTest, GearAndHandBrakeNeverShareTheHand) {
    for (int i = 0; i < 80; ++i) Frame();  // into first gear and the hand back
    EXPECT_EQ(rig->audioGear, 1);
    EXPECT_EQ(rig->gearIk->handGear, 1);
    EXPECT_EQ(rig->gearIk->weight, 0.0f);

    car->state.handBrake = true;
    for (int i = 0; i < 20; ++i) Frame();
    EXPECT_EQ(brake->weight, 1.0f);

    car->state.gear = 2;  // the engine sound changes gear; the hand is busy
    for (int i = 0; i < 20; ++i) Frame();
    EXPECT_EQ(rig->audioGear, 2);
    EXPECT_EQ(rig->gearIk->weight, 0.0f);
    EXPECT_EQ(rig->gearIk->handGear, 1);

    car->state.handBrake = false;  // let go: the gear hand takes over
    bool gearEngaged = false;
    for (int i = 0; i < 20; ++i) {
        Frame();
        gearEngaged = gearEngaged || rig->gearIk->weight > 0.0f;
    }
    EXPECT_TRUE(gearEngaged);
    EXPECT_EQ(brake->weight, 0.0f);

    car->state.handBrake = true;  // pulled while the hand is on the stick
    for (int i = 0; i < 100 && rig->gearIk->weight > 0.0f; ++i) {
        Frame();
        if (rig->gearIk->weight > 0.0f) {
            EXPECT_EQ(brake->weight, 0.0f) << "the hand brake waits";
        }
    }
    EXPECT_EQ(rig->gearIk->handGear, 2);
    for (int i = 0; i < 5; ++i) Frame();
    EXPECT_GT(brake->weight, 0.0f);
}

TEST_F(GearInTheGameTest, StickFollowsTheEngineSoundUpTheGears) {
    for (int g = 2; g <= 5; ++g) {
        car->state.gear = g;
        for (int i = 0; i < 120; ++i) Frame();
        EXPECT_EQ(rig->audioGear, g);
        EXPECT_EQ(rig->gearIk->handGear, g);
    }
    car->state.gear = 0;  // reverse: the H pattern's position 6
    for (int i = 0; i < 120; ++i) Frame();
    EXPECT_EQ(rig->audioGear, 6);
    EXPECT_EQ(rig->gearIk->handGear, 6);
}

}  // namespace
}  // namespace kovra
