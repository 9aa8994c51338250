#include "kovra/rig/DriverSide.h"

#include <cmath>

#include "kovra/handles/bike/SeatJiggle.h"
#include "kovra/host/Runtime.h"
#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"

namespace kovra {

namespace {

constexpr std::uint32_t kCompanionClearedFlag = 1u << 23;
constexpr float kHeadCameraDistance = 0.3f;
constexpr BoneId kHeadBones[] = {6, 7, 8};

FrameMatrix* MutableBoneMatrix(Host& host, CPed* ped, BoneId bone) {
    const int index = host.BoneHierarchyIndex(ped, bone);
    return index < 0 ? nullptr : host.BoneMatrix(ped, index);
}

}  // namespace

void DriverSide::OnPedIk(CPed* ped) {
    Host& host = runtime_.host();
    if (ped == nullptr) return;
    if (!runtime_.settings().Allow_NPCs && !host.IsPlayerPed(ped)) return;
    if (!host.PedInVehicle(ped)) return;
    if (runtime_.input().companionPresent) {
        host.SetPedEntityFlags(ped, host.PedEntityFlags(ped) & ~kCompanionClearedFlag);
    }
    // Whichever occupant raised the event, the rig poses its vehicle's driver.
    if (CabinIk* rig = runtime_.rigs().RigOf(host.PedVehicle(ped))) rig->Dispatch();
}

void DriverSide::OnPedHead(CPed* ped) {
    Host& host = runtime_.host();
    if (ped == nullptr || !host.IsPlayerPed(ped) || !host.PedInVehicle(ped)) return;
    // Written bones not yet refreshed would leave the neck where it was.
    runtime_.solver().sync().BeforeRead(ped, kNeckBone);
    FrameMatrix* neck = MutableBoneMatrix(host, ped, kNeckBone);
    const FrameMatrix* spine = BoneWorldMatrix(host, ped, kUpperSpineBone);
    if (neck == nullptr || spine == nullptr) return;
    const Vector3 head = neck->pos;
    if (Distance(head, host.CameraPosition()) > kHeadCameraDistance) return;

    // A camera inside the head: fold the head away so it does not fill the view.
    const Vector3 back = NormalizedCopy(head - spine->pos) * 0.05f;
    for (BoneId bone : kHeadBones) {
        if (FrameMatrix* m = MutableBoneMatrix(host, ped, bone)) {
            ScaleFrame(*m, {0.0f, 0.0f, 0.0f});
            m->pos -= back;
        }
    }
    ScaleFrame(*neck, {0.0f, 0.0f, 0.0f});
    neck->pos -= back * 0.5f;
}

void DriverSide::MoveSeat(CPed* ped, float sign) {
    Host& host = runtime_.host();
    if (ped == nullptr) return;
    CVehicle* vehicle = host.PedVehicle(ped);
    if (vehicle == nullptr) return;
    const SeatJiggle* jiggle = runtime_.rigs().SeatJiggleOf(vehicle);
    if (jiggle == nullptr || !jiggle->Enable || !IsFinite(jiggle->seatOffset)) return;
    const int modelId = host.VehicleModelId(vehicle);
    host.SetModelFrontSeat(modelId, host.ModelFrontSeat(modelId) + jiggle->seatOffset * sign);
}

void DriverSide::OnSeatPlacementBefore(CPed* ped) { MoveSeat(ped, 1.0f); }

void DriverSide::OnSeatPlacementAfter(CPed* ped) { MoveSeat(ped, -1.0f); }

void DriverSide::OnBikeProcess(CBike* bike) {
    if (!runtime_.settings().SuddenBar_Rotation_Fix || bike == nullptr) return;
    Host& host = runtime_.host();
    CVehicle* vehicle = host.BikeVehicle(bike);
    CabinIk* rig = runtime_.rigs().RigOf(vehicle);
    if (rig == nullptr) return;
    const VehicleState state = host.ReadVehicleState(vehicle);
    const float dt = host.TimeStep();

    const bool fullSteer = state.wheelsOnGround <= 2 || state.speed <= 0.05f;
    rig->bikeBlend = Clamp(rig->bikeBlend + (fullSteer ? 0.01f : -0.01f) * dt, 0.0f, 1.0f);
    const float b = rig->bikeBlend;
    // Without a lean limit any lean counts as full (no division by zero).
    const float k1 = state.leanLimit > 0.0f
                         ? Clamp(std::fabs(state.lean) / state.leanLimit, 0.0f, 1.0f)
                         : (state.lean != 0.0f ? 1.0f : 0.0f);
    const float k2 = Clamp((state.speed - 0.1f) / 0.4f, 0.0f, 1.0f);
    const float a = state.barAngle;
    const float drawn = a * std::fabs(1.0f - k1) * std::fabs(1.0f - k2) * (1.0f - b) + a * b;
    if (IsFinite(drawn)) host.SetBikeDrawnBarAngle(bike, drawn);
}

}  // namespace kovra
