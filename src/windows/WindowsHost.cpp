#include "windows/WindowsHost.h"

#include <windows.h>
#undef DrawText  // a Host operation, not the Windows call
#include <shellapi.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <string_view>

#include "kovra/ik/Geometry.h"
#include "kovra/ik/Skeleton.h"
#include "windows/ModuleFolder.h"

namespace kovra::windows {

namespace {

using Bytes = std::uint8_t*;

Bytes Raw(const void* p) { return static_cast<Bytes>(const_cast<void*>(p)); }

template <class T>
T Get(const void* record, Offset offset) {
    T value{};
    if (record != nullptr) std::memcpy(&value, Raw(record) + offset, sizeof value);
    return value;
}

template <class T>
void Put(void* record, Offset offset, const T& value) {
    if (record != nullptr) std::memcpy(Raw(record) + offset, &value, sizeof value);
}

template <class T>
T* Field(const void* record, Offset offset) {
    return record == nullptr ? nullptr : reinterpret_cast<T*>(Raw(record) + offset);
}

Bytes Pointer(const void* record, Offset offset) { return Get<Bytes>(record, offset); }

// A name in a fixed-length field; one that fills the field with no end is
// read as no name rather than past the record.
const char* FixedName(const char* field, std::int32_t length) {
    return length > 0 && std::memchr(field, 0, static_cast<std::size_t>(length)) != nullptr ? field : "";
}

// The UTF-8 text of a module's folder; false when Windows has none.
bool ModuleFolderText(HMODULE module, std::string& out) {
    std::wstring path;
    if (!ModuleFolder(module, path)) return false;
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()),
                                          nullptr, 0, nullptr, nullptr);
    out.assign(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) {
        WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), out.data(),
                            bytes, nullptr, nullptr);
    }
    return true;
}

}  // namespace

WindowsHost::WindowsHost(const HostBuild& build, std::uintptr_t base, const void* module)
    : build_(build), moved_(base - build.preferredBase), module_(module) {}

WindowsHost::~WindowsHost() = default;

// ---- pools ------------------------------------------------------------------

WindowsHost::Pool WindowsHost::PoolOf(const PoolLayout& layout) const {
    Pool pool;
    const Bytes record = *reinterpret_cast<Bytes*>(At(layout.pointer));
    if (record == nullptr) return pool;
    pool.objects = Pointer(record, layout.objects);
    pool.flags = Pointer(record, layout.flags);
    pool.capacity = pool.objects && pool.flags ? Get<std::int32_t>(record, layout.capacity) : 0;
    pool.size = layout.objectSize;
    return pool;
}

void* WindowsHost::InSlot(const PoolLayout& layout, int slot) const {
    const Pool pool = PoolOf(layout);
    if (slot < 0 || slot >= pool.capacity || (pool.flags[slot] & 0x80) != 0) return nullptr;
    return pool.objects + static_cast<std::ptrdiff_t>(slot) * pool.size;
}

int WindowsHost::SlotOf(const PoolLayout& layout, const void* object) const {
    const Pool pool = PoolOf(layout);
    const auto p = reinterpret_cast<std::uintptr_t>(object);
    const auto first = reinterpret_cast<std::uintptr_t>(pool.objects);
    if (object == nullptr || pool.capacity == 0 || p < first) return -1;
    const std::uintptr_t offset = p - first;
    const auto slot = static_cast<int>(offset / static_cast<std::uintptr_t>(pool.size));
    if (offset % static_cast<std::uintptr_t>(pool.size) != 0 || slot >= pool.capacity) return -1;
    return (pool.flags[slot] & 0x80) != 0 ? -1 : slot;
}

int WindowsHost::VehiclePoolCapacity() const { return PoolOf(build_.vehiclePool).capacity; }
CVehicle* WindowsHost::VehicleInSlot(int slot) const {
    return static_cast<CVehicle*>(InSlot(build_.vehiclePool, slot));
}
int WindowsHost::VehicleSlot(const CVehicle* vehicle) const { return SlotOf(build_.vehiclePool, vehicle); }
int WindowsHost::PedPoolCapacity() const { return PoolOf(build_.pedPool).capacity; }
CPed* WindowsHost::PedInSlot(int slot) const { return static_cast<CPed*>(InSlot(build_.pedPool, slot)); }
int WindowsHost::PedSlot(const CPed* ped) const { return SlotOf(build_.pedPool, ped); }

