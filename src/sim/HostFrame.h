#pragma once

#include <memory>
#include <string>

#include "kovra/ik/FrameMatrix.h"
#include "sim/HostRenderable.h"

namespace kovra {

// A node of a simulated vehicle's frame hierarchy. The world matrix is a
// cache: the hierarchy recomputes it from the modelling matrices whenever it
// is asked for (see sim::FrameHierarchy).
struct HostFrame {
    std::string name;
    HostFrame* parent = nullptr;
    HostFrame* firstChild = nullptr;
    HostFrame* nextSibling = nullptr;
    FrameMatrix modelling;
    FrameMatrix world;
    // Root only: the matrix its world follows (the vehicle's body matrix).
    const FrameMatrix* anchor = nullptr;
    std::unique_ptr<HostRenderable> renderable;  // null when the frame has none
};

}  // namespace kovra
