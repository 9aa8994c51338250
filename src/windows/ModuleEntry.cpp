// kovra.asi: the game loads it at start-up and constructs its one global
// object, which starts the plugin (ModuleStartup). From then on everything
// happens in the game's calls to the hooked sites.
#include "windows/ModuleStartup.h"

namespace {

struct Module {
    Module() noexcept { kovra::windows::ModuleStartup::Run(); }
};

// The one global object.
Module theModule;

}  // namespace
