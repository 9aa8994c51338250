#pragma once

#include <filesystem>
#include <string>

namespace kovra {

// The plugin keeps paths as UTF-8 text (the host's folders, the per-vehicle
// files' paths and labels). These convert exactly in both directions: a
// narrow std::filesystem::path conversion follows the platform's code page
// (and on some runtimes a different one each way), which loses folders with
// non-ASCII names.
std::filesystem::path PathFromText(const std::string& utf8);
std::string TextFromPath(const std::filesystem::path& path);

// Whether what `path` names, once every link on the way (and the last part,
// when it exists) is followed and "." and ".." are resolved, lies inside
// `folder` (itself followed), never being the folder itself.
bool PathLiesInside(const std::filesystem::path& path, const std::filesystem::path& folder);

}  // namespace kovra
