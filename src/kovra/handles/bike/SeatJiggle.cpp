#include "kovra/handles/bike/SeatJiggle.h"

#include <typeinfo>

#include "kovra/host/Runtime.h"

namespace kovra {

SeatJiggle::SeatJiggle(Runtime& runtime) : IkHandle(runtime) {
    Enable = settings().useSeatJiggle;
}

void SeatJiggle::ApplyModelDefaults() {
    Enable = settings().useSeatJiggle;
    if (vehicle == nullptr) return;
    if (VehicleAnimGroup() == 7) {
        MaxOffset = {1.0f, 0.35f, 0.8f};
        LeanSway = 0.35f;
    } else {
        MaxOffset = {1.0f, 0.0f, 1.0f};
        LeanSway = 0.5f;
        Damping = 0.2f;
        Stiffnes = 0.2f;
    }
}

void SeatJiggle::ResetSpring() {
    fastLean = 0.0f;
    slowLean = 0.0f;
    sway = 0.0f;
    seatOffset = {};
    springPosition = {};
    springVelocity = {};
}

void SeatJiggle::CopyFrom(const IkHandle* other) {
    if (other == nullptr || typeid(*other) != typeid(SeatJiggle)) return;
    const auto& o = static_cast<const SeatJiggle&>(*other);
    CopyBaseFrom(o);
    Enable = o.Enable;
    Damping = o.Damping;
    Stiffnes = o.Stiffnes;
    LeanSway = o.LeanSway;
    MaxOffset = o.MaxOffset;
    fastLean = o.fastLean;
    slowLean = o.slowLean;
    sway = o.sway;
    seatOffset = o.seatOffset;
    springPosition = o.springPosition;
    springVelocity = o.springVelocity;
}

std::string SeatJiggle::WriteConfig() const {
    std::string out;
    WriteSection(out, "SeatJiggle");
    WriteFlag(out, "Enable", Enable);
    WriteVector(out, "MaxOffset", MaxOffset);
    WriteNumber(out, "Damping", Damping);
    WriteNumber(out, "Stiffnes", Stiffnes);
    WriteNumber(out, "LeanSway", LeanSway);
    return out;
}

}  // namespace kovra
