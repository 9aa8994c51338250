#include "kovra/handles/bike/PegIk.h"

#include <typeinfo>

#include "kovra/host/Runtime.h"

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

std::string PegIk::WriteConfig() const {
    std::string out;
    WriteSection(out, "PegIK");
    WriteVector(out, "GrabOffset", grabOffset);
    WriteVector(out, "FootAngle", endAngles);
    WriteNumber(out, "BendAngle", bendAngle);
    return out;
}

}  // namespace kovra
