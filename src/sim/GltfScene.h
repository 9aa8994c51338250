#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kovra/ik/Quaternion.h"
#include "kovra/ik/Vector3.h"
#include "sim/VehicleModel.h"

// Vehicle models from glTF 2.0 files (.gltf with its buffers, or .glb) as a
// modelling tool exports them: the node hierarchy gives the frames, the
// meshes the renderables. The record values a model file does not carry
// come from a .vehicle file that names it or from one node's extras. The
// format and the axes are documented in docs/scenes.md.
namespace kovra::sim {

// A model file, and each buffer file beside a .gltf, may be at most this
// large; a model may hold at most this many vertices in all.
inline constexpr std::size_t kMaxGltfFileBytes = std::size_t{64} << 20;
inline constexpr std::size_t kMaxGltfVertices = std::size_t{1} << 20;

// The extras key that marks the node standing for the vehicle: its value is
// the version of the record schema, and the node's other extras are the
// record's values under the .vehicle file's keywords.
inline constexpr std::string_view kGltfVehicleKey = "kovra-vehicle";
inline constexpr int kGltfVehicleVersion = 1;

// glTF's axes are +Y up, +Z forward (an asset's front faces +Z) and so +X to
// the left; the game's are x right, y forward, z up. A point (x, y, z) of the
// game is (-x, z, y) in glTF. The swap is a proper rotation and its own
// inverse, so the same call converts both ways.
Vector3 SwapGameGltfAxes(const Vector3& v);
// A rotation's quaternion in the other axes: its axis swapped as above.
Quaternion SwapGameGltfAxes(const Quaternion& q);

// Whether a vehicle scene path names a glTF file: ".gltf" or ".glb", in any
// case.
bool IsGltfFileName(const std::filesystem::path& path);

// What a glTF file gives a vehicle scene.
struct GltfModel {
    // Parents first, in the order of a depth-first walk of the scene's nodes
    // (each node's children in the order the node lists them), which is the
    // order the game lists a vehicle's frames in. Scale is baked into the
    // vertices and the children's positions, so every matrix is a rotation.
    std::vector<VehicleModel::Frame> frames;
    // The record values of the vehicle node's extras; `given` names the ones
    // given, by their .vehicle keywords ("id", "front-seat", ...).
    VehicleModel record;
    std::vector<std::string> given;
    // The node the record came from, for messages; empty when no node is
    // marked.
    std::string vehicleNode;
};

// Reads a glTF file. On failure the result is empty and *error holds one
// line: "FILE: what is wrong" (with the node, mesh or accessor at fault).
std::optional<GltfModel> ReadGltfModel(const std::filesystem::path& file,
                                       std::string* error = nullptr);
// The same for bytes in memory; sourceName stands for the file in messages
// and baseDir is where a .gltf's buffer files are looked for.
std::optional<GltfModel> ParseGltfModel(std::span<const unsigned char> bytes,
                                        const std::string& sourceName,
                                        const std::filesystem::path& baseDir,
                                        std::string* error = nullptr);

}  // namespace kovra::sim
