#include "kovra/handles/car/GearIk.h"

#include <algorithm>
#include <cmath>
#include <typeinfo>

#include "kovra/config/NumberFormat.h"
#include "kovra/config/VehicleConfigStore.h"
#include "kovra/host/Runtime.h"
#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/EaseCurve.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"

namespace kovra {
namespace {

struct PatternRow {
    Vector3 preStage;
    Vector3 finalStage;
};

struct PatternTable {
    const char* name;
    std::array<PatternRow, GearIk::kPositionCount> rows;
    std::array<std::pair<std::int32_t, std::int32_t>, 4> pairs;
    int pairCount;
};

// x moves the stick fore and aft, y across the gate.
constexpr PatternRow Row(float px, float py, float fx, float fy) {
    return {{px, py, 0.0f}, {fx, fy, 0.0f}};
}

constexpr PatternRow kNeutral = Row(0, 0, 0, 0);

constexpr PatternTable AutoLikeTable(const char* name) {
    return {name,
            {kNeutral, Row(0, 0, -15, 0), Row(0, 0, 15, 0), kNeutral, kNeutral, kNeutral, kNeutral},
            {{{1, 2}, {2, 1}, {0, 0}, {0, 0}}},
            2};
}

constexpr std::array<PatternTable, GearIk::kPatternCount> kPatterns{{
    {"VW",
     {kNeutral, Row(0, -15, -15, -15), Row(0, -15, 15, -15), Row(0, 0, -15, 0), Row(0, 0, 15, 0),
      Row(0, 15, -15, 15), Row(0, 15, 15, 15)},
     {{{1, 2}, {2, 1}, {3, 4}, {4, 3}}},
     4},
    {"CHEV",
     {kNeutral, Row(0, -15, -15, -15), Row(0, -15, 15, -15), Row(0, 0, -15, 0), Row(0, 0, 15, 0),
      Row(0, 15, -15, 15), Row(0, -20, -15, -20)},
     {{{1, 2}, {2, 1}, {3, 4}, {4, 3}}},
     4},
    {"BMW",
     {kNeutral, Row(0, -15, 15, -15), Row(0, 0, -15, 0), Row(0, 0, 15, 0), Row(0, 15, -15, 15),
      Row(0, 15, 15, 15), Row(0, -15, -15, -15)},
     {{{2, 3}, {3, 2}, {4, 5}, {5, 4}}},
     4},
    AutoLikeTable("AUTO"),
    AutoLikeTable("SEQUENTIAL"),
}};

constexpr float kHandTurnRamp = 0.15f;
// The hand turns in at this share of the arm's pace.
constexpr float kHandTurnPace = 0.6f;
constexpr int kAutoPattern = 3;
constexpr int kSequentialPattern = 4;
// A pattern number without a table; its hand fades out while the lever
// springs back (a sequential lever never does: it needs the hand).
constexpr int kUnknownPattern = 5;
constexpr int kReversePosition = 6;
// The sequential pattern's neutral-entry states.
constexpr std::int32_t kLeverOut = 1;
constexpr std::int32_t kLeverBack = 2;
constexpr std::int32_t kLeverReturning = 3;

// The stick runs its legs this much faster than the hand fades in.
constexpr float kStickRateFactor = 1.25f;
// Pre stages closer than this in every component are one and the same.
constexpr float kSameStage = 0.0001f;

int ClampPosition(int n) { return std::clamp(n, 0, GearIk::kPositionCount - 1); }

bool SameStage(const Vector3& a, const Vector3& b) {
    return std::fabs(a.x - b.x) < kSameStage && std::fabs(a.y - b.y) < kSameStage &&
           std::fabs(a.z - b.z) < kSameStage;
}

void ResetEntry(GearPatternEntry& entry) {
    entry.blend = 0.0f;
    entry.state = 0;
}

}  // namespace

GearIk::GearIk(Runtime& runtime) : IkHandle(runtime) {
    targetEntry = &pattern[0];
    currentEntry = &pattern[0];
    neutralEntry = &pattern[0];
    disabled = !settings().Allow_Gear;
    if (settings().Allow_Gear) {
        SetPattern(0);
        endAngles = {0.0f, 0.0f, -45.0f};
    }
}

const char* GearIk::PatternName(int patternType) {
    if (patternType < 0 || patternType >= kPatternCount) return "Unknown";
    return kPatterns[static_cast<std::size_t>(patternType)].name;
}

void GearIk::SetPattern(int patternType) {
    // Negative numbers come only from hand-edited files; they have no table.
    if (patternType < 0 || patternType >= kPatternCount) return;
    const PatternTable& table = kPatterns[static_cast<std::size_t>(patternType)];
    shiftPattern = patternType;
    directPairs.clear();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        pattern[i] = {table.rows[i].preStage, table.rows[i].finalStage, 0.0f, 0};
    }
    for (int i = 0; i < table.pairCount; ++i) {
        directPairs.push_back(table.pairs[static_cast<std::size_t>(i)]);
    }
    neutralEntry = &pattern[0];
}

