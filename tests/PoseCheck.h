#pragma once

#include <cmath>
#include <string>

#include "kovra/ik/Geometry.h"
#include "kovra/ik/Skeleton.h"
#include "sim/SimHost.h"

// What the plugin leaves after a frame must always be a pose the game can
// draw. Shared by the pose property test, the soak run and the fuzz target of
// the per-vehicle file.
namespace kovra::test {

// How far a bone rotation's squared length may stray from 1.
inline constexpr float kUnitTolerance = 1e-3f;

inline std::string FramePath(const HostFrame& frame) {
    return frame.name.empty() ? std::string("(unnamed frame)") : "frame \"" + frame.name + "\"";
}

// Empty when every bone of the driver has a finite unit local rotation and a
// finite matrix, and every frame of the vehicle (the control frames among
// them) a finite modelling and world matrix; otherwise what is wrong first.
inline std::string PoseFault(sim::SimHost& host, CVehicle* vehicle, CPed* driver) {
    if (driver != nullptr) {
        if (!IsFinite(driver->matrix)) return "the driver's matrix is not finite";
        if (sim::SimSkeleton* skeleton = host.Skeleton(driver)) {
            for (int node = 0; node < kNodeCount; ++node) {
                const Quaternion& q = skeleton->Frame(node)->rotation;
                if (!IsFinite(q)) return "node " + std::to_string(node) + ": rotation not finite";
                const float norm = q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
                if (std::fabs(norm - 1.0f) > kUnitTolerance) {
                    return "node " + std::to_string(node) + ": rotation of squared length " +
                           std::to_string(norm);
                }
                if (!IsFinite(skeleton->Frame(node)->translation)) {
                    return "node " + std::to_string(node) + ": translation not finite";
                }
                if (!IsFinite(*skeleton->Matrix(node))) {
                    return "node " + std::to_string(node) + ": matrix not finite";
                }
            }
            if (skeleton->NonFiniteInputs() != 0) return "the skeleton met non-finite frame data";
        }
    }
    if (vehicle != nullptr) {
        for (int i = 0; i < vehicle->frames.FrameCount(); ++i) {
            HostFrame& frame = *vehicle->frames.FrameAt(i);
            if (!IsFinite(frame.modelling)) return FramePath(frame) + ": modelling matrix not finite";
            if (!IsFinite(*host.FrameWorld(&frame))) return FramePath(frame) + ": world matrix not finite";
        }
    }
    return {};
}

}  // namespace kovra::test
