// WindowsHost's reads of the game's records, over records laid out as the
// test host's description says.
#include <gtest/gtest.h>

#include <array>

#include "testhost/GameTypes.h"
#include "windows/TestHostBuilds.h"
#include "windows/WindowsHost.h"

namespace kovra::windows {
namespace {

using testhost::TClump;
using testhost::THierarchy;
using testhost::TPed;

const char kModule = 0;

// A character whose model has fewer nodes than the full skeleton: its
// frame data and matrices end after its own nodes.
TEST(WindowsHostSkeleton, BoneFramesAndMatricesStayWithinTheCharactersOwnNodes) {
    constexpr int kOwnNodes = 12;
    std::array<BoneFrame, kOwnNodes> frames{};
    std::array<FrameMatrix, kOwnNodes> matrices{};
    std::array<std::int32_t, kOwnNodes> ids{};
    THierarchy hierarchy{kOwnNodes, ids.data(), matrices.data()};
    TClump clump{nullptr, &hierarchy};
    TPed ped{};
    ped.clump = &clump;
    ped.frameData = frames.data();
    auto* p = reinterpret_cast<CPed*>(&ped);

    const HostBuild& build = kTestHostBuild10;
    WindowsHost host(build, build.preferredBase, &kModule);
    EXPECT_EQ(host.BoneFrameData(p, 0), &frames[0]);
    EXPECT_EQ(host.BoneFrameData(p, kOwnNodes - 1), &frames[kOwnNodes - 1]);
    EXPECT_EQ(host.BoneFrameData(p, kOwnNodes), nullptr);
    EXPECT_EQ(host.BoneFrameData(p, 31), nullptr);
    EXPECT_EQ(host.BoneFrameData(p, -1), nullptr);
    EXPECT_EQ(host.BoneMatrix(p, kOwnNodes - 1), &matrices[kOwnNodes - 1]);
    EXPECT_EQ(host.BoneMatrix(p, kOwnNodes), nullptr);

    TPed modelless{};  // no model instance: no nodes at all
    modelless.frameData = frames.data();
    EXPECT_EQ(host.BoneFrameData(reinterpret_cast<CPed*>(&modelless), 0), nullptr);
}

}  // namespace
}  // namespace kovra::windows
