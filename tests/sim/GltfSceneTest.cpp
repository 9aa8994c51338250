#include "sim/GltfScene.h"

#include <gtest/gtest.h>
#include <tiny_gltf.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "kovra/handles/car/GasPedalIk.h"
#include "kovra/handles/car/GearIk.h"
#include "kovra/handles/car/SteerIk.h"
#include "kovra/host/Runtime.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"
#include "sim/SceneFile.h"
#include "sim/SimHost.h"

namespace kovra::sim {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

fs::path TempDir(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// ---- a model as a modelling tool exports it --------------------------------

// Adds float vec3 positions (glTF axes) and their triangles to the model's
// one buffer; returns the mesh.
int AddMesh(tinygltf::Model& m, const std::vector<float>& xyz, const std::vector<std::uint32_t>& triangles) {
    if (m.buffers.empty()) m.buffers.emplace_back();
    std::vector<unsigned char>& data = m.buffers[0].data;
    const auto view = [&](const void* bytes, std::size_t size, int target) {
        tinygltf::BufferView v;
        v.buffer = 0;
        v.byteOffset = data.size();
        v.byteLength = size;
        v.target = target;
        data.insert(data.end(), static_cast<const unsigned char*>(bytes),
                    static_cast<const unsigned char*>(bytes) + size);
        m.bufferViews.push_back(v);
        return static_cast<int>(m.bufferViews.size()) - 1;
    };
    tinygltf::Accessor positions;
    positions.bufferView = view(xyz.data(), xyz.size() * 4, TINYGLTF_TARGET_ARRAY_BUFFER);
    positions.componentType = TINYGLTF_COMPONENT_TYPE_FLOAT;
    positions.type = TINYGLTF_TYPE_VEC3;
    positions.count = xyz.size() / 3;
    positions.minValues = {-1e9, -1e9, -1e9};  // not checked by the reader
    positions.maxValues = {1e9, 1e9, 1e9};
    m.accessors.push_back(positions);
    tinygltf::Accessor indices;
    indices.bufferView = view(triangles.data(), triangles.size() * 4, TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER);
    indices.componentType = TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT;
    indices.type = TINYGLTF_TYPE_SCALAR;
    indices.count = triangles.size();
    m.accessors.push_back(indices);
    tinygltf::Primitive p;
    p.attributes["POSITION"] = static_cast<int>(m.accessors.size()) - 2;
    p.indices = static_cast<int>(m.accessors.size()) - 1;
    p.mode = TINYGLTF_MODE_TRIANGLES;
    tinygltf::Mesh mesh;
    mesh.primitives.push_back(p);
    m.meshes.push_back(mesh);
    return static_cast<int>(m.meshes.size()) - 1;
}

// A box in glTF axes, centimetres.
int AddBox(tinygltf::Model& m, float x0, float y0, float z0, float x1, float y1, float z1) {
    std::vector<float> xyz;
    for (const Vector3& v : BoxVertices({x0, y0, z0}, {x1, y1, z1})) xyz.insert(xyz.end(), {v.x, v.y, v.z});
    return AddMesh(m, xyz, BoxTriangles());
}

int AddNode(tinygltf::Model& m, const std::string& name, std::vector<double> translation = {}, int mesh = -1) {
    tinygltf::Node n;
    n.name = name;
    n.translation = std::move(translation);
    n.mesh = mesh;
    m.nodes.push_back(n);
    return static_cast<int>(m.nodes.size()) - 1;
}

// A car as a modeller makes one, in centimetres under a root scaled to
// metres: camera and light nodes, an empty, the nodes listed children
// first, a steering wheel rim of 20000 vertices, names that only contain the
// control names, and one that differs from a control name in case.
tinygltf::Model ToolCar() {
    tinygltf::Model m;
    m.asset.version = "2.0";
    m.asset.generator = "a modelling tool";
    tinygltf::Camera camera;
    camera.type = "perspective";
    camera.perspective.yfov = 0.8;
    camera.perspective.znear = 0.1;
    m.cameras.push_back(camera);

    // The rim lies in the wheel's x-z plane in the game's axes: glTF's X-Y.
    std::vector<float> rim;
    std::vector<std::uint32_t> strip;
    constexpr int kSteps = 10000;
    for (int i = 0; i < kSteps; ++i) {
        const double t = 6.283185307179586 * i / kSteps;
        for (const float depth : {-2.0f, 2.0f}) {
            rim.insert(rim.end(), {static_cast<float>(19.0 * std::cos(t)), static_cast<float>(19.0 * std::sin(t)), depth});
        }
        const auto a = static_cast<std::uint32_t>(2 * i), b = static_cast<std::uint32_t>(2 * ((i + 1) % kSteps));
        strip.insert(strip.end(), {a, a + 1, b, b, a + 1, b + 1});
    }
    const int wheel = AddNode(m, "Wheel.ik_steer.001", {}, AddMesh(m, rim, strip));
    const int cameraNode = AddNode(m, "Camera", {0, 1.5, -4});
    m.nodes[static_cast<std::size_t>(cameraNode)].camera = 0;
    const int light = AddNode(m, "Light", {2, 3, 0});
    // Game (x, y, z) is glTF (-x, z, y): the wheel's column at game
    // (-37, 20, 35) cm, the wheel tilted back 20 degrees about game x (glTF -X).
    const int dash = AddNode(m, "Dashboard", {37, 35, 20});
    const double half = 0.5 * -20.0 * 3.141592653589793 / 180.0;
    m.nodes[static_cast<std::size_t>(wheel)].rotation = {-std::sin(half), 0, 0, std::cos(half)};
    m.nodes[static_cast<std::size_t>(dash)].children = {wheel};
    const int stick = AddNode(m, "GearShifter_ik_gear_stick_knob", {0, -5, 5}, AddBox(m, -2, 0, -2, 2, 22, 2));
    const int gas = AddNode(m, "Car_ik_gas", {24, -12, 54}, AddBox(m, -3, -16, -1, 3, 0, 3));
    const int brake = AddNode(m, "IK_BRAKE", {35, -12, 54}, AddBox(m, -4, -16, -1, 4, 0, 3));
    const int body = AddNode(m, "Body", {}, AddBox(m, -90, -20, -220, 90, 130, 220));
    const int root = AddNode(m, "Sedan_Root");
    m.nodes[static_cast<std::size_t>(root)].scale = {0.01, 0.01, 0.01};
    m.nodes[static_cast<std::size_t>(root)].children = {body, dash, stick, gas, brake};
    tinygltf::Scene scene;
    scene.nodes = {light, root, cameraNode};
    m.scenes.push_back(scene);
    m.defaultScene = 0;
    return m;
}

// Writes the model as a .glb, or as a .gltf whose buffer is a file beside it
// named by the buffer's uri (as tools write them). Written by hand rather
// than by tinygltf's file writer, whose Windows files come out read-only.
void SaveGltf(const tinygltf::Model& m, const fs::path& file, bool binary) {
    tinygltf::TinyGLTF writer;
    std::ostringstream stream;
    ASSERT_TRUE(writer.WriteGltfSceneToStream(&m, stream, false, binary));
    std::string bytes = stream.str();
    if (!binary && !m.buffers.empty() && !m.buffers[0].uri.empty()) {
        Json json = Json::parse(bytes);
        json["buffers"][0]["uri"] = m.buffers[0].uri;
        bytes = json.dump();
        const std::vector<unsigned char>& data = m.buffers[0].data;
        WriteText(file.parent_path() / m.buffers[0].uri, std::string(data.begin(), data.end()));
    }
    WriteText(file, bytes);
}

const VehicleModel::Frame* FrameNamed(const VehicleModel& m, const std::string& name) {
    const int i = m.FindFrame(name);
    return i < 0 ? nullptr : &m.frames[static_cast<std::size_t>(i)];
}

TEST(GltfScene, AToolsModelBuildsTheHandlesItsFrameNamesContain) {
    const fs::path dir = TempDir("kovra-gltf-tool");
    tinygltf::Model tool = ToolCar();
    tool.buffers[0].uri = "car.bin";
    SaveGltf(tool, dir / "car.gltf", false);
    ASSERT_TRUE(fs::exists(dir / "car.bin"));
    WriteText(dir / "car.vehicle", "kovra-vehicle 1\nid 410\nname toolcar\ntype car\n"
                                   "front-seat 0.37 -0.25 0.05\nmodel car.gltf\n");
    std::string error;
    const std::optional<VehicleModel> model = LoadVehicleScene(dir / "car.vehicle", &error);
    ASSERT_TRUE(model) << error;

    // Frames in the walk's order, the scene's roots at the top; centimetres
    // become metres and glTF's axes the game's.
    std::vector<std::string> names;
    for (const auto& f : model->frames) names.push_back(f.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Light", "Sedan_Root", "Body", "Dashboard", "Wheel.ik_steer.001",
                                               "GearShifter_ik_gear_stick_knob", "Car_ik_gas", "IK_BRAKE",
                                               "Camera"}));
    const VehicleModel::Frame* wheel = FrameNamed(*model, "Wheel.ik_steer.001");
    const VehicleModel::Frame* dash = FrameNamed(*model, "Dashboard");
    ASSERT_TRUE(wheel && dash);
    EXPECT_EQ(model->frames[static_cast<std::size_t>(wheel->parent)].name, "Dashboard");
    EXPECT_NEAR(dash->modelling.pos.x, -0.37f, 1e-6f);
    EXPECT_NEAR(dash->modelling.pos.y, 0.2f, 1e-6f);
    EXPECT_NEAR(dash->modelling.pos.z, 0.35f, 1e-6f);
    const FrameMatrix tilt = EulerFrame({-20.0f, 0.0f, 0.0f});
    EXPECT_LT(Distance(wheel->modelling.up, tilt.up), 1e-6f);
    EXPECT_LT(Distance(wheel->modelling.at, tilt.at), 1e-6f);
    EXPECT_EQ(wheel->vertices.size(), 20000u);
    EXPECT_EQ(wheel->triangles.size(), 60000u);

