#include "cli/LimbReach.h"

#include <algorithm>

#include "kovra/host/Runtime.h"
#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/Geometry.h"
#include "sim/SimHost.h"

namespace kovra::cli {

namespace {

struct LimbSpec {
    const char* name;
    NodeIndex end;
};

constexpr LimbSpec kLimbs[] = {{"right hand", kRightHandNode},
                               {"left hand", kLeftHandNode},
                               {"right foot", kRightFootNode},
                               {"left foot", kLeftFootNode}};

Vector3 NodePosition(Host& host, CPed* ped, NodeIndex node) {
    Vector3 pos;
    BonePosition(host, ped, NodeToBoneId(node), pos);
    return pos;
}

}  // namespace

std::vector<LimbReachResult> MeasureLimbReach(const LimbReachOptions& options) {
    sim::SimHost host;
    Runtime runtime(host);
    const sim::VehicleModel sedan = sim::MakeSedanModel();
    host.AddVehicleModel(sedan);
    CVehicle* car = host.CreateVehicle(sedan.id);
    CPed* driver = host.CreatePed();
    host.SeatPed(driver, car, true);
    const FrameMatrix carWorld = *host.VehicleMatrix(car);

    std::vector<LimbReachResult> results;
    const int n = std::max(0, options.stepsPerAxis);
    for (const LimbSpec& limb : kLimbs) {
        LimbReachResult result;
        result.limb = limb.name;
        result.endNode = limb.end;
        host.AnimatePed(driver);
        const NodeIndex mid = ParentNode(limb.end);
        const Vector3 restEnd = NodePosition(host, driver, limb.end);
        const Vector3 start = NodePosition(host, driver, ParentNode(mid));
        const float length = Distance(start, NodePosition(host, driver, mid)) +
                             Distance(NodePosition(host, driver, mid), restEnd);
        double errorSum = 0.0;
        for (int i = -n; i <= n; ++i) {
            for (int j = -n; j <= n; ++j) {
                for (int k = -n; k <= n; ++k) {
                    const Vector3 offset{static_cast<float>(i), static_cast<float>(j),
                                         static_cast<float>(k)};
                    const Vector3 target =
                        restEnd + TransformVector(offset * options.spacing, carWorld);
                    if (Distance(target, start) > length * options.reachFraction) continue;
                    host.AnimatePed(driver);
                    if (runtime.solver().SolveLimb(driver, target, limb.end, {}, 1.0f)) {
                        ++result.reached;
                    }
                    RefreshBoneMatrices(host, driver);
                    const float error = Distance(NodePosition(host, driver, limb.end), target);
                    result.maxError = std::max(result.maxError, error);
                    errorSum += error;
                    ++result.targets;
                }
            }
        }
        if (result.targets > 0) result.meanError = static_cast<float>(errorSum / result.targets);
        results.push_back(result);
    }
    return results;
}

}  // namespace kovra::cli
