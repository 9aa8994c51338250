#include "kovra/handles/car/IkHandle.h"

#include "kovra/config/NumberFormat.h"
#include "kovra/host/Runtime.h"
#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/EaseCurve.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"

namespace kovra {
namespace {

bool IsNode(NodeIndex node) { return node >= 0 && node < kNodeCount; }

}  // namespace

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
        if (ped == nullptr) return;
        RefreshBoneMatrices(host(), ped);
        if (!BonePosition(host(), ped, NodeToBoneId(node), start)) return;
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

void IkHandle::DepositNodeOffset(NodeIndex node, const Vector3& position) {
    if (rig == nullptr || !IsNode(node) || !IsFinite(position)) return;
    rig->nodeOffsets[node] = position;
}

Quaternion IkHandle::EndRotation(float signX) const {
    Quaternion q;
    RotateQuaternion(q, AxisX, endAngles.x * signX, Combine::Replace);
    RotateQuaternion(q, AxisY, endAngles.y, Combine::Local);
    RotateQuaternion(q, AxisZ, endAngles.z, Combine::Local);
    return q;
}

void IkHandle::ApplyEndRotation(NodeIndex node, float blend, float signX) {
    Quaternion* slot = BoneRotationSlot(host(), ped, node);
    if (slot == nullptr) return;
    WriteBoneRotation(*slot, EndRotation(signX), blend);
}

void IkHandle::TurnFrameFromRest(FrameSlot& slot, const Vector3& axis, float degrees) {
    if (slot.frame == nullptr || !IsFinite(degrees)) return;
    FrameMatrix* modelling = host().FrameModelling(slot.frame);
    if (modelling == nullptr) return;
    FrameMatrix turned = slot.restMatrix;
    RotateFrame(turned, axis, degrees, Combine::Local);
    if (!IsFinite(turned)) return;
    modelling->right = turned.right;
    modelling->up = turned.up;
    modelling->at = turned.at;
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

}  // namespace kovra
