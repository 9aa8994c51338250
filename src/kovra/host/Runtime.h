#pragma once

#include "kovra/config/GlobalSettings.h"
#include "kovra/config/PriorityAnimations.h"
#include "kovra/config/VehicleConfigStore.h"
#include "kovra/host/FrameInput.h"
#include "kovra/host/Host.h"
#include "kovra/host/HostEvents.h"
#include "kovra/host/Paths.h"
#include "kovra/ik/DebugDrawQueue.h"
#include "kovra/ik/LimbSolver.h"
#include "kovra/menu/InGameMenu.h"
#include "kovra/rig/DriverSide.h"
#include "kovra/rig/VehicleExtendedData.h"

namespace kovra {

// All process-wide state of the plugin, built in start-up order: the
// per-vehicle rigs hook the vehicle pool, the main initialisation hooks the
// game's events, then the settings, the IK core, the two menus, the priority
// animations and the configuration store come into being. Nothing is read
// from disk until the game's engine is ready. The shipped module owns
// exactly one; tests build a fresh one each. Destroying it takes every hook
// out again.
class Runtime {
public:
    // The start-up byte the main initialisation writes into the game.
    static constexpr std::uint8_t kStartupByte = 50;

    explicit Runtime(Host& host);
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    Host& host() { return host_; }
    HostEvents& events() { return events_; }
    VehicleExtendedData& rigs() { return rigs_; }
    Paths& paths() { return paths_; }
    FrameInput& input() { return input_; }
    GlobalSettings& settings() { return settings_; }
    const GlobalSettings& settings() const { return settings_; }
    DebugDrawQueue& debug() { return debug_; }
    LimbSolver& solver() { return solver_; }
    DriverSide& driverSide() { return driverSide_; }
    InGameMenu& menu() { return menu_; }
    const InGameMenu& menu() const { return menu_; }
    PriorityAnimations& priorities() { return priorities_; }
    VehicleConfigStore& store() { return store_; }
    const VehicleConfigStore& store() const { return store_; }

    // ---- what the events run ------------------------------------------------
    // Settings, then priority animations, from the plugin's folder, then
    // every per-vehicle file under the game's "modloader" folder.
    void OnEngineReady();
    void OnFrame();
    void OnVehicleProcess(CVehicle* vehicle);
    void OnVehicleFrameEnd(CVehicle* vehicle);
    void OnOverlay();

private:
    bool MainInitialisation();

    Host& host_;
    HostEvents events_;
    VehicleExtendedData rigs_;
    bool initialised_;
    Paths paths_;
    FrameInput input_;
    GlobalSettings settings_;
    DebugDrawQueue debug_;  // before the solver, which draws through it
    LimbSolver solver_;
    DriverSide driverSide_;
    InGameMenu menu_;
    PriorityAnimations priorities_;
    VehicleConfigStore store_;
};

}  // namespace kovra
