#include "kovra/config/VehicleConfigStore.h"

#include <algorithm>
#include <iomanip>
#include <set>

#include "kovra/config/BoundedRead.h"
#include "kovra/config/IniDocument.h"
#include "kovra/config/PathText.h"
#include "kovra/config/VehicleConfigFile.h"
#include "kovra/host/Runtime.h"
#include "kovra/rig/CabinIk.h"

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

namespace {

namespace fs = std::filesystem;

constexpr std::uintmax_t kMinVehicleFileSize = 20;  // bytes

bool IsHidden(const fs::path& path) { return path.filename().string().rfind('.', 0) == 0; }

bool HoldsVehicleSection(const fs::path& path) {
    std::string text;
    return readBoundedFile(path, IniDocument::kMaxFileBytes, text) &&
           text.find("[Kovra_Vehicle]") != std::string::npos;
}

// Depth first, entries in name order so that the file that wins for a model
// is the same on every machine. A link is followed when it leads somewhere
// and passed over when it does not; a folder met again through a link is not
// walked twice. A folder or file that cannot be read, and a file far larger
// than any configuration, is passed over with one line on `errors`; the walk
// goes on with the rest.
void Walk(const fs::path& folder, std::set<fs::path>& walked, std::vector<fs::path>& found,
          std::ostream& errors) {
    std::error_code ec;
    const fs::path real = fs::canonical(folder, ec);
    if (!ec && !walked.insert(real).second) return;

    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        entries.push_back(*it);
    }
    if (ec) {
        errors << "Cannot read directory: " << std::quoted(folder.string()) << ": " << ec.message() << '\n';
        return;  // what was listed before the fault is passed over too: the folder is skipped whole
    }
    std::sort(entries.begin(), entries.end(),
              [](const fs::directory_entry& a, const fs::directory_entry& b) { return a.path() < b.path(); });
    for (const fs::directory_entry& entry : entries) {
        if (IsHidden(entry.path())) continue;
        const fs::file_status status = entry.status(ec);
        std::error_code linkError;
        if (ec && entry.is_symlink(linkError)) {  // a link that leads nowhere
            ec.clear();
            continue;
        }
        if (!ec && fs::is_directory(status)) {
            Walk(entry.path(), walked, found, errors);
            continue;
        }
        const bool isFile = !ec && fs::is_regular_file(status);
        const std::uintmax_t size = isFile ? entry.file_size(ec) : 0;
        if (ec) {
            errors << "Cannot read " << std::quoted(entry.path().string()) << ": " << ec.message() << '\n';
            ec.clear();
            continue;
        }
        if (!isFile || entry.path().extension() != ".ini" || size < kMinVehicleFileSize) continue;
        if (size > IniDocument::kMaxFileBytes) {
            errors << "Skipped " << std::quoted(entry.path().string()) << ": " << size
                   << " bytes, more than any configuration (" << IniDocument::kMaxFileBytes << ")\n";
            continue;
        }
        if (HoldsVehicleSection(entry.path())) found.push_back(entry.path());
    }
}

}  // namespace

std::vector<fs::path> VehicleConfigStore::scanVehicleFiles(const fs::path& folder, std::ostream& errors) {
    std::vector<fs::path> found;
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        errors << "Invalid directory: " << std::quoted(folder.string()) << '\n';
        return found;
    }
    std::set<fs::path> walked;
    Walk(folder, walked, found, errors);
    return found;
}

void VehicleConfigStore::loadAllAtStartup(const fs::path& gameDirectory, std::ostream& errors) {
    for (const fs::path& path : scanVehicleFiles(gameDirectory / "modloader", errors)) {
        if (VehicleConfigRecord* record = ReadVehicleConfig(*runtime_, path, true)) {
            record->filePaths.push_back(TextFromPath(path));
            record->fileLabels.push_back(fileLabel(record->filePaths.back()));
        }
    }
}

std::string VehicleConfigStore::fileLabel(const std::string& path) {
    // Either separator counts, so paths of the simulated game label alike.
    const std::size_t last = path.find_last_of("\\/");
    if (last == std::string::npos || last == 0) return "..." + path;
    const std::size_t previous = path.find_last_of("\\/", last - 1);
    if (previous == std::string::npos) return "..." + path;
    return "..." + path.substr(previous + 1);
}

// ---- the vehicle menu's actions ------------------------------------------------

