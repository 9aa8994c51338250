#pragma once

#include <vector>

#include "kovra/ik/Vector3.h"

namespace kovra {

// The simulated game's renderable object: just the vertices of its first
// morph target, in the owning frame's space.
struct HostRenderable {
    std::vector<Vector3> vertices;
};

}  // namespace kovra