CPed* WindowsHost::PlayerPed() const {
    return *reinterpret_cast<CPed**>(At(build_.globals.playerPed));
}
bool WindowsHost::IsPlayerPed(const CPed* ped) const { return ped != nullptr && ped == PlayerPed(); }

int WindowsHost::VehicleScriptHandle(const CVehicle* vehicle) const {
    // The game's handles: the slot and the slot's reuse count.
    const int slot = VehicleSlot(vehicle);
    if (slot < 0) return -1;
    return (slot << 8) | PoolOf(build_.vehiclePool).flags[slot];
}

Vector3 WindowsHost::CameraPosition() const {
    return *reinterpret_cast<const Vector3*>(At(build_.globals.cameraPosition));
}

// ---- model records -------------------------------------------------------------

std::uint8_t* WindowsHost::ModelRecord(int modelId) const {
    if (modelId < 0 || modelId >= build_.globals.modelCount) return nullptr;
    return reinterpret_cast<Bytes*>(At(build_.globals.modelTable))[modelId];
}

std::uint8_t* WindowsHost::Structure(int modelId) const {
    return Pointer(ModelRecord(modelId), build_.model.structure);
}

bool WindowsHost::HasVehicleModel(int modelId) const { return ModelRecord(modelId) != nullptr; }

int WindowsHost::ModelVehicleType(int modelId) const {
    const Bytes record = ModelRecord(modelId);
    return record ? Get<std::int32_t>(record, build_.model.type) : -1;
}

const char* WindowsHost::ModelName(int modelId) const {
    const Bytes record = ModelRecord(modelId);
    return record ? FixedName(Field<const char>(record, build_.model.name), build_.model.nameLength) : "";
}

Vector3 WindowsHost::ModelFrontSeat(int modelId) const {
    return Get<Vector3>(Structure(modelId), build_.model.frontSeat);
}

void WindowsHost::SetModelFrontSeat(int modelId, const Vector3& seat) {
    if (IsFinite(seat)) Put(Structure(modelId), build_.model.frontSeat, seat);
}

Vector3 WindowsHost::ModelHandlebarPosition(int modelId) const {
    return Get<Vector3>(Structure(modelId), build_.model.handlebar);
}

// ---- vehicles -----------------------------------------------------------------------

int WindowsHost::VehicleModelId(const CVehicle* vehicle) const {
    return vehicle ? Get<std::int16_t>(vehicle, build_.vehicle.modelId) : -1;
}

CPed* WindowsHost::VehicleDriver(const CVehicle* vehicle) const {
    return Get<CPed*>(vehicle, build_.vehicle.driver);
}

VehicleState WindowsHost::ReadVehicleState(const CVehicle* v) const {
    VehicleState s;
    if (v == nullptr) return s;
    const VehicleLayout& l = build_.vehicle;
    s.steerAngle = Get<float>(v, l.steerAngle);
    s.gasPedal = Get<float>(v, l.gasPedal);
    s.brakePedal = Get<float>(v, l.brakePedal);
    s.handBrake = Get<std::uint8_t>(v, l.handBrake) != 0;
    s.gear = Get<std::uint8_t>(v, l.gear);
    s.stateByte = Get<std::uint8_t>(v, l.stateByte);
    s.audioValue = Get<std::int32_t>(v, l.audioValue);
    s.audioFlags = Get<std::uint8_t>(v, l.audioFlags);
    s.speed = Get<float>(v, l.speed);
    s.moveSpeed = Get<Vector3>(v, l.moveSpeed);
    s.lean = Get<float>(v, l.lean);
    s.wheelsOnGround = Get<std::uint8_t>(v, l.wheelsOnGround);
    s.barAngle = Get<float>(v, l.barAngle);
    const Bytes handling = Pointer(v, l.handling);
    s.animGroup = Get<std::uint8_t>(handling, l.handlingAnimGroup);
    s.leanLimit = Get<float>(handling, l.handlingLeanLimit);
    return s;
}

