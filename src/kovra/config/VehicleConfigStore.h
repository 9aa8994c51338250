#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

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

    // Every per-vehicle file under `folder` and its subfolders: ".ini" files
    // of more than 19 bytes that hold "[Kovra_Vehicle]", neither the file
    // nor a folder on the way hidden (a leading "."), in name order. Links
    // are followed, a broken one passed over, and a folder reached twice is
    // walked once. A missing folder or a failing walk is reported on
    // `errors`; the files found before the failure are kept.
    static std::vector<std::filesystem::path> scanVehicleFiles(const std::filesystem::path& folder,
                                                               std::ostream& errors);
    // Reads every per-vehicle file under the game's "modloader" folder: the
    // first file of a model supplies its values, every file is listed.
    void loadAllAtStartup(const std::filesystem::path& gameDirectory, std::ostream& errors);
    // "..." and the last folder and file name of a path, as the save-load
    // page shows it.
    static std::string fileLabel(const std::string& path);

    // The save-load page's "Export Gears" toggle, off at start-up: whether
    // a gear section carries its pattern block. Kept with the files it
    // shapes.
    bool exportGears = false;

private:
    Runtime* runtime_;
    Map records_;
};

}  // namespace kovra
