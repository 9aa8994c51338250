#include "kovra/host/Paths.h"

#include "kovra/config/PathText.h"
#include "kovra/host/Host.h"

namespace kovra {

namespace {
constexpr const char* kBoxTitle = "plugin-sdk";

// In the platform's own separators, as the paths joined to it and found
// under it have them, so that a path is spelt one way wherever it shows.
std::string Preferred(const std::string& dir) { return TextFromPath(PathFromText(dir).make_preferred()); }
}  // namespace

const std::string& Paths::GameDirectory() {
    if (!game_) {
        std::string dir;
        if (!host_.GameDirectory(dir)) {
            host_.ShowErrorBox(kBoxTitle, "FILESYSTEM\nFailed to retrieve game dir path");
        }
        game_ = Preferred(dir);
    }
    return *game_;
}

const std::string& Paths::PluginDirectory() {
    if (!plugin_) {
        std::string dir;
        if (!host_.PluginDirectory(dir)) {
            host_.ShowErrorBox(kBoxTitle, "FILESYSTEM\nFailed to retrieve plugin dir path");
        }
        plugin_ = Preferred(dir);
    }
    return *plugin_;
}

}  // namespace kovra
