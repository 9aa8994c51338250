// The test host's records against its build description: a record that
// moves a field fails the build here rather than a test under wine.
#include "testhost/GameTypes.h"

#include <cstddef>

#include "windows/TestHostBuilds.h"

namespace kovra::testhost {

namespace {
constexpr const windows::HostBuild& kBuild = windows::kTestHostBuild10;
constexpr const windows::HostBuild& kOwnRecords = windows::kTestHostBuild11;
constexpr windows::Address Variable(std::size_t offset) {
    return windows::kTestHostGlobals + static_cast<windows::Address>(offset);
}
}  // namespace

static_assert(sizeof(void*) == 4, "the test host is a 32-bit program");
static_assert(kBuild.vehiclePool.objectSize == sizeof(TVehicle));
static_assert(kBuild.pedPool.objectSize == sizeof(TPed));
static_assert(kBuild.vehiclePool.objects == offsetof(TPool, objects) && kBuild.vehiclePool.flags == offsetof(TPool, flags) &&
              kBuild.vehiclePool.capacity == offsetof(TPool, capacity));
static_assert(kBuild.vehiclePool.pointer == Variable(offsetof(TGlobals, vehiclePool)));
static_assert(kBuild.pedPool.pointer == Variable(offsetof(TGlobals, pedPool)));
static_assert(kBuild.globals.playerPed == Variable(offsetof(TGlobals, player)));
static_assert(kBuild.globals.cameraPosition == Variable(offsetof(TGlobals, camera)));
static_assert(kBuild.globals.timeStep == Variable(offsetof(TGlobals, timeStep)));
static_assert(kBuild.globals.ikSuspended == Variable(offsetof(TGlobals, ikSuspended)));
static_assert(kBuild.globals.screenWidth == Variable(offsetof(TGlobals, screenWidth)));
static_assert(kBuild.globals.screenHeight == Variable(offsetof(TGlobals, screenHeight)));
static_assert(kBuild.globals.typedChars == Variable(offsetof(TGlobals, typedChars)));
static_assert(kBuild.globals.typedCharCapacity == kTypedChars);
static_assert(kBuild.globals.mouseDx == Variable(offsetof(TGlobals, mouseDx)));
static_assert(kBuild.globals.mouseDy == Variable(offsetof(TGlobals, mouseDy)));
static_assert(kBuild.globals.modelTable == Variable(offsetof(TGlobals, models)));
static_assert(kBuild.globals.modelCount == kModelCount);
static_assert(kBuild.model.type == offsetof(TModel, type) && kBuild.model.name == offsetof(TModel, name) &&
              kBuild.model.structure == offsetof(TModel, structure) && kBuild.model.nameLength == kModelNameLength);
static_assert(kBuild.model.frontSeat == offsetof(TStructure, frontSeat) &&
              kBuild.model.handlebar == offsetof(TStructure, handlebar));
static_assert(kBuild.vehicle.modelId == offsetof(TVehicle, modelId) && kBuild.vehicle.driver == offsetof(TVehicle, driver) &&
              kBuild.vehicle.matrix == offsetof(TVehicle, matrix) && kBuild.vehicle.clump == offsetof(TVehicle, clump) &&
              kBuild.vehicle.handling == offsetof(TVehicle, handling));
static_assert(kBuild.vehicle.steerAngle == offsetof(TVehicle, steerAngle) &&
              kBuild.vehicle.gasPedal == offsetof(TVehicle, gasPedal) &&
              kBuild.vehicle.brakePedal == offsetof(TVehicle, brakePedal) && kBuild.vehicle.speed == offsetof(TVehicle, speed) &&
              kBuild.vehicle.lean == offsetof(TVehicle, lean) && kBuild.vehicle.barAngle == offsetof(TVehicle, barAngle) &&
              kBuild.vehicle.moveSpeed == offsetof(TVehicle, moveSpeed));
static_assert(kBuild.vehicle.handBrake == offsetof(TVehicle, handBrake) && kBuild.vehicle.gear == offsetof(TVehicle, gear) &&
              kBuild.vehicle.stateByte == offsetof(TVehicle, stateByte) &&
              kBuild.vehicle.audioFlags == offsetof(TVehicle, audioFlags) &&
              kBuild.vehicle.wheelsOnGround == offsetof(TVehicle, wheelsOnGround) &&
              kBuild.vehicle.audioValue == offsetof(TVehicle, audioValue));
static_assert(kBuild.vehicle.bikeBodyFrame == offsetof(TVehicle, bodyFrame) &&
              kBuild.vehicle.bikeSteeringFrame == offsetof(TVehicle, steeringFrame) &&
              kBuild.vehicle.drawnBarAngle == offsetof(TVehicle, drawnBarAngle));
static_assert(kBuild.vehicle.handlingAnimGroup == offsetof(THandling, animGroup) &&
              kBuild.vehicle.handlingLeanLimit == offsetof(THandling, leanLimit));
static_assert(kBuild.ped.clump == offsetof(TPed, clump) && kBuild.ped.vehicle == offsetof(TPed, vehicle) &&
              kBuild.ped.state == offsetof(TPed, state) && kBuild.ped.inVehicle == offsetof(TPed, inVehicle) &&
              kBuild.ped.entityFlags == offsetof(TPed, entityFlags));
static_assert(kBuild.ped.primaryTasks == offsetof(TPed, primaryTasks) &&
              kBuild.ped.secondaryTasks == offsetof(TPed, secondaryTasks) && kBuild.ped.taskType == offsetof(TTask, type));
static_assert(kBuild.ped.firstAnimation == offsetof(TPed, firstAnimation) &&
              kBuild.ped.animationNext == offsetof(TAnimation, next) &&
              kBuild.ped.animationNameKey == offsetof(TAnimation, nameKey));
static_assert(kBuild.ped.frameData == offsetof(TPed, frameData) && kBuild.ped.frameDataStride == sizeof(BoneFrame));
static_assert(kBuild.clump.rootFrame == offsetof(TClump, root) && kBuild.clump.hierarchy == offsetof(TClump, hierarchy));
static_assert(kBuild.clump.nodeCount == offsetof(THierarchy, nodeCount) &&
              kBuild.clump.nodeIds == offsetof(THierarchy, nodeIds) && kBuild.clump.matrices == offsetof(THierarchy, matrices));
static_assert(kBuild.frame.modelling == offsetof(TFrame, modelling) && kBuild.frame.firstChild == offsetof(TFrame, firstChild) &&
              kBuild.frame.nextSibling == offsetof(TFrame, nextSibling) && kBuild.frame.name == offsetof(TFrame, name) &&
              kBuild.frame.nameLength == kFrameNameLength && kBuild.frame.renderable == offsetof(TFrame, renderable));
static_assert(kBuild.frame.vertexCount == offsetof(TRenderable, vertexCount) &&
              kBuild.frame.vertices == offsetof(TRenderable, vertices));
static_assert(kOwnRecords.vertex.size == sizeof(TVertex) && kOwnRecords.vertex.position == offsetof(TVertex, x) &&
              kOwnRecords.vertex.colour.offset == offsetof(TVertex, colour));
static_assert(kOwnRecords.textStyle.size == sizeof(TTextStyle) &&
              kOwnRecords.textStyle.colour.offset == offsetof(TTextStyle, colour) &&
              kOwnRecords.textStyle.scaleX.offset == offsetof(TTextStyle, scaleX) &&
              kOwnRecords.textStyle.scaleY.offset == offsetof(TTextStyle, scaleY) &&
              kOwnRecords.textStyle.align.offset == offsetof(TTextStyle, align) &&
              kOwnRecords.textStyle.font.offset == offsetof(TTextStyle, font) &&
              kOwnRecords.textStyle.proportional.offset == offsetof(TTextStyle, proportional) &&
              kOwnRecords.textStyle.background.offset == offsetof(TTextStyle, background) &&
              kOwnRecords.textStyle.wrapWidth.offset == offsetof(TTextStyle, wrapWidth) &&
              kOwnRecords.textStyle.shadow.offset == offsetof(TTextStyle, shadow) &&
              kOwnRecords.textStyle.shadowColour.offset == offsetof(TTextStyle, shadowColour));
static_assert(kOwnRecords.scriptArg.size == sizeof(TScriptArg) && kOwnRecords.scriptArg.intValue.offset == 0 &&
              kOwnRecords.scriptArg.floatValue.offset == 0);
static_assert(kBuild.audioParamsVehicle == offsetof(TAudioParams, vehicle) &&
              kBuild.audioEntityVehicle == offsetof(TAudioEntity, vehicle));

}  // namespace kovra::testhost
