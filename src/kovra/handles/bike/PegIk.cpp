#include "kovra/handles/bike/PegIk.h"

#include <typeinfo>

#include "kovra/host/Runtime.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"

namespace kovra {

PegIk::PegIk(Runtime& runtime) : IkHandle(runtime) {
    disabled = !settings().Allow_Peg;
    if (settings().Allow_Peg) bendAngle = 70.0f;
}

void PegIk::ApplyModelDefaults() {
    if (vehicle == nullptr) return;
    switch (VehicleAnimGroup()) {
        case 4:
            endAngles = {-40.0f, 0.0f, 0.0f};
            break;
        case 5:
            bendAngle = 85.0f;
            break;
        default:
            bendAngle = 70.0f;
            break;
    }
}

void PegIk::CopyFrom(const IkHandle* other) {
    if (other == nullptr || typeid(*other) != typeid(PegIk)) return;
    CopyBaseFrom(*other);
}

void PegIk::Update() {
    if (vehicle == nullptr || ped == nullptr) return;
    FrameMatrix body;
    if (!BikeBodyWorld(body)) return;
    const float lean = BikeLean();
    PlaceFoot(1.0f, kRightFootNode, body, lean);
    PlaceFoot(-1.0f, kLeftFootNode, body, lean);
}

Vector3 PegIk::KneeBend(float side, const FrameMatrix& body) const {
    const Vector3 inwards = body.right * -side;
    if (bendAngle == 0.0f) return inwards;
    return RotateAboutAxis(inwards, NormalizedCopy(body.at), bendAngle * side * kDegToRad);
}

void PegIk::PlaceFoot(float side, NodeIndex node, const FrameMatrix& body, float lean) {
    const float w = LeanRelease(Clamp(RigWeight(node), 0.0f, 1.0f), side, lean);
    const Vector3 target = TransformPoint({grabOffset.x * side, grabOffset.y, grabOffset.z}, body);
    if (IsFinite(target)) {
        SolveLimbTo(node, target, KneeBend(side, body), w);
    }
    ApplyEndRotation(node, w, side);
}

std::string PegIk::WriteConfig() const {
    std::string out;
    WriteSection(out, "PegIK");
    WriteVector(out, "GrabOffset", grabOffset);
    WriteVector(out, "FootAngle", endAngles);
    WriteNumber(out, "BendAngle", bendAngle);
    return out;
}

}  // namespace kovra
