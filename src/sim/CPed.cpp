#include "sim/CPed.h"

CPed::CPed(const kovra::FrameMatrix& world, bool skinned) : matrix(world) {
    primaryTasks.fill(-1);
    secondaryTasks.fill(-1);
    if (skinned) {
        skeleton = std::make_unique<kovra::sim::SimSkeleton>();
        skeleton->RefreshAll(matrix);
    }
}
