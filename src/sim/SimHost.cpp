#include "sim/SimHost.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "kovra/ik/Geometry.h"
#include "kovra/ik/Skeleton.h"
#include "sim/HostText.h"

namespace kovra::sim {

namespace {

// Nominal width of one glyph at text scale 1, in screen units.
constexpr float kGlyphWidth = 10.0f;
constexpr float kTwoPi = 6.2831853f;

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

SimHost::SimHost(int vehicleCapacity, int pedCapacity)
    : vehicles_(vehicleCapacity),
      peds_(pedCapacity),
      vehicleGenerations_(static_cast<std::size_t>(vehicles_.Capacity()), 0) {
    scriptCalls.reserve(kScriptCallsKept);
}

void SimHost::ClearRecords() {
    drawnTexts.clear();
    drawnRects.clear();
    drawnLines.clear();
    drawnTriangles.clear();
    timedMessages.clear();
    errorBoxes.clear();
    openedUrls.clear();
    scriptCalls.clear();
    scriptCallCount = 0;
    codePatches.clear();
    installedHooks.clear();
    frameUpdates = 0;
}

std::string SimHost::Upper(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = UpperAscii(c);
    return out;
}

std::string SimHost::WithSeparator(const std::string& dir) {
    if (dir.empty() || dir.back() == '/' || dir.back() == '\\') return dir;
    return dir + '/';
}

std::uint32_t SimHost::ComputeNameKey(const char* name) {
    std::uint32_t crc = 0xffffffffu;
    if (name) {
        for (const char* p = name; *p; ++p) {
            crc ^= static_cast<std::uint8_t>(UpperAscii(*p));
            for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

// ---- model records -----------------------------------------------------------

bool SimHost::AddVehicleModel(VehicleModel model, std::string* error) {
    if (!model.Validate(error)) return false;
    const int id = model.id;
    models_.insert_or_assign(id, std::move(model));
    return true;
}

const VehicleModel* SimHost::Model(int modelId) const {
    const auto it = models_.find(modelId);
    return it == models_.end() ? nullptr : &it->second;
}

VehicleModel* SimHost::MutableModel(int modelId) {
    const auto it = models_.find(modelId);
    return it == models_.end() ? nullptr : &it->second;
}

bool SimHost::HasVehicleModel(int modelId) const { return Model(modelId) != nullptr; }

int SimHost::ModelVehicleType(int modelId) const {
    const VehicleModel* m = Model(modelId);
    return m ? m->type : -1;
}

const char* SimHost::ModelName(int modelId) const {
    const VehicleModel* m = Model(modelId);
    return m ? m->name.c_str() : "";
}

Vector3 SimHost::ModelFrontSeat(int modelId) const {
    const VehicleModel* m = Model(modelId);
    return m ? m->frontSeat : Vector3{};
}

void SimHost::SetModelFrontSeat(int modelId, const Vector3& seat) {
    VehicleModel* m = MutableModel(modelId);
    if (m && IsFinite(seat)) m->frontSeat = seat;
}

Vector3 SimHost::ModelHandlebarPosition(int modelId) const {
    const VehicleModel* m = Model(modelId);
    return m ? m->handlebar : Vector3{};
}

// ---- vehicles ------------------------------------------------------------------

CVehicle* SimHost::CreateVehicle(int modelId, const FrameMatrix& worldMatrix) {
    const VehicleModel* model = Model(modelId);
    if (!model || !IsFinite(worldMatrix)) return nullptr;
    auto vehicle = std::make_unique<CVehicle>(*model, worldMatrix);
    CVehicle* raw = vehicle.get();
    const int slot = vehicles_.Add(std::move(vehicle));
    if (slot < 0) return nullptr;
    // Like the game's handles: the slot and a per-slot reuse count.
    std::uint8_t& generation = vehicleGenerations_[static_cast<std::size_t>(slot)];
    generation = static_cast<std::uint8_t>(generation + 1);
    raw->scriptHandle = (slot << 8) | generation;
    if (raw->bike) bikes_.emplace(raw->bike.get(), raw);
    HostEventArgs args;
    args.vehicle = raw;
    RaiseAfter(HostEvent::VehicleCreated, args);  // the constructor has run
    return raw;
}

bool SimHost::DestroyVehicle(CVehicle* vehicle) {
    const int slot = VehicleSlot(vehicle);
    if (slot < 0) return false;
    HostEventArgs args;
    args.vehicle = vehicle;
    RaiseBefore(HostEvent::VehicleDestroyed, args);  // the destructor has not run yet
    peds_.ForEach([&](CPed& ped) {
        if (ped.vehicle == vehicle) UnseatPed(&ped);
    });
    if (vehicle->bike) bikes_.erase(vehicle->bike.get());
    vehicles_.Remove(slot);
    return true;
}

HostFrame* SimHost::FindFrame(CVehicle* vehicle, const std::string& name) {
    return vehicle ? vehicle->frames.Find(name) : nullptr;
}

void SimHost::TurnBikeSteering(CVehicle* vehicle, float radians) {
    if (!vehicle || !vehicle->steeringFrame) return;
    const FrameMatrix* rest = vehicle->frames.RestModelling(vehicle->steeringFrame);
    if (!rest) return;
    if (const std::optional<FrameMatrix> m = ComputeSteeringMatrix(*rest, radians)) {
        vehicle->steeringFrame->modelling = *m;
    }
}

std::optional<FrameMatrix> SimHost::ComputeSteeringMatrix(const FrameMatrix& rest, float radians) {
    if (!IsFinite(radians)) return std::nullopt;
    FrameMatrix m = rest;
    const float turn = std::remainder(radians, kTwoPi);
    RotateFrame(m, AxisZ, turn * kRadToDeg, Combine::Local);
    if (!IsFinite(m)) return std::nullopt;
    return m;
}

void SimHost::MoveVehicle(CVehicle* vehicle) {
    if (vehicle) vehicle->matrix.pos = ComputeMovedPosition(vehicle->matrix.pos, vehicle->state.moveSpeed, timeStep_);
}

Vector3 SimHost::ComputeMovedPosition(const Vector3& pos, const Vector3& moveSpeed, float timeStep) {
    const Vector3 moved = pos + moveSpeed * timeStep;
    return IsFinite(moved) ? moved : pos;
}

int SimHost::VehicleModelId(const CVehicle* vehicle) const {
    return vehicle ? vehicle->modelId : -1;
}

CPed* SimHost::VehicleDriver(const CVehicle* vehicle) const {
    return vehicle ? vehicle->driver : nullptr;
}

VehicleState SimHost::ReadVehicleState(const CVehicle* vehicle) const {
    return vehicle ? vehicle->state : VehicleState{};
}

FrameMatrix* SimHost::VehicleMatrix(CVehicle* vehicle) {
    return vehicle ? &vehicle->matrix : nullptr;
}

HostFrame* SimHost::VehicleRootFrame(CVehicle* vehicle) {
    return vehicle ? vehicle->frames.Root() : nullptr;
}

void SimHost::UpdateVehicleFrames(CVehicle* vehicle) {
    ++frameUpdates;
    if (vehicle) vehicle->frames.UpdateAll();
}

CBike* SimHost::AsBike(CVehicle* vehicle) { return vehicle ? vehicle->bike.get() : nullptr; }

CVehicle* SimHost::BikeVehicle(CBike* bike) {
    // Looked up without touching the bike, so a stale one is answered with null.
    const auto it = bikes_.find(bike);
    return it == bikes_.end() ? nullptr : it->second;
}

HostFrame* SimHost::BikeBodyFrame(CVehicle* vehicle) {
    return vehicle ? vehicle->bodyFrame : nullptr;
}

HostFrame* SimHost::BikeSteeringFrame(CVehicle* vehicle) {
    return vehicle ? vehicle->steeringFrame : nullptr;
}

void SimHost::SetBikeDrawnBarAngle(CBike* bike, float radians) {
    if (!bike || !IsFinite(radians)) return;
    bike->drawnBarAngle = radians;
    ++bike->drawnBarAngleWrites;
}

CVehicle* SimHost::AudioParamsVehicle(const cVehicleParams* params) const {
    return params ? params->vehicle : nullptr;
}

CVehicle* SimHost::AudioEntityVehicle(const CAEVehicleAudioEntity* entity) const {
    return entity ? entity->vehicle : nullptr;
}

// ---- pools ------------------------------------------------------------------------

int SimHost::VehiclePoolCapacity() const { return vehicles_.Capacity(); }
CVehicle* SimHost::VehicleInSlot(int slot) const { return vehicles_.At(slot); }
int SimHost::VehicleSlot(const CVehicle* vehicle) const { return vehicles_.SlotOf(vehicle); }
int SimHost::PedPoolCapacity() const { return peds_.Capacity(); }
CPed* SimHost::PedInSlot(int slot) const { return peds_.At(slot); }
int SimHost::PedSlot(const CPed* ped) const { return peds_.SlotOf(ped); }
CPed* SimHost::PlayerPed() const { return player_; }
bool SimHost::IsPlayerPed(const CPed* ped) const { return ped && ped == player_; }

int SimHost::VehicleScriptHandle(const CVehicle* vehicle) const {
    return VehicleSlot(vehicle) < 0 ? -1 : vehicle->scriptHandle;
}

Vector3 SimHost::CameraPosition() const { return camera_; }

// ---- characters --------------------------------------------------------------------

CPed* SimHost::CreatePed(const FrameMatrix& worldMatrix, bool skinned) {
    if (!IsFinite(worldMatrix)) return nullptr;
    auto ped = std::make_unique<CPed>(worldMatrix, skinned);
    CPed* raw = ped.get();
    return peds_.Add(std::move(ped)) < 0 ? nullptr : raw;
}

bool SimHost::DestroyPed(CPed* ped) {
    const int slot = PedSlot(ped);
    if (slot < 0) return false;
    UnseatPed(ped);
    if (player_ == ped) player_ = nullptr;
    peds_.Remove(slot);
    return true;
}

bool SimHost::SetPlayer(CPed* ped) {
    if (ped && PedSlot(ped) < 0) return false;
    player_ = ped;
    return true;
}

bool SimHost::SeatPed(CPed* ped, CVehicle* vehicle, bool asDriver) {
    if (PedSlot(ped) < 0 || VehicleSlot(vehicle) < 0) return false;
    UnseatPed(ped);
    if (asDriver) {
        if (vehicle->driver) UnseatPed(vehicle->driver);
        vehicle->driver = ped;
        ped->state = kPedStateDriving;
        ped->seat = PedSeat::Driver;
    } else {
        ped->state = kPedStatePassenger;
        ped->seat = PedSeat::Passenger;
    }
    ped->inVehicle = true;
    ped->vehicle = vehicle;
    PlaceSeatedPed(ped);
    return true;
}

void SimHost::UnseatPed(CPed* ped) {
    if (!ped || !ped->vehicle) return;
    if (ped->vehicle->driver == ped) ped->vehicle->driver = nullptr;
    ped->vehicle = nullptr;
    ped->inVehicle = false;
    ped->seat = PedSeat::None;
    ped->state = kPedStateIdle;
}

void SimHost::PlaceSeatedPed(CPed* ped) {
    if (!ped || !ped->vehicle) return;
    const VehicleModel* model = Model(ped->vehicle->modelId);
    const bool mirrored = ped->seat == PedSeat::Driver && !(model && model->IsBike());
    const std::optional<FrameMatrix> placed =
        ComputeSeatMatrix(ped->vehicle->matrix, model ? model->frontSeat : Vector3{}, mirrored, ped->matrix.flags);
    // A vehicle driven to the edge of what a float holds cannot seat anyone
    // beyond it; the rider stays where he was.
    if (!placed) return;
    ped->matrix = *placed;
    if (ped->skeleton) ped->skeleton->Refresh(ped->matrix);
}

std::optional<FrameMatrix> SimHost::ComputeSeatMatrix(const FrameMatrix& body, Vector3 frontSeat, bool mirrored,
                                                      std::uint32_t flags) {
    // The record holds the front passenger's seat; a car's driver sits at
    // its mirror image.
    if (mirrored) frontSeat.x = -frontSeat.x;
    FrameMatrix placed = body;
    placed.pos = TransformPoint(frontSeat, body);
    placed.flags = flags;
    if (!IsFinite(placed)) return std::nullopt;
    return placed;
}

void SimHost::AnimatePed(CPed* ped) {
    if (!ped || !ped->skeleton) return;
    // The game poses from scratch: every matrix is rebuilt, including ones
    // the plugin wrote directly.
    ped->skeleton->ApplyRestPose();
    ped->skeleton->RefreshAll(ped->matrix);
}

void SimHost::SetPedTask(CPed* ped, TaskSlotKind kind, int index, int taskType) {
    if (!ped || index < 0 || index >= kPedTaskSlots) return;
    auto& slots = kind == TaskSlotKind::Primary ? ped->primaryTasks : ped->secondaryTasks;
    slots[static_cast<std::size_t>(index)] = taskType;
}

void SimHost::AddAnimation(CPed* ped, const std::string& name) {
    if (!ped) return;
    ped->animations.push_back({name, ComputeNameKey(name.c_str())});
}

void SimHost::RemoveAnimation(CPed* ped, const std::string& name) {
    if (!ped) return;
    std::erase_if(ped->animations, [&](const HostAnimation& a) { return a.name == name; });
}

bool SimHost::PedHasModel(const CPed* ped) const { return ped && ped->hasModel; }
int SimHost::PedState(const CPed* ped) const { return ped ? ped->state : -1; }
bool SimHost::PedInVehicle(const CPed* ped) const { return ped && ped->inVehicle; }
CVehicle* SimHost::PedVehicle(const CPed* ped) const { return ped ? ped->vehicle : nullptr; }
std::uint32_t SimHost::PedEntityFlags(const CPed* ped) const { return ped ? ped->entityFlags : 0u; }

void SimHost::SetPedEntityFlags(CPed* ped, std::uint32_t flags) {
    if (ped) ped->entityFlags = flags;
}

int SimHost::PedTaskType(const CPed* ped, TaskSlotKind kind, int index) const {
    if (!ped || index < 0 || index >= kPedTaskSlots) return -1;
    const auto& slots = kind == TaskSlotKind::Primary ? ped->primaryTasks : ped->secondaryTasks;
    return slots[static_cast<std::size_t>(index)];
}

HostAnimation* SimHost::FirstAnimation(CPed* ped) {
    if (!ped || !ped->hasModel || ped->animations.empty()) return nullptr;
    return &ped->animations.front();
}

HostAnimation* SimHost::NextAnimation(CPed* ped, HostAnimation* current) {
    if (!ped || !current) return nullptr;
    auto& list = ped->animations;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (&list[i] == current) return i + 1 < list.size() ? &list[i + 1] : nullptr;
    }
    return nullptr;
}

std::uint32_t SimHost::AnimationNameKey(const HostAnimation* animation) const {
    return animation ? animation->nameKey : 0u;
}

// ---- skeleton ------------------------------------------------------------------------

int SimHost::BoneHierarchyIndex(const CPed* ped, int boneId) const {
    if (!ped || !ped->skeleton) return -1;
    if (boneId == kRootBone) return 0;
    const NodeIndex node = BoneIdToNode(boneId);
    return node == 0 ? -1 : node;
}

FrameMatrix* SimHost::BoneMatrix(CPed* ped, int hierarchyIndex) {
    return ped && ped->skeleton ? ped->skeleton->Matrix(hierarchyIndex) : nullptr;
}

BoneFrame* SimHost::BoneFrameData(CPed* ped, int node) {
    return ped && ped->skeleton ? ped->skeleton->Frame(node) : nullptr;
}

void SimHost::UpdateSkeleton(CPed* ped) {
    if (ped && ped->skeleton) ped->skeleton->Refresh(ped->matrix);
}

// ---- frames and geometry -----------------------------------------------------------------

HostFrame* SimHost::FrameFirstChild(HostFrame* frame) {
    return frame ? frame->firstChild : nullptr;
}
HostFrame* SimHost::FrameNextSibling(HostFrame* frame) {
    return frame ? frame->nextSibling : nullptr;
}
const char* SimHost::FrameName(const HostFrame* frame) const {
    return frame ? frame->name.c_str() : "";
}
FrameMatrix* SimHost::FrameModelling(HostFrame* frame) {
    return frame ? &frame->modelling : nullptr;
}

const FrameMatrix* SimHost::FrameWorld(HostFrame* frame) {
    return frame ? &FrameHierarchy::World(*frame) : nullptr;
}

void SimHost::UpdateFrame(HostFrame* frame) {
    ++frameUpdates;
    if (frame) FrameHierarchy::Update(*frame);
}

HostRenderable* SimHost::FrameRenderable(HostFrame* frame) {
    return frame ? frame->renderable.get() : nullptr;
}

int SimHost::RenderableVertexCount(const HostRenderable* object) const {
    return object ? static_cast<int>(object->vertices.size()) : 0;
}

const Vector3* SimHost::RenderableVertices(const HostRenderable* object) const {
    return object && !object->vertices.empty() ? object->vertices.data() : nullptr;
}

// ---- time, flags, names ------------------------------------------------------------------

void SimHost::SetTimeStep(float step) {
    if (IsFinite(step) && step >= 0.0f) timeStep_ = step;
}

float SimHost::TimeStep() const { return timeStep_; }
bool SimHost::IkSuspended() const { return suspended_; }
std::uint32_t SimHost::NameKey(const char* name) const { return ComputeNameKey(name); }

bool SimHost::RunScriptCommand(int opcode, std::span<const ScriptArg> inputs,
                               std::span<ScriptArg> outputs) {
    ++scriptCallCount;
    if (scriptCalls.size() < kScriptCallsKept) {
        ScriptCall& call = scriptCalls.emplace_back();
        call.opcode = opcode;
        call.argCount = std::min(inputs.size(), kScriptArgsKept);
        std::copy_n(inputs.begin(), call.argCount, call.args.begin());
    }
    for (ScriptArg& out : outputs) {
        out.i = 0;
        out.f = 0.0f;
    }
    return true;
}

// ---- screen and input ----------------------------------------------------------------------

void SimHost::SetScreenSize(int width, int height) {
    if (width > 0) screenWidth_ = width;
    if (height > 0) screenHeight_ = height;
}

int SimHost::ScreenWidth() const { return screenWidth_; }
int SimHost::ScreenHeight() const { return screenHeight_; }
void SimHost::SetTextStyle(const TextStyle& style) { textStyle_ = style; }

void SimHost::DrawText(float x, float y, const char* text) {
    drawnTexts.push_back({x, y, text ? text : "", textStyle_});
}

float SimHost::TextWidth(const char* text) const { return ComputeTextWidth(text, textStyle_.scaleX); }

float SimHost::ComputeTextWidth(const char* text, float scaleX) {
    if (!text) return 0.0f;
    // Colour and layout codes ("~w~", "~n~", ...) take no room; the widest
    // line counts.
    return static_cast<float>(HostTextGlyphs(text)) * kGlyphWidth * scaleX;
}

void SimHost::DrawRect(float left, float top, float right, float bottom, Colour colour) {
    drawnRects.push_back({left, top, right, bottom, colour});
}

std::uint32_t SimHost::RenderState(int state) const {
    const auto it = renderStates_.find(state);
    return it == renderStates_.end() ? 0u : it->second;
}

void SimHost::SetRenderState(int state, std::uint32_t value) { renderStates_[state] = value; }

bool SimHost::DrawLines(std::span<const LineVertex> vertices) {
    if (refuseDrawing_ || vertices.size() % 2 != 0) return false;
    drawnLines.insert(drawnLines.end(), vertices.begin(), vertices.end());
    return true;
}

bool SimHost::DrawTriangles(std::span<const LineVertex> vertices) {
    if (refuseDrawing_ || vertices.size() % 3 != 0) return false;
    drawnTriangles.insert(drawnTriangles.end(), vertices.begin(), vertices.end());
    return true;
}

void SimHost::ShowTimedMessage(const char* text, int milliseconds) {
    timedMessages.push_back({text ? text : "", milliseconds});
    // The game shows one at a time: the newest replaces the one on screen.
    shownMessage_ = timedMessages.back();
    shownMilliseconds_ = static_cast<float>(milliseconds);
}

const SimHost::TimedMessage* SimHost::MessageOnScreen() const {
    return shownMilliseconds_ > 0.0f ? &shownMessage_ : nullptr;
}

void SimHost::TypeText(const std::string& text) {
    for (char c : text) typed_.insert(typed_.begin(), c);
    // The game's buffer is short; the oldest characters fall off its end.
    if (typed_.size() > static_cast<std::size_t>(kTypedCharCapacity)) {
        typed_.resize(static_cast<std::size_t>(kTypedCharCapacity));
    }
}

int SimHost::TypedCharCount() const { return static_cast<int>(typed_.size()); }

char SimHost::TypedChar(int newestFirstIndex) const {
    if (newestFirstIndex < 0 || newestFirstIndex >= TypedCharCount()) return '\0';
    return typed_[static_cast<std::size_t>(newestFirstIndex)];
}

void SimHost::ClearTypedChars() { typed_.clear(); }

void SimHost::SetMouseMovement(float dx, float dy) {
    mouseDx_ = IsFinite(dx) ? dx : 0.0f;
    mouseDy_ = IsFinite(dy) ? dy : 0.0f;
}

void SimHost::MouseMovement(float& dx, float& dy) const {
    dx = mouseDx_;
    dy = mouseDy_;
}

void SimHost::SetKeyDown(int vk, bool down) {
    if (vk < 0 || vk >= 256) return;
    keys_[static_cast<std::size_t>(vk)] = down ? 0x80 : 0x00;
}

// ---- the platform --------------------------------------------------------------------------

void SimHost::ReadKeyboard(std::uint8_t keys[256]) const {
    if (keys) std::memcpy(keys, keys_.data(), keys_.size());
}

bool SimHost::ModuleLoaded(const char* moduleName) const {
    // Module names compare without regard to case, as the platform's do.
    return moduleName && modules_.count(Upper(moduleName)) != 0;
}

bool SimHost::GameDirectory(std::string& out) const {
    if (gameDir_.empty()) return false;
    out = gameDir_;
    return true;
}

bool SimHost::PluginDirectory(std::string& out) const {
    if (pluginDir_.empty()) return false;
    out = pluginDir_;
    return true;
}

void SimHost::ShowErrorBox(const char* title, const char* text) {
    errorBoxes.push_back({title ? title : "", text ? text : ""});
}

bool SimHost::PatchStartupByte(std::uint8_t value) {
    codePatches.push_back({value});
    return true;
}

bool SimHost::InstallHooks(HostEvent event, HookSink& sink) {
    if (event == HostEvent::Count || refusedHooks_.count(event)) return false;
    auto& sinks = hooks_[static_cast<std::size_t>(event)];
    if (sinks.size() >= kMaxHookSinks) return false;
    sinks.push_back(&sink);
    installedHooks.push_back(event);
    return true;
}

void SimHost::RemoveHooks(HostEvent event, HookSink& sink) {
    if (event == HostEvent::Count) return;
    auto& sinks = hooks_[static_cast<std::size_t>(event)];
    sinks.erase(std::remove(sinks.begin(), sinks.end(), &sink), sinks.end());
}

int SimHost::HookCount(HostEvent event) const {
    if (event == HostEvent::Count) return 0;
    return static_cast<int>(hooks_[static_cast<std::size_t>(event)].size());
}

namespace {
const void* SubjectOf(const HostEventArgs& args) {
    if (args.vehicle) return args.vehicle;
    if (args.ped) return args.ped;
    if (args.bike) return args.bike;
    return args.params;
}
}  // namespace

template <class Call>
void SimHost::CallSinks(HostEvent event, Call&& call) {
    if (event == HostEvent::Count) return;
    // A copy, since a callback may install or remove hooks; on the stack, so
    // that raising an event allocates nothing.
    const auto& live = hooks_[static_cast<std::size_t>(event)];
    std::array<HookSink*, kMaxHookSinks> sinks{};
    const std::size_t count = std::min(live.size(), sinks.size());
    std::copy_n(live.begin(), count, sinks.begin());
    for (std::size_t i = 0; i < count; ++i) call(*sinks[i]);
}

void SimHost::RaiseBefore(HostEvent event, const HostEventArgs& args) {
    if (recordEvents) raisedEvents.push_back({event, false, SubjectOf(args)});
    CallSinks(event, [&](HookSink& sink) { sink.Before(event, args); });
}

void SimHost::RaiseAfter(HostEvent event, const HostEventArgs& args) {
    if (recordEvents) raisedEvents.push_back({event, true, SubjectOf(args)});
    CallSinks(event, [&](HookSink& sink) { sink.After(event, args); });
}

// ---- the game's own loop --------------------------------------------------------

void SimHost::StartGame() {
    Raise(HostEvent::VehiclePoolCreated, {});
    Raise(HostEvent::EngineReady, {});
}

SimHost::EngineSound SimHost::ComputeEngineSound(float gasPedal, int gear, int gearHeard, std::uint8_t flags) {
    EngineSound sound;
    // The engine is under load while the gas pedal is down.
    sound.value = gasPedal > 0.0f ? 1 : 0;
    // The engine sound changes gear when the gearbox goes up a forward gear.
    sound.flags = static_cast<std::uint8_t>(flags & ~kAudioGearChangeBit);
    if (gear > gearHeard && gearHeard > 0) sound.flags = static_cast<std::uint8_t>(sound.flags | kAudioGearChangeBit);
    return sound;
}

void SimHost::StepVehicleAudio(CVehicle& vehicle) {
    const EngineSound sound = ComputeEngineSound(vehicle.state.gasPedal, vehicle.state.gear,
                                                 vehicle.audioGearHeard, vehicle.state.audioFlags);
    vehicle.state.audioValue = sound.value;
    vehicle.state.audioFlags = sound.flags;
    vehicle.audioGearHeard = vehicle.state.gear;
}

void SimHost::RunFrame() {
    ++frameCount_;
    shownMilliseconds_ -= timeStep_ * kMillisecondsPerTimeStep;
    HostEventArgs frameArgs;
    frameArgs.frame = frameCount_;
    Raise(HostEvent::Frame, frameArgs);

    vehicles_.ForEach([&](CVehicle& vehicle) {
        HostEventArgs args;
        args.vehicle = &vehicle;
        Raise(HostEvent::VehicleProcess, args, [&] { MoveVehicle(&vehicle); });
        if (CBike* bike = vehicle.bike.get()) {
            HostEventArgs bikeArgs;
            bikeArgs.bike = bike;
            bike->drawnBarAngle = vehicle.state.barAngle;  // the game's own choice
            Raise(HostEvent::BikeProcess, bikeArgs,
                  [&] { TurnBikeSteering(&vehicle, bike->drawnBarAngle); });
        }
    });
    vehicles_.ForEach([&](CVehicle& vehicle) {
        HostEventArgs args;
        args.audio = &vehicle.audioEntity;
        args.params = &vehicle.audioParams;
        Raise(HostEvent::VehicleAudioGear, args, [&] { StepVehicleAudio(vehicle); });
    });
    peds_.ForEach([&](CPed& ped) {
        AnimatePed(&ped);
        HostEventArgs args;
        args.ped = &ped;
        if (ped.vehicle) Raise(HostEvent::SeatPlacement, args, [&] { PlaceSeatedPed(&ped); });
        Raise(HostEvent::PedIk, args);
        Raise(HostEvent::PedHead, args);
    });
    vehicles_.ForEach([&](CVehicle& vehicle) {
        HostEventArgs args;
        args.vehicle = &vehicle;
        Raise(HostEvent::VehicleFrameEnd, args);
    });
    Raise(HostEvent::OverlayB, {});
}

void SimHost::OpenUrl(const char* url) { openedUrls.push_back(url ? url : ""); }

}  // namespace kovra::sim
