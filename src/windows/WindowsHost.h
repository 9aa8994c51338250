#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "kovra/host/Host.h"
#include "kovra/host/injector/CodeJournal.h"
#include "windows/HostBuild.h"
#include "windows/SiteHooks.h"
#include "windows/WindowsCode.h"

namespace kovra::windows {

// The running game behind the Host interface: values read and written where
// the build description says, routines of the game called, the hooked
// sites patched, and Windows for the keyboard, modules, folders, message
// boxes and links.
class WindowsHost : public Host {
public:
    // `base`: where the executable of `build` is loaded; `module`: an
    // address inside this module (for its folder).
    WindowsHost(const HostBuild& build, std::uintptr_t base, const void* module);
    ~WindowsHost() override;

    const HostBuild& build() const { return build_; }
    // What start-up patched, in order: "start-up byte", then each site as
    // "Event@address" (addresses as the build lists them).
    const std::vector<std::string>& journal() const { return journal_; }
    // What start-up is doing now, for the log when it fails ("hooking
    // PedIk"); `step` is static text.
    std::string Step() const;
    void SetStep(const char* step) { step_ = step; }
    // A failed start-up: every byte of the game's code written so far, the
    // start-up byte included, is put back; false when some page stayed
    // read-only. A successful one: the record of bytes is closed.
    bool UndoStartup() { return code_.Undo(); }
    void EndStartup() { code_.Close(); }

