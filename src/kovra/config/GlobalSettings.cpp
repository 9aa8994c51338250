#include "kovra/config/GlobalSettings.h"

#include "kovra/config/IniDocument.h"
#include "kovra/config/NumberFormat.h"

namespace kovra {
namespace {

struct FlagSetting {
    const char* section;
    const char* key;
    bool GlobalSettings::*field;
};

struct NumberSetting {
    const char* section;
    const char* key;
    float GlobalSettings::*field;
};

struct KeyCodeSetting {
    const char* section;
    const char* key;
    std::int32_t GlobalSettings::*field;
};

constexpr FlagSetting kFlags[] = {
    {"Config", "SuddenBar_Rotation_Fix", &GlobalSettings::SuddenBar_Rotation_Fix},
    {"Config", "Vanilla_Sound_Gearing", &GlobalSettings::Vanilla_Sound_Gearing},
    {"Config", "Allow_NPCs", &GlobalSettings::Allow_NPCs},
    {"Config", "Allow_Steer", &GlobalSettings::Allow_Steer},
    {"Config", "Allow_Gear", &GlobalSettings::Allow_Gear},
    {"Config", "Allow_Bar", &GlobalSettings::Allow_Bar},
    {"Config", "Allow_Handbrake", &GlobalSettings::Allow_Handbrake},
    {"Config", "Allow_Gas", &GlobalSettings::Allow_Gas},
    {"Config", "Allow_Clutch", &GlobalSettings::Allow_Clutch},
    {"Config", "Allow_Peg", &GlobalSettings::Allow_Peg},
    {"Config", "Allow_BikeShift", &GlobalSettings::Allow_BikeShift},
    {"Defaults", "useCarSpinePush", &GlobalSettings::useCarSpinePush},
    {"Defaults", "useSeatJiggle", &GlobalSettings::useSeatJiggle},
};

constexpr NumberSetting kNumbers[] = {
    {"Multipliers", "muPedalSwitch", &GlobalSettings::muPedalSwitch},
    {"Multipliers", "muThrottle", &GlobalSettings::muThrottle},
    {"Multipliers", "muSpinePush", &GlobalSettings::muSpinePush},
    {"Multipliers", "muDamping", &GlobalSettings::muDamping},
    {"Multipliers", "muStiffness", &GlobalSettings::muStiffness},
    {"Multipliers", "gWristOffsetY", &GlobalSettings::gWristOffsetY},
    {"Menu", "Scale", &GlobalSettings::Scale},
};

constexpr KeyCodeSetting kKeyCodes[] = {
    {"Config", "HoldHandKey", &GlobalSettings::HoldHandKey},
    {"Menu", "Up", &GlobalSettings::Up},
    {"Menu", "Down", &GlobalSettings::Down},
    {"Menu", "Left", &GlobalSettings::Left},
    {"Menu", "Right", &GlobalSettings::Right},
    {"Menu", "Select", &GlobalSettings::Select},
    {"Menu", "Back", &GlobalSettings::Back},
};

// Key codes index the 256-entry keyboard snapshot.
constexpr std::int32_t kKeyCodeCount = 256;

}  // namespace

bool loadGlobalSettings(const std::filesystem::path& path, GlobalSettings& settings) {
    IniDocument document;
    if (!document.open(path)) return false;

    for (const FlagSetting& setting : kFlags) {
        if (const IniSection* section = document.findSection(setting.section)) {
            section->getFlag(setting.key, settings.*setting.field);
        }
    }
    for (const NumberSetting& setting : kNumbers) {
        if (const IniSection* section = document.findSection(setting.section)) {
            section->getNumber(setting.key, settings.*setting.field);
        }
    }
    for (const KeyCodeSetting& setting : kKeyCodes) {
        const IniSection* section = document.findSection(setting.section);
        std::int32_t code = 0;
        if (section != nullptr && section->getInteger(setting.key, code) && code >= 0 &&
            code < kKeyCodeCount) {
            settings.*setting.field = code;
        }
    }
    if (const IniSection* menu = document.findSection("Menu")) {
        menu->getVector("Position", settings.Position);
        // The code is the first word of the value; an empty one could never
        // be typed, so it does not replace the code in use.
        if (const IniKey* cheat = menu->findKey("CheatCode")) {
            const std::string& value = cheat->value;
            std::size_t begin = 0;
            while (begin < value.size() && isIniSpace(value[begin])) ++begin;
            std::size_t end = begin;
            while (end < value.size() && !isIniSpace(value[end])) ++end;
            if (end > begin) settings.CheatCode = value.substr(begin, end - begin);
        }
    }
    return true;  // the document was only read: closing it writes nothing
}

bool saveGlobalSettings(const std::filesystem::path& path, const GlobalSettings& settings) {
    IniDocument document;
    document.open(path);
    // Every value is set even after one was refused, and the refusal is
    // reported: a setting that did not reach the file is no success.
    bool set = true;
    set &= document.setFlag("Config", "Vanilla_Sound_Gearing", settings.Vanilla_Sound_Gearing);
    set &= document.setFlag("Defaults", "useCarSpinePush", settings.useCarSpinePush);
    set &= document.setFlag("Defaults", "useSeatJiggle", settings.useSeatJiggle);
    // Every number setting is one the menu saves, in this order.
    for (const NumberSetting& setting : kNumbers) {
        set &= document.setNumber(setting.section, setting.key, settings.*setting.field);
    }
    set &= document.setVector("Menu", "Position", settings.Position);
    return document.close() && set;
}

}  // namespace kovra