    // The rig finds its frames as it finds them in the game: the first in
    // walk order whose name contains the control name, case and all.
    SimHost host;
    Runtime runtime(host);
    ASSERT_TRUE(host.AddVehicleModel(*model, &error)) << error;
    host.StartGame();
    CVehicle* vehicle = host.CreateVehicle(410);
    CPed* ped = host.CreatePed();
    ASSERT_TRUE(host.SeatPed(ped, vehicle, true));
    for (int i = 0; i < 12; ++i) host.RunFrame();
    const CabinIk* rig = runtime.rigs().RigOf(vehicle);
    ASSERT_NE(rig, nullptr);
    ASSERT_NE(rig->steerIk, nullptr);
    EXPECT_EQ(rig->steerIk->frameA.frame->name, "Wheel.ik_steer.001");
    // The default grip comes from the rim's real geometry: radius 0.19 m.
    EXPECT_NEAR(rig->steerIk->grabOffset.x, 0.19f, 1e-5f);
    EXPECT_NEAR(rig->steerIk->grabOffset.z, 0.19f, 1e-5f);
    ASSERT_NE(rig->gearIk, nullptr);
    EXPECT_NEAR(rig->gearIk->grabOffset.z, 0.22f, 1e-6f);  // the knob, 22 cm up the stick
    ASSERT_NE(rig->gasPedalIk, nullptr);
    EXPECT_EQ(rig->gasPedalIk->frameA.frame->name, "Car_ik_gas");
    EXPECT_FALSE(rig->gasPedalIk->frameB.found) << "\"IK_BRAKE\" is not \"ik_brake\"";
    EXPECT_EQ(rig->clutchPedalIk, nullptr);
    EXPECT_EQ(rig->handBrakeIk, nullptr);
    fs::remove_all(dir);
}

