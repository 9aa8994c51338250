#pragma once

#include "kovra/handles/car/IkHandle.h"

namespace kovra {

// How much of a steering hand's target is still its rest point: m against
// the backward grab point (the wheel turning the hand's way), h against the
// forward grab point (turning the other way); 1 at rest, 0 on the grab point.
struct HandOverBlend {
    float m = 1.0f;
    float h = 1.0f;
};

// The hand-over-hand blend of the hand on `side` (-1 or +1) at a wheel turn
// of wheelAngle degrees. Without switchHands both stay 1.
HandOverBlend HandOverFactors(bool switchHands, float side, float cycleAngle, float wheelAngle);

// How far a changing hand is lifted, as a share of putAwayMult: 0 at rest and
// on the grab point, largest half way; leverBlend scales it.
float ChangeOverLift(const HandOverBlend& blend, float leverBlend);

// Both hands on the steering-wheel rim; the wheel frame turns with the road
// wheels. grabOffset describes the rim in the wheel frame: x and z the radii,
// y the grip height.
class SteerIk : public IkHandle {
public:
    static constexpr HandleKind kKind = HandleKind::Steer;

    explicit SteerIk(Runtime& runtime);

    void CopyFrom(const IkHandle* other) override;
    std::string WriteConfig() const override;
    // Turns the wheel frame with the road wheels and keeps both hands on the
    // rim, changing hands over as the wheel turns far.
    void Update() override;

    float wheelAngle = 0.0f;  // degrees, the wheel's current visual turn
    bool switchHands = true;
    float restAngle = 45.0f;
    float cycleAngle = 100.0f;
    float grabFwAngle = 340.0f;
    float grabBwAngle = 270.0f;
    float putAwayMult = 0.1f;
    float spinMult = 5.0f;
    float spinRate = 0.025f;

private:
    // The wheel frame this frame, and the same without its spin.
    struct WheelFrames {
        FrameMatrix wheel;
        FrameMatrix unspun;
        FrameMatrix unspunInverse;
        bool invertible = false;  // unspunInverse holds the inverse
    };
    // What the rim points in the wheel's space are worked out from.
    struct RimInputs {
        Vector3 grabOffset;
        float wristOffsetY = 0.0f;
        float restAngle = 0.0f;
        float grabBwAngle = 0.0f;
        float grabFwAngle = 0.0f;
    };
    // A hand's rim points in the wheel's space: at rest, the backward and
    // the forward grab points.
    struct RimPoints {
        Vector3 rest;
        Vector3 backward;
        Vector3 forward;
    };

    // Leans the upper body towards the wheel and turns the neck back.
    void PushSpine(const FrameMatrix& wheel);
    void PoseHand(float side, NodeIndex node, const WheelFrames& frames, const Vector3& spineRight,
                  const Vector3& spineAt);
    // The rim points of the hand on `side`, worked out again only when the
    // tunables they come from have changed.
    const RimPoints& HandRimPoints(float side);

    RimInputs rimInputs_;
    RimPoints rimPoints_[2];  // left hand, right hand
    bool rimPointsValid_ = false;
};

}  // namespace kovra
