#pragma once

#include "kovra/handles/car/IkHandle.h"

namespace kovra {

// In a car, the right foot on the gas and brake pedals (frameA "ik_gas",
// frameB "ik_brake"); on a bike, the right hand's throttle twist and front
// brake lever.
class GasPedalIk : public IkHandle {
public:
    static constexpr HandleKind kKind = HandleKind::GasPedal;

    explicit GasPedalIk(Runtime& runtime);

    void CopyFrom(const IkHandle* other) override;
    // Bike: BikeGasAngle and BikeBrkAngle only. Car: GasOffset, BrkOffset,
    // FootAngle, BendAngle, MaxAngle, RateArm.
    std::string WriteConfig() const override;

    float gasLevel = 0.0f;    // 0..1
    float brakeLevel = 0.0f;  // 0..1
    float footSwitch = 1.0f;  // 1 on the gas pedal, 0 on the brake pedal
    float BikeGasAngle = 45.0f;   // degrees of grip twist at full gas
    float BikeBrkAngle = -30.0f;  // degrees of lever travel at full brake
    float easedGas = 0.0f;    // read by the handlebar handle for the right grip
    float easedBrake = 0.0f;
};

}  // namespace kovra
