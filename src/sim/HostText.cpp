#include "sim/HostText.h"

#include <algorithm>

namespace kovra::sim {

namespace {

// The game's palette for the colour codes, 0x00BBGGRR.
Colour CodeColour(char code, Colour styleColour, bool& known) {
    known = true;
    switch (code) {
        case 'w': return 0xe1e1e1u;
        case 'r': return 0x1d19b4u;
        case 'g': return 0x2c6836u;
        case 'b': return 0x7f3c32u;
        case 'y': return 0x63c0e2u;
        case 'p': return 0xfc6ea8u;
        case 'l': return 0x000000u;
        case 's': return styleColour & 0xffffffu;
        default: known = false; return 0;
    }
}

}  // namespace

Colour Brightened(Colour colour, int highlight) {
    Colour out = colour & 0xff000000u;
    for (int shift : {0, 8, 16}) {
        int c = static_cast<int>((colour >> shift) & 0xffu);
        for (int i = 0; i < highlight; ++i) c += (255 - c) / 3;
        out |= static_cast<Colour>(std::min(c, 255)) << shift;
    }
    return out;
}

std::vector<HostTextRun> SplitHostText(std::string_view text, Colour styleColour) {
    std::vector<HostTextRun> runs;
    HostTextRun current;
    current.colour = styleColour;
    const auto flush = [&] {
        if (!current.text.empty()) {
            runs.push_back(current);
            current.column += static_cast<int>(current.text.size());
            current.text.clear();
        }
    };
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t close = text[i] == '~' ? text.find('~', i + 1) : std::string_view::npos;
        if (close == std::string_view::npos) {
            current.text += text[i++];
            continue;
        }
        flush();
        const std::string_view code = text.substr(i + 1, close - i - 1);
        i = close + 1;
        if (code.size() != 1) continue;
        bool known = false;
        const Colour rgb = CodeColour(code[0], styleColour, known);
        if (known) {
            current.colour = (styleColour & 0xff000000u) | rgb;
            current.highlight = 0;
        } else if (code[0] == 'h') {
            ++current.highlight;
        } else if (code[0] == 'n') {
            ++current.line;
            current.column = 0;
        }
    }
    flush();
    return runs;
}

int HostTextGlyphs(std::string_view text) {
    int widest = 0;
    for (const HostTextRun& run : SplitHostText(text, 0)) {
        widest = std::max(widest, run.column + static_cast<int>(run.text.size()));
    }
    return widest;
}

}  // namespace kovra::sim
