#pragma once

namespace kovra {

// Rotation quaternion in the host's layout (x, y, z, w).
struct Quaternion {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 1.0f;

    constexpr bool operator==(const Quaternion&) const = default;
    static constexpr Quaternion Identity() { return {0.0f, 0.0f, 0.0f, 1.0f}; }
};

}  // namespace kovra
