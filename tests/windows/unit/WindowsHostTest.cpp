// WindowsHost's reads of the game's records, over records laid out as the
// test host's description says.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

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

// What the game's routines below were given.
struct Received {
    std::string text;
    float x = 0.0f, y = 0.0f;
    std::uint32_t colour = 0;
    std::vector<std::vector<std::uint8_t>> calls;  // the records of each call
    std::vector<int> kinds;
    int refuseCall = -1;  // this call returns 0
};
Received received;

void __attribute__((stdcall)) TextFirstStd(const char* text, float x, float y) {
    received = {};
    received.text = text;
    received.x = x;
    received.y = y;
}
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"
void __attribute__((thiscall)) TextFirstThis(const char* text, float y, float x) {
    received = {};
    received.text = text;
    received.x = x;
    received.y = y;
}
void __attribute__((thiscall)) ColourFirstRect(std::uint32_t colour, float, float, float right, float) {
    received = {};
    received.colour = colour;
    received.x = right;
}
#pragma GCC diagnostic pop

constexpr int kVertexSize = 20;
int VerticesLast(int count, int kind, const std::uint8_t* vertices) {
    received.calls.emplace_back(vertices, vertices + count * kVertexSize);
    received.kinds.push_back(kind);
    return static_cast<int>(received.calls.size()) - 1 == received.refuseCall ? 0 : 1;
}

template <class F>
Address AddressOf(F* f) {
    return static_cast<Address>(reinterpret_cast<std::uintptr_t>(f));
}

// The routines take the signature's arguments in the order the description
// gives, in each convention; thiscall with the first they take in ECX.
TEST(WindowsHostRoutines, ArgumentsArriveInTheRoutinesOwnOrder) {
    HostBuild build = kTestHostBuild10;
    build.preferredBase = 0;
    WindowsHost host(build, 0, &kModule);
    build.routines.drawText = {AddressOf(&TextFirstStd), CallShape::Stdcall, {2, 0, 1, 3, 4}};
    host.DrawText(10.5f, 20.25f, "kovra");
    EXPECT_EQ(received.text, "kovra");
    EXPECT_EQ(received.x, 10.5f);
    EXPECT_EQ(received.y, 20.25f);
    build.routines.drawText = {AddressOf(&TextFirstThis), CallShape::Thiscall, {2, 1, 0, 3, 4}};
    host.DrawText(1.0f, 2.0f, "menu");
    EXPECT_EQ(received.text, "menu");
    EXPECT_EQ(received.x, 1.0f);
    EXPECT_EQ(received.y, 2.0f);
    build.routines.drawRect = {AddressOf(&ColourFirstRect), CallShape::Thiscall, {4, 0, 1, 2, 3}};
    host.DrawRect(1.0f, 2.0f, 3.0f, 4.0f, 0xAABBCCDDu);
    EXPECT_EQ(received.colour, 0xAABBCCDDu);
    EXPECT_EQ(received.x, 3.0f);
}

// Vertices in the game's layout: converted into a buffer of fixed size and
// handed over in several calls when they do not fit, each whole lines and
// whole triangles; drawn only when every call drew.
TEST(WindowsHostRecords, VerticesAreConvertedAndSplitIntoWholePrimitives) {
    HostBuild build = kTestHostBuild10;
    build.preferredBase = 0;
    build.routines.drawPrimitives = {AddressOf(&VerticesLast), CallShape::Cdecl, {2, 0, 1, 3, 4}};
    build.vertex.size = kVertexSize;
    build.vertex.position = 4;
    build.vertex.colour = {16, ValueType::Bgra};
    WindowsHost host(build, 0, &kModule);
    std::vector<LineVertex> lines(1000);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        lines[i] = {{static_cast<float>(i), 0.5f, -2.0f}, 0x44332211u};  // bytes red 11, green 22, blue 33, alpha 44
    }
    received = {};
    EXPECT_TRUE(host.DrawLines(lines));
    ASSERT_GT(received.calls.size(), 1u);
    std::size_t seen = 0;
    for (std::size_t c = 0; c < received.calls.size(); ++c) {
        const std::vector<std::uint8_t>& call = received.calls[c];
        EXPECT_EQ(received.kinds[c], 0);
        const std::size_t count = call.size() / kVertexSize;
        if (c + 1 < received.calls.size()) {
            EXPECT_EQ(count % 6, 0u) << "call " << c;
        }
        for (std::size_t i = 0; i < count; ++i, ++seen) {
            const std::uint8_t* v = call.data() + i * kVertexSize;
            float x = 0.0f, y = 0.0f, z = 0.0f;
            std::memcpy(&x, v + 4, 4);
            std::memcpy(&y, v + 8, 4);
            std::memcpy(&z, v + 12, 4);
            ASSERT_EQ(x, static_cast<float>(seen));
            ASSERT_EQ(y, 0.5f);
            ASSERT_EQ(z, -2.0f);
            ASSERT_EQ((std::array<std::uint8_t, 8>{v[0], v[1], v[2], v[3], v[16], v[17], v[18], v[19]}),
                      (std::array<std::uint8_t, 8>{0, 0, 0, 0, 0x33, 0x22, 0x11, 0x44}));
        }
    }
    EXPECT_EQ(seen, lines.size());

    const std::size_t calls = received.calls.size();
    received = {};
    received.refuseCall = 1;
    EXPECT_FALSE(host.DrawLines(lines)) << "one part refused";
    EXPECT_EQ(received.calls.size(), calls) << "the parts after it are drawn all the same";
    received = {};
    const std::array<LineVertex, 3> triangle{};
    EXPECT_TRUE(host.DrawTriangles(triangle));
    ASSERT_EQ(received.calls.size(), 1u);
    EXPECT_EQ(received.kinds[0], 1);
}

