#pragma once

#include <gtest/gtest.h>

#include "kovra/host/Runtime.h"
#include "sim/SimHost.h"

namespace kovra::test {

// A simulated game with one runtime, for building handles against.
class HandleTest : public ::testing::Test {
protected:
    // A vehicle of a fresh sedan model (id 400) or motorbike model (id 461)
    // with the type and driving-animation group given.
    CVehicle* MakeVehicle(int type, int animGroup, int modelId) {
        sim::VehicleModel model =
            type == kVehicleTypeCar ? sim::MakeSedanModel(modelId) : sim::MakeMotorbikeModel(modelId);
        model.type = type;
        model.animGroup = animGroup;
        EXPECT_TRUE(host.AddVehicleModel(model));
        return host.CreateVehicle(modelId);
    }

    sim::SimHost host;
    Runtime runtime{host};
};

}  // namespace kovra::test
