#include "sim/CVehicle.h"

CVehicle::CVehicle(const kovra::sim::VehicleModel& model, const kovra::FrameMatrix& world)
    : modelId(model.id), type(model.type), matrix(world), frames(model, &matrix) {
    state.animGroup = model.animGroup;
    state.leanLimit = model.leanLimit;
    if (model.IsBike()) {
        bike = std::make_unique<CBike>();
        bike->vehicle = this;
        if (!model.bodyFrame.empty()) bodyFrame = frames.Find(model.bodyFrame);
        if (!model.steeringFrame.empty()) steeringFrame = frames.Find(model.steeringFrame);
    }
    audioEntity.vehicle = this;
    audioParams.vehicle = this;
}
