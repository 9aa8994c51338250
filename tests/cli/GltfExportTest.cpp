#include "cli/GltfExport.h"

#include <gtest/gtest.h>
#include <tiny_gltf.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "SimTestSupport.h"
#include "cli/Cli.h"
#include "cli/ScenarioRun.h"
#include "kovra/host/Runtime.h"
#include "kovra/ik/Geometry.h"
#include "sim/GltfScene.h"
#include "sim/Scenario.h"
#include "sim/SceneFile.h"
#include "sim/SimHost.h"

namespace kovra::cli {
namespace {

namespace fs = std::filesystem;
using sim::SwapGameGltfAxes;
using sim::VehicleModel;

fs::path TempDir(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// ---- reading our own files back --------------------------------------------

tinygltf::Model ReadGlb(const std::vector<unsigned char>& bytes) {
    tinygltf::TinyGLTF loader;
    tinygltf::Model m;
    std::string err, warn;
    EXPECT_TRUE(loader.LoadBinaryFromMemory(&m, &err, &warn, bytes.data(),
                                            static_cast<unsigned int>(bytes.size())))
        << err;
    return m;
}

tinygltf::Model ReadGlb(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return ReadGlb(bytes);
}

std::vector<float> FloatsOf(const tinygltf::Model& m, int accessor) {
    const tinygltf::Accessor& a = m.accessors.at(static_cast<std::size_t>(accessor));
    const tinygltf::BufferView& v = m.bufferViews.at(static_cast<std::size_t>(a.bufferView));
    const std::size_t width = static_cast<std::size_t>(tinygltf::GetNumComponentsInType(static_cast<std::uint32_t>(a.type)));
    std::vector<float> out(a.count * width);
    std::memcpy(out.data(), m.buffers.at(static_cast<std::size_t>(v.buffer)).data.data() + v.byteOffset + a.byteOffset,
                out.size() * sizeof(float));
    return out;
}

// The animation's tracks by target node name and path.
std::map<std::pair<std::string, std::string>, std::vector<float>> Tracks(const tinygltf::Model& m) {
    std::map<std::pair<std::string, std::string>, std::vector<float>> tracks;
    if (m.animations.empty()) return tracks;
    const tinygltf::Animation& a = m.animations.front();
    for (const tinygltf::AnimationChannel& c : a.channels) {
        const std::string& node = m.nodes.at(static_cast<std::size_t>(c.target_node)).name;
        tracks[{node, c.target_path}] = FloatsOf(m, a.samplers.at(static_cast<std::size_t>(c.sampler)).output);
    }
    return tracks;
}

Quaternion GameRotation(const std::vector<float>& track, std::size_t frame) {
    return SwapGameGltfAxes(Quaternion{track[4 * frame], track[4 * frame + 1], track[4 * frame + 2], track[4 * frame + 3]});
}

// How far apart two rotations are, whichever sign their quaternions take.
float RotationGap(const Quaternion& a, const Quaternion& b) {
    float same = 0.0f, opposite = 0.0f;
    const float pa[4] = {a.x, a.y, a.z, a.w}, pb[4] = {b.x, b.y, b.z, b.w};
    for (int i = 0; i < 4; ++i) {
        same = std::max(same, std::fabs(pa[i] - pb[i]));
        opposite = std::max(opposite, std::fabs(pa[i] + pb[i]));
    }
    return std::min(same, opposite);
}

// The frames in the order the rig searches them: depth first, children in
// list order.
std::vector<std::string> SearchOrder(const VehicleModel& m) {
    std::vector<std::string> out;
    std::vector<int> stack;
    for (int i = static_cast<int>(m.frames.size()) - 1; i >= 0; --i) {
        if (m.frames[static_cast<std::size_t>(i)].parent == -1) stack.push_back(i);
    }
    while (!stack.empty()) {
        const int i = stack.back();
        stack.pop_back();
        out.push_back(m.frames[static_cast<std::size_t>(i)].name);
        for (int c = static_cast<int>(m.frames.size()) - 1; c >= 0; --c) {
            if (m.frames[static_cast<std::size_t>(c)].parent == i) stack.push_back(c);
        }
    }
    return out;
}

void ExpectSameVehicle(const VehicleModel& a, const VehicleModel& b) {
    test::ExpectSameRecord(a, b);
    ASSERT_EQ(a.frames.size(), b.frames.size());
    EXPECT_EQ(SearchOrder(a), SearchOrder(b));
    for (const VehicleModel::Frame& fa : a.frames) {
        const int i = b.FindFrame(fa.name);
        ASSERT_GE(i, 0) << fa.name;
        const VehicleModel::Frame& fb = b.frames[static_cast<std::size_t>(i)];
        EXPECT_EQ(fa.parent < 0 ? "" : a.frames[static_cast<std::size_t>(fa.parent)].name,
                  fb.parent < 0 ? "" : b.frames[static_cast<std::size_t>(fb.parent)].name)
            << fa.name;
        EXPECT_LE(Distance(fa.modelling.right, fb.modelling.right), 1e-5f) << fa.name;
        EXPECT_LE(Distance(fa.modelling.up, fb.modelling.up), 1e-5f) << fa.name;
        EXPECT_LE(Distance(fa.modelling.at, fb.modelling.at), 1e-5f) << fa.name;
        EXPECT_EQ(fa.modelling.pos, fb.modelling.pos) << fa.name;
        EXPECT_EQ(fa.vertices, fb.vertices) << fa.name;  // and so the boxes
        EXPECT_EQ(fa.triangles, fb.triangles) << fa.name;
    }
}

TEST(GltfExport, TheBuiltInModelsReadBackAsTheSameVehicleScenes) {
    const fs::path dir = TempDir("kovra-gltf-models");
    for (const char* name : {"sedan", "motorbike", "bicycle"}) {
        std::string error;
        const auto original = sim::LoadVehicleScene(sim::BuiltInScenesDirectory() / (std::string(name) + ".vehicle"), &error);
        ASSERT_TRUE(original) << error;
        const fs::path file = dir / (std::string(name) + ".glb");
        ASSERT_TRUE(SaveGltfModel(*original, file, &error)) << error;
        const auto back = sim::LoadVehicleScene(file, &error);
        ASSERT_TRUE(back) << error;
        ExpectSameVehicle(*original, *back);

        // In glTF's axes: the frames' origins swapped, the model's front
        // (+y) along +Z.
        const tinygltf::Model gltf = ReadGlb(file);
        EXPECT_TRUE(gltf.animations.empty());
        const auto& f = original->frames.back();
        const auto node = std::find_if(gltf.nodes.begin(), gltf.nodes.end(), [&](const auto& n) { return n.name == f.name; });
        ASSERT_NE(node, gltf.nodes.end());
        ASSERT_EQ(node->translation.size(), 3u);
        EXPECT_EQ(node->translation[0], -f.modelling.pos.x);
        EXPECT_EQ(node->translation[1], f.modelling.pos.z);
        EXPECT_EQ(node->translation[2], f.modelling.pos.y);
    }
    fs::remove_all(dir);
}

// Every built-in scenario played on the vehicles read back from glTF poses
// the drivers and moves the controls as on the .vehicle scenes.
TEST(GltfExport, OverTheBuiltInScenariosGltfVehiclesPoseAsTheirScenes) {
    const fs::path scenes = sim::BuiltInScenesDirectory();
    const fs::path dir = TempDir("kovra-gltf-poses");
    for (const auto& entry : fs::directory_iterator(scenes)) {
        if (entry.path().extension() != ".vehicle") continue;
        const auto model = sim::LoadVehicleScene(entry.path());
        ASSERT_TRUE(model && SaveGltfModel(*model, dir / (entry.path().stem().string() + ".glb")));
    }
    int scenarios = 0;
    for (const auto& entry : fs::recursive_directory_iterator(scenes)) {
        if (entry.path().extension() != ".scenario") continue;
        ++scenarios;
        // A copy beside the models that names them instead of the scenes,
        // with the files beside the scenario (per-vehicle files).
        const fs::path copy = dir / entry.path().filename();
        for (const auto& beside : fs::directory_iterator(entry.path().parent_path())) {
            if (beside.is_regular_file() && beside.path().extension() == ".ini") {
                fs::copy_file(beside.path(), dir / beside.path().filename(), fs::copy_options::overwrite_existing);
            }
        }
        std::stringstream text;
        text << std::ifstream(entry.path()).rdbuf();
        std::string scenario = text.str();
        for (std::size_t at = scenario.find(".vehicle"); at != std::string::npos; at = scenario.find(".vehicle", at)) {
            scenario.replace(at, 8, ".glb");
        }
        std::ofstream(copy) << scenario;

        std::map<std::pair<std::string, std::string>, std::vector<float>> tracks[2];
        RunReport reports[2];
        for (int run = 0; run < 2; ++run) {
            RunOptions options;
            options.scenarioFile = run == 0 ? entry.path() : copy;
            options.outDir = dir / ("out-" + std::to_string(run));
            options.pictures = false;
            options.gltf = true;
            std::string error;
            const auto report = RunScenario(options, &error);
            ASSERT_TRUE(report) << entry.path() << ": " << error;
            ASSERT_FALSE(report->gltfFiles.empty());
            reports[run] = *report;
            tracks[run] = Tracks(ReadGlb(report->gltfFiles.front()));
        }
        ASSERT_EQ(reports[0].vehicles.size(), reports[1].vehicles.size());
        for (std::size_t v = 0; v < reports[0].vehicles.size(); ++v) {
            const auto& a = reports[0].vehicles[v];
            const auto& b = reports[1].vehicles[v];
            ASSERT_EQ(a.handles.size(), b.handles.size()) << entry.path();
            for (std::size_t h = 0; h < a.handles.size(); ++h) {
                EXPECT_EQ(a.handles[h].kind, b.handles[h].kind);
                EXPECT_EQ(a.handles[h].framesEngaged, b.handles[h].framesEngaged) << entry.path() << a.handles[h].kind;
            }
            EXPECT_EQ(a.stickPositions, b.stickPositions);
            EXPECT_EQ(a.shiftStrokes, b.shiftStrokes);
        }
        ASSERT_EQ(tracks[0].size(), tracks[1].size()) << entry.path();
        for (const auto& [key, values] : tracks[0]) {
            const auto other = tracks[1].find(key);
            ASSERT_NE(other, tracks[1].end()) << entry.path() << " " << key.first;
            ASSERT_EQ(values.size(), other->second.size());
            float gap = 0.0f;
            for (std::size_t i = 0; i < values.size(); ++i) gap = std::max(gap, std::fabs(values[i] - other->second[i]));
            EXPECT_LE(gap, 1e-5f) << entry.path() << " " << key.first << " " << key.second;
        }
    }
    EXPECT_GE(scenarios, 5);
    fs::remove_all(dir);
}

TEST(GltfExport, TheAnimationHoldsEveryFrameOfTheRun) {
    std::string error;
    const auto scenario = sim::Scenario::Load(sim::BuiltInScenesDirectory() / "motorbike.scenario", &error);
    ASSERT_TRUE(scenario) << error;
    sim::SimHost host;
    Runtime runtime(host);
    host.SetTimeStep(scenario->timeStep);
    host.StartGame();
    const sim::ScenarioVehicle& sv = scenario->vehicles.at(0);
    ASSERT_TRUE(host.AddVehicleModel(sv.model));
    CVehicle* vehicle = host.CreateVehicle(sv.model.id, sv.WorldMatrix());
    CPed* driver = host.CreatePed();
    ASSERT_TRUE(host.SeatPed(driver, vehicle, true));
    ASSERT_TRUE(host.SetPlayer(driver));  // riders who are not the player are left to the game

    GltfExport recording(sv.model, "ride", scenario->timeStep);
    std::vector<std::array<Quaternion, kNodeCount>> posed;
    std::vector<Vector3> seats;
    std::vector<FrameMatrix> bars;
    for (int frame = 0; frame < scenario->frameCount; ++frame) {
        scenario->Drive(0, frame, *vehicle);
        host.RunFrame();
        recording.Capture(host, vehicle, driver, runtime.rigs().RigOf(vehicle));
        std::array<Quaternion, kNodeCount> bones;
        for (int node = 0; node < kNodeCount; ++node) bones[static_cast<std::size_t>(node)] = host.Skeleton(driver)->Frame(node)->rotation;
        posed.push_back(bones);
        seats.push_back(InverseTransformPoint(driver->matrix.pos, vehicle->matrix));
        bars.push_back(host.FindFrame(vehicle, "handlebars")->modelling);
    }
    EXPECT_EQ(recording.FrameCount(), scenario->frameCount);
    const tinygltf::Model gltf = ReadGlb(recording.Glb(&error));
    ASSERT_EQ(gltf.animations.size(), 1u) << error;
    const auto frames = static_cast<std::size_t>(scenario->frameCount);

    // One clock: frame N at N x time step x 20 ms.
    const tinygltf::AnimationSampler& first = gltf.animations[0].samplers.at(0);
    const std::vector<float> times = FloatsOf(gltf, first.input);
    ASSERT_EQ(times.size(), frames);
    for (std::size_t f = 0; f < frames; ++f) {
        EXPECT_FLOAT_EQ(times[f], static_cast<float>(static_cast<double>(f) * scenario->timeStep * 0.02));
    }

    const auto tracks = Tracks(gltf);
    int boneTracks = 0;
    float largestTurn = 0.0f;
    for (const tinygltf::AnimationChannel& c : gltf.animations[0].channels) {
        const tinygltf::Node& node = gltf.nodes.at(static_cast<std::size_t>(c.target_node));
        if (!node.extras.Has("node")) continue;
        const auto n = static_cast<std::size_t>(node.extras.Get("node").GetNumberAsInt());
        ASSERT_EQ(c.target_path, "rotation");
        ++boneTracks;
        const std::vector<float>& track = tracks.at({node.name, "rotation"});
        ASSERT_EQ(track.size(), frames * 4);
        for (std::size_t f = 0; f < frames; ++f) {
            const Quaternion want = Normalized(posed[f][n]);
            ASSERT_LE(RotationGap(GameRotation(track, f), want), 1e-5f) << node.name << " at frame " << f;
            largestTurn = std::max(largestTurn, RotationGap(want, Normalized(posed[0][n])));
        }
    }
    EXPECT_EQ(boneTracks, kNodeCount);
    EXPECT_GT(largestTurn, 0.1f) << "the rider never moved: the test would prove nothing";

    // The seat, with the seat motion's offset, and the bar the rig turns.
    const std::vector<float>& seat = tracks.at({"driver", "translation"});
    float sway = 0.0f;
    for (std::size_t f = 0; f < frames; ++f) {
        const Vector3 got = SwapGameGltfAxes(Vector3{seat[3 * f], seat[3 * f + 1], seat[3 * f + 2]});
        ASSERT_LE(Distance(got, seats[f]), 1e-5f) << "frame " << f;
        sway = std::max(sway, Distance(seats[f], seats[0]));
    }
    EXPECT_GT(sway, 0.01f);
    const std::vector<float>& bar = tracks.at({"handlebars", "rotation"});
    for (std::size_t f = 0; f < frames; ++f) {
        const FrameMatrix got = QuaternionToFrame(GameRotation(bar, f));
        ASSERT_LE(Distance(got.right, bars[f].right) + Distance(got.up, bars[f].up) + Distance(got.at, bars[f].at), 3e-5f)
            << "frame " << f;
    }
    EXPECT_TRUE(tracks.contains({"forks_front", "rotation"})) << "the game turns the steering node";
    EXPECT_TRUE(tracks.contains({"ik_bike_peg", "rotation"})) << "a control frame, turned or not";
    EXPECT_FALSE(tracks.contains({"chassis", "rotation"})) << "neither a control nor ever turned";
}

TEST(GltfExport, RunsWriteOneFilePerVehicleAndSayWhenARigHasNothingToHold) {
    const fs::path dir = TempDir("kovra-gltf-run");
    VehicleModel kart;
    kart.id = 700;
    kart.name = "kart";
    kart.type = kVehicleTypeCar;
    kart.frames.push_back({"body", -1, FrameMatrix{}, sim::BoxVertices({-0.6f, -1, 0}, {0.6f, 1, 0.4f}), sim::BoxTriangles()});
    ASSERT_TRUE(SaveGltfModel(kart, dir / "kart.glb"));
    std::ofstream(dir / "karts.scenario") << "kovra-scenario 1\nframes 30\n"
                                             "vehicle kart.glb\n  driver ped\nvehicle kart.glb\n  position 3 0 0\n";
    testing::internal::CaptureStdout();
    const std::string scenario = (dir / "karts.scenario").string(), out = (dir / "out").string();
    std::vector<std::string> args = {"kovra", "run", "--scenario", scenario, "--out", out, "--gltf", "--no-pictures", "--quiet"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    const int status = Main(static_cast<int>(argv.size()), argv.data());
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 0) << printed;
    EXPECT_NE(printed.find("no handles: no frame of the model has a control name"), std::string::npos) << printed;
    EXPECT_NE(printed.find("and 2 glTF files to"), std::string::npos) << printed;
    // Two vehicles of one model: each file carries its index.
    EXPECT_TRUE(fs::exists(dir / "out" / "kart-0.glb"));
    EXPECT_TRUE(fs::exists(dir / "out" / "kart-1.glb"));
    const tinygltf::Model driven = ReadGlb(dir / "out" / "kart-0.glb");
    EXPECT_TRUE(Tracks(driven).contains({"driver", "translation"}));
    EXPECT_TRUE(ReadGlb(dir / "out" / "kart-1.glb").animations.empty()) << "nothing moves in an empty kart";
    fs::remove_all(dir);
}

// A nameless, unmoved leaf (an empty child in a modelling tool's file) is
// written as a node object, so that the file reads back.
TEST(GltfExport, AnEmptyNodeIsWrittenAsAnObject) {
    VehicleModel model;
    model.id = 701;
    model.name = "cart";
    model.type = kVehicleTypeCar;
    model.frames.push_back({"body", -1, FrameMatrix{}, sim::BoxVertices({-0.5f, -1, 0}, {0.5f, 1, 0.4f}), sim::BoxTriangles()});
    model.frames.push_back({"", 0, FrameMatrix{}, {}, {}});
    const std::vector<unsigned char> bytes = GltfModelBytes(model);
    ASSERT_GT(bytes.size(), 20u);
    std::uint32_t jsonLength = 0;
    std::memcpy(&jsonLength, bytes.data() + 12, sizeof jsonLength);
    const auto json = nlohmann::json::parse(bytes.begin() + 20, bytes.begin() + 20 + jsonLength);
    for (const auto& node : json.at("nodes")) EXPECT_TRUE(node.is_object()) << json.at("nodes").dump();
    std::string error;
    const auto back = sim::ParseGltfModel(bytes, "cart.glb", {}, &error);
    ASSERT_TRUE(back) << error;
    ASSERT_EQ(back->frames.size(), 2u);
    EXPECT_EQ(back->frames[1].name, "");
}

// The run's glTF files together are bounded, not each on its own; the size
// is worked out in 64 bits whatever the build.
TEST(GltfExport, TheWholeRunsFilesShareOneCap) {
    VehicleModel big;
    big.frames.resize(1024);
    EXPECT_GT(GltfExport::EstimatedBytes(big, 1000000), std::uint64_t{1} << 33);

    const fs::path dir = TempDir("kovra-gltf-cap");
    std::string error;
    const auto sedan = sim::LoadVehicleScene(sim::BuiltInScenesDirectory() / "sedan.vehicle", &error);
    ASSERT_TRUE(sedan) << error;
    const std::uint64_t one = GltfExport::EstimatedBytes(*sedan, 1000000);
    ASSERT_LT(one, kMaxGlbBytes);
    ASSERT_GT(2 * one, kMaxGlbBytes);
    std::ofstream(dir / "two.scenario") << "kovra-scenario 1\nframes 1000000\n"
                                           "vehicle sedan.vehicle\nvehicle sedan.vehicle\n  position 4 0 0\n";
    RunOptions options;
    options.scenarioFile = dir / "two.scenario";
    options.outDir = dir / "out";
    options.gltf = true;
    options.pictures = false;
    EXPECT_FALSE(RunScenario(options, &error));
    EXPECT_NE(error.find("over 1 GiB in all"), std::string::npos) << error;
    fs::remove_all(dir);
}

}  // namespace
}  // namespace kovra::cli
