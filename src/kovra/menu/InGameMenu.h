#pragma once

#include "kovra/menu/ConfigMenuPages.h"
#include "kovra/menu/TextMenu.h"
#include "kovra/menu/VehicleMenuPages.h"

namespace kovra {

class CabinIk;
class Runtime;

// The in-game menu as the player meets it: typing the cheat code opens and
// closes it; while open, the configuration menu and, while the player sits
// in a vehicle, the vehicle menu below it are drawn every frame, and Tab
// moves the keys from one to the other. Every close saves the settings.
class InGameMenu {
public:
    static constexpr int kTabKey = 9;
    static constexpr float kVehicleMenuX = 100.0f;
    static constexpr float kVehicleMenuY = 300.0f;

    explicit InGameMenu(Runtime& runtime);
    InGameMenu(const InGameMenu&) = delete;
    InGameMenu& operator=(const InGameMenu&) = delete;

    // Once per frame, after the debug lines: the cheat code, then the menus.
    void OnFrame();
    // Takes the configuration menu's position and scale from the settings
    // just read (the vehicle menu follows it when drawn).
    void ApplySettings();

    bool menuOpen() const { return menuOpen_; }
    TextMenu& configMenu() { return config_; }
    const TextMenu& configMenu() const { return config_; }
    // Its currentPage and hoveredLabel tell which value the player is
    // tuning: the foot-shift handle shows its aid for "BikeShift".
    TextMenu& vehicleMenu() { return vehicle_; }
    const TextMenu& vehicleMenu() const { return vehicle_; }

private:
    // The cheat code, in any letter case, as the newest typed characters.
    bool CheatCodeTyped() const;
    // The rig of the vehicle the player sits in, or null.
    CabinIk* PlayerRig() const;
    void DrawMenus();
    void SwitchFocus();
    void SaveSettings();

    Runtime& runtime_;
    TextMenu config_;
    TextMenu vehicle_;
    ConfigMenuPages configPages_;
    VehicleMenuPages vehiclePages_;
    bool menuOpen_ = false;
};

}  // namespace kovra
