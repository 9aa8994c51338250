#include <gtest/gtest.h>

#include "kovra/handles/HandleTestSupport.h"
#include "kovra/handles/bike/BarIk.h"
#include "kovra/handles/bike/BikeShiftIk.h"
#include "kovra/handles/bike/PegIk.h"
#include "kovra/handles/bike/SeatJiggle.h"
#include "kovra/handles/car/ClutchPedalIk.h"
#include "kovra/handles/car/GasPedalIk.h"
#include "kovra/handles/car/GearIk.h"
#include "kovra/handles/car/HandBrakeIk.h"
#include "kovra/handles/car/SteerIk.h"

namespace kovra {
namespace {

using WriteConfig = test::HandleTest;

TEST_F(WriteConfig, SteerSection) {
    SteerIk steer(runtime);
    steer.grabOffset = {0.0f, 0.05f, -0.02f};
    steer.switchHands = false;
    steer.spinRate = 0.00001f;
    EXPECT_EQ(steer.WriteConfig(),
              "[SteerIK]\n"
              "GrabOffset = 0, 0.05, -0.02\n"
              "SwitchHands = 0\n"
              "RestAngle = 45\n"
              "CycleAngle = 100\n"
              "GrabFwAngle = 340\n"
              "GrabBwAngle = 270\n"
              "PutAwayMult = 0.1\n"
              "SpinMult = 5\n"
              "SpinRate = 1e-05\n"
              "DoSpinePush = 1\n"
              "HeightFactor = 0.85\n");
}

TEST_F(WriteConfig, GearSectionWithoutPatternBlock) {
    GearIk gear(runtime);
    gear.grabOffset = {0.0f, -0.05f, 0.22f};
    gear.shiftPattern = 7;  // stored as read, written as stored
    EXPECT_EQ(gear.WriteConfig(),
              "[GearIK]\n"
              "GrabOffset = 0, -0.05, 0.22\n"
              "HandAngle = 0, 0, -45\n"
              "RateArm = 0.075\n"
              "ShiftPattern = 7\n");
}

TEST_F(WriteConfig, HandBrakeCarAndBike) {
    HandBrakeIk brake(runtime);
    brake.grabOffset = {0.0f, 0.2125f, 0.03f};
    EXPECT_EQ(brake.WriteConfig(),
              "[HandBrakeIK]\n"
              "GrabOffset = 0, 0.2125, 0.03\n"
              "HandAngle = 90, 30, 0\n"
              "RateArm = 0.075\n"
              "MaxAngle = 30\n"
              "MinAngle = 0\n");
    brake.isBike = 1;
    EXPECT_EQ(brake.WriteConfig(),
              "[HandBrakeIK]\n"
              "GrabOffset = 0, 0.2125, 0.03\n"
              "FootHeight = 0.12\n"
              "FootTurn = 0.1\n"
              "RateArm = 0.075\n");
}

TEST_F(WriteConfig, GasPedalCarAndBike) {
    GasPedalIk gas(runtime);
    gas.grabOffset = {0.0f, -0.06f, -0.144f};
    gas.secondOffset = {0.0f, 1234567.0f, 0.0f};
    gas.endAngles = {-10.0f, 0.0f, 5.5f};
    EXPECT_EQ(gas.WriteConfig(),
              "[GasPedalIK]\n"
              "GasOffset = 0, -0.06, -0.144\n"
              "BrkOffset = 0, 1.23457e+06, 0\n"
              "FootAngle = -10, 0, 5.5\n"
              "BendAngle = 10\n"
              "MaxAngle = 10\n"
              "RateArm = 0.075\n");
    gas.isBike = 1;
    EXPECT_EQ(gas.WriteConfig(),
              "[GasPedalIK]\n"
              "BikeGasAngle = 45\n"
              "BikeBrkAngle = -30\n");
}

TEST_F(WriteConfig, ClutchCarAndBike) {
    ClutchPedalIk clutch(runtime);
    EXPECT_EQ(clutch.WriteConfig(),
              "[ClutchPedalIK]\n"
              "GrabOffset = 0, 0, 0\n"
              "FootAngle = 0, 0, 0\n"
              "BendAngle = -25\n"
              "MaxAngle = 10\n"
              "RateArm = 0.075\n");
    clutch.isBike = 1;
    clutch.maxAngle = 30.0f;
    EXPECT_EQ(clutch.WriteConfig(), "[ClutchPedalIK]\nMaxAngle = 30\n");
}

TEST_F(WriteConfig, BikeSections) {
    BarIk bar(runtime);
    bar.grabOffset = {0.3f, 0.025f, 0.055f};
    EXPECT_EQ(bar.WriteConfig(),
              "[HandlebarIK]\n"
              "GrabOffset = 0.3, 0.025, 0.055\n"
              "BendAngle = -70\n"
              "DoSpinePush = 1\n"
              "HeightFactor = 0.75\n"
              "ArmFactor = 1\n");

    PegIk peg(runtime);
    peg.grabOffset = {0.18f, 0.05f, 0.3f};
    peg.endAngles = {-40.0f, 0.0f, 0.0f};
    EXPECT_EQ(peg.WriteConfig(),
              "[PegIK]\n"
              "GrabOffset = 0.18, 0.05, 0.3\n"
              "FootAngle = -40, 0, 0\n"
              "BendAngle = 70\n");

    BikeShiftIk shift(runtime);
    shift.grabOffset = {0.0f, 0.03f, 0.0f};
    EXPECT_EQ(shift.WriteConfig(),
              "[BikeShiftIK]\n"
              "GrabOffset = 0, 0.03, 0\n"
              "MaxAngle = 30\n"
              "UpShiftHeight = -0.145\n"
              "DownShiftHeight = 0.145\n"
              "FootTurn = -0.1\n"
              "RateArm = 0.075\n");

    SeatJiggle jiggle(runtime);
    jiggle.MaxOffset = {1.0f, 0.35f, 0.8f};
    jiggle.Enable = false;
    EXPECT_EQ(jiggle.WriteConfig(),
              "[SeatJiggle]\n"
              "Enable = 0\n"
              "MaxOffset = 1, 0.35, 0.8\n"
              "Damping = 0.2\n"
              "Stiffnes = 0.2\n"
              "LeanSway = 0.2\n");
}

}  // namespace
}  // namespace kovra
