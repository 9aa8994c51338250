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
    // Bends the spine towards the bar (when doSpinePush is set) with the
    // head kept level, then puts both hands on the grips, the right one
    // following the throttle twist, each turned to the bar.
    void Update() override;
    // Where the hand on `side` (-1 left, +1 right) holds the bar, in the bar
    // frame: the grip with the wrist offset, the right one moved with the
    // throttle twist of this frame.
    Vector3 GripPoint(float side) const;

    // The eased gas the right grip was last placed for (run-time state): the
    // gas handle turns the grip later in the same frame, to this twist.
    float gripGas = 0.0f;

private:
    void PushSpine(const FrameMatrix& bar);
    // side -1 for the left hand, +1 for the right; the elbow bends away from
    // `away` turned by bendAngle about spineAxis.
    void PlaceHand(float side, NodeIndex node, const FrameMatrix& bar, const Vector3& away,
                   const Vector3& spineAxis);
};

}  // namespace kovra
