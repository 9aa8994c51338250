#include "windows/WindowsHost.h"

#include <windows.h>
#undef DrawText  // a Host operation, not the Windows call
#include <shellapi.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "kovra/ik/Geometry.h"
#include "kovra/ik/Skeleton.h"
#include "windows/HostBuilds.h"
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

// A whole number stored as the description says.
std::int32_t Integer(const void* record, Offset offset, FieldType type) {
    switch (type) {
        case FieldType::Int8: return Get<std::int8_t>(record, offset);
        case FieldType::UInt8: return Get<std::uint8_t>(record, offset);
        case FieldType::Int16: return Get<std::int16_t>(record, offset);
        case FieldType::UInt16: return Get<std::uint16_t>(record, offset);
        case FieldType::Int32: return Get<std::int32_t>(record, offset);
        case FieldType::UInt32: return static_cast<std::int32_t>(Get<std::uint32_t>(record, offset));
    }
    return 0;
}

// A routine of the game called in the shape the description gives it.
// Every argument of a 32-bit routine is one stack word (a float's bits, a
// pointer, an integer), so one caller per count of words serves every
// signature and any order of its arguments. GCC takes calls through
// pointers that differ only in their convention for the same call, and
// merges them, so each convention's call is a function of its own that it
// may not look into (noipa); it also drops conventions from function types
// that depend on a template's parameters, so each is spelled out. It warns
// that thiscall is for member functions, and applies it all the same.
using Word = std::uint32_t;
static_assert(sizeof(void*) == sizeof(Word), "the game is a 32-bit program");

#pragma GCC diagnostic ignored "-Wattributes"
#define KOVRA_STDCALL __attribute__((stdcall))
#define KOVRA_CALLER(NAME, R, PARAMS, ARGS)                                                      \
    __attribute__((noipa)) R NAME##This(std::uintptr_t at, KOVRA_UNPACK PARAMS) {                 \
        return reinterpret_cast<R(KOVRA_THISCALL*) PARAMS>(at) ARGS;                             \
    }                                                                                             \
    __attribute__((noipa)) R NAME##Std(std::uintptr_t at, KOVRA_UNPACK PARAMS) {                  \
        return reinterpret_cast<R(KOVRA_STDCALL*) PARAMS>(at) ARGS;                              \
    }                                                                                             \
    __attribute__((noipa)) R NAME##C(std::uintptr_t at, KOVRA_UNPACK PARAMS) {                    \
        return reinterpret_cast<R(*) PARAMS>(at) ARGS;                                           \
    }                                                                                             \
    R NAME(std::uintptr_t at, CallShape shape, KOVRA_UNPACK PARAMS) {                             \
        switch (shape) {                                                                          \
            case CallShape::Thiscall: return NAME##This(at, KOVRA_UNPACK ARGS);                  \
            case CallShape::Stdcall: return NAME##Std(at, KOVRA_UNPACK ARGS);                    \
            case CallShape::Cdecl: break;                                                         \
        }                                                                                         \
        return NAME##C(at, KOVRA_UNPACK ARGS);                                                    \
    }
#define KOVRA_UNPACK(...) __VA_ARGS__

KOVRA_CALLER(CallWords1, Word, (Word a), (a))
KOVRA_CALLER(CallWords2, Word, (Word a, Word b), (a, b))
KOVRA_CALLER(CallWords3, Word, (Word a, Word b, Word c), (a, b, c))
KOVRA_CALLER(CallWords5, Word, (Word a, Word b, Word c, Word d, Word e), (a, b, c, d, e))
// A float comes back on the x87 stack, which a caller for EAX would leave behind.
KOVRA_CALLER(CallWordsToFloat1, float, (Word a), (a))

Word W(const void* p) { return static_cast<Word>(reinterpret_cast<std::uintptr_t>(p)); }
Word W(int i) { return static_cast<Word>(i); }
Word W(std::uint32_t u) { return u; }
Word W(float f) { return std::bit_cast<Word>(f); }

// The signature's arguments in the order the routine takes them.
template <std::size_t N>
std::array<Word, N> InRoutineOrder(const RoutineAt& r, const std::array<Word, N>& args) {
    std::array<Word, N> taken{};
    for (std::size_t i = 0; i < N; ++i) taken[i] = args[r.order[i] < N ? r.order[i] : i];
    return taken;
}

