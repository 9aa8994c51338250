#pragma once

#include "kovra/handles/car/IkHandle.h"

namespace kovra {

// In a car, one hand pulls the hand-brake lever; on a bike, the right foot
// works the rear brake pedal.
class HandBrakeIk : public IkHandle {
public:
    static constexpr HandleKind kKind = HandleKind::HandBrake;

    explicit HandBrakeIk(Runtime& runtime);

    void CopyFrom(const IkHandle* other) override;
    // Bike: GrabOffset, FootHeight, FootTurn, RateArm. Car: GrabOffset,
    // HandAngle, RateArm, MaxAngle, MinAngle.
    std::string WriteConfig() const override;

    float FootHeight = 0.12f;  // bike: Z of the point the foot turns to
    float leverLevel = 0.0f;   // how far the lever is pulled, 0..1
    float leverAngle = 0.0f;   // degrees last applied to the lever frame
};

}  // namespace kovra
