#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

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

class Runtime;

// The handle values of one vehicle model: a template per handle class that
// every new rig of the model copies, and the model's config files. Neither
// copied nor moved: `templates` points at its own members.
struct VehicleConfigRecord {
    VehicleConfigRecord(Runtime& runtime, std::int32_t modelId);
    VehicleConfigRecord(const VehicleConfigRecord&) = delete;
    VehicleConfigRecord& operator=(const VehicleConfigRecord&) = delete;

    // The template of a kind; null for a code outside the nine kinds.
    IkHandle* templateOf(HandleKind kind);
    const IkHandle* templateOf(HandleKind kind) const;

    std::int32_t modelId = 0;
    GearIk gear;
    SteerIk steer;
    HandBrakeIk handBrake;
    BarIk bar;
    GasPedalIk gasPedal;
    ClutchPedalIk clutchPedal;
    PegIk peg;
    BikeShiftIk bikeShift;
    SeatJiggle seatJiggle;
    std::array<IkHandle*, kHandleKindCount> templates{};  // by HandleKind
    bool firstUse = true;  // no rig built and no file read yet
    std::int32_t selectedFile = 0;
    std::vector<std::string> filePaths;
    std::vector<std::string> fileLabels;  // parallel to filePaths
};

}  // namespace kovra
