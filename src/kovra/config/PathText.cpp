#include "kovra/config/PathText.h"

#include <algorithm>
#include <system_error>

namespace kovra {

std::filesystem::path PathFromText(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string TextFromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

bool PathLiesInside(const std::filesystem::path& path, const std::filesystem::path& folder) {
    std::error_code ec;
    const std::filesystem::path real = std::filesystem::weakly_canonical(path, ec);
    if (ec) return false;
    const std::filesystem::path base = std::filesystem::canonical(folder, ec);
    if (ec) return false;
    const auto [inBase, inReal] = std::mismatch(base.begin(), base.end(), real.begin(), real.end());
    return inBase == base.end() && inReal != real.end();
}

}  // namespace kovra
