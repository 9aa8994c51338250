#include "kovra/host/FrameInput.h"

#include "kovra/config/GlobalSettings.h"
#include "kovra/host/Host.h"

namespace kovra {

void FrameInput::Run(Host& host, const GlobalSettings& settings) {
    keyboard.Snapshot(host);

    // The handles read bone matrices before the game has posed anyone this
    // frame, so the characters that may be posed get theirs brought up to date.
    if (settings.Allow_NPCs) {
        const int capacity = host.PedPoolCapacity();
        for (int slot = 0; slot < capacity; ++slot) {
            CPed* ped = host.PedInSlot(slot);
            if (ped != nullptr && host.PedInVehicle(ped)) host.UpdateSkeleton(ped);
        }
    } else if (CPed* player = host.PlayerPed(); player != nullptr && host.PedInVehicle(player)) {
        host.UpdateSkeleton(player);
    }

    if (--companionPollCountdown <= 0) {
        companionPresent = host.ModuleLoaded(kCompanionModule);
        companionPollCountdown = kCompanionPollFrames;
    }
}

}  // namespace kovra