std::array<std::uint8_t, 16> styleSeen{};
void TakeStyle(const std::uint8_t* record) { std::memcpy(styleSeen.data(), record, styleSeen.size()); }

std::vector<std::uint8_t> scriptInputs;
int ScriptOwn(int opcode, const std::uint8_t* in, int inCount, std::uint8_t* out, int outCount) {
    scriptInputs.assign(in, in + inCount * 8);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int i = 0; i < outCount; ++i) {
        const std::int32_t whole = opcode + i;
        std::memcpy(out + i * 8, &whole, 4);
        std::memcpy(out + i * 8 + 4, i == 1 ? &nan : &received.x, 4);
    }
    return 1;
}

// The text style written into the game's record, only the values it has;
// script arguments written by their kind and read back, a float that is no
// number as 0, and a command with more arguments than the arrays hold refused.
TEST(WindowsHostRecords, TheTextStyleAndScriptArgumentsInTheGamesLayout) {
    HostBuild build = kTestHostBuild10;
    build.preferredBase = 0;
    build.routines.setTextStyle = {AddressOf(&TakeStyle), CallShape::Cdecl};
    build.textStyle.size = 16;
    build.textStyle.scaleX = {4, ValueType::Float};
    build.textStyle.colour = {0, ValueType::Argb};
    build.textStyle.align = {8, ValueType::UInt8};
    build.textStyle.shadow = {10, ValueType::Int16};
    build.routines.runScript = {AddressOf(&ScriptOwn), CallShape::Cdecl};
    build.scriptArg.size = 8;
    build.scriptArg.intValue = {0, ValueType::Int32};
    build.scriptArg.floatValue = {4, ValueType::Float};
    WindowsHost host(build, 0, &kModule);

    styleSeen.fill(0xEE);
    TextStyle style;
    style.scaleX = 0.75f;
    style.colour = 0x44332211u;
    style.align = TextAlign::Right;
    style.shadow = -3;
    host.SetTextStyle(style);
    float scale = 0.0f;
    std::memcpy(&scale, styleSeen.data() + 4, 4);
    EXPECT_EQ(scale, 0.75f);
    EXPECT_EQ((std::array<std::uint8_t, 4>{styleSeen[0], styleSeen[1], styleSeen[2], styleSeen[3]}),
              (std::array<std::uint8_t, 4>{0x44, 0x11, 0x22, 0x33}));
    EXPECT_EQ(styleSeen[8], 2);
    EXPECT_EQ(styleSeen[9], 0) << "a byte the game's style does not describe";
    std::int16_t shadow = 0;
    std::memcpy(&shadow, styleSeen.data() + 10, 2);
    EXPECT_EQ(shadow, -3);

    std::array<ScriptArg, 2> inputs{};
    inputs[0].i = 1234;
    inputs[1].kind = ScriptArg::Kind::Float;
    inputs[1].f = 2.5f;
    std::array<ScriptArg, 2> outputs{};
    received.x = 7.5f;
    EXPECT_TRUE(host.RunScriptCommand(100, inputs, outputs));
    ASSERT_EQ(scriptInputs.size(), 16u);
    std::int32_t whole = 0;
    float real = 0.0f;
    std::memcpy(&whole, scriptInputs.data(), 4);
    std::memcpy(&real, scriptInputs.data() + 12, 4);
    EXPECT_EQ(whole, 1234);
    EXPECT_EQ(real, 2.5f);
    std::memcpy(&whole, scriptInputs.data() + 8, 4);
    EXPECT_EQ(whole, 0) << "a float argument writes only its float";
    EXPECT_EQ(outputs[0].i, 100);
    EXPECT_EQ(outputs[0].f, 7.5f);
    EXPECT_EQ(outputs[1].i, 101);
    EXPECT_EQ(outputs[1].f, 0.0f);

    scriptInputs.clear();
    std::vector<ScriptArg> many(200);
    EXPECT_FALSE(host.RunScriptCommand(100, many, {}));
    EXPECT_TRUE(scriptInputs.empty()) << "not called at all";
}

}  // namespace
}  // namespace kovra::windows
