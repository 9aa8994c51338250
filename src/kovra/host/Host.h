#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "kovra/host/HookSink.h"
#include "kovra/host/HostTypes.h"
#include "kovra/ik/FrameMatrix.h"

namespace kovra {

// Everything the plugin asks of the game, and nothing else. The shipped
// module implements it against the running game; the simulated host
// implements it for tests, benchmarks and the command-line tool.
//
// Pointers returned here are borrowed: valid inside the callback that asked.
// "None" is always a null pointer or -1, never an exception.
class Host {
public:
    virtual ~Host() = default;

    // ---- pools ----------------------------------------------------------
    virtual int VehiclePoolCapacity() const = 0;
    virtual CVehicle* VehicleInSlot(int slot) const = 0;  // null for a free slot
    virtual int VehicleSlot(const CVehicle* vehicle) const = 0;  // -1 outside the pool
    virtual int PedPoolCapacity() const = 0;
    virtual CPed* PedInSlot(int slot) const = 0;
    virtual int PedSlot(const CPed* ped) const = 0;
    virtual CPed* PlayerPed() const = 0;
    virtual bool IsPlayerPed(const CPed* ped) const = 0;
    virtual int VehicleScriptHandle(const CVehicle* vehicle) const = 0;
    virtual Vector3 CameraPosition() const = 0;

    // ---- vehicle model records -----------------------------------------
    virtual bool HasVehicleModel(int modelId) const = 0;
    virtual int ModelVehicleType(int modelId) const = 0;  // -1 for no such model
    virtual const char* ModelName(int modelId) const = 0;  // "" when none, never null
    virtual Vector3 ModelFrontSeat(int modelId) const = 0;
    virtual void SetModelFrontSeat(int modelId, const Vector3& seat) = 0;
    virtual Vector3 ModelHandlebarPosition(int modelId) const = 0;  // zero when absent

    // ---- vehicles ---------------------------------------------------------
    virtual int VehicleModelId(const CVehicle* vehicle) const = 0;
    virtual CPed* VehicleDriver(const CVehicle* vehicle) const = 0;
    virtual VehicleState ReadVehicleState(const CVehicle* vehicle) const = 0;
    virtual FrameMatrix* VehicleMatrix(CVehicle* vehicle) = 0;  // the body's world frame
    virtual HostFrame* VehicleRootFrame(CVehicle* vehicle) = 0;  // of its model instance
    virtual void UpdateVehicleFrames(CVehicle* vehicle) = 0;
    virtual CBike* AsBike(CVehicle* vehicle) = 0;  // null unless a two-wheeler
    virtual CVehicle* BikeVehicle(CBike* bike) = 0;
    virtual HostFrame* BikeBodyFrame(CVehicle* vehicle) = 0;
    virtual HostFrame* BikeSteeringFrame(CVehicle* vehicle) = 0;
    virtual void SetBikeDrawnBarAngle(CBike* bike, float radians) = 0;
    virtual CVehicle* AudioParamsVehicle(const cVehicleParams* params) const = 0;
    virtual CVehicle* AudioEntityVehicle(const CAEVehicleAudioEntity* entity) const = 0;

    // ---- characters --------------------------------------------------------
    virtual bool PedHasModel(const CPed* ped) const = 0;
    virtual int PedState(const CPed* ped) const = 0;
    virtual bool PedInVehicle(const CPed* ped) const = 0;
    virtual CVehicle* PedVehicle(const CPed* ped) const = 0;
    virtual std::uint32_t PedEntityFlags(const CPed* ped) const = 0;
    virtual void SetPedEntityFlags(CPed* ped, std::uint32_t flags) = 0;
    virtual int PedTaskType(const CPed* ped, TaskSlotKind kind, int index) const = 0;  // -1 empty
    virtual HostAnimation* FirstAnimation(CPed* ped) = 0;
    virtual HostAnimation* NextAnimation(CPed* ped, HostAnimation* current) = 0;
    virtual std::uint32_t AnimationNameKey(const HostAnimation* animation) const = 0;

