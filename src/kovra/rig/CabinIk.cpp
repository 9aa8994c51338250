#include "kovra/rig/CabinIk.h"

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

CabinIk::CabinIk(Runtime& runtime, CVehicle* vehicle_) : vehicle(vehicle_), runtime_(&runtime) {
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

}  // namespace kovra
