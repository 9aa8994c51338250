#include "kovra/host/Paths.h"

#include "kovra/host/Host.h"

namespace kovra {

namespace {
constexpr const char* kBoxTitle = "plugin-sdk";
}  // namespace

const std::string& Paths::GameDirectory() {
    if (!game_) {
        std::string dir;
        if (!host_.GameDirectory(dir)) {
            host_.ShowErrorBox(kBoxTitle, "FILESYSTEM\nFailed to retrieve game dir path");
        }
        game_ = dir;
    }
    return *game_;
}

const std::string& Paths::PluginDirectory() {
    if (!plugin_) {
        std::string dir;
        if (!host_.PluginDirectory(dir)) {
            host_.ShowErrorBox(kBoxTitle, "FILESYSTEM\nFailed to retrieve plugin dir path");
        }
        plugin_ = dir;
    }
    return *plugin_;
}

}  // namespace kovra
