#pragma once

struct CVehicle;

// The two-wheeler part of a simulated vehicle.
struct CBike {
    CVehicle* vehicle = nullptr;
    // The handlebar angle the game draws, radians; the game's own choice is
    // the steering angle, the plugin may override it every frame.
    float drawnBarAngle = 0.0f;
    int drawnBarAngleWrites = 0;  // how often the plugin set it
};