void GearIk::SetGear(int n) {
    // Compared after clamping: a shift towards the position already shown
    // would never arrive and would keep `shifting` set for good.
    if (n == handGear || ClampPosition(n) == handGear) return;
    if (!holdHand) weight = 0.0f;  // the hand reaches for the stick anew
    targetGear = ClampPosition(n);
    targetEntry = &pattern[static_cast<std::size_t>(targetGear)];
    for (int i = 0; i < kPositionCount; ++i) {
        if (i == handGear) continue;
        pattern[static_cast<std::size_t>(i)].blend = 0.0f;
        pattern[static_cast<std::size_t>(i)].state = 0;
    }
    if (handGear == 0) {
        neutralEntry->blend = 0.0f;
        neutralEntry->state = 0;
    }
    shifting = true;
}

void GearIk::Update() {
    Host& h = host();

    // 1. The hold-hand key toggles on the frame it goes down.
    if (runtime().input().keyboard.KeyPressed(settings().HoldHandKey)) holdHand = !holdHand;

    // 2. A new shift starts once the hand is off the stick (or held on it).
    if (rig != nullptr && (holdHand || weight <= 0.0f)) StartShift(rig->audioGear);

    // 3.
    targetEntry = &pattern[static_cast<std::size_t>(ClampPosition(targetGear))];
    neutralEntry = &pattern[0];
    if (currentEntry == nullptr) currentEntry = neutralEntry;

    // 4-5. The stick moves only while the hand is fully on it.
    if (targetGear != handGear && weight >= 1.0f) {
        if (shiftPattern == kSequentialPattern) {
            MoveLever();
        } else {
            MoveStick();
        }
    }

    // 6. The hand on the console side of the driver's seat.
    const bool seatXNegative = rig == nullptr || rig->frontSeatXNegative;
    const NodeIndex n = seatXNegative ? kLeftHandNode : kRightHandNode;
    if (!frameA.found || frameA.frame == nullptr || ped == nullptr || vehicle == nullptr) return;
    FrameMatrix stick;
    if (!ControlFrameWorld(stick)) return;

    // 7. Weight.
    bool engage;
    if (shiftPattern == kUnknownPattern) {
        engage = holdHand || (neutralEntry->state != kLeverReturning && handGear != targetGear);
    } else {
        engage = handGear != targetGear || holdHand;
    }
    StepWeight(engage);
    ApplyRigWeights(n);
    StepHandTurn(engage);

    // 8.
    CaptureStartPosition(n);
    if (!(weight > 0.0f)) return;

    // 9.
    const float w = SolverWeight();
    if (rig != nullptr) rig->leverHandBusy = true;

    // 10. Bend: the spine's `at` axis (mirrored for the left hand) turning
    // into the vehicle body's `up` row as the hand arrives.
    Vector3 spineAt;
    if (const FrameMatrix* spine = DriverBone(kSpineBone)) {
        spineAt = seatXNegative ? -spine->at : spine->at;
    }
    Vector3 bodyUp = FrameMatrix::Identity().up;
    if (const FrameMatrix* body = h.VehicleMatrix(vehicle); body != nullptr && IsFinite(*body)) {
        bodyUp = body->up;
    }
    const Vector3 bend = bodyUp * weight + spineAt * (1.0f - weight);

    // 11.
    const Vector3 target = BlendedTarget(TransformPoint(grabOffset, stick));
    if (!IsFinite(target) || !IsFinite(bend)) return;

    // 12.
    SolveLimbTo(n, target, bend, w);

    // 13. The gear handle leaves appliedThisFrame alone.
    // Eased in and out, so that the hand neither starts nor stops turning
    // at full speed, and on the way in over more frames than the arm takes:
    // from a wheel turned far round the hand has over half a turn to make.
    ApplyEndRotation(n, EaseInOutRamp(std::min(handTurn, weight), kHandTurnRamp));
}

