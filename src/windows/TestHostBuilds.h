#pragma once

#include <array>

#include "windows/HostBuild.h"

// The two builds of the project's own test host (src/testhost), versions
// 1.0 and 1.1. They differ in one identifying byte and are linked at
// different image bases; everything else is at the same place relative to
// the image. The numbers come from the test host's code layout and record
// offsets, which the test host checks against this file when it is built.
namespace kovra::windows {

inline constexpr Address kTestHostBase = 0x00400000;
inline constexpr Address kTestHostCode = kTestHostBase + 0x1000;  // the hooked routines
inline constexpr Address kTestHostGlobals = kTestHostBase + 0x03000000;
inline constexpr int kTestHostIdentityLength = 25;

// mov eax, 'KOVR'; ret; then the version text.
constexpr std::array<std::uint8_t, kTestHostIdentityLength> TestHostIdentity(char minor) {
    return {0xB8, 'R', 'V', 'O', 'K', 0xC3, 'K', 'O', 'V', 'R', 'A', ' ', 'T', 'E', 'S', 'T', ' ',
            'H',  'O', 'S', 'T', ' ', '1', '.', static_cast<std::uint8_t>(minor)};
}
inline constexpr auto kTestHostIdentity10 = TestHostIdentity('0');
inline constexpr auto kTestHostIdentity11 = TestHostIdentity('1');

// Each hooked routine has 32 bytes at kTestHostCode + 0x100; the routine
// the site leads to is a jump at kTestHostCode + 0x400, 8 bytes each.
inline constexpr int kTestHostSiteCount = 19;
constexpr HookSite TestHostSite(int index, HostEvent event, std::uint8_t opcode,
                                injector::Convention convention, Address siteOffset) {
    const auto i = static_cast<Address>(index);
    return {event, opcode, convention, kTestHostCode + 0x100 + 0x20 * i + siteOffset,
            kTestHostCode + 0x400 + 8 * i};
}

namespace testhost_sites {
using injector::Convention;
using E = HostEvent;
constexpr std::uint8_t kCall = 0xE8, kJmp = 0xE9;
constexpr Convention kThis = Convention::Thiscall, kCdecl = Convention::Cdecl;
// Listed in the order the plugin subscribes, so that start-up patches them
// front to back.
inline constexpr std::array<HookSite, kTestHostSiteCount> kSites{{
    TestHostSite(0, E::VehicleCreated, kCall, kThis, 0),
    TestHostSite(1, E::VehicleDestroyed, kCall, kThis, 0),
    TestHostSite(2, E::VehiclePoolCreated, kCall, kCdecl, 0),
    TestHostSite(3, E::EngineReady, kCall, kCdecl, 0),
    TestHostSite(4, E::PedIk, kJmp, kThis, 2),   // drivers: the routine's last jump
    TestHostSite(5, E::PedIk, kCall, kThis, 0),  // passengers
    TestHostSite(6, E::PedIk, kCall, kThis, 0),  // on foot
    TestHostSite(7, E::PedHead, kCall, kThis, 0),
    TestHostSite(8, E::PedHead, kCall, kThis, 0),
    TestHostSite(9, E::VehicleProcess, kCall, kThis, 0),   // cars
    TestHostSite(10, E::VehicleProcess, kJmp, kThis, 2),   // two-wheelers
    TestHostSite(11, E::VehicleFrameEnd, kCall, kThis, 0),
    TestHostSite(12, E::VehicleFrameEnd, kCall, kThis, 0),
    TestHostSite(13, E::Frame, kCall, kCdecl, 4),
    TestHostSite(14, E::OverlayB, kCall, kCdecl, 0),
    TestHostSite(15, E::SeatPlacement, kCall, kCdecl, 4),
    TestHostSite(16, E::BikeProcess, kCall, kThis, 0),
    TestHostSite(17, E::VehicleAudioGear, kCall, kThis, 4),
    TestHostSite(18, E::VehicleAudioGear, kCall, kThis, 4),
}};
}  // namespace testhost_sites

// Version 1.1 takes some routines' arguments in another order and its own
// records where 1.0 takes the plugin's (src/testhost/GameTypes.h).
constexpr HostBuild TestHostBuild(const char* name, std::span<const std::uint8_t> identity, bool ownRecords) {
    const Address g = kTestHostGlobals;
    const Address routines = kTestHostCode + 0x800;  // 8 bytes each
    HostBuild build{
        .name = name,
        .preferredBase = kTestHostBase,
        .identity = kTestHostCode,
        .identityBytes = identity,
        .startupByte = kTestHostCode + 0x41,
        .sites = testhost_sites::kSites,
        .vehiclePool = {.pointer = g + 0, .objects = 0, .flags = 4, .capacity = 8, .objectSize = 192},
        .pedPool = {.pointer = g + 4, .objects = 0, .flags = 4, .capacity = 8, .objectSize = 160},
        .globals = {.playerPed = g + 8, .cameraPosition = g + 12, .timeStep = g + 24,
                    .ikSuspended = g + 28, .screenWidth = g + 32, .screenHeight = g + 36,
                    .typedChars = g + 40, .typedCharCapacity = 30, .mouseDx = g + 72,
                    .mouseDy = g + 76, .modelTable = g + 80, .modelCount = 1000},
        .model = {.type = 0, .name = 4, .structure = 28, .nameLength = 24, .frontSeat = 0,
                  .handlebar = 12},
        .vehicle = {.modelId = 0, .driver = 4, .matrix = 8, .clump = 12, .handling = 16,
                    .steerAngle = 20, .gasPedal = 24, .brakePedal = 28, .speed = 32, .lean = 36,
                    .barAngle = 40, .moveSpeed = 44, .handBrake = 56, .gear = 57, .stateByte = 58,
                    .audioFlags = 59, .wheelsOnGround = 60, .audioValue = 64, .bikeBodyFrame = 68,
                    .bikeSteeringFrame = 72, .drawnBarAngle = 76, .handlingAnimGroup = 0,
                    .handlingLeanLimit = 4},
        .ped = {.clump = 0, .vehicle = 4, .state = 8, .inVehicle = 12, .entityFlags = 16,
                .primaryTasks = 20, .secondaryTasks = 40, .taskType = 0, .firstAnimation = 60,
                .animationNext = 0, .animationNameKey = 4, .frameData = 64,
                .frameDataStride = 28},
        .clump = {.rootFrame = 0, .hierarchy = 4, .nodeCount = 0, .nodeIds = 4, .matrices = 8},
        .frame = {.modelling = 0, .firstChild = 132, .nextSibling = 136, .name = 148,
                  .nameLength = 24, .renderable = 140, .vertexCount = 0, .vertices = 4},
        .audioParamsVehicle = 4,
        .audioEntityVehicle = 4,
        .routines = {.updateSkeleton = {routines + 0x00, CallShape::Thiscall}, .frameWorld = routines + 0x08,
                     .updateFrame = routines + 0x10, .nameKey = routines + 0x18,
                     .runScript = routines + 0x20, .setTextStyle = routines + 0x28,
                     .drawText = routines + 0x30, .textWidth = routines + 0x38,
                     .drawRect = routines + 0x40, .renderState = routines + 0x48,
                     .setRenderState = routines + 0x50, .drawPrimitives = routines + 0x58,
                     .timedMessage = routines + 0x60},
        .scriptHandle = ScriptHandleRule::SlotAndReuse,
        .vertex = {},
        .textStyle = {},
        .scriptArg = {},
    };
    if (!ownRecords) return build;
    build.routines.drawText = {routines + 0x30, CallShape::Stdcall, {2, 0, 1, 3, 4}};       // (text, x, y)
    build.routines.drawRect = {routines + 0x40, CallShape::Thiscall, {4, 0, 1, 2, 3}};      // (colour, l, t, r, b)
    build.routines.drawPrimitives = {routines + 0x58, CallShape::Cdecl, {1, 2, 0, 3, 4}};  // (vertices, count, kind)
    build.vertex = {.size = 20, .position = 0, .colour = {16, ValueType::Bgra}};
    build.textStyle = {.size = 28,
                       .scaleX = {4, ValueType::Float},
                       .scaleY = {8, ValueType::Float},
                       .wrapWidth = {16, ValueType::Float},
                       .colour = {0, ValueType::Argb},
                       .shadowColour = {24, ValueType::Rgba},
                       .align = {12, ValueType::UInt8},
                       .background = {15, ValueType::UInt8},
                       .font = {13, ValueType::UInt8},
                       .proportional = {14, ValueType::UInt8},
                       .shadow = {20, ValueType::Int16}};
    build.scriptArg = {.size = 4, .intValue = {0, ValueType::Int32}, .floatValue = {0, ValueType::Float}};
    return build;
}

inline constexpr HostBuild kTestHostBuild10 = TestHostBuild("test host 1.0", kTestHostIdentity10, false);
inline constexpr HostBuild kTestHostBuild11 = TestHostBuild("test host 1.1", kTestHostIdentity11, true);

}  // namespace kovra::windows
