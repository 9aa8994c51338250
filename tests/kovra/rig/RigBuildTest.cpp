#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestMath.h"
#include "kovra/handles/bike/BarIk.h"
#include "kovra/handles/bike/BikeShiftIk.h"
#include "kovra/handles/bike/PegIk.h"
#include "kovra/handles/car/GasPedalIk.h"
#include "kovra/handles/car/GearIk.h"
#include "kovra/handles/car/SteerIk.h"
#include "kovra/host/Runtime.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"
#include "sim/SimHost.h"

namespace kovra {
namespace {

sim::VehicleModel::Frame MakeFrame(const std::string& name, Vector3 pos, Vector3 boxMin = {-0.05f, -0.05f, -0.05f},
                                   Vector3 boxMax = {0.05f, 0.05f, 0.05f}, int parent = -1) {
    sim::VehicleModel::Frame f;
    f.name = name;
    f.parent = parent;
    f.modelling.pos = pos;
    f.vertices = sim::BoxVertices(boxMin, boxMax);
    return f;
}

sim::VehicleModel Model(int id, int type, std::vector<sim::VehicleModel::Frame> frames) {
    sim::VehicleModel m;
    m.id = id;
    m.name = "test" + std::to_string(id);
    m.type = type;
    m.frontSeat = {0.37f, 0.0f, 0.0f};
    m.frames = std::move(frames);
    return m;
}

class RigBuildTest : public ::testing::Test {
protected:
    CabinIk* NewRig(int modelId) {
        CVehicle* v = host.CreateVehicle(modelId);
        EXPECT_NE(v, nullptr);
        vehicles.push_back(v);
        return runtime.rigs().RigOf(v);
    }
    // Enough per-vehicle updates to build a new rig.
    void BuildAll(int updates = 11) {
        for (int i = 0; i < updates; ++i) {
            for (CVehicle* v : vehicles) runtime.OnVehicleProcess(v);
        }
    }