namespace {

// Followed by the reason, in place of the export message.
constexpr const char* kExportFailedMessage = "~r~~h~Export failed!~n~~r~~h~";
constexpr const char* kLoadFailedMessage = "~r~~h~Load failed!~n~~r~~h~";
constexpr const char* kUpdateFailedMessage = "~r~~h~Update failed!~n~~r~~h~";
constexpr int kFailureMessageMs = 5000;

void ShowFailure(Host& host, const char* heading, const std::string& reason) {
    const std::string text = heading + reason;
    host.ShowTimedMessage(text.c_str(), kFailureMessageMs);
}

}  // namespace

void VehicleConfigStore::wrapSelectedFile(VehicleConfigRecord& record) {
    const auto count = static_cast<std::int32_t>(record.filePaths.size());
    if (record.selectedFile >= count) record.selectedFile = 0;
    if (record.selectedFile < 0) record.selectedFile = count > 0 ? count - 1 : 0;
}

std::string VehicleConfigStore::copyPath(const std::string& path) {
    const std::size_t keep = path.size() >= 4 ? path.size() - 4 : path.size();
    return path.substr(0, keep) + "_C.ini";
}

bool VehicleConfigStore::pushRigToStore(const CabinIk& rig) {
    if (rig.vehicle == nullptr) return false;
    // A rig being built has no handles: the templates keep what they hold
    // rather than every vehicle of the model being rebuilt for nothing.
    if (rig.handles.empty()) {
        ShowFailure(runtime_->host(), kUpdateFailedMessage, kRigBeingBuilt);
        return false;
    }
    const std::int32_t modelId = runtime_->host().VehicleModelId(rig.vehicle);
    VehicleConfigRecord& record = get(modelId);
    for (const auto& handle : rig.handles) {
        if (IkHandle* target = record.templateOf(static_cast<HandleKind>(handle->type))) {
            target->CopyFrom(handle.get());
        }
    }
    // The rig itself is among those rebuilt: its handles are gone after this.
    runtime_->rigs().ResetModel(modelId);
    return true;
}

bool VehicleConfigStore::loadSelectedFile(CabinIk& rig) {
    if (rig.vehicle == nullptr) return false;
    const std::int32_t modelId = runtime_->host().VehicleModelId(rig.vehicle);
    VehicleConfigRecord& record = get(modelId);
    if (record.filePaths.empty()) return false;
    wrapSelectedFile(record);
    const std::string& path = record.filePaths[static_cast<std::size_t>(record.selectedFile)];
    // Read first: a file that has gone leaves the vehicles as they are.
    if (ReadVehicleConfig(*runtime_, PathFromText(path), false) == nullptr) {
        ShowFailure(runtime_->host(), kLoadFailedMessage, "cannot read " + path);
        return false;
    }
    if (onlyCurrentVehicle) {
        rig.Reset();
    } else {
        runtime_->rigs().ResetModel(modelId);
    }
    return true;
}

VehicleExportResult VehicleConfigStore::exportFromRig(const CabinIk& rig) {
    VehicleExportResult result;
    if (rig.vehicle == nullptr) {
        result.error = "the rig has no vehicle";
        return result;
    }
    VehicleConfigRecord& record = get(runtime_->host().VehicleModelId(rig.vehicle));
    if (record.filePaths.empty()) {
        result = ExportVehicleConfig(*runtime_, rig);
    } else {
        wrapSelectedFile(record);
        const std::string& selected = record.filePaths[static_cast<std::size_t>(record.selectedFile)];
        if (saveAsCopy) {
            // The copy's name may be another model's file: that one is
            // left alone and the copy takes the next free name.
            fs::path free;
            if (!FreeVehicleFilePath(PathFromText(copyPath(selected)), record.modelId, free)) {
                result.error = "every copy name of " + selected + " is taken";
                ShowFailure(runtime_->host(), kExportFailedMessage, result.error);
                return result;
            }
            const std::string target = TextFromPath(free);
            result = ExportVehicleConfig(*runtime_, rig, free);
            const bool listed = std::find(record.filePaths.begin(), record.filePaths.end(), target) !=
                                record.filePaths.end();
            if (result.written && !listed) {
                record.filePaths.push_back(target);
                record.fileLabels.push_back(fileLabel(target));
            }
        } else {
            result = ExportVehicleConfig(*runtime_, rig, PathFromText(selected));
        }
    }
    if (!result.written) ShowFailure(runtime_->host(), kExportFailedMessage, result.error);
    return result;
}

}  // namespace kovra
