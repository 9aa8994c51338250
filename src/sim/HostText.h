#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "kovra/host/HostTypes.h"

namespace kovra::sim {

// One stretch of screen text in one colour, as the game's inline codes give
// it: "~w~" white, "~r~" red, "~g~" green, "~b~" blue, "~y~" yellow, "~p~"
// purple, "~l~" black, "~s~" the style's own colour, "~h~" one step
// brighter (it adds up), "~n~" a new line. Codes take no room; an unknown
// code is dropped.
struct HostTextRun {
    std::string text;
    Colour colour = 0xffffffffu;  // 0xAABBGGRR; alpha as the style's
    int highlight = 0;            // "~h~" steps in force
    int line = 0;                 // 0 for the first line
    int column = 0;               // glyphs before it on its line
};

// The runs of `text` drawn in a style whose colour is `styleColour`.
std::vector<HostTextRun> SplitHostText(std::string_view text, Colour styleColour);
// Glyphs on the longest line of `text`.
int HostTextGlyphs(std::string_view text);
// The colour with `highlight` steps of a third of the way to white.
Colour Brightened(Colour colour, int highlight);

}  // namespace kovra::sim
