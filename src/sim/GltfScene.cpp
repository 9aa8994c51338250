#include "sim/GltfScene.h"

#include <tiny_gltf.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "kovra/config/PathText.h"
#include "kovra/ik/Geometry.h"
#include "sim/SceneFile.h"

namespace kovra::sim {

Vector3 SwapGameGltfAxes(const Vector3& v) { return {-v.x, v.z, v.y}; }

Quaternion SwapGameGltfAxes(const Quaternion& q) { return {-q.x, q.z, q.y, q.w}; }

bool IsGltfFileName(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return extension == ".gltf" || extension == ".glb";
}

namespace {

namespace fs = std::filesystem;

// ---- file access for tinygltf ------------------------------------------------

// Buffer files beside a .gltf are read as the model is: size-capped, regular
// files only, and only inside the model's folder (after the URI is decoded
// and links are followed), so that a model cannot pull another file's bytes
// into what a run writes. Paths are taken as they are (no shell-style
// expansion), and nothing is ever written.
struct FileAccess {
    std::filesystem::path folder;  // the model's folder
    std::string base;              // as tinygltf joins it with a URI
    std::string lastError;
    std::string refusedUri;  // the first URI that led out of the folder
};

// tinygltf passes paths as UTF-8 text, as the plugin keeps them.
bool AccessFileExists(const std::string& path, void* user) {
    std::error_code ec;
    const fs::path file = PathFromText(path);
    if (!fs::is_regular_file(file, ec)) return false;
    auto* access = static_cast<FileAccess*>(user);
    if (PathLiesInside(file, access->folder)) return true;
    if (access->refusedUri.empty()) {
        // tinygltf looks for the URI in the model's folder first.
        const bool joined = path.size() > access->base.size() && path.compare(0, access->base.size(), access->base) == 0;
        access->refusedUri = joined ? path.substr(access->base.size() + 1) : path;
    }
    return false;
}

std::string AccessExpandPath(const std::string& path, void*) { return path; }

bool AccessReadFile(std::vector<unsigned char>* out, std::string* err, const std::string& path,
                    void* user) {
    auto* access = static_cast<FileAccess*>(user);
    std::string bytes, why;
    if (!PathLiesInside(PathFromText(path), access->folder)) {
        why = path + " lies outside the model's folder";
    } else if (ReadSceneBytes(PathFromText(path), kMaxGltfFileBytes, bytes, why)) {
        out->assign(bytes.begin(), bytes.end());
        return true;
    }
    if (err) *err += why + "\n";
    access->lastError = why;
    return false;
}

bool AccessWriteFile(std::string* err, const std::string&, const std::vector<unsigned char>&, void*) {
    if (err) *err += "a model is never written while it is read\n";
    return false;
}

// Images are kept undecoded: only nodes and meshes matter to a vehicle.
bool SkipImage(tinygltf::Image*, const int, std::string*, std::string*, int, int,
               const unsigned char*, int, void*) {
    return true;
}

// The first line of a tinygltf message, without its trailing blanks.
std::string FirstLine(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
    return line;
}

// ---- small linear algebra in double precision --------------------------------

using Mat3 = std::array<std::array<double, 3>, 3>;  // [row][column], column vectors
using Vec3 = std::array<double, 3>;

Mat3 QuaternionMatrix(double x, double y, double z, double w) {
    return {{{1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)},
             {2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)},
             {2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)}}};
}

