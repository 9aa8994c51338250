#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "kovra/host/Host.h"
#include "sim/CPed.h"
#include "sim/CVehicle.h"
#include "sim/SimPool.h"
#include "sim/VehicleModel.h"

namespace kovra::sim {

// A small deterministic stand-in for the game: pools of vehicles and
// characters, model records, frame hierarchies and skinned skeletons, time,
// input and a screen that records what is drawn. Everything the plugin asks
// goes through the Host operations; everything a test or scene sets goes
// through the members below (or the public fields of CVehicle and CPed).
class SimHost : public Host {
public:
    static constexpr int kDefaultVehicleCapacity = 110;
    static constexpr int kDefaultPedCapacity = 140;
    static constexpr int kTypedCharCapacity = 30;
    // How long a time step of 1 lasts on the game's clock (timed messages).
    static constexpr float kMillisecondsPerTimeStep = 20.0f;

    // ---- recorders: what the plugin showed or asked for, in call order ----
    struct DrawnText {
        float x = 0.0f;
        float y = 0.0f;
        std::string text;
        TextStyle style;
    };
    struct DrawnRect {
        float left = 0.0f, top = 0.0f, right = 0.0f, bottom = 0.0f;
        Colour colour = 0;
    };
    struct TimedMessage {
        std::string text;
        int milliseconds = 0;
    };
    struct ErrorBox {
        std::string title;
        std::string text;
    };
    // The first kScriptArgsKept inputs of each call are kept.
    static constexpr std::size_t kScriptArgsKept = 4;
    struct ScriptCall {
        int opcode = 0;
        std::array<ScriptArg, kScriptArgsKept> args{};
        std::size_t argCount = 0;
        std::span<const ScriptArg> inputs() const { return {args.data(), argCount}; }
    };
    // Script calls kept after ClearRecords; later ones are only counted, so
    // that a long run neither grows the log nor allocates.
    static constexpr std::size_t kScriptCallsKept = 64;
    // Sinks one event's call sites can reach; InstallHooks refuses more.
    static constexpr std::size_t kMaxHookSinks = 16;
    struct CodePatch {
        std::uint8_t value = 0;
    };

    std::vector<DrawnText> drawnTexts;
    std::vector<DrawnRect> drawnRects;
    std::vector<LineVertex> drawnLines;      // pairs
    std::vector<LineVertex> drawnTriangles;  // triples
    std::vector<TimedMessage> timedMessages;
    std::vector<ErrorBox> errorBoxes;
    std::vector<std::string> openedUrls;
    std::vector<ScriptCall> scriptCalls;  // the first kScriptCallsKept
    int scriptCallCount = 0;              // every call since ClearRecords
    std::vector<CodePatch> codePatches;
    std::vector<HostEvent> installedHooks;  // every successful install, in order
    int frameUpdates = 0;  // UpdateFrame and UpdateVehicleFrames calls
    void ClearRecords();

    explicit SimHost(int vehicleCapacity = kDefaultVehicleCapacity,
                     int pedCapacity = kDefaultPedCapacity);

    // ---- model records ----------------------------------------------------
    // Adds or replaces the record of model.id; false (and the reason in
    // *error) when the record is invalid. Vehicles already built keep the
    // frames they were instanced with.
    bool AddVehicleModel(VehicleModel model, std::string* error = nullptr);
    const VehicleModel* Model(int modelId) const;  // null when none

    // ---- vehicles ---------------------------------------------------------
    // Null when the model is unknown, the matrix is not finite or the pool
    // is full.
    CVehicle* CreateVehicle(int modelId, const FrameMatrix& worldMatrix = FrameMatrix::Identity());
    // Unseats its occupants first. False for a vehicle not in the pool.
    bool DestroyVehicle(CVehicle* vehicle);
    int VehicleCount() const { return vehicles_.Used(); }
    HostFrame* FindFrame(CVehicle* vehicle, const std::string& name);  // exact name
    // Turns a two-wheeler's steering node about its own z axis by radians
    // from the model's rest pose, as the game does with the drawn bar angle.
    // Whole turns drop out, so any finite angle gives a finite frame.
    void TurnBikeSteering(CVehicle* vehicle, float radians);
    // The game's own physics step: the vehicle moves by its move speed (a
    // velocity per time step) times the time step.
    void MoveVehicle(CVehicle* vehicle);

