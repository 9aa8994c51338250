#pragma once

#include <string>
#include <vector>

#include "sim/HostFrame.h"
#include "sim/VehicleModel.h"

namespace kovra::sim {

// The frame hierarchy of one vehicle: a root frame, whose world matrix is the
// vehicle's body matrix, and the model's frames under it in the model's order.
//
// World matrices are recomputed on demand: World() multiplies the modelling
// matrices up the parent chain every time it is called, so it always reflects
// the current modelling matrices and the current body matrix, whether or not
// Update() ran since they were written. Update() refreshes the cached world
// matrices of a subtree and only matters to code that reads HostFrame::world
// directly.
class FrameHierarchy {
public:
    // The frames never move once built; anchor must outlive the hierarchy.
    FrameHierarchy(const VehicleModel& model, const FrameMatrix* anchor);
    FrameHierarchy(const FrameHierarchy&) = delete;
    FrameHierarchy& operator=(const FrameHierarchy&) = delete;

    HostFrame* Root() { return &frames_.front(); }
    int FrameCount() const { return static_cast<int>(frames_.size()) - 1; }  // without the root
    HostFrame* FrameAt(int modelIndex);        // null when out of range
    HostFrame* Find(const std::string& name);  // exact name, first in model order; null when none

    // Restores a frame's modelling matrix to the model's.
    void ResetModelling(HostFrame* frame);
    const FrameMatrix* RestModelling(const HostFrame* frame) const;

    static const FrameMatrix& World(HostFrame& frame);
    static void Update(HostFrame& frame);  // the frame and everything below it
    void UpdateAll() { Update(*Root()); }

private:
    std::vector<HostFrame> frames_;  // [0] is the root, then the model's frames
    std::vector<FrameMatrix> rest_;  // modelling matrices as the model gave them
};

}  // namespace kovra::sim
