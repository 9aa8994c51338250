#pragma once

#include "kovra/host/HostTypes.h"

namespace kovra {

class Runtime;

// After the host's vehicle-audio step (VehicleAudioGearEvent): when the
// engine sound of the parameter record's vehicle changed gear, that
// vehicle's simulated gear goes up one step (CabinIk::OnAudioGearChange).
// Runs whatever Vanilla_Sound_Gearing says; a record without a vehicle or
// a vehicle without a rig is left alone.
void OnVehicleAudioGear(Runtime& runtime, CAEVehicleAudioEntity* audio, cVehicleParams* params);

}  // namespace kovra
