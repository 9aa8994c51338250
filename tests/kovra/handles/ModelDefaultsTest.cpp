#include <gtest/gtest.h>

#include "kovra/handles/HandleTestSupport.h"
#include "kovra/handles/bike/BarIk.h"
#include "kovra/handles/bike/PegIk.h"
#include "kovra/handles/bike/SeatJiggle.h"
#include "kovra/handles/car/ClutchPedalIk.h"
#include "kovra/handles/car/GasPedalIk.h"

namespace kovra {
namespace {

using ModelDefaults = test::HandleTest;

TEST_F(ModelDefaults, HandlebarPostureByAnimGroup) {
    struct Row {
        int group;
        float height, bend, arm;
    };
    // Unchanged values keep the template's 0.75 / -70 / 1.
    const Row rows[] = {{4, 0.6f, -35, 1},   {8, 0.6f, -35, 1},    {5, 0.75f, -25, 1},
                        {6, 0.7f, -30, 1},   {9, 1.0f, -40, 1.3f}, {10, 1.0f, -40, 1},
                        {11, 0.8f, -25, 1.18f}, {7, 0.8f, -70, 1}, {0, 0.8f, -70, 1}};
    int modelId = 500;
    for (const Row& row : rows) {
        BarIk bar(runtime);
        bar.vehicle = MakeVehicle(kVehicleTypeMotorbike, row.group, modelId++);
        ASSERT_NE(bar.vehicle, nullptr);
        bar.ApplyModelDefaults();
        EXPECT_EQ(bar.heightFactor, row.height) << "group " << row.group;
        EXPECT_EQ(bar.bendAngle, row.bend) << "group " << row.group;
        EXPECT_EQ(bar.armFactor, row.arm) << "group " << row.group;
    }
}

TEST_F(ModelDefaults, PegsByAnimGroup) {
    PegIk peg(runtime);
    peg.bendAngle = 12.0f;
    peg.vehicle = MakeVehicle(kVehicleTypeMotorbike, 4, 500);
    peg.ApplyModelDefaults();
    EXPECT_EQ(peg.endAngles, Vector3(-40, 0, 0));
    EXPECT_EQ(peg.bendAngle, 12.0f);  // group 4 keeps the template's bend

    PegIk peg5(runtime);
    peg5.vehicle = MakeVehicle(kVehicleTypeMotorbike, 5, 501);
    peg5.ApplyModelDefaults();
    EXPECT_EQ(peg5.bendAngle, 85.0f);
    EXPECT_TRUE(peg5.endAngles.IsZero());

    PegIk peg1(runtime);
    peg1.bendAngle = 0.0f;
    peg1.vehicle = MakeVehicle(kVehicleTypeMotorbike, 1, 502);
    peg1.ApplyModelDefaults();
    EXPECT_EQ(peg1.bendAngle, 70.0f);
}

TEST_F(ModelDefaults, SeatJiggleByAnimGroup) {
    SeatJiggle chopper(runtime);
    chopper.Damping = 0.9f;
    chopper.vehicle = MakeVehicle(kVehicleTypeMotorbike, 7, 500);
    chopper.ApplyModelDefaults();
    EXPECT_EQ(chopper.MaxOffset, Vector3(1.0f, 0.35f, 0.8f));
    EXPECT_EQ(chopper.LeanSway, 0.35f);
    EXPECT_EQ(chopper.Damping, 0.9f);

    SeatJiggle sport(runtime);
    sport.Damping = 0.9f;
    sport.Stiffnes = 0.9f;
    sport.vehicle = MakeVehicle(kVehicleTypeMotorbike, 1, 501);
    sport.ApplyModelDefaults();
    EXPECT_EQ(sport.MaxOffset, Vector3(1.0f, 0.0f, 1.0f));
    EXPECT_EQ(sport.LeanSway, 0.5f);
    EXPECT_EQ(sport.Damping, 0.2f);
    EXPECT_EQ(sport.Stiffnes, 0.2f);

    // The on-switch follows the global setting even without a vehicle.
    SeatJiggle loose(runtime);
    runtime.settings().useSeatJiggle = false;
    loose.ApplyModelDefaults();
    EXPECT_FALSE(loose.Enable);
    EXPECT_EQ(loose.MaxOffset, Vector3(1, 1, 1));
}

TEST_F(ModelDefaults, ClutchLeverOnMotorbikesOnly) {
    ClutchPedalIk motorbike(runtime);
    motorbike.vehicle = MakeVehicle(kVehicleTypeMotorbike, 1, 500);
    motorbike.ApplyModelDefaults();
    EXPECT_EQ(motorbike.maxAngle, 30.0f);

    ClutchPedalIk bicycle(runtime);
    bicycle.vehicle = MakeVehicle(kVehicleTypeBicycle, 1, 501);
    bicycle.ApplyModelDefaults();
    EXPECT_EQ(bicycle.maxAngle, 10.0f);

    ClutchPedalIk car(runtime);
    car.vehicle = MakeVehicle(kVehicleTypeCar, 0, 502);
    car.ApplyModelDefaults();
    EXPECT_EQ(car.maxAngle, 10.0f);
}

TEST_F(ModelDefaults, NothingWithoutAVehicleOrForOtherClasses) {
    BarIk bar(runtime);
    PegIk peg(runtime);
    ClutchPedalIk clutch(runtime);
    bar.ApplyModelDefaults();
    peg.ApplyModelDefaults();
    clutch.ApplyModelDefaults();
    EXPECT_EQ(bar.heightFactor, 0.75f);
    EXPECT_EQ(peg.bendAngle, 70.0f);
    EXPECT_EQ(clutch.maxAngle, 10.0f);

    GasPedalIk gas(runtime);
    gas.vehicle = MakeVehicle(kVehicleTypeMotorbike, 9, 500);
    const std::string before = gas.WriteConfig();
    gas.ApplyModelDefaults();
    EXPECT_EQ(gas.WriteConfig(), before);
}

}  // namespace
}  // namespace kovra
