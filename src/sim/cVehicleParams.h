#pragma once

struct CVehicle;

// The parameter record the simulated vehicle audio passes along.
struct cVehicleParams {
    CVehicle* vehicle = nullptr;
};
