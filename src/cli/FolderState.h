#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace kovra::cli {

// What tells that a file was written: its size and modification time.
struct FileStamp {
    std::uintmax_t size = 0;
    std::filesystem::file_time_type modified;
    bool operator==(const FileStamp&) const = default;
};

// Every regular file under a folder, by its path relative to the folder
// with "/" separators. Links to folders are not followed; entries that
// cannot be read are left out.
using FolderState = std::map<std::string, FileStamp>;

FolderState ReadFolderState(const std::filesystem::path& folder);

// The files of `after` that are new or changed since `before`, in name order.
std::vector<std::string> FilesWritten(const FolderState& before, const FolderState& after);

}  // namespace kovra::cli
