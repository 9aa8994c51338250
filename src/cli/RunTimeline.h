#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "kovra/handles/car/IkHandle.h"
#include "kovra/ik/FrameMatrix.h"
#include "kovra/ik/Skeleton.h"
#include "kovra/ik/Vector3.h"

namespace kovra::cli {

// What one vehicle and its driver did frame by frame over a run, for the
// run's page: the series its plots draw, the debug lines of every frame, and
// the frames worth a look (a limb that missed its target, a bone that turned
// too far in one frame), worked out as the frames come.
class RunTimeline {
public:
    // One frame as the run saw it. Angles in degrees, pedals 0..1.
    struct Frame {
        float steerAngle = 0.0f;
        float gasPedal = 0.0f;
        float brakePedal = 0.0f;
        int actedGear = 0;
        // Per handle kind: the largest weight of its limb solves this frame
        // (0 without one), and the distance in metres between the posed hand
        // or foot and the target of a solve at full weight whose target was
        // reachable (NaN: no such solve).
        std::array<float, kHandleKindCount> weight{};
        std::array<float, kHandleKindCount> reachError{};
        // The vehicle's world matrix, and the driver's bones' world
        // matrices (hasDriver false: no skinned driver this frame).
        FrameMatrix vehicle;
        bool hasDriver = false;
        std::array<FrameMatrix, kNodeCount> bones{};
        // Debug lines drawn this frame, in world space: pairs of points, a
        // colour (0xAABBGGRR) per pair. Lines more than 5 m from the
        // vehicle are another vehicle's and are left out.
        std::vector<Vector3> linePoints;
        std::vector<std::uint32_t> lineColours;
    };

    // Frames worth a look, each run of frames in a row one mark: "reach" (a
    // limb of `what`, a handle kind, ended up to `value` metres from its
    // target) or "turn" (the bone `what`, with the bones under it, turned up
    // to `value` degrees in the vehicle's space against the frame before).
    struct Mark {
        int frame = 0;
        int frames = 1;
        int peak = 0;  // the frame of the largest value
        std::string kind;
        std::string what;
        float value = 0.0f;
    };

    // Limits above which a frame is marked.
    static constexpr float kMissLimit = 0.002f;   // metres
    static constexpr float kTurnLimit = 10.0f;    // degrees

    explicit RunTimeline(std::vector<int> handleKinds = {});

    void Add(const Frame& frame);

    int FrameCount() const { return static_cast<int>(steer_.size()); }
    const std::vector<Mark>& marks() const { return marks_; }
    // The handle kinds the rig built, as the plots list them.
    void SetHandleKinds(std::vector<int> kinds) { kinds_ = std::move(kinds); }

    // The series, the lines and the marks as one JSON object (no number that
    // is not finite: gaps are null). Debug lines are in glTF's axes, like
    // the vehicle's .glb.
    std::string Json() const;

private:
    void MarkTurns(const Frame& frame);
    void MarkMisses(const Frame& frame);

    std::vector<int> kinds_;
    std::vector<float> steer_, gas_, brake_;
    std::vector<int> gear_;
    std::array<std::vector<float>, kHandleKindCount> weight_, error_;
    std::vector<float> linePoints_;  // glTF axes, 6 floats a line
    std::vector<std::uint32_t> lineColours_;
    std::vector<std::uint32_t> lineStarts_;  // per frame, the index of its first line
    std::vector<Mark> marks_;
    // Open runs of marks per handle kind and per bone: index into marks_,
    // or -1.
    std::array<int, kHandleKindCount> openMiss_;
    std::array<int, kNodeCount> openTurn_;
    bool hadDriver_ = false;
    // Each bone's axes in the vehicle's space the frame before.
    std::array<std::array<Vector3, 3>, kNodeCount> lastAxes_{};
};

}  // namespace kovra::cli
