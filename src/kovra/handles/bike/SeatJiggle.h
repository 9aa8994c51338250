#pragma once

#include "kovra/handles/car/IkHandle.h"

namespace kovra {

// A springy offset of a motorbike rider from the seat: the body lags the
// bike's motion and sways with its lean. It poses no limb itself; the seat
// placement carries the rider by `seatOffset`.
class SeatJiggle : public IkHandle {
public:
    static constexpr HandleKind kKind = HandleKind::SeatJiggle;

    explicit SeatJiggle(Runtime& runtime);

    // The spring's tuning by the vehicle's driving-animation group.
    void ApplyModelDefaults() override;
    void CopyFrom(const IkHandle* other) override;
    // Enable, MaxOffset, Damping, Stiffnes, LeanSway.
    std::string WriteConfig() const override;

    // Back to the seat, with every filter at rest.
    void ResetSpring();
    // The per-frame step the rig runs before the other bike handles: the
    // lean filters, the target from the bike's motion, the spring towards
    // it. Back to rest without a driver or with the handle switched off.
    void StepSpring();
    // How far the seat offset may go on each axis for an arm length: hi
    // up, forwards and sideways, lo the other way (sinking only a
    // twentieth as far as rising).
    void OffsetLimits(float armLength, Vector3& lo, Vector3& hi) const;

    bool Enable = true;
    float Damping = 0.2f;
    float Stiffnes = 0.2f;  // spelled as its key
    float LeanSway = 0.2f;
    Vector3 MaxOffset{1.0f, 1.0f, 1.0f};  // in half arm lengths
    float fastLean = 0.0f;
    float slowLean = 0.0f;
    float sway = 0.0f;
    Vector3 seatOffset;
    Vector3 springPosition;
    Vector3 springVelocity;
};

}  // namespace kovra
