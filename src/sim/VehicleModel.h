#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kovra/host/HostTypes.h"
#include "kovra/ik/FrameMatrix.h"
#include "kovra/ik/Vector3.h"

namespace kovra::sim {

// A vehicle model record of the simulated game: the values the game keeps per
// model plus the model's frame hierarchy, which every vehicle of the model
// instances. Plain data so that a scene file can fill it as well as code.
struct VehicleModel {
    struct Frame {
        std::string name;
        int parent = -1;  // index into frames; -1 for a child of the root frame
        FrameMatrix modelling;
        // Vertices of the frame's renderable object, in the frame's own space.
        // Empty: the frame has no renderable.
        std::vector<Vector3> vertices;
        // The renderable's faces, three indices into `vertices` each, for the
        // pictures and the glTF files; the game reads only the vertices.
        // Empty: bare points.
        std::vector<std::uint32_t> triangles;
    };

    int id = -1;
    std::string name;
    int type = kVehicleTypeCar;  // 0 car, 9 motorbike, 10 bicycle
    // Cars: the front passenger's seat (the driver sits at its mirror image in
    // x). Two-wheelers: the rider's seat.
    Vector3 frontSeat;
    Vector3 handlebar;  // zero when the model has none
    int animGroup = 0;  // handling record: driving-animation group
    float leanLimit = 0.0f;
    // Two-wheelers: names of the chassis frame and the steering node frame.
    std::string bodyFrame;
    std::string steeringFrame;
    // Parents come before their children; the order is the child/sibling
    // order of every instance.
    std::vector<Frame> frames;

    bool IsBike() const { return type == kVehicleTypeMotorbike || type == kVehicleTypeBicycle; }

    // False, with the reason in *error when given, for a record no vehicle
    // can be built from: negative id, a parent that does not come earlier in
    // the list, a non-finite number, a triangle index past the vertices, or
    // an absurd frame count.
    bool Validate(std::string* error = nullptr) const;
    int FindFrame(const std::string& frameName) const;  // -1 when absent
};

inline constexpr int kMaxModelFrames = 1024;

// Eight corners of an axis-aligned box, for renderable stand-ins (corner i
// takes max.x when bit 0 of i is set, max.y for bit 1, max.z for bit 2),
// and the twelve triangles of its faces, wound counter-clockwise seen from
// outside.
std::vector<Vector3> BoxVertices(const Vector3& min, const Vector3& max);
const std::vector<std::uint32_t>& BoxTriangles();

// Built-in models for tests and the demo, read from scenes/sedan.vehicle and
// scenes/motorbike.vehicle (see sim/SceneFile.h). The sedan is left-hand
// drive with its driver at x = -0.37; the motorbike carries a handlebar
// position.
VehicleModel MakeSedanModel(int id = 400);
VehicleModel MakeMotorbikeModel(int id = 461);

}  // namespace kovra::sim