void GearIk::StartShift(int g) {
    if (shifting) return;
    switch (shiftPattern) {
        case kAutoPattern: {
            // Forward gears show position 1, reverse and neutral position 2.
            const int position = g > 0 ? 1 : 2;
            if (position != handGear) SetGear(position);
            break;
        }
        case kSequentialPattern: {
            const int position = ClampPosition(g);
            if (position == handGear) break;
            targetGear = position;
            seqProgress = 0.0f;
            seqDirection = 1.0f;
            shifting = true;
            pattern[0].state = kLeverOut;
            break;
        }
        default: {
            // A gear of 0 or below selects the reverse position.
            const int position = g > 0 ? ClampPosition(g) : kReversePosition;
            if (position != handGear) SetGear(position);
            break;
        }
    }
}

bool GearIk::IsDirectPair(int from, int to) const {
    return std::find(directPairs.begin(), directPairs.end(), std::pair<std::int32_t, std::int32_t>(from, to)) !=
           directPairs.end();
}

void GearIk::MoveStick() {
    GearPatternEntry& c = *currentEntry;
    GearPatternEntry& target = *targetEntry;
    GearPatternEntry& neutral = *neutralEntry;
    float step = rateArm * kStickRateFactor * host().TimeStep();
    if (!IsFinite(step)) step = 0.0f;
    c.blend = Clamp(c.blend + step, 0.0f, 1.0f);
    const float o = c.blend * c.blend * c.blend;
    const float q = 1.0f - o;

    Vector3 a;
    bool arriving = false;
    if (&c == &neutral) {
        if (c.state == 0) {
            // Neutral to the target's pre stage, along the neutral gate.
            a = target.preStage * o + neutral.preStage * q;
            if (c.blend >= 1.0f || SameStage(target.preStage, neutral.preStage)) {
                c.state = 1;
                c.blend = 0.0f;
            }
        } else {
            // Into the target gear.
            a = target.preStage * q + target.finalStage * o;
            arriving = true;
        }
    } else if (c.state != 0) {
        if (IsDirectPair(handGear, targetGear)) {
            // Along the gate column, straight from gear to gear.
            a = target.finalStage * o + c.finalStage * q;
            arriving = true;
        } else {
            // Out of the gear to its pre stage.
            a = c.finalStage * q + c.preStage * o;
            if (c.blend >= 1.0f) {
                c.state = 0;
                c.blend = 0.0f;
            }
        }
    } else {
        // From the gear's pre stage back to neutral.
        a = c.preStage * q + neutral.preStage * o;
        if (c.blend >= 1.0f || SameStage(c.preStage, neutral.preStage)) {
            ResetEntry(c);
            currentEntry = &neutral;
            ResetEntry(neutral);
        }
    }
    if (arriving && c.blend >= 1.0f) {
        target.state = 1;
        currentEntry = &target;
        shifting = false;
        handGear = targetGear;
    }
    TurnStick(a);
}

