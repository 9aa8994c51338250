#include "sim/VehicleModel.h"

#include <string>
#include <utility>

#include "kovra/ik/Geometry.h"

namespace kovra::sim {

namespace {

bool Fail(std::string* error, std::string text) {
    if (error) *error = std::move(text);
    return false;
}

// A frame at pos, turned about the vehicle's x axis (positive lifts its y
// axis upwards), the only rotation the built-in controls need.
FrameMatrix Placed(const Vector3& pos, float xDegrees = 0.0f) {
    FrameMatrix m;
    if (xDegrees != 0.0f) RotateFrame(m, AxisX, xDegrees, Combine::Replace);
    m.pos = pos;
    return m;
}

VehicleModel::Frame MakeFrame(std::string name, int parent, const FrameMatrix& modelling,
                              std::vector<Vector3> vertices = {}) {
    VehicleModel::Frame f;
    f.name = std::move(name);
    f.parent = parent;
    f.modelling = modelling;
    f.vertices = std::move(vertices);
    return f;
}

}  // namespace

bool VehicleModel::Validate(std::string* error) const {
    if (id < 0) return Fail(error, "model id " + std::to_string(id) + " is negative");
    if (!IsFinite(frontSeat) || !IsFinite(handlebar) || !IsFinite(leanLimit)) {
        return Fail(
            error, "model " + std::to_string(id) + ": seat, handlebar or lean limit is not finite");
    }
    if (frames.size() > static_cast<std::size_t>(kMaxModelFrames)) {
        return Fail(error, "model " + std::to_string(id) + " has more than " +
                               std::to_string(kMaxModelFrames) + " frames");
    }
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const Frame& f = frames[i];
        if (f.parent < -1 || f.parent >= static_cast<int>(i)) {
            return Fail(error, "frame \"" + f.name + "\" names parent " + std::to_string(f.parent) +
                                   ", which does not come before it");
        }
        if (!IsFinite(f.modelling))
            return Fail(error, "frame \"" + f.name + "\" has a non-finite matrix");
        for (const Vector3& v : f.vertices) {
            if (!IsFinite(v))
                return Fail(error, "frame \"" + f.name + "\" has a non-finite vertex");
        }
    }
    return true;
}

int VehicleModel::FindFrame(const std::string& frameName) const {
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (frames[i].name == frameName) return static_cast<int>(i);
    }
    return -1;
}

std::vector<Vector3> BoxVertices(const Vector3& min, const Vector3& max) {
    std::vector<Vector3> v;
    v.reserve(8);
    for (int i = 0; i < 8; ++i) {
        v.push_back({(i & 1) ? max.x : min.x, (i & 2) ? max.y : min.y, (i & 4) ? max.z : min.z});
    }
    return v;
}

