#pragma once

#include <cstdint>
#include <string_view>

#include "kovra/handles/car/IkHandle.h"

namespace kovra {

// On a motorbike, one foot leaves its peg on every gear change to flick the
// shift lever up or down and back. grabOffset is added to the peg handle's.
class BikeShiftIk : public IkHandle {
public:
    static constexpr HandleKind kKind = HandleKind::BikeShift;

    explicit BikeShiftIk(Runtime& runtime);

    void CopyFrom(const IkHandle* other) override;
    // GrabOffset, MaxAngle, UpShiftHeight, DownShiftHeight, FootTurn, RateArm.
    std::string WriteConfig() const override;
    // Starts a stroke when the rig's simulated gear changes with the foot on
    // its peg, brings the foot onto the lever, flicks the lever out and
    // back, returns the foot, and points it at the stroke's shift point.
    void Update() override;
    // The tuning aid for the two shift heights, drawn whatever the
    // debug-lines switch says while the configuration menu shows the
    // "BikeShift" page with "UpShiftHeight: " or "DownShiftHeight: "
    // selected: arrows from the lever to the point the foot aims at, along
    // the lever, and along the foot. Nothing for any other page or item.
    void DrawTuningAid(std::string_view pageTitle, std::string_view selectedLabel);

    // The foot that works the lever: the left one (side -1) for a lever on
    // the left, else the right (side +1).
    float FootSide() const { return leftSide ? -1.0f : 1.0f; }
    NodeIndex FootNode() const { return leftSide ? kLeftFootNode : kRightFootNode; }
    // The height, in the lever frame, of the point the foot aims at in a
    // stroke of the current kind.
    float ShiftHeight() const { return shiftKind == kUpShift ? UpShiftHeight : DownShiftHeight; }

    static constexpr std::int32_t kUpShift = 1;
    static constexpr std::int32_t kDownShift = 2;

    std::int32_t strokePhase = 0;  // 1 lever going out, 3 coming back, 2 finished
    float strokeProgress = 0.0f;   // 0..1 along the lever travel
    float strokeDirection = 1.0f;  // +1 out, -1 back
    bool shiftPending = false;
    std::int32_t gearSeen = 0;     // the gear of the last finished stroke
    std::int32_t targetGear = 0;   // the gear the current stroke shifts to
    bool leftSide = true;          // the lever is on the left: use the left foot
    std::int32_t shiftKind = 0;    // 1 up-shift, 2 down-shift
    float UpShiftHeight = -0.145f;
    float DownShiftHeight = 0.145f;
    float leverTurn = 0.0f;  // degrees the lever stands turned from rest

private:
    void StartStroke(std::int32_t gear);
    // Moves the lever along its stroke by one step of dt.
    void StrokeLever(float dt);
    // The point, in the world, that the foot aims at for a shift height.
    Vector3 AimPoint(const FrameMatrix& lever, float height) const;
};

}  // namespace kovra
