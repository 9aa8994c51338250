#pragma once

#include <array>
#include <cstdint>

namespace kovra {

class Host;

// The keyboard as it was at this frame's start and at the last one, one byte
// per Windows virtual-key code (bit 7: down).
class Keyboard {
public:
    // Moves the current keys to the previous ones and reads the host's.
    void Snapshot(const Host& host);
    bool KeyDown(int vk) const;
    // Went down since the last frame.
    bool KeyPressed(int vk) const;

    std::array<std::uint8_t, 256> currentKeys{};
    std::array<std::uint8_t, 256> previousKeys{};
};

}  // namespace kovra
