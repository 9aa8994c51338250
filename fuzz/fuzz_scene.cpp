// The vehicle scene reader: any text either loads as a model that passes
// validation or is refused with a message naming the source; a model the
// writer takes writes as text that loads and writes again unchanged.
#include <string>

#include "FuzzSupport.h"
#include "sim/SceneFile.h"

using kovra::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    std::string error;
    const auto model = kovra::sim::ParseVehicleScene(kovra::fuzz::AsText(data, size), "fuzz", &error);
    if (!model) {
        Require(error.rfind("fuzz:", 0) == 0, "a refusal does not name the source: " + error);
        return 0;
    }
    Require(model->Validate(), "a loaded model does not validate");
    const std::string written = kovra::sim::WriteVehicleScene(*model, &error);
    if (written.empty()) return 0;
    const auto again = kovra::sim::ParseVehicleScene(written, "written", &error);
    Require(again.has_value(), "a written scene does not load: " + error);
    Require(kovra::sim::WriteVehicleScene(*again) == written, "a written scene writes differently");
    return 0;
}
