#pragma once

struct CVehicle;

// The simulated game's audio entity of a vehicle; only its owner matters.
struct CAEVehicleAudioEntity {
    CVehicle* vehicle = nullptr;
};
