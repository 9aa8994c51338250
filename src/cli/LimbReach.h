#pragma once

#include <string>
#include <vector>

#include "kovra/ik/Skeleton.h"

namespace kovra::cli {

// How well the limb solver brought one hand or foot to a set of targets on
// the simulated driver.
struct LimbReachResult {
    std::string limb;
    NodeIndex endNode = 0;
    int targets = 0;
    int reached = 0;          // targets the solver reported within reach
    float maxError = 0.0f;    // metres between the posed end bone and its target
    float meanError = 0.0f;
};

struct LimbReachOptions {
    float spacing = 0.08f;     // metres between neighbouring targets
    int stepsPerAxis = 2;      // targets from -steps to +steps along each axis
    float reachFraction = 0.95f;  // targets farther than this share of the limb are left out
};

// Seats a driver in the built-in sedan and, for each limb, solves towards a
// grid of targets around the limb's rest position that the limb can reach.
std::vector<LimbReachResult> MeasureLimbReach(const LimbReachOptions& options = {});

}  // namespace kovra::cli
