#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "SimTestSupport.h"
#include "kovra/host/Runtime.h"
#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"
#include "sim/SimHost.h"

namespace kovra::test {

// Counts the skeleton refreshes the plugin asks for.
class RefreshCountingHost : public AnyStepHost {
public:
    void UpdateSkeleton(CPed* ped) override {
        ++refreshes;
        AnyStepHost::UpdateSkeleton(ped);
    }
    int refreshes = 0;
};

// A rider on a two-wheeler of the built-in models, placed off the world's
// axes and run through the game's loop until the rig is built and the
// rider has faded into its pose. The gear the rider acts out is the host's
// own, so a test sets it directly.
class BikeTest : public ::testing::Test {
protected:
    static constexpr int kFadeInFrames = 20;  // the driver fade at 0.05 a frame

    void Start(sim::VehicleModel model) {
        const int id = model.id;
        ASSERT_TRUE(host.AddVehicleModel(std::move(model)));
        runtime.settings().Vanilla_Sound_Gearing = false;
        host.StartGame();
        SeatDriverInTurnedVehicle(host, id, vehicle, ped);
        ASSERT_TRUE(host.SetPlayer(ped));
        for (int i = 0; i < 11 + kFadeInFrames; ++i) host.RunFrame();
        rig = runtime.rigs().RigOf(vehicle);
        ASSERT_NE(rig, nullptr);
        ASSERT_TRUE(rig->built);
        ASSERT_EQ(rig->driverBlend, 1.0f);
        runtime.solver().setSolveListener(&log);
    }
    void TearDown() override { runtime.solver().setSolveListener(nullptr); }

    // One game frame; afterwards the bone matrices show the final pose.
    void Frame() {
        log = SolveLog{};
        host.RunFrame();
        RefreshBoneMatrices(host, ped);
    }
    Vector3 Bone(BoneId bone) {
        Vector3 p;
        EXPECT_TRUE(BonePosition(host, ped, bone, p)) << "bone " << bone;
        return p;
    }
    FrameMatrix Body() { return *host.FrameWorld(host.BikeBodyFrame(vehicle)); }
    const FrameMatrix& Modelling(const FrameSlot& slot) { return *host.FrameModelling(slot.frame); }
    bool RowsAtRest(const FrameSlot& slot, float tolerance = 1e-5f) {
        const FrameMatrix& m = Modelling(slot);
        const FrameMatrix& r = slot.restMatrix;
        return Distance(m.right, r.right) <= tolerance && Distance(m.up, r.up) <= tolerance &&
               Distance(m.at, r.at) <= tolerance && m.pos == r.pos;
    }
    // Every bone rotation and matrix and every control frame of the rig.
    void ExpectFinitePose(const std::string& what) {
        for (NodeIndex n = 0; n < kNodeCount; ++n) {
            ASSERT_TRUE(IsFinite(*BoneRotationSlot(host, ped, n))) << what << " node " << n;
            ASSERT_TRUE(IsFinite(*host.BoneMatrix(ped, n))) << what << " node " << n;
        }
        for (const auto& handle : rig->handles) {
            for (const FrameSlot* slot : {&handle->frameA, &handle->frameB}) {
                if (slot->frame == nullptr) continue;
                ASSERT_TRUE(IsFinite(Modelling(*slot))) << what << " handle " << handle->type;
                ASSERT_TRUE(IsFinite(*host.FrameWorld(slot->frame))) << what;
            }
        }
    }

    RefreshCountingHost host;
    Runtime runtime{host};
    CVehicle* vehicle = nullptr;
    CPed* ped = nullptr;
    CabinIk* rig = nullptr;
    SolveLog log;
};

}  // namespace kovra::test