TEST(GltfScene, TheVehicleNodesExtrasGiveTheRecordAndAVehicleFileOverridesThem) {
    const fs::path dir = TempDir("kovra-gltf-extras");
    tinygltf::Model m = ToolCar();
    tinygltf::Value::Object record;
    record["kovra-vehicle"] = tinygltf::Value(1);
    record["id"] = tinygltf::Value(411.0);  // tools write whole numbers as reals too
    record["name"] = tinygltf::Value(std::string("toolcar"));
    record["type"] = tinygltf::Value(std::string("car"));
    record["front-seat"] = tinygltf::Value(tinygltf::Value::Array{tinygltf::Value(0.37), tinygltf::Value(-0.25),
                                                                  tinygltf::Value(0.05)});
    const int root = m.scenes[0].nodes[1];
    m.nodes[static_cast<std::size_t>(root)].extras = tinygltf::Value(record);
    SaveGltf(m, dir / "car.glb", true);

    std::string error;
    std::optional<VehicleModel> model = LoadVehicleScene(dir / "car.glb", &error);
    ASSERT_TRUE(model) << error;
    EXPECT_EQ(model->id, 411);
    EXPECT_EQ(model->name, "toolcar");
    EXPECT_EQ(model->frontSeat, (Vector3{0.37f, -0.25f, 0.05f}));
    // The marked node is the vehicle's root: only what lies under it, in
    // its scale, becomes frames.
    EXPECT_EQ(model->frames.front().name, "Body");
    EXPECT_EQ(model->FindFrame("Camera"), -1);
    EXPECT_EQ(model->frames.size(), 6u);

    WriteText(dir / "car.vehicle", "kovra-vehicle 1\nid 500\nmodel car.glb\ntype car\nanim-group 3\n");
    model = LoadVehicleScene(dir / "car.vehicle", &error);
    ASSERT_TRUE(model) << error;
    EXPECT_EQ(model->id, 500);
    EXPECT_EQ(model->animGroup, 3);
    EXPECT_EQ(model->name, "toolcar");  // not in the .vehicle file: from the extras
    fs::remove_all(dir);
}