FrameMatrix* WindowsHost::VehicleMatrix(CVehicle* vehicle) {
    return Get<FrameMatrix*>(vehicle, build_.vehicle.matrix);
}

HostFrame* WindowsHost::VehicleRootFrame(CVehicle* vehicle) {
    return Get<HostFrame*>(Pointer(vehicle, build_.vehicle.clump), build_.clump.rootFrame);
}

void WindowsHost::UpdateVehicleFrames(CVehicle* vehicle) { UpdateFrame(VehicleRootFrame(vehicle)); }

CBike* WindowsHost::AsBike(CVehicle* vehicle) {
    const int type = ModelVehicleType(VehicleModelId(vehicle));
    const bool bike = type == kVehicleTypeMotorbike || type == kVehicleTypeBicycle;
    return bike ? reinterpret_cast<CBike*>(vehicle) : nullptr;
}

CVehicle* WindowsHost::BikeVehicle(CBike* bike) {
    auto* vehicle = reinterpret_cast<CVehicle*>(bike);
    return VehicleSlot(vehicle) >= 0 && AsBike(vehicle) ? vehicle : nullptr;
}

HostFrame* WindowsHost::BikeBodyFrame(CVehicle* vehicle) {
    return AsBike(vehicle) ? Get<HostFrame*>(vehicle, build_.vehicle.bikeBodyFrame) : nullptr;
}

HostFrame* WindowsHost::BikeSteeringFrame(CVehicle* vehicle) {
    return AsBike(vehicle) ? Get<HostFrame*>(vehicle, build_.vehicle.bikeSteeringFrame) : nullptr;
}

void WindowsHost::SetBikeDrawnBarAngle(CBike* bike, float radians) {
    if (bike != nullptr && IsFinite(radians)) Put(bike, build_.vehicle.drawnBarAngle, radians);
}

CVehicle* WindowsHost::AudioParamsVehicle(const cVehicleParams* params) const {
    return Get<CVehicle*>(params, build_.audioParamsVehicle);
}

CVehicle* WindowsHost::AudioEntityVehicle(const CAEVehicleAudioEntity* entity) const {
    return Get<CVehicle*>(entity, build_.audioEntityVehicle);
}

// ---- characters ------------------------------------------------------------------------

bool WindowsHost::PedHasModel(const CPed* ped) const { return Pointer(ped, build_.ped.clump) != nullptr; }
int WindowsHost::PedState(const CPed* ped) const { return ped ? Get<std::int32_t>(ped, build_.ped.state) : -1; }
bool WindowsHost::PedInVehicle(const CPed* ped) const { return Get<std::uint8_t>(ped, build_.ped.inVehicle) != 0; }
CVehicle* WindowsHost::PedVehicle(const CPed* ped) const { return Get<CVehicle*>(ped, build_.ped.vehicle); }
std::uint32_t WindowsHost::PedEntityFlags(const CPed* ped) const {
    return Get<std::uint32_t>(ped, build_.ped.entityFlags);
}
void WindowsHost::SetPedEntityFlags(CPed* ped, std::uint32_t flags) { Put(ped, build_.ped.entityFlags, flags); }

int WindowsHost::PedTaskType(const CPed* ped, TaskSlotKind kind, int index) const {
    if (ped == nullptr || index < 0 || index >= 5) return -1;
    const Offset slots = kind == TaskSlotKind::Primary ? build_.ped.primaryTasks : build_.ped.secondaryTasks;
    const Bytes task = Pointer(ped, slots + index * static_cast<Offset>(sizeof(void*)));
    return task ? Get<std::int32_t>(task, build_.ped.taskType) : -1;
}

HostAnimation* WindowsHost::FirstAnimation(CPed* ped) {
    return PedHasModel(ped) ? Get<HostAnimation*>(ped, build_.ped.firstAnimation) : nullptr;
}