double Determinant(const Mat3& m) {
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
           m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

bool AllFinite(const std::vector<double>& values) {
    return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

// A node's local transform taken apart: rotation, translation and scale, in
// glTF's axes.
struct LocalTransform {
    Mat3 rotation{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    Vec3 translation{0, 0, 0};
    Vec3 scale{1, 1, 1};
};

// ---- the reader ---------------------------------------------------------------

class GltfReader {
public:
    GltfReader(const tinygltf::Model& gltf, std::string source)
        : gltf_(gltf), source_(std::move(source)) {}

    std::optional<GltfModel> Read(std::string* error) {
        if (!ReadAll()) {
            if (error) *error = source_ + ": " + error_;
            return std::nullopt;
        }
        return std::move(out_);
    }

private:
    bool Fail(std::string message) {
        error_ = std::move(message);
        return false;
    }

    std::string NodeName(int index) const {
        const std::string& name = gltf_.nodes[static_cast<std::size_t>(index)].name;
        return "node " + std::to_string(index) +
               (name.empty() ? std::string() : " " + QuotedForMessage(name));
    }

    bool ReadAll() {
        if (gltf_.asset.version.rfind("2.", 0) != 0) {
            return Fail("glTF version " + QuotedForMessage(gltf_.asset.version) +
                        " is not supported (this program reads glTF 2.0)");
        }
        if (!gltf_.extensionsRequired.empty()) {
            return Fail("needs the extension " + QuotedForMessage(gltf_.extensionsRequired.front()) +
                        ", which this program does not read; export without it");
        }
        std::vector<int> roots;
        if (!SceneRoots(roots) || !CheckHierarchy(roots)) return false;
        int vehicle = -1;
        if (!FindVehicleNode(roots, vehicle)) return false;
        Vec3 scale{1, 1, 1};
        if (vehicle >= 0) {
            const tinygltf::Node& node = gltf_.nodes[static_cast<std::size_t>(vehicle)];
            out_.vehicleNode = node.name;
            if (!ReadRecord(vehicle)) return false;
            // The vehicle node is the vehicle's own root: where it stands is
            // the game's business, but its scale reaches its children.
            LocalTransform local;
            if (!Transform(vehicle, local)) return false;
            scale = local.scale;
            roots = node.children;
        }
        for (const int root : roots) {
            if (!Walk(root, -1, scale)) return false;
        }
        return true;
    }

    // The nodes of the scene to show: the default scene's, else the first
    // scene's, else every node that is nobody's child.
    bool SceneRoots(std::vector<int>& roots) {
        const int count = static_cast<int>(gltf_.nodes.size());
        if (!gltf_.scenes.empty()) {
            const int scene =
                gltf_.defaultScene >= 0 && gltf_.defaultScene < static_cast<int>(gltf_.scenes.size())
                    ? gltf_.defaultScene
                    : 0;
            roots = gltf_.scenes[static_cast<std::size_t>(scene)].nodes;
            for (const int root : roots) {
                if (root < 0 || root >= count) {
                    return Fail("scene " + std::to_string(scene) + " names node " +
                                std::to_string(root) + ", which does not exist");
                }
            }
            return true;
        }
        std::vector<bool> isChild(static_cast<std::size_t>(count), false);
        for (const tinygltf::Node& node : gltf_.nodes) {
            for (const int child : node.children) {
                if (child >= 0 && child < count) isChild[static_cast<std::size_t>(child)] = true;
            }
        }
        for (int i = 0; i < count; ++i) {
            if (!isChild[static_cast<std::size_t>(i)]) roots.push_back(i);
        }
        return true;
    }

    // Every node has one parent at most and no node is its own ancestor, so
    // the walk below ends; a node listed twice is refused rather than copied.
    bool CheckHierarchy(const std::vector<int>& roots) {
        const int count = static_cast<int>(gltf_.nodes.size());
        std::vector<int> parent(static_cast<std::size_t>(count), -1);
        for (int i = 0; i < count; ++i) {
            for (const int child : gltf_.nodes[static_cast<std::size_t>(i)].children) {
                if (child < 0 || child >= count) {
                    return Fail(NodeName(i) + " names child " + std::to_string(child) +
                                ", which does not exist");
                }
                int& p = parent[static_cast<std::size_t>(child)];
                if (child == i) return Fail(NodeName(i) + " is its own child");
                if (p >= 0) {
                    return Fail(NodeName(child) + " is the child of both node " + std::to_string(p) +
                                " and node " + std::to_string(i));
                }
                p = i;
            }
        }
        std::vector<bool> root(static_cast<std::size_t>(count), false);
        for (const int r : roots) {
            if (root[static_cast<std::size_t>(r)]) {
                return Fail("the scene lists " + NodeName(r) + " twice");
            }
            if (parent[static_cast<std::size_t>(r)] >= 0) {
                return Fail("the scene lists " + NodeName(r) +
                            " as a root, but it is the child of node " +
                            std::to_string(parent[static_cast<std::size_t>(r)]));
            }
            root[static_cast<std::size_t>(r)] = true;
        }
        // A cycle has no way up to a parentless node. Each node is walked
        // over once: a walk ends at a node already known to reach the top,
        // so a long chain of nodes costs its length, not its square.
        enum : char { kUnknown, kOnThisWalk, kReachesTop };
        std::vector<char> state(static_cast<std::size_t>(count), kUnknown);
        const auto at = [&](int n) -> char& { return state[static_cast<std::size_t>(n)]; };
        for (int i = 0; i < count; ++i) {
            int n = i;
            while (n >= 0 && at(n) == kUnknown) {
                at(n) = kOnThisWalk;
                n = parent[static_cast<std::size_t>(n)];
            }
            if (n >= 0 && at(n) == kOnThisWalk) return Fail(NodeName(i) + " is its own ancestor");
            for (n = i; n >= 0 && at(n) == kOnThisWalk; n = parent[static_cast<std::size_t>(n)]) {
                at(n) = kReachesTop;
            }
        }
        return true;
    }

    bool Marked(int index) const {
        const tinygltf::Value& extras = gltf_.nodes[static_cast<std::size_t>(index)].extras;
        return extras.IsObject() && extras.Has(std::string(kGltfVehicleKey));
    }

    bool FindVehicleNode(const std::vector<int>& roots, int& vehicle) {
        std::vector<int> stack(roots.rbegin(), roots.rend());
        while (!stack.empty()) {
            const int index = stack.back();
            stack.pop_back();
            if (Marked(index)) {
                if (vehicle >= 0) {
                    return Fail("two nodes carry a vehicle record (\"" + std::string(kGltfVehicleKey) +
                                "\" in their extras): " + NodeName(vehicle) + " and " +
                                NodeName(index));
                }
                vehicle = index;
            }
            const std::vector<int>& children = gltf_.nodes[static_cast<std::size_t>(index)].children;
            stack.insert(stack.end(), children.rbegin(), children.rend());
        }
        return true;
    }

    // ---- the record from the extras ---------------------------------------

    bool ExtrasFail(const std::string& key, const std::string& why) {
        return Fail("the extras of " + NodeName(vehicleIndex_) + ": " + QuotedForMessage(key) + " " +
                    why);
    }

    bool Number(const std::string& key, const tinygltf::Value& v, double lo, double hi, double& out) {
        if (!v.IsNumber()) return ExtrasFail(key, "must be a number");
        const double d = v.GetNumberAsDouble();
        if (!std::isfinite(d) || d < lo || d > hi) {
            return ExtrasFail(key, "is out of range (" + FormatSceneNumber(static_cast<float>(lo)) +
                                       " to " + FormatSceneNumber(static_cast<float>(hi)) + ")");
        }
        out = d;
        return true;
    }

    bool Whole(const std::string& key, const tinygltf::Value& v, int lo, int hi, int& out) {
        double d = 0;
        if (!Number(key, v, lo, hi, d)) return false;
        if (d != std::floor(d)) return ExtrasFail(key, "must be a whole number");
        out = static_cast<int>(d);
        return true;
    }

    bool Point(const std::string& key, const tinygltf::Value& v, Vector3& out) {
        if (!v.IsArray() || v.ArrayLen() != 3) return ExtrasFail(key, "must be an array of 3 numbers");
        double d[3];
        for (int i = 0; i < 3; ++i) {
            if (!Number(key, v.Get(i), -kMaxSceneCoordinate, kMaxSceneCoordinate, d[i])) return false;
        }
        out = {static_cast<float>(d[0]), static_cast<float>(d[1]), static_cast<float>(d[2])};
        return true;
    }

    bool Text(const std::string& key, const tinygltf::Value& v, std::string& out) {
        if (!v.IsString()) return ExtrasFail(key, "must be a string");
        const std::string& text = v.Get<std::string>();
        const std::string problem = SceneNameProblem(text);
        if (!problem.empty() || text.empty()) {
            return ExtrasFail(key, problem.empty() ? "must not be empty" : problem);
        }
        out = text;
        return true;
    }

    bool ReadRecord(int index) {
        vehicleIndex_ = index;
        const tinygltf::Value& extras = gltf_.nodes[static_cast<std::size_t>(index)].extras;
        VehicleModel& r = out_.record;
        for (const std::string& key : extras.Keys()) {
            const tinygltf::Value& v = extras.Get(key);
            bool ok = true;
            if (key == kGltfVehicleKey) {
                int version = 0;
                ok = Whole(key, v, 0, 1000, version);
                if (ok && version != kGltfVehicleVersion) {
                    return ExtrasFail(key, "is version " + std::to_string(version) +
                                               "; this program reads version " +
                                               std::to_string(kGltfVehicleVersion));
                }
                continue;
            } else if (key == "id") {
                ok = Whole(key, v, 0, std::numeric_limits<int>::max(), r.id);
            } else if (key == "name") {
                ok = Text(key, v, r.name);
            } else if (key == "type") {
                std::string name;
                ok = Text(key, v, name);
                r.type = SceneVehicleType(name);
                if (ok && r.type < 0) {
                    return ExtrasFail(key, "is " + QuotedForMessage(name) +
                                               ", not a vehicle type (car, motorbike or bicycle)");
                }
            } else if (key == "front-seat") {
                ok = Point(key, v, r.frontSeat);
            } else if (key == "handlebar") {
                ok = Point(key, v, r.handlebar);
            } else if (key == "anim-group") {
                ok = Whole(key, v, 0, 255, r.animGroup);
            } else if (key == "lean-limit") {
                double d = 0;
                ok = Number(key, v, -10.0, 10.0, d);
                r.leanLimit = static_cast<float>(d);
            } else if (key == "body-frame") {
                ok = Text(key, v, r.bodyFrame);
            } else if (key == "steering-frame") {
                ok = Text(key, v, r.steeringFrame);
            } else {
                return ExtrasFail(key, "is not a vehicle value (id, name, type, front-seat, handlebar, "
                                       "anim-group, lean-limit, body-frame, steering-frame)");
            }
            if (!ok) return false;
            out_.given.push_back(key);
        }
        return true;
    }

    // ---- frames -------------------------------------------------------------

    bool Transform(int index, LocalTransform& t) {
        const tinygltf::Node& node = gltf_.nodes[static_cast<std::size_t>(index)];
        if (!node.matrix.empty()) {
            if (node.matrix.size() != 16 || !AllFinite(node.matrix)) {
                return Fail(NodeName(index) + " has a matrix that is not 16 finite numbers");
            }
            const std::vector<double>& m = node.matrix;  // column-major
            if (m[3] != 0 || m[7] != 0 || m[11] != 0 || m[15] != 1) {
                return Fail(NodeName(index) + " has a projective matrix");
            }
            for (int c = 0; c < 3; ++c) {
                const double x = m[4 * c], y = m[4 * c + 1], z = m[4 * c + 2];
                t.scale[c] = std::sqrt(x * x + y * y + z * z);
                if (!(t.scale[c] > 1e-12)) return Fail(NodeName(index) + " is scaled to nothing");
                for (int r = 0; r < 3; ++r) t.rotation[r][c] = m[4 * c + r] / t.scale[c];
            }
            t.translation = {m[12], m[13], m[14]};
            for (int a = 0; a < 3; ++a) {
                for (int b = a + 1; b < 3; ++b) {
                    double dot = 0;
                    for (int r = 0; r < 3; ++r) dot += t.rotation[r][a] * t.rotation[r][b];
                    if (std::fabs(dot) > 1e-4) {
                        return Fail(NodeName(index) +
                                    " has a skewed matrix; a vehicle frame can only be turned, "
                                    "moved and scaled");
                    }
                }
            }
            if (Determinant(t.rotation) < 0) return Mirrored(index);
            return true;
        }
        if (!AllFinite(node.translation) || !AllFinite(node.rotation) || !AllFinite(node.scale)) {
            return Fail(NodeName(index) + " has a transform that is not finite");
        }
        if (node.translation.size() == 3) {
            t.translation = {node.translation[0], node.translation[1], node.translation[2]};
        }
        if (node.rotation.size() == 4) {
            const std::vector<double>& q = node.rotation;
            const double length = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
            if (!(length > 1e-6)) return Fail(NodeName(index) + " has a zero rotation quaternion");
            t.rotation = QuaternionMatrix(q[0] / length, q[1] / length, q[2] / length, q[3] / length);
        }
        if (node.scale.size() == 3) {
            for (int c = 0; c < 3; ++c) {
                t.scale[c] = node.scale[static_cast<std::size_t>(c)];
                if (t.scale[c] < 0) return Mirrored(index);
                if (!(t.scale[c] > 1e-12)) return Fail(NodeName(index) + " is scaled to nothing");
            }
        }
        return true;
    }

    bool Mirrored(int index) {
        return Fail(NodeName(index) +
                    " is mirrored (a negative scale); a vehicle frame can only be turned, moved "
                    "and scaled, so apply the mirror to the mesh in the modelling tool");
    }

    bool Walk(int index, int parentFrame, const Vec3& parentScale) {
        if (out_.frames.size() >= static_cast<std::size_t>(kMaxModelFrames)) {
            return Fail("more than " + std::to_string(kMaxModelFrames) + " nodes");
        }
        LocalTransform local;
        if (!Transform(index, local)) return false;
        // A frame holds no scale: the parent's goes into this node's
        // position and, where it commutes with the node's rotation (uniform,
        // or along the rotation's own axes), on down to its mesh and
        // children.
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) {
                const double skew = (parentScale[r] - parentScale[c]) * local.rotation[r][c];
                if (std::fabs(skew) > 1e-6 * std::max({parentScale[0], parentScale[1], parentScale[2]})) {
                    return Fail(NodeName(index) +
                                " is turned inside a parent that is scaled unevenly, which skews it; "
                                "apply the scale in the modelling tool");
                }
            }
        }
        Vec3 scale{};
        Vector3 position;
        for (int i = 0; i < 3; ++i) scale[i] = parentScale[i] * local.scale[i];
        const Vector3 gltfPosition{static_cast<float>(parentScale[0] * local.translation[0]),
                                   static_cast<float>(parentScale[1] * local.translation[1]),
                                   static_cast<float>(parentScale[2] * local.translation[2])};
        position = SwapGameGltfAxes(gltfPosition);
        if (!InRange(position)) {
            return Fail(NodeName(index) + " lies more than " + FormatSceneNumber(kMaxSceneCoordinate) +
                        " m from its parent (a model in centimetres? scale it to metres)");
        }

        VehicleModel::Frame frame;
        const tinygltf::Node& node = gltf_.nodes[static_cast<std::size_t>(index)];
        frame.name = node.name;
        frame.parent = parentFrame;
        // R_game = W R_gltf W, with W the axis swap: each column of the
        // game's rotation is glTF's rotation of the swapped axis, swapped.
        const auto column = [&](int c) {
            Vector3 axis;
            (c == 0 ? axis.x : c == 1 ? axis.y : axis.z) = 1.0f;
            const Vector3 in = SwapGameGltfAxes(axis);
            Vector3 turned;
            float* out[3] = {&turned.x, &turned.y, &turned.z};
            for (int r = 0; r < 3; ++r) {
                *out[r] = static_cast<float>(local.rotation[r][0] * in.x + local.rotation[r][1] * in.y +
                                             local.rotation[r][2] * in.z);
            }
            return SwapGameGltfAxes(turned);
        };
        frame.modelling.right = column(0);
        frame.modelling.up = column(1);
        frame.modelling.at = column(2);
        frame.modelling.pos = position;
        if (node.mesh >= 0 && !ReadMesh(index, node.mesh, scale, frame)) return false;

        const int self = static_cast<int>(out_.frames.size());
        out_.frames.push_back(std::move(frame));
        for (const int child : node.children) {
            if (!Walk(child, self, scale)) return false;
        }
        return true;
    }

    static bool InRange(const Vector3& v) {
        return std::fabs(v.x) <= kMaxSceneCoordinate && std::fabs(v.y) <= kMaxSceneCoordinate &&
               std::fabs(v.z) <= kMaxSceneCoordinate;
    }

    // ---- meshes -------------------------------------------------------------

    // Where an accessor's elements lie: the first byte (null for an accessor
    // without a buffer view, whose elements are all zero) and the stride.
    struct Elements {
        const unsigned char* first = nullptr;
        std::size_t stride = 0;
        std::size_t count = 0;
    };

    bool Locate(int accessorIndex, int type, const std::vector<int>& componentTypes,
                const std::string& what, Elements& out) {
        if (accessorIndex < 0 || accessorIndex >= static_cast<int>(gltf_.accessors.size())) {
            return Fail(what + " names accessor " + std::to_string(accessorIndex) +
                        ", which does not exist");
        }
        const tinygltf::Accessor& a = gltf_.accessors[static_cast<std::size_t>(accessorIndex)];
        const std::string name = what + " (accessor " + std::to_string(accessorIndex) + ")";
        if (a.type != type ||
            std::find(componentTypes.begin(), componentTypes.end(), a.componentType) ==
                componentTypes.end() ||
            a.normalized) {
            return Fail(name + " has a type this program does not read (" +
                        (type == TINYGLTF_TYPE_VEC3 ? "positions must be float vectors"
                                                    : "indices must be unsigned whole numbers") +
                        ")");
        }
        if (a.sparse.isSparse) return Fail(name + " is sparse, which this program does not read");
        // A bound on counts before any byte arithmetic, so nothing overflows.
        constexpr std::size_t kMaxElements = std::size_t{1} << 26;
        if (a.count > kMaxElements) return Fail(name + " has more than " + std::to_string(kMaxElements) + " elements");
        const std::size_t size =
            static_cast<std::size_t>(tinygltf::GetComponentSizeInBytes(static_cast<std::uint32_t>(a.componentType))) *
            static_cast<std::size_t>(tinygltf::GetNumComponentsInType(static_cast<std::uint32_t>(a.type)));
        out.count = a.count;
        out.stride = size;
        if (a.bufferView < 0 || a.count == 0) return true;
        if (a.bufferView >= static_cast<int>(gltf_.bufferViews.size())) {
            return Fail(name + " names buffer view " + std::to_string(a.bufferView) +
                        ", which does not exist");
        }
        const tinygltf::BufferView& view = gltf_.bufferViews[static_cast<std::size_t>(a.bufferView)];
        if (view.buffer < 0 || view.buffer >= static_cast<int>(gltf_.buffers.size())) {
            return Fail(name + ": its buffer view names a buffer that does not exist");
        }
        const std::vector<unsigned char>& data = gltf_.buffers[static_cast<std::size_t>(view.buffer)].data;
        const std::size_t stride = view.byteStride ? view.byteStride : size;
        if (stride < size || stride > 252) {
            return Fail(name + ": its buffer view's stride is not between an element's size and 252 bytes");
        }
        const bool viewFits = view.byteOffset <= data.size() && view.byteLength <= data.size() - view.byteOffset;
        // Compared by division: the product of count and stride could wrap
        // where a size is 32 bits wide.
        const std::size_t room = a.byteOffset <= view.byteLength ? view.byteLength - a.byteOffset : 0;
        if (!viewFits || a.byteOffset > view.byteLength || size > room || a.count - 1 > (room - size) / stride) {
            return Fail(name + " reaches past the end of its buffer");
        }
        out.first = data.data() + view.byteOffset + a.byteOffset;
        out.stride = stride;
        return true;
    }

    bool ReadPositions(int accessor, const std::string& what, const Vec3& scale,
                       std::vector<Vector3>& vertices) {
        Elements e;
        if (!Locate(accessor, TINYGLTF_TYPE_VEC3, {TINYGLTF_COMPONENT_TYPE_FLOAT}, what, e)) return false;
        if (totalVertices_ + e.count > kMaxGltfVertices) {
            return Fail("more than " + std::to_string(kMaxGltfVertices) + " vertices in all");
        }
        totalVertices_ += e.count;
        for (std::size_t i = 0; i < e.count; ++i) {
            float p[3] = {0, 0, 0};
            if (e.first) std::memcpy(p, e.first + i * e.stride, sizeof p);
            const Vector3 v = SwapGameGltfAxes(Vector3{static_cast<float>(p[0] * scale[0]),
                                                       static_cast<float>(p[1] * scale[1]),
                                                       static_cast<float>(p[2] * scale[2])});
            if (!IsFinite(v) || !InRange(v)) {
                return Fail(what + ": vertex " + std::to_string(i) +
                            " is not finite or lies more than " + FormatSceneNumber(kMaxSceneCoordinate) +
                            " m from its node (a model in centimetres? scale it to metres)");
            }
            vertices.push_back(v);
        }
        return true;
    }

    bool ReadIndices(int accessor, const std::string& what, std::size_t vertexCount,
                     std::vector<std::uint32_t>& indices) {
        Elements e;
        if (!Locate(accessor, TINYGLTF_TYPE_SCALAR,
                    {TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT,
                     TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT},
                    what, e)) {
            return false;
        }
        if (totalCorners_ + e.count > kMaxCorners) {
            return Fail("more than " + std::to_string(kMaxCorners) + " triangle corners in all");
        }
        totalCorners_ += e.count;
        const std::size_t size = static_cast<std::size_t>(tinygltf::GetComponentSizeInBytes(
            static_cast<std::uint32_t>(gltf_.accessors[static_cast<std::size_t>(accessor)].componentType)));
        indices.reserve(e.count);
        for (std::size_t i = 0; i < e.count; ++i) {
            std::uint32_t index = 0;
            if (e.first) {
                const unsigned char* p = e.first + i * e.stride;
                if (size == 1) index = p[0];
                if (size == 2) {
                    std::uint16_t v;
                    std::memcpy(&v, p, 2);
                    index = v;
                }
                if (size == 4) std::memcpy(&index, p, 4);
            }
            if (index >= vertexCount) {
                return Fail(what + ": index " + std::to_string(i) + " names vertex " +
                            std::to_string(index) + " of " + std::to_string(vertexCount));
            }
            indices.push_back(index);
        }
        return true;
    }

    bool ReadMesh(int nodeIndex, int meshIndex, const Vec3& scale, VehicleModel::Frame& frame) {
        if (meshIndex >= static_cast<int>(gltf_.meshes.size())) {
            return Fail(NodeName(nodeIndex) + " names mesh " + std::to_string(meshIndex) +
                        ", which does not exist");
        }
        const tinygltf::Mesh& mesh = gltf_.meshes[static_cast<std::size_t>(meshIndex)];
        for (std::size_t p = 0; p < mesh.primitives.size(); ++p) {
            const tinygltf::Primitive& primitive = mesh.primitives[p];
            const std::string what = "mesh " + std::to_string(meshIndex) + " primitive " + std::to_string(p);
            const auto position = primitive.attributes.find("POSITION");
            if (position == primitive.attributes.end()) continue;
            const auto first = static_cast<std::uint32_t>(frame.vertices.size());
            std::vector<Vector3> vertices;
            if (!ReadPositions(position->second, what + " POSITION", scale, vertices)) return false;
            std::vector<std::uint32_t> corners;
            if (primitive.indices >= 0) {
                if (!ReadIndices(primitive.indices, what + " indices", vertices.size(), corners)) return false;
            } else {
                for (std::size_t i = 0; i < vertices.size(); ++i) corners.push_back(static_cast<std::uint32_t>(i));
            }
            frame.vertices.insert(frame.vertices.end(), vertices.begin(), vertices.end());
            if (!AddTriangles(primitive.mode, corners, first, frame.triangles)) {
                return Fail(what + " makes more than " + std::to_string(kMaxCorners / 3) + " triangles in all");
            }
        }
        return true;
    }

    // Strips and fans become plain triangles; points and lines add none.
    // A triangle with a corner twice has no area and is left out (a strip
    // of one vertex repeated describes nothing); what is left counts
    // against the same bound as the indices, so a strip cannot expand a
    // small file threefold past it. False when it would.
    bool AddTriangles(int mode, const std::vector<std::uint32_t>& c, std::uint32_t first,
                      std::vector<std::uint32_t>& out) {
        bool fits = true;
        const auto add = [&](std::uint32_t a, std::uint32_t b, std::uint32_t d) {
            if (a == b || b == d || a == d || !fits) return;
            if (totalTriangleCorners_ + 3 > kMaxCorners) {
                fits = false;
                return;
            }
            totalTriangleCorners_ += 3;
            out.insert(out.end(), {first + a, first + b, first + d});
        };
        if (mode == TINYGLTF_MODE_TRIANGLES || mode == -1) {
            for (std::size_t i = 0; i + 2 < c.size(); i += 3) add(c[i], c[i + 1], c[i + 2]);
        } else if (mode == TINYGLTF_MODE_TRIANGLE_STRIP) {
            for (std::size_t i = 0; i + 2 < c.size(); ++i) {
                if (i % 2 == 0) add(c[i], c[i + 1], c[i + 2]);
                else add(c[i + 1], c[i], c[i + 2]);
            }
        } else if (mode == TINYGLTF_MODE_TRIANGLE_FAN) {
            for (std::size_t i = 1; i + 1 < c.size(); ++i) add(c[0], c[i], c[i + 1]);
        }
        return fits;
    }

    const tinygltf::Model& gltf_;
    std::string source_;
    std::string error_;
    GltfModel out_;
    int vehicleIndex_ = -1;
    std::size_t totalVertices_ = 0;
    // Corners read as indices, and corners of the triangles made of them:
    // as many triangles as a model may have vertices.
    static constexpr std::size_t kMaxCorners = kMaxGltfVertices * 3;
    std::size_t totalCorners_ = 0;
    std::size_t totalTriangleCorners_ = 0;
};

}  // namespace

