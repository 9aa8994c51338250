#include "kovra/handles/car/SteerIk.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <typeinfo>

#include "kovra/host/Runtime.h"
#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"

namespace kovra {
namespace {

// The host script command issued with the vehicle's handle on every update.
constexpr int kSteerScriptCommand = 1726;

// The bend leans at least this much towards the body's forward axis.
constexpr float kMinForwardBend = 0.3f;
// Below this rim radius the bend has no side of the wheel to go by.
constexpr float kMinRimRadius = 1e-6f;
constexpr float kFingerCurl = 90.0f;  // degrees about the fingers' Z
constexpr float kSwitchingWristRoll = 45.0f;
constexpr float kHoldingWristRoll = 225.0f;

Vector3 RimPoint(float degrees, float rx, float y, float rz) {
    const float a = degrees * kDegToRad;
    return {Cos(a) * rx, y, Sin(a) * rz};
}

void BlendAndNormalise(Quaternion* slot, const Quaternion& rotation, float weight, const Quaternion* near) {
    if (slot == nullptr || !(weight > 0.0f)) return;
    WriteBoneRotation(*slot, rotation, weight, near);
    *slot = Normalized(*slot);
}

}  // namespace

HandOverBlend HandOverFactors(bool switchHands, float side, float cycleAngle, float wheelAngle) {
    if (!switchHands) return {};
    const float o = side * cycleAngle;
    if (!IsFinite(o)) return {};  // an endless cycle never changes over
    if (o == 0.0f) {
        // No cycle to slide over: the hand is on its grab point as soon as
        // the wheel turns at all (the limit of the ratios below).
        const float turn = side * wheelAngle;
        return {turn > 0.0f ? 0.0f : 1.0f, turn < 0.0f ? 0.0f : 1.0f};
    }
    return {Clamp((o - wheelAngle) / o, 0.0f, 1.0f),
            Clamp((2.0f * o + wheelAngle) / (1.5f * o), 0.0f, 1.0f)};
}

float ChangeOverLift(const HandOverBlend& blend, float leverBlend) {
    const float allLimbs = Clamp(leverBlend, 0.0f, 1.0f);
    const float through = std::min(blend.m, blend.h);
    const float e = Clamp(2.0f * allLimbs * (1.0f - std::fabs(2.0f * through - 1.0f)), 0.0f, 2.0f);
    return e < 1.0f ? 0.5f * e * e : -0.5f * ((e - 1.0f) * (e - 3.0f) - 1.0f);
}

SteerIk::SteerIk(Runtime& runtime) : IkHandle(runtime) {
    heightFactor = 0.85f;
    disabled = !settings().Allow_Steer;
    doSpinePush = settings().useCarSpinePush;
}

void SteerIk::CopyFrom(const IkHandle* other) {
    if (other == nullptr || typeid(*other) != typeid(SteerIk)) return;
    const auto& o = static_cast<const SteerIk&>(*other);
    CopyBaseFrom(o);
    wheelAngle = o.wheelAngle;
    switchHands = o.switchHands;
    restAngle = o.restAngle;
    cycleAngle = o.cycleAngle;
    grabFwAngle = o.grabFwAngle;
    grabBwAngle = o.grabBwAngle;
    putAwayMult = o.putAwayMult;
    spinMult = o.spinMult;
    spinRate = o.spinRate;
}

void SteerIk::Update() {
    if (vehicle == nullptr) return;
    Host& h = host();

    // The wheel follows the road wheels, opposite in sign, with a lag; a
    // rate past one step per frame would overshoot, so it is capped there.
    if (!IsFinite(wheelAngle)) wheelAngle = 0.0f;
    const float b = Clamp(spinRate * h.TimeStep(), 0.0f, 1.0f);
    const float steerAngle = h.ReadVehicleState(vehicle).steerAngle;
    const float follow = -(steerAngle * kRadToDeg * spinMult);
    const float next = (1.0f - b) * wheelAngle + b * follow;
    if (IsFinite(next)) wheelAngle = next;

    const int scriptHandle = h.VehicleScriptHandle(vehicle);
    if (scriptHandle >= 0) {
        ScriptArg arg;
        arg.i = scriptHandle;
        const std::array<ScriptArg, 1> inputs{arg};
        h.RunScriptCommand(kSteerScriptCommand, inputs, {});
    }

    if (!frameA.found || frameA.frame == nullptr) return;
    TurnFrameFromRest(frameA, AxisY, wheelAngle);
    WheelFrames frames;
    if (!ControlFrameWorld(frames.wheel) || ped == nullptr) return;
    // The wheel's frame without its spin: the rim as if the wheel stood
    // straight. Both hands measure against it, so it is inverted once.
    frames.unspun = frames.wheel;
    RotateFrame(frames.unspun, AxisY, -wheelAngle, Combine::Local);
    frames.invertible = Invert(frames.unspun, frames.unspunInverse);

    if (doSpinePush) PushSpine(frames.wheel);

    const FrameMatrix* spine = DriverBone(kSpineBone);
    if (spine == nullptr) return;
    const Vector3 spineRight = NormalizedCopy(spine->right);
    const Vector3 spineAt = spine->at;

    PoseHand(-1.0f, kLeftHandNode, frames, spineRight, spineAt);
    PoseHand(1.0f, kRightHandNode, frames, spineRight, spineAt);
    appliedThisFrame = true;
}

void SteerIk::PushSpine(const FrameMatrix& wheel) {
    Host& h = host();
    LimbSolver& solver = runtime().solver();
    SpinePoints spine;
    if (!ReadSpine(spine)) return;
    const Vector3 basePos = spine.base;
    const Vector3 upperPos = spine.upper;

    const Vector3 toWheel = NormalizedCopy(wheel.pos - upperPos);
    Vector3 v = basePos - upperPos;
    const float length = Normalize(v);
    const float armReach = rig != nullptr ? rig->armLength : ArmReach(h, ped);
    float push = heightFactor * armReach * settings().muSpinePush;
    if (!IsFinite(push)) push = 0.0f;

    std::array<Vector3, 3> chain{spine.root, basePos - v * length, {}};
    chain[2] = chain[1] + toWheel * push;
    SolveChain(chain, wheel.pos, {}, solver.settings());
    runtime().debug().DrawChain(chain, kDebugBlue);

    const float ws = Clamp(RigWeight(kUpperSpineNode), 0.0f, 1.0f);
    if (!(ws > 0.0f)) return;
    solver.AimBone(ped, kSpineBaseBone, chain[1], ws);
    LevelHead(spine.neckUp, ws);
}

const SteerIk::RimPoints& SteerIk::HandRimPoints(float s) {
    const RimInputs inputs{grabOffset, settings().gWristOffsetY, restAngle, grabBwAngle, grabFwAngle};
    if (!rimPointsValid_ || !SameBits(inputs, rimInputs_)) {
        for (const float side : {-1.0f, 1.0f}) {
            const float rx = side * grabOffset.x;
            const float rz = side * grabOffset.z;
            const float y = grabOffset.y + 0.5f * inputs.wristOffsetY;
            const Vector3 fw = RimPoint(-(side * grabFwAngle), rx, y, rz);
            rimPoints_[side < 0.0f ? 0 : 1] = {RimPoint(side * restAngle, rx, y, rz),
                                               RimPoint(side * grabBwAngle, rx, y, rz),
                                               {-fw.x, fw.y, -fw.z}};
        }
        rimInputs_ = inputs;
        rimPointsValid_ = true;
    }
    return rimPoints_[s < 0.0f ? 0 : 1];
}

void SteerIk::PoseHand(float s, NodeIndex n, const WheelFrames& frames, const Vector3& spineRight,
                       const Vector3& spineAt) {
    LimbSolver& solver = runtime().solver();
    const FrameMatrix& wheel = frames.wheel;
    const FrameMatrix& unspun = frames.unspun;

    // Rim points in the wheel's space, carried round by its spin.
    const float rx = s * grabOffset.x;
    const RimPoints& rim = HandRimPoints(s);
    const Vector3 rest = TransformPoint(rim.rest, wheel);
    const Vector3 backward = TransformPoint(rim.backward, wheel);
    const Vector3 forward = TransformPoint(rim.forward, wheel);

    DebugDrawQueue& debug = runtime().debug();
    if (debug.enabled) {
        debug.DrawMarker(rest, kDebugRed, kChainMarkerSize);
        debug.DrawMarker(backward, kDebugBlue, kChainMarkerSize);
        debug.DrawMarker(forward, kDebugGreen, kChainMarkerSize);
    }

    const HandOverBlend blend = HandOverFactors(switchHands, s, cycleAngle, wheelAngle);
    Vector3 target = s * wheelAngle < 0.0f ? Lerp(forward, rest, blend.h)
                                           : Lerp(backward, rest, blend.m);

    // The elbow points forward for a hand on its own side of the wheel and
    // out to the side as the hand crosses over.
    // InverseTransformPoint, with the inverse worked out once for both hands.
    const float lx = (frames.invertible ? TransformPoint(target, frames.unspunInverse)
                                        : ToFrameLocal(target, unspun)).x;
    const float k = std::fabs(rx) > kMinRimRadius
                        ? Clamp((rx - lx) / (2.0f * rx), kMinForwardBend, 1.0f)
                        : 0.5f;
    const Vector3 bend = NormalizedCopy(spineAt * s) * k + spineRight * (1.0f - k);

    const float w = Clamp(RigWeight(n), 0.0f, 1.0f);
    const float leverBlend = rig != nullptr ? rig->leverBlend : 1.0f;
    const Vector3 lifted = target + wheel.up * (ChangeOverLift(blend, leverBlend) * putAwayMult);
    if (IsFinite(lifted)) target = lifted;
    if (!IsFinite(target)) return;

    solver.SolveLimb(ped, target, n, bend, w);
    const Vector3 end = solver.record(n).lastEnd;
    DepositNodeOffset(n, end);

    // Roll the wrist so the palm follows the rim round to the hand.
    const Vector3 toCentre = NormalizedCopy(wheel.pos - end);
    float roll;
    if (switchHands) {
        const Vector3 d = NormalizedCopy(wheel.pos - TransformPoint({s, 0.0f, 0.0f}, unspun));
        roll = s * kSwitchingWristRoll + s * Acos(Dot(d, toCentre)) * kRadToDeg;
    } else {
        const Vector3 d = NormalizedCopy(wheel.pos - TransformPoint({1.0f, 0.0f, 0.0f}, unspun));
        const Vector3 c = Cross(d, toCentre);
        roll = s * kHoldingWristRoll - Atan2(Dot(d, toCentre), Dot(c, wheel.up)) * kRadToDeg;
    }
    BlendAndNormalise(SlotToWrite(n), AxisAngle(AxisX, roll), w, LastPose(n));
    static const Quaternion kCurledFingers = AxisAngle(AxisZ, kFingerCurl);
    BlendAndNormalise(SlotToWrite(n + 1), kCurledFingers, w, LastPose(n + 1));
}

std::string SteerIk::WriteConfig() const {
    std::string out;
    WriteSection(out, "SteerIK");
    WriteVector(out, "GrabOffset", grabOffset);
    WriteFlag(out, "SwitchHands", switchHands);
    WriteNumber(out, "RestAngle", restAngle);
    WriteNumber(out, "CycleAngle", cycleAngle);
    WriteNumber(out, "GrabFwAngle", grabFwAngle);
    WriteNumber(out, "GrabBwAngle", grabBwAngle);
    WriteNumber(out, "PutAwayMult", putAwayMult);
    WriteNumber(out, "SpinMult", spinMult);
    WriteNumber(out, "SpinRate", spinRate);
    WriteFlag(out, "DoSpinePush", doSpinePush);
    WriteNumber(out, "HeightFactor", heightFactor);
    return out;
}

}  // namespace kovra