    sim::SimHost host;
    Runtime runtime{host};
    std::vector<CVehicle*> vehicles;
};

TEST_F(RigBuildTest, BuildsOnTheEleventhUpdateAndTheTwentyFirstAfterAReset) {
    host.AddVehicleModel(sim::MakeSedanModel(400));
    CabinIk* rig = NewRig(400);
    ASSERT_NE(rig, nullptr);
    BuildAll(10);
    EXPECT_FALSE(rig->built);
    BuildAll(1);
    EXPECT_TRUE(rig->built);
    EXPECT_NE(rig->steerIk, nullptr);
    rig->Reset();
    EXPECT_TRUE(rig->handles.empty());
    EXPECT_EQ(rig->steerIk, nullptr);
    BuildAll(20);
    EXPECT_FALSE(rig->built);
    BuildAll(1);
    EXPECT_TRUE(rig->built);
    // Destroying the vehicle takes its rig with it.
    host.DestroyVehicle(vehicles[0]);
    EXPECT_EQ(runtime.rigs().RigOf(vehicles[0]), nullptr);
}

TEST_F(RigBuildTest, FramesAreMatchedBySubstringInNameOrderThenFrameOrder) {
    host.AddVehicleModel(Model(500, kVehicleTypeCar,
                               {MakeFrame("gear_stick", {0.1f, 0, 0}), MakeFrame("body_ik_steer_2", {0, 0.4f, 0.3f}),
                                MakeFrame("parent", {0, 0, 0}), MakeFrame("my_ik_gear_stick_a", {0.2f, 0, 0}, {}, {}, 2),
                                MakeFrame("ik_gear_stick", {0.3f, 0, 0})}));
    CabinIk* rig = NewRig(500);
    BuildAll();
    ASSERT_NE(rig->steerIk, nullptr);
    EXPECT_STREQ(host.FrameName(rig->steerIk->frameA.frame), "body_ik_steer_2");
    ASSERT_NE(rig->gearIk, nullptr);
    // "ik_gear_stick" is tried before "gear_stick"; the child of "parent"
    // comes before the later sibling in depth-first order.
    EXPECT_STREQ(host.FrameName(rig->gearIk->frameA.frame), "my_ik_gear_stick_a");
    EXPECT_EQ(rig->handles.size(), 2u);  // no pedals, no hand brake in this model
    EXPECT_EQ(rig->handles[0].get(), rig->steerIk);
}

TEST_F(RigBuildTest, SettingsSwitchKindsOff) {
    host.AddVehicleModel(sim::MakeSedanModel(400));
    runtime.settings().Allow_Steer = false;
    runtime.settings().Allow_Gas = false;
    CabinIk* rig = NewRig(400);
    BuildAll();
    EXPECT_EQ(rig->steerIk, nullptr);
    EXPECT_EQ(rig->gasPedalIk, nullptr);
    EXPECT_NE(rig->gearIk, nullptr);
}

TEST_F(RigBuildTest, ZeroOffsetsTakeTheKindsDefaultOthersStay) {
    host.AddVehicleModel(Model(501, kVehicleTypeCar,
                               {MakeFrame("ik_steer", {0, 0.4f, 0.3f}, {-0.19f, -0.02f, -0.19f}, {0.19f, 0.02f, 0.19f}),
                                MakeFrame("ik_gear_stick", {0.2f, 0.3f, 0}, {-0.01f, -0.01f, 0}, {0.01f, 0.01f, 0.12f}),
                                MakeFrame("ik_gas", {0.1f, 0.6f, -0.3f}, {-0.03f, -0.05f, -0.01f}, {0.03f, 0.05f, 0.01f})}));
    runtime.store().get(501).gear.grabOffset = {0, 0, 0.0001f};
    CabinIk* rig = NewRig(501);
    BuildAll();
    ASSERT_NE(rig->steerIk, nullptr);
    EXPECT_VEC_NEAR(rig->steerIk->grabOffset, Vector3(0.19f, 0, 0.19f), 1e-6f);
    EXPECT_VEC_NEAR(rig->gearIk->grabOffset, Vector3(0, 0, 0.0001f), 0.0f);
    // An unrotated pedal: (0, 2 * y of the box's min, 0.9 * its z).
    ASSERT_NE(rig->gasPedalIk, nullptr);
    EXPECT_TRUE(rig->gasPedalIk->frameA.unrotated);
    EXPECT_VEC_NEAR(rig->gasPedalIk->grabOffset, Vector3(0, -0.1f, -0.009f), 1e-6f);
    EXPECT_FALSE(rig->gasPedalIk->frameB.found);  // "ik_brake" is looked for, not needed
}

TEST_F(RigBuildTest, RestAnglesAndBoxesOfAFoundFrame) {
    sim::VehicleModel::Frame turned = MakeFrame("ik_gas", {0, 0.6f, -0.3f}, {-0.03f, -0.06f, -0.01f}, {0.03f, 0.05f, 0.02f});
    RotateFrame(turned.modelling, AxisZ, 180.0f, Combine::Replace);
    turned.modelling.pos = {0, 0.6f, -0.3f};
    host.AddVehicleModel(Model(502, kVehicleTypeCar, {turned}));
    CabinIk* rig = NewRig(502);
    BuildAll();
    ASSERT_NE(rig->gasPedalIk, nullptr);
    const FrameSlot& slot = rig->gasPedalIk->frameA;
    EXPECT_TRUE(slot.flippedZ);
    EXPECT_FALSE(slot.unrotated);
    EXPECT_VEC_NEAR(slot.boxMax, Vector3(0.03f, 0.05f, 0.02f), 1e-6f);
    EXPECT_VEC_NEAR(slot.boxMin, Vector3(-0.03f, -0.06f, -0.01f), 1e-6f);
    EXPECT_FLOAT_EQ(slot.reachY, -0.06f);  // the larger extent, with its sign
    EXPECT_VEC_NEAR(rig->gasPedalIk->grabOffset, Vector3(0, -0.06f * 0.3f, 0.02f * 3.75f), 1e-6f);
}

TEST_F(RigBuildTest, BikesGetBarPegAndSeatMotionOnlyWhereTheyCan) {
    host.AddVehicleModel(sim::MakeMotorbikeModel(461));
    sim::VehicleModel noBar = sim::MakeMotorbikeModel(462);
    noBar.handlebar = {};
    host.AddVehicleModel(noBar);
    sim::VehicleModel bicycle = sim::MakeMotorbikeModel(463);
    bicycle.type = kVehicleTypeBicycle;
    host.AddVehicleModel(bicycle);
    sim::VehicleModel noPeg = sim::MakeMotorbikeModel(464);
    std::erase_if(noPeg.frames, [](const auto& f) { return f.name.find("ik_bike_peg") != std::string::npos; });
    host.AddVehicleModel(noPeg);

    CabinIk* bike = NewRig(461);
    CabinIk* withoutBar = NewRig(462);
    CabinIk* pedalBike = NewRig(463);
    CabinIk* withoutPeg = NewRig(464);
    BuildAll();
    EXPECT_EQ(bike->isBike, 1);
    EXPECT_NE(bike->barIk, nullptr);
    EXPECT_NE(bike->pegIk, nullptr);
    EXPECT_NE(bike->seatJiggle, nullptr);
    EXPECT_EQ(bike->handles.back().get(), bike->seatJiggle);  // made last
    EXPECT_EQ(runtime.rigs().SeatJiggleOf(vehicles[0]), bike->seatJiggle);
    EXPECT_EQ(withoutBar->barIk, nullptr);
    EXPECT_EQ(pedalBike->seatJiggle, nullptr);
    EXPECT_EQ(withoutPeg->seatJiggle, nullptr);
    ASSERT_NE(bike->bikeShiftIk, nullptr);
    EXPECT_EQ(bike->bikeShiftIk->leftSide,
              bike->bikeShiftIk->frameA.restMatrix.pos.x < 0.0f);
}

TEST_F(RigBuildTest, FirstVehicleFitsTheTemplatesLaterOnesCopy) {
    host.AddVehicleModel(sim::MakeSedanModel(400));
    CabinIk* first = NewRig(400);
    BuildAll();
    const VehicleConfigRecord* record = runtime.store().find(400);
    ASSERT_NE(record, nullptr);
    EXPECT_FALSE(record->firstUse);
    for (const IkHandle* t : record->templates) EXPECT_FALSE(t->needsModelDefaults);
    runtime.store().get(400).steer.restAngle = 33.0f;  // as the menu would
    CabinIk* second = NewRig(400);
    BuildAll();
    EXPECT_EQ(second->steerIk->restAngle, 33.0f);
    EXPECT_NE(first->steerIk->restAngle, 33.0f);
    // "UpdateAllVehs": every rig of the model builds again, the gear stick
    // back at rest meanwhile.
    FrameMatrix* stick = host.FrameModelling(first->gearIk->frameA.frame);
    RotateFrame(*stick, AxisX, 20.0f, Combine::Local);
    runtime.rigs().ResetModel(400);
    EXPECT_FALSE(first->built);
    EXPECT_FALSE(second->built);
    BuildAll(21);
    EXPECT_EQ(first->steerIk->restAngle, 33.0f);
}

TEST_F(RigBuildTest, ResetPutsTheGearStickBackAtRest) {
    host.AddVehicleModel(sim::MakeSedanModel(400));
    CabinIk* rig = NewRig(400);
    BuildAll();
    ASSERT_NE(rig->gearIk, nullptr);
    HostFrame* frame = rig->gearIk->frameA.frame;
    const FrameMatrix rest = rig->gearIk->frameA.restMatrix;
    RotateFrame(*host.FrameModelling(frame), AxisX, 20.0f, Combine::Local);
    rig->Reset();
    const FrameMatrix& now = *host.FrameModelling(frame);
    EXPECT_VEC_NEAR(now.right, rest.right, 0.0f);
    EXPECT_VEC_NEAR(now.up, rest.up, 0.0f);
    EXPECT_VEC_NEAR(now.at, rest.at, 0.0f);
}

TEST_F(RigBuildTest, OneDispatchPerVehicleBetweenFrameEnds) {
    host.AddVehicleModel(sim::MakeSedanModel(400));
    CabinIk* rig = NewRig(400);
    CPed* driver = host.CreatePed();
    CPed* passenger = host.CreatePed();
    host.SeatPed(driver, vehicles[0], true);
    host.SeatPed(passenger, vehicles[0], false);
    host.SetPlayer(passenger);
    BuildAll();
    host.AnimatePed(driver);
    rig->Dispatch();
    EXPECT_TRUE(rig->dispatched);
    EXPECT_EQ(rig->driver, driver);
    EXPECT_GT(rig->armLength, 0.5f);
    for (const auto& h : rig->handles) EXPECT_EQ(h->ped, driver);
    const float wheel = rig->steerIk->wheelAngle;
    vehicles[0]->state.steerAngle = 0.5f;
    rig->Dispatch();  // a second occupant's event in the same frame
    EXPECT_EQ(rig->steerIk->wheelAngle, wheel);
    runtime.OnVehicleFrameEnd(vehicles[0]);
    EXPECT_FALSE(rig->dispatched);
    rig->Dispatch();
    EXPECT_NE(rig->steerIk->wheelAngle, wheel);
    for (const Vector3& offset : rig->nodeOffsets) EXPECT_EQ(offset, Vector3{});

    // A driver outside the character pool is not posed.
    runtime.OnVehicleFrameEnd(vehicles[0]);
    host.DestroyPed(driver);
    rig->Dispatch();
    EXPECT_FALSE(rig->dispatched);
}

}  // namespace
}  // namespace kovra
