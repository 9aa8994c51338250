#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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
#include "kovra/rig/CabinIk.h"

namespace kovra {
namespace {

struct Kind {
    const char* name;
    std::function<std::unique_ptr<IkHandle>(Runtime&)> make;
};

template <typename T>
Kind KindOf(const char* name) {
    return {name, [](Runtime& r) { return std::make_unique<T>(r); }};
}

const std::vector<Kind> kKinds{KindOf<GearIk>("GearIk"),
                               KindOf<SteerIk>("SteerIk"),
                               KindOf<HandBrakeIk>("HandBrakeIk"),
                               KindOf<BarIk>("BarIk"),
                               KindOf<GasPedalIk>("GasPedalIk"),
                               KindOf<ClutchPedalIk>("ClutchPedalIk"),
                               KindOf<PegIk>("PegIk"),
                               KindOf<BikeShiftIk>("BikeShiftIk"),
                               KindOf<SeatJiggle>("SeatJiggle")};

using HandleData = test::HandleTest;

// The defaults that no section text shows (those are pinned by the writer
// tests).
TEST_F(HandleData, UnwrittenDefaults) {
    for (const Kind& kind : kKinds) {
        const auto h = kind.make(runtime);
        EXPECT_EQ(h->type, -1) << kind.name;
        EXPECT_EQ(h->frameA.owner, h.get()) << kind.name;
        EXPECT_EQ(h->frameB.owner, h.get()) << kind.name;
        EXPECT_TRUE(h->needsModelDefaults) << kind.name;
        EXPECT_FALSE(h->disabled) << kind.name;
        EXPECT_EQ(h->weight, 0.0f) << kind.name;
    }
    EXPECT_EQ(GasPedalIk(runtime).footSwitch, 1.0f);  // the foot starts on the gas
    BikeShiftIk shift(runtime);
    EXPECT_EQ(shift.strokeDirection, 1.0f);
    EXPECT_TRUE(shift.leftSide);
}

TEST_F(HandleData, EachAllowSwitchDisablesItsKindOnly) {
    const std::pair<bool GlobalSettings::*, std::string> gates[] = {
        {&GlobalSettings::Allow_Gear, "GearIk"},
        {&GlobalSettings::Allow_Steer, "SteerIk"},
        {&GlobalSettings::Allow_Handbrake, "HandBrakeIk"},
        {&GlobalSettings::Allow_Bar, "BarIk"},
        {&GlobalSettings::Allow_Gas, "GasPedalIk"},
        {&GlobalSettings::Allow_Clutch, "ClutchPedalIk"},
        {&GlobalSettings::Allow_Peg, "PegIk"},
        {&GlobalSettings::Allow_BikeShift, "BikeShiftIk"}};
    for (const auto& [flag, owner] : gates) {
        runtime.settings() = GlobalSettings{};
        runtime.settings().*flag = false;
        for (const Kind& kind : kKinds) {
            EXPECT_EQ(kind.make(runtime)->disabled, owner == kind.name)
                << kind.name << " with " << owner << "'s switch off";
        }
    }
}

TEST_F(HandleData, SwitchedOffKindsKeepTheBaseDefaults) {
    runtime.settings().Allow_Gear = false;
    runtime.settings().Allow_Peg = false;
    runtime.settings().Allow_BikeShift = false;
    runtime.settings().useCarSpinePush = false;
    runtime.settings().useSeatJiggle = false;

    GearIk gear(runtime);
    EXPECT_TRUE(gear.endAngles.IsZero());
    EXPECT_TRUE(gear.directPairs.empty());
    EXPECT_EQ(gear.pattern[1].finalStage, Vector3());
    EXPECT_EQ(PegIk(runtime).bendAngle, 0.0f);
    BikeShiftIk shift(runtime);
    EXPECT_EQ(shift.maxAngle, 0.0f);
    EXPECT_EQ(shift.footTurn, 0.0f);
    EXPECT_FALSE(SteerIk(runtime).doSpinePush);
    SeatJiggle jiggle(runtime);
    EXPECT_FALSE(jiggle.Enable);
    EXPECT_FALSE(jiggle.disabled);  // no switch of its own
}

void FillBase(IkHandle& h) {
    h.type = 5;
    h.isBike = 1;
    h.modelId = 522;
    h.startWorld = {1, 2, 3};
    h.startLocal = {4, 5, 6};
    h.grabOffset = {0.1f, 0.2f, 0.3f};
    h.secondOffset = {0.4f, 0.5f, 0.6f};
    h.endAngles = {7, 8, 9};
    h.appliedThisFrame = true;
    h.needsModelDefaults = false;
    h.disabled = true;
    h.doSpinePush = true;
    h.heightFactor = 0.11f;
    h.armFactor = 0.22f;
    h.maxAngle = 33.0f;
    h.minAngle = -4.0f;
    h.footTurn = 0.55f;
    h.bendAngle = -66.0f;
    h.rateArm = 0.0125f;
    h.weight = 0.625f;
}

TEST_F(HandleData, CopyFromTakesEveryValueButNotTheHostLinks) {
    CVehicle* vehicle = MakeVehicle(kVehicleTypeCar, 0, 400);
    CabinIk rigA(runtime, vehicle);
    CabinIk rigB(runtime, vehicle);
    int dummy = 0;
    auto* foreignFrame = reinterpret_cast<HostFrame*>(&dummy);

    for (const Kind& kind : kKinds) {
        auto from = kind.make(runtime);
        auto to = kind.make(runtime);
        FillBase(*from);
        from->rig = &rigA;
        from->vehicle = vehicle;
        from->frameA.found = true;
        from->frameA.frame = foreignFrame;
        from->frameB.frame = foreignFrame;
        to->rig = &rigB;

        to->CopyFrom(from.get());
        EXPECT_EQ(to->type, 5) << kind.name;
        EXPECT_EQ(to->modelId, 522) << kind.name;
        EXPECT_EQ(to->startWorld, from->startWorld) << kind.name;
        EXPECT_EQ(to->startLocal, from->startLocal) << kind.name;
        EXPECT_TRUE(to->appliedThisFrame && to->disabled && !to->needsModelDefaults) << kind.name;
        EXPECT_EQ(to->minAngle, -4.0f) << kind.name;
        EXPECT_EQ(to->weight, 0.625f) << kind.name;
        // Every tunable, in the bike and the car key sets alike.
        EXPECT_EQ(to->WriteConfig(), from->WriteConfig()) << kind.name;
        to->isBike = from->isBike = 0;
        EXPECT_EQ(to->WriteConfig(), from->WriteConfig()) << kind.name;
        // Links to the host belong to the vehicle the handle serves.
        EXPECT_EQ(to->rig, &rigB) << kind.name;
        EXPECT_EQ(to->vehicle, nullptr) << kind.name;
        EXPECT_EQ(to->frameA.frame, nullptr) << kind.name;
        EXPECT_FALSE(to->frameA.found) << kind.name;
        EXPECT_EQ(to->frameB.frame, nullptr) << kind.name;
        EXPECT_EQ(to->frameA.owner, to.get()) << kind.name;
    }
}

TEST_F(HandleData, CopyFromTakesTheRunTimeState) {
    SteerIk steer(runtime), steerTo(runtime);
    steer.wheelAngle = 12.5f;
    steerTo.CopyFrom(&steer);
    EXPECT_EQ(steerTo.wheelAngle, 12.5f);

    HandBrakeIk brake(runtime), brakeTo(runtime);
    brake.leverLevel = 0.4f;
    brake.leverAngle = 12.0f;
    brakeTo.CopyFrom(&brake);
    EXPECT_EQ(brakeTo.leverLevel, 0.4f);
    EXPECT_EQ(brakeTo.leverAngle, 12.0f);

    GasPedalIk gas(runtime), gasTo(runtime);
    gas.gasLevel = 0.1f;
    gas.brakeLevel = 0.2f;
    gas.footSwitch = 0.3f;
    gas.easedGas = 0.4f;
    gas.easedBrake = 0.5f;
    gasTo.CopyFrom(&gas);
    EXPECT_EQ(gasTo.gasLevel, 0.1f);
    EXPECT_EQ(gasTo.brakeLevel, 0.2f);
    EXPECT_EQ(gasTo.footSwitch, 0.3f);
    EXPECT_EQ(gasTo.easedGas, 0.4f);
    EXPECT_EQ(gasTo.easedBrake, 0.5f);

    ClutchPedalIk clutch(runtime), clutchTo(runtime);
    clutch.clutchLevel = 0.7f;
    clutch.gearSeen = 3;
    clutchTo.CopyFrom(&clutch);
    EXPECT_EQ(clutchTo.clutchLevel, 0.7f);
    EXPECT_EQ(clutchTo.gearSeen, 3);

    BikeShiftIk shift(runtime), shiftTo(runtime);
    shift.strokePhase = 3;
    shift.strokeProgress = 0.5f;
    shift.strokeDirection = -1;
    shift.shiftPending = true;
    shift.gearSeen = 2;
    shift.targetGear = 3;
    shift.leftSide = false;
    shift.shiftKind = 1;
    shiftTo.CopyFrom(&shift);
    EXPECT_EQ(shiftTo.strokePhase, 3);
    EXPECT_EQ(shiftTo.strokeProgress, 0.5f);
    EXPECT_EQ(shiftTo.strokeDirection, -1.0f);
    EXPECT_TRUE(shiftTo.shiftPending);
    EXPECT_EQ(shiftTo.gearSeen, 2);
    EXPECT_EQ(shiftTo.targetGear, 3);
    EXPECT_FALSE(shiftTo.leftSide);
    EXPECT_EQ(shiftTo.shiftKind, 1);

    SeatJiggle jiggle(runtime), jiggleTo(runtime);
    jiggle.fastLean = 0.5f;
    jiggle.slowLean = 0.6f;
    jiggle.sway = 0.7f;
    jiggle.seatOffset = {1, 2, 3};
    jiggle.springPosition = {4, 5, 6};
    jiggle.springVelocity = {7, 8, 9};
    jiggleTo.CopyFrom(&jiggle);
    EXPECT_EQ(jiggleTo.fastLean, 0.5f);
    EXPECT_EQ(jiggleTo.slowLean, 0.6f);
    EXPECT_EQ(jiggleTo.sway, 0.7f);
    EXPECT_EQ(jiggleTo.seatOffset, Vector3(1, 2, 3));
    EXPECT_EQ(jiggleTo.springPosition, Vector3(4, 5, 6));
    EXPECT_EQ(jiggleTo.springVelocity, Vector3(7, 8, 9));

    // Resetting the spring leaves the tuning alone.
    jiggleTo.LeanSway = 0.35f;
    jiggleTo.ResetSpring();
    EXPECT_TRUE(jiggleTo.seatOffset.IsZero() && jiggleTo.springPosition.IsZero() &&
                jiggleTo.springVelocity.IsZero());
    EXPECT_TRUE(jiggleTo.fastLean == 0.0f && jiggleTo.slowLean == 0.0f && jiggleTo.sway == 0.0f);
    EXPECT_EQ(jiggleTo.LeanSway, 0.35f);
}

TEST_F(HandleData, CopyFromAnotherClassOrNothingChangesNothing) {
    for (const Kind& source : kKinds) {
        auto from = source.make(runtime);
        FillBase(*from);
        for (const Kind& target : kKinds) {
            if (&source == &target) continue;
            auto to = target.make(runtime);
            to->isBike = 1;
            const std::string before = to->WriteConfig();
            to->CopyFrom(from.get());
            EXPECT_EQ(to->WriteConfig(), before) << source.name << " into " << target.name;
            EXPECT_EQ(to->weight, 0.0f) << source.name << " into " << target.name;
            EXPECT_TRUE(to->needsModelDefaults) << source.name << " into " << target.name;
        }
        from->CopyFrom(nullptr);
        EXPECT_EQ(from->weight, 0.625f) << source.name;
    }
}

}  // namespace
}  // namespace kovra