HostAnimation* WindowsHost::NextAnimation(CPed*, HostAnimation* current) {
    return Get<HostAnimation*>(current, build_.ped.animationNext);
}

std::uint32_t WindowsHost::AnimationNameKey(const HostAnimation* animation) const {
    return Get<std::uint32_t>(animation, build_.ped.animationNameKey);
}

// ---- skeleton ------------------------------------------------------------------------------

std::uint8_t* WindowsHost::Hierarchy(const CPed* ped) const {
    return Pointer(Pointer(ped, build_.ped.clump), build_.clump.hierarchy);
}

int WindowsHost::BoneHierarchyIndex(const CPed* ped, int boneId) const {
    const Bytes hierarchy = Hierarchy(ped);
    if (hierarchy == nullptr) return -1;
    const int count = Get<std::int32_t>(hierarchy, build_.clump.nodeCount);
    const auto* ids = Get<const std::int32_t*>(hierarchy, build_.clump.nodeIds);
    for (int i = 0; ids != nullptr && i < count; ++i) {
        if (ids[i] == boneId) return i;
    }
    return -1;
}

FrameMatrix* WindowsHost::BoneMatrix(CPed* ped, int hierarchyIndex) {
    const Bytes hierarchy = Hierarchy(ped);
    if (hierarchy == nullptr || hierarchyIndex < 0 ||
        hierarchyIndex >= Get<std::int32_t>(hierarchy, build_.clump.nodeCount)) {
        return nullptr;
    }
    auto* matrices = Get<FrameMatrix*>(hierarchy, build_.clump.matrices);
    return matrices ? matrices + hierarchyIndex : nullptr;
}

BoneFrame* WindowsHost::BoneFrameData(CPed* ped, int node) {
    // The frame data has one entry per node of the character's own model,
    // which may have fewer than the full skeleton's.
    const Bytes hierarchy = Hierarchy(ped);
    if (hierarchy == nullptr || node < 0 || node >= kNodeCount ||
        node >= Get<std::int32_t>(hierarchy, build_.clump.nodeCount)) {
        return nullptr;
    }
    const Bytes frames = Pointer(ped, build_.ped.frameData);
    return frames ? reinterpret_cast<BoneFrame*>(frames + node * build_.ped.frameDataStride) : nullptr;
}

void WindowsHost::UpdateSkeleton(CPed* ped) {
    if (ped == nullptr || Hierarchy(ped) == nullptr) return;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"  // thiscall applies; GCC warns in templates
    Routine<void(KOVRA_THISCALL*)(CPed*)>(build_.routines.updateSkeleton)(ped);
#pragma GCC diagnostic pop
}

// ---- frames and geometry ----------------------------------------------------------------------

HostFrame* WindowsHost::FrameFirstChild(HostFrame* frame) { return Get<HostFrame*>(frame, build_.frame.firstChild); }
HostFrame* WindowsHost::FrameNextSibling(HostFrame* frame) { return Get<HostFrame*>(frame, build_.frame.nextSibling); }
const char* WindowsHost::FrameName(const HostFrame* frame) const {
    return frame ? FixedName(Field<const char>(frame, build_.frame.name), build_.frame.nameLength) : "";
}
FrameMatrix* WindowsHost::FrameModelling(HostFrame* frame) { return Field<FrameMatrix>(frame, build_.frame.modelling); }

const FrameMatrix* WindowsHost::FrameWorld(HostFrame* frame) {
    if (frame == nullptr) return nullptr;
    return Routine<const FrameMatrix* (*)(HostFrame*)>(build_.routines.frameWorld)(frame);
}

void WindowsHost::UpdateFrame(HostFrame* frame) {
    if (frame != nullptr) Routine<void (*)(HostFrame*)>(build_.routines.updateFrame)(frame);
}

HostRenderable* WindowsHost::FrameRenderable(HostFrame* frame) {
    return Get<HostRenderable*>(frame, build_.frame.renderable);
}

