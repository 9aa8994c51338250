#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "sim/SimHost.h"

namespace kovra::cli {

// What the simulated game's screen showed in one frame, copied out so that
// drawing it needs neither the host nor the plugin.
struct ScreenSnapshot {
    int width = 0;
    int height = 0;
    std::string caption;  // written small under the screen's own contents
    std::vector<sim::SimHost::DrawnText> texts;
    std::vector<sim::SimHost::DrawnRect> rects;
    std::string message;  // the timed message on screen, or empty

    bool HasDrawing() const { return !texts.empty() || !rects.empty() || !message.empty(); }
};

// The screen texts and rectangles drawn since the host's records were last
// cleared, and the timed message on screen.
ScreenSnapshot CaptureScreen(const sim::SimHost& host, std::string caption);

// One SVG document at the screen's size: the rectangles, then every text in
// the colours its codes give (with its shadow, scale and alpha, glyphs as
// wide as the simulated game measures them), then the timed message centred
// near the bottom. The text depends only on the snapshot.
std::string RenderScreenSvg(const ScreenSnapshot& snapshot);

// Writes RenderScreenSvg's text through a temporary file; false, with the
// reason in *error, when the file cannot be written.
bool WriteScreenSvg(const ScreenSnapshot& snapshot, const std::filesystem::path& path,
                    std::string* error = nullptr);

}  // namespace kovra::cli
