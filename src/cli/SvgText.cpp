#include "cli/SvgText.h"

#include "kovra/config/NumberFormat.h"

namespace kovra::cli {

std::string SvgNumber(double v, int decimals) {
    std::string s = formatFixed(v, decimals);
    // SVG wants the shortest spelling: no trailing zeros, no "-0".
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    if (s == "-0") s = "0";
    return s;
}

std::string SvgEscape(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                // Control characters are not allowed in XML 1.0 text.
                if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') out += c;
        }
    }
    return out;
}

std::string SvgColour(std::uint32_t abgr) {
    constexpr char kHex[] = "0123456789abcdef";
    std::string out = "#";
    for (int shift : {0, 8, 16}) {  // red, green, blue bytes
        const unsigned byte = (abgr >> shift) & 0xffu;
        out += kHex[byte >> 4];
        out += kHex[byte & 15u];
    }
    return out;
}

std::string SvgOpacity(std::uint32_t abgr) { return SvgNumber(static_cast<double>(abgr >> 24) / 255.0, 3); }

}  // namespace kovra::cli
