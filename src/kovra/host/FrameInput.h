#pragma once

#include <cstdint>

#include "kovra/host/Keyboard.h"

namespace kovra {

class Host;
struct GlobalSettings;

// What the plugin takes in at the start of every frame: the keyboard, fresh
// skeletons for the characters in vehicles, and whether the companion
// module is loaded (asked every 100 frames).
class FrameInput {
public:
    static constexpr const char* kCompanionModule = "QDRNX.asi";
    static constexpr std::int32_t kCompanionPollFrames = 100;

    void Run(Host& host, const GlobalSettings& settings);

    Keyboard keyboard;
    bool companionPresent = false;
    std::int32_t companionPollCountdown = 0;
};

}  // namespace kovra