    // ---- pools ----
    int VehiclePoolCapacity() const override;
    CVehicle* VehicleInSlot(int slot) const override;
    int VehicleSlot(const CVehicle* vehicle) const override;
    int PedPoolCapacity() const override;
    CPed* PedInSlot(int slot) const override;
    int PedSlot(const CPed* ped) const override;
    CPed* PlayerPed() const override;
    bool IsPlayerPed(const CPed* ped) const override;
    int VehicleScriptHandle(const CVehicle* vehicle) const override;
    Vector3 CameraPosition() const override;
    // ---- model records ----
    bool HasVehicleModel(int modelId) const override;
    int ModelVehicleType(int modelId) const override;
    const char* ModelName(int modelId) const override;
    Vector3 ModelFrontSeat(int modelId) const override;
    void SetModelFrontSeat(int modelId, const Vector3& seat) override;
    Vector3 ModelHandlebarPosition(int modelId) const override;
    // ---- vehicles ----
    int VehicleModelId(const CVehicle* vehicle) const override;
    CPed* VehicleDriver(const CVehicle* vehicle) const override;
    VehicleState ReadVehicleState(const CVehicle* vehicle) const override;
    FrameMatrix* VehicleMatrix(CVehicle* vehicle) override;
    HostFrame* VehicleRootFrame(CVehicle* vehicle) override;
    void UpdateVehicleFrames(CVehicle* vehicle) override;
    CBike* AsBike(CVehicle* vehicle) override;
    CVehicle* BikeVehicle(CBike* bike) override;
    HostFrame* BikeBodyFrame(CVehicle* vehicle) override;
    HostFrame* BikeSteeringFrame(CVehicle* vehicle) override;
    void SetBikeDrawnBarAngle(CBike* bike, float radians) override;
    CVehicle* AudioParamsVehicle(const cVehicleParams* params) const override;
    CVehicle* AudioEntityVehicle(const CAEVehicleAudioEntity* entity) const override;
    // ---- characters ----
    bool PedHasModel(const CPed* ped) const override;
    int PedState(const CPed* ped) const override;
    bool PedInVehicle(const CPed* ped) const override;
    CVehicle* PedVehicle(const CPed* ped) const override;
    std::uint32_t PedEntityFlags(const CPed* ped) const override;
    void SetPedEntityFlags(CPed* ped, std::uint32_t flags) override;
    int PedTaskType(const CPed* ped, TaskSlotKind kind, int index) const override;
    HostAnimation* FirstAnimation(CPed* ped) override;
    HostAnimation* NextAnimation(CPed* ped, HostAnimation* current) override;
    std::uint32_t AnimationNameKey(const HostAnimation* animation) const override;
    // ---- skeleton ----
    int BoneHierarchyIndex(const CPed* ped, int boneId) const override;
    FrameMatrix* BoneMatrix(CPed* ped, int hierarchyIndex) override;
    BoneFrame* BoneFrameData(CPed* ped, int node) override;
    void UpdateSkeleton(CPed* ped) override;
    // ---- frames and geometry ----
    HostFrame* FrameFirstChild(HostFrame* frame) override;
    HostFrame* FrameNextSibling(HostFrame* frame) override;
    const char* FrameName(const HostFrame* frame) const override;
    FrameMatrix* FrameModelling(HostFrame* frame) override;
    const FrameMatrix* FrameWorld(HostFrame* frame) override;
    void UpdateFrame(HostFrame* frame) override;
    HostRenderable* FrameRenderable(HostFrame* frame) override;
    int RenderableVertexCount(const HostRenderable* object) const override;
    const Vector3* RenderableVertices(const HostRenderable* object) const override;
    // ---- time, flags, names, script ----
    float TimeStep() const override;
    bool IkSuspended() const override;
    std::uint32_t NameKey(const char* name) const override;
    bool RunScriptCommand(int opcode, std::span<const ScriptArg> inputs,
                          std::span<ScriptArg> outputs) override;
    // ---- screen and input ----
    int ScreenWidth() const override;
    int ScreenHeight() const override;
    void SetTextStyle(const TextStyle& style) override;
    void DrawText(float x, float y, const char* text) override;
    float TextWidth(const char* text) const override;
    void DrawRect(float left, float top, float right, float bottom, Colour colour) override;
    std::uint32_t RenderState(int state) const override;
    void SetRenderState(int state, std::uint32_t value) override;
    bool DrawLines(std::span<const LineVertex> vertices) override;
    bool DrawTriangles(std::span<const LineVertex> vertices) override;
    void ShowTimedMessage(const char* text, int milliseconds) override;
    int TypedCharCount() const override;
    char TypedChar(int newestFirstIndex) const override;
    void ClearTypedChars() override;
    void MouseMovement(float& dx, float& dy) const override;
    // ---- the platform ----
    void ReadKeyboard(std::uint8_t keys[256]) const override;
    bool ModuleLoaded(const char* moduleName) const override;
    bool GameDirectory(std::string& out) const override;
    bool PluginDirectory(std::string& out) const override;
    void ShowErrorBox(const char* title, const char* text) override;
    bool PatchStartupByte(std::uint8_t value) override;
    bool InstallHooks(HostEvent event, HookSink& sink) override;
    void RemoveHooks(HostEvent event, HookSink& sink) override;
    void OpenUrl(const char* url) override;

private:
    std::uintptr_t At(Address address) const { return address + moved_; }
    // Where a variable is now; 0 when a pointer on its path is null.
    std::uintptr_t At(const Location& location) const;
    template <class T>
    T Variable(const Location& location) const;
    struct Pool {
        std::uint8_t* objects = nullptr;
        const std::uint8_t* flags = nullptr;
        int capacity = 0;
        int size = 0;
    };
    // Whether [address, address + size) lies inside the executable's image.
    bool InImage(Address address, std::size_t size) const;
    Pool PoolOf(const PoolLayout& layout) const;
    void* InSlot(const PoolLayout& layout, int slot) const;
    int SlotOf(const PoolLayout& layout, const void* object) const;
    std::uint8_t* ModelRecord(int modelId) const;
    std::uint8_t* Structure(int modelId) const;
    std::uint8_t* Hierarchy(const CPed* ped) const;
    bool DrawPrimitives(int kind, std::span<const LineVertex> vertices);

    const HostBuild& build_;
    std::uintptr_t moved_;
    const void* module_;
    WindowsCode windowsCode_;
    injector::CodeJournal code_{windowsCode_};  // every write recorded before it is made
    const char* step_ = "starting";
    HostEvent stepEvent_ = HostEvent::Count;
    std::array<std::unique_ptr<SiteHooks>, static_cast<std::size_t>(HostEvent::Count)> hooks_;
    std::vector<std::string> journal_;
    // The game's records where its routines take its own (the build's
    // vertex, text style and script argument layouts): filled here before
    // each call, so that no call allocates.
    static constexpr std::size_t kVertexBufferBytes = 8192;
    static constexpr std::size_t kScriptArgumentBytes = 1024;
    alignas(16) std::array<std::uint8_t, kVertexBufferBytes> vertexRecords_{};
    alignas(16) std::array<std::uint8_t, 512> styleRecord_{};
    alignas(16) std::array<std::uint8_t, kScriptArgumentBytes> scriptInputs_{}, scriptOutputs_{};
};

}  // namespace kovra::windows