template <std::size_t N>
Word Call(std::uintptr_t at, const RoutineAt& r, const std::array<Word, N>& args) {
    static_assert(N == 1 || N == 2 || N == 3 || N == 5, "no routine of the host operations takes this many");
    const std::array<Word, N> w = InRoutineOrder(r, args);
    if constexpr (N == 1) {
        return CallWords1(at, r.shape, w[0]);
    } else if constexpr (N == 2) {
        return CallWords2(at, r.shape, w[0], w[1]);
    } else if constexpr (N == 3) {
        return CallWords3(at, r.shape, w[0], w[1], w[2]);
    } else {
        return CallWords5(at, r.shape, w[0], w[1], w[2], w[3], w[4]);
    }
}

// ---- the game's records -----------------------------------------------------

// The plugin's colours are bytes red, green, blue, alpha in memory; the
// field's type names its own order.
void PutColour(Bytes record, const RecordField& f, Colour colour) {
    const auto byte = [colour](int shift) { return static_cast<std::uint8_t>(colour >> shift); };
    const std::uint8_t r = byte(0), g = byte(8), b = byte(16), a = byte(24);
    std::array<std::uint8_t, 4> bytes{};
    switch (f.type) {
        case ValueType::Rgba: bytes = {r, g, b, a}; break;
        case ValueType::Argb: bytes = {a, r, g, b}; break;
        case ValueType::Bgra: bytes = {b, g, r, a}; break;
        case ValueType::Abgr: bytes = {a, b, g, r}; break;
        default: return;  // the reader gives colours only colour types
    }
    if (f.present()) std::memcpy(record + f.offset, bytes.data(), bytes.size());
}

void PutWhole(Bytes record, const RecordField& f, std::int32_t value) {
    if (!f.present()) return;
    switch (f.type) {
        case ValueType::Int8: Put(record, f.offset, static_cast<std::int8_t>(value)); break;
        case ValueType::UInt8: Put(record, f.offset, static_cast<std::uint8_t>(value)); break;
        case ValueType::Int16: Put(record, f.offset, static_cast<std::int16_t>(value)); break;
        case ValueType::UInt16: Put(record, f.offset, static_cast<std::uint16_t>(value)); break;
        case ValueType::Int32:
        case ValueType::UInt32: Put(record, f.offset, value); break;
        default: break;
    }
}

void PutFloat(Bytes record, const RecordField& f, float value) {
    if (f.present() && f.type == ValueType::Float) Put(record, f.offset, value);
}

std::int32_t GetWhole(const void* record, const RecordField& f) {
    switch (f.present() ? f.type : ValueType::Float) {
        case ValueType::Int8: return Get<std::int8_t>(record, f.offset);
        case ValueType::UInt8: return Get<std::uint8_t>(record, f.offset);
        case ValueType::Int16: return Get<std::int16_t>(record, f.offset);
        case ValueType::UInt16: return Get<std::uint16_t>(record, f.offset);
        case ValueType::Int32:
        case ValueType::UInt32: return Get<std::int32_t>(record, f.offset);
        default: return 0;
    }
}

// A float the game left in a shared slot may be an integer's bits: what
// is no number reads as 0.
float GetFloat(const void* record, const RecordField& f) {
    const float value = f.present() && f.type == ValueType::Float ? Get<float>(record, f.offset) : 0.0f;
    return IsFinite(value) ? value : 0.0f;
}

