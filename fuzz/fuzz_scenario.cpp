// The scenario reader: any text either loads as a scenario within the
// format's limits, whose inputs are finite at every frame, or is refused with
// a message naming the source. Scene names resolve against the built-in
// scenes.
#include <cmath>
#include <string>

#include "FuzzSupport.h"
#include "sim/Scenario.h"

using kovra::fuzz::Require;
using kovra::sim::Scenario;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    std::string error;
    const std::filesystem::path scenes = kovra::sim::BuiltInScenesDirectory();
    const auto scenario = Scenario::Parse(kovra::fuzz::AsText(data, size), "fuzz", scenes, &error, scenes);
    if (!scenario) {
        Require(error.rfind("fuzz:", 0) == 0 || error.find(": ") != std::string::npos,
                "a refusal gives no place: " + error);
        return 0;
    }
    Require(scenario->frameCount > 0 && scenario->frameCount <= kovra::sim::kMaxScenarioFrames,
            "frame count out of range");
    Require(scenario->vehicles.size() <= kovra::sim::kMaxScenarioVehicles, "too many vehicles");
    int previous = -1;
    for (const int frame : scenario->pictureFrames) {
        Require(frame > previous && frame < scenario->frameCount, "picture frames out of order or range");
        previous = frame;
    }
    for (std::size_t v = 0; v < scenario->vehicles.size(); ++v) {
        Require(scenario->vehicles[v].model.Validate(), "a vehicle's model does not validate");
        for (const int frame : {0, scenario->frameCount / 2, scenario->frameCount - 1}) {
            const kovra::VehicleState s = scenario->InputsAt(static_cast<int>(v), frame);
            for (const float value : {s.steerAngle, s.gasPedal, s.brakePedal, s.speed, s.lean}) {
                Require(std::isfinite(value), "an input is not finite");
            }
        }
    }
    return 0;
}
