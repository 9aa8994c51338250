#include "kovra/config/BoundedRead.h"

#include <fstream>
#include <system_error>
#include <utility>

namespace kovra {

bool readBoundedFile(const std::filesystem::path& path, std::uintmax_t maxBytes, std::string& out) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size > maxBytes) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string text;
    char buffer[4096];
    // One byte past the limit tells a file that grew apart from one that fits.
    while (in && text.size() <= maxBytes) {
        in.read(buffer, sizeof buffer);
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad() || text.size() > maxBytes) return false;
    out = std::move(text);
    return true;
}

}  // namespace kovra
