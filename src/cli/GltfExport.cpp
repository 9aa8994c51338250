#include "cli/GltfExport.h"

#include <tiny_gltf.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <sstream>
#include <utility>

#include "cli/DriverLimbs.h"
#include "kovra/config/FileReplace.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"
#include "sim/GltfScene.h"
#include "sim/SceneFile.h"
#include "sim/SimHost.h"

namespace kovra::cli {

namespace {

namespace fs = std::filesystem;

// The game's clock: a time step of 1 lasts 20 ms.
constexpr double kSecondsPerTimeStep = 0.02;

constexpr float kLimbWidth = 0.05f;  // metres, across each limb box
constexpr float kLeafSize = 0.03f;
constexpr NodeIndex kHeadNode = 6;

// ---- numbers into glTF's axes, in double precision ---------------------------

std::vector<double> GltfVector(const Vector3& game) {
    const Vector3 v = sim::SwapGameGltfAxes(game);
    return {v.x, v.y, v.z};
}

bool IsIdentity(const std::array<double, 4>& q) { return q[0] == 0 && q[1] == 0 && q[2] == 0; }

// An sRGB "#rrggbb" as a linear colour factor.
std::vector<double> LinearColour(const char* hex) {
    std::vector<double> rgba;
    for (int i = 0; i < 3; ++i) {
        const auto digit = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
        const double srgb = (digit(hex[1 + 2 * i]) * 16 + digit(hex[2 + 2 * i])) / 255.0;
        rgba.push_back(srgb <= 0.04045 ? srgb / 12.92 : std::pow((srgb + 0.055) / 1.055, 2.4));
    }
    rgba.push_back(1.0);
    return rgba;
}

// A frame's rest rotation in glTF's axes, worked out in double precision, so
// that a model read back gets its matrices to within a float's rounding.
std::array<double, 4> GltfRestRotation(const FrameMatrix& m) {
    // Columns of the game's rotation are the frame's rows; swapped into
    // glTF's axes on both sides.
    const Vector3 rows[3] = {m.right, m.up, m.at};
    double r[3][3];  // [row][column] of glTF's rotation matrix
    for (int c = 0; c < 3; ++c) {
        // glTF axis c is the game's axis k, maybe negated: X = -x, Y = z, Z = y.
        static constexpr int kGameAxis[3] = {0, 2, 1};
        static constexpr double kSign[3] = {-1, 1, 1};
        const Vector3 column = sim::SwapGameGltfAxes(rows[kGameAxis[c]]);
        r[0][c] = kSign[c] * column.x;
        r[1][c] = kSign[c] * column.y;
        r[2][c] = kSign[c] * column.z;
    }
    std::array<double, 4> q;  // x, y, z, w
    const double trace = r[0][0] + r[1][1] + r[2][2];
    if (trace > 0) {
        const double s = 2 * std::sqrt(trace + 1);
        q = {(r[2][1] - r[1][2]) / s, (r[0][2] - r[2][0]) / s, (r[1][0] - r[0][1]) / s, s / 4};
    } else if (r[0][0] > r[1][1] && r[0][0] > r[2][2]) {
        const double s = 2 * std::sqrt(1 + r[0][0] - r[1][1] - r[2][2]);
        q = {s / 4, (r[0][1] + r[1][0]) / s, (r[0][2] + r[2][0]) / s, (r[2][1] - r[1][2]) / s};
    } else if (r[1][1] > r[2][2]) {
        const double s = 2 * std::sqrt(1 + r[1][1] - r[0][0] - r[2][2]);
        q = {(r[0][1] + r[1][0]) / s, s / 4, (r[1][2] + r[2][1]) / s, (r[0][2] - r[2][0]) / s};
    } else {
        const double s = 2 * std::sqrt(1 + r[2][2] - r[0][0] - r[1][1]);
        q = {(r[0][2] + r[2][0]) / s, (r[1][2] + r[2][1]) / s, s / 4, (r[1][0] - r[0][1]) / s};
    }
    const double length = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    if (!(length > 1e-12) || !std::isfinite(length)) return {0, 0, 0, 1};
    for (double& c : q) c /= length;
    return q;
}

// ---- the document ----------------------------------------------------------------

// Builds one glTF model: the binary chunk, its views and accessors.
class Document {
public:
    tinygltf::Model gltf;

