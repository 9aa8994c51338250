#include "kovra/handles/car/IkHandle.h"

#include <cmath>
#include <vector>

#include "kovra/config/NumberFormat.h"
#include "kovra/handles/bike/BikeShiftIk.h"
#include "kovra/host/Runtime.h"
#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/EaseCurve.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"

namespace kovra {
namespace {

bool IsNode(NodeIndex node) { return node >= 0 && node < kNodeCount; }

Quaternion WorkOutTurnXYZ(const Vector3& degrees) {
    Quaternion q;
    RotateQuaternion(q, AxisX, degrees.x, Combine::Replace);
    RotateQuaternion(q, AxisY, degrees.y, Combine::Local);
    RotateQuaternion(q, AxisZ, degrees.z, Combine::Local);
    return q;
}

}  // namespace

void SinCos(KeptSinCos& kept, float radians) {
    if (kept.valid && SameBits(kept.radians, radians)) return;
    kept = {radians, Sin(radians), Cos(radians), true};
}

const Quaternion& AxisTurn(KeptAxisTurn& kept, const Vector3& axis, float degrees) {
    if (!kept.valid || !SameBits(kept.degrees, degrees) || !SameBits(kept.axis, axis)) {
        kept = {axis, degrees, AxisAngle(axis, degrees), true};
    }
    return kept.rotation;
}

void FrameSlot::Clear() {
    IkHandle* const keep = owner;
    *this = FrameSlot{};
    owner = keep;
}

IkHandle::IkHandle(Runtime& runtime) : runtime_(&runtime) {
    frameA.owner = this;
    frameB.owner = this;
}

IkHandle::~IkHandle() = default;

void IkHandle::Update() {}

void IkHandle::ApplyModelDefaults() {}

Host& IkHandle::host() const { return runtime_->host(); }

const GlobalSettings& IkHandle::settings() const { return runtime_->settings(); }

void IkHandle::CopyBaseFrom(const IkHandle& other) {
    type = other.type;
    isBike = other.isBike;
    modelId = other.modelId;
    startWorld = other.startWorld;
    startLocal = other.startLocal;
    grabOffset = other.grabOffset;
    secondOffset = other.secondOffset;
    endAngles = other.endAngles;
    appliedThisFrame = other.appliedThisFrame;
    needsModelDefaults = other.needsModelDefaults;
    disabled = other.disabled;
    doSpinePush = other.doSpinePush;
    heightFactor = other.heightFactor;
    armFactor = other.armFactor;
    maxAngle = other.maxAngle;
    minAngle = other.minAngle;
    footTurn = other.footTurn;
    bendAngle = other.bendAngle;
    rateArm = other.rateArm;
    weight = other.weight;
}

int IkHandle::VehicleAnimGroup() const {
    if (vehicle == nullptr) return -1;
    return host().ReadVehicleState(vehicle).animGroup;
}

// ---- the steps of the update pattern ---------------------------------------

void IkHandle::CaptureStartPosition(NodeIndex node) {
    if (!(weight > 0.0f)) {
        startWorld = {};
        startLocal = {};
        return;
    }
    if (!startWorld.IsZero() || !IsNode(node)) return;

    Vector3 start;
    if (rig != nullptr && !rig->nodeOffsets[node].IsZero()) {
        // A handle earlier in this dispatch already moved that limb end.
        start = rig->nodeOffsets[node];
    } else {
        if (ped == nullptr || !DriverBonePosition(NodeToBoneId(node), start)) return;
    }
    if (!IsFinite(start)) return;

    startWorld = start;
    const FrameMatrix* body = vehicle != nullptr ? host().VehicleMatrix(vehicle) : nullptr;
    startLocal = body != nullptr && IsFinite(*body) ? InverseTransformPoint(start, *body) : start;
    if (!IsFinite(startLocal)) startLocal = start;
}

Vector3 IkHandle::StartPointNow() const {
    const FrameMatrix* body = vehicle != nullptr ? host().VehicleMatrix(vehicle) : nullptr;
    if (body == nullptr || !IsFinite(*body)) return startLocal;
    return TransformPoint(startLocal, *body);
}

void IkHandle::StepWeight(bool engage) {
    float step = rateArm * host().TimeStep();
    if (!IsFinite(step)) step = 0.0f;
    weight = Clamp(engage ? weight + step : weight - step, 0.0f, 1.0f);
}

float IkHandle::RigWeight(NodeIndex node) const {
    if (rig == nullptr) return 1.0f;
    const float nodeWeight = IsNode(node) ? rig->nodeWeights[node] : 1.0f;
    return rig->driverBlend * nodeWeight;
}

void IkHandle::ApplyRigWeights(NodeIndex node) {
    weight = Clamp(weight * RigWeight(node), 0.0f, 1.0f);
}

float IkHandle::SolverWeight() const { return EaseInOutQuad(Clamp(weight, 0.0f, 1.0f)); }

Vector3 IkHandle::BlendedTarget(const Vector3& grabWorld) const {
    return grabWorld * weight + StartPointNow() * (1.0f - weight);
}

void IkHandle::SolveLimbTo(NodeIndex node, const Vector3& target, const Vector3& bend, float w) {
    LimbSolver& solver = runtime().solver();
    solver.SolveLimb(ped, target, node, bend, w);
    DepositNodeOffset(node, solver.record(node).lastEnd);
}

void IkHandle::DepositNodeOffset(NodeIndex node, const Vector3& position) {
    if (rig == nullptr || !IsNode(node) || !IsFinite(position)) return;
    rig->nodeOffsets[node] = position;
}

Quaternion IkHandle::TurnXYZ(const Vector3& degrees) const {
    for (const KeptRotation& kept : keptRotations_) {
        if (kept.valid && SameBits(kept.degrees, degrees)) return kept.rotation;
    }
    KeptRotation& slot = keptRotations_[static_cast<std::size_t>(nextKept_)];
    nextKept_ = (nextKept_ + 1) % static_cast<int>(keptRotations_.size());
    slot = {degrees, WorkOutTurnXYZ(degrees), true};
    return slot.rotation;
}

Quaternion IkHandle::EndRotation(float signX) const {
    return TurnXYZ({endAngles.x * signX, endAngles.y, endAngles.z});
}

Quaternion IkHandle::FootRotation(float toe) const {
    return TurnXYZ({endAngles.x, endAngles.y, endAngles.z - toe});
}

void IkHandle::ApplyEndRotation(NodeIndex node, float blend, float signX) {
    BlendNodeRotation(node, EndRotation(signX), blend);
}

void IkHandle::BlendNodeRotation(NodeIndex node, const Quaternion& rotation, float blend) {
    Quaternion* slot = SlotToWrite(node);
    if (slot == nullptr) return;
    WriteBoneRotation(*slot, rotation, blend, LastPose(node));
}

const FrameMatrix* IkHandle::DriverBone(BoneId bone) const {
    return runtime().solver().sync().World(ped, bone);
}

bool IkHandle::DriverBonePosition(BoneId bone, Vector3& out) const {
    return runtime().solver().sync().Position(ped, bone, out);
}

Quaternion* IkHandle::SlotToWrite(NodeIndex node) const {
    Quaternion* slot = BoneRotationSlot(host(), ped, node);
    if (slot != nullptr) runtime().solver().sync().Written(ped, node);
    return slot;
}

void IkHandle::SetDriverBoneWorldRotation(BoneId bone, float blend, const FrameMatrix& target,
                                          const Quaternion* near) const {
    if (ped == nullptr || !(blend > 0.0f)) return;
    SkeletonSync& sync = runtime().solver().sync();
    const FrameMatrix* parent = sync.World(ped, ParentBoneId(bone));
    Quaternion* slot = BoneRotationSlot(host(), ped, BoneIdToNode(bone));
    if (parent == nullptr || slot == nullptr) return;
    WriteBoneWorldRotation(*slot, *parent, blend, target, near);
    sync.Written(ped, BoneIdToNode(bone));
}

const Quaternion* IkHandle::LastPose(NodeIndex node) const {
    return rig != nullptr ? rig->LastPose(ped, node) : nullptr;
}

Vector3 IkHandle::TurnedWithControl(const Vector3& point, const FrameMatrix& control, float degrees) {
    if (!IsFinite(degrees) || degrees == 0.0f) return point;
    FrameMatrix atRest = control;
    RotateFrame(atRest, AxisX, -degrees, Combine::Local);
    const Vector3 carried = TransformPoint(InverseTransformPoint(point, atRest), control);
    return IsFinite(carried) ? carried : point;
}

void IkHandle::TurnFrameFromRest(FrameSlot& slot, const Vector3& axis, float degrees) {
    if (slot.frame == nullptr || !IsFinite(degrees)) return;
    FrameMatrix* modelling = host().FrameModelling(slot.frame);
    if (modelling == nullptr) return;
    KeptFrameTurn& kept = slot.lastTurn;
    const FrameMatrix& rest = slot.restMatrix;
    if (!kept.valid || !SameBits(kept.degrees, degrees) || !SameBits(kept.axis, axis) ||
        !SameBits(kept.restRight, rest.right) || !SameBits(kept.restUp, rest.up) ||
        !SameBits(kept.restAt, rest.at)) {
        FrameMatrix turned = rest;
        RotateFrame(turned, axis, degrees, Combine::Local);
        if (!IsFinite(turned)) return;
        kept = {rest.right, rest.up, rest.at, axis, degrees, turned.right, turned.up, turned.at, true};
    }
    // Written every frame all the same: the game may have posed the frame.
    modelling->right = kept.right;
    modelling->up = kept.up;
    modelling->at = kept.at;
}

// ---- steps of the two-wheeler handles ----------------------------------------

bool IkHandle::ControlFrameWorld(FrameMatrix& out) const {
    const FrameMatrix* world = frameA.frame != nullptr ? host().FrameWorld(frameA.frame) : nullptr;
    if (world == nullptr || !IsFinite(*world)) return false;
    out = *world;
    return true;
}

bool IkHandle::BikeBodyWorld(FrameMatrix& out) const {
    if (vehicle == nullptr) return false;
    Host& h = host();
    HostFrame* bodyFrame = h.BikeBodyFrame(vehicle);
    const FrameMatrix* body = bodyFrame != nullptr ? h.FrameWorld(bodyFrame) : nullptr;
    if (body == nullptr) body = h.VehicleMatrix(vehicle);
    if (body == nullptr || !IsFinite(*body)) return false;
    out = *body;
    return true;
}

float IkHandle::BikeLean() const {
    if (vehicle == nullptr) return 0.0f;
    const float lean = host().ReadVehicleState(vehicle).lean;
    return IsFinite(lean) ? lean : 0.0f;
}

float IkHandle::LeanRelease(float weight, float side, float lean) {
    const bool leaningAway = side > 0.0f ? lean > 0.0f : lean < 0.0f;
    // A lean past full would turn the weight negative; it stops at 0.
    return leaningAway ? Clamp((1.0f - std::fabs(lean)) * weight, 0.0f, 1.0f) : weight;
}

void IkHandle::AimFoot(NodeIndex node, const Vector3& dir, float blend) {
    const FrameMatrix* pelvis = ped != nullptr ? DriverBone(kPelvisBone) : nullptr;
    if (pelvis == nullptr || !IsFinite(dir) || dir.IsZero()) return;
    FrameMatrix m;
    m.up = dir;
    m.at = NormalizedCopy(pelvis->at);
    m.right = NormalizedCopy(Cross(m.at, m.up));
    m.at = NormalizedCopy(Cross(m.right, m.up));
    // A pelvis axis along the aim leaves no roll to go by: no turn.
    if (m.right.IsZero() || !IsFinite(m)) return;
    SetDriverBoneWorldRotation(NodeToBoneId(node), blend, m, LastPose(node));
}

bool IkHandle::ReadSpine(SpinePoints& out) const {
    if (ped == nullptr) return false;
    // The neck first: a refresh it needs serves the others too.
    const FrameMatrix* neck = DriverBone(kNeckBone);
    const FrameMatrix* base = DriverBone(kSpineBaseBone);
    const FrameMatrix* upper = DriverBone(kUpperSpineBone);
    if (base == nullptr || upper == nullptr || neck == nullptr ||
        !DriverBonePosition(kRootBone, out.root)) {
        return false;
    }
    out.base = base->pos;
    out.baseUp = base->up;
    out.upper = upper->pos;
    out.neckUp = neck->up;
    return true;
}

void IkHandle::LevelHead(const Vector3& oldNeckUp, float blend) {
    const FrameMatrix* neck = DriverBone(kNeckBone);
    Quaternion* neckSlot = SlotToWrite(kNeckNode);
    if (neck == nullptr || neckSlot == nullptr) return;
    // phi is 90 degrees less the angle the bend tipped the neck; turning by
    // 90 - phi would tip the head as far again, so the turn is phi - 90.
    const Vector3 newUp = neck->up;
    const Vector3 c = Cross(oldNeckUp, newUp);
    const float phi = Atan2(Dot(oldNeckUp, newUp), Dot(neck->at, c));
    Quaternion turned = *neckSlot;
    RotateQuaternion(turned, AxisZ, phi * kRadToDeg - 90.0f, Combine::Local);
    WriteBoneRotation(*neckSlot, turned, blend);
}

// ---- section text -------------------------------------------------------------

void IkHandle::WriteSection(std::string& out, const char* name) {
    out += '[';
    out += name;
    out += "]\n";
}

void IkHandle::WriteNumber(std::string& out, const char* key, float value) {
    out += key;
    out += " = ";
    out += formatNumber(value);
    out += '\n';
}

std::string IkHandle::FormatVector(const Vector3& value) {
    return formatNumber(value.x) + ", " + formatNumber(value.y) + ", " + formatNumber(value.z);
}

void IkHandle::WriteVector(std::string& out, const char* key, const Vector3& value) {
    out += key;
    out += " = ";
    out += FormatVector(value);
    out += '\n';
}

void IkHandle::WriteFlag(std::string& out, const char* key, bool value) {
    out += key;
    out += value ? " = 1\n" : " = 0\n";
}

void IkHandle::WriteInteger(std::string& out, const char* key, long long value) {
    out += key;
    out += " = ";
    out += formatInteger(value);
    out += '\n';
}

// ---- finding the control frames ----------------------------------------------

namespace {

// The model's frames below the root, depth first, each before its children.
void CollectFrames(Host& host, HostFrame* parent, std::vector<HostFrame*>& out) {
    for (HostFrame* child = host.FrameFirstChild(parent); child != nullptr;
         child = host.FrameNextSibling(child)) {
        out.push_back(child);
        CollectFrames(host, child, out);
    }
}

void MeasureRestAngles(FrameSlot& slot) {
    const FrameMatrix& m = slot.restMatrix;
    const float s = Clamp(m.up.z, -1.0f, 1.0f);
    const float a1 = -std::asin(s);
    float a2 = 0.0f;
    float a3 = 0.0f;
    if (std::fabs(std::cos(a1)) > 0.000001f) {
        a2 = Atan2(m.right.z, m.at.z);
        a3 = Atan2(m.up.x, m.up.y);
    } else {
        a2 = Atan2(m.right.y, m.right.x);
        if (s >= 0.0f) a2 = -a2;
    }
    slot.restAngles = Vector3{a1, a2, a3} * kRadToDeg;
    slot.flippedY = std::fabs(std::fabs(slot.restAngles.y) - 180.0f) <= 10.0f;
    slot.flippedZ = std::fabs(std::fabs(slot.restAngles.z) - 180.0f) <= 10.0f;
    slot.unrotated = slot.restAngles.IsZero();
}

void MeasureBox(Host& host, FrameSlot& slot) {
    slot.atomic = host.FrameRenderable(slot.frame);
    const int count = slot.atomic ? host.RenderableVertexCount(slot.atomic) : 0;
    const Vector3* vertices = slot.atomic ? host.RenderableVertices(slot.atomic) : nullptr;
    slot.boxMax = {};
    slot.boxMin = {};
    if (count > 0 && vertices != nullptr) {
        Vector3 hi{0.0f, 0.0f, 0.0f};
        Vector3 lo{10000.0f, 10000.0f, 10000.0f};
        for (int i = 0; i < count; ++i) {
            const Vector3& v = vertices[i];
            if (!IsFinite(v)) continue;  // a broken vertex must not spoil the box
            hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
            lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
        }
        slot.boxMax = hi;
        slot.boxMin = lo;
    }
    slot.reachY = std::fabs(slot.boxMin.y) > slot.boxMax.y ? slot.boxMin.y : slot.boxMax.y;
}

Vector3 PedalOffset(const FrameSlot& slot) {
    const float my = slot.boxMin.y;
    const float mz = slot.boxMin.z;
    const float topZ = slot.boxMax.z;
    if (slot.unrotated && slot.flippedY) return {0.0f, my * 1.5f, 0.0f};
    if (slot.unrotated) return {0.0f, 2.0f * my, mz * 0.9f};
    if (slot.flippedZ) return {0.0f, my * 0.3f, topZ * 3.75f};
    return {0.0f, my * 1.1f, topZ * 4.0f};
}

}  // namespace

bool IkHandle::FindFrames() {
    if (type == KindCode(HandleKind::SeatJiggle)) {
        frameA.found = vehicle != nullptr &&
                       host().ModelVehicleType(host().VehicleModelId(vehicle)) == kVehicleTypeMotorbike &&
                       rig != nullptr && rig->pegIk != nullptr;
        return frameA.found;
    }
    if (!IsHandleKindCode(type)) return false;
    const bool found = LocateFrame(frameA, CabinIk::ControlFrameNames(static_cast<HandleKind>(type)),
                                   grabOffset);
    if (type == KindCode(HandleKind::GasPedal)) {
        static constexpr const char* kBrake[] = {"ik_brake"};
        LocateFrame(frameB, kBrake, secondOffset);
    }
    return found;
}

bool IkHandle::LocateFrame(FrameSlot& slot, std::span<const char* const> names, Vector3& offset) {
    slot.Clear();
    slot.owner = this;
    if (vehicle == nullptr) return false;
    Host& h = host();
    std::vector<HostFrame*> frames;
    CollectFrames(h, h.VehicleRootFrame(vehicle), frames);
    for (const char* name : names) {
        for (HostFrame* frame : frames) {
            if (std::string_view(h.FrameName(frame)).find(name) != std::string_view::npos) {
                slot.frame = frame;
                break;
            }
        }
        if (slot.frame != nullptr) break;
    }
    if (slot.frame == nullptr) return false;

    if (const FrameMatrix* modelling = h.FrameModelling(slot.frame)) slot.restMatrix = *modelling;
    MeasureRestAngles(slot);
    MeasureBox(h, slot);
    slot.found = true;
    if (auto* shift = dynamic_cast<BikeShiftIk*>(this)) {
        shift->leftSide = slot.restMatrix.pos.x < 0.0f;
    }
    if (offset.IsZero()) DefaultOffset(slot, offset);
    return slot.found;
}

void IkHandle::DefaultOffset(FrameSlot& slot, Vector3& offset) {
    const Vector3 p = slot.restMatrix.pos;
    switch (static_cast<HandleKind>(type)) {
        case HandleKind::Gear: offset = {0.0f, -0.05f, slot.boxMax.z}; break;
        case HandleKind::Steer: offset = {slot.boxMax.x, 0.0f, slot.boxMax.x}; break;
        case HandleKind::HandBrake:
            if (isBike != 0) {
                offset = {0.0f, 0.03f, 0.0f};
                maxAngle = 30.0f;
            } else {
                offset = {0.0f, slot.boxMax.y * 0.85f, 0.03f};
            }
            break;
        case HandleKind::Bar: {
            const Vector3 bar = host().ModelHandlebarPosition(host().VehicleModelId(vehicle));
            if (bar.IsZero()) {
                slot.found = false;  // nothing to grip without the model's handlebar
                break;
            }
            offset = bar - p;
            offset.x = bar.x;
            offset.y += 0.025f;
            offset.z *= 1.1f;
            break;
        }
        case HandleKind::GasPedal: offset = PedalOffset(slot); break;
        case HandleKind::ClutchPedal:
            if (isBike == 0) offset = PedalOffset(slot);
            break;
        case HandleKind::Peg: offset = {std::fabs(p.x), p.y, p.z + 0.1f}; break;
        case HandleKind::BikeShift: offset = {0.0f, 0.03f, 0.0f}; break;
        case HandleKind::SeatJiggle: break;
    }
}

}  // namespace kovra