std::optional<GltfModel> ParseGltfModel(std::span<const unsigned char> bytes,
                                        const std::string& sourceName, const fs::path& baseDir,
                                        std::string* error) {
    const auto fail = [&](const std::string& why) -> std::optional<GltfModel> {
        if (error) *error = sourceName + ": " + why;
        return std::nullopt;
    };
    if (bytes.size() > kMaxGltfFileBytes) {
        return fail("is larger than " + std::to_string(kMaxGltfFileBytes) + " bytes");
    }
    tinygltf::TinyGLTF loader;
    FileAccess access;
    const std::string base = baseDir.empty() ? std::string(".") : TextFromPath(baseDir);
    access.folder = PathFromText(base);
    access.base = base;
    loader.SetFsCallbacks({&AccessFileExists, &AccessExpandPath, &AccessReadFile, &AccessWriteFile, &access});
    loader.SetImageLoader(&SkipImage, nullptr);
    tinygltf::Model gltf;
    std::string err, warn;
    const bool binary = bytes.size() >= 4 && std::memcmp(bytes.data(), "glTF", 4) == 0;
    bool loaded = false;
    // tinygltf's parser throws on some malformed JSON; that is a refusal too.
    try {
        const auto size = static_cast<unsigned int>(bytes.size());
        loaded = binary ? loader.LoadBinaryFromMemory(&gltf, &err, &warn, bytes.data(), size, base)
                        : loader.LoadASCIIFromString(&gltf, &err, &warn,
                                                     reinterpret_cast<const char*>(bytes.data()), size, base);
    } catch (const std::exception& e) {
        err = e.what();
        loaded = false;
    }
    if (!loaded) {
        if (!access.refusedUri.empty()) {
            return fail("buffer URI " + QuotedForMessage(access.refusedUri) +
                        " leads out of the model's folder; only files inside it are read");
        }
        if (!access.lastError.empty()) return fail("a buffer does not load: " + access.lastError);
        return fail(std::string(binary ? "not a glTF 2.0 binary file" : "not a glTF 2.0 file") +
                    " this program reads: " + (err.empty() ? "it does not parse" : FirstLine(err)));
    }
    return GltfReader(gltf, sourceName).Read(error);
}

std::optional<GltfModel> ReadGltfModel(const fs::path& file, std::string* error) {
    std::string bytes, why;
    if (!ReadSceneBytes(file, kMaxGltfFileBytes, bytes, why)) {
        if (error) *error = why;
        return std::nullopt;
    }
    return ParseGltfModel({reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()},
                          file.string(), file.parent_path(), error);
}

}  // namespace kovra::sim
