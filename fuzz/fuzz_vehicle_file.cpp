// The per-vehicle file: whatever the file holds, reading it never crashes;
// the templates it fills write out as a file that reads back to the same
// templates; and a rig built from them poses its driver soundly frame after
// frame.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "PoseCheck.h"
#include "kovra/config/NumberFormat.h"
#include "kovra/config/VehicleConfigFile.h"
#include "kovra/config/VehicleConfigRecord.h"
#include "kovra/host/Runtime.h"
#include "sim/SceneFile.h"
#include "sim/SimHost.h"

namespace {

using kovra::fuzz::Require;

constexpr int kFrames = 25;
constexpr const char* kScenes[] = {"sedan.vehicle", "motorbike.vehicle", "bicycle.vehicle"};

std::string TemplatesAsFile(const kovra::VehicleConfigRecord& record) {
    std::string text = "[Kovra_Vehicle]\nFileVer = 1\nModelID = " + kovra::formatInteger(record.modelId) + "\n\n";
    for (const kovra::IkHandle* handle : record.templates) text += handle->WriteConfig() + "\n";
    return text;
}

// The templates as written, read back by a runtime of their own.
void CheckTemplatesRoundTrip(const kovra::VehicleConfigRecord& record, bool exportGears) {
    const std::string written = TemplatesAsFile(record);
    kovra::sim::SimHost host;
    kovra::Runtime runtime(host);
    runtime.store().exportGears = exportGears;
    const auto path = kovra::fuzz::WriteScratchFile("again.ini", written);
    const kovra::VehicleConfigRecord* again = kovra::ReadVehicleConfig(runtime, path, false);
    Require(again != nullptr, "the written templates do not load");
    Require(TemplatesAsFile(*again) == written, "the written templates read back differently:\n" + written +
                                                    "---\n" + TemplatesAsFile(*again));
}

void CheckRigPoses(kovra::sim::SimHost& host, int modelId, const unsigned char* data,
                   std::size_t size) {
    if (modelId < 0) return;  // no vehicle model can carry it
    const char* scene = kScenes[static_cast<unsigned>(modelId) % std::size(kScenes)];
    if (!host.AddVehicleModel(kovra::sim::BuiltInVehicle(scene, modelId))) return;
    CVehicle* vehicle = host.CreateVehicle(modelId);
    CPed* driver = host.CreatePed();
    host.SeatPed(driver, vehicle, true);
    host.SetPlayer(driver);
    for (int frame = 0; frame < kFrames; ++frame) {
        // The input's bytes, from the end, drive the controls.
        const auto byte = [&](std::size_t k) {
            const std::size_t i = static_cast<std::size_t>(frame) * 4 + k;
            return i < size ? static_cast<float>(data[size - 1 - i]) / 255.0f : 0.5f;
        };
        kovra::VehicleState& s = vehicle->state;
        s.steerAngle = byte(0) * 1.2f - 0.6f;
        s.gasPedal = byte(1);
        s.brakePedal = 1.0f - byte(1);
        s.gear = static_cast<int>(byte(2) * 6.0f);
        s.handBrake = byte(3) > 0.8f;
        s.lean = byte(3) * 2.0f - 1.0f;
        s.barAngle = s.steerAngle;
        host.RunFrame();
        const std::string fault = kovra::test::PoseFault(host, vehicle, driver);
        Require(fault.empty(), std::string(scene) + ", frame " + std::to_string(frame) + ": " + fault);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const auto path = kovra::fuzz::WriteScratchFile("vehicle.ini", kovra::fuzz::AsText(data, size));
    kovra::sim::SimHost host;
    host.SetGameDirectory(kovra::fuzz::ScratchFolder().string());
    host.SetPluginDirectory(kovra::fuzz::ScratchFolder().string());
    kovra::Runtime runtime(host);
    const bool exportGears = size % 2 == 0;
    runtime.store().exportGears = exportGears;
    kovra::VehicleConfigRecord* record = kovra::ReadVehicleConfig(runtime, path, false);
    if (record == nullptr) return 0;
    CheckTemplatesRoundTrip(*record, exportGears);
    CheckRigPoses(host, record->modelId, data, size);
    return 0;
}
