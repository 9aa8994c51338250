#pragma once

#include "kovra/handles/car/IkHandle.h"

namespace kovra {

// Both hands on the steering-wheel rim; the wheel frame turns with the road
// wheels. grabOffset describes the rim in the wheel frame: x and z the radii,
// y the grip height.
class SteerIk : public IkHandle {
public:
    static constexpr HandleKind kKind = HandleKind::Steer;

    explicit SteerIk(Runtime& runtime);

    void CopyFrom(const IkHandle* other) override;
    std::string WriteConfig() const override;

    float wheelAngle = 0.0f;  // degrees, the wheel's current visual turn
    bool switchHands = true;
    float restAngle = 45.0f;
    float cycleAngle = 100.0f;
    float grabFwAngle = 340.0f;
    float grabBwAngle = 270.0f;
    float putAwayMult = 0.1f;
    float spinMult = 5.0f;
    float spinRate = 0.025f;
};

}  // namespace kovra