// A name in a fixed-length field; one that fills the field with no end is
// read as no name rather than past the record. Length 0: the field holds a
// pointer to the name.
const char* FixedName(const char* field, std::int32_t length) {
    if (length == 0) {
        const char* name = Get<const char*>(field, 0);
        return name != nullptr ? name : "";
    }
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

std::uintptr_t WindowsHost::At(const Location& location) const {
    std::uintptr_t at = At(location.address);
    for (int i = 0; i < location.hopCount && i < 2; ++i) {
        const std::uintptr_t pointer = *reinterpret_cast<const std::uint32_t*>(at);
        if (pointer == 0) return 0;
        at = pointer + static_cast<std::uintptr_t>(static_cast<std::intptr_t>(location.hops[i]));
    }
    return at;
}

template <class T>
T WindowsHost::Variable(const Location& location) const {
    const std::uintptr_t at = At(location);
    return at != 0 ? Get<T>(reinterpret_cast<const void*>(at), 0) : T{};
}

CPed* WindowsHost::PlayerPed() const { return Variable<CPed*>(build_.globals.playerPed); }
bool WindowsHost::IsPlayerPed(const CPed* ped) const { return ped != nullptr && ped == PlayerPed(); }

int WindowsHost::VehicleScriptHandle(const CVehicle* vehicle) const {
    // The game's handles: the slot and the slot's reuse count.
    const int slot = VehicleSlot(vehicle);
    if (slot < 0) return -1;
    switch (build_.scriptHandle) {
        case ScriptHandleRule::Slot: return slot;
        case ScriptHandleRule::VehicleAddress: return static_cast<int>(reinterpret_cast<std::uintptr_t>(vehicle));
        case ScriptHandleRule::SlotAndReuse: break;
    }
    return (slot << 8) | PoolOf(build_.vehiclePool).flags[slot];
}

Vector3 WindowsHost::CameraPosition() const {
    return Variable<Vector3>(build_.globals.cameraPosition);
}

// ---- model records -------------------------------------------------------------

std::uint8_t* WindowsHost::ModelRecord(int modelId) const {
    if (modelId < 0 || modelId >= build_.globals.modelCount) return nullptr;
    const std::uintptr_t table = At(build_.globals.modelTable);
    return table != 0 ? reinterpret_cast<Bytes*>(table)[modelId] : nullptr;
}

std::uint8_t* WindowsHost::Structure(int modelId) const {
    return Pointer(ModelRecord(modelId), build_.model.structure);
}

bool WindowsHost::HasVehicleModel(int modelId) const { return ModelRecord(modelId) != nullptr; }

int WindowsHost::ModelVehicleType(int modelId) const {
    const Bytes record = ModelRecord(modelId);
    return record ? Integer(record, build_.model.type, build_.model.typeType) : -1;
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
    return vehicle ? Integer(vehicle, build_.vehicle.modelId, build_.vehicle.modelIdType) : -1;
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
    s.handBrake = Integer(v, l.handBrake, l.handBrakeType) != 0;
    s.gear = Integer(v, l.gear, l.gearType);
    s.stateByte = static_cast<std::uint8_t>(Integer(v, l.stateByte, l.stateByteType));
    s.audioValue = Integer(v, l.audioValue, l.audioValueType);
    s.audioFlags = static_cast<std::uint8_t>(Integer(v, l.audioFlags, l.audioFlagsType));
    s.speed = Get<float>(v, l.speed);
    s.moveSpeed = Get<Vector3>(v, l.moveSpeed);
    s.lean = Get<float>(v, l.lean);
    s.wheelsOnGround = Integer(v, l.wheelsOnGround, l.wheelsOnGroundType);
    s.barAngle = Get<float>(v, l.barAngle);
    const Bytes handling = Pointer(v, l.handling);
    s.animGroup = handling ? Integer(handling, l.handlingAnimGroup, l.animGroupType) : 0;
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
int WindowsHost::PedState(const CPed* ped) const {
    return ped ? Integer(ped, build_.ped.state, build_.ped.stateType) : -1;
}
bool WindowsHost::PedInVehicle(const CPed* ped) const {
    return ped != nullptr && Integer(ped, build_.ped.inVehicle, build_.ped.inVehicleType) != 0;
}
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
    const RoutineAt& r = build_.routines.updateSkeleton;
    Call(At(r.address), r, std::array{W(ped)});
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
    const RoutineAt& r = build_.routines.frameWorld;
    return reinterpret_cast<const FrameMatrix*>(Call(At(r.address), r, std::array{W(frame)}));
}

void WindowsHost::UpdateFrame(HostFrame* frame) {
    if (frame == nullptr) return;
    const RoutineAt& r = build_.routines.updateFrame;
    Call(At(r.address), r, std::array{W(frame)});
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

float WindowsHost::TimeStep() const { return Variable<float>(build_.globals.timeStep); }
bool WindowsHost::IkSuspended() const { return Variable<std::uint8_t>(build_.globals.ikSuspended) != 0; }
std::uint32_t WindowsHost::NameKey(const char* name) const {
    const RoutineAt& r = build_.routines.nameKey;
    return Call(At(r.address), r, std::array{W(name ? name : "")});
}

bool WindowsHost::RunScriptCommand(int opcode, std::span<const ScriptArg> inputs, std::span<ScriptArg> outputs) {
    const RoutineAt& r = build_.routines.runScript;
    const ScriptArgLayout& layout = build_.scriptArg;
    const int inCount = static_cast<int>(inputs.size()), outCount = static_cast<int>(outputs.size());
    if (layout.size == 0) {
        return Call(At(r.address), r, std::array{W(opcode), W(inputs.data()), W(inCount), W(outputs.data()), W(outCount)}) != 0;
    }
    // The game's arguments, in arrays of fixed size: a command with more
    // than they hold is refused rather than cut short.
    const auto size = static_cast<std::size_t>(layout.size);
    if (inputs.size() * size > scriptInputs_.size() || outputs.size() * size > scriptOutputs_.size()) return false;
    std::memset(scriptInputs_.data(), 0, inputs.size() * size);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        Bytes arg = scriptInputs_.data() + i * size;
        if (inputs[i].kind == ScriptArg::Kind::Float) {
            PutFloat(arg, layout.floatValue, inputs[i].f);
        } else {
            PutWhole(arg, layout.intValue, inputs[i].i);
        }
    }
    std::memset(scriptOutputs_.data(), 0, outputs.size() * size);
    const bool done = Call(At(r.address), r, std::array{W(opcode), W(scriptInputs_.data()), W(inCount),
                                                         W(scriptOutputs_.data()), W(outCount)}) != 0;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const Bytes arg = scriptOutputs_.data() + i * size;
        outputs[i].i = GetWhole(arg, layout.intValue);
        outputs[i].f = GetFloat(arg, layout.floatValue);
    }
    return done;
}

