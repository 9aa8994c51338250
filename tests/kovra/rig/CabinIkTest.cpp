#include "kovra/rig/CabinIk.h"

#include <gtest/gtest.h>

#include <memory>

#include "kovra/handles/bike/PegIk.h"
#include "kovra/handles/car/GearIk.h"
#include "kovra/handles/car/HandBrakeIk.h"
#include "kovra/host/Runtime.h"
#include "sim/SimHost.h"

namespace kovra {
namespace {

class CabinIkData : public ::testing::Test {
protected:
    sim::SimHost host;
    Runtime runtime{host};
};

TEST_F(CabinIkData, InitialValues) {
    int dummy = 0;
    auto* vehicle = reinterpret_cast<CVehicle*>(&dummy);
    CabinIk rig(runtime, vehicle);
    EXPECT_EQ(rig.vehicle, vehicle);
    EXPECT_FALSE(rig.built || rig.dispatched || rig.leverHandBusy);
    EXPECT_TRUE(rig.frontSeatXNegative);
    EXPECT_EQ(rig.driverBlend, 1.0f);
    EXPECT_EQ(rig.blendRate, 0.05f);
    EXPECT_EQ(rig.leverBlend, 1.0f);
    EXPECT_EQ(rig.buildCountdown, 10);
    EXPECT_EQ(rig.blendController.rig, &rig);
    EXPECT_EQ(rig.blendController.scanCountdown, 0);  // the first update scans at once
    for (float d : rig.blendController.directions) EXPECT_EQ(d, 1.0f);
    for (int code = 0; code < kHandleKindCount; ++code) {
        EXPECT_EQ(rig.HandleOf(static_cast<HandleKind>(code)), nullptr) << code;
    }
    for (const Vector3& v : rig.nodeOffsets) EXPECT_TRUE(v.IsZero());
    for (float w : rig.nodeWeights) EXPECT_EQ(w, 1.0f);
}

TEST_F(CabinIkData, HandleWeightIsTheFirstOfItsKind) {
    CabinIk rig(runtime, nullptr);
    EXPECT_EQ(rig.HandleWeight(HandleKind::Gear), 0.0f);

    auto gear = std::make_unique<GearIk>(runtime);
    gear->type = KindCode(HandleKind::Gear);
    gear->weight = 0.4f;
    auto second = std::make_unique<GearIk>(runtime);
    second->type = KindCode(HandleKind::Gear);
    second->weight = 0.9f;
    auto brake = std::make_unique<HandBrakeIk>(runtime);
    brake->type = KindCode(HandleKind::HandBrake);
    brake->weight = 0.7f;
    auto unassigned = std::make_unique<PegIk>(runtime);  // type still -1
    unassigned->weight = 0.3f;

    rig.gearIk = gear.get();
    rig.handBrakeIk = brake.get();
    rig.handles.push_back(std::move(unassigned));
    rig.handles.push_back(std::move(brake));
    rig.handles.push_back(std::move(gear));
    rig.handles.push_back(std::move(second));

    EXPECT_EQ(rig.HandleWeight(HandleKind::Gear), 0.4f);
    EXPECT_EQ(rig.HandleWeight(HandleKind::HandBrake), 0.7f);
    EXPECT_EQ(rig.HandleWeight(HandleKind::Peg), 0.0f);
    EXPECT_EQ(rig.HandleOf(HandleKind::Gear), rig.gearIk);
    EXPECT_EQ(rig.HandleOf(HandleKind::HandBrake), rig.handBrakeIk);
}

}  // namespace
}  // namespace kovra
