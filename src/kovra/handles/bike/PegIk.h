#pragma once

#include "kovra/handles/car/IkHandle.h"

namespace kovra {

// Both feet on the foot pegs of a two-wheeler. grabOffset is the right peg
// in the bike body's frame; the left peg mirrors it in x.
class PegIk : public IkHandle {
public:
    static constexpr HandleKind kKind = HandleKind::Peg;

    explicit PegIk(Runtime& runtime);

    // Foot and knee by the vehicle's driving-animation group.
    void ApplyModelDefaults() override;
    void CopyFrom(const IkHandle* other) override;
    // GrabOffset, FootAngle, BendAngle.
    std::string WriteConfig() const override;
    // Both feet on their pegs, the knees turned out, each foot easing off
    // as the bike leans to its side.
    void Update() override;

    // Where the foot on `side` (-1 left, +1 right) bends its knee away from,
    // in the world, for a body frame.
    Vector3 KneeBend(float side, const FrameMatrix& body) const;

private:
    void PlaceFoot(float side, NodeIndex node, const FrameMatrix& body, float lean);
};

}  // namespace kovra
