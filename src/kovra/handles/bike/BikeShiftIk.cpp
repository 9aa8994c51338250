#include "kovra/handles/bike/BikeShiftIk.h"

#include <typeinfo>

#include "kovra/handles/bike/PegIk.h"
#include "kovra/host/Runtime.h"
#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/EaseCurve.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"

namespace kovra {
namespace {

constexpr std::int32_t kLeverOut = 1;
constexpr std::int32_t kStrokeDone = 2;
constexpr std::int32_t kLeverBack = 3;
constexpr int kQuadraticEase = 1;
constexpr float kAidArrowWidth = 0.025f;
constexpr float kAidFootAxisLength = 0.25f;

}  // namespace

BikeShiftIk::BikeShiftIk(Runtime& runtime) : IkHandle(runtime) {
    disabled = !settings().Allow_BikeShift;
    if (settings().Allow_BikeShift) {
        endAngles = {};
        footTurn = -0.1f;
        maxAngle = 30.0f;
    }
}

void BikeShiftIk::CopyFrom(const IkHandle* other) {
    if (other == nullptr || typeid(*other) != typeid(BikeShiftIk)) return;
    const auto& o = static_cast<const BikeShiftIk&>(*other);
    CopyBaseFrom(o);
    strokePhase = o.strokePhase;
    strokeProgress = o.strokeProgress;
    strokeDirection = o.strokeDirection;
    shiftPending = o.shiftPending;
    gearSeen = o.gearSeen;
    targetGear = o.targetGear;
    leftSide = o.leftSide;
    shiftKind = o.shiftKind;
    UpShiftHeight = o.UpShiftHeight;
    DownShiftHeight = o.DownShiftHeight;
    leverTurn = o.leverTurn;
}

void BikeShiftIk::Update() {
    if (vehicle == nullptr || rig == nullptr) return;
    FrameMatrix body;
    if (!BikeBodyWorld(body) || rig->pegIk == nullptr) return;
    const PegIk& peg = *rig->pegIk;
    float dt = host().TimeStep();
    if (!IsFinite(dt)) dt = 0.0f;

    // A new stroke once the foot is back on its peg; the lever moves only
    // while the foot is fully on it.
    StartStroke(rig->audioGear);
    if (gearSeen != targetGear && weight >= 1.0f) StrokeLever(dt);

    const float side = FootSide();
    const NodeIndex node = FootNode();
    if (frameA.frame == nullptr || ped == nullptr) return;
    FrameMatrix lever;
    if (!ControlFrameWorld(lever)) return;

    // The foot goes to the lever while a shift is pending and back after;
    // the driver fade weighs in twice, once through the node's weight.
    StepWeight(gearSeen != targetGear);
    weight = Clamp(weight * RigWeight(node) * rig->driverBlend, 0.0f, 1.0f);
    CaptureStartPosition(node);

    if (weight > 0.0f) {
        const float w = LeanRelease(EaseCurve(1, 0, weight), side, BikeLean());
        if (!grabOffset.IsZero()) {
            const Vector3 onLever = grabOffset + peg.grabOffset;
            const Vector3 target = TurnedWithControl(
                TransformPoint({onLever.x * side, onLever.y, onLever.z}, body), lever, leverTurn);
            if (IsFinite(target)) {
                // The knee bends as it does on the peg, so that it does not
                // flip over when the foot moves across.
                SolveLimbTo(node, target, peg.KneeBend(side, body), w);
            }
        }
        Vector3 foot;
        if (DriverBonePosition(NodeToBoneId(node), foot)) {
            AimFoot(node, NormalizedCopy(AimPoint(lever, ShiftHeight()) - foot), w);
        }
    }
    // The menu draws after the handles, so this is the item it showed
    // selected last frame.
    const InGameMenu& menu = runtime().menu();
    if (menu.menuOpen()) {
        DrawTuningAid(menu.vehicleMenu().currentPage, menu.vehicleMenu().hoveredLabel);
    }
    appliedThisFrame = true;
}

void BikeShiftIk::StartStroke(std::int32_t gear) {
    if (gear == gearSeen || weight > 0.0f || shiftPending) return;
    targetGear = gear;
    strokeProgress = 0.0f;
    strokeDirection = 1.0f;
    shiftPending = true;
    strokePhase = kLeverOut;
    shiftKind = gear > gearSeen ? kUpShift : kDownShift;
}

void BikeShiftIk::StrokeLever(float dt) {
    const float step = rateArm * strokeDirection * dt;
    strokeProgress = Clamp(strokeProgress + (IsFinite(step) ? step : 0.0f), 0.0f, 1.0f);
    if (strokeProgress >= 1.0f) {
        strokePhase = kLeverBack;
        strokeDirection = -1.0f;
    }
    if (strokeProgress <= 0.0f && strokePhase == kLeverBack) {
        strokePhase = kStrokeDone;
        strokeDirection = 1.0f;
        gearSeen = targetGear;
        shiftPending = false;
    }
    // Quick off the rest on the way out, quick off the end on the way back,
    // at a finite speed: a steeper start made the lever and the foot jump.
    const float e = EaseCurve(kQuadraticEase, strokePhase == kLeverBack ? 0 : 1, strokeProgress);
    const float travel = shiftKind == kUpShift ? maxAngle : -maxAngle;
    leverTurn = travel * e;
    TurnFrameFromRest(frameA, AxisX, leverTurn);
}

Vector3 BikeShiftIk::AimPoint(const FrameMatrix& lever, float height) const {
    return TransformPoint({footTurn, frameA.reachY, height}, lever);
}

void BikeShiftIk::DrawTuningAid(std::string_view pageTitle, std::string_view selectedLabel) {
    if (pageTitle != "BikeShift") return;
    float height;
    if (selectedLabel == "UpShiftHeight: ") {
        height = UpShiftHeight;
    } else if (selectedLabel == "DownShiftHeight: ") {
        height = DownShiftHeight;
    } else {
        return;
    }
    if (ped == nullptr || frameA.frame == nullptr) return;
    Host& h = host();
    const FrameMatrix* leverWorld = h.FrameWorld(frameA.frame);
    const FrameMatrix* footWorld = DriverBone(NodeToBoneId(FootNode()));
    if (leverWorld == nullptr || footWorld == nullptr) return;
    const FrameMatrix lever = *leverWorld;
    const FrameMatrix foot = *footWorld;

    // The aid is for tuning, not debugging: it shows with debug lines off.
    DebugDrawQueue& debug = runtime().debug();
    const bool wasEnabled = debug.enabled;
    debug.enabled = true;
    debug.DrawArrow(lever.pos, AimPoint(lever, height), kAidArrowWidth, kDebugGreen);
    debug.DrawArrow(lever.pos, lever.pos + lever.up * frameA.reachY, kAidArrowWidth, kDebugCyan);
    debug.DrawArrow(foot.pos, foot.pos + foot.up * kAidFootAxisLength, kAidArrowWidth, kDebugRed);
    debug.enabled = wasEnabled;
}

std::string BikeShiftIk::WriteConfig() const {
    std::string out;
    WriteSection(out, "BikeShiftIK");
    WriteVector(out, "GrabOffset", grabOffset);
    WriteNumber(out, "MaxAngle", maxAngle);
    WriteNumber(out, "UpShiftHeight", UpShiftHeight);
    WriteNumber(out, "DownShiftHeight", DownShiftHeight);
    WriteNumber(out, "FootTurn", footTurn);
    WriteNumber(out, "RateArm", rateArm);
    return out;
}

}  // namespace kovra
