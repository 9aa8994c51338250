#pragma once

#include <array>
#include <span>

#include "kovra/host/Host.h"
#include "kovra/ik/BoneSolveRecord.h"
#include "kovra/ik/DebugSink.h"
#include "kovra/ik/SkeletonSync.h"
#include "kovra/ik/Skeleton.h"

namespace kovra {

inline constexpr std::uint32_t kLimbChainColour = 0xff0000ffu;  // red

// One limb solve, as a tool watching the solver sees it.
struct LimbSolve {
    CPed* ped = nullptr;
    NodeIndex endNode = 0;
    Vector3 target;
    float weight = 0.0f;
    bool reached = false;
    int tag = -1;  // who asked: the solver's solveTag at the time
};

// Told of every finished limb solve; for measuring tools, not for posing.
class SolveListener {
public:
    virtual ~SolveListener() = default;
    virtual void OnLimbSolved(const LimbSolve& solve) = 0;
};

// Positional solve of a three-joint chain towards target (FABRIK, then the
// middle joint placed in the plane of the chain axis and `bend`, turned away
// from `bend`). Returns whether the target was within reach; a list that is
// not exactly three joints is left alone (false).
bool SolveChain(std::span<Vector3> joints, const Vector3& target, const Vector3& bend,
                const SolverSettings& settings = {});

// Brings a wrist or ankle of a character to a world target and writes the
// two upper bones' local rotations, blended by a weight. Owns the per-bone
// records shared by every rig; one lives in the runtime.
class LimbSolver {
public:
    explicit LimbSolver(Host& host, DebugSink* debug = nullptr);
    LimbSolver(const LimbSolver&) = delete;
    LimbSolver& operator=(const LimbSolver&) = delete;

    // endNode: 18, 12, 30 or 26. bend (0, 0, 0) means "derive one". weight is
    // taken as 0..1. True when the target was within reach.
    bool SolveLimb(CPed* ped, const Vector3& target, NodeIndex endNode, const Vector3& bend,
                   float weight);
    // Turns one bone so that its length axis points at childTarget. True when
    // its rotation changed.
    bool AimBone(CPed* ped, BoneId boneId, const Vector3& childTarget, float weight);

    const SolverSettings& settings() const { return settings_; }
    const BoneSolveRecord& record(NodeIndex node) const { return records_.at(node); }
    BendHint& hint(int index) { return hints_.at(index); }
    void setDebugSink(DebugSink* debug) { debug_ = debug; }
    void setSolveListener(SolveListener* listener) { listener_ = listener; }
    // Set by whoever runs the handles (the handle kind), passed on to the
    // listener with each solve.
    int solveTag = -1;
    Host& host() { return host_; }
    // What was written since the game last refreshed: every posing step
    // reads and writes bones through it or tells it.
    SkeletonSync& sync() { return sync_; }

private:
    void BuildRecords();
    Vector3 AutomaticBend(CPed* ped, const std::array<Vector3, 3>& joints, const Vector3& target,
                          NodeIndex endNode, BoneId anchorBone);
    // Aims the chain's start bone at the middle joint, then the middle bone
    // at the end joint.
    void AimChain(CPed* ped, BoneId startBone, BoneId midBone, const std::array<Vector3, 3>& joints,
                  float weight);
    // AimBone with the bone's position and its parent's world matrix given.
    bool AimFrom(CPed* ped, BoneId boneId, const Vector3& bonePos, const FrameMatrix& parent,
                 const Vector3& childTarget, float weight);
    bool AimBasis(CPed* ped, const BoneSolveRecord& record, const Vector3& dir,
                  FrameMatrix& basis);

    Host& host_;
    DebugSink* debug_;
    SolveListener* listener_ = nullptr;
    SolverSettings settings_;
    std::array<BoneSolveRecord, kNodeCount> records_{};
    // Each record's eulerFix as turns about X, Y and Z, worked out once.
    std::array<std::array<Quaternion, 3>, kNodeCount> eulerFixTurns_{};
    std::array<BendHint, 4> hints_{};
    SkeletonSync sync_;
};

}  // namespace kovra