    // ---- characters ---------------------------------------------------------
    CPed* CreatePed(const FrameMatrix& worldMatrix = FrameMatrix::Identity(), bool skinned = true);
    // Leaves its vehicle first; a destroyed player leaves no player. False
    // for a character not in the pool.
    bool DestroyPed(CPed* ped);
    int PedCount() const { return peds_.Used(); }
    bool SetPlayer(CPed* ped);  // null clears; false for a character not in the pool
    // Puts the character in the vehicle and places it: the driver at the
    // model's front seat mirrored in x (a two-wheeler's rider at the seat
    // itself), a passenger at the seat as given. A driver replaces the
    // vehicle's previous driver, who is unseated. False for objects not in
    // the pools.
    bool SeatPed(CPed* ped, CVehicle* vehicle, bool asDriver);
    void UnseatPed(CPed* ped);
    // Moves a seated character to its seat in the vehicle's current pose and
    // with the model's current seat record, and refreshes its skeleton.
    void PlaceSeatedPed(CPed* ped);
    // The game's own animation: the rest pose, every bone recomputed.
    void AnimatePed(CPed* ped);
    FrameMatrix* PedMatrix(CPed* ped) { return ped ? &ped->matrix : nullptr; }
    SimSkeleton* Skeleton(CPed* ped) { return ped ? ped->skeleton.get() : nullptr; }
    void SetPedTask(CPed* ped, TaskSlotKind kind, int index, int taskType);
    void AddAnimation(CPed* ped, const std::string& name);
    void RemoveAnimation(CPed* ped, const std::string& name);  // every one of that name

    // ---- time, input and the platform -------------------------------------
    void SetTimeStep(float step);  // non-finite or negative values are ignored
    void SetIkSuspended(bool suspended) { suspended_ = suspended; }
    void SetCameraPosition(const Vector3& pos) { camera_ = pos; }
    void SetScreenSize(int width, int height);
    void SetKeyDown(int vk, bool down);
    void SetKeyboard(const std::array<std::uint8_t, 256>& keys) { keys_ = keys; }
    void TypeText(const std::string& text);  // appended in order, the last is the newest
    void SetMouseMovement(float dx, float dy);
    const TextStyle& CurrentTextStyle() const { return textStyle_; }
    // The timed message on screen in this frame, or null: a message stays
    // for its milliseconds of game time, and a newer one replaces it.
    const TimedMessage* MessageOnScreen() const;
    void AddLoadedModule(const std::string& name) { modules_.insert(Upper(name)); }
    void RemoveLoadedModule(const std::string& name) { modules_.erase(Upper(name)); }
    // A trailing separator is added when missing; empty means "not found".
    void SetGameDirectory(const std::string& dir) { gameDir_ = WithSeparator(dir); }
    void SetPluginDirectory(const std::string& dir) { pluginDir_ = WithSeparator(dir); }
    void SetRefuseDrawing(bool refuse) { refuseDrawing_ = refuse; }

    // ---- the game's own loop ------------------------------------------------
    // The start of a session: the vehicle pool comes into being, then the
    // engine is ready (each raised through the installed hooks).
    void StartGame();
    // One frame, raising the events in the game's order: the frame start;
    // per vehicle its processing (and a bike's); the vehicle audio; per
    // character its animation, seat placement, the final pose and the head;
    // per vehicle the end of its frame; the overlay.
    void RunFrame();
    int FrameCount() const { return frameCount_; }
    // Calls Before on every sink hooked to the event, then the game's own
    // step, then After.
    template <typename Step>
    void Raise(HostEvent event, const HostEventArgs& args, Step&& step) {
        RaiseBefore(event, args);
        step();
        RaiseAfter(event, args);
    }
    void Raise(HostEvent event, const HostEventArgs& args) { Raise(event, args, [] {}); }
    int HookCount(HostEvent event) const;
    // Refuse every later InstallHooks of the event (a site the game build
    // does not have).
    void RefuseHooks(HostEvent event) { refusedHooks_.insert(event); }
    // Every event raised, in order, while recording is on.
    bool recordEvents = false;
    struct RaisedEvent {
        HostEvent event;
        bool after;
        const void* subject;  // the vehicle, character or bike, or null
    };
    std::vector<RaisedEvent> raisedEvents;