int WindowsHost::RenderableVertexCount(const HostRenderable* object) const {
    return Get<std::int32_t>(object, build_.frame.vertexCount);
}

const Vector3* WindowsHost::RenderableVertices(const HostRenderable* object) const {
    return Get<const Vector3*>(object, build_.frame.vertices);
}

// ---- time, flags, names, script -----------------------------------------------------------------

float WindowsHost::TimeStep() const { return *reinterpret_cast<const float*>(At(build_.globals.timeStep)); }
bool WindowsHost::IkSuspended() const {
    return *reinterpret_cast<const std::uint8_t*>(At(build_.globals.ikSuspended)) != 0;
}
std::uint32_t WindowsHost::NameKey(const char* name) const {
    return Routine<std::uint32_t (*)(const char*)>(build_.routines.nameKey)(name ? name : "");
}

bool WindowsHost::RunScriptCommand(int opcode, std::span<const ScriptArg> inputs, std::span<ScriptArg> outputs) {
    using Run = int (*)(int, const ScriptArg*, int, ScriptArg*, int);
    return Routine<Run>(build_.routines.runScript)(opcode, inputs.data(), static_cast<int>(inputs.size()),
                                                   outputs.data(), static_cast<int>(outputs.size())) != 0;
}

// ---- screen and input ---------------------------------------------------------------------------

int WindowsHost::ScreenWidth() const { return *reinterpret_cast<const std::int32_t*>(At(build_.globals.screenWidth)); }
int WindowsHost::ScreenHeight() const { return *reinterpret_cast<const std::int32_t*>(At(build_.globals.screenHeight)); }
void WindowsHost::SetTextStyle(const TextStyle& style) {
    Routine<void (*)(const TextStyle*)>(build_.routines.setTextStyle)(&style);
}
void WindowsHost::DrawText(float x, float y, const char* text) {
    Routine<void (*)(float, float, const char*)>(build_.routines.drawText)(x, y, text ? text : "");
}
float WindowsHost::TextWidth(const char* text) const {
    return Routine<float (*)(const char*)>(build_.routines.textWidth)(text ? text : "");
}
void WindowsHost::DrawRect(float left, float top, float right, float bottom, Colour colour) {
    Routine<void (*)(float, float, float, float, Colour)>(build_.routines.drawRect)(left, top, right, bottom, colour);
}
std::uint32_t WindowsHost::RenderState(int state) const {
    return Routine<std::uint32_t (*)(int)>(build_.routines.renderState)(state);
}
void WindowsHost::SetRenderState(int state, std::uint32_t value) {
    Routine<void (*)(int, std::uint32_t)>(build_.routines.setRenderState)(state, value);
}
bool WindowsHost::DrawPrimitives(int kind, std::span<const LineVertex> vertices) {
    using Draw = int (*)(int, const LineVertex*, int);
    return Routine<Draw>(build_.routines.drawPrimitives)(kind, vertices.data(), static_cast<int>(vertices.size())) != 0;
}
bool WindowsHost::DrawLines(std::span<const LineVertex> vertices) { return DrawPrimitives(0, vertices); }
bool WindowsHost::DrawTriangles(std::span<const LineVertex> vertices) { return DrawPrimitives(1, vertices); }
void WindowsHost::ShowTimedMessage(const char* text, int milliseconds) {
    Routine<void (*)(const char*, int)>(build_.routines.timedMessage)(text ? text : "", milliseconds);
}

int WindowsHost::TypedCharCount() const {
    const auto* chars = reinterpret_cast<const char*>(At(build_.globals.typedChars));
    int n = 0;
    while (n < build_.globals.typedCharCapacity && chars[n] != '\0') ++n;
    return n;
}

char WindowsHost::TypedChar(int newestFirstIndex) const {
    if (newestFirstIndex < 0 || newestFirstIndex >= TypedCharCount()) return '\0';
    return reinterpret_cast<const char*>(At(build_.globals.typedChars))[newestFirstIndex];
}

