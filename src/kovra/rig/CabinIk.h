#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "kovra/handles/car/IkHandle.h"
#include "kovra/host/HostTypes.h"
#include "kovra/ik/Quaternion.h"
#include "kovra/ik/Skeleton.h"
#include "kovra/ik/Vector3.h"

namespace kovra {

class Runtime;
class GearIk;
class SteerIk;
class HandBrakeIk;
class BarIk;
class GasPedalIk;
class ClutchPedalIk;
class PegIk;
class BikeShiftIk;
class SeatJiggle;

// The rig of one host vehicle: it owns one handle per control the model has
// and keeps the weights the handles read. Its fields are open because the
// handles of the rig read and write them directly during a dispatch.
class CabinIk {
public:
    // Decides, once every 15 updates, which limb groups yield to a running
    // priority animation; +1 keeps a group, -1 gives it to the animation.
    struct BlendController {
        CabinIk* rig = nullptr;
        std::int32_t scanCountdown = 0;
        std::array<float, 6> directions{1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
    };

    CabinIk(Runtime& runtime, CVehicle* vehicle);
    CabinIk(const CabinIk&) = delete;
    CabinIk& operator=(const CabinIk&) = delete;
    ~CabinIk();

    Runtime& runtime() const { return *runtime_; }

    // The weight of the first handle of that kind, 0 when there is none.
    float HandleWeight(HandleKind kind) const;
    // The rig's reference for the kind (null when it built none).
    IkHandle* HandleOf(HandleKind kind) const;

    // A fresh handle of the kind's class, with its constructor's defaults.
    static std::unique_ptr<IkHandle> MakeHandle(Runtime& runtime, HandleKind kind);
    // The names a kind's control frame may carry, tried in order.
    static std::span<const char* const> ControlFrameNames(HandleKind kind);

    // Counts down, then builds the handles once: a new rig builds on its
    // 11th update, a reset one on its 21st.
    void Build();
    // A handle of the kind with the model's settings and its frames found,
    // or null when the kind is switched off or the model lacks the frame.
    IkHandle* CreateHandle(HandleKind kind);
    // The per-vehicle update: build, driver fade, blend controller,
    // simulated gear, handlebar copy.
    void UpdateVehicle();
    // Runs the handles for the vehicle's driver, at most once between two
    // clears of `dispatched`.
    void Dispatch();
    // Drops the handles (the gear stick back at rest) and builds again later
    // from the model's possibly changed settings. A driver the rig is posing
    // is faded out first: the handles go once the fade reaches 0.
    void Reset();
    // The node's local rotation as the last dispatch left it for the current
    // driver, for the hands, fingers, feet and toes (the ends the handles
    // blend); null before the first, for another driver or another node.
    const Quaternion* LastPose(CPed* ped, NodeIndex node) const;
    // Which limb groups yield to a running priority animation, and how far.
    void UpdateBlendController(CPed* driverPed);
    // The gear the hands and feet act out, once per update of a built rig:
    // with Vanilla_Sound_Gearing it falls back step by step while the
    // vehicle idles (the audio gear signal raises it); without, it copies
    // the host's gear.
    void StepAudioGear();
    // The host's engine sound changed gear: the simulated gear goes up one
    // step, up to 5, and its countdown starts again.
    void OnAudioGearChange();

    CVehicle* vehicle = nullptr;
    CPed* driver = nullptr;
    bool built = false;
    std::int32_t isBike = 0;
    float driverBlend = 1.0f;
    float blendRate = 0.05f;
    bool leverHandBusy = false;
    float leverBlend = 1.0f;
    bool frontSeatXNegative = true;
    bool dispatched = false;
    std::int32_t buildCountdown = 10;
    float bikeBlend = 0.0f;
    BlendController blendController;
    std::vector<std::unique_ptr<IkHandle>> handles;  // in creation order
    // One reference per kind, in kind order; each null or into `handles`.
    GearIk* gearIk = nullptr;
    SteerIk* steerIk = nullptr;
    HandBrakeIk* handBrakeIk = nullptr;
    BarIk* barIk = nullptr;
    GasPedalIk* gasPedalIk = nullptr;
    ClutchPedalIk* clutchPedalIk = nullptr;
    PegIk* pegIk = nullptr;
    BikeShiftIk* bikeShiftIk = nullptr;
    SeatJiggle* seatJiggle = nullptr;
    float armLength = 0.0f;
    std::array<Vector3, kNodeCount> nodeOffsets{};
    std::array<float, kNodeCount> nodeWeights;
    std::int32_t audioGear = 0;
    float audioGearTimer = 0.0f;
    // A reset waiting for the driver's fade to reach 0.
    bool resetPending = false;

private:
    void DropHandles();
    void RememberPose();
    void SetReference(HandleKind kind, IkHandle* handle);
    void DispatchBike();
    void DispatchCar();
    // Runs one handle's update, telling the solver whose solves follow.
    void RunHandle(IkHandle* handle);

    Runtime* runtime_;
    // The driver's local rotations at the end of the last dispatch, so that
    // blends can stay on the side they were on a frame ago.
    std::array<Quaternion, kNodeCount> lastPose_{};
    CPed* lastPoseOf_ = nullptr;
};

}  // namespace kovra
