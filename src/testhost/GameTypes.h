#pragma once

#include <cstdint>

#include "kovra/host/HostTypes.h"
#include "kovra/ik/FrameMatrix.h"

// The test host's own game objects, laid out as its build description
// (windows/TestHostBuilds.h) says; GameTypes.cpp checks every described
// offset against these. Plain records: the game allocates them in its pools
// and never runs their destructors, as games do.
namespace kovra::testhost {

inline constexpr int kFrameNameLength = 24;
inline constexpr int kModelNameLength = 24;
inline constexpr int kTaskSlots = 5;
inline constexpr int kTypedChars = 30;
inline constexpr int kModelCount = 1000;

struct TRenderable {
    std::int32_t vertexCount;
    const Vector3* vertices;
};

struct TFrame {
    FrameMatrix modelling;
    FrameMatrix world;
    TFrame* parent;
    TFrame* firstChild;
    TFrame* nextSibling;
    TRenderable* renderable;
    const FrameMatrix* anchor;  // the root's: the vehicle's matrix
    char name[kFrameNameLength];
    FrameMatrix rest;  // the model's modelling matrix
};

struct THierarchy {
    std::int32_t nodeCount;
    const std::int32_t* nodeIds;
    FrameMatrix* matrices;
};

struct TClump {
    TFrame* root;
    THierarchy* hierarchy;
};

struct THandling {
    std::uint8_t animGroup;
    float leanLimit;
};

struct TStructure {
    Vector3 frontSeat;
    Vector3 handlebar;
};

struct TModel {
    std::int32_t type;
    char name[kModelNameLength];
    TStructure* structure;
};

struct TTask {
    std::int32_t type;
};

struct TAnimation {
    TAnimation* next;
    std::uint32_t nameKey;
};

struct TVehicle;

struct TAudioEntity {
    std::int32_t kind;
    TVehicle* vehicle;
};

struct TAudioParams {
    std::int32_t gear;
    TVehicle* vehicle;
};

struct TPed;

struct TVehicle {
    std::int16_t modelId;
    TPed* driver;
    FrameMatrix* matrix;
    TClump* clump;
    THandling* handling;
    float steerAngle, gasPedal, brakePedal, speed, lean, barAngle;
    Vector3 moveSpeed;
    std::uint8_t handBrake, gear, stateByte, audioFlags, wheelsOnGround;
    std::int32_t audioValue;
    TFrame* bodyFrame;
    TFrame* steeringFrame;
    float drawnBarAngle;
    // The game's own, not described.
    FrameMatrix placement;
    TClump clumpRecord;
    THandling handlingRecord;
    TFrame* frames;  // the model's frames, the root first
    std::int32_t frameCount;
    TRenderable* renderables;
    TAudioEntity audio;
    TAudioParams audioParams;
    std::int32_t audioGearHeard;
};

enum class Seat : std::int32_t { None, Driver, Passenger };

struct TPed {
    TClump* clump;
    TVehicle* vehicle;
    std::int32_t state;
    std::uint8_t inVehicle;
    std::uint32_t entityFlags;
    TTask* primaryTasks[kTaskSlots];
    TTask* secondaryTasks[kTaskSlots];
    TAnimation* firstAnimation;
    BoneFrame* frameData;
    // The game's own, not described.
    FrameMatrix placement;
    Seat seat;
    TClump clumpRecord;
    THierarchy hierarchyRecord;
    void* skeleton;  // sim::SimSkeleton
};

struct TPool {
    std::uint8_t* objects;
    std::uint8_t* flags;
    std::int32_t capacity;
};

// Version 1.1's own records for three routines of the host operations,
// where 1.0's take the plugin's structures (its description's [Vertex],
// [TextStyle] and [ScriptArgument]).
struct TVertex {
    float x, y, z;
    float rhw;             // not described: left 0 by the module
    std::uint32_t colour;  // bytes blue, green, red, alpha
};

struct TTextStyle {
    std::uint32_t colour;  // bytes alpha, red, green, blue
    float scaleX, scaleY;
    std::uint8_t align, font, proportional, background;
    float wrapWidth;
    std::int16_t shadow;
    std::uint16_t unused;
    std::uint32_t shadowColour;  // bytes red, green, blue, alpha
};

union TScriptArg {  // the command knows which of the two each argument is
    std::int32_t i;
    float f;
};

// The game's variables, at a fixed place beside the executable.
struct TGlobals {
    TPool* vehiclePool;
    TPool* pedPool;
    TPed* player;
    Vector3 camera;
    float timeStep;
    std::uint8_t ikSuspended;
    std::int32_t screenWidth, screenHeight;
    char typedChars[kTypedChars + 2];
    float mouseDx, mouseDy;
    TModel* models[kModelCount];
};

}  // namespace kovra::testhost
