#include "kovra/handles/bike/BarIk.h"

#include <typeinfo>

#include "kovra/host/Runtime.h"

namespace kovra {

BarIk::BarIk(Runtime& runtime) : IkHandle(runtime) {
    disabled = !settings().Allow_Bar;
    doSpinePush = true;
    heightFactor = 0.75f;
    bendAngle = -70.0f;
}

void BarIk::ApplyModelDefaults() {
    if (vehicle == nullptr) return;
    switch (VehicleAnimGroup()) {
        case 4:
        case 8:
            heightFactor = 0.6f;
            bendAngle = -35.0f;
            break;
        case 5:
            bendAngle = -25.0f;
            break;
        case 6:
            heightFactor = 0.7f;
            bendAngle = -30.0f;
            break;
        case 9:
            heightFactor = 1.0f;
            bendAngle = -40.0f;
            armFactor = 1.3f;
            break;
        case 10:
            heightFactor = 1.0f;
            bendAngle = -40.0f;
            break;
        case 11:
            heightFactor = 0.8f;
            bendAngle = -25.0f;
            armFactor = 1.18f;
            break;
        default:
            heightFactor = 0.8f;
            break;
    }
}

void BarIk::CopyFrom(const IkHandle* other) {
    if (other == nullptr || typeid(*other) != typeid(BarIk)) return;
    CopyBaseFrom(*other);
}

std::string BarIk::WriteConfig() const {
    std::string out;
    WriteSection(out, "HandlebarIK");
    WriteVector(out, "GrabOffset", grabOffset);
    WriteNumber(out, "BendAngle", bendAngle);
    WriteFlag(out, "DoSpinePush", doSpinePush);
    WriteNumber(out, "HeightFactor", heightFactor);
    WriteNumber(out, "ArmFactor", armFactor);
    return out;
}

}  // namespace kovra
