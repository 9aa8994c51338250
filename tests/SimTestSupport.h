#pragma once

#include <gtest/gtest.h>

#include "kovra/ik/Geometry.h"
#include "kovra/ik/LimbSolver.h"
#include "sim/SimHost.h"

namespace kovra::test {

// A vehicle placement turned 30 degrees and moved off the origin, so that
// nothing passes only because vehicle and world axes coincide.
inline FrameMatrix TurnedPlacement() {
    FrameMatrix at;
    RotateFrame(at, AxisZ, 30.0f, Combine::Replace);
    at.pos = {10.0f, -4.0f, 1.0f};
    return at;
}

// A vehicle of the (already added) model, placed by TurnedPlacement, with a
// fresh character in the driver's seat posed as the game animates it.
inline void SeatDriverInTurnedVehicle(sim::SimHost& host, int modelId, CVehicle*& vehicle,
                                      CPed*& ped) {
    vehicle = host.CreateVehicle(modelId, TurnedPlacement());
    ped = host.CreatePed();
    ASSERT_NE(vehicle, nullptr);
    ASSERT_NE(ped, nullptr);
    ASSERT_TRUE(host.SeatPed(ped, vehicle, true));
    host.AnimatePed(ped);
}

// The simulated game with a time step a test may force to any value,
// negative or not a number included, as a broken game might report it.
class AnyStepHost : public sim::SimHost {
public:
    float TimeStep() const override { return forced ? forcedStep : SimHost::TimeStep(); }
    void ForceTimeStep(float step) {
        forced = true;
        forcedStep = step;
    }
    void StopForcing() { forced = false; }

private:
    bool forced = false;
    float forcedStep = 1.0f;
};

// Two model records alike in every value but their frames.
inline void ExpectSameRecord(const sim::VehicleModel& a, const sim::VehicleModel& b) {
    EXPECT_EQ(a.id, b.id);
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.type, b.type);
    EXPECT_EQ(a.frontSeat, b.frontSeat);
    EXPECT_EQ(a.handlebar, b.handlebar);
    EXPECT_EQ(a.animGroup, b.animGroup);
    EXPECT_EQ(a.leanLimit, b.leanLimit);
    EXPECT_EQ(a.bodyFrame, b.bodyFrame);
    EXPECT_EQ(a.steeringFrame, b.steeringFrame);
}

// The last solve of each limb end, as the solver reported it.
struct SolveLog : SolveListener {
    void OnLimbSolved(const LimbSolve& solve) override { last[solve.endNode] = solve; }
    LimbSolve last[kNodeCount];
};

}  // namespace kovra::test