void GearIk::MoveLever() {
    GearPatternEntry& neutral = *neutralEntry;
    float step = rateArm * seqDirection * host().TimeStep();
    if (!IsFinite(step)) step = 0.0f;
    seqProgress = Clamp(seqProgress + step, 0.0f, 1.0f);
    if (seqProgress >= 1.0f) {
        neutral.state = kLeverReturning;
        seqDirection = -1.0f;
    } else if (seqProgress <= 0.0f && neutral.state == kLeverReturning) {
        neutral.state = kLeverBack;
        seqDirection = 1.0f;
        handGear = targetGear;
        shifting = false;
    }
    // Quick out, slow at the stop; slow away from the stop, quick back; each
    // end left at a finite speed so that the stick does not jump.
    const float p = seqProgress;
    const float c = neutral.state == kLeverReturning ? p * p : (2.0f - p) * p;
    const Vector3& end = handGear < targetGear ? pattern[2].finalStage : pattern[1].finalStage;
    TurnStick(end * c + neutral.finalStage * (1.0f - c));
}

void GearIk::TurnStick(const Vector3& angles) {
    if (frameA.frame == nullptr || !IsFinite(angles)) return;
    Host& h = host();
    FrameMatrix* modelling = h.FrameModelling(frameA.frame);
    if (modelling == nullptr) return;
    // The pattern's turn about X, then Y, then Z, each in the stick's own
    // space, on top of its rest mounting: a stick that is not axis-aligned
    // in the model keeps its tilt, and neutral is exactly the rest pose.
    FrameMatrix turned = frameA.restMatrix;
    RotateFrame(turned, AxisX, angles.x, Combine::Local);
    RotateFrame(turned, AxisY, angles.y, Combine::Local);
    RotateFrame(turned, AxisZ, angles.z, Combine::Local);
    if (!IsFinite(turned)) return;
    modelling->right = turned.right;
    modelling->up = turned.up;
    modelling->at = turned.at;
    stickAngles = angles;
    h.UpdateFrame(frameA.frame);
}

int GearIk::EntryIndex(const GearIk& owner, const GearPatternEntry* entry) {
    for (int i = 0; i < kPositionCount; ++i) {
        if (entry == &owner.pattern[static_cast<std::size_t>(i)]) return i;
    }
    return 0;
}

void GearIk::StepHandTurn(bool engage) {
    float step = rateArm * host().TimeStep();
    if (!IsFinite(step) || !IsFinite(handTurn)) step = handTurn = 0.0f;
    handTurn = Clamp(engage ? handTurn + step * kHandTurnPace : handTurn - step, 0.0f, 1.0f);
}

void GearIk::CopyFrom(const IkHandle* other) {
    if (other == nullptr || typeid(*other) != typeid(GearIk)) return;
    const auto& o = static_cast<const GearIk&>(*other);
    CopyBaseFrom(o);
    pattern = o.pattern;
    directPairs = o.directPairs;
    seqProgress = o.seqProgress;
    seqDirection = o.seqDirection;
    shifting = o.shifting;
    shiftPattern = o.shiftPattern;
    handGear = o.handGear;
    targetGear = o.targetGear;
    holdHand = o.holdHand;
    stickAngles = o.stickAngles;
    handTurn = o.handTurn;
    // The entry references point into this handle's own table.
    targetEntry = &pattern[static_cast<std::size_t>(EntryIndex(o, o.targetEntry))];
    neutralEntry = &pattern[0];
    currentEntry = &pattern[0];
}

std::string GearIk::WriteConfig() const {
    std::string out;
    WriteSection(out, "GearIK");
    WriteVector(out, "GrabOffset", grabOffset);
    WriteVector(out, "HandAngle", endAngles);
    WriteNumber(out, "RateArm", rateArm);
    WriteInteger(out, "ShiftPattern", shiftPattern);
    if (runtime().store().exportGears) out += WritePatternBlock();
    return out;
}

std::string GearIk::WritePatternBlock() const {
    std::string out = "\n[GearPattern]\n";
    for (int i = 0; i < kPositionCount; ++i) {
        const GearPatternEntry& entry = pattern[static_cast<std::size_t>(i)];
        const std::string number = formatInteger(i);
        WriteVector(out, ("PreStg_" + number).c_str(), entry.preStage);
        WriteVector(out, ("FinStg_" + number).c_str(), entry.finalStage);
        out += '\n';
    }
    return out;
}

}  // namespace kovra
