#include "cli/ScreenPicture.h"

#include <algorithm>

#include "cli/SvgText.h"
#include "kovra/config/FileReplace.h"
#include "sim/HostText.h"

namespace kovra::cli {

namespace {

// The simulated game's metrics: a glyph is 10 units wide at text scale 1, a
// line of the menu 18 units high per unit of height scale.
constexpr float kGlyphWidth = 10.0f;
constexpr float kFontSizePerScaleY = 13.5f;
constexpr float kBaselineShare = 0.8f;  // of the font size, below the text's top
constexpr float kMonoAdvance = 0.6f;    // a monospaced glyph's width per unit of font size
constexpr float kLineSpacing = 18.0f;   // per unit of height scale, for "~n~"
// A timed message is drawn at this scale, centred this far up from the bottom.
constexpr float kMessageScaleX = 0.8f;
constexpr float kMessageScaleY = 1.6f;
constexpr float kMessageBottomShare = 0.15f;
constexpr const char* kBackground = "#1e2329";

enum class Anchor { Left, Centre };

// One drawn text: each coloured run placed by its glyph column so that it is
// as wide as the game measured it, first its shadow, then itself.
void DrawText(std::string& out, float x, float y, const std::string& text, const TextStyle& style,
              Anchor anchor) {
    const float glyph = kGlyphWidth * style.scaleX;
    const float fontSize = kFontSizePerScaleY * style.scaleY;
    const std::vector<sim::HostTextRun> runs = sim::SplitHostText(text, style.colour);
    std::vector<int> lineGlyphs;
    for (const sim::HostTextRun& run : runs) {
        if (static_cast<std::size_t>(run.line) >= lineGlyphs.size()) lineGlyphs.resize(run.line + 1, 0);
        lineGlyphs[run.line] = std::max(lineGlyphs[run.line], run.column + static_cast<int>(run.text.size()));
    }
    for (int pass = style.shadow != 0 ? 0 : 1; pass < 2; ++pass) {
        const bool shadow = pass == 0;
        const float offset = shadow ? static_cast<float>(style.shadow) : 0.0f;
        for (const sim::HostTextRun& run : runs) {
            const float lineX =
                anchor == Anchor::Centre ? x - 0.5f * glyph * static_cast<float>(lineGlyphs[run.line]) : x;
            const float runX = lineX + glyph * static_cast<float>(run.column) + offset;
            const float runY = y + kLineSpacing * style.scaleY * static_cast<float>(run.line) +
                               kBaselineShare * fontSize + offset;
            const Colour colour = shadow ? style.shadowColour : sim::Brightened(run.colour, run.highlight);
            // The style's alpha applies to the shadow as well.
            const Colour alpha = std::min(colour >> 24, style.colour >> 24) << 24;
            // A monospaced font squeezed to the game's glyph width.
            out += "<text transform=\"translate(" + SvgNumber(runX) + " " + SvgNumber(runY) + ") scale(" +
                   SvgNumber(glyph / (kMonoAdvance * fontSize), 3) + " 1)\" font-size=\"" +
                   SvgNumber(fontSize) + "\" fill=\"" + SvgColour(colour) +
                   "\" fill-opacity=\"" + SvgOpacity(alpha) + "\"" +
                   (run.highlight > 0 && !shadow ? " font-weight=\"bold\"" : "") + ">" +
                   SvgEscape(run.text) + "</text>\n";
        }
    }
}

}  // namespace

ScreenSnapshot CaptureScreen(const sim::SimHost& host, std::string caption) {
    ScreenSnapshot snap;
    snap.width = host.ScreenWidth();
    snap.height = host.ScreenHeight();
    snap.caption = std::move(caption);
    snap.texts = host.drawnTexts;
    snap.rects = host.drawnRects;
    if (const sim::SimHost::TimedMessage* message = host.MessageOnScreen()) snap.message = message->text;
    return snap;
}

std::string RenderScreenSvg(const ScreenSnapshot& snap) {
    const std::string w = SvgNumber(snap.width);
    const std::string h = SvgNumber(snap.height);
    std::string out = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + w + "\" height=\"" + h +
                      "\" viewBox=\"0 0 " + w + " " + h +
                      "\" xml:space=\"preserve\" font-family=\"DejaVu Sans Mono, Consolas, monospace\">\n";
    out += "<rect x=\"0\" y=\"0\" width=\"" + w + "\" height=\"" + h + "\" fill=\"" + kBackground + "\"/>\n";
    for (const sim::SimHost::DrawnRect& r : snap.rects) {
        const float left = std::min(r.left, r.right);
        const float top = std::min(r.top, r.bottom);
        out += "<rect x=\"" + SvgNumber(left) + "\" y=\"" + SvgNumber(top) + "\" width=\"" +
               SvgNumber(std::max(r.left, r.right) - left) + "\" height=\"" +
               SvgNumber(std::max(r.top, r.bottom) - top) + "\" fill=\"" + SvgColour(r.colour) +
               "\" fill-opacity=\"" + SvgOpacity(r.colour) + "\"/>\n";
    }
    for (const sim::SimHost::DrawnText& t : snap.texts) DrawText(out, t.x, t.y, t.text, t.style, Anchor::Left);
    if (!snap.message.empty()) {
        TextStyle style;
        style.scaleX = kMessageScaleX;
        style.scaleY = kMessageScaleY;
        const float y = static_cast<float>(snap.height) * (1.0f - kMessageBottomShare);
        DrawText(out, 0.5f * static_cast<float>(snap.width), y, snap.message, style, Anchor::Centre);
    }
    if (!snap.caption.empty()) {
        out += "<text x=\"8\" y=\"" + SvgNumber(snap.height - 8) +
               "\" font-size=\"12\" fill=\"#8a949e\">" + SvgEscape(snap.caption) + "</text>\n";
    }
    out += "</svg>\n";
    return out;
}

bool WriteScreenSvg(const ScreenSnapshot& snapshot, const std::filesystem::path& path,
                    std::string* error) {
    if (replaceFileContents(path, RenderScreenSvg(snapshot))) return true;
    if (error) *error = path.string() + ": cannot be written";
    return false;
}

}  // namespace kovra::cli