    Document() {
        gltf.asset.version = "2.0";
        gltf.asset.generator = "kovra";
        gltf.buffers.emplace_back();
    }

    int View(const void* bytes, std::size_t size, int target) {
        std::vector<unsigned char>& data = gltf.buffers[0].data;
        data.resize((data.size() + 3) / 4 * 4, 0);  // every view starts 4-aligned
        tinygltf::BufferView view;
        view.buffer = 0;
        view.byteOffset = data.size();
        view.byteLength = size;
        view.target = target;
        const auto* first = static_cast<const unsigned char*>(bytes);
        data.insert(data.end(), first, first + size);
        gltf.bufferViews.push_back(view);
        return static_cast<int>(gltf.bufferViews.size()) - 1;
    }

    // Floats, `width` to an element; with their bounds when asked (positions
    // and animation times must have them).
    int Floats(const std::vector<float>& values, int width, bool bounds, int target = 0) {
        tinygltf::Accessor a;
        a.bufferView = View(values.data(), values.size() * sizeof(float), target);
        a.componentType = TINYGLTF_COMPONENT_TYPE_FLOAT;
        a.count = values.size() / static_cast<std::size_t>(width);
        a.type = width == 1 ? TINYGLTF_TYPE_SCALAR
                 : width == 3 ? TINYGLTF_TYPE_VEC3
                              : TINYGLTF_TYPE_VEC4;
        if (bounds) {
            a.minValues.assign(static_cast<std::size_t>(width), std::numeric_limits<double>::max());
            a.maxValues.assign(static_cast<std::size_t>(width), std::numeric_limits<double>::lowest());
            for (std::size_t i = 0; i < values.size(); ++i) {
                const std::size_t c = i % static_cast<std::size_t>(width);
                a.minValues[c] = std::min(a.minValues[c], static_cast<double>(values[i]));
                a.maxValues[c] = std::max(a.maxValues[c], static_cast<double>(values[i]));
            }
        }
        gltf.accessors.push_back(a);
        return static_cast<int>(gltf.accessors.size()) - 1;
    }

    int Indices(const std::vector<std::uint32_t>& values) {
        tinygltf::Accessor a;
        a.bufferView = View(values.data(), values.size() * sizeof(std::uint32_t),
                            TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER);
        a.componentType = TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT;
        a.count = values.size();
        a.type = TINYGLTF_TYPE_SCALAR;
        gltf.accessors.push_back(a);
        return static_cast<int>(gltf.accessors.size()) - 1;
    }

    int Material(const std::string& name, const char* colour) {
        tinygltf::Material m;
        m.name = name;
        m.pbrMetallicRoughness.baseColorFactor = LinearColour(colour);
        m.pbrMetallicRoughness.metallicFactor = 0.0;
        m.pbrMetallicRoughness.roughnessFactor = 0.8;
        m.doubleSided = true;
        gltf.materials.push_back(m);
        return static_cast<int>(gltf.materials.size()) - 1;
    }

