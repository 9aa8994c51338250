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
    // Car: takes a hand to the lever while the hand brake is on, pulls the
    // lever up, lowers it once the hand brake is off and only then lets the
    // hand go. Bike: presses the rear brake pedal with the right foot.
    void Update() override;

    float FootHeight = 0.12f;  // bike: Z of the point the foot turns to
    float leverLevel = 0.0f;   // how far the lever is pulled, 0..1
    float leverAngle = 0.0f;   // degrees last applied to the lever frame

private:
    // Moves the lever from its rest pose by the eased lever level.
    void MoveLever(bool pulled);
    void PoseHand(NodeIndex node, float sign);
    void PressPedal();
};

}  // namespace kovra
