// The glTF model reader on files that are glTF in their structure: the
// input chooses a binary file's nodes (names with and without control
// names, transforms, children that may loop), meshes and primitives of every
// mode, accessors, buffer views and buffers (the binary chunk, and buffer
// files inside the model's folder or leading out of it, plainly, encoded or
// through a link), scenes and a vehicle record, so that the reader's checks
// are reached rather than the JSON parser's. Properties: a file with a
// buffer outside the model's folder is refused; a refusal names the source;
// what is read validates, every triangle has three distinct corners within
// its frame's vertices and the triangles stay within the bound; and the
// model written back as a .glb reads back to the same frames.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "FuzzSupport.h"
#include "cli/GltfExport.h"
#include "sim/GltfScene.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using kovra::fuzz::Require;

constexpr const char* kNames[] = {"",          "body",         "ik_steer", "ik_gear_stick", "ik_hand_brake",
                                  "ik_gas",    "ik_brake",     "ik_clutch", "handlebars",   "ik_bike_peg",
                                  "ik_bike_shift", "Wheel.ik_steer.001", "chassis", "forks_front"};
constexpr int kComponentTypes[] = {5120, 5121, 5122, 5123, 5125, 5126};
constexpr const char* kTypes[] = {"SCALAR", "VEC2", "VEC3", "VEC4", "MAT4"};

struct BufferFile {
    const char* uri;
    bool outside;
};
constexpr BufferFile kBufferFiles[] = {
    {"inside.bin", false},           {"sub/inside.bin", false},       {"sub/../inside.bin", false},
    {"../outside.bin", true},        {"..%2Foutside.bin", true},      {"%2E%2E/outside.bin", true},
    {"sub/../../outside.bin", true}, {"link.bin", true},
};
constexpr std::size_t kBufferFileBytes = 48;

// The model's folder, with buffer files in and beside it, made once.
const fs::path& ModelFolder() {
    static const fs::path folder = [] {
        const fs::path scratch = kovra::fuzz::ScratchFolder();
        const fs::path model = scratch / "model";
        fs::create_directories(model / "sub");
        const std::string bytes(kBufferFileBytes, '\0');
        for (const fs::path& file : {model / "inside.bin", model / "sub" / "inside.bin", scratch / "outside.bin"}) {
            std::ofstream(file, std::ios::binary) << bytes;
        }
        std::error_code ignored;
        fs::create_symlink(scratch / "outside.bin", model / "link.bin", ignored);
        return model;
    }();
    return folder;
}

double Number(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
        case 0: return 0.0;
        case 1: return 1.0;
        case 2: return -1.0;
        case 3: return in.ConsumeFloatingPoint<double>();
        default: return in.ConsumeFloatingPointInRange<double>(-2.0, 2.0);
    }
}

Json Numbers(FuzzedDataProvider& in, int count) {
    Json out = Json::array();
    for (int i = 0; i < count; ++i) out.push_back(Number(in));
    return out;
}

// A small index, now and then one past the end or negative.
int Index(FuzzedDataProvider& in, int count) {
    const int roll = in.ConsumeIntegralInRange<int>(0, 15);
    if (roll == 0) return -1;
    if (roll == 1 || count == 0) return count;
    return in.ConsumeIntegralInRange<int>(0, count - 1);
}

std::size_t Count(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 9)) {
        case 0: return in.ConsumeIntegral<std::uint32_t>();
        case 1: return (std::size_t{1} << 25) + 1;
        default: return in.ConsumeIntegralInRange<std::size_t>(0, 64);
    }
}

struct Built {
    std::vector<unsigned char> glb;
    bool outside = false;  // a buffer file leads out of the model's folder
};

