#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace kovra {

class CabinIk;
class Runtime;
struct VehicleConfigRecord;

// Why nothing is taken from a rig while it has no handles.
inline constexpr const char* kRigBeingBuilt = "the vehicle's controls are being set up; try again in a moment";

struct VehicleExportResult {
    bool written = false;
    std::filesystem::path path;  // the file written, or the one that could not be
    std::string error;           // why nothing was written
};

// The file name of a model's default export: "Kovra_" and the model's name
// with every character a file name cannot hold (path separators, reserved
// characters, control characters) replaced by "_", so the name never leaves
// the export folder.
std::string VehicleExportFileName(const std::string& modelName);

// Where a file of the model meant for `wanted` goes: `wanted` itself when it
// is free or already holds the model; otherwise the first of NAME_2.ini,
// NAME_3.ini, ... beside it that is. False when none of a hundred is.
bool FreeVehicleFilePath(const std::filesystem::path& wanted, int modelId, std::filesystem::path& out);

// Writes the per-vehicle file of the vehicle the rig belongs to: its model id
// and every handle the rig built, in the rig's handle order. An empty path
// exports to the game's "modloader\Kovra-Output\" folder, created when
// missing (only that last level), under the model's file name, or with "_2",
// "_3", ... added when that file holds another model; nothing is exported
// when the game's folder is not known. A file already there keeps its
// comments, its other keys and sections and its order; only the values
// written change, and the gear's pattern block of an earlier export goes
// when "Export Gears" is off. The file is replaced whole or not at all; on
// success the host shows where it went. Nothing is written from a rig with
// no handles (one being built), to a file whose real path (links followed)
// lies outside the game's folder, or over a read-only file.
VehicleExportResult ExportVehicleConfig(Runtime& runtime, const CabinIk& rig,
                                        const std::filesystem::path& path = {});

// Reads a per-vehicle file into the store's record of its model: null when
// the file does not load or has no non-zero ModelID. With keepExisting, a
// model that already has a record keeps it untouched. Values read from a
// file are never replaced by model-derived defaults afterwards.
VehicleConfigRecord* ReadVehicleConfig(Runtime& runtime, const std::filesystem::path& path,
                                       bool keepExisting);

}  // namespace kovra