    // A mesh of game-space vertices: triangles when given, else points.
    int Mesh(const std::string& name, const std::vector<Vector3>& vertices,
             const std::vector<std::uint32_t>& triangles, int material) {
        std::vector<float> positions;
        positions.reserve(vertices.size() * 3);
        for (const Vector3& v : vertices) {
            const Vector3 g = sim::SwapGameGltfAxes(v);
            positions.insert(positions.end(), {g.x, g.y, g.z});
        }
        tinygltf::Primitive primitive;
        primitive.attributes["POSITION"] = Floats(positions, 3, true, TINYGLTF_TARGET_ARRAY_BUFFER);
        primitive.material = material;
        if (triangles.empty()) {
            primitive.mode = TINYGLTF_MODE_POINTS;
        } else {
            primitive.mode = TINYGLTF_MODE_TRIANGLES;
            primitive.indices = Indices(triangles);
        }
        tinygltf::Mesh mesh;
        mesh.name = name;
        mesh.primitives.push_back(primitive);
        gltf.meshes.push_back(mesh);
        return static_cast<int>(gltf.meshes.size()) - 1;
    }

    int Node(const std::string& name) {
        tinygltf::Node node;
        node.name = name;
        gltf.nodes.push_back(node);
        return static_cast<int>(gltf.nodes.size()) - 1;
    }

    void Place(int node, const Vector3& position, const std::array<double, 4>& rotation) {
        tinygltf::Node& n = gltf.nodes[static_cast<std::size_t>(node)];
        if (!position.IsZero()) n.translation = GltfVector(position);
        if (!IsIdentity(rotation)) n.rotation.assign(rotation.begin(), rotation.end());
    }
};

tinygltf::Value VehicleRecord(const sim::VehicleModel& m) {
    const auto point = [](const Vector3& v) {
        return tinygltf::Value(tinygltf::Value::Array{tinygltf::Value(static_cast<double>(v.x)),
                                                      tinygltf::Value(static_cast<double>(v.y)),
                                                      tinygltf::Value(static_cast<double>(v.z))});
    };
    tinygltf::Value::Object record;
    record[std::string(sim::kGltfVehicleKey)] = tinygltf::Value(sim::kGltfVehicleVersion);
    record["id"] = tinygltf::Value(m.id);
    record["name"] = tinygltf::Value(m.name);
    record["type"] = tinygltf::Value(std::string(sim::SceneVehicleTypeName(m.type)));
    record["front-seat"] = point(m.frontSeat);
    record["handlebar"] = point(m.handlebar);
    record["anim-group"] = tinygltf::Value(m.animGroup);
    record["lean-limit"] = tinygltf::Value(static_cast<double>(m.leanLimit));
    if (!m.bodyFrame.empty()) record["body-frame"] = tinygltf::Value(m.bodyFrame);
    if (!m.steeringFrame.empty()) record["steering-frame"] = tinygltf::Value(m.steeringFrame);
    return tinygltf::Value(record);
}

}  // namespace

std::array<double, 4> GltfRotation(const Quaternion& game, const std::array<double, 4>* previous) {
    const Quaternion q = sim::SwapGameGltfAxes(game);
    std::array<double, 4> r = {q.x, q.y, q.z, q.w};
    const double length = std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2] + r[3] * r[3]);
    if (!(length > 1e-12) || !std::isfinite(length)) return {0, 0, 0, 1};
    for (double& c : r) c /= length;
    if (previous && r[0] * (*previous)[0] + r[1] * (*previous)[1] + r[2] * (*previous)[2] +
                            r[3] * (*previous)[3] < 0) {
        for (double& c : r) c = -c;
    }
    return r;
}

GltfExport::GltfExport(sim::VehicleModel model, std::string title, float timeStep)
    : model_(std::move(model)),
      title_(std::move(title)),
      timeStep_(IsFinite(timeStep) && timeStep > 0.0f ? timeStep : 1.0f),
      control_(model_.frames.size(), false) {
    for (NodeIndex node = 0; node < kNodeCount; ++node) {
        boneTranslations_[static_cast<std::size_t>(node)] = sim::SimSkeleton::RestFrames()[node].translation;
    }
}

