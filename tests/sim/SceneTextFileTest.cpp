#include <gtest/gtest.h>

#include <string>

#include "kovra/config/ConfigTestSupport.h"
#include "sim/Scenario.h"
#include "sim/SceneFile.h"

namespace kovra::sim {
namespace {

// A scenario may name any path: one that is no regular file (a named pipe
// would wait for a writer forever) is refused at once with its name.
TEST(SceneTextFile, OnlyRegularFilesAreRead) {
    KOVRA_SKIP_WITHOUT_POSIX_FILES();
    test::TempDir dir;
    const auto pipe = dir / "pipe.vehicle";
    ASSERT_TRUE(test::makeNamedPipe(pipe));
    std::string text, error;
    EXPECT_FALSE(ReadSceneTextFile(pipe, kMaxSceneFileBytes, text, error));
    EXPECT_NE(error.find("pipe.vehicle: is not a regular file"), std::string::npos) << error;
    EXPECT_FALSE(Scenario::Parse("kovra-scenario 1\nframes 10\nvehicle " + pipe.string() + "\n", "s",
                                 dir.path(), &error));
}

}  // namespace
}  // namespace kovra::sim
