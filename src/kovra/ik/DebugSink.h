#pragma once

#include <cstdint>
#include <span>

#include "kovra/ik/Vector3.h"

namespace kovra {

// Where the solver shows what it did. The debug-line queue implements it;
// with none attached, nothing is drawn.
class DebugSink {
public:
    virtual ~DebugSink() = default;
    virtual void DrawChain(std::span<const Vector3> joints, std::uint32_t colour) = 0;
};

}  // namespace kovra
