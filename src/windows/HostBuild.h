#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "kovra/host/HostTypes.h"
#include "kovra/host/injector/CallingConvention.h"

// A description of one build of the game: how to recognise it, where its
// hooked sites are and how the host operations find its values. Addresses
// are where they are when the executable is loaded at `preferredBase`; the
// module moves them to where it actually is. Offsets are in bytes from the
// start of the record named. The format is documented in docs/windows.md.
namespace kovra::windows {

using Address = std::uint32_t;
using Offset = std::int32_t;

// How a value of a record is stored where a build may differ.
enum class FieldType : std::uint8_t { Int8, UInt8, Int16, UInt16, Int32, UInt32 };

// Where a variable of the game is: at `address`, or reached from there
// through pointers: each hop reads the pointer where the path is and adds
// its offset to it ("[0x00C0FFEE]+12" in a description).
struct Location {
    Address address = 0;
    std::int32_t hopCount = 0;
    Offset hops[2] = {0, 0};
    constexpr Location() = default;
    constexpr Location(Address at) : address(at) {}  // a plain address
    constexpr bool operator==(const Location&) const = default;
};

// How a routine of the game takes its arguments: all on the stack, caller
// cleans up (cdecl) or callee cleans up (stdcall); or the first, a pointer
// or integer, in ECX and the rest on the stack (thiscall).
enum class CallShape : std::uint8_t { Cdecl, Stdcall, Thiscall };

// The most arguments a routine of the host operations takes.
inline constexpr std::size_t kMaxRoutineArguments = 5;

struct RoutineAt {
    Address address = 0;
    CallShape shape = CallShape::Cdecl;
    // The routine's i-th argument is the signature's order[i]-th (from 0):
    // a routine that takes (text, x, y) for drawText(x, y, text) has 2 0 1.
    std::array<std::uint8_t, kMaxRoutineArguments> order{0, 1, 2, 3, 4};
    constexpr RoutineAt() = default;
    constexpr RoutineAt(Address at, CallShape how = CallShape::Cdecl) : address(at), shape(how) {}
    constexpr RoutineAt(Address at, CallShape how, std::array<std::uint8_t, kMaxRoutineArguments> takes)
        : address(at), shape(how), order(takes) {}
};

// How one value of a game's record is stored: a whole number, a float, or
// a colour as four bytes in the memory order named (Rgba: red first).
enum class ValueType : std::uint8_t { Int8, UInt8, Int16, UInt16, Int32, UInt32, Float, Rgba, Argb, Bgra, Abgr };

constexpr std::int32_t ValueWidth(ValueType type) {
    switch (type) {
        case ValueType::Int8:
        case ValueType::UInt8: return 1;
        case ValueType::Int16:
        case ValueType::UInt16: return 2;
        default: return 4;
    }
}

// A value's place in a record; an offset below 0: the record has none.
struct RecordField {
    Offset offset = -1;
    ValueType type = ValueType::Int32;
    constexpr bool present() const { return offset >= 0; }
};

// The game's records that three routines take where the signatures pass
// the plugin's own structures (LineVertex, TextStyle, ScriptArg). A size of
// 0 keeps the plugin's structure; otherwise the module fills records of
// `size` bytes, every byte not described zero.
struct VertexLayout {
    std::int32_t size = 0;
    Offset position = 0;  // three floats
    RecordField colour;   // one of the colour types
};

struct TextStyleLayout {
    std::int32_t size = 0;
    RecordField scaleX, scaleY, wrapWidth;          // Float
    RecordField colour, shadowColour;               // colour types
    RecordField align, background, font, proportional, shadow;  // whole numbers
};

struct ScriptArgLayout {
    std::int32_t size = 0;
    RecordField intValue;    // a whole-number type
    RecordField floatValue;  // Float; may share the offset of intValue
};

// How a vehicle's script handle is made from its pool slot: the slot times
// 256 plus the slot's flag byte, the slot alone, or the vehicle's address.
enum class ScriptHandleRule : std::uint8_t { SlotAndReuse, Slot, VehicleAddress };

// One hooked branch: an E8 call or an E9 jump that ends a routine, the
// routine it leads to, and how that routine takes its arguments (the
// event's subject in ECX for thiscall, on the stack for cdecl).
struct HookSite {
    HostEvent event;
    std::uint8_t opcode;
    injector::Convention convention;
    Address site;
    Address callee;
};

// A pool of fixed-size objects: the pool record's address is held in a
// variable; the record holds the object array, a byte per slot (high bit:
// free; low seven bits: reuse count) and the capacity.
struct PoolLayout {
    Address pointer;
    Offset objects, flags, capacity;
    Offset objectSize;
};

struct ModelLayout {  // a vehicle model record
    Offset type, name, structure;  // type code, name (chars), structure record (pointer)
    std::int32_t nameLength;       // of a name held in the record; 0: the record holds a pointer to it
    Offset frontSeat, handlebar;  // in the structure record, Vector3 each
    FieldType typeType = FieldType::Int32;
};

struct VehicleLayout {
    Offset modelId;  // int16
    Offset driver, matrix, clump, handling;  // pointers
    Offset steerAngle, gasPedal, brakePedal, speed, lean, barAngle;  // float
    Offset moveSpeed;  // Vector3
    Offset handBrake, gear, stateByte, audioFlags, wheelsOnGround;  // byte
    Offset audioValue;  // int32
    // Two-wheelers (the model's type 9 or 10): the bike is the vehicle itself.
    Offset bikeBodyFrame, bikeSteeringFrame;  // pointers
    Offset drawnBarAngle;                     // float
    Offset handlingAnimGroup, handlingLeanLimit;  // byte, float, in the handling record
    FieldType modelIdType = FieldType::Int16;
    FieldType handBrakeType = FieldType::UInt8, gearType = FieldType::UInt8, stateByteType = FieldType::UInt8,
              audioFlagsType = FieldType::UInt8, wheelsOnGroundType = FieldType::UInt8;
    FieldType audioValueType = FieldType::Int32, animGroupType = FieldType::UInt8;
};

struct PedLayout {
    Offset clump, vehicle;  // pointers
    Offset state;           // int32
    Offset inVehicle;       // byte; non-zero when in a vehicle
    Offset entityFlags;     // uint32
    Offset primaryTasks, secondaryTasks;  // five task pointers each
    Offset taskType;                      // int32 in a task record
    Offset firstAnimation;                // pointer; the list runs through
    Offset animationNext, animationNameKey;  // pointer, uint32 in an animation record
    Offset frameData;  // pointer to the per-node animation frames (BoneFrame each)
    Offset frameDataStride;
    FieldType stateType = FieldType::Int32, inVehicleType = FieldType::UInt8;
};

struct ClumpLayout {  // a model instance
    Offset rootFrame, hierarchy;  // pointers
    // In the skin hierarchy: node count (int32), bone ids (pointer to an
    // int32 per node, in node order) and the matrices (64 bytes per node).
    Offset nodeCount, nodeIds, matrices;
};

struct FrameLayout {
    Offset modelling;               // FrameMatrix
    Offset firstChild, nextSibling;  // pointers
    Offset name;                    // chars, zero-terminated
    std::int32_t nameLength;        // 0: the frame holds a pointer to its name
    Offset renderable;  // pointer
    Offset vertexCount, vertices;  // int32, pointer to Vector3s, in the renderable
};

// The game routines the host operations call, each with its calling shape
// (thiscall only where the first argument the routine takes is a pointer or
// an integer) and the order it takes the signature's arguments in. The
// vertices, text style and script arguments are the game's records where
// the build describes them (vertex, textStyle, scriptArg below).
// Signatures:
//   updateSkeleton(CPed*)              frameWorld(HostFrame*) -> const FrameMatrix*
//   updateFrame(HostFrame*)            nameKey(const char*) -> uint32
//   runScript(int opcode, const ScriptArg*, int, ScriptArg*, int) -> int (non-zero: done)
//   setTextStyle(const TextStyle*)     drawText(float x, float y, const char*)
//   textWidth(const char*) -> float    drawRect(float l, float t, float r, float b, Colour)
//   renderState(int) -> uint32         setRenderState(int, uint32)
//   drawPrimitives(int kind (0 lines, 1 triangles), const LineVertex*, int count) -> int
//   timedMessage(const char*, int milliseconds)
struct Routines {
    RoutineAt updateSkeleton, frameWorld, updateFrame, nameKey, runScript;
    RoutineAt setTextStyle, drawText, textWidth, drawRect;
    RoutineAt renderState, setRenderState, drawPrimitives, timedMessage;
};

// Variables of the game.
struct Globals {
    Location playerPed;       // pointer to the player character
    Location cameraPosition;  // Vector3
    Location timeStep;        // float
    Location ikSuspended;     // byte
    Location screenWidth, screenHeight;  // int32
    Location typedChars;      // chars, newest first, zero-terminated
    std::int32_t typedCharCapacity;
    Location mouseDx, mouseDy;  // float
    Location modelTable;        // pointers to model records, by model id
    std::int32_t modelCount;
};

struct HostBuild {
    const char* name;
    Address preferredBase;
    Address identity;  // where the identifying code bytes are
    std::span<const std::uint8_t> identityBytes;
    Address startupByte;
    std::span<const HookSite> sites;  // at most kMaxHookSites (SiteHooks.h)
    PoolLayout vehiclePool, pedPool;
    Globals globals;
    ModelLayout model;
    VehicleLayout vehicle;
    PedLayout ped;
    ClumpLayout clump;
    FrameLayout frame;
    Offset audioParamsVehicle, audioEntityVehicle;  // pointer to the vehicle
    Routines routines;
    ScriptHandleRule scriptHandle = ScriptHandleRule::SlotAndReuse;
    VertexLayout vertex;  // of drawPrimitives
    TextStyleLayout textStyle;  // of setTextStyle
    ScriptArgLayout scriptArg;  // of runScript's inputs and outputs
};

}  // namespace kovra::windows
