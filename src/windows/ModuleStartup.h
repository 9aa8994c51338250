#pragma once

namespace kovra::windows {

// What the module does while the game loads it: recognise the build, build
// the plugin's Runtime on it, and say in "kovra.log" what it did. All or
// nothing: a start-up that fails in any way puts every byte of the game it
// wrote back and says what failed where. A second copy of the module in the
// same game changes nothing and adds a line saying so.
class ModuleStartup {
public:
    static void Run() noexcept;
};

}  // namespace kovra::windows
