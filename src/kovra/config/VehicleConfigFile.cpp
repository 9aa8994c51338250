#include "kovra/config/VehicleConfigFile.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "kovra/config/FileMerge.h"
#include "kovra/config/FileReplace.h"
#include "kovra/config/IniDocument.h"
#include "kovra/config/NumberFormat.h"
#include "kovra/config/PathText.h"
#include "kovra/config/VehicleConfigStore.h"
#include "kovra/host/Runtime.h"
#include "kovra/rig/CabinIk.h"

namespace kovra {

namespace {

namespace fs = std::filesystem;

// Followed by the full path of the file written.
constexpr const char* kExportMessage = "~g~~h~~h~Config exported!~n~~g~~h~~h~";
constexpr int kExportMessageMs = 5000;

std::string WithCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

bool IsForbiddenInFileName(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 32 || u == 127 || std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos;
}

// Each getter leaves the template's value alone when the key is missing.
void ReadSteer(const IniSection& s, SteerIk& h) {
    s.getVector("GrabOffset", h.grabOffset);
    s.getNumber("CycleAngle", h.cycleAngle);
    s.getNumber("RestAngle", h.restAngle);
    s.getFlag("SwitchHands", h.switchHands);
    s.getNumber("GrabFwAngle", h.grabFwAngle);
    s.getNumber("GrabBwAngle", h.grabBwAngle);
    s.getNumber("PutAwayMult", h.putAwayMult);
    s.getNumber("SpinMult", h.spinMult);
    s.getNumber("SpinRate", h.spinRate);
    s.getFlag("DoSpinePush", h.doSpinePush);
    s.getNumber("HeightFactor", h.heightFactor);
}

void ReadGear(const IniSection& s, GearIk& h) {
    s.getVector("GrabOffset", h.grabOffset);
    s.getVector("HandAngle", h.endAngles);
    s.getNumber("RateArm", h.rateArm);
    s.getInteger("ShiftPattern", h.shiftPattern);
    // The slots start again from the pattern's own table; a number that is
    // no pattern is kept as read and leaves the slots as they were.
    h.SetPattern(h.shiftPattern);
}

void ReadGearPattern(const IniSection& s, GearIk& h) {
    for (int i = 0; i < GearIk::kPositionCount; ++i) {
        const std::string number = formatInteger(i);
        GearPatternEntry& entry = h.pattern[static_cast<std::size_t>(i)];
        s.getVector("PreStg_" + number, entry.preStage);
        s.getVector("FinStg_" + number, entry.finalStage);
    }
}

void ReadHandBrake(const IniSection& s, HandBrakeIk& h) {
    s.getVector("GrabOffset", h.grabOffset);
    s.getVector("HandAngle", h.endAngles);
    s.getNumber("RateArm", h.rateArm);
    s.getNumber("MaxAngle", h.maxAngle);
    s.getNumber("MinAngle", h.minAngle);
    s.getNumber("FootTurn", h.footTurn);
    s.getNumber("FootHeight", h.FootHeight);
}

void ReadHandlebar(const IniSection& s, BarIk& h) {
    s.getVector("GrabOffset", h.grabOffset);
    s.getNumber("BendAngle", h.bendAngle);
    s.getFlag("DoSpinePush", h.doSpinePush);
    s.getNumber("HeightFactor", h.heightFactor);
    s.getNumber("ArmFactor", h.armFactor);
}

void ReadGasPedal(const IniSection& s, GasPedalIk& h) {
    s.getNumber("BikeGasAngle", h.BikeGasAngle);
    s.getNumber("BikeBrkAngle", h.BikeBrkAngle);
    s.getVector("GasOffset", h.grabOffset);
    s.getVector("BrkOffset", h.secondOffset);
    s.getVector("FootAngle", h.endAngles);
    s.getNumber("RateArm", h.rateArm);
    s.getNumber("BendAngle", h.bendAngle);
    s.getNumber("MaxAngle", h.maxAngle);
}

void ReadClutchPedal(const IniSection& s, ClutchPedalIk& h) {
    s.getVector("GrabOffset", h.grabOffset);
    s.getVector("FootAngle", h.endAngles);
    s.getNumber("RateArm", h.rateArm);
    s.getNumber("BendAngle", h.bendAngle);
    s.getNumber("MaxAngle", h.maxAngle);
}

void ReadPeg(const IniSection& s, PegIk& h) {
    s.getVector("GrabOffset", h.grabOffset);
    s.getVector("FootAngle", h.endAngles);
    s.getNumber("BendAngle", h.bendAngle);
}

void ReadBikeShift(const IniSection& s, BikeShiftIk& h) {
    s.getVector("GrabOffset", h.grabOffset);
    s.getNumber("UpShiftHeight", h.UpShiftHeight);
    s.getNumber("DownShiftHeight", h.DownShiftHeight);
    s.getNumber("FootTurn", h.footTurn);
    s.getNumber("MaxAngle", h.maxAngle);
    s.getNumber("RateArm", h.rateArm);
}

void ReadSeatJiggle(const IniSection& s, SeatJiggle& h) {
    s.getVector("MaxOffset", h.MaxOffset);
    s.getFlag("Enable", h.Enable);
    s.getNumber("Damping", h.Damping);
    s.getNumber("Stiffnes", h.Stiffnes);
    s.getNumber("LeanSway", h.LeanSway);
}

template <typename Handle>
void ReadSection(const IniDocument& doc, const char* name, Handle& handle,
                 void (*read)(const IniSection&, Handle&)) {
    if (const IniSection* section = doc.findSection(name)) read(*section, handle);
}

// The keys of the gear's pattern block, which an export without "Export
// Gears" must not leave behind from an earlier one.
std::vector<IniKeyName> GearPatternKeys() {
    std::vector<IniKeyName> keys;
    for (int i = 0; i < GearIk::kPositionCount; ++i) {
        keys.emplace_back("GearPattern", "PreStg_" + formatInteger(i));
        keys.emplace_back("GearPattern", "FinStg_" + formatInteger(i));
    }
    return keys;
}

}  // namespace

// Two model names can map to one file name ("a/b" and "a\\b"), and a copy's
// name can be another model's file: the first of NAME.ini, NAME_2.ini, ...
// that is free or already holds this model is taken, never another model's
// file.
bool FreeVehicleFilePath(const fs::path& wanted, int modelId, fs::path& out) {
    constexpr int kNames = 100;
    const fs::path folder = wanted.parent_path();
    const std::string stem = TextFromPath(wanted.stem());
    for (int n = 1; n <= kNames; ++n) {
        out = n == 1 ? wanted : folder / PathFromText(stem + "_" + formatInteger(n) + ".ini");
        std::error_code ec;
        if (fs::symlink_status(out, ec).type() == fs::file_type::not_found) return true;
        IniDocument existing;
        std::int32_t id = 0;
        const IniSection* vehicle = existing.open(out) ? existing.findSection("Kovra_Vehicle") : nullptr;
        // The file holds the id as written: the model index's low 16 bits.
        if (vehicle && vehicle->getInteger("ModelID", id) &&
            id == static_cast<std::uint16_t>(modelId)) {
            return true;
        }
    }
    return false;
}

std::string VehicleExportFileName(const std::string& modelName) {
    std::string name = "Kovra_" + modelName + ".ini";
    for (char& c : name) {
        if (IsForbiddenInFileName(c)) c = '_';
    }
    return name;
}

VehicleExportResult ExportVehicleConfig(Runtime& runtime, const CabinIk& rig,
                                        const fs::path& path) {
    Host& host = runtime.host();
    VehicleExportResult result;
    if (rig.vehicle == nullptr) {
        result.error = "the rig has no vehicle";
        return result;
    }
    // While the rig is being built it has no handles: a file of the header
    // alone would pass for the model's tuning and drop its fitted values.
    if (rig.handles.empty()) {
        result.error = kRigBeingBuilt;
        return result;
    }
    const int modelId = host.VehicleModelId(rig.vehicle);
    result.path = path;
    // The folder as the plugin spells it everywhere else. Without it the
    // export would land in the working directory, which is no mod tree.
    const std::string& gameDirText = runtime.paths().GameDirectory();
    if (gameDirText.empty()) {
        result.error = "the game's folder is not known";
        return result;
    }
    const fs::path gameDir = PathFromText(gameDirText);
    if (path.empty()) {
        const fs::path folder = gameDir / "modloader" / "Kovra-Output";
        std::error_code ec;
        // Only the last level is made: without a "modloader" folder there
        // is no mod set-up to export into.
        if (!fs::is_directory(folder, ec) && !fs::create_directory(folder, ec)) {
            result.path = folder;
            result.error = "cannot create the export folder " + TextFromPath(folder);
            return result;
        }
        if (!FreeVehicleFilePath(folder / PathFromText(VehicleExportFileName(host.ModelName(modelId))),
                                 modelId, result.path)) {
            result.error = "every export file name of the model is taken in " + TextFromPath(folder);
            return result;
        }
    }

    std::string text = "[Kovra_Vehicle]\nFileVer = 1\nModelID = ";
    text += formatInteger(static_cast<std::uint16_t>(modelId));
    text += "\n\n";
    for (const auto& handle : rig.handles) text += handle->WriteConfig() + "\n";

    // Writes stay in the game's folder: a listed file, or a folder on the
    // way, that is a link to somewhere else is not written through.
    if (!PathLiesInside(result.path, gameDir)) {
        result.error = TextFromPath(result.path) + " leads out of the game's folder; it was left as it was";
        return result;
    }
    // A file already there keeps every line of its own; only values change.
    // Exports are CR LF on every platform, as the game's own tools write
    // them, so that a new file is the same wherever it was made. The
    // pattern block follows "Export Gears": one written earlier goes.
    const bool hasGear = std::any_of(rig.handles.begin(), rig.handles.end(), [](const auto& handle) {
        return dynamic_cast<const GearIk*>(handle.get()) != nullptr;
    });
    const bool withdrawPattern = hasGear && !runtime.store().exportGears;
    const std::optional<std::string> merged =
        mergedFileText(result.path, WithCrLf(text), withdrawPattern ? GearPatternKeys() : std::vector<IniKeyName>{});
    if (!merged) {
        result.error = "cannot read " + TextFromPath(result.path) + "; it was left as it was";
        return result;
    }
    std::string why;
    if (!replaceFileContents(result.path, *merged, &why)) {
        result.error = why;
        return result;
    }
    result.written = true;
    const std::string message = kExportMessage + TextFromPath(result.path);
    host.ShowTimedMessage(message.c_str(), kExportMessageMs);
    return result;
}

VehicleConfigRecord* ReadVehicleConfig(Runtime& runtime, const fs::path& path,
                                       bool keepExisting) {
    IniDocument doc;
    if (!doc.open(path)) return nullptr;
    const IniSection* vehicle = doc.findSection("Kovra_Vehicle");
    std::int32_t modelId = 0;
    if (vehicle == nullptr || !vehicle->getInteger("ModelID", modelId) || modelId == 0) {
        return nullptr;
    }
    VehicleConfigStore& store = runtime.store();
    if (keepExisting) {
        if (VehicleConfigRecord* existing = store.find(modelId)) return existing;
    }
    VehicleConfigRecord& record = store.get(modelId);
    ReadSection(doc, "SteerIK", record.steer, &ReadSteer);
    ReadSection(doc, "GearIK", record.gear, &ReadGear);
    ReadSection(doc, "GearPattern", record.gear, &ReadGearPattern);
    ReadSection(doc, "HandBrakeIK", record.handBrake, &ReadHandBrake);
    ReadSection(doc, "HandlebarIK", record.bar, &ReadHandlebar);
    ReadSection(doc, "GasPedalIK", record.gasPedal, &ReadGasPedal);
    ReadSection(doc, "ClutchPedalIK", record.clutchPedal, &ReadClutchPedal);
    ReadSection(doc, "PegIK", record.peg, &ReadPeg);
    ReadSection(doc, "BikeShiftIK", record.bikeShift, &ReadBikeShift);
    ReadSection(doc, "SeatJiggle", record.seatJiggle, &ReadSeatJiggle);
    VehicleConfigStore::stamp(record, modelId, false);
    return &record;  // the document was only read: nothing is written back
}

}  // namespace kovra