    // ---- skeleton ----------------------------------------------------------
    // Index of a bone id in the character's hierarchy matrix array, -1 when
    // the character has no skinned hierarchy or no such bone.
    virtual int BoneHierarchyIndex(const CPed* ped, int boneId) const = 0;
    virtual FrameMatrix* BoneMatrix(CPed* ped, int hierarchyIndex) = 0;
    virtual BoneFrame* BoneFrameData(CPed* ped, int node) = 0;  // node 0..31
    // Recomputes the hierarchy matrices from the animation frame data.
    virtual void UpdateSkeleton(CPed* ped) = 0;

    // ---- frames and geometry --------------------------------------------------
    virtual HostFrame* FrameFirstChild(HostFrame* frame) = 0;
    virtual HostFrame* FrameNextSibling(HostFrame* frame) = 0;
    virtual const char* FrameName(const HostFrame* frame) const = 0;  // never null
    virtual FrameMatrix* FrameModelling(HostFrame* frame) = 0;
    virtual const FrameMatrix* FrameWorld(HostFrame* frame) = 0;  // null when none
    virtual void UpdateFrame(HostFrame* frame) = 0;
    virtual HostRenderable* FrameRenderable(HostFrame* frame) = 0;
    virtual int RenderableVertexCount(const HostRenderable* object) const = 0;
    virtual const Vector3* RenderableVertices(const HostRenderable* object) const = 0;

    // ---- time, flags, names ------------------------------------------------
    virtual float TimeStep() const = 0;
    virtual bool IkSuspended() const = 0;
    virtual std::uint32_t NameKey(const char* name) const = 0;  // case-insensitive

    // ---- script commands ---------------------------------------------------
    virtual bool RunScriptCommand(int opcode, std::span<const ScriptArg> inputs,
                                  std::span<ScriptArg> outputs) = 0;

    // ---- screen and input --------------------------------------------------
    virtual int ScreenWidth() const = 0;
    virtual int ScreenHeight() const = 0;
    virtual void SetTextStyle(const TextStyle& style) = 0;
    virtual void DrawText(float x, float y, const char* text) = 0;
    virtual float TextWidth(const char* text) const = 0;
    virtual void DrawRect(float left, float top, float right, float bottom, Colour colour) = 0;
    virtual std::uint32_t RenderState(int state) const = 0;
    virtual void SetRenderState(int state, std::uint32_t value) = 0;
    // Pairs of vertices as lines, triples as triangles; false when refused.
    virtual bool DrawLines(std::span<const LineVertex> vertices) = 0;
    virtual bool DrawTriangles(std::span<const LineVertex> vertices) = 0;
    virtual void ShowTimedMessage(const char* text, int milliseconds) = 0;
    virtual int TypedCharCount() const = 0;
    virtual char TypedChar(int newestFirstIndex) const = 0;
    virtual void ClearTypedChars() = 0;
    virtual void MouseMovement(float& dx, float& dy) const = 0;

    // ---- the platform under the game ---------------------------------------
    virtual void ReadKeyboard(std::uint8_t keys[256]) const = 0;
    virtual bool ModuleLoaded(const char* moduleName) const = 0;
    // Directories with a trailing separator; false when they cannot be found.
    virtual bool GameDirectory(std::string& out) const = 0;
    virtual bool PluginDirectory(std::string& out) const = 0;
    virtual void ShowErrorBox(const char* title, const char* text) = 0;
    // The one byte of the game's code the plugin changes at start-up.
    virtual bool PatchStartupByte(std::uint8_t value) = 0;
    // Patches the event's call sites so that they reach `sink`; false when
    // the sites cannot be patched (nothing is then installed).
    virtual bool InstallHooks(HostEvent event, HookSink& sink) = 0;
    virtual void RemoveHooks(HostEvent event, HookSink& sink) = 0;
    virtual void OpenUrl(const char* url) = 0;
};

}  // namespace kovra
