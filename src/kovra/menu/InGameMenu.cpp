#include "kovra/menu/InGameMenu.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "kovra/config/PathText.h"
#include "kovra/host/Runtime.h"
#include "kovra/rig/CabinIk.h"

namespace kovra {

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

constexpr const char* kSettingsNotSavedMessage = "~r~~h~Settings not saved:~n~~r~~h~";
constexpr int kMessageMs = 5000;

}  // namespace

InGameMenu::InGameMenu(Runtime& runtime)
    : runtime_(runtime),
      config_(runtime.host(), runtime.input().keyboard, runtime.settings(), runtime.settings().Position),
      vehicle_(runtime.host(), runtime.input().keyboard, runtime.settings(),
               Vector3{kVehicleMenuX, kVehicleMenuY, 0.0f}),
      configPages_(runtime),
      vehiclePages_(runtime) {
    config_.title = ConfigMenuPages::kTitle;
    config_.focused = true;
    ApplySettings();
}

void InGameMenu::ApplySettings() {
    const GlobalSettings& s = runtime_.settings();
    config_.position = s.Position;
    float scale = std::isfinite(s.Scale) ? s.Scale : config_.scale;
    scale = std::clamp(scale, ConfigMenuPages::kMinScale, ConfigMenuPages::kMaxScale);
    config_.scale = scale;
}

bool InGameMenu::CheatCodeTyped() const {
    const std::string& code = runtime_.settings().CheatCode;
    Host& host = runtime_.host();
    // An empty code would match every frame.
    if (code.empty() || host.TypedCharCount() < static_cast<int>(code.size())) return false;
    for (std::size_t i = 0; i < code.size(); ++i) {
        // The newest character is the code's last.
        const char typed = host.TypedChar(static_cast<int>(i));
        if (LowerAscii(typed) != LowerAscii(code[code.size() - 1 - i])) return false;
    }
    return true;
}

void InGameMenu::OnFrame() {
    if (CheatCodeTyped()) {
        runtime_.host().ClearTypedChars();
        menuOpen_ = !menuOpen_;
        if (!menuOpen_) SaveSettings();
    }
    if (menuOpen_) DrawMenus();
}

CabinIk* InGameMenu::PlayerRig() const {
    Host& host = runtime_.host();
    CPed* player = host.PlayerPed();
    if (player == nullptr || !host.PedInVehicle(player)) return nullptr;
    return runtime_.rigs().RigOf(host.PedVehicle(player));
}

void InGameMenu::DrawMenus() {
    if (config_.beginFrame()) {
        configPages_.Draw(config_, vehicle_);
        config_.endFrame();
    }
    // The vehicle menu hangs below the configuration menu, at its scale.
    vehicle_.scale = config_.scale;
    vehicle_.position = Vector3{config_.position.x, config_.cursor.y + config_.lineHeight, 0.0f};

    CabinIk* rig = PlayerRig();
    if (rig != nullptr) vehiclePages_.Title(rig->vehicle, vehicle_.title);  // before its first line
    if (rig != nullptr && vehicle_.beginFrame()) {
        vehiclePages_.Draw(vehicle_, *rig);
        vehicle_.endFrame();
    } else {
        vehicle_.focused = false;
        vehicle_.reset();
        config_.focused = true;
    }
    SwitchFocus();
}

void InGameMenu::SwitchFocus() {
    if (!runtime_.input().keyboard.KeyPressed(kTabKey)) return;
    // Tab moves the keys between the configuration menu and the vehicle menu.
    const bool toVehicle = config_.focused && config_.visible;
    config_.focused = !toVehicle;
    vehicle_.focused = toVehicle;
}

void InGameMenu::SaveSettings() {
    GlobalSettings& s = runtime_.settings();
    s.Position = config_.position;
    s.Scale = config_.scale;
    const std::string& folder = runtime_.paths().PluginDirectory();
    // Without the plugin's folder the file would land wherever the game runs.
    const bool saved =
        !folder.empty() && saveGlobalSettings(PathFromText(folder) / kGlobalSettingsFileName, s);
    if (!saved) {
        const std::string text = kSettingsNotSavedMessage + std::string(kGlobalSettingsFileName);
        runtime_.host().ShowTimedMessage(text.c_str(), kMessageMs);
    }
}

}  // namespace kovra
