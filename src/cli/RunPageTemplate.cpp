// The one file of the program that knows the build folder: every other file
// compiles the same in any clone, so a compiler cache shared by clones serves
// them.
#include "cli/RunPage.h"

namespace kovra::cli {

std::filesystem::path RunPageTemplate() {
#ifdef KOVRA_RUN_PAGE_TEMPLATE
    return std::filesystem::path(KOVRA_RUN_PAGE_TEMPLATE);
#else
    return std::filesystem::path("report-page.html");
#endif
}

}  // namespace kovra::cli
