#pragma once

#include <cstdint>

#include "kovra/handles/car/GasPedalIk.h"
#include "kovra/handles/car/IkHandle.h"

namespace kovra {

// In a car, the left foot on the clutch pedal through every gear change; on
// a bike, the left-hand fingers on the clutch lever.
class ClutchPedalIk : public IkHandle {
public:
    static constexpr HandleKind kKind = HandleKind::ClutchPedal;

    explicit ClutchPedalIk(Runtime& runtime);

    // A motorbike's clutch lever travels further than a pedal.
    void ApplyModelDefaults() override;
    void CopyFrom(const IkHandle* other) override;
    // Bike: MaxAngle only. Car: GrabOffset, FootAngle, BendAngle, MaxAngle,
    // RateArm.
    std::string WriteConfig() const override;
    // Strokes the clutch on every gear change and keeps the left foot on the
    // pedal; on a bike, pulls the lever with the left-hand fingers.
    void Update() override;

    float clutchLevel = 0.0f;   // 0..1
    std::int32_t gearSeen = 0;  // the gear of the last completed stroke

private:
    // One full stroke, down and back up, each time the gear differs from the
    // gear seen.
    void StepStroke(float rate);
    void UpdateCar(float dt);
    void UpdateBike(float dt);

    KeptSinCos kneeTurn_;
    pedal::KeptFingerCurl fingerTurn_;
};

}  // namespace kovra
