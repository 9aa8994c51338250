#include "cli/MotionCheck.h"

#include <algorithm>
#include <cmath>

#include "kovra/handles/bike/BarIk.h"
#include "kovra/handles/car/GasPedalIk.h"
#include "kovra/handles/car/IkHandle.h"
#include "kovra/handles/car/SteerIk.h"
#include "kovra/host/Host.h"
#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"

namespace kovra::cli {

namespace {

constexpr std::array<const char*, kBoneGroupCount> kGroupNames = {
    "right arm", "left arm", "right leg", "left leg", "spine and head", "fingers", "toes"};
constexpr std::array<const char*, 4> kLimbNames = {"right hand", "left hand", "right foot", "left foot"};
constexpr std::array<const char*, kHandleKindCount> kKindNames = {
    "Gear", "Steer", "HandBrake", "Bar", "GasPedal", "ClutchPedal", "Peg", "BikeShift", "SeatJiggle"};

// Rows scaled to unit length: a bone matrix may carry scale.
FrameMatrix Orthonormal(FrameMatrix m) {
    m.right = NormalizedCopy(m.right);
    m.up = NormalizedCopy(m.up);
    m.at = NormalizedCopy(m.at);
    m.pos = {};
    return m;
}

// The angle between two rotations, whatever their signs; degrees.
float TurnBetween(const Quaternion& a, const Quaternion& b) {
    const float c = std::fabs(Dot(Normalized(a), Normalized(b)));
    return 2.0f * std::acos(std::min(c, 1.0f)) * kRadToDeg;
}

bool AtEnd(float v) { return v <= 0.0f || v >= 1.0f; }

bool FrameWorldOf(Host& host, const FrameSlot& slot, FrameMatrix& out) {
    const FrameMatrix* world = slot.frame != nullptr ? host.FrameWorld(slot.frame) : nullptr;
    if (world == nullptr || !IsFinite(*world)) return false;
    out = *world;
    return true;
}

}  // namespace

const char* BoneGroupName(BoneGroup group) {
    const int i = static_cast<int>(group);
    return i >= 0 && i < kBoneGroupCount ? kGroupNames[static_cast<std::size_t>(i)] : "unknown";
}

BoneGroup BoneGroupOf(NodeIndex node) {
    if (node == 13 || node == 14 || node == 19 || node == 20) return BoneGroup::Fingers;
    if (node == 27 || node == 31) return BoneGroup::Toes;
    if (node >= 15 && node <= 18) return BoneGroup::RightArm;
    if (node >= 9 && node <= 12) return BoneGroup::LeftArm;
    if (node >= 28 && node <= 30) return BoneGroup::RightLeg;
    if (node >= 24 && node <= 26) return BoneGroup::LeftLeg;
    return BoneGroup::Spine;
}

bool MotionCheck::HeldControl(Host& host, const CabinIk& rig, int kind, NodeIndex node, FrameMatrix& out) {
    if (!IsHandleKindCode(kind)) return false;
    const IkHandle* handle = rig.HandleOf(static_cast<HandleKind>(kind));
    if (handle == nullptr) return false;
    switch (static_cast<HandleKind>(kind)) {
        case HandleKind::Steer: {
            // The hands slide round the rim on purpose while they change
            // over; they hold it only at either end of the change.
            const auto& steer = static_cast<const SteerIk&>(*handle);
            const float side = node == kLeftHandNode ? -1.0f : 1.0f;
            const HandOverBlend blend =
                HandOverFactors(steer.switchHands, side, steer.cycleAngle, steer.wheelAngle);
            if (!AtEnd(blend.m) || !AtEnd(blend.h)) return false;
            return FrameWorldOf(host, handle->frameA, out);
        }
        case HandleKind::GasPedal: {
            // The foot holds the gas or the brake, not the way between them.
            const auto& gas = static_cast<const GasPedalIk&>(*handle);
            if (rig.isBike != 0 || gas.frameB.frame == nullptr) return FrameWorldOf(host, handle->frameA, out);
            if (gas.footSwitch >= 1.0f) return FrameWorldOf(host, handle->frameA, out);
            if (gas.footSwitch <= 0.0f) return FrameWorldOf(host, handle->frameB, out);
            return false;
        }
        case HandleKind::Bar: {
            // The throttle hand rolls with the twist grip it holds: measured
            // on the grip's point, which the twist carries round, not the bar.
            if (!FrameWorldOf(host, handle->frameA, out)) return false;
            const float side = node == kLeftHandNode ? -1.0f : 1.0f;
            out.pos = TransformPoint(static_cast<const BarIk&>(*handle).GripPoint(side), out);
            return IsFinite(out.pos);
        }
        case HandleKind::SeatJiggle: return false;
        default: return FrameWorldOf(host, handle->frameA, out);
    }
}

void MotionCheck::Capture(Host& host, CVehicle* vehicle, CPed* driver, const CabinIk* rig, int frame,
                          const std::array<int, 4>& solvedKinds) {
    Posed now;
    const FrameMatrix* body = vehicle != nullptr ? host.VehicleMatrix(vehicle) : nullptr;
    FrameMatrix bodyInverse;
    const bool seated = driver != nullptr && body != nullptr && host.VehicleDriver(vehicle) == driver &&
                        InvertRotation(Orthonormal(*body), bodyInverse);
    if (seated) {
        RefreshBoneMatrices(host, driver);
        now.valid = true;
        for (NodeIndex node = 1; node < kNodeCount && now.valid; ++node) {
            const FrameMatrix* bone = BoneWorldMatrix(host, driver, NodeToBoneId(node));
            if (bone == nullptr || !IsFinite(*bone)) {
                now.valid = false;
                break;
            }
            now.rotations[static_cast<std::size_t>(node)] =
                MatrixToQuaternion(Multiply(Orthonormal(*bone), bodyInverse));
        }
        for (std::size_t i = 0; i < kLimbEnds.size() && now.valid; ++i) {
            BonePosition(host, driver, NodeToBoneId(kLimbEnds[i]), now.ends[i]);
            Hold& hold = now.holds[i];
            if (rig != nullptr && HeldControl(host, *rig, solvedKinds[i], kLimbEnds[i], hold.control)) {
                hold.kind = solvedKinds[i];
            }
        }
    }

    const bool consecutive = now.valid && previous_.valid && frame == lastFrame_ + 1;
    if (consecutive) {
        std::array<float, kNodeCount> turn{};
        for (NodeIndex node = 1; node < kNodeCount; ++node) {
            const auto n = static_cast<std::size_t>(node);
            turn[n] = TurnBetween(previous_.rotations[n], now.rotations[n]);
            GroupTurn& g = turns_[static_cast<std::size_t>(BoneGroupOf(node))];
            if (turn[n] > g.maxTurn) {
                g.maxTurn = turn[n];
                g.frame = frame;
                g.node = node;
            }
            // The frame before this one stands out from both its neighbours.
            if (lastTurnValid_ && turnBeforeValid_) {
                const float mid = lastTurn_[n];
                if (mid >= kSpikeMinTurn && mid >= kSpikeFactor * turnBefore_[n] &&
                    mid >= kSpikeFactor * turn[n]) {
                    spikes_.push_back({BoneGroupName(BoneGroupOf(node)), node, frame - 1, mid});
                }
            }
        }
        for (std::size_t i = 0; i < kLimbEnds.size(); ++i) {
            const Hold& was = previous_.holds[i];
            const Hold& is = now.holds[i];
            if (was.kind < 0 || was.kind != is.kind) continue;
            // Where the end sits on the control, in the control's own axes.
            const float slide = Distance(InverseTransformPoint(now.ends[i], is.control),
                                         InverseTransformPoint(previous_.ends[i], was.control));
            LimbSlide& s = slides_[i];
            if (IsFinite(slide) && slide > s.maxSlide) {
                s.maxSlide = slide;
                s.frame = frame;
                s.kind = kKindNames[static_cast<std::size_t>(is.kind)];
            }
        }
        turnBefore_ = lastTurn_;
        turnBeforeValid_ = lastTurnValid_;
        lastTurn_ = turn;
        lastTurnValid_ = true;
    } else {
        lastTurnValid_ = turnBeforeValid_ = false;
    }
    previous_ = now;
    lastFrame_ = frame;
}

MotionReport MotionCheck::Report() const {
    MotionReport report;
    for (int g = 0; g < kBoneGroupCount; ++g) {
        GroupTurn turn = turns_[static_cast<std::size_t>(g)];
        turn.group = BoneGroupName(static_cast<BoneGroup>(g));
        report.turns.push_back(turn);
    }
    for (std::size_t i = 0; i < kLimbEnds.size(); ++i) {
        LimbSlide slide = slides_[i];
        slide.limb = kLimbNames[i];
        report.slides.push_back(slide);
    }
    report.spikes = spikes_;
    return report;
}

}  // namespace kovra::cli