// ---- screen and input ---------------------------------------------------------------------------

int WindowsHost::ScreenWidth() const { return Variable<std::int32_t>(build_.globals.screenWidth); }
int WindowsHost::ScreenHeight() const { return Variable<std::int32_t>(build_.globals.screenHeight); }
void WindowsHost::SetTextStyle(const TextStyle& style) {
    const RoutineAt& r = build_.routines.setTextStyle;
    const TextStyleLayout& t = build_.textStyle;
    if (t.size == 0) {
        Call(At(r.address), r, std::array{W(&style)});
        return;
    }
    Bytes record = styleRecord_.data();
    std::memset(record, 0, static_cast<std::size_t>(t.size));
    PutFloat(record, t.scaleX, style.scaleX);
    PutFloat(record, t.scaleY, style.scaleY);
    PutFloat(record, t.wrapWidth, style.wrapWidth);
    PutColour(record, t.colour, style.colour);
    PutColour(record, t.shadowColour, style.shadowColour);
    PutWhole(record, t.align, static_cast<std::int32_t>(style.align));
    PutWhole(record, t.background, style.background ? 1 : 0);
    PutWhole(record, t.font, style.font);
    PutWhole(record, t.proportional, style.proportional ? 1 : 0);
    PutWhole(record, t.shadow, style.shadow);
    Call(At(r.address), r, std::array{W(record)});
}
void WindowsHost::DrawText(float x, float y, const char* text) {
    const RoutineAt& r = build_.routines.drawText;
    Call(At(r.address), r, std::array{W(x), W(y), W(text ? text : "")});
}
float WindowsHost::TextWidth(const char* text) const {
    const RoutineAt& r = build_.routines.textWidth;
    return CallWordsToFloat1(At(r.address), r.shape, W(text ? text : ""));
}
void WindowsHost::DrawRect(float left, float top, float right, float bottom, Colour colour) {
    const RoutineAt& r = build_.routines.drawRect;
    Call(At(r.address), r, std::array{W(left), W(top), W(right), W(bottom), W(colour)});
}
std::uint32_t WindowsHost::RenderState(int state) const {
    const RoutineAt& r = build_.routines.renderState;
    return Call(At(r.address), r, std::array{W(state)});
}
void WindowsHost::SetRenderState(int state, std::uint32_t value) {
    const RoutineAt& r = build_.routines.setRenderState;
    Call(At(r.address), r, std::array{W(state), W(value)});
}
bool WindowsHost::DrawPrimitives(int kind, std::span<const LineVertex> vertices) {
    const RoutineAt& r = build_.routines.drawPrimitives;
    const VertexLayout& layout = build_.vertex;
    if (layout.size == 0) {
        return Call(At(r.address), r, std::array{W(kind), W(vertices.data()), W(static_cast<int>(vertices.size()))}) != 0;
    }
    // Converted a buffer-full at a time, each call whole lines and whole
    // triangles (a multiple of six); drawn when every call drew its part.
    const auto size = static_cast<std::size_t>(layout.size);
    const std::size_t capacity = vertexRecords_.size() / size / 6 * 6;
    bool drawn = true;
    std::size_t first = 0;
    do {
        const std::size_t count = std::min(capacity, vertices.size() - first);
        std::memset(vertexRecords_.data(), 0, count * size);
        for (std::size_t i = 0; i < count; ++i) {
            Bytes record = vertexRecords_.data() + i * size;
            Put(record, layout.position, vertices[first + i].pos);
            PutColour(record, layout.colour, vertices[first + i].colour);
        }
        drawn = Call(At(r.address), r, std::array{W(kind), W(vertexRecords_.data()), W(static_cast<int>(count))}) != 0 &&
                drawn;
        first += count;
    } while (first < vertices.size());
    return drawn;
}
bool WindowsHost::DrawLines(std::span<const LineVertex> vertices) { return DrawPrimitives(0, vertices); }
bool WindowsHost::DrawTriangles(std::span<const LineVertex> vertices) { return DrawPrimitives(1, vertices); }
void WindowsHost::ShowTimedMessage(const char* text, int milliseconds) {
    const RoutineAt& r = build_.routines.timedMessage;
    Call(At(r.address), r, std::array{W(text ? text : ""), W(milliseconds)});
}

