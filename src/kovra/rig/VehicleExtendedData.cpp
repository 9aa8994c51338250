#include "kovra/rig/VehicleExtendedData.h"

#include "kovra/handles/bike/SeatJiggle.h"
#include "kovra/host/HostEvents.h"
#include "kovra/host/Runtime.h"
#include "kovra/rig/CabinIk.h"

namespace kovra {

VehicleExtendedData::VehicleExtendedData(Runtime& runtime) : runtime_(runtime) {}

VehicleExtendedData::~VehicleExtendedData() = default;

void VehicleExtendedData::Register(HostEvents& events) {
    events.vehicleCreated.Subscribe(EventList::After, [this](CVehicle* v) { Attach(v); });
    events.vehicleDestroyed.Subscribe(EventList::Before, [this](CVehicle* v) { Detach(v); });
    events.vehiclePoolCreated.Subscribe(EventList::After, [this] { Allocate(); });
}

void VehicleExtendedData::Allocate() {
    const int capacity = runtime_.host().VehiclePoolCapacity();
    rigs_.clear();
    rigs_.resize(capacity > 0 ? static_cast<std::size_t>(capacity) : 0);
}

CabinIk* VehicleExtendedData::RigOf(const CVehicle* vehicle) const {
    const int slot = vehicle ? runtime_.host().VehicleSlot(vehicle) : -1;
    if (slot < 0 || static_cast<std::size_t>(slot) >= rigs_.size()) return nullptr;
    return rigs_[static_cast<std::size_t>(slot)].get();
}

CabinIk* VehicleExtendedData::Attach(CVehicle* vehicle) {
    const int slot = vehicle ? runtime_.host().VehicleSlot(vehicle) : -1;
    if (slot < 0) return nullptr;
    // A vehicle made before the pool event (or a pool that grew) still gets
    // its rig.
    if (static_cast<std::size_t>(slot) >= rigs_.size()) rigs_.resize(static_cast<std::size_t>(slot) + 1);
    auto& entry = rigs_[static_cast<std::size_t>(slot)];
    entry = std::make_unique<CabinIk>(runtime_, vehicle);
    return entry.get();
}

void VehicleExtendedData::Detach(CVehicle* vehicle) {
    const int slot = vehicle ? runtime_.host().VehicleSlot(vehicle) : -1;
    if (slot < 0 || static_cast<std::size_t>(slot) >= rigs_.size()) return;
    rigs_[static_cast<std::size_t>(slot)].reset();
}

void VehicleExtendedData::ResetModel(std::int32_t modelId) {
    Host& host = runtime_.host();
    for (int slot = 0; slot < host.VehiclePoolCapacity(); ++slot) {
        CVehicle* vehicle = host.VehicleInSlot(slot);
        if (vehicle == nullptr || host.VehicleModelId(vehicle) != modelId) continue;
        if (CabinIk* rig = RigOf(vehicle)) rig->Reset();
    }
}

SeatJiggle* VehicleExtendedData::SeatJiggleOf(const CVehicle* vehicle) const {
    const CabinIk* rig = RigOf(vehicle);
    return rig ? rig->seatJiggle : nullptr;
}

}  // namespace kovra
