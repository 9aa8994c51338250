#pragma once

#include <span>
#include <string_view>

namespace kovra {

// What each configuration file may hold: its sections, their keys and the
// kind of value each key reads. Tools check files against it; the readers
// and writers are the authority it mirrors.
enum class ConfigValueKind {
    Number,    // one floating-point number
    Vector,    // three numbers, commas or blanks between
    Flag,      // 0 or 1
    Integer,   // signed decimal
    Unsigned,  // unsigned decimal (priority masks)
    KeyCode,   // a Windows virtual-key code, 0..255
    Word,      // text; the first word counts
};

enum class ConfigFileKind { Vehicle, Settings, PriorityAnimations };

struct ConfigKeySpec {
    std::string_view name;
    ConfigValueKind kind;
};

struct ConfigSectionSpec {
    std::string_view name;
    std::span<const ConfigKeySpec> keys;
    bool anyKey = false;  // keys are names of the user's choosing
    ConfigValueKind anyKeyKind = ConfigValueKind::Unsigned;
};

std::span<const ConfigSectionSpec> ConfigSections(ConfigFileKind kind);
const ConfigSectionSpec* FindConfigSection(ConfigFileKind kind, std::string_view name);
const ConfigKeySpec* FindConfigKey(const ConfigSectionSpec& section, std::string_view key);

}  // namespace kovra
