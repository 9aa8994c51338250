#pragma once

#include <cstdint>
#include <string>

namespace kovra {

// A running animation on a simulated character: its name and the game's name
// key of that name.
struct HostAnimation {
    std::string name;
    std::uint32_t nameKey = 0;
};

}  // namespace kovra
