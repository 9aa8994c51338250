#include "cli/FolderState.h"

#include <system_error>

namespace kovra::cli {

namespace fs = std::filesystem;

FolderState ReadFolderState(const fs::path& folder) {
    FolderState state;
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (const fs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
        std::error_code entryError;
        if (!it->is_regular_file(entryError) || entryError) continue;
        FileStamp stamp;
        stamp.size = it->file_size(entryError);
        stamp.modified = it->last_write_time(entryError);
        if (entryError) continue;
        state[it->path().lexically_relative(folder).generic_string()] = stamp;
    }
    return state;
}

std::vector<std::string> FilesWritten(const FolderState& before, const FolderState& after) {
    std::vector<std::string> written;
    for (const auto& [path, stamp] : after) {
        const auto old = before.find(path);
        if (old == before.end() || !(old->second == stamp)) written.push_back(path);
    }
    return written;
}

}  // namespace kovra::cli
