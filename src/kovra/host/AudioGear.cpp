#include "kovra/host/AudioGear.h"

#include "kovra/host/Runtime.h"
#include "kovra/rig/CabinIk.h"

namespace kovra {

void OnVehicleAudioGear(Runtime& runtime, CAEVehicleAudioEntity* /*audio*/, cVehicleParams* params) {
    if (params == nullptr) return;
    CVehicle* vehicle = runtime.host().AudioParamsVehicle(params);
    if (vehicle == nullptr) return;
    if (CabinIk* rig = runtime.rigs().RigOf(vehicle)) rig->OnAudioGearChange();
}

}  // namespace kovra
