#include "testhost/Game.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

#include "kovra/ik/Geometry.h"
#include "sim/SimHost.h"
#include "sim/SimSkeleton.h"

namespace kovra::testhost {

namespace {

constexpr std::uint8_t kFree = 0x80;

sim::SimSkeleton& SkeletonOf(TPed& ped) { return *static_cast<sim::SimSkeleton*>(ped.skeleton); }

void CopyName(char* to, std::size_t size, const std::string& from) {
    std::strncpy(to, from.c_str(), size - 1);
    to[size - 1] = '\0';
}

// The simulated game's frame maths: a world matrix is the modelling matrix
// times the parent's, the root's parent the vehicle's matrix.
const FrameMatrix& World(TFrame& frame) {
    if (frame.parent != nullptr) {
        frame.world = Multiply(frame.modelling, World(*frame.parent));
    } else {
        frame.world = frame.anchor ? Multiply(frame.modelling, *frame.anchor) : frame.modelling;
    }
    return frame.world;
}

// Every frame below `parent` from its parent's world matrix, once each.
void UpdateChildren(const TFrame& parent) {
    for (TFrame* child = parent.firstChild; child != nullptr; child = child->nextSibling) {
        child->world = Multiply(child->modelling, parent.world);
        UpdateChildren(*child);
    }
}

void UpdateSubtree(TFrame& frame) {
    World(frame);
    UpdateChildren(frame);
}

int TakeSlot(std::vector<std::uint8_t>& flags) {
    for (std::size_t i = 0; i < flags.size(); ++i) {
        if ((flags[i] & kFree) == 0) continue;
        // A new object: the slot's reuse count goes up.
        flags[i] = static_cast<std::uint8_t>(((flags[i] & 0x7f) + 1) & 0x7f);
        return static_cast<int>(i);
    }
    return -1;
}

}  // namespace

Game::Game(TGlobals* globals)
    : globals_(globals),
      vehicleStorage_(sizeof(TVehicle) * kVehicleCapacity),
      vehicleFlags_(kVehicleCapacity, kFree),
      pedStorage_(sizeof(TPed) * kPedCapacity),
      pedFlags_(kPedCapacity, kFree) {
    vehiclePool_ = {vehicleStorage_.data(), vehicleFlags_.data(), kVehicleCapacity};
    pedPool_ = {pedStorage_.data(), pedFlags_.data(), kPedCapacity};
    globals_->vehiclePool = &vehiclePool_;
    globals_->pedPool = &pedPool_;
    globals_->timeStep = 1.0f;
    globals_->screenWidth = 1920;
    globals_->screenHeight = 1080;
    for (int node = 0; node < kNodeCount; ++node) nodeIds_[static_cast<std::size_t>(node)] = NodeToBoneId(node);
    SetSiteSteps(this);
    SetHostRoutines(this);
}

void Game::AddModel(const sim::VehicleModel& model) {
    if (model.id < 0 || model.id >= kModelCount) return;
    models_.insert_or_assign(model.id, model);
    TStructure& structure = structures_[model.id];
    structure = {model.frontSeat, model.handlebar};
    TModel& record = modelRecords_[model.id];
    record.type = model.type;
    CopyName(record.name, sizeof record.name, model.name);
    record.structure = &structure;
    globals_->models[model.id] = &record;
}

TVehicle* Game::VehicleAt(int slot) {
    if (slot < 0 || slot >= kVehicleCapacity || (vehicleFlags_[static_cast<std::size_t>(slot)] & kFree)) return nullptr;
    return reinterpret_cast<TVehicle*>(vehicleStorage_.data() + sizeof(TVehicle) * static_cast<std::size_t>(slot));
}

TPed* Game::PedAt(int slot) {
    if (slot < 0 || slot >= kPedCapacity || (pedFlags_[static_cast<std::size_t>(slot)] & kFree)) return nullptr;
    return reinterpret_cast<TPed*>(pedStorage_.data() + sizeof(TPed) * static_cast<std::size_t>(slot));
}

bool Game::IsBike(const TVehicle& vehicle) const {
    const auto it = models_.find(vehicle.modelId);
    return it != models_.end() && it->second.IsBike();
}

void Game::Enter(Routine routine) { ++counts_[static_cast<std::size_t>(routine)].entered; }

void Game::StartGame() {
    Enter(Routine::VehiclePoolCreated);
    CallCdecl(Routine::VehiclePoolCreated);
    Enter(Routine::EngineReady);
    CallCdecl(Routine::EngineReady);
}

TVehicle* Game::CreateVehicle(int modelId, const FrameMatrix& world) {
    if (models_.count(modelId) == 0) return nullptr;
    const int slot = TakeSlot(vehicleFlags_);
    if (slot < 0) return nullptr;
    auto* vehicle = ::new (vehicleStorage_.data() + sizeof(TVehicle) * static_cast<std::size_t>(slot)) TVehicle{};
    vehicle->modelId = static_cast<std::int16_t>(modelId);
    vehicle->placement = world;
    Enter(Routine::VehicleCreated);
    CallThis(Routine::VehicleCreated, vehicle);  // its step is the constructor
    return vehicle;
}

void Game::DestroyVehicle(TVehicle* vehicle) {
    if (vehicle == nullptr) return;
    Enter(Routine::VehicleDestroyed);
    CallThis(Routine::VehicleDestroyed, vehicle);  // its step is the destructor
}

void Game::FreeVehicle(TVehicle& vehicle) {
    ForEachPed([&](int, TPed& ped) {
        if (ped.vehicle != &vehicle) return;
        ped.vehicle = nullptr;
        ped.inVehicle = 0;
        ped.seat = Seat::None;
        ped.state = sim::kPedStateIdle;
    });
    delete[] vehicle.frames;
    delete[] vehicle.renderables;
    vehicle = TVehicle{};
    const auto slot = static_cast<std::size_t>(reinterpret_cast<std::uint8_t*>(&vehicle) - vehicleStorage_.data()) /
                      sizeof(TVehicle);
    vehicleFlags_[slot] |= kFree;
}

void Game::BuildVehicle(TVehicle& vehicle) {
    const sim::VehicleModel& model = models_.at(vehicle.modelId);
    vehicle.matrix = &vehicle.placement;
    vehicle.handlingRecord = {static_cast<std::uint8_t>(model.animGroup), model.leanLimit};
    vehicle.handling = &vehicle.handlingRecord;
    vehicle.frameCount = static_cast<std::int32_t>(model.frames.size());
    vehicle.frames = new TFrame[model.frames.size() + 1]{};
    vehicle.renderables = new TRenderable[model.frames.size() + 1]{};
    TFrame& root = vehicle.frames[0];
    CopyName(root.name, sizeof root.name, model.name);
    root.anchor = vehicle.matrix;
    std::vector<TFrame*> lastChild(model.frames.size() + 1, nullptr);
    for (std::size_t i = 0; i < model.frames.size(); ++i) {
        const sim::VehicleModel::Frame& src = model.frames[i];
        TFrame& f = vehicle.frames[i + 1];
        CopyName(f.name, sizeof f.name, src.name);
        f.modelling = src.modelling;
        f.rest = src.modelling;
        if (!src.vertices.empty()) {
            vehicle.renderables[i + 1] = {static_cast<std::int32_t>(src.vertices.size()), src.vertices.data()};
            f.renderable = &vehicle.renderables[i + 1];
        }
        const bool validParent = src.parent >= 0 && static_cast<std::size_t>(src.parent) < i;
        const std::size_t parent = validParent ? static_cast<std::size_t>(src.parent) + 1 : 0;
        f.parent = &vehicle.frames[parent];
        (lastChild[parent] ? lastChild[parent]->nextSibling : vehicle.frames[parent].firstChild) = &f;
        lastChild[parent] = &f;
    }
    vehicle.clumpRecord = {&root, nullptr};
    vehicle.clump = &vehicle.clumpRecord;
    if (model.IsBike()) {
        const int body = model.FindFrame(model.bodyFrame);
        const int steering = model.FindFrame(model.steeringFrame);
        vehicle.bodyFrame = body >= 0 ? &vehicle.frames[body + 1] : nullptr;
        vehicle.steeringFrame = steering >= 0 ? &vehicle.frames[steering + 1] : nullptr;
    }
    vehicle.audio = {0, &vehicle};
    vehicle.audioParams = {0, &vehicle};
    UpdateSubtree(root);
}

TPed* Game::CreatePed() {
    const int slot = TakeSlot(pedFlags_);
    if (slot < 0) return nullptr;
    auto* ped = ::new (pedStorage_.data() + sizeof(TPed) * static_cast<std::size_t>(slot)) TPed{};
    ped->state = sim::kPedStateIdle;
    auto* skeleton = new sim::SimSkeleton();
    skeleton->RefreshAll(ped->placement);
    ped->skeleton = skeleton;
    ped->frameData = skeleton->FrameArray();
    ped->hierarchyRecord = {kNodeCount, nodeIds_.data(), skeleton->Matrix(0)};
    ped->clumpRecord = {nullptr, &ped->hierarchyRecord};
    ped->clump = &ped->clumpRecord;
    return ped;
}

void Game::RunAnimation(TPed* ped, const std::string& name) {
    ped->firstAnimation = new TAnimation{nullptr, sim::SimHost::ComputeNameKey(name.c_str())};
}

void Game::SeatPed(TPed* ped, TVehicle* vehicle, bool asDriver) {
    if (asDriver) {
        vehicle->driver = ped;
        ped->state = kPedStateDriving;
        ped->seat = Seat::Driver;
    } else {
        ped->state = sim::kPedStatePassenger;
        ped->seat = Seat::Passenger;
    }
    ped->inVehicle = 1;
    ped->vehicle = vehicle;
    PlaceSeatedPed(*ped);
}

void Game::PlaceSeatedPed(TPed& ped) {
    if (ped.vehicle == nullptr) return;
    const TVehicle& vehicle = *ped.vehicle;
    const std::optional<FrameMatrix> placed =
        sim::SimHost::ComputeSeatMatrix(vehicle.placement, structures_.at(vehicle.modelId).frontSeat,
                                        ped.seat == Seat::Driver && !IsBike(vehicle), ped.placement.flags);
    if (!placed) return;
    ped.placement = *placed;
    SkeletonOf(ped).Refresh(ped.placement);
}

void Game::MoveVehicle(TVehicle& vehicle) {
    vehicle.placement.pos =
        sim::SimHost::ComputeMovedPosition(vehicle.placement.pos, vehicle.moveSpeed, globals_->timeStep);
}

void Game::AnimatePed(TPed& ped) {
    SkeletonOf(ped).ApplyRestPose();
    SkeletonOf(ped).RefreshAll(ped.placement);
}

void Game::StepVehicleAudio(TVehicle& vehicle) {
    const sim::SimHost::EngineSound sound =
        sim::SimHost::ComputeEngineSound(vehicle.gasPedal, vehicle.gear, vehicle.audioGearHeard, vehicle.audioFlags);
    vehicle.audioValue = sound.value;
    vehicle.audioFlags = sound.flags;
    vehicle.audioGearHeard = vehicle.gear;
}

void Game::TurnBikeSteering(TVehicle& vehicle) {
    if (vehicle.steeringFrame == nullptr) return;
    const std::optional<FrameMatrix> m =
        sim::SimHost::ComputeSteeringMatrix(vehicle.steeringFrame->rest, vehicle.drawnBarAngle);
    if (m) vehicle.steeringFrame->modelling = *m;
}

void Game::TypeText(const std::string& text) {
    // Newest first; the oldest fall off the buffer's end.
    std::string typed(globals_->typedChars);
    for (const char c : text) typed.insert(typed.begin(), c);
    typed.resize(std::min<std::size_t>(typed.size(), kTypedChars));
    std::memset(globals_->typedChars, 0, sizeof globals_->typedChars);
    std::memcpy(globals_->typedChars, typed.data(), typed.size());
}

void Game::RunFrame() {
    ++frameCount_;
    lastFrame_.clear();
    screen_.clear();
    rects_.clear();
    drawn_ = {};
    Enter(Routine::Frame);
    CallCdecl(Routine::Frame, static_cast<std::uintptr_t>(frameCount_));
    ForEachVehicle([&](TVehicle& v) {
        const bool bike = IsBike(v);
        const Routine process = bike ? Routine::VehicleProcessBike : Routine::VehicleProcessCar;
        Enter(process);
        CallThis(process, &v);
        if (bike) {
            v.drawnBarAngle = v.barAngle;  // the game's own choice
            Enter(Routine::BikeProcess);
            CallThis(Routine::BikeProcess, &v);
        }
    });
    ForEachVehicle([&](TVehicle& v) {
        const Routine audio = IsBike(v) ? Routine::VehicleAudioBike : Routine::VehicleAudioCar;
        Enter(audio);
        CallThis(audio, &v.audio, &v.audioParams);
    });
    ForEachPed([&](int, TPed& ped) {
        AnimatePed(ped);
        if (ped.vehicle != nullptr) {
            Enter(Routine::SeatPlacement);
            CallCdecl(Routine::SeatPlacement, reinterpret_cast<std::uintptr_t>(&ped));
        }
        const Routine ik = ped.seat == Seat::Driver      ? Routine::PedIkDriver
                           : ped.seat == Seat::Passenger ? Routine::PedIkPassenger
                                                         : Routine::PedIkOnFoot;
        Enter(ik);
        CallThis(ik, &ped);
        const Routine head = ped.seat == Seat::Driver ? Routine::PedHeadDriver : Routine::PedHeadOther;
        Enter(head);
        CallThis(head, &ped);
    });
    ForEachVehicle([&](TVehicle& v) {
        const Routine end = IsBike(v) ? Routine::VehicleFrameEndBike : Routine::VehicleFrameEndCar;
        Enter(end);
        CallThis(end, &v);
    });
    Enter(Routine::Overlay);
    CallCdecl(Routine::Overlay);
}

void Game::Step(Routine routine, void* self, std::uintptr_t word, bool viaModule) {
    if (routine == Routine::Count) return;
    RoutineCounts& c = counts_[static_cast<std::size_t>(routine)];
    ++c.steps;
    if (viaModule) ++c.viaModule;
    lastFrame_.emplace_back(routine, viaModule);
    switch (routine) {
        case Routine::VehicleCreated: BuildVehicle(*static_cast<TVehicle*>(self)); break;
        case Routine::VehicleDestroyed: FreeVehicle(*static_cast<TVehicle*>(self)); break;
        case Routine::VehicleProcessCar:
        case Routine::VehicleProcessBike: MoveVehicle(*static_cast<TVehicle*>(self)); break;
        case Routine::SeatPlacement: PlaceSeatedPed(*reinterpret_cast<TPed*>(word)); break;
        case Routine::BikeProcess: TurnBikeSteering(*static_cast<TVehicle*>(self)); break;
        case Routine::VehicleAudioCar:
        case Routine::VehicleAudioBike: StepVehicleAudio(*reinterpret_cast<TAudioParams*>(word)->vehicle); break;
        default: break;
    }
}

// ---- the host operations' routines ----------------------------------------------

const char* Game::HostRoutineName(HostRoutine routine) {
    static constexpr const char* kNames[] = {"UpdateSkeleton", "FrameWorld",     "UpdateFrame",   "NameKey",
                                             "RunScript",      "SetTextStyle",   "DrawText",      "TextWidth",
                                             "DrawRect",       "RenderState",    "SetRenderState", "DrawPrimitives",
                                             "TimedMessage"};
    return kNames[static_cast<int>(routine)];
}

void Game::UpdateSkeleton(void* ped) {
    Called(HostRoutine::UpdateSkeleton);
    TPed& p = *static_cast<TPed*>(ped);
    SkeletonOf(p).Refresh(p.placement);
}

const void* Game::FrameWorld(void* frame) {
    Called(HostRoutine::FrameWorld);
    return &World(*static_cast<TFrame*>(frame));
}

void Game::UpdateFrame(void* frame) {
    Called(HostRoutine::UpdateFrame);
    UpdateSubtree(*static_cast<TFrame*>(frame));
}

std::uint32_t Game::NameKey(const char* name) {
    Called(HostRoutine::NameKey);
    return sim::SimHost::ComputeNameKey(name);
}

int Game::RunScript(int opcode, const void* in, int inCount, void* out, int outCount) {
    Called(HostRoutine::RunScript);
    ++scriptCalls_[{opcode, inCount > 0 ? static_cast<const ScriptArg*>(in)->i : 0}];
    auto* outputs = static_cast<ScriptArg*>(out);
    for (int i = 0; i < outCount; ++i) outputs[i].i = 0, outputs[i].f = 0.0f;
    return 1;
}

void Game::SetTextStyle(const void* style) {
    Called(HostRoutine::SetTextStyle);
    textStyle_ = *static_cast<const TextStyle*>(style);
}

void Game::DrawText(float x, float y, const char* text) {
    Called(HostRoutine::DrawText);
    screen_.push_back({x, y, text != nullptr ? text : "", textStyle_});
}

float Game::TextWidth(const char* text) {
    Called(HostRoutine::TextWidth);
    return sim::SimHost::ComputeTextWidth(text, textStyle_.scaleX);
}

void Game::DrawRect(float l, float t, float r, float b, std::uint32_t colour) {
    Called(HostRoutine::DrawRect);
    rects_.push_back({l, t, r, b, colour});
}

std::uint32_t Game::RenderState(int state) {
    Called(HostRoutine::RenderState);
    const auto it = renderStates_.find(state);
    return it == renderStates_.end() ? 0u : it->second;
}

void Game::SetRenderState(int state, std::uint32_t value) {
    Called(HostRoutine::SetRenderState);
    renderStates_[state] = value;
}

int Game::DrawPrimitives(int kind, const void* vertices, int count) {
    Called(HostRoutine::DrawPrimitives);
    (kind == 0 ? drawn_.lineVertices : drawn_.triangleVertices) += count;
    for (int i = 0; i < count; ++i) {
        const LineVertex& v = static_cast<const LineVertex*>(vertices)[i];
        drawn_.x += v.pos.x;
        drawn_.y += v.pos.y;
        drawn_.z += v.pos.z;
        drawn_.colours += v.colour;
    }
    return count % (kind == 0 ? 2 : 3) == 0 ? 1 : 0;
}

void Game::TimedMessage(const char* text, int) {
    Called(HostRoutine::TimedMessage);
    messages_.push_back(text != nullptr ? text : "");
}

}  // namespace kovra::testhost
