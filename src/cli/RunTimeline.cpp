#include "cli/RunTimeline.h"

#include <algorithm>
#include <cmath>

#include <nlohmann/json.hpp>

#include "cli/DriverLimbs.h"
#include "cli/ScenarioRun.h"
#include "kovra/ik/Geometry.h"
#include "sim/GltfScene.h"

namespace kovra::cli {

namespace {

using JsonValue = nlohmann::ordered_json;

// How far from a vehicle's origin its own debug lines may reach, metres.
constexpr float kLineReach = 5.0f;

// A bone's three axes in the vehicle's space, each of unit length.
std::array<Vector3, 3> AxesInVehicle(const FrameMatrix& bone, const FrameMatrix& vehicle) {
    const Vector3 vx = NormalizedCopy(vehicle.right);
    const Vector3 vy = NormalizedCopy(vehicle.up);
    const Vector3 vz = NormalizedCopy(vehicle.at);
    std::array<Vector3, 3> axes;
    const Vector3 world[3] = {bone.right, bone.up, bone.at};
    for (std::size_t i = 0; i < 3; ++i) {
        const Vector3 a = NormalizedCopy(world[i]);
        axes[i] = {Dot(a, vx), Dot(a, vy), Dot(a, vz)};
    }
    return axes;
}

// A bone's axes in its parent's axes.
std::array<Vector3, 3> InParent(const std::array<Vector3, 3>& bone, const std::array<Vector3, 3>& parent) {
    std::array<Vector3, 3> local;
    for (std::size_t i = 0; i < 3; ++i) {
        local[i] = {Dot(bone[i], parent[0]), Dot(bone[i], parent[1]), Dot(bone[i], parent[2])};
    }
    return local;
}

// The angle, in degrees, of the rotation that takes one set of axes to the
// other: from the trace of the relative rotation.
float TurnDegrees(const std::array<Vector3, 3>& from, const std::array<Vector3, 3>& to) {
    const float trace = Dot(from[0], to[0]) + Dot(from[1], to[1]) + Dot(from[2], to[2]);
    return Acos((trace - 1.0f) / 2.0f) * kRadToDeg;
}

// A series value as the report writes its figures, null where it is not a
// number.
JsonValue Number(float value) {
    if (!IsFinite(value)) return nullptr;
    return ReportRounded(value);
}

JsonValue Series(const std::vector<float>& values) {
    JsonValue out = JsonValue::array();
    for (const float v : values) out.push_back(Number(v));
    return out;
}

}  // namespace

RunTimeline::RunTimeline(std::vector<int> handleKinds) : kinds_(std::move(handleKinds)) {
    openMiss_.fill(-1);
    openTurn_.fill(-1);
}

void RunTimeline::Add(const Frame& frame) {
    steer_.push_back(frame.steerAngle);
    gas_.push_back(frame.gasPedal);
    brake_.push_back(frame.brakePedal);
    gear_.push_back(frame.actedGear);
    for (std::size_t k = 0; k < kHandleKindCount; ++k) {
        weight_[k].push_back(frame.weight[k]);
        error_[k].push_back(frame.reachError[k]);
    }
    lineStarts_.push_back(static_cast<std::uint32_t>(lineColours_.size()));
    FrameMatrix vehicleAxes = frame.vehicle;  // the points as the vehicle sees them
    for (std::size_t i = 0; i + 1 < frame.linePoints.size() && i / 2 < frame.lineColours.size(); i += 2) {
        const Vector3 ends[2] = {frame.linePoints[i], frame.linePoints[i + 1]};
        if (!IsFinite(ends[0]) || !IsFinite(ends[1])) continue;
        // The game's lines are not told apart by vehicle: another vehicle's
        // are the ones away from this one's cabin.
        if (Distance(ends[0], frame.vehicle.pos) > kLineReach || Distance(ends[1], frame.vehicle.pos) > kLineReach) {
            continue;
        }
        for (const Vector3& p : ends) {
            const Vector3 g = sim::SwapGameGltfAxes(InverseTransformPoint(p, vehicleAxes));
            linePoints_.insert(linePoints_.end(), {g.x, g.y, g.z});
        }
        lineColours_.push_back(frame.lineColours[i / 2]);
    }
    MarkMisses(frame);
    MarkTurns(frame);
}

void RunTimeline::MarkMisses(const Frame& frame) {
    const int index = FrameCount() - 1;
    for (std::size_t k = 0; k < kHandleKindCount; ++k) {
        const float error = frame.reachError[k];
        if (!(error > kMissLimit)) {
            openMiss_[k] = -1;
            continue;
        }
        if (openMiss_[k] >= 0) {
            Mark& open = marks_[static_cast<std::size_t>(openMiss_[k])];
            open.frames = index - open.frame + 1;
            if (error > open.value) open.peak = index;
            open.value = std::max(open.value, error);
            continue;
        }
        openMiss_[k] = static_cast<int>(marks_.size());
        marks_.push_back({index, 1, index, "reach", HandleKindName(static_cast<int>(k)), error});
    }
}

void RunTimeline::MarkTurns(const Frame& frame) {
    const int index = FrameCount() - 1;
    if (!frame.hasDriver) {
        hadDriver_ = false;
        openTurn_.fill(-1);
        return;
    }
    std::array<std::array<Vector3, 3>, kNodeCount> axes;
    std::array<float, kNodeCount> turn{};
    for (NodeIndex node = 0; node < kNodeCount; ++node) {
        const auto n = static_cast<std::size_t>(node);
        axes[n] = AxesInVehicle(frame.bones[n], frame.vehicle);
        turn[n] = hadDriver_ ? TurnDegrees(lastAxes_[n], axes[n]) : 0.0f;
    }
    // A bone that turns with its parent is carried: it is named only when
    // its parent stayed within the limit or it turned against its parent
    // beyond the limit too, so that each mark names the bone that moved.
    for (NodeIndex node = 1; node < kNodeCount; ++node) {
        const auto n = static_cast<std::size_t>(node);
        const auto p = static_cast<std::size_t>(ParentNode(node));
        const bool named = turn[n] > kTurnLimit &&
                           (turn[p] <= kTurnLimit ||
                            TurnDegrees(InParent(lastAxes_[n], lastAxes_[p]), InParent(axes[n], axes[p])) > kTurnLimit);
        if (!named) {
            openTurn_[n] = -1;
            continue;
        }
        if (openTurn_[n] >= 0) {
            Mark& open = marks_[static_cast<std::size_t>(openTurn_[n])];
            open.frames = index - open.frame + 1;
            if (turn[n] > open.value) open.peak = index;
            open.value = std::max(open.value, turn[n]);
            continue;
        }
        openTurn_[n] = static_cast<int>(marks_.size());
        marks_.push_back({index, 1, index, "turn", kBoneNames[n], turn[n]});
    }
    lastAxes_ = axes;
    hadDriver_ = true;
}

std::string RunTimeline::Json() const {
    JsonValue handles = JsonValue::array();
    for (const int kind : kinds_) {
        if (!IsHandleKindCode(kind)) continue;
        const auto k = static_cast<std::size_t>(kind);
        std::vector<float> millimetres;
        millimetres.reserve(error_[k].size());
        for (const float e : error_[k]) millimetres.push_back(e * 1000.0f);
        handles.push_back({{"kind", HandleKindName(kind)},
                           {"weight", Series(weight_[k])},
                           {"reachErrorMm", Series(millimetres)}});
    }
    std::vector<float> gears(gear_.begin(), gear_.end());
    JsonValue marks = JsonValue::array();
    for (const Mark& m : marks_) {
        marks.push_back({{"frame", m.frame},
                         {"frames", m.frames},
                         {"peak", m.peak},
                         {"kind", m.kind},
                         {"what", m.what},
                         {"value", Number(m.kind == "reach" ? m.value * 1000.0f : m.value)}});
    }
    JsonValue lines = JsonValue::array();
    for (const float v : linePoints_) lines.push_back(Number(v));
    const JsonValue json = {{"frames", FrameCount()},
                       {"steerAngle", Series(steer_)},
                       {"gasPedal", Series(gas_)},
                       {"brakePedal", Series(brake_)},
                       {"actedGear", Series(gears)},
                       {"handles", handles},
                       {"marks", marks},
                       {"lines", {{"starts", lineStarts_}, {"colours", lineColours_}, {"points", lines}}}};
    return json.dump(-1, ' ', false, JsonValue::error_handler_t::replace);
}

}  // namespace kovra::cli
