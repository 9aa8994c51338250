// The global settings and the priority list: any file reads into settings
// that are all finite and in range; saving them and reading again gives the
// same settings (a saved number as it was or as its six digits read); and
// every priority entry carries the upper-cased name and its key.
#include <cmath>
#include <string>

#include "FuzzSupport.h"
#include "kovra/config/GlobalSettings.h"
#include "kovra/config/NumberFormat.h"
#include "kovra/config/PriorityAnimations.h"
#include "kovra/ik/Geometry.h"
#include "sim/SimHost.h"

namespace {

using kovra::GlobalSettings;
using kovra::fuzz::Require;

bool SameOrAsWritten(float read, float saved) {
    const std::string text = kovra::formatNumber(saved);
    std::string_view rest = text;
    float written = 0.0f;
    return read == saved || (kovra::extractNumber(rest, written) && read == written);
}

void CheckReadable(const GlobalSettings& s) {
    for (const float value : {s.muPedalSwitch, s.muThrottle, s.muSpinePush, s.muDamping, s.muStiffness,
                              s.gWristOffsetY, s.Scale}) {
        Require(std::isfinite(value), "a number setting is not finite");
    }
    Require(kovra::IsFinite(s.Position), "the menu position is not finite");
    for (const std::int32_t key : {s.HoldHandKey, s.Up, s.Down, s.Left, s.Right, s.Select, s.Back}) {
        Require(key >= 0 && key < 256, "a key code is off the keyboard");
    }
    Require(!s.CheatCode.empty(), "the cheat code is empty");
    for (const char c : s.CheatCode) Require(!kovra::isIniSpace(c), "the cheat code holds white space");
}

void CheckSavedReadsBack(const GlobalSettings& saved, const GlobalSettings& read) {
    Require(read.Vanilla_Sound_Gearing == saved.Vanilla_Sound_Gearing && read.useCarSpinePush == saved.useCarSpinePush &&
                read.useSeatJiggle == saved.useSeatJiggle,
            "a saved flag reads back differently");
    const float GlobalSettings::*numbers[] = {&GlobalSettings::muPedalSwitch, &GlobalSettings::muThrottle,
                                              &GlobalSettings::muSpinePush,   &GlobalSettings::muDamping,
                                              &GlobalSettings::muStiffness,   &GlobalSettings::gWristOffsetY,
                                              &GlobalSettings::Scale};
    for (const auto field : numbers) {
        Require(SameOrAsWritten(read.*field, saved.*field), "a saved number reads back differently");
    }
    Require(SameOrAsWritten(read.Position.x, saved.Position.x) && SameOrAsWritten(read.Position.y, saved.Position.y) &&
                SameOrAsWritten(read.Position.z, saved.Position.z),
            "the saved position reads back differently");
    // What the menu does not save stays as it was read.
    Require(read.CheatCode == saved.CheatCode && read.HoldHandKey == saved.HoldHandKey && read.Up == saved.Up &&
                read.Back == saved.Back && read.Allow_NPCs == saved.Allow_NPCs && read.Allow_Steer == saved.Allow_Steer &&
                read.SuddenBar_Rotation_Fix == saved.SuddenBar_Rotation_Fix,
            "a setting the menu does not save changed");
}

void CheckPriorities(const std::filesystem::path& path) {
    const kovra::PriorityAnimations list = kovra::loadPriorityAnimations(path, &kovra::sim::SimHost::ComputeNameKey);
    for (const auto& [key, entry] : list.entries()) {
        Require(key == entry.key && key == kovra::sim::SimHost::ComputeNameKey(entry.name.c_str()),
                "a priority entry is filed under another key");
        for (const char c : entry.name) Require(!(c >= 'a' && c <= 'z'), "a priority name is not upper-cased");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const auto path = kovra::fuzz::WriteScratchFile(kovra::kGlobalSettingsFileName, kovra::fuzz::AsText(data, size));
    CheckPriorities(path);

    GlobalSettings settings;
    Require(kovra::loadGlobalSettings(path, settings), "a regular file does not load");
    CheckReadable(settings);
    Require(kovra::saveGlobalSettings(path, settings), "the settings could not be saved");
    GlobalSettings again;
    Require(kovra::loadGlobalSettings(path, again), "the saved file does not load");
    CheckSavedReadsBack(settings, again);
    return 0;
}
