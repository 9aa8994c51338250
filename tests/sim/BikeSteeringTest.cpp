#include <gtest/gtest.h>

#include <limits>

#include "kovra/ik/Geometry.h"
#include "sim/SimHost.h"

namespace kovra::sim {
namespace {

// Any finite steering angle turns the fork by that angle modulo a full turn;
// none, however large, makes the fork or the frames under it non-finite.
TEST(BikeSteering, HugeAnglesTurnTheForkByTheirRemainder) {
    SimHost host;
    ASSERT_TRUE(host.AddVehicleModel(MakeMotorbikeModel()));
    CVehicle* bike = host.CreateVehicle(461);
    ASSERT_NE(bike, nullptr);
    HostFrame* fork = host.BikeSteeringFrame(bike);
    ASSERT_NE(fork, nullptr);

    host.TurnBikeSteering(bike, 0.5f);
    const FrameMatrix half = fork->modelling;
    host.TurnBikeSteering(bike, 0.5f + 4.0f * 3.14159265f);
    EXPECT_NEAR(fork->modelling.right.x, half.right.x, 1e-5f);
    EXPECT_NEAR(fork->modelling.right.y, half.right.y, 1e-5f);

    const float max = std::numeric_limits<float>::max();
    for (const float radians : {max, -max, 1e30f, -3e38f, 2.0e7f}) {
        host.TurnBikeSteering(bike, radians);
        EXPECT_TRUE(IsFinite(fork->modelling)) << radians;
        EXPECT_NEAR(Length(fork->modelling.right), 1.0f, 1e-5f) << radians;
        host.UpdateVehicleFrames(bike);
        for (HostFrame* f = host.FrameFirstChild(fork); f; f = host.FrameNextSibling(f)) {
            EXPECT_TRUE(IsFinite(*host.FrameWorld(f))) << host.FrameName(f) << " at " << radians;
        }
    }
}

}  // namespace
}  // namespace kovra::sim