void WindowsHost::ClearTypedChars() {
    std::memset(reinterpret_cast<void*>(At(build_.globals.typedChars)), 0,
                static_cast<std::size_t>(build_.globals.typedCharCapacity));
}

void WindowsHost::MouseMovement(float& dx, float& dy) const {
    dx = *reinterpret_cast<const float*>(At(build_.globals.mouseDx));
    dy = *reinterpret_cast<const float*>(At(build_.globals.mouseDy));
    if (!IsFinite(dx)) dx = 0.0f;
    if (!IsFinite(dy)) dy = 0.0f;
}

// ---- the platform ----------------------------------------------------------------------------------

void WindowsHost::ReadKeyboard(std::uint8_t keys[256]) const {
    if (!GetKeyboardState(keys)) std::memset(keys, 0, 256);
}

bool WindowsHost::ModuleLoaded(const char* moduleName) const {
    return moduleName != nullptr && GetModuleHandleA(moduleName) != nullptr;
}

bool WindowsHost::GameDirectory(std::string& out) const {
    const HMODULE game = GetModuleHandleA(nullptr);
    return game != nullptr && ModuleFolderText(game, out);
}

bool WindowsHost::PluginDirectory(std::string& out) const {
    const HMODULE self = ModuleAt(module_);
    return self != nullptr && ModuleFolderText(self, out);
}

void WindowsHost::ShowErrorBox(const char* title, const char* text) {
    MessageBoxA(GetActiveWindow(), text, title, MB_ICONERROR);
}

std::string WindowsHost::Step() const {
    return std::string(step_) + (std::strcmp(step_, "hooking") == 0 ? std::string(" ") + SiteHooks::EventName(stepEvent_) : "");
}

bool WindowsHost::PatchStartupByte(std::uint8_t value) {
    const char* const caller = step_;
    step_ = "writing the start-up byte";
    journal_.reserve(journal_.size() + 1);
    auto* byte = reinterpret_cast<std::uint8_t*>(At(build_.startupByte));
    std::uint32_t previous = 0;
    if (!code_.Unprotect(reinterpret_cast<std::uintptr_t>(byte), 1, previous)) return false;
    *byte = value;
    code_.Reprotect(reinterpret_cast<std::uintptr_t>(byte), 1, previous);
    code_.FlushCode(reinterpret_cast<std::uintptr_t>(byte), 1);
    journal_.push_back("start-up byte");
    step_ = caller;
    return true;
}

bool WindowsHost::InstallHooks(HostEvent event, HookSink& sink) {
    const auto i = static_cast<std::size_t>(event);
    if (i >= hooks_.size() || hooks_[i]) return false;
    const char* const caller = step_;
    step_ = "hooking";
    stepEvent_ = event;
    SiteHooks::Outcome outcome;
    hooks_[i] = SiteHooks::Install(code_, build_, moved_, event, sink, outcome);
    if (!hooks_[i]) {
        journal_.push_back(std::string("refused ") + SiteHooks::EventName(event) + " (" + outcome.refusal + ")");
        step_ = caller;
        return false;
    }
    for (std::string& line : outcome.lines) journal_.push_back(std::move(line));
    step_ = caller;
    return true;
}

void WindowsHost::RemoveHooks(HostEvent event, HookSink& sink) {
    const auto i = static_cast<std::size_t>(event);
    if (i < hooks_.size() && hooks_[i] && hooks_[i]->sink() == &sink) hooks_[i].reset();
}

void WindowsHost::OpenUrl(const char* url) {
    if (url == nullptr) return;
    const std::string_view text(url);
    const bool ascii = std::all_of(text.begin(), text.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        ShellExecuteA(nullptr, "open", url, nullptr, nullptr, SW_SHOWNORMAL);
        return;
    }
    // Paths are UTF-8 text; the narrow call would read them in the ANSI code
    // page and miss a folder with a non-ASCII name.
    const int chars = MultiByteToWideChar(CP_UTF8, 0, url, -1, nullptr, 0);
    if (chars <= 0) return;
    std::wstring wide(static_cast<std::size_t>(chars), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, url, -1, wide.data(), chars);
    ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace kovra::windows
