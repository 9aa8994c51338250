#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kovra {

// The text a write of `text` should leave in `path` so that no line of a file
// already there is lost: `text` itself when there is no file; otherwise the
// file's own lines, comments and order, with every key of `text` set to the
// value `text` gives it (keys and sections the file lacks are added). Empty
// when a file is there but cannot be read: it must then be left alone.
// `withdrawn` names keys (section, key) the writer owns and no longer
// writes: their lines go, and a section left empty by that goes too.
using IniKeyName = std::pair<std::string, std::string>;
std::optional<std::string> mergedFileText(const std::filesystem::path& path, std::string_view text,
                                          const std::vector<IniKeyName>& withdrawn = {});

}  // namespace kovra
