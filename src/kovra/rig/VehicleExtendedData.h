#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "kovra/host/HostTypes.h"

namespace kovra {

class CabinIk;
class HostEvents;
class Runtime;
class SeatJiggle;

// The rig of every vehicle, kept per slot of the game's vehicle pool: made
// when the game constructs a vehicle, deleted when it destroys it.
class VehicleExtendedData {
public:
    explicit VehicleExtendedData(Runtime& runtime);
    VehicleExtendedData(const VehicleExtendedData&) = delete;
    VehicleExtendedData& operator=(const VehicleExtendedData&) = delete;
    ~VehicleExtendedData();

    // Hooks the game's vehicle construction, destruction and pool creation.
    void Register(HostEvents& events);

    // One empty entry per slot of the vehicle pool.
    void Allocate();
    CabinIk* RigOf(const CVehicle* vehicle) const;
    CabinIk* Attach(CVehicle* vehicle);
    void Detach(CVehicle* vehicle);
    // Reset of every rig of vehicles of that model, in pool order.
    void ResetModel(std::int32_t modelId);
    SeatJiggle* SeatJiggleOf(const CVehicle* vehicle) const;

private:
    Runtime& runtime_;
    std::vector<std::unique_ptr<CabinIk>> rigs_;
};

}  // namespace kovra
