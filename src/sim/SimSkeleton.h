#pragma once

#include <array>
#include <cstdint>

#include "kovra/host/HostTypes.h"
#include "kovra/ik/FrameMatrix.h"
#include "kovra/ik/Skeleton.h"

namespace kovra::sim {

// The skinned skeleton of a simulated character: 32 nodes in the plugin's
// node order (node 0 the root), per-node animation frame data (local rotation
// and translation) and the world matrices computed from it. A bone's world
// matrix is its local frame times its parent's world matrix; the root's parent
// is the character's world matrix. Hierarchy index = node index.
class SimSkeleton {
public:
    // Starts in the rest pose, with world matrices for an identity character
    // matrix; the owner refreshes it against the real one.
    SimSkeleton();

    // The seated-driver pose the game's own animation produces, in character
    // space: joint positions, bone orientations (rows of a frame whose right
    // axis points at the bone's main child) and the local frame data.
    static const std::array<Vector3, kNodeCount>& RestPositions();
    static const std::array<FrameMatrix, kNodeCount>& RestOrientations();
    static const std::array<BoneFrame, kNodeCount>& RestFrames();
    // The node a bone's X axis points at, -1 for leaves and the root.
    static int MainChild(int node);

    void ApplyRestPose();

    // Recomputes the world matrices of the nodes whose frame data changed
    // since the last refresh and of everything below them; a changed
    // character matrix recomputes all. Only the frame data handed out by
    // Frame() since the last RefreshAll is looked at, so a refresh after one
    // bone write costs that bone's subtree and one with nothing written
    // costs next to nothing. No allocation: called after every bone write.
    void Refresh(const FrameMatrix& characterWorld);
    // Recomputes every node, whatever changed (matrices written directly are
    // overwritten too): the game posing from scratch.
    void RefreshAll(const FrameMatrix& characterWorld);

    // The node's frame data, to read or write until the next RefreshAll;
    // null outside 0..31.
    BoneFrame* Frame(int node) {
        if (!Valid(node)) return nullptr;
        handedOut_ |= 1u << node;
        return &frames_[static_cast<std::size_t>(node)];
    }
    // The whole frame data array, for a caller that indexes it itself (a
    // game that hands its characters' frame arrays out as memory): from
    // then on every refresh looks at every node's frame data.
    BoneFrame* FrameArray() {
        wholeArrayOut_ = true;
        handedOut_ = kAllNodes;
        return frames_.data();
    }
    // Null outside 0..31.
    FrameMatrix* Matrix(int index) { return Valid(index) ? &matrices_[static_cast<std::size_t>(index)] : nullptr; }
    const FrameMatrix* Matrix(int index) const {
        return Valid(index) ? &matrices_[static_cast<std::size_t>(index)] : nullptr;
    }

    int LastRefreshCount() const { return lastRefreshCount_; }  // nodes recomputed
    // Refreshes that met frame data or a character matrix that was not
    // finite; the rest pose (or identity) stood in for it.
    int NonFiniteInputs() const { return nonFiniteInputs_; }

private:
    static constexpr bool Valid(int node) { return node >= 0 && node < kNodeCount; }
    // The nodes whose frame data changed, their subtrees, or all of them.
    void Update(const FrameMatrix& characterWorld, bool all);
    // Recomputes the dirty nodes, new local rows for the changed ones. True
    // when every result was finite; careful puts the rest pose in for each
    // node whose result was not.
    bool Recompute(std::uint32_t dirty, std::uint32_t changed, const FrameMatrix& characterWorld,
                   bool careful);

    std::array<BoneFrame, kNodeCount> frames_;
    std::array<FrameMatrix, kNodeCount> matrices_;
    // What the last refresh used, to find the dirty nodes.
    std::array<BoneFrame, kNodeCount> refreshedFrames_;
    std::array<FrameMatrix, kNodeCount> locals_;  // rotation rows of refreshedFrames_
    FrameMatrix refreshedWorld_;
    static constexpr std::uint32_t kAllNodes = 0xffffffffu;
    std::uint32_t handedOut_ = 0;  // bit per node: frame data Frame() gave out
    bool wholeArrayOut_ = false;   // FrameArray() gave out every node's, for good
    bool refreshed_ = false;
    int lastRefreshCount_ = 0;
    int nonFiniteInputs_ = 0;
    bool sawNonFinite_ = false;  // during the refresh under way
};

}  // namespace kovra::sim