VehicleModel MakeSedanModel(int id) {
    VehicleModel m;
    m.id = id;
    m.name = "sedan";
    m.type = kVehicleTypeCar;
    // The driver's pelvis sits at (-0.37, -0.25, 0.05); the controls below are
    // placed around it.
    m.frontSeat = {0.37f, -0.25f, 0.05f};
    m.animGroup = 0;
    m.leanLimit = 0.0f;

    // Wheel: 0.45 ahead of and 0.3 above the pelvis, turning about its local
    // y axis, tilted back 20 degrees so its face looks up at the driver.
    m.frames.push_back(MakeFrame("ik_steer", -1, Placed({-0.37f, 0.20f, 0.35f}, -20.0f),
                                 BoxVertices({-0.19f, -0.02f, -0.19f}, {0.19f, 0.02f, 0.19f})));
    // Stick on the centre console, knob 0.22 up its local z axis.
    m.frames.push_back(MakeFrame("ik_gear_stick", -1, Placed({0.0f, 0.15f, -0.05f}),
                                 BoxVertices({-0.02f, -0.02f, 0.0f}, {0.02f, 0.02f, 0.22f})));
    // Lever behind the stick, reaching forward along local y, raised 15 degrees.
    m.frames.push_back(MakeFrame("ik_hand_brake", -1, Placed({0.0f, -0.15f, 0.05f}, 15.0f),
                                 BoxVertices({-0.015f, 0.0f, 0.0f}, {0.015f, 0.25f, 0.04f})));
    // Pedals hang from their pivots; the pads lie below and slightly behind.
    m.frames.push_back(MakeFrame("ik_gas", -1, Placed({-0.24f, 0.62f, -0.12f}),
                                 BoxVertices({-0.03f, -0.03f, -0.16f}, {0.03f, 0.01f, 0.0f})));
    m.frames.push_back(MakeFrame("ik_brake", -1, Placed({-0.35f, 0.62f, -0.12f}),
                                 BoxVertices({-0.04f, -0.03f, -0.16f}, {0.04f, 0.01f, 0.0f})));
    m.frames.push_back(MakeFrame("ik_clutch", -1, Placed({-0.50f, 0.62f, -0.12f}),
                                 BoxVertices({-0.04f, -0.03f, -0.16f}, {0.04f, 0.01f, 0.0f})));
    return m;
}

VehicleModel MakeMotorbikeModel(int id) {
    VehicleModel m;
    m.id = id;
    m.name = "motorbike";
    m.type = kVehicleTypeMotorbike;
    m.frontSeat = {0.0f, -0.15f, 0.5f};  // the rider's seat
    m.handlebar = {0.30f, 0.30f, 0.75f};
    m.animGroup = 1;
    m.leanLimit = 0.5f;
    m.bodyFrame = "chassis";
    m.steeringFrame = "forks_front";

    constexpr float kRake = 25.0f;  // steering axis leans back at the top
    m.frames.push_back(MakeFrame("chassis", -1, Placed({0.0f, 0.0f, 0.0f}),
                                 BoxVertices({-0.15f, -0.9f, -0.1f}, {0.15f, 0.9f, 0.5f})));
    m.frames.push_back(MakeFrame("forks_front", -1, Placed({0.0f, 0.55f, 0.55f}, kRake)));
    // A sibling of the forks, not a child: the rig copies the forks' rotation
    // into it rather than inheriting it.
    m.frames.push_back(MakeFrame("handlebars", -1, Placed({0.0f, 0.30f, 0.70f}, kRake),
                                 BoxVertices({-0.32f, -0.02f, -0.02f}, {0.32f, 0.02f, 0.02f})));
    const int bars = 2;
    m.frames.push_back(MakeFrame("ik_gas", bars, Placed({0.30f, 0.0f, 0.0f}),
                                 BoxVertices({-0.06f, -0.02f, -0.02f}, {0.06f, 0.02f, 0.02f})));
    m.frames.push_back(MakeFrame("ik_clutch", bars, Placed({-0.28f, 0.05f, 0.0f}),
                                 BoxVertices({-0.08f, 0.0f, -0.01f}, {0.0f, 0.06f, 0.01f})));
    const int chassis = 0;
    m.frames.push_back(MakeFrame("ik_bike_peg", chassis, Placed({0.18f, 0.05f, 0.20f}),
                                 BoxVertices({-0.03f, -0.02f, -0.02f}, {0.03f, 0.02f, 0.02f})));
    m.frames.push_back(MakeFrame("ik_bike_shift", chassis, Placed({-0.20f, 0.12f, 0.22f}),
                                 BoxVertices({-0.01f, 0.0f, -0.01f}, {0.01f, 0.08f, 0.01f})));
    m.frames.push_back(MakeFrame("ik_bike_rbrake", chassis, Placed({0.20f, 0.12f, 0.22f}),
                                 BoxVertices({-0.01f, 0.0f, -0.01f}, {0.01f, 0.08f, 0.01f})));
    return m;
}

}  // namespace kovra::sim