std::uint64_t GltfExport::EstimatedBytes(const sim::VehicleModel& model, int frames) {
    // 64 bits whatever the build: a million frames of a large model would
    // wrap a 32-bit size and pass for a small file.
    const std::uint64_t perFrame = 4 + (std::uint64_t{model.frames.size()} + kNodeCount) * 16 + 12;
    std::uint64_t geometry = 0;
    for (const sim::VehicleModel::Frame& f : model.frames) {
        geometry += std::uint64_t{f.vertices.size()} * 12 + std::uint64_t{f.triangles.size()} * 4 + 8;
    }
    return static_cast<std::uint64_t>(std::max(frames, 0)) * perFrame + geometry + (std::uint64_t{1} << 16);
}

void GltfExport::Capture(sim::SimHost& host, CVehicle* vehicle, CPed* driver, const CabinIk* rig) {
    if (vehicle == nullptr) return;
    ++frames_;
    for (std::size_t i = 0; i < model_.frames.size(); ++i) {
        const HostFrame* frame = vehicle->frames.FrameAt(static_cast<int>(i));
        frameRotations_.push_back(frame ? MatrixToQuaternion(frame->modelling) : Quaternion::Identity());
    }
    if (rig) {
        for (const auto& handle : rig->handles) {
            for (const FrameSlot* slot : {&handle->frameA, &handle->frameB}) {
                for (std::size_t i = 0; slot->frame && i < model_.frames.size(); ++i) {
                    if (vehicle->frames.FrameAt(static_cast<int>(i)) == slot->frame) control_[i] = true;
                }
            }
        }
    }

    sim::SimSkeleton* skeleton = host.Skeleton(driver);
    if (skeleton && !hasDriver_) {
        // Rotations of the frames before the driver came keep the rest pose.
        hasDriver_ = true;
        boneRotations_.clear();
        seats_.clear();
        for (int f = 1; f < frames_; ++f) {
            for (NodeIndex node = 0; node < kNodeCount; ++node) {
                boneRotations_.push_back(sim::SimSkeleton::RestFrames()[node].rotation);
            }
            seats_.push_back(InverseTransformPoint(driver->matrix.pos, vehicle->matrix));
        }
        for (NodeIndex node = 0; node < kNodeCount; ++node) {
            boneTranslations_[static_cast<std::size_t>(node)] = skeleton->Frame(node)->translation;
        }
    }
    if (!hasDriver_) return;
    if (skeleton) {
        for (NodeIndex node = 0; node < kNodeCount; ++node) boneRotations_.push_back(skeleton->Frame(node)->rotation);
        seats_.push_back(InverseTransformPoint(driver->matrix.pos, vehicle->matrix));
    } else {
        // Gone this frame: the last pose holds.
        std::array<Quaternion, kNodeCount> last;
        std::copy(boneRotations_.end() - kNodeCount, boneRotations_.end(), last.begin());
        boneRotations_.insert(boneRotations_.end(), last.begin(), last.end());
        seats_.push_back(seats_.back());
    }
}

