#pragma once

#include <optional>
#include <string>

namespace kovra {

class Host;

// The game's and the plugin's folders, each with a trailing separator and
// spelt with the platform's separators (backslashes on Windows), found once
// and kept. A folder that cannot be found is reported in a message box once;
// the path is then whatever the host gave.
class Paths {
public:
    explicit Paths(Host& host) : host_(host) {}

    const std::string& GameDirectory();
    const std::string& PluginDirectory();

private:
    Host& host_;
    std::optional<std::string> game_;
    std::optional<std::string> plugin_;
};

}  // namespace kovra
