#pragma once

#include <cstdint>
#include <map>

#include "kovra/config/VehicleConfigRecord.h"

namespace kovra {

class Runtime;

// One record per vehicle model met, for the life of the process. Records
// are created on first access and never removed, so references to them stay
// valid.
class VehicleConfigStore {
public:
    using Map = std::map<std::int32_t, VehicleConfigRecord>;

    explicit VehicleConfigStore(Runtime& runtime);
    VehicleConfigStore(const VehicleConfigStore&) = delete;
    VehicleConfigStore& operator=(const VehicleConfigStore&) = delete;

    VehicleConfigRecord* find(std::int32_t modelId);
    const VehicleConfigRecord* find(std::int32_t modelId) const;
    // Creates the record, with the class defaults, when missing.
    VehicleConfigRecord& get(std::int32_t modelId);
    // Null when the model has no record (none is created) or the kind is
    // not one of the nine.
    IkHandle* templateOf(std::int32_t modelId, HandleKind kind);
    const IkHandle* templateOf(std::int32_t modelId, HandleKind kind) const;
    // The record and its nine templates take the model id; the templates'
    // needsModelDefaults and the record's firstUse take the flag.
    static void stamp(VehicleConfigRecord& record, std::int32_t modelId, bool needsModelDefaults);

    const Map& records() const { return records_; }

    // The save-load page's "Export Gears" toggle, off at start-up: whether
    // a gear section carries its pattern block. Kept with the files it
    // shapes.
    bool exportGears = false;

private:
    Runtime* runtime_;
    Map records_;
};

}  // namespace kovra
