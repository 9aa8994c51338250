// The glTF model reader: any bytes either give frames a vehicle can be built
// from or are refused with a message naming the source. Buffer files are
// looked for in a folder that holds none, so only the input itself is read.
#include <span>
#include <string>

#include "FuzzSupport.h"
#include "sim/GltfScene.h"

using kovra::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    std::string error;
    const auto gltf = kovra::sim::ParseGltfModel(std::span<const unsigned char>(data, size), "fuzz",
                                                 kovra::fuzz::ScratchFolder() / "none", &error);
    if (!gltf) {
        Require(error.rfind("fuzz: ", 0) == 0, "a refusal does not name the source: " + error);
        return 0;
    }
    kovra::sim::VehicleModel model;
    model.id = 1;
    model.frames = gltf->frames;
    Require(model.Validate(&error), "read frames do not validate: " + error);
    return 0;
}