TEST(GltfScene, AModelWithoutControlFramesBuildsNoHandles) {
    const fs::path dir = TempDir("kovra-gltf-plain");
    tinygltf::Model m;
    m.asset.version = "2.0";
    const int body = AddNode(m, "body", {}, AddBox(m, -1, 0, -2, 1, 1.5f, 2));
    const int wheel = AddNode(m, "wheel_lf", {0.8, 0.3, 1.4}, AddBox(m, -0.1f, -0.3f, -0.3f, 0.1f, 0.3f, 0.3f));
    m.nodes[static_cast<std::size_t>(body)].children = {wheel};
    tinygltf::Scene scene;
    scene.nodes = {body};
    m.scenes.push_back(scene);
    SaveGltf(m, dir / "kart.glb", true);
    WriteText(dir / "kart.vehicle", "kovra-vehicle 1\nid 420\nname kart\ntype car\nmodel kart.glb\n");
    std::string error;
    const std::optional<VehicleModel> model = LoadVehicleScene(dir / "kart.vehicle", &error);
    ASSERT_TRUE(model) << error;
    SimHost host;
    Runtime runtime(host);
    ASSERT_TRUE(host.AddVehicleModel(*model));
    host.StartGame();
    CVehicle* vehicle = host.CreateVehicle(420);
    ASSERT_TRUE(host.SeatPed(host.CreatePed(), vehicle, true));
    for (int i = 0; i < 12; ++i) host.RunFrame();
    ASSERT_NE(runtime.rigs().RigOf(vehicle), nullptr);
    EXPECT_TRUE(runtime.rigs().RigOf(vehicle)->built);
    EXPECT_TRUE(runtime.rigs().RigOf(vehicle)->handles.empty());
    fs::remove_all(dir);
}

// ---- refusals ---------------------------------------------------------------

