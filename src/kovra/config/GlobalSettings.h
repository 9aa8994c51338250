#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "kovra/ik/Vector3.h"

namespace kovra {

// The name of the settings file in the plugin's folder.
inline constexpr const char* kGlobalSettingsFileName = "Kovra_Config.ini";

// Everything that is not per vehicle, with the values that hold when the file
// or a key is missing. Fields are spelled as the keys of the file. Key codes
// are Windows virtual-key codes.
struct GlobalSettings {
    // [Config]
    std::int32_t HoldHandKey = 51;  // the "3" key
    bool SuddenBar_Rotation_Fix = true;
    bool Vanilla_Sound_Gearing = true;
    bool Allow_NPCs = false;
    bool Allow_Steer = true;
    bool Allow_Gear = true;
    bool Allow_Bar = true;
    bool Allow_Handbrake = true;
    bool Allow_Gas = true;
    bool Allow_Clutch = true;
    bool Allow_Peg = true;
    bool Allow_BikeShift = true;

    // [Defaults]
    bool useCarSpinePush = true;
    bool useSeatJiggle = true;

    // [Multipliers]
    float muPedalSwitch = 1.0f;
    float muThrottle = 1.0f;
    float muSpinePush = 1.0f;
    float muDamping = 1.0f;
    float muStiffness = 1.0f;
    float gWristOffsetY = -0.1f;

    // [Menu]
    std::string CheatCode = "kovra";
    Vector3 Position{100.0f, 100.0f, 0.0f};  // the configuration menu's
    float Scale = 0.6f;                       // both menus'
    std::int32_t Up = 38;
    std::int32_t Down = 40;
    std::int32_t Left = 37;
    std::int32_t Right = 39;
    std::int32_t Select = 32;
    std::int32_t Back = 8;
};

// Reads the settings file into `settings`; keys that are missing or not well
// formed keep the value they had. A key code outside 0..255, or a cheat code
// whose value has no word, is not taken. False when the file did not load.
bool loadGlobalSettings(const std::filesystem::path& path, GlobalSettings& settings);

// Writes the subset the menu edits into the settings file, creating it when
// missing; the rest of the file (other keys, comments, blank lines) stays as
// it is. False when the file could not be written (it is then left intact),
// exists but could not be read, or a value could not be written as one the
// reader takes back (a number that is not finite); the others are saved.
bool saveGlobalSettings(const std::filesystem::path& path, const GlobalSettings& settings);

}  // namespace kovra
