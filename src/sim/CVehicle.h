#pragma once

#include <memory>

#include "kovra/host/HostTypes.h"
#include "kovra/ik/FrameMatrix.h"
#include "sim/CAEVehicleAudioEntity.h"
#include "sim/CBike.h"
#include "sim/FrameHierarchy.h"
#include "sim/VehicleModel.h"
#include "sim/cVehicleParams.h"

// A simulated vehicle. Tests set `state` and `matrix` directly; the frames
// are the model's, instanced under a root that follows `matrix`.
struct CVehicle {
    CVehicle(const kovra::sim::VehicleModel& model, const kovra::FrameMatrix& world);
    CVehicle(const CVehicle&) = delete;
    CVehicle& operator=(const CVehicle&) = delete;

    int modelId = -1;
    int type = kovra::kVehicleTypeCar;
    CPed* driver = nullptr;
    kovra::VehicleState state;
    kovra::FrameMatrix matrix;  // body matrix; declared before frames, which anchor on it
    kovra::sim::FrameHierarchy frames;
    std::unique_ptr<CBike> bike;                // two-wheelers only
    kovra::HostFrame* bodyFrame = nullptr;      // two-wheelers: chassis node
    kovra::HostFrame* steeringFrame = nullptr;  // two-wheelers: steering node
    CAEVehicleAudioEntity audioEntity;
    cVehicleParams audioParams;
    int scriptHandle = -1;
    int audioGearHeard = 0;  // the gear the engine sound last played
};
