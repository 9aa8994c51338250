#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "kovra/config/VehicleConfigFile.h"
#include "kovra/config/VehicleConfigRecord.h"

namespace kovra {

class CabinIk;
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
    // walked once. A missing folder is reported on `errors`; so is each
    // folder or file that cannot be read and each ".ini" larger than any
    // configuration (IniDocument::kMaxFileBytes), which are passed over while
    // the walk goes on.
    static std::vector<std::filesystem::path> scanVehicleFiles(const std::filesystem::path& folder,
                                                               std::ostream& errors);
    // Reads every per-vehicle file under the game's "modloader" folder: the
    // first file of a model supplies its values, every file is listed.
    void loadAllAtStartup(const std::filesystem::path& gameDirectory, std::ostream& errors);
    // "..." and the last folder and file name of a path, as the save-load
    // page shows it.
    static std::string fileLabel(const std::string& path);

    // ---- what the vehicle menu asks of the store ----------------------------
    // "UpdateAllVehs": the rig's handle values become its model's templates
    // and every vehicle of the model builds its handles again from them.
    // Nothing is written to disk. False, with the reason on screen and
    // nothing changed, while the rig has no handles (it is being built).
    bool pushRigToStore(const CabinIk& rig);
    // "Load File": reads the model's selected file into the templates of the
    // file's model, then rebuilds the rig (onlyCurrentVehicle) or every
    // vehicle of its model. False, with nothing changed and the reason on
    // screen, when the model lists no file or the file does not load.
    bool loadSelectedFile(CabinIk& rig);
    // "Export Config!": the rig's live values into the model's selected file,
    // into a copy of it beside it ("_C.ini" for ".ini", or "_C_2.ini", ...
    // when that is another model's file; listed for the model) with saveAsCopy, or, when the model lists no file, into the default
    // export file. A failed export leaves every file as it was and says why
    // on screen.
    VehicleExportResult exportFromRig(const CabinIk& rig);
    // Brings the record's selected file back into the list: past the last
    // to the first, below the first to the last.
    static void wrapSelectedFile(VehicleConfigRecord& record);
    // The file a copy of `path` goes to: its last four characters (".ini")
    // replaced by "_C.ini".
    static std::string copyPath(const std::string& path);

    // The save-load page's switches, kept with the files they shape.
    // "Export Gears", off at start-up: whether a gear section carries its
    // pattern block.
    bool exportGears = false;
    bool onlyCurrentVehicle = true;  // "Only Current Vehicle"
    bool saveAsCopy = false;         // "Save As Copy"

private:
    Runtime* runtime_;
    Map records_;
};

}  // namespace kovra
