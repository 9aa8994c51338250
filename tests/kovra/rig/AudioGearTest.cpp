#include "kovra/host/AudioGear.h"

#include <gtest/gtest.h>

#include "kovra/handles/car/GearIk.h"
#include "kovra/host/Runtime.h"
#include "kovra/rig/CabinIk.h"
#include "sim/SimHost.h"

namespace kovra {
namespace {

// A built sedan rig (it has a gear stick, pattern 0: manual) whose simulated
// gear the test steps by hand, as UpdateVehicle and the audio event do.
class AudioGearTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.AddVehicleModel(sim::MakeSedanModel(400)));
        host.StartGame();
        car = host.CreateVehicle(400);
        ASSERT_NE(car, nullptr);
        rig = runtime.rigs().RigOf(car);
        ASSERT_NE(rig, nullptr);
        for (int i = 0; i < 11; ++i) rig->Build();
        ASSERT_TRUE(rig->built);
        ASSERT_NE(rig->gearIk, nullptr);
        host.SetTimeStep(1.0f);
        car->state.audioValue = 1;  // the engine runs: no fall back
    }

    void Step(int times = 1) {
        for (int i = 0; i < times; ++i) rig->StepAudioGear();
    }
    // The host's audio step set the gear-change bit, then the event runs.
    void Signal() {
        car->state.audioFlags = static_cast<std::uint8_t>(car->state.audioFlags | kAudioGearChangeBit);
        OnVehicleAudioGear(runtime, &car->audioEntity, &car->audioParams);
        car->state.audioFlags = 0;
    }
    void Automatic() { rig->gearIk->SetPattern(3); }

    sim::SimHost host;
    Runtime runtime{host};
    CVehicle* car = nullptr;
    CabinIk* rig = nullptr;
};

TEST_F(AudioGearTest, FirstStepWithAForwardGearGivesOne) {
    EXPECT_EQ(rig->audioGear, 0);
    car->state.gear = 1;
    Step();
    EXPECT_EQ(rig->audioGear, 1);
    Automatic();
    rig->audioGear = 0;
    Step();
    EXPECT_EQ(rig->audioGear, 1);
    EXPECT_EQ(rig->audioGearTimer, 1.0f);
}

TEST_F(AudioGearTest, FiveSignalsFromFirstStopAtFifth) {
    car->state.gear = 1;
    Step();
    for (int i = 0; i < 5; ++i) Signal();
    EXPECT_EQ(rig->audioGear, 5);
    EXPECT_EQ(rig->audioGearTimer, 1.0f);
    Step();
    EXPECT_EQ(rig->audioGear, 5);
}

TEST_F(AudioGearTest, SignalNeedsTheBit) {
    car->state.gear = 1;
    Step();
    car->state.audioFlags = static_cast<std::uint8_t>(0xff & ~kAudioGearChangeBit);
    OnVehicleAudioGear(runtime, &car->audioEntity, &car->audioParams);
    EXPECT_EQ(rig->audioGear, 1);
    OnVehicleAudioGear(runtime, &car->audioEntity, nullptr);  // no record: nothing
    EXPECT_EQ(rig->audioGear, 1);
}

TEST_F(AudioGearTest, ManualReverseIsSixAndTurnsIntoFirst) {
    car->state.gear = 0;
    Step();
    EXPECT_EQ(rig->audioGear, 6);
    Signal();  // 6 is not below 5
    EXPECT_EQ(rig->audioGear, 6);
    Step(100);
    EXPECT_EQ(rig->audioGear, 6);
    car->state.gear = 1;
    Step();
    EXPECT_EQ(rig->audioGear, 1);
}

TEST_F(AudioGearTest, CountdownFallsBackOneGearPerFiftySteps) {
    car->state.gear = 3;
    Step();
    for (int i = 0; i < 3; ++i) Signal();
    ASSERT_EQ(rig->audioGear, 4);

    car->state.audioValue = 0;  // idle: the countdown runs
    Step(49);
    EXPECT_EQ(rig->audioGear, 4);
    Step(2);
    EXPECT_EQ(rig->audioGear, 3);
    EXPECT_GT(rig->audioGearTimer, 0.9f);
    Step(200);
    EXPECT_EQ(rig->audioGear, 1);  // manual: never below first with a gear in
    EXPECT_EQ(rig->audioGearTimer, 0.0f);

    // Twice the time step: twice as fast.
    Signal();
    host.SetTimeStep(2.0f);
    Step(24);
    EXPECT_EQ(rig->audioGear, 2);
    Step(2);
    EXPECT_EQ(rig->audioGear, 1);
}

