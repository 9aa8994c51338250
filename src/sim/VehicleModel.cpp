#include "sim/VehicleModel.h"

#include <string>
#include <utility>

#include "kovra/ik/Geometry.h"
#include "sim/SceneFile.h"

namespace kovra::sim {

namespace {

bool Fail(std::string* error, std::string text) {
    if (error) *error = std::move(text);
    return false;
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
        if (f.triangles.size() % 3 != 0) {
            return Fail(error, "frame \"" + f.name + "\" has a triangle list that is not whole triangles");
        }
        for (const std::uint32_t index : f.triangles) {
            if (index >= f.vertices.size()) {
                return Fail(error, "frame \"" + f.name + "\" has a triangle corner past its vertices");
            }
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

const std::vector<std::uint32_t>& BoxTriangles() {
    // Two triangles per face, corners numbered as BoxVertices lays them out.
    static const std::vector<std::uint32_t> kTriangles = {
        0, 2, 3, 0, 3, 1,  // z min
        4, 5, 7, 4, 7, 6,  // z max
        0, 1, 5, 0, 5, 4,  // y min
        2, 6, 7, 2, 7, 3,  // y max
        0, 4, 6, 0, 6, 2,  // x min
        1, 3, 7, 1, 7, 5,  // x max
    };
    return kTriangles;
}

// The built-in models live in scenes/, the one description that the tests,
// the benchmarks, the program and modders all read.
VehicleModel MakeSedanModel(int id) { return BuiltInVehicle("sedan.vehicle", id); }

VehicleModel MakeMotorbikeModel(int id) { return BuiltInVehicle("motorbike.vehicle", id); }

}  // namespace kovra::sim
