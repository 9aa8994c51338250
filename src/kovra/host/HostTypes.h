#pragma once

#include <cstdint>

#include "kovra/ik/Quaternion.h"
#include "kovra/ik/Vector3.h"

// Opaque handles of the host's objects. The plugin never looks inside them;
// every question about one goes through the Host interface.
struct CPed;
struct CVehicle;
struct CBike;
struct CAEVehicleAudioEntity;
struct cVehicleParams;

namespace kovra {

struct HostFrame;        // a node of a model instance's frame hierarchy
struct HostRenderable;   // a renderable object attached to a frame
struct HostAnimation;    // a running animation on a character

// Host vehicle-type codes of the model records.
inline constexpr int kVehicleTypeCar = 0;
inline constexpr int kVehicleTypeMotorbike = 9;
inline constexpr int kVehicleTypeBicycle = 10;

// Host character state code of a character driving its vehicle.
inline constexpr int kPedStateDriving = 50;

// The host's per-node animation frame: it begins with the node's local
// rotation, which is what the plugin writes to pose a bone.
struct BoneFrame {
    Quaternion rotation;
    Vector3 translation;
};

// One reading of the vehicle values the handles and the rig use.
struct VehicleState {
    float steerAngle = 0.0f;      // front-wheel steer angle, radians
    float gasPedal = 0.0f;        // 0..1
    float brakePedal = 0.0f;      // 0..1
    bool handBrake = false;
    int gear = 0;                 // host transmission gear, 0 = reverse/neutral
    std::uint8_t stateByte = 0;   // host vehicle state (6 = idle-like state)
    std::int32_t audioValue = 0;  // host value tested only for zero by the audio gear
    std::uint8_t audioFlags = 0;  // bit 5 (32): the engine sound changed gear
    float speed = 0.0f;           // forward speed, host units per time step
    Vector3 moveSpeed;            // velocity, world units per time step
    float lean = 0.0f;            // bike's signed lean, -1..1
    int wheelsOnGround = 0;       // bike's wheel-contact count
    float barAngle = 0.0f;        // bike steering angle, radians
    int animGroup = 0;            // handling record: driving-animation group
    float leanLimit = 0.0f;       // handling record: lean limit
};

inline constexpr std::uint8_t kAudioGearChangeBit = 32;

enum class TaskSlotKind : int { Primary = 0, Secondary = 1 };

// A value passed to or returned from a host script command.
struct ScriptArg {
    enum class Kind : int { Int, Float } kind = Kind::Int;
    std::int32_t i = 0;
    float f = 0.0f;
};

// Four bytes in memory order red, green, blue, alpha (0xAABBGGRR as a
// little-endian constant).
using Colour = std::uint32_t;

struct LineVertex {
    Vector3 pos;
    Colour colour = 0;
};

enum class TextAlign : int { Left = 0, Centre = 1, Right = 2 };

struct TextStyle {
    float scaleX = 1.0f;
    float scaleY = 2.0f;
    Colour colour = 0xffffffffu;
    TextAlign align = TextAlign::Left;
    bool background = false;
    float wrapWidth = 2000.0f;
    int font = 1;
    bool proportional = true;
    int shadow = 1;  // shadow offset in pixels, 0 for none
    Colour shadowColour = 0xff000000u;
};

// The host events the plugin attaches to (each installs its own call-site
// hooks on first subscription), plus the extension slot's three sites.
enum class HostEvent : int {
    EngineReady,
    PedIk,
    PedHead,
    VehicleProcess,
    VehicleFrameEnd,
    Frame,
    OverlayB,
    SeatPlacement,
    BikeProcess,
    VehicleAudioGear,
    VehicleCreated,
    VehicleDestroyed,
    VehiclePoolCreated,
    Count
};

}  // namespace kovra
