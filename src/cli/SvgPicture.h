#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "kovra/ik/FrameMatrix.h"
#include "kovra/ik/Skeleton.h"
#include "kovra/ik/Vector3.h"

struct CPed;
struct CVehicle;

namespace kovra::sim {
class SimHost;
}

namespace kovra::cli {

// Everything a picture shows, in world space, copied out of a run so that
// drawing needs neither the host nor the plugin.
struct PictureSnapshot {
    // One bone: from its parent's joint to its own joint (the joint of
    // `node`, a NodeIndex of the driver's skeleton).
    struct Bone {
        NodeIndex node = 0;
        Vector3 from;
        Vector3 to;
    };
    // A frame of the vehicle model: name, world matrix and, when the frame
    // has a renderable, the box of its vertices in the frame's own space.
    struct Control {
        std::string name;
        FrameMatrix world;
        bool hasBox = false;
        Vector3 boxMin;
        Vector3 boxMax;
    };
    // A debug line; colour as the game takes it, 0xAABBGGRR.
    struct Line {
        Vector3 from;
        Vector3 to;
        std::uint32_t colour = 0xffffffffu;
    };

    std::string title;
    std::string subtitle;  // optional second line under the title
    FrameMatrix vehicleWorld;
    std::vector<Bone> bones;
    std::vector<Control> controls;
    std::vector<Line> lines;
};

// One SVG document with a side view (forward to the right, up), a view from
// behind and a top view, all in the vehicle's space at one scale, with a
// 0.1 m grid, the frames' names, a scale bar and a legend. The text depends
// only on the snapshot: numbers are written without the process locale and
// nothing non-finite is drawn.
std::string RenderSvg(const PictureSnapshot& snapshot);

// Writes RenderSvg's text through a temporary file; false, with the reason
// in *error, when the file cannot be written.
bool WriteSvg(const PictureSnapshot& snapshot, const std::filesystem::path& path,
              std::string* error = nullptr);

// Copies a picture's contents out of the simulated game: the vehicle's
// matrix, every frame of its model (in the order the rig collects them)
// with its box, the driver's bones when a skinned driver is given, and the
// debug lines the host has drawn since its records were last cleared.
PictureSnapshot CaptureSnapshot(sim::SimHost& host, CVehicle* vehicle, CPed* driver,
                                std::string title);

}  // namespace kovra::cli
