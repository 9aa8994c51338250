#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "kovra/ik/Quaternion.h"
#include "kovra/ik/Skeleton.h"
#include "kovra/ik/Vector3.h"
#include "sim/VehicleModel.h"

struct CPed;
struct CVehicle;

namespace kovra {
class CabinIk;
}
namespace kovra::sim {
class SimHost;
}

namespace kovra::cli {

// A glTF file's binary, and all the files of one run together, may be at
// most this large; longer runs are refused before they start.
inline constexpr std::size_t kMaxGlbBytes = std::size_t{1} << 30;

// One vehicle of a run as a glTF 2.0 binary (.glb): the vehicle's frames as
// nodes under a node that stands for the vehicle and carries its record in
// its extras (so the file reads back as a vehicle scene), their renderables
// as meshes, the driver's 32 bones as a node hierarchy with a box per limb,
// and one animation that holds, for every frame captured, every bone's
// rotation, the rotation of every control frame (and of any other frame the
// game turned) and the driver's seat, offset included. Everything is in the
// vehicle's space, converted to glTF's axes (sim::SwapGameGltfAxes); frame N
// plays at N x time step x 20 ms, the game's clock. docs/scenes.md has the
// layout.
class GltfExport {
public:
    // timeStep: the run's time step, which sets the animation's clock.
    GltfExport(sim::VehicleModel model, std::string title, float timeStep = 1.0f);

    // One frame of the run, after the game's frame: the vehicle's frame
    // rotations, the driver's bone rotations and seat (a null or unskinned
    // driver: none this frame; the previous frame's are kept) and, from the
    // rig when given, which frames are control frames.
    void Capture(sim::SimHost& host, CVehicle* vehicle, CPed* driver, const CabinIk* rig);
    int FrameCount() const { return frames_; }
    // The bytes a run of this many frames would take at most, for refusing a
    // run that cannot be written.
    static std::uint64_t EstimatedBytes(const sim::VehicleModel& model, int frames);

    // The .glb; empty, with the reason in *error, when it would be too large.
    std::vector<unsigned char> Glb(std::string* error = nullptr) const;
    // The names of the model's frames that a handle bound as control frames.
    std::vector<std::string> ControlFrameNames() const;
    // Writes it through a temporary file.
    bool Save(const std::filesystem::path& path, std::string* error = nullptr) const;

private:
    sim::VehicleModel model_;
    std::string title_;
    float timeStep_ = 1.0f;
    int frames_ = 0;
    bool hasDriver_ = false;
    std::vector<bool> control_;               // per model frame
    std::vector<Quaternion> frameRotations_;  // per captured frame, model frames in order
    std::vector<Quaternion> boneRotations_;   // per captured frame, 32 nodes
    std::vector<Vector3> seats_;              // per captured frame, vehicle space
    std::array<Vector3, kNodeCount> boneTranslations_{};
};

// A unit quaternion in glTF's axes (x, y, z, w), on the same side as
// `previous` (when given) so that an interpolating viewer takes the short way
// between frames.
std::array<double, 4> GltfRotation(const Quaternion& game, const std::array<double, 4>* previous = nullptr);

// Writes a .glb's bytes through a temporary file.
bool SaveGlb(const std::vector<unsigned char>& bytes, const std::filesystem::path& path,
             std::string* error = nullptr);

// The vehicle model alone, as a modelling tool takes it: no driver and no
// animation. It reads back as the same vehicle scene.
std::vector<unsigned char> GltfModelBytes(const sim::VehicleModel& model);
bool SaveGltfModel(const sim::VehicleModel& model, const std::filesystem::path& path,
                   std::string* error = nullptr);

}  // namespace kovra::cli
