#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Text pieces every SVG the tool writes is made of.
namespace kovra::cli {

// Fixed notation without trailing zeros; never the locale's, never "nan".
std::string SvgNumber(double v, int decimals = 1);
// Text safe inside an element or a quoted attribute.
std::string SvgEscape(std::string_view text);
// "#rrggbb" of a colour as the game takes it, 0xAABBGGRR.
std::string SvgColour(std::uint32_t abgr);
// The alpha byte of such a colour as an opacity from 0 to 1.
std::string SvgOpacity(std::uint32_t abgr);

}  // namespace kovra::cli
