#include "kovra/handles/bike/SeatJiggle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "BikeTestSupport.h"
#include "TestMath.h"

namespace kovra {
namespace {


class SeatJiggleTest : public test::BikeTest {
protected:
    void SetUp() override {
        Start(sim::MakeMotorbikeModel(461));
        jiggle = rig->seatJiggle;
        ASSERT_NE(jiggle, nullptr);
        ASSERT_GT(rig->armLength, 0.3f);
        jiggle->MaxOffset = {1.0f, 1.0f, 1.0f};
        jiggle->ResetSpring();
    }
    // Steps the spring alone `frames` times, the bike moving at `velocity`
    // (world units per time step).
    void Step(int frames, const Vector3& velocity = {}, float lean = 0.0f) {
        vehicle->state.moveSpeed = velocity;
        vehicle->state.lean = lean;
        for (int i = 0; i < frames; ++i) jiggle->StepSpring();
    }
    // The bike's forward and up axes in the world.
    Vector3 Forward() { return Body().up; }
    Vector3 Up() { return Body().at; }

    SeatJiggle* jiggle = nullptr;
};

TEST_F(SeatJiggleTest, TheRiderLagsTheBikeAndSwaysWithItsLean) {
    Step(1, Forward() * 0.02f);
    EXPECT_LT(jiggle->seatOffset.y, 0.0f) << "left behind as the bike moves forward";
    EXPECT_NEAR(jiggle->seatOffset.x, 0.0f, 1e-7f);
    jiggle->ResetSpring();
    Step(1, Up() * -0.02f);
    EXPECT_GT(jiggle->seatOffset.z, 0.0f) << "lifted as the bike drops";
    jiggle->ResetSpring();
    Step(5, {}, 0.4f);
    EXPECT_LT(jiggle->sway, 0.0f) << "the slow lean lags the fast one";
    EXPECT_LT(jiggle->seatOffset.x, 0.0f);

    // With MaxOffset (1, 0, 1) the rider never moves forwards or backwards.
    jiggle->ResetSpring();
    jiggle->MaxOffset = {1.0f, 0.0f, 1.0f};
    for (int i = 0; i < 100; ++i) Step(1, Forward() * (i % 20 < 10 ? 0.3f : -0.3f), 0.3f);
    EXPECT_EQ(jiggle->seatOffset.y, 0.0f);
    EXPECT_EQ(jiggle->springVelocity.y, 0.0f);
}

TEST_F(SeatJiggleTest, TimeStepsAreKeptBetweenZeroAndOnePointSixSix) {
    const auto after = [&](float dt) {
        jiggle->ResetSpring();
        host.SetTimeStep(dt);
        Step(3, Forward() * 0.05f + Up() * 0.01f, 0.3f);
        return jiggle->seatOffset;
    };
    const Vector3 clamped = after(1.66f);
    EXPECT_FALSE(clamped.IsZero());
    EXPECT_EQ(after(3.0f), clamped);
    EXPECT_NE(after(1.0f), clamped);

    // A negative step (or one that is not a number) counts as none:
    // nothing moves, nothing is lost.
    for (float step : {-1.0f, kNaN}) {
        after(1.0f);
        const Vector3 before = jiggle->seatOffset;
        const Vector3 velocity = jiggle->springVelocity;
        const float slow = jiggle->slowLean;
        host.ForceTimeStep(step);
        Step(5, Forward() * 0.5f, 1.0f);
        host.StopForcing();
        EXPECT_EQ(jiggle->seatOffset, before) << step;
        EXPECT_EQ(jiggle->springVelocity, velocity) << step;
        EXPECT_EQ(jiggle->slowLean, slow) << step;
    }
    host.SetTimeStep(1.0f);
}

TEST_F(SeatJiggleTest, OffTheGroundTheVerticalTargetIsHalfAgainAsLarge) {
    const Vector3 falling = Up() * -0.01f;
    vehicle->state.wheelsOnGround = 4;
    Step(1, falling);
    const float grounded = jiggle->seatOffset.z;
    jiggle->ResetSpring();
    vehicle->state.wheelsOnGround = 0;
    Step(1, falling);
    EXPECT_NEAR(jiggle->seatOffset.z, 1.5f * grounded, 1e-7f);
    // Still limited: falling fast the target is the upper limit.
    jiggle->ResetSpring();
    Step(1, Up() * -10.0f);
    Vector3 lo, hi;
    jiggle->OffsetLimits(rig->armLength, lo, hi);
    EXPECT_NEAR(jiggle->seatOffset.z, hi.z * jiggle->Stiffnes, 1e-6f);
}

// However the bike moves, the rider stays within MaxOffset times half an arm
// on each axis and sinks only a twentieth as far as he rises.
TEST_F(SeatJiggleTest, TheOffsetNeverLeavesItsLimits) {
    jiggle->MaxOffset = {0.5f, 1.0f, 0.8f};
    Vector3 lo, hi;
    jiggle->OffsetLimits(rig->armLength, lo, hi);
    EXPECT_FLOAT_EQ(hi.z, 0.8f * 0.5f * rig->armLength);
    EXPECT_FLOAT_EQ(lo.z, -0.05f * hi.z);
    Vector3 least{1, 1, 1}, most{-1, -1, -1};
    for (int i = 0; i < 400; ++i) {
        const float s = (i / 7) % 2 == 0 ? 1.0f : -1.0f;
        vehicle->state.wheelsOnGround = (i / 30) % 2 == 0 ? 0 : 4;
        Step(1, Body().right * (0.2f * s) + Forward() * (0.3f * s) + Up() * (0.2f * s), s);
        const Vector3 o = jiggle->seatOffset;
        least = {std::min(least.x, o.x), std::min(least.y, o.y), std::min(least.z, o.z)};
        most = {std::max(most.x, o.x), std::max(most.y, o.y), std::max(most.z, o.z)};
    }
    EXPECT_GE(least.x, lo.x);
    EXPECT_GE(least.y, lo.y);
    EXPECT_GE(least.z, lo.z);
    EXPECT_LE(most.x, hi.x);
    EXPECT_LE(most.y, hi.y);
    EXPECT_LE(most.z, hi.z);
    EXPECT_NEAR(least.z, lo.z, 1e-6f) << "the motion was enough to reach the limits";
    EXPECT_NEAR(most.z, hi.z, 1e-6f);

    // However large MaxOffset is, the rider stays within two arm lengths.
    jiggle->MaxOffset = {1e30f, -1e30f, 3.4e38f};
    jiggle->OffsetLimits(rig->armLength, lo, hi);
    EXPECT_FLOAT_EQ(hi.x, 2.0f * rig->armLength);
    EXPECT_FLOAT_EQ(hi.y, 2.0f * rig->armLength);
    EXPECT_FLOAT_EQ(hi.z, 2.0f * rig->armLength);
}

TEST_F(SeatJiggleTest, AStandingBikeSettlesBackToTheSeat) {
    Step(30, Forward() * 0.2f + Up() * 0.05f, 0.5f);
    ASSERT_GT(Length(jiggle->seatOffset), 0.01f);
    int frames = 0;
    while (Length(jiggle->seatOffset) >= 0.001f && frames < 1000) {
        Step(1);
        ++frames;
    }
    EXPECT_LT(frames, 150);
    Step(300);
    EXPECT_LT(Length(jiggle->seatOffset), 1e-5f);
}

TEST_F(SeatJiggleTest, WithoutADriverOrSwitchedOffTheRiderIsBackAtRest) {
    Step(10, Forward() * 0.1f, 0.5f);
    ASSERT_FALSE(jiggle->seatOffset.IsZero());
    jiggle->Enable = false;
    jiggle->StepSpring();
    EXPECT_TRUE(jiggle->seatOffset.IsZero());
    EXPECT_EQ(jiggle->fastLean, 0.0f);
    jiggle->Enable = true;

    Step(10, Forward() * 0.1f, 0.5f);
    host.UnseatPed(ped);
    jiggle->StepSpring();
    EXPECT_TRUE(jiggle->seatOffset.IsZero());
    EXPECT_TRUE(jiggle->springVelocity.IsZero());
}

TEST_F(SeatJiggleTest, OnlyTwoWheelersMove) {
    sim::VehicleModel car = sim::MakeSedanModel(400);
    ASSERT_TRUE(host.AddVehicleModel(car));
    CVehicle* sedan = host.CreateVehicle(400);
    CPed* driver = host.CreatePed();
    ASSERT_TRUE(host.SeatPed(driver, sedan, true));
    Step(5, Forward() * 0.1f, 0.5f);
    const Vector3 offset = jiggle->seatOffset;
    jiggle->vehicle = sedan;
    jiggle->StepSpring();
    EXPECT_EQ(jiggle->seatOffset, offset) << "stopped without a reset";
    jiggle->vehicle = vehicle;
}

// The seat placement carries the whole rider by the offset the last spring
// step left, and the model's seat is as it was afterwards.
TEST_F(SeatJiggleTest, TheSeatPlacementCarriesTheRider) {
    const Vector3 seat = host.ModelFrontSeat(461);
    vehicle->state.moveSpeed = Forward() * 0.05f;
    vehicle->state.lean = 0.4f;
    for (int i = 0; i < 8; ++i) {
        const Vector3 offset = jiggle->seatOffset;
        Frame();
        EXPECT_VEC_NEAR(host.PedMatrix(ped)->pos, TransformPoint(seat + offset, vehicle->matrix), 1e-5f)
            << "frame " << i;
        EXPECT_EQ(host.ModelFrontSeat(461), seat);
    }
    EXPECT_GT(Length(jiggle->seatOffset), 0.001f);
    jiggle->Enable = false;
    Frame();
    EXPECT_VEC_NEAR(host.PedMatrix(ped)->pos, TransformPoint(seat, vehicle->matrix), 1e-6f);
}

TEST_F(SeatJiggleTest, DegenerateTunablesAndHostValuesKeepTheOffsetFinite) {
    SeatJiggle defaults{runtime};
    defaults.CopyFrom(jiggle);
    for (int c = 0; c < 9; ++c) {
        jiggle->CopyFrom(&defaults);
        jiggle->ResetSpring();
        Vector3 velocity = Forward() * 0.1f;
        float lean = 0.3f;
        if (c == 0) jiggle->Stiffnes = 1e30f;
        if (c == 1) jiggle->Damping = kNaN;
        if (c == 2) jiggle->LeanSway = -1e30f;
        if (c == 3) jiggle->MaxOffset = {kInf, kNaN, -1e30f};
        if (c == 4) jiggle->Damping = -5.0f;  // a spring that feeds itself
        if (c == 5) velocity = {kNaN, kInf, 1e30f};
        if (c == 6) lean = kNaN;
        if (c == 7) host.ForceTimeStep(kInf);
        if (c == 8) rig->armLength = kNaN;
        for (int i = 0; i < 50; ++i) {
            Step(1, velocity, lean);
            ASSERT_TRUE(IsFinite(jiggle->seatOffset)) << "case " << c << " step " << i;
            ASSERT_TRUE(IsFinite(jiggle->springVelocity) && IsFinite(jiggle->sway)) << c;
        }
        host.StopForcing();
        Frame();
        ExpectFinitePose("case " + std::to_string(c));
        ASSERT_TRUE(IsFinite(*host.PedMatrix(ped))) << c;
    }
}

}  // namespace
}  // namespace kovra
