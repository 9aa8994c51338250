#pragma once

#include "kovra/handles/car/IkHandle.h"

namespace kovra {

// Both hands on the handlebar grips of a two-wheeler, with an optional push
// of the spine towards the bar. grabOffset is the right grip in the bar
// frame; the left grip mirrors it in x.
class BarIk : public IkHandle {
public:
    static constexpr HandleKind kKind = HandleKind::Bar;

    explicit BarIk(Runtime& runtime);

    // Posture by the vehicle's driving-animation group.
    void ApplyModelDefaults() override;
    void CopyFrom(const IkHandle* other) override;
    // GrabOffset, BendAngle, DoSpinePush, HeightFactor, ArmFactor.
    std::string WriteConfig() const override;
};

}  // namespace kovra
