#include "kovra/handles/car/SteerIk.h"

#include <typeinfo>

#include "kovra/host/Runtime.h"

namespace kovra {

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
