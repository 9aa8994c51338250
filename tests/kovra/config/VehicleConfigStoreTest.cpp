#include "kovra/config/VehicleConfigStore.h"

#include <gtest/gtest.h>

#include <typeinfo>

#include "kovra/host/Runtime.h"
#include "sim/SimHost.h"

namespace kovra {
namespace {

class VehicleConfigStoreTest : public ::testing::Test {
protected:
    sim::SimHost host;
    Runtime runtime{host};
    VehicleConfigStore& store = runtime.store();
};

TEST_F(VehicleConfigStoreTest, FindAndTemplateOfNeverCreate) {
    EXPECT_EQ(store.find(400), nullptr);
    EXPECT_EQ(store.templateOf(400, HandleKind::Steer), nullptr);
    EXPECT_TRUE(store.records().empty());
}

TEST_F(VehicleConfigStoreTest, GetCreatesOnceWithClassDefaults) {
    VehicleConfigRecord& record = store.get(400);
    EXPECT_EQ(&store.get(400), &record);
    EXPECT_EQ(store.find(400), &record);
    EXPECT_EQ(store.records().size(), 1u);

    EXPECT_EQ(record.modelId, 400);
    EXPECT_TRUE(record.firstUse);
    EXPECT_EQ(record.selectedFile, 0);
    EXPECT_TRUE(record.filePaths.empty());
    EXPECT_TRUE(record.fileLabels.empty());
    EXPECT_EQ(record.gear.endAngles, Vector3(0, 0, -45));
    for (const IkHandle* t : record.templates) {
        EXPECT_EQ(t->modelId, 400);
        EXPECT_TRUE(t->needsModelDefaults);
    }
    // Handlebar and peg templates carry the rig's settings for them.
    EXPECT_TRUE(record.bar.doSpinePush);
    EXPECT_EQ(record.bar.heightFactor, 0.75f);
    EXPECT_EQ(record.bar.bendAngle, -70.0f);
    EXPECT_FALSE(record.bar.disabled);
    EXPECT_EQ(record.peg.bendAngle, 70.0f);
    EXPECT_FALSE(record.peg.disabled);
}

TEST_F(VehicleConfigStoreTest, TemplatesAreIndexedByKind) {
    VehicleConfigRecord& record = store.get(461);
    const std::type_info* expected[] = {&typeid(GearIk),        &typeid(SteerIk),
                                        &typeid(HandBrakeIk),   &typeid(BarIk),
                                        &typeid(GasPedalIk),    &typeid(ClutchPedalIk),
                                        &typeid(PegIk),         &typeid(BikeShiftIk),
                                        &typeid(SeatJiggle)};
    for (int code = 0; code < kHandleKindCount; ++code) {
        const auto kind = static_cast<HandleKind>(code);
        IkHandle* t = store.templateOf(461, kind);
        ASSERT_NE(t, nullptr) << code;
        EXPECT_EQ(typeid(*t), *expected[code]) << code;
        EXPECT_EQ(t, record.templates[static_cast<std::size_t>(code)]) << code;
    }
    EXPECT_EQ(store.templateOf(461, HandleKind::Peg), &record.peg);
    EXPECT_EQ(store.templateOf(461, static_cast<HandleKind>(9)), nullptr);
    EXPECT_EQ(store.templateOf(461, static_cast<HandleKind>(-1)), nullptr);
}

TEST_F(VehicleConfigStoreTest, SwitchedOffBarAndPegTemplates) {
    runtime.settings().Allow_Bar = false;
    runtime.settings().Allow_Peg = false;
    VehicleConfigRecord& record = store.get(461);
    EXPECT_TRUE(record.bar.disabled);
    EXPECT_TRUE(record.peg.disabled);
    EXPECT_EQ(record.peg.bendAngle, 0.0f);
    EXPECT_EQ(record.bar.bendAngle, -70.0f);
}

TEST_F(VehicleConfigStoreTest, StampSetsIdsAndFlags) {
    VehicleConfigRecord& record = store.get(400);
    VehicleConfigStore::stamp(record, 401, false);
    EXPECT_EQ(record.modelId, 401);
    EXPECT_FALSE(record.firstUse);
    for (const IkHandle* t : record.templates) {
        EXPECT_EQ(t->modelId, 401);
        EXPECT_FALSE(t->needsModelDefaults);
    }
    VehicleConfigStore::stamp(record, 400, true);
    EXPECT_TRUE(record.firstUse);
    for (const IkHandle* t : record.templates) EXPECT_TRUE(t->needsModelDefaults);
    // The map key does not move with the stamp.
    EXPECT_EQ(store.find(400), &record);
    for (int id = 401; id < 450; ++id) store.get(id);  // later records move nothing
    EXPECT_EQ(store.find(400), &record);
}

}  // namespace
}  // namespace kovra