Built Build(FuzzedDataProvider& in) {
    Built built;
    const int nodeCount = in.ConsumeIntegralInRange<int>(1, 12);
    const int meshCount = in.ConsumeIntegralInRange<int>(0, 4);
    const int accessorCount = in.ConsumeIntegralInRange<int>(0, 8);
    const int viewCount = in.ConsumeIntegralInRange<int>(0, 4);
    const int fileCount = in.ConsumeIntegralInRange<int>(0, 2);
    const int bufferCount = 1 + fileCount;

    Json gltf = {{"asset", {{"version", in.ConsumeIntegralInRange<int>(0, 15) == 0 ? "1.0" : "2.0"}}}};
    Json nodes = Json::array();
    for (int n = 0; n < nodeCount; ++n) {
        Json node = Json::object();
        const std::string name = kNames[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kNames) - 1)];
        if (!name.empty()) node["name"] = name;
        switch (in.ConsumeIntegralInRange<int>(0, 4)) {
            case 0: node["matrix"] = Numbers(in, 16); break;
            case 1: node["translation"] = Numbers(in, 3); break;
            case 2:
                node["rotation"] = Numbers(in, 4);
                if (in.ConsumeBool()) node["scale"] = Numbers(in, 3);
                break;
            default: break;
        }
        if (meshCount > 0 && in.ConsumeBool()) node["mesh"] = Index(in, meshCount);
        Json children = Json::array();
        for (int c = in.ConsumeIntegralInRange<int>(0, 3); c > 0; --c) children.push_back(Index(in, nodeCount));
        if (!children.empty()) node["children"] = children;
        if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
            node["extras"] = {{"kovra-vehicle", 1}, {"id", in.ConsumeIntegralInRange<int>(0, 1000)},
                              {"name", "fuzz"}, {"type", in.ConsumeBool() ? "car" : "motorbike"}};
        }
        nodes.push_back(node);
    }
    gltf["nodes"] = nodes;
    if (in.ConsumeBool()) {
        Json roots = Json::array();
        for (int r = in.ConsumeIntegralInRange<int>(1, 3); r > 0; --r) roots.push_back(Index(in, nodeCount));
        gltf["scenes"] = Json::array({{{"nodes", roots}}});
        gltf["scene"] = in.ConsumeIntegralInRange<int>(0, 1);
    }

    Json meshes = Json::array();
    for (int m = 0; m < meshCount; ++m) {
        Json primitives = Json::array();
        for (int p = in.ConsumeIntegralInRange<int>(1, 2); p > 0; --p) {
            Json primitive = {{"attributes", {{"POSITION", Index(in, accessorCount)}}}};
            if (in.ConsumeBool()) primitive["indices"] = Index(in, accessorCount);
            if (in.ConsumeBool()) primitive["mode"] = in.ConsumeIntegralInRange<int>(0, 7);
            primitives.push_back(primitive);
        }
        meshes.push_back({{"primitives", primitives}});
    }
    if (meshCount > 0) gltf["meshes"] = meshes;

    Json accessors = Json::array();
    for (int a = 0; a < accessorCount; ++a) {
        const bool positions = in.ConsumeBool();
        Json accessor = {
            {"componentType", positions ? 5126 : kComponentTypes[in.ConsumeIntegralInRange<std::size_t>(0, 5)]},
            {"type", positions ? "VEC3" : kTypes[in.ConsumeIntegralInRange<std::size_t>(0, 4)]},
            {"count", Count(in)}};
        if (viewCount > 0 && in.ConsumeIntegralInRange<int>(0, 7) != 0) accessor["bufferView"] = Index(in, viewCount);
        if (in.ConsumeBool()) accessor["byteOffset"] = in.ConsumeIntegralInRange<int>(0, 64);
        if (in.ConsumeIntegralInRange<int>(0, 15) == 0) accessor["normalized"] = true;
        accessors.push_back(accessor);
    }
    if (accessorCount > 0) gltf["accessors"] = accessors;

    const std::size_t binBytes = in.ConsumeIntegralInRange<std::size_t>(0, 512);
    Json views = Json::array();
    for (int v = 0; v < viewCount; ++v) {
        Json view = {{"buffer", Index(in, bufferCount)},
                     {"byteLength", in.ConsumeIntegralInRange<std::size_t>(1, binBytes + 16)}};
        if (in.ConsumeBool()) view["byteOffset"] = in.ConsumeIntegralInRange<std::size_t>(0, binBytes);
        if (in.ConsumeBool()) view["byteStride"] = in.ConsumeIntegralInRange<int>(0, 256);
        views.push_back(view);
    }
    if (viewCount > 0) gltf["bufferViews"] = views;

    Json buffers = Json::array({{{"byteLength", binBytes}}});
    for (int f = 0; f < fileCount; ++f) {
        const BufferFile& file = kBufferFiles[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kBufferFiles) - 1)];
        built.outside = built.outside || file.outside;
        buffers.push_back({{"byteLength", kBufferFileBytes}, {"uri", file.uri}});
    }
    gltf["buffers"] = buffers;
    if (in.ConsumeIntegralInRange<int>(0, 31) == 0) gltf["extensionsRequired"] = {"KHR_draco_mesh_compression"};

    // The binary chunk: the input's bytes, floats now and then.
    std::vector<unsigned char> bin = in.ConsumeBytes<unsigned char>(binBytes);
    bin.resize(binBytes, 0);
    std::string json = gltf.dump();
    while (json.size() % 4 != 0) json += ' ';
    while (bin.size() % 4 != 0) bin.push_back(0);
    const auto put32 = [&](std::uint32_t value) {
        for (int i = 0; i < 4; ++i) built.glb.push_back(static_cast<unsigned char>(value >> (8 * i)));
    };
    built.glb = {'g', 'l', 'T', 'F'};
    put32(2);
    put32(static_cast<std::uint32_t>(12 + 8 + json.size() + (bin.empty() ? 0 : 8 + bin.size())));
    put32(static_cast<std::uint32_t>(json.size()));
    put32(0x4E4F534Au);
    built.glb.insert(built.glb.end(), json.begin(), json.end());
    if (!bin.empty()) {
        put32(static_cast<std::uint32_t>(bin.size()));
        put32(0x004E4942u);
        built.glb.insert(built.glb.end(), bin.begin(), bin.end());
    }
    return built;
}

