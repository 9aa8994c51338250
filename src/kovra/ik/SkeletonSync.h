#pragma once

#include <array>
#include <cstdint>

#include "kovra/host/Host.h"
#include "kovra/ik/FrameMatrix.h"
#include "kovra/ik/Skeleton.h"

namespace kovra {

// Which bones of a character were written since the game last refreshed its
// skeleton. Writers report their writes; a reader asks before it reads a
// bone's world matrix, and the game is asked for a refresh only when a bone
// written since lies on the way from the root to that bone. A writer that
// has worked out a written bone's new world matrix (a limb solve does, for
// its start bone) hands it over, and the bones below it are then worked out
// from their frame data, as the game's refresh would, instead of refreshing.
// The owner of the posing turn flushes once at its end, so that the game
// draws a refreshed skeleton. Only one character is ever pending: writes to
// another refresh the first if the game still has it, and forget it
// otherwise. A write is reported next to it: no read of a bone below it may
// come between the two.
class SkeletonSync {
public:
    explicit SkeletonSync(Host& host) : host_(host) {}
    SkeletonSync(const SkeletonSync&) = delete;
    SkeletonSync& operator=(const SkeletonSync&) = delete;

    void Written(CPed* ped, NodeIndex node);
    // The world matrix (finite) a writer worked out for a node of the pending
    // character after writing it; valid until a write above the node or on it.
    void Known(CPed* ped, NodeIndex node, const FrameMatrix& world);
    // Refreshes first when a pending write lies above the bone or on it.
    void BeforeRead(CPed* ped, BoneId boneId);
    // BeforeRead, then the host's matrix (null when there is none).
    const FrameMatrix* World(CPed* ped, BoneId boneId);
    bool Position(CPed* ped, BoneId boneId, Vector3& out);
    // Refreshes the character now if anything of it is pending.
    void Flush(CPed* ped);
    // Refreshes the character whatever is pending (a caller that wrote
    // behind the solver's back).
    void Refresh(CPed* ped);
    bool Pending(CPed* ped) const { return ped != nullptr && ped == ped_ && pending_ != 0; }

private:
    // The node's world matrix from a known one above it and the frame data
    // below that; null when there is no known one above or the data cannot
    // give a finite matrix.
    const FrameMatrix* Derived(CPed* ped, NodeIndex node);

    Host& host_;
    CPed* ped_ = nullptr;
    std::uint32_t pending_ = 0;  // bit per node written since the last refresh
    std::uint32_t known_ = 0;    // bit per node whose matrix in worlds_ is current
    std::array<FrameMatrix, kNodeCount> worlds_{};
};

}  // namespace kovra
