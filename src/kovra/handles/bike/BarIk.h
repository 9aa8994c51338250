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
    // The rotation rows of the forearm above `hand` as the game's refresh
    // would give them from the frame data the arm's solve wrote: no refresh
    // between the arm and the hand. False when a bone or its data is missing.
    bool SolvedForearmRows(NodeIndex hand, FrameMatrix& out) const;
    // A node's world rotation rows from its frame data under its parent's
    // rows, the game's arithmetic; false when there is no data or it is not
    // finite.
    bool RowsUnder(NodeIndex node, const FrameMatrix& parent, FrameMatrix& out) const;
    // The local rotation that gives a child of `parent` the axes of
    // `world`; out is left alone when there is none.
    static void LocalRotationUnder(const FrameMatrix& parent, const FrameMatrix& world, Quaternion& out);
};

}  // namespace kovra