void CheckTriangles(const kovra::sim::GltfModel& model) {
    std::size_t triangles = 0;
    for (const auto& frame : model.frames) {
        Require(frame.triangles.size() % 3 == 0, "a frame's corners do not make whole triangles");
        triangles += frame.triangles.size() / 3;
        for (std::size_t i = 0; i < frame.triangles.size(); i += 3) {
            const std::uint32_t a = frame.triangles[i], b = frame.triangles[i + 1], c = frame.triangles[i + 2];
            Require(a < frame.vertices.size() && b < frame.vertices.size() && c < frame.vertices.size(),
                    "a triangle names a vertex its frame does not have");
            Require(a != b && b != c && a != c, "a triangle without area was kept");
        }
    }
    Require(triangles <= kovra::sim::kMaxGltfVertices, "more triangles than the bound");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const Built built = Build(in);
    std::string error;
    const auto gltf = kovra::sim::ParseGltfModel(built.glb, "fuzz.glb", ModelFolder(), &error);
    if (!gltf) {
        Require(error.rfind("fuzz.glb: ", 0) == 0, "a refusal does not name the source: " + error);
        return 0;
    }
    Require(!built.outside, "a buffer file outside the model's folder was read");
    CheckTriangles(*gltf);
    kovra::sim::VehicleModel model;
    model.id = 1;
    model.name = "fuzz";
    model.frames = gltf->frames;
    Require(model.Validate(&error), "read frames do not validate: " + error);

    // Written back, the model reads back to the same frames.
    const std::vector<unsigned char> bytes = kovra::cli::GltfModelBytes(model);
    const auto back = kovra::sim::ParseGltfModel(bytes, "back.glb", ModelFolder(), &error);
    Require(back.has_value(), "the model written back does not read: " + error);
    Require(back->frames.size() == model.frames.size(), "the model written back has other frames");
    for (std::size_t i = 0; i < model.frames.size(); ++i) {
        Require(back->frames[i].name == model.frames[i].name &&
                    back->frames[i].vertices.size() == model.frames[i].vertices.size() &&
                    back->frames[i].triangles.size() == model.frames[i].triangles.size(),
                "frame " + std::to_string(i) + " reads back differently");
    }
    return 0;
}
