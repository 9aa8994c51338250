#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kovra {

// 32-bit FNV-1a of a name's bytes; sections and keys are looked up by it.
constexpr std::uint32_t iniNameHash(std::string_view name) {
    std::uint32_t hash = 2166136261u;
    for (const char c : name) {
        hash ^= static_cast<std::uint32_t>(static_cast<unsigned char>(c));
        hash *= 16777619u;
    }
    return hash;
}

// One "name = value" line of an INI section.
struct IniKey {
    std::string name;     // the line's first token
    std::string value;    // trimmed, commas turned to blanks, comment removed
    // From the first ";", "#" or "/" of the value on, as the user wrote it
    // (commas kept), or empty. Written back after the value.
    std::string comment;
    std::uint32_t nameHash = 0;
};

}  // namespace kovra
