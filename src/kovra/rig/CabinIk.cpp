#include "kovra/rig/CabinIk.h"

#include <algorithm>

#include "kovra/config/VehicleConfigStore.h"
#include "kovra/host/Runtime.h"
#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/Geometry.h"

#include "kovra/handles/bike/BarIk.h"
#include "kovra/handles/bike/BikeShiftIk.h"
#include "kovra/handles/bike/PegIk.h"
#include "kovra/handles/bike/SeatJiggle.h"
#include "kovra/handles/car/ClutchPedalIk.h"
#include "kovra/handles/car/GasPedalIk.h"
#include "kovra/handles/car/GearIk.h"
#include "kovra/handles/car/HandBrakeIk.h"
#include "kovra/handles/car/SteerIk.h"

namespace kovra {

namespace {

constexpr int kDrivingTask = 1022;  // a task during which the driver gives the IK back
constexpr int kBuildDelay = 10;
constexpr int kRebuildDelay = 20;
constexpr int kScanInterval = 15;
constexpr NodeIndex kToeNodes[] = {27, 31};
constexpr NodeIndex kToeFeet[] = {kLeftFootNode, kRightFootNode};
// The limb ends the handles blend round the side nearer last frame's pose:
// only these are remembered from frame to frame.
constexpr NodeIndex kBlendedEnds[] = {kLeftHandNode,  kLeftFingersNode, kRightHandNode, kRightFingersNode,
                                      kLeftFootNode,  kToeNodes[0],     kRightFootNode, kToeNodes[1]};

// The simulated gear the hands and feet act out.
constexpr int kAudioTopGear = 5;
constexpr int kReverseAudioGear = 6;    // the H patterns' reverse position
constexpr int kFirstAutomaticPattern = 3;  // "AUTO"; "SEQUENTIAL" follows
constexpr std::uint8_t kAudioIdleState = 6;
constexpr float kAudioGearFall = 0.02f;  // countdown per time-step unit

// Limb groups of the priority masks: mask bit, driven node, whether a hand.
struct LimbGroup {
    std::uint32_t bit;
    NodeIndex node;
    bool hand;
};
constexpr LimbGroup kLimbGroups[] = {{1, kRightHandNode, true},
                                     {2, kLeftHandNode, true},
                                     {4, 4, false},
                                     {8, kRightFootNode, false},
                                     {16, kLeftFootNode, false}};

constexpr HandleKind kBuildOrder[] = {HandleKind::Steer,     HandleKind::HandBrake, HandleKind::Gear,
                                      HandleKind::Bar,       HandleKind::GasPedal,  HandleKind::ClutchPedal,
                                      HandleKind::Peg,       HandleKind::BikeShift, HandleKind::SeatJiggle};

}  // namespace

CabinIk::CabinIk(Runtime& runtime, CVehicle* vehicle_) : vehicle(vehicle_), runtime_(&runtime) {
    buildCountdown = kBuildDelay;
    blendController.rig = this;
    nodeWeights.fill(1.0f);
}

CabinIk::~CabinIk() = default;

float CabinIk::HandleWeight(HandleKind kind) const {
    for (const auto& handle : handles) {
        if (handle != nullptr && handle->type == KindCode(kind)) return handle->weight;
    }
    return 0.0f;
}

IkHandle* CabinIk::HandleOf(HandleKind kind) const {
    switch (kind) {
        case HandleKind::Gear: return gearIk;
        case HandleKind::Steer: return steerIk;
        case HandleKind::HandBrake: return handBrakeIk;
        case HandleKind::Bar: return barIk;
        case HandleKind::GasPedal: return gasPedalIk;
        case HandleKind::ClutchPedal: return clutchPedalIk;
        case HandleKind::Peg: return pegIk;
        case HandleKind::BikeShift: return bikeShiftIk;
        case HandleKind::SeatJiggle: return seatJiggle;
    }
    return nullptr;
}


std::span<const char* const> CabinIk::ControlFrameNames(HandleKind kind) {
    static constexpr const char* kGear[] = {"ik_gear_stick", "gear_stick"};
    static constexpr const char* kSteer[] = {"ik_steer", "f_steer", "movsteer_"};
    static constexpr const char* kHandBrake[] = {"ik_hand_brake", "ik_bike_rbrake"};
    static constexpr const char* kBar[] = {"handlebars"};
    static constexpr const char* kGas[] = {"ik_gas"};
    static constexpr const char* kClutch[] = {"ik_clutch"};
    static constexpr const char* kPeg[] = {"ik_bike_peg"};
    static constexpr const char* kBikeShift[] = {"ik_bike_shift"};
    switch (kind) {
        case HandleKind::Gear: return kGear;
        case HandleKind::Steer: return kSteer;
        case HandleKind::HandBrake: return kHandBrake;
        case HandleKind::Bar: return kBar;
        case HandleKind::GasPedal: return kGas;
        case HandleKind::ClutchPedal: return kClutch;
        case HandleKind::Peg: return kPeg;
        case HandleKind::BikeShift: return kBikeShift;
        case HandleKind::SeatJiggle: break;
    }
    return {};
}

void CabinIk::SetReference(HandleKind kind, IkHandle* handle) {
    switch (kind) {
        case HandleKind::Gear: gearIk = static_cast<GearIk*>(handle); break;
        case HandleKind::Steer: steerIk = static_cast<SteerIk*>(handle); break;
        case HandleKind::HandBrake: handBrakeIk = static_cast<HandBrakeIk*>(handle); break;
        case HandleKind::Bar: barIk = static_cast<BarIk*>(handle); break;
        case HandleKind::GasPedal: gasPedalIk = static_cast<GasPedalIk*>(handle); break;
        case HandleKind::ClutchPedal: clutchPedalIk = static_cast<ClutchPedalIk*>(handle); break;
        case HandleKind::Peg: pegIk = static_cast<PegIk*>(handle); break;
        case HandleKind::BikeShift: bikeShiftIk = static_cast<BikeShiftIk*>(handle); break;
        case HandleKind::SeatJiggle: seatJiggle = static_cast<SeatJiggle*>(handle); break;
    }
}

std::unique_ptr<IkHandle> CabinIk::MakeHandle(Runtime& rt, HandleKind kind) {
    switch (kind) {
        case HandleKind::Gear: return std::make_unique<GearIk>(rt);
        case HandleKind::Steer: return std::make_unique<SteerIk>(rt);
        case HandleKind::HandBrake: return std::make_unique<HandBrakeIk>(rt);
        case HandleKind::Bar: return std::make_unique<BarIk>(rt);
        case HandleKind::GasPedal: return std::make_unique<GasPedalIk>(rt);
        case HandleKind::ClutchPedal: return std::make_unique<ClutchPedalIk>(rt);
        case HandleKind::Peg: return std::make_unique<PegIk>(rt);
        case HandleKind::BikeShift: return std::make_unique<BikeShiftIk>(rt);
        case HandleKind::SeatJiggle: return std::make_unique<SeatJiggle>(rt);
    }
    return nullptr;
}

void CabinIk::Build() {
    if (buildCountdown > 0) {
        --buildCountdown;
        return;
    }
    if (built || vehicle == nullptr) return;
    Host& host = runtime().host();
    const int modelId = host.VehicleModelId(vehicle);
    frontSeatXNegative = host.ModelFrontSeat(modelId).x < 0.0f;
    const int vehicleType = host.ModelVehicleType(modelId);
    isBike = (vehicleType == kVehicleTypeMotorbike || vehicleType == kVehicleTypeBicycle) ? 1 : 0;

    VehicleConfigRecord& record = runtime().store().get(modelId);
    VehicleConfigStore::stamp(record, modelId, record.firstUse);
    for (HandleKind kind : kBuildOrder) SetReference(kind, CreateHandle(kind));
    record.firstUse = false;
    built = true;
    // The driver fades into the new handles' pose instead of snapping into it.
    driverBlend = 0.0f;
}

IkHandle* CabinIk::CreateHandle(HandleKind kind) {
    Host& host = runtime().host();
    const int modelId = host.VehicleModelId(vehicle);
    VehicleConfigRecord& record = runtime().store().get(modelId);
    IkHandle* source = record.templateOf(kind);
    if (source == nullptr) return nullptr;
    if (source->needsModelDefaults) {
        // Fitted once, to the template, by the first vehicle of the model.
        source->vehicle = vehicle;
        source->ApplyModelDefaults();
        source->vehicle = nullptr;
    }
    source->needsModelDefaults = false;

    std::unique_ptr<IkHandle> handle = MakeHandle(runtime(), kind);
    handle->CopyFrom(source);
    handle->type = KindCode(kind);
    handle->vehicle = vehicle;
    handle->isBike = isBike;
    handle->modelId = modelId;
    handle->rig = this;
    if (handle->disabled || !handle->FindFrames()) return nullptr;
    handles.push_back(std::move(handle));
    return handles.back().get();
}

void CabinIk::UpdateVehicle() {
    Build();
    if (!built) return;
    Host& host = runtime().host();
    const float dt = host.TimeStep();
    if (!handles.empty()) {
        float direction = -1.0f;
        CPed* driverPed = host.VehicleDriver(vehicle);
        if (driverPed != nullptr && host.PedState(driverPed) == kPedStateDriving) {
            if (!host.IkSuspended()) {
                UpdateBlendController(driverPed);
                direction = 1.0f;
                for (TaskSlotKind kind : {TaskSlotKind::Primary, TaskSlotKind::Secondary}) {
                    for (int i = 0; i < 5; ++i) {
                        if (host.PedTaskType(driverPed, kind, i) == kDrivingTask) direction = -1.0f;
                    }
                }
            }
        } else if (seatJiggle != nullptr) {
            seatJiggle->ResetSpring();
        }
        if (resetPending) direction = -1.0f;
        driverBlend = Clamp(driverBlend + direction * blendRate * dt, 0.0f, 1.0f);
    }
    if (resetPending && (handles.empty() || !(driverBlend > 0.0f))) {
        DropHandles();
        return;
    }
    StepAudioGear();

    HostFrame* steering = host.BikeSteeringFrame(vehicle);
    if (barIk != nullptr && steering != nullptr && barIk->frameA.frame != nullptr) {
        if (host.VehicleDriver(vehicle) == nullptr) host.UpdateVehicleFrames(vehicle);
        const FrameMatrix* node = host.FrameModelling(steering);
        FrameMatrix* bar = host.FrameModelling(barIk->frameA.frame);
        if (node != nullptr && bar != nullptr && IsFinite(*node)) {
            bar->right = node->right;
            bar->up = node->up;
            bar->at = node->at;
        }
    }
}

void CabinIk::StepAudioGear() {
    if (vehicle == nullptr) return;
    Host& host = runtime().host();
    const VehicleState state = host.ReadVehicleState(vehicle);
    if (!runtime().settings().Vanilla_Sound_Gearing) {
        audioGear = state.gear;
        return;
    }

    float dt = host.TimeStep();
    if (!IsFinite(dt)) dt = 0.0f;
    if (state.stateByte == kAudioIdleState || (state.audioValue == 0 && state.gear != kAudioTopGear)) {
        audioGearTimer -= kAudioGearFall * dt;
    }
    // The H patterns act out reverse as a gear of its own (position 6).
    const bool manual = gearIk != nullptr && gearIk->shiftPattern < kFirstAutomaticPattern;
    if (audioGearTimer <= 0.0f) {
        if (audioGear > 1) {
            audioGear = manual && audioGear == kReverseAudioGear ? 1 : audioGear - 1;
            audioGearTimer = 1.0f;
        } else if (audioGearTimer < 0.0f) {
            audioGearTimer = 0.0f;
        }
    }
    if (!manual) {
        if (state.gear == 0 && state.audioValue == 0) {
            audioGear = 0;
        } else if (audioGear == 0) {
            audioGear = 1;
            audioGearTimer = 1.0f;
        }
        audioGear = std::clamp(audioGear, 0, kAudioTopGear);
        return;
    }
    if (state.gear == 0) {
        audioGear = kReverseAudioGear;
        return;
    }
    if (audioGear >= kReverseAudioGear) audioGear = 1;
    audioGear = std::clamp(audioGear, 1, kReverseAudioGear);
}

void CabinIk::OnAudioGearChange() {
    if (vehicle == nullptr) return;
    const VehicleState state = runtime().host().ReadVehicleState(vehicle);
    if ((state.audioFlags & kAudioGearChangeBit) != 0 && audioGear < kAudioTopGear) {
        ++audioGear;
        audioGearTimer = 1.0f;
    }
}

void CabinIk::UpdateBlendController(CPed* driverPed) {
    Host& host = runtime().host();
    auto& dirs = blendController.directions;
    if (--blendController.scanCountdown <= 0) {
        blendController.scanCountdown = kScanInterval;
        dirs.fill(1.0f);
        if (host.PedHasModel(driverPed)) {
            const PriorityAnimations& priorities = runtime().priorities();
            for (HostAnimation* anim = host.FirstAnimation(driverPed); anim != nullptr;
                 anim = host.NextAnimation(driverPed, anim)) {
                if (dirs[5] < 0.0f) break;  // everything yields already
                const PriorityAnimation* entry = priorities.priorityEntry(host.AnimationNameKey(anim));
                if (entry == nullptr) continue;
                if (entry->mask == 0) {
                    dirs.fill(-1.0f);
                    continue;
                }
                for (std::size_t g = 0; g < std::size(kLimbGroups); ++g) {
                    if (entry->mask & kLimbGroups[g].bit) dirs[g] = -1.0f;
                }
            }
        }
    }
    const float dt = host.TimeStep();
    for (std::size_t g = 0; g < std::size(kLimbGroups); ++g) {
        float& w = nodeWeights[kLimbGroups[g].node];
        w = Clamp(w + blendRate * dirs[g] * dt, 0.0f, 1.0f);
        if (kLimbGroups[g].hand && w <= 0.0f) leverHandBusy = true;
    }
    leverBlend = Clamp(leverBlend + blendRate * (leverHandBusy ? -1.0f : 1.0f) * dt, 0.0f, 1.0f);
}

void CabinIk::Dispatch() {
    if (!built || dispatched) return;
    Host& host = runtime().host();
    driver = host.VehicleDriver(vehicle);
    if (driver == nullptr || host.PedSlot(driver) < 0) return;
    armLength = ArmReach(host, driver);
    for (auto& handle : handles) handle->ped = driver;

    if (isBike == 1) {
        DispatchBike();
    } else {
        DispatchCar();
    }

    // The game draws what the handles wrote: one refresh for all the writes
    // no read has needed one for.
    runtime().solver().sync().Flush(driver);
    RememberPose();
    nodeOffsets.fill(Vector3{});
    for (auto& handle : handles) handle->appliedThisFrame = false;
    dispatched = true;
}

void CabinIk::RememberPose() {
    Host& host = runtime().host();
    lastPoseOf_ = driver;
    for (const NodeIndex node : kBlendedEnds) {
        const Quaternion* slot = BoneRotationSlot(host, driver, node);
        if (slot == nullptr || !IsFinite(*slot)) {
            lastPoseOf_ = nullptr;
            return;
        }
        lastPose_[static_cast<std::size_t>(node)] = *slot;
    }
}

const Quaternion* CabinIk::LastPose(CPed* ped, NodeIndex node) const {
    if (ped == nullptr || ped != lastPoseOf_ || node < 1 || node >= kNodeCount) return nullptr;
    if (std::find(std::begin(kBlendedEnds), std::end(kBlendedEnds), node) == std::end(kBlendedEnds)) return nullptr;
    return &lastPose_[static_cast<std::size_t>(node)];
}

void CabinIk::RunHandle(IkHandle* handle) {
    if (handle == nullptr) return;
    LimbSolver& solver = runtime().solver();
    solver.solveTag = handle->type;
    handle->Update();
    solver.solveTag = -1;
}

void CabinIk::DispatchBike() {
    if (seatJiggle) seatJiggle->StepSpring();
    RunHandle(barIk);
    RunHandle(gasPedalIk);
    RunHandle(clutchPedalIk);
    RunHandle(pegIk);
    RunHandle(bikeShiftIk);
    RunHandle(handBrakeIk);
    if (pegIk || bikeShiftIk) {
        // The feet rest flat on pegs and levers: toes turned up a quarter,
        // as far as the foot is the rig's.
        Host& host = runtime().host();
        static const Quaternion kToesUp = AxisAngle(AxisZ, 90.0f);
        for (std::size_t i = 0; i < std::size(kToeNodes); ++i) {
            const NodeIndex toe = kToeNodes[i];
            const float w = Clamp(driverBlend * nodeWeights[static_cast<std::size_t>(kToeFeet[i])], 0.0f, 1.0f);
            if (Quaternion* slot = BoneRotationSlot(host, driver, toe)) {
                WriteBoneRotation(*slot, kToesUp, w, LastPose(driver, toe));
                runtime().solver().sync().Written(driver, toe);
            }
        }
    }
}

void CabinIk::DispatchCar() {
    RunHandle(steerIk);
    leverHandBusy = false;
    if (HandleWeight(HandleKind::HandBrake) <= 0.0f) RunHandle(gearIk);
    if (HandleWeight(HandleKind::Gear) <= 0.0f) RunHandle(handBrakeIk);
    RunHandle(gasPedalIk);
    RunHandle(clutchPedalIk);
}

void CabinIk::Reset() {
    // A driver who is being posed lets go of the controls before they go.
    Host& host = runtime().host();
    const bool posing = driver != nullptr && host.VehicleDriver(vehicle) == driver && driverBlend > 0.0f;
    if (built && !handles.empty() && posing) {
        resetPending = true;
        return;
    }
    DropHandles();
}

void CabinIk::DropHandles() {
    resetPending = false;
    if (gearIk != nullptr && gearIk->frameA.frame != nullptr) {
        if (FrameMatrix* m = runtime().host().FrameModelling(gearIk->frameA.frame)) {
            *m = gearIk->frameA.restMatrix;
        }
    }
    handles.clear();
    for (HandleKind kind : kBuildOrder) SetReference(kind, nullptr);
    buildCountdown = kRebuildDelay;
    built = false;
}

}  // namespace kovra
