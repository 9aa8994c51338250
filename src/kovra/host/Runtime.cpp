#include "kovra/host/Runtime.h"

#include <filesystem>
#include <iostream>

#include "kovra/config/PathText.h"
#include "kovra/host/AudioGear.h"
#include "kovra/rig/CabinIk.h"

namespace kovra {

Runtime::Runtime(Host& host)
    : host_(host),
      events_(host),
      rigs_(*this),
      initialised_((rigs_.Register(events_), MainInitialisation())),
      paths_(host),
      debug_(host),
      solver_(host, &debug_),
      driverSide_(*this),
      menu_(*this),
      store_(*this) {}

bool Runtime::MainInitialisation() {
    const bool patched = host_.PatchStartupByte(kStartupByte);
    HostEvents& e = events_;
    e.engineReady.Subscribe(EventList::After, [this] { OnEngineReady(); });
    e.pedIk.Subscribe(EventList::Before, [this](CPed* ped) { driverSide_.OnPedIk(ped); });
    e.pedHead.Subscribe(EventList::Before, [this](CPed* ped) {
        if (input_.companionPresent) driverSide_.OnPedHead(ped);
    });
    e.vehicleProcess.Subscribe(EventList::Before, [this](CVehicle* v) { OnVehicleProcess(v); });
    e.vehicleFrameEnd.Subscribe(EventList::After, [this](CVehicle* v) { OnVehicleFrameEnd(v); });
    e.frame.Subscribe(EventList::Before, [this](int) { OnFrame(); });
    e.overlayB.Subscribe(EventList::After, [this] { OnOverlay(); });
    e.seatPlacement.Subscribe(EventList::Before,
                              [this](CPed* ped) { driverSide_.OnSeatPlacementBefore(ped); });
    e.seatPlacement.Subscribe(EventList::After,
                              [this](CPed* ped) { driverSide_.OnSeatPlacementAfter(ped); });
    e.bikeProcess.Subscribe(EventList::Before, [this](CBike* bike) { driverSide_.OnBikeProcess(bike); });
    // The engine sound steps the simulated gear up.
    e.vehicleAudioGear.Subscribe(EventList::After, [this](CAEVehicleAudioEntity* audio, cVehicleParams* params) {
        OnVehicleAudioGear(*this, audio, params);
    });
    // The in-game menu, drawn over the debug lines.
    e.overlayB.Subscribe(EventList::After, [this] { menu_.OnFrame(); });
    return patched;
}

void Runtime::OnEngineReady() {
    const std::filesystem::path folder = PathFromText(paths_.PluginDirectory());
    loadGlobalSettings(folder / kGlobalSettingsFileName, settings_);
    menu_.ApplySettings();
    priorities_ = loadPriorityAnimations(folder / kPriorityAnimationsFileName, host_);
    // Without the game's folder there is no mod tree to read (an empty path
    // would scan the working directory instead).
    const std::string& gameDirectory = paths_.GameDirectory();
    if (!gameDirectory.empty()) store_.loadAllAtStartup(PathFromText(gameDirectory), std::cerr);
}

void Runtime::OnFrame() { input_.Run(host_, settings_); }

void Runtime::OnVehicleProcess(CVehicle* vehicle) {
    if (CabinIk* rig = rigs_.RigOf(vehicle)) rig->UpdateVehicle();
}

void Runtime::OnVehicleFrameEnd(CVehicle* vehicle) {
    if (CabinIk* rig = rigs_.RigOf(vehicle)) rig->dispatched = false;
}

void Runtime::OnOverlay() { debug_.FlushDebugDraw(); }

}  // namespace kovra
