#pragma once

#include <filesystem>
#include <string_view>

namespace kovra {

// Writes `text` to a temporary file beside `target` (its name with ".tmp"
// added), then renames it over `target`. Either the whole new text is in
// place or the old file is left as it was; false when the file could not be
// written or replaced. The bytes of `text` are stored as they are, on every
// platform: line endings are the caller's.
bool replaceFileContents(const std::filesystem::path& target, std::string_view text);

}  // namespace kovra
