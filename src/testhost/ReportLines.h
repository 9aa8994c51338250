#pragma once

#include <cstdio>
#include <string>

#include "kovra/host/HostTypes.h"

// How the test host's report writes what was drawn, so that the tests
// write the simulated game's the same way and compare text with text.
namespace kovra::testhost {

inline std::string StyleText(const TextStyle& s) {
    char text[128];
    std::snprintf(text, sizeof text, "%.3f %.3f %08X %d %d %.3f %d %d %d %08X", s.scaleX, s.scaleY,
                  static_cast<unsigned>(s.colour), static_cast<int>(s.align), s.background ? 1 : 0, s.wrapWidth, s.font,
                  s.proportional ? 1 : 0, s.shadow, static_cast<unsigned>(s.shadowColour));
    return text;
}

inline std::string RectText(float left, float top, float right, float bottom, Colour colour) {
    char text[96];
    std::snprintf(text, sizeof text, "%.3f %.3f %.3f %.3f %08X", left, top, right, bottom, static_cast<unsigned>(colour));
    return text;
}

}  // namespace kovra::testhost
