#include "kovra/config/VehicleConfigStore.h"

namespace kovra {

VehicleConfigStore::VehicleConfigStore(Runtime& runtime) : runtime_(&runtime) {}

VehicleConfigRecord* VehicleConfigStore::find(std::int32_t modelId) {
    const auto it = records_.find(modelId);
    return it == records_.end() ? nullptr : &it->second;
}

const VehicleConfigRecord* VehicleConfigStore::find(std::int32_t modelId) const {
    const auto it = records_.find(modelId);
    return it == records_.end() ? nullptr : &it->second;
}

VehicleConfigRecord& VehicleConfigStore::get(std::int32_t modelId) {
    // Records can be neither copied nor moved: build in place.
    const auto it = records_.try_emplace(modelId, *runtime_, modelId).first;
    return it->second;
}

IkHandle* VehicleConfigStore::templateOf(std::int32_t modelId, HandleKind kind) {
    VehicleConfigRecord* record = find(modelId);
    return record == nullptr ? nullptr : record->templateOf(kind);
}

const IkHandle* VehicleConfigStore::templateOf(std::int32_t modelId, HandleKind kind) const {
    const VehicleConfigRecord* record = find(modelId);
    return record == nullptr ? nullptr : record->templateOf(kind);
}

void VehicleConfigStore::stamp(VehicleConfigRecord& record, std::int32_t modelId,
                               bool needsModelDefaults) {
    record.modelId = modelId;
    for (IkHandle* handle : record.templates) {
        handle->modelId = modelId;
        handle->needsModelDefaults = needsModelDefaults;
    }
    record.firstUse = needsModelDefaults;
}

}  // namespace kovra