    // CRC-32 of the upper-cased name: the sim's case-insensitive name key.
    static std::uint32_t ComputeNameKey(const char* name);
    // The width TextWidth gives a text at a style's x scale.
    static float ComputeTextWidth(const char* text, float scaleX);
    // The game's own steps, shared with the test host so that it computes
    // them alike. The position the physics step moves a vehicle to, or `pos`
    // when that is not finite.
    static Vector3 ComputeMovedPosition(const Vector3& pos, const Vector3& moveSpeed, float timeStep);
    // A seated character's matrix in a vehicle posed `body`: at the model's
    // front seat, mirrored in x for a car's driver, keeping the character's
    // own flags. Null when it is not finite: nobody is seated beyond a
    // float's range.
    static std::optional<FrameMatrix> ComputeSeatMatrix(const FrameMatrix& body, Vector3 frontSeat, bool mirrored,
                                                        std::uint32_t flags);
    // A two-wheeler's steering node turned from its rest matrix; null when
    // the angle is not finite.
    static std::optional<FrameMatrix> ComputeSteeringMatrix(const FrameMatrix& rest, float radians);
    // The engine sound of a frame: its load value and audio flags, from the
    // pedal, the gear and the gear the sound last played.
    struct EngineSound {
        std::int32_t value = 0;
        std::uint8_t flags = 0;
    };
    static EngineSound ComputeEngineSound(float gasPedal, int gear, int gearHeard, std::uint8_t flags);

    // ---- Host: pools -------------------------------------------------------
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

    // ---- Host: model records -------------------------------------------------
    bool HasVehicleModel(int modelId) const override;
    int ModelVehicleType(int modelId) const override;
    const char* ModelName(int modelId) const override;
    Vector3 ModelFrontSeat(int modelId) const override;
    void SetModelFrontSeat(int modelId, const Vector3& seat) override;
    Vector3 ModelHandlebarPosition(int modelId) const override;

    // ---- Host: vehicles ------------------------------------------------------
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

    // ---- Host: characters ------------------------------------------------------
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

    // ---- Host: skeleton ----------------------------------------------------------
    int BoneHierarchyIndex(const CPed* ped, int boneId) const override;
    FrameMatrix* BoneMatrix(CPed* ped, int hierarchyIndex) override;
    BoneFrame* BoneFrameData(CPed* ped, int node) override;
    void UpdateSkeleton(CPed* ped) override;

    // ---- Host: frames and geometry ---------------------------------------------
    HostFrame* FrameFirstChild(HostFrame* frame) override;
    HostFrame* FrameNextSibling(HostFrame* frame) override;
    const char* FrameName(const HostFrame* frame) const override;
    FrameMatrix* FrameModelling(HostFrame* frame) override;
    const FrameMatrix* FrameWorld(HostFrame* frame) override;
    void UpdateFrame(HostFrame* frame) override;
    HostRenderable* FrameRenderable(HostFrame* frame) override;
    int RenderableVertexCount(const HostRenderable* object) const override;
    const Vector3* RenderableVertices(const HostRenderable* object) const override;

    // ---- Host: time, flags, names ------------------------------------------------
    float TimeStep() const override;
    bool IkSuspended() const override;
    std::uint32_t NameKey(const char* name) const override;

    // ---- Host: script commands ---------------------------------------------------
    bool RunScriptCommand(int opcode, std::span<const ScriptArg> inputs,
                          std::span<ScriptArg> outputs) override;

    // ---- Host: screen and input ----------------------------------------------------
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

    // ---- Host: the platform under the game ---------------------------------------
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
    template <class Call>
    void CallSinks(HostEvent event, Call&& call);
    void RaiseBefore(HostEvent event, const HostEventArgs& args);
    void RaiseAfter(HostEvent event, const HostEventArgs& args);
    void StepVehicleAudio(CVehicle& vehicle);
    static std::string Upper(const std::string& text);
    static std::string WithSeparator(const std::string& dir);
    VehicleModel* MutableModel(int modelId);

    std::map<int, VehicleModel> models_;
    SimPool<CVehicle> vehicles_;
    SimPool<CPed> peds_;
    std::vector<std::uint8_t> vehicleGenerations_;  // per slot, for script handles
    std::unordered_map<const CBike*, CVehicle*> bikes_;  // the live two-wheelers
    CPed* player_ = nullptr;

    std::array<std::vector<HookSink*>, static_cast<std::size_t>(HostEvent::Count)> hooks_;
    std::set<HostEvent> refusedHooks_;
    int frameCount_ = 0;

    float timeStep_ = 1.0f;
    bool suspended_ = false;
    Vector3 camera_;
    int screenWidth_ = 1920;
    int screenHeight_ = 1080;
    TextStyle textStyle_;
    std::map<int, std::uint32_t> renderStates_;
    bool refuseDrawing_ = false;
    std::array<std::uint8_t, 256> keys_{};
    std::string typed_;  // newest first
    TimedMessage shownMessage_;
    float shownMilliseconds_ = 0.0f;  // left on screen
    float mouseDx_ = 0.0f;
    float mouseDy_ = 0.0f;
    std::set<std::string> modules_;  // upper-cased
    std::string gameDir_;
    std::string pluginDir_;
};

}  // namespace kovra::sim