std::vector<unsigned char> GltfExport::Glb(std::string* error) const {
    if (EstimatedBytes(model_, frames_) > kMaxGlbBytes) {
        if (error) *error = "a glTF file of " + std::to_string(frames_) + " frames would be larger than 1 GiB";
        return {};
    }
    Document doc;
    // Materials are made as meshes first use them, so none is left unused.
    std::map<std::string, int> materials;
    const auto material = [&](const std::string& name, const char* colour) {
        const auto [it, added] = materials.try_emplace(name, 0);
        if (added) it->second = doc.Material(name, colour);
        return it->second;
    };

    // The vehicle: its node, then each frame's, children in the model's order.
    const int vehicleNode = doc.Node(model_.name);
    doc.gltf.nodes[static_cast<std::size_t>(vehicleNode)].extras = VehicleRecord(model_);
    std::vector<int> frameNodes;
    for (std::size_t i = 0; i < model_.frames.size(); ++i) {
        const sim::VehicleModel::Frame& f = model_.frames[i];
        const int node = doc.Node(f.name);
        frameNodes.push_back(node);
        doc.Place(node, f.modelling.pos, GltfRestRotation(f.modelling));
        if (!f.vertices.empty()) {
            doc.gltf.nodes[static_cast<std::size_t>(node)].mesh =
                doc.Mesh(f.name, f.vertices, f.triangles,
                         control_[i] ? material("control frame", "#f0a030") : material("vehicle", "#8c96a0"));
        }
        const int parent = f.parent >= 0 ? frameNodes[static_cast<std::size_t>(f.parent)] : vehicleNode;
        doc.gltf.nodes[static_cast<std::size_t>(parent)].children.push_back(node);
    }
    tinygltf::Scene scene;
    scene.name = title_;
    scene.nodes.push_back(vehicleNode);

    // The driver: a node at the seat, the bones under it, a box per limb
    // along each bone's own x axis, which points at its main child.
    std::array<int, kNodeCount> boneNodes{};
    int driverNode = -1;
    if (hasDriver_) {
        driverNode = doc.Node("driver");
        doc.Place(driverNode, seats_.front(), {0, 0, 0, 1});
        scene.nodes.push_back(driverNode);
        for (NodeIndex node = 0; node < kNodeCount; ++node) {
            const auto n = static_cast<std::size_t>(node);
            boneNodes[n] = doc.Node(kBoneNames[n]);
            tinygltf::Value::Object extras;
            extras["bone"] = tinygltf::Value(NodeToBoneId(node));
            extras["node"] = tinygltf::Value(node);
            doc.gltf.nodes[static_cast<std::size_t>(boneNodes[n])].extras = tinygltf::Value(extras);
            doc.Place(boneNodes[n], boneTranslations_[n], GltfRotation(boneRotations_[n]));
            const int parent = node == 0 ? driverNode : boneNodes[static_cast<std::size_t>(ParentNode(node))];
            doc.gltf.nodes[static_cast<std::size_t>(parent)].children.push_back(boneNodes[n]);
            if (node == 0) continue;
            const int child = sim::SimSkeleton::MainChild(node);
            const float h = kLimbWidth / 2.0f;
            Vector3 min{-kLeafSize, -kLeafSize, -kLeafSize}, max{kLeafSize, kLeafSize, kLeafSize};
            if (child > 0) {
                min = {0.0f, -h, -h};
                max = {Length(boneTranslations_[static_cast<std::size_t>(child)]), h, h};
            } else if (node == kHeadNode) {
                min = {-0.02f, -0.09f, -0.09f};
                max = {0.18f, 0.09f, 0.09f};
            }
            doc.gltf.nodes[static_cast<std::size_t>(boneNodes[n])].mesh =
                doc.Mesh(kBoneNames[n], sim::BoxVertices(min, max), sim::BoxTriangles(),
                         material(std::string("driver ") + StyleOf(LimbOf(node)).name,
                                  StyleOf(LimbOf(node)).colour));
        }
    }
    doc.gltf.scenes.push_back(scene);
    doc.gltf.defaultScene = 0;

    // The animation: one sampler per moving part, all on one clock.
    if (frames_ > 0) {
        tinygltf::Animation animation;
        animation.name = title_;
        std::vector<float> times;
        double previous = -1.0;
        for (int f = 0; f < frames_; ++f) {
            float t = static_cast<float>(f * static_cast<double>(timeStep_) * kSecondsPerTimeStep);
            if (!(t > previous)) t = std::nextafter(static_cast<float>(previous), 1e30f);
            times.push_back(t);
            previous = t;
        }
        const int input = doc.Floats(times, 1, true);
        const auto channel = [&](int node, const char* path, const std::vector<float>& values, int width) {
            tinygltf::AnimationSampler sampler;
            sampler.input = input;
            sampler.output = doc.Floats(values, width, false);
            sampler.interpolation = "LINEAR";
            animation.samplers.push_back(sampler);
            tinygltf::AnimationChannel c;
            c.sampler = static_cast<int>(animation.samplers.size()) - 1;
            c.target_node = node;
            c.target_path = path;
            animation.channels.push_back(c);
        };
        // Rotations taken `count` to a frame, the `index`th of each.
        const auto rotations = [&](const std::vector<Quaternion>& all, std::size_t count, std::size_t index) {
            std::vector<float> out;
            out.reserve(static_cast<std::size_t>(frames_) * 4);
            std::array<double, 4> last{0, 0, 0, 1};
            for (int f = 0; f < frames_; ++f) {
                last = GltfRotation(all[static_cast<std::size_t>(f) * count + index], f ? &last : nullptr);
                for (const double c : last) out.push_back(static_cast<float>(c));
            }
            return out;
        };
        const std::size_t frameCount = model_.frames.size();
        for (std::size_t i = 0; i < frameCount; ++i) {
            bool turned = false;
            for (int f = 1; f < frames_ && !turned; ++f) {
                turned = !(frameRotations_[static_cast<std::size_t>(f) * frameCount + i] == frameRotations_[i]);
            }
            if (control_[i] || turned) channel(frameNodes[i], "rotation", rotations(frameRotations_, frameCount, i), 4);
        }
        if (hasDriver_) {
            for (NodeIndex node = 0; node < kNodeCount; ++node) {
                channel(boneNodes[static_cast<std::size_t>(node)], "rotation",
                        rotations(boneRotations_, kNodeCount, static_cast<std::size_t>(node)), 4);
            }
            std::vector<float> seat;
            for (const Vector3& s : seats_) {
                const Vector3 g = sim::SwapGameGltfAxes(s);
                seat.insert(seat.end(), {g.x, g.y, g.z});
            }
            channel(driverNode, "translation", seat, 3);
        }
        if (!animation.channels.empty()) doc.gltf.animations.push_back(animation);
    }
    if (doc.gltf.buffers[0].data.empty()) doc.gltf.buffers.clear();
    // The writer leaves out whatever a node holds by default, and a node
    // with nothing else to say (a nameless, unmoved leaf without mesh)
    // would come out as null, which no reader takes: it says its rotation.
    for (tinygltf::Node& node : doc.gltf.nodes) {
        if (node.name.empty() && node.translation.empty() && node.rotation.empty() && node.scale.empty() &&
            node.matrix.empty() && node.mesh < 0 && node.children.empty() && node.extras.Type() == tinygltf::NULL_TYPE) {
            node.rotation = {0, 0, 0, 1};
        }
    }

    std::ostringstream stream;
    tinygltf::TinyGLTF writer;
    if (!writer.WriteGltfSceneToStream(&doc.gltf, stream, false, true)) {
        if (error) *error = "the glTF writer failed";
        return {};
    }
    const std::string bytes = stream.str();
    return {bytes.begin(), bytes.end()};
}

std::vector<std::string> GltfExport::ControlFrameNames() const {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < model_.frames.size(); ++i) {
        if (control_[i]) names.push_back(model_.frames[i].name);
    }
    return names;
}

bool GltfExport::Save(const fs::path& path, std::string* error) const {
    const std::vector<unsigned char> bytes = Glb(error);
    return !bytes.empty() && SaveGlb(bytes, path, error);
}

bool SaveGlb(const std::vector<unsigned char>& bytes, const fs::path& path, std::string* error) {
    if (!replaceFileContents(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))) {
        if (error) *error = "cannot write " + path.string();
        return false;
    }
    return true;
}

std::vector<unsigned char> GltfModelBytes(const sim::VehicleModel& model) {
    return GltfExport(model, model.name).Glb();
}

bool SaveGltfModel(const sim::VehicleModel& model, const fs::path& path, std::string* error) {
    return GltfExport(model, model.name).Save(path, error);
}

}  // namespace kovra::cli
