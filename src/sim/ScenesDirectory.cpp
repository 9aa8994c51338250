// The one file that knows where the source tree is: every other file compiles
// the same in any clone, so a compiler cache shared by clones serves them.
#include "sim/SceneFile.h"

namespace kovra::sim {

std::filesystem::path BuiltInScenesDirectory() {
#ifdef KOVRA_SCENES_DIR
    return std::filesystem::path(KOVRA_SCENES_DIR);
#else
    return std::filesystem::path("scenes");
#endif
}

}  // namespace kovra::sim
