// WindowsHost's reads of the game's records, over records laid out as the
// test host's description says.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

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

// The name-key routine in each shape a description may give it: the key
// comes back only when the text reaches the routine where it looks for it.
std::uint32_t CdeclKey(const char* name) { return name[0] == 'k' ? 1u : 0u; }
std::uint32_t __attribute__((stdcall)) StdcallKey(const char* name) { return name[0] == 'k' ? 2u : 0u; }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"
std::uint32_t __attribute__((thiscall)) ThiscallKey(const char* name) { return name[0] == 'k' ? 3u : 0u; }
#pragma GCC diagnostic pop

TEST(WindowsHostDescription, RoutinesAreCalledInTheirShapeAndValuesReadAsTyped) {
    HostBuild build = kTestHostBuild10;
    build.preferredBase = 0;
    const auto address = [](auto* f) { return static_cast<Address>(reinterpret_cast<std::uintptr_t>(f)); };
    WindowsHost host(build, 0, &kModule);
    build.routines.nameKey = {address(&CdeclKey), CallShape::Cdecl};
    EXPECT_EQ(host.NameKey("kovra"), 1u);
    build.routines.nameKey = {address(&StdcallKey), CallShape::Stdcall};
    EXPECT_EQ(host.NameKey("kovra"), 2u);
    build.routines.nameKey = {address(&ThiscallKey), CallShape::Thiscall};
    EXPECT_EQ(host.NameKey("kovra"), 3u);

    // The camera behind two pointers, a gear of four bytes, a model id of two unsigned.
    struct Camera {
        float pad;
        Vector3 position;
    } camera{0.0f, {1.0f, 2.0f, 3.0f}};
    struct Holder {
        std::uint32_t pad;
        Camera* camera;
    } holder{0, &camera};
    Holder* root = &holder;
    build.globals.cameraPosition.address = address(&root);
    build.globals.cameraPosition.hopCount = 2;
    build.globals.cameraPosition.hops[0] = 4;
    build.globals.cameraPosition.hops[1] = 4;
    const Vector3 at = host.CameraPosition();
    EXPECT_EQ(at.x, 1.0f);
    EXPECT_EQ(at.z, 3.0f);
    holder.camera = nullptr;
    EXPECT_EQ(host.CameraPosition().x, 0.0f) << "a null pointer on the way reads nothing";

    std::array<std::uint8_t, 192> vehicle{};
    const std::int32_t gear = 70000;
    std::memcpy(vehicle.data() + 60, &gear, sizeof gear);
    const std::uint16_t model = 40000;
    std::memcpy(vehicle.data(), &model, sizeof model);
    build.vehicle.gear = 60;
    build.vehicle.gearType = FieldType::Int32;
    build.vehicle.modelIdType = FieldType::UInt16;
    const auto* v = reinterpret_cast<const CVehicle*>(vehicle.data());
    EXPECT_EQ(host.ReadVehicleState(v).gear, 70000);
    EXPECT_EQ(host.VehicleModelId(v), 40000);
}

}  // namespace
}  // namespace kovra::windows