TEST_F(AudioGearTest, CountdownRunsOnlyIdleOrInStateSix) {
    car->state.gear = 2;
    Step();
    Signal();
    ASSERT_EQ(rig->audioGear, 2);
    Step(200);  // V non-zero: held
    EXPECT_EQ(rig->audioGear, 2);
    EXPECT_EQ(rig->audioGearTimer, 1.0f);

    car->state.audioValue = 0;
    car->state.gear = 5;  // V zero but in the host's fifth: held as well
    Step(200);
    EXPECT_EQ(rig->audioGear, 2);

    car->state.stateByte = 6;  // whatever V and the gear say
    Step(51);
    EXPECT_EQ(rig->audioGear, 1);
}

TEST_F(AudioGearTest, ManualSixFallsStraightToFirst) {
    car->state.gear = 2;
    rig->audioGear = 6;
    rig->audioGearTimer = 0.0f;
    Step();
    EXPECT_EQ(rig->audioGear, 1);
    EXPECT_EQ(rig->audioGearTimer, 1.0f);
}

TEST_F(AudioGearTest, AutomaticDropsToZeroAtOnceWhenStoppedInNeutral) {
    Automatic();
    car->state.gear = 2;
    Step();
    Signal();
    Signal();
    ASSERT_EQ(rig->audioGear, 3);
    car->state.gear = 0;  // V non-zero: still running
    Step();
    EXPECT_EQ(rig->audioGear, 3);
    car->state.audioValue = 0;
    Step();
    EXPECT_EQ(rig->audioGear, 0);
    Step(200);
    EXPECT_EQ(rig->audioGear, 0);

    // Out of range values are brought back.
    car->state.audioValue = 1;
    car->state.gear = 1;
    rig->audioGear = 6;
    rig->audioGearTimer = 1.0f;
    Step();
    EXPECT_EQ(rig->audioGear, 5);
}

TEST_F(AudioGearTest, WithoutAGearStickTheGearIsAutomatic) {
    CabinIk bare(runtime, car);  // never built: no handles
    car->state.gear = 0;
    car->state.audioValue = 0;
    bare.audioGear = 4;
    bare.StepAudioGear();
    EXPECT_EQ(bare.audioGear, 0);
    CabinIk none(runtime, nullptr);  // no vehicle: nothing
    none.audioGear = 3;
    none.StepAudioGear();
    EXPECT_EQ(none.audioGear, 3);
}

TEST_F(AudioGearTest, WithoutVanillaGearingTheHostGearIsCopied) {
    runtime.settings().Vanilla_Sound_Gearing = false;
    for (int g : {0, 1, 2, 4, 3, 0, 5}) {
        car->state.gear = g;
        Step();
        EXPECT_EQ(rig->audioGear, g);
        Signal();  // runs in any mode, but only until the next update
        Step();
        EXPECT_EQ(rig->audioGear, g);
    }
    Automatic();
    car->state.gear = 0;
    Step();
    EXPECT_EQ(rig->audioGear, 0);
}

TEST_F(AudioGearTest, TheGamesAudioRaisesTheGearOnEveryUpshift) {
    CPed* driver = host.CreatePed();
    ASSERT_TRUE(host.SeatPed(driver, car, true));
    car->state.gasPedal = 1.0f;  // the engine under load: no fall back
    car->state.gear = 1;
    host.RunFrame();
    EXPECT_EQ(rig->audioGear, 1);  // first gear gives no signal
    for (int g = 2; g <= 4; ++g) {
        car->state.gear = g;
        host.RunFrame();
        EXPECT_EQ(rig->audioGear, g);
        host.RunFrame();  // the bit is cleared again: one step per change
        EXPECT_EQ(rig->audioGear, g);
    }
    car->state.gear = 2;  // a downshift has no sound of its own
    host.RunFrame();
    EXPECT_EQ(rig->audioGear, 4);
}

}  // namespace
}  // namespace kovra