int WindowsHost::TypedCharCount() const {
    const auto* chars = reinterpret_cast<const char*>(At(build_.globals.typedChars));
    if (chars == nullptr) return 0;
    int n = 0;
    while (n < build_.globals.typedCharCapacity && chars[n] != '\0') ++n;
    return n;
}

char WindowsHost::TypedChar(int newestFirstIndex) const {
    if (newestFirstIndex < 0 || newestFirstIndex >= TypedCharCount()) return '\0';
    return reinterpret_cast<const char*>(At(build_.globals.typedChars))[newestFirstIndex];
}

void WindowsHost::ClearTypedChars() {
    if (const std::uintptr_t chars = At(build_.globals.typedChars)) {
        std::memset(reinterpret_cast<void*>(chars), 0, static_cast<std::size_t>(build_.globals.typedCharCapacity));
    }
}

void WindowsHost::MouseMovement(float& dx, float& dy) const {
    dx = Variable<float>(build_.globals.mouseDx);
    dy = Variable<float>(build_.globals.mouseDy);
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

bool WindowsHost::InImage(Address address, std::size_t size) const {
    const std::uintptr_t rva = address - build_.preferredBase;
    return address >= build_.preferredBase && rva + size <= ImageSize(At(build_.preferredBase));
}

std::string WindowsHost::Step() const {
    return std::string(step_) + (std::strcmp(step_, "hooking") == 0 ? std::string(" ") + SiteHooks::EventName(stepEvent_) : "");
}

bool WindowsHost::PatchStartupByte(std::uint8_t value) {
    const char* const caller = step_;
    step_ = "writing the start-up byte";
    journal_.reserve(journal_.size() + 1);
    // Only the executable's own code is written: a description that puts
    // the byte elsewhere gets no write at all.
    if (!InImage(build_.startupByte, 1)) {
        journal_.push_back("start-up byte refused (outside the game's image)");
        step_ = caller;
        return false;
    }
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
    // A site outside the executable's image is not read, let alone written.
    for (const HookSite& site : build_.sites) {
        if (site.event != event || InImage(site.site, 5)) continue;
        char address[16];
        std::snprintf(address, sizeof address, "0x%08X", static_cast<unsigned>(site.site));
        journal_.push_back(std::string("refused ") + SiteHooks::EventName(event) + " (the site at " + address +
                           " lies outside the game's image)");
        step_ = caller;
        return false;
    }
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
