#include "kovra/config/FileMerge.h"

#include <system_error>

#include "kovra/config/IniDocument.h"

namespace kovra {

std::optional<std::string> mergedFileText(const std::filesystem::path& path, std::string_view text,
                                          const std::vector<IniKeyName>& withdrawn) {
    std::error_code error;
    if (std::filesystem::status(path, error).type() == std::filesystem::file_type::not_found) {
        return std::string(text);
    }
    IniDocument existing;
    if (!existing.open(path)) return std::nullopt;
    IniDocument written;
    written.parse(text);
    if (!existing.mergeFrom(written)) return std::nullopt;
    for (const auto& [section, key] : withdrawn) existing.removeKey(section, key);
    return existing.text();
}

}  // namespace kovra
