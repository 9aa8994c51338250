#pragma once

#include <cstddef>
#include <cstdint>

#include "kovra/ik/Vector3.h"

namespace kovra {

// The host's 64-byte frame: rows are the local X, Y and Z axes and the
// origin, expressed in the parent's (or world) space; points are row vectors,
// p_world = pos + x*right + y*up + z*at. Shared byte for byte with the host.
struct FrameMatrix {
    Vector3 right{1.0f, 0.0f, 0.0f};
    std::uint32_t flags = 0;
    Vector3 up{0.0f, 1.0f, 0.0f};
    std::uint32_t pad0 = 0;
    Vector3 at{0.0f, 0.0f, 1.0f};
    std::uint32_t pad1 = 0;
    Vector3 pos{0.0f, 0.0f, 0.0f};
    std::uint32_t pad2 = 0;

    static constexpr FrameMatrix Identity() { return {}; }
};

static_assert(sizeof(Vector3) == 12, "Vector3 must be three packed floats");
static_assert(sizeof(FrameMatrix) == 64, "FrameMatrix must match the host's 64-byte frame");
static_assert(offsetof(FrameMatrix, right) == 0);
static_assert(offsetof(FrameMatrix, flags) == 12);
static_assert(offsetof(FrameMatrix, up) == 16);
static_assert(offsetof(FrameMatrix, at) == 32);
static_assert(offsetof(FrameMatrix, pos) == 48);

}  // namespace kovra
