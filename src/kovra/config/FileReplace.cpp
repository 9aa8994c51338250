#include "kovra/config/FileReplace.h"

#include <fstream>
#include <ios>
#include <system_error>

namespace kovra {

bool replaceFileContents(const std::filesystem::path& target, std::string_view text) {
    namespace fs = std::filesystem;
    if (!target.has_filename()) return false;
    fs::path temporary = target;
    temporary += ".tmp";

    std::error_code ignored;
    {
        std::ofstream out(temporary, std::ios::out | std::ios::trunc | std::ios::binary);
        if (!out) return false;
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        const bool written = out.good();
        out.close();
        if (!written || out.fail()) {
            fs::remove(temporary, ignored);
            return false;
        }
    }

    std::error_code error;
    fs::rename(temporary, target, error);
    if (error) {
        fs::remove(temporary, ignored);
        return false;
    }
    return true;
}

}  // namespace kovra