// A .gltf of one node holding a mesh whose buffer is `bufferBytes` long.
Json OneMesh(int bufferBytes, int vertexCount) {
    std::string zeros;
    for (int i = 0; i < bufferBytes; i += 3) zeros += "AAAA";  // base64 of zero bytes
    return Json::parse(R"({"asset": {"version": "2.0"}, "scene": 0, "scenes": [{"nodes": [0]}],
        "nodes": [{"name": "n", "mesh": 0}],
        "meshes": [{"primitives": [{"attributes": {"POSITION": 0}}]}],
        "accessors": [{"bufferView": 0, "componentType": 5126, "type": "VEC3", "count": )" +
                       std::to_string(vertexCount) + R"(}],
        "bufferViews": [{"buffer": 0, "byteLength": )" + std::to_string(bufferBytes) + R"(}],
        "buffers": [{"byteLength": )" + std::to_string(bufferBytes) +
                       R"(, "uri": "data:application/octet-stream;base64,)" + zeros.substr(0, static_cast<std::size_t>((bufferBytes + 2) / 3 * 4)) + R"("}]})");
}

TEST(GltfScene, BadFilesAreRefusedWithTheFileAndTheFault) {
    const fs::path dir = TempDir("kovra-gltf-bad");
    struct Case {
        std::string text;
        std::string expected;
    };
    Json cycle = OneMesh(36, 3);
    cycle["scenes"] = Json::array();
    cycle["nodes"] = Json::parse(R"([{"name": "a", "children": [1]}, {"name": "b", "children": [0]}])");
    // A node hanging below a cycle has no way up either.
    Json belowCycle = OneMesh(36, 3);
    belowCycle["scenes"] = Json::array();
    belowCycle["nodes"] = Json::parse(
        R"([{"name": "c"}, {"name": "a", "children": [2]}, {"name": "b", "children": [1, 0]}])");
    Json twoParents = OneMesh(36, 3);
    twoParents["nodes"] = Json::parse(R"([{"children": [2]}, {"children": [2]}, {"name": "c"}])");
    twoParents["scenes"][0]["nodes"] = {0, 1};
    Json mirrored = OneMesh(36, 3);
    mirrored["nodes"][0]["scale"] = {1, -1, 1};
    Json skewed = OneMesh(36, 3);
    skewed["nodes"][0]["matrix"] = {1, 0, 0, 0, 0.5, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    Json uneven = OneMesh(36, 3);
    uneven["nodes"] = Json::parse(R"([{"scale": [1, 2, 1], "children": [1]}, {"rotation": [0, 0, 0.38268343, 0.92387953]}])");
    Json draco = OneMesh(36, 3);
    draco["extensionsRequired"] = {"KHR_draco_mesh_compression"};
    draco["extensionsUsed"] = {"KHR_draco_mesh_compression"};
    Json far = OneMesh(36, 3);
    far["nodes"][0]["translation"] = {0, 0, 250};
    Json badExtras = OneMesh(36, 3);
    badExtras["nodes"][0]["extras"] = {{"kovra-vehicle", 1}, {"id", 1}, {"frontseat", {0, 0, 0}}};
    Json badType = OneMesh(36, 3);
    badType["nodes"][0]["extras"] = {{"kovra-vehicle", 1}, {"id", 1}, {"name", "k"}, {"type", "kart"}};
    // (count - 1) x stride is 2^32: a 32-bit size would wrap to a few bytes.
    Json wrapping = OneMesh(36, 3);
    wrapping["accessors"][0]["count"] = (1 << 25) + 1;
    wrapping["bufferViews"][0]["byteStride"] = 128;
    const std::vector<Case> cases = {
        {wrapping.dump(), "mesh 0 primitive 0 POSITION (accessor 0) reaches past the end of its buffer"},
        {"{ not json", "not a glTF 2.0 file this program reads"},
        {"glTF\x02\x00\x00\x00\xff\xff\xff\xff", "not a glTF 2.0 binary file this program reads"},
        {R"({"asset": {"version": "1.0"}})", "glTF version \"1.0\" is not supported"},
        {draco.dump(), "needs the extension \"KHR_draco_mesh_compression\""},
        {OneMesh(24, 3).dump(), "mesh 0 primitive 0 POSITION (accessor 0) reaches past the end of its buffer"},
        {cycle.dump(), "node 0 \"a\" is its own ancestor"},
        {belowCycle.dump(), "node 0 \"c\" is its own ancestor"},
        {twoParents.dump(), "node 2 \"c\" is the child of both node 0 and node 1"},
        {mirrored.dump(), "node 0 \"n\" is mirrored"},
        {skewed.dump(), "node 0 \"n\" has a skewed matrix"},
        {uneven.dump(), "node 1 is turned inside a parent that is scaled unevenly"},
        {far.dump(), "node 0 \"n\" lies more than 100 m from its parent"},
        {OneMesh(36, 3).dump(), "no vehicle record gives \"id\""},
        {badExtras.dump(), "the extras of node 0 \"n\": \"frontseat\" is not a vehicle value"},
        {badType.dump(), "\"type\" is \"kart\", not a vehicle type"},
    };
    for (const Case& c : cases) {
        WriteText(dir / "bad.gltf", c.text);
        std::string error;
        EXPECT_FALSE(LoadVehicleScene(dir / "bad.gltf", &error)) << c.expected;
        EXPECT_EQ(error.rfind((dir / "bad.gltf").string() + ": ", 0), 0u) << error;
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    }

    // Through a .vehicle file: its own line first, then the model's fault.
    WriteText(dir / "bad.gltf", OneMesh(24, 3).dump());
    WriteText(dir / "a.vehicle", "kovra-vehicle 1\nid 1\nname a\ntype car\nmodel bad.gltf\n");
    std::string error;
    EXPECT_FALSE(LoadVehicleScene(dir / "a.vehicle", &error));
    EXPECT_NE(error.find("a.vehicle:5:7: the model does not load: "), std::string::npos) << error;
    EXPECT_NE(error.find("reaches past the end of its buffer"), std::string::npos) << error;
    WriteText(dir / "b.vehicle", "kovra-vehicle 1\nid 1\nname a\ntype car\nmodel missing.glb\n");
    EXPECT_FALSE(LoadVehicleScene(dir / "b.vehicle", &error));
    EXPECT_NE(error.find("missing.glb: cannot be opened"), std::string::npos) << error;
    WriteText(dir / "good.gltf", OneMesh(36, 3).dump());
    WriteText(dir / "c.vehicle", "kovra-vehicle 1\nid 1\nname a\ntype car\nmodel good.gltf\nframe x\n");
    EXPECT_FALSE(LoadVehicleScene(dir / "c.vehicle", &error));
    EXPECT_NE(error.find("c.vehicle:6:1: a scene with a \"model\" takes its frames from the model file"),
              std::string::npos)
        << error;
    WriteText(dir / "d.vehicle", "kovra-vehicle 1\nid 1\nname a\ntype car\nmodel car.obj\n");
    EXPECT_FALSE(LoadVehicleScene(dir / "d.vehicle", &error));
    EXPECT_NE(error.find("d.vehicle:5:7: the model \"car.obj\" is not a .gltf or .glb file"), std::string::npos)
        << error;
    fs::remove_all(dir);
}

// A buffer is read only from inside the model's folder: a URI that climbs
// out, spelt plainly or percent-encoded, or a link inside the folder that
// leads out, is refused with the file and the URI, and nothing is read.
TEST(GltfScene, BufferFilesAreReadOnlyFromInsideTheModelsFolder) {
    const fs::path dir = TempDir("kovra-gltf-uri");
    fs::create_directories(dir / "model" / "sub");
    fs::create_directories(dir / "outside");
    const std::string zeros(36, '\0');
    WriteText(dir / "outside" / "secret.bin", zeros);
    WriteText(dir / "model" / "sub" / "buffer.bin", zeros);
    const auto withUri = [](const std::string& uri) {
        Json model = OneMesh(36, 3);
        model["buffers"][0]["uri"] = uri;
        return model.dump();
    };
    std::string error;
    WriteText(dir / "model" / "car.gltf", withUri("sub/buffer.bin"));
    ASSERT_TRUE(ReadGltfModel(dir / "model" / "car.gltf", &error)) << error;
    std::vector<std::string> uris = {"../outside/secret.bin", "..%2Foutside/secret.bin",
                                     "%2E%2E/outside/secret.bin", "sub/../../outside/secret.bin"};
#ifndef _WIN32
    fs::create_symlink(dir / "outside" / "secret.bin", dir / "model" / "link.bin");
    uris.push_back("link.bin");
#endif
    for (const std::string& uri : uris) {
        WriteText(dir / "model" / "car.gltf", withUri(uri));
        EXPECT_FALSE(ReadGltfModel(dir / "model" / "car.gltf", &error)) << uri;
        EXPECT_EQ(error.rfind((dir / "model" / "car.gltf").string() + ": buffer URI \"", 0), 0u) << error;
        EXPECT_NE(error.find("\" leads out of the model's folder"), std::string::npos) << error;
        EXPECT_NE(error.find("secret.bin") == std::string::npos ? error.find("link.bin") : 0, std::string::npos)
            << error;
    }
    fs::remove_all(dir);
}

// What a reader builds is bounded by what the file describes: a triangle
// with a corner twice adds nothing (one vertex and many strip indices make
// no triangles at all), and strips or fans cannot expand past the bound on
// triangles that a list of indices has.
TEST(GltfScene, StripsAndFansCannotExpandPastTheBound) {
    const fs::path dir = TempDir("kovra-gltf-strip");
    const auto strip = [&](std::size_t count, int vertices, int mode) {
        std::string bytes(static_cast<std::size_t>(vertices) * 12, '\0');
        for (int v = 0; v < vertices; ++v) {
            const float x = static_cast<float>(v);
            std::memcpy(bytes.data() + v * 12, &x, sizeof x);
        }
        const std::size_t indexStart = bytes.size();
        for (std::size_t i = 0; i < count; ++i) bytes += static_cast<char>(i % static_cast<std::size_t>(vertices));
        WriteText(dir / "strip.bin", bytes);
        Json model = OneMesh(36, vertices);
        model["buffers"][0] = {{"byteLength", bytes.size()}, {"uri", "strip.bin"}};
        model["bufferViews"] = Json::array({{{"buffer", 0}, {"byteLength", indexStart}},
                                            {{"buffer", 0}, {"byteOffset", indexStart}, {"byteLength", count}}});
        model["accessors"].push_back({{"bufferView", 1}, {"componentType", 5121}, {"type", "SCALAR"}, {"count", count}});
        model["meshes"][0]["primitives"][0]["indices"] = 1;
        model["meshes"][0]["primitives"][0]["mode"] = mode;
        WriteText(dir / "strip.gltf", model.dump());
        std::string error;
        auto read = ReadGltfModel(dir / "strip.gltf", &error);
        return std::pair{std::move(read), error};
    };
    const auto [one, oneError] = strip(100000, 1, 5);
    ASSERT_TRUE(one) << oneError;
    EXPECT_TRUE(one->frames.at(0).triangles.empty());
    const auto [few, fewError] = strip(5, 3, 5);
    ASSERT_TRUE(few) << fewError;
    EXPECT_EQ(few->frames.at(0).triangles.size(), 9u);
    // As many triangles as a model may have vertices, and no more.
    const auto [many, manyError] = strip(kMaxGltfVertices + 3, 3, 5);
    EXPECT_FALSE(many);
    EXPECT_NE(manyError.find("mesh 0 primitive 0 makes more than 1048576 triangles in all"), std::string::npos)
        << manyError;
    const auto [fan, fanError] = strip(7, 3, 6);  // 0 1 2 0 1 2 0: every other triangle has no area
    ASSERT_TRUE(fan) << fanError;
    EXPECT_EQ(fan->frames.at(0).triangles, (std::vector<std::uint32_t>{0, 1, 2, 0, 1, 2}));
    fs::remove_all(dir);
}

TEST(GltfScene, TheAxisSwapIsARotationAndItsOwnInverse) {
    // Forward, up and right of the game land on glTF's +Z, +Y and -X.
    EXPECT_EQ(SwapGameGltfAxes(Vector3{0, 1, 0}), (Vector3{0, 0, 1}));
    EXPECT_EQ(SwapGameGltfAxes(Vector3{0, 0, 1}), (Vector3{0, 1, 0}));
    EXPECT_EQ(SwapGameGltfAxes(Vector3{1, 0, 0}), (Vector3{-1, 0, 0}));
    const Vector3 p{0.3f, -1.5f, 2.25f};
    EXPECT_EQ(SwapGameGltfAxes(SwapGameGltfAxes(p)), p);
    // A turn's quaternion swapped turns the swapped point the same way.
    const Quaternion q = AxisAngle({0.2f, -0.5f, 0.8f}, 47.0f);
    const Vector3 a = SwapGameGltfAxes(RotateVector(q, p));
    const Vector3 b = RotateVector(SwapGameGltfAxes(q), SwapGameGltfAxes(p));
    EXPECT_LT(Distance(a, b), 1e-6f);
}

}  // namespace
}  // namespace kovra::sim
