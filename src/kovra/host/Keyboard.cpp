#include "kovra/host/Keyboard.h"

#include "kovra/host/Host.h"

namespace kovra {

namespace {
constexpr std::uint8_t kDownBit = 0x80;
bool InRange(int vk) { return vk >= 0 && vk < 256; }
}  // namespace

void Keyboard::Snapshot(const Host& host) {
    previousKeys = currentKeys;
    host.ReadKeyboard(currentKeys.data());
}

bool Keyboard::KeyDown(int vk) const { return InRange(vk) && (currentKeys[vk] & kDownBit) != 0; }

bool Keyboard::KeyPressed(int vk) const {
    return KeyDown(vk) && (previousKeys[vk] & kDownBit) == 0;
}

}  // namespace kovra
