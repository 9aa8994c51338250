#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "kovra/host/HostTypes.h"
#include "kovra/ik/Skeleton.h"
#include "sim/VehicleModel.h"
#include "testhost/GameCode.h"
#include "testhost/GameTypes.h"

namespace kovra::testhost {

// The test host's game: its pools, models, vehicles and characters in the
// records the build description names, and a frame loop in the simulated
// game's order (sim::SimHost::RunFrame), every hooked event raised by
// running its routine. The skeletons, frame maths and seat placement are
// the simulated game's, so that the same inputs give the same poses.
class Game : public SiteSteps, public HostRoutines {
public:
    static constexpr int kVehicleCapacity = 110;
    static constexpr int kPedCapacity = 140;

    // `globals`: the game's variables, at their fixed place.
    explicit Game(TGlobals* globals);

    void AddModel(const sim::VehicleModel& model);
    void SetTimeStep(float step) { globals_->timeStep = step; }
    // The vehicle pool comes into being, then the engine is ready.
    void StartGame();
    TVehicle* CreateVehicle(int modelId, const FrameMatrix& world);
    // The game destroys a vehicle, whoever is in it: they are on foot after.
    void DestroyVehicle(TVehicle* vehicle);
    TPed* CreatePed();
    // The character's running animations become just this one.
    void RunAnimation(TPed* ped, const std::string& name);
    void SeatPed(TPed* ped, TVehicle* vehicle, bool asDriver);
    void SetPlayer(TPed* ped) { globals_->player = ped; }
    void RunFrame();
    int FrameCount() const { return frameCount_; }

    template <class F>
    void ForEachPed(F&& visit) {
        for (int slot = 0; slot < kPedCapacity; ++slot) {
            if (TPed* ped = PedAt(slot)) visit(slot, *ped);
        }
    }
    template <class F>
    void ForEachVehicle(F&& visit) {
        for (int slot = 0; slot < kVehicleCapacity; ++slot) {
            if (TVehicle* vehicle = VehicleAt(slot)) visit(*vehicle);
        }
    }

    // Per routine: how often the game ran it, how often its own step ran,
    // and how often that step was called from outside the executable.
    struct RoutineCounts {
        int entered = 0;
        int steps = 0;
        int viaModule = 0;
    };
    const std::array<RoutineCounts, static_cast<std::size_t>(Routine::Count)>& counts() const { return counts_; }
    // The routines of the last frame, in the order the game ran them, each
    // with whether its step came through the module.
    const std::vector<std::pair<Routine, bool>>& lastFrame() const { return lastFrame_; }
    // The routines of the host operations, in HostRoutines' order: how
    // often the module called each.
    enum class HostRoutine : int {
        UpdateSkeleton, FrameWorld, UpdateFrame, NameKey, RunScript, SetTextStyle, DrawText, TextWidth,
        DrawRect, RenderState, SetRenderState, DrawPrimitives, TimedMessage, Count
    };
    static const char* HostRoutineName(HostRoutine routine);
    const std::array<int, static_cast<std::size_t>(HostRoutine::Count)>& hostCalls() const { return hostCalls_; }
    // The texts drawn in the last frame, and every timed message shown.
    struct ScreenText {
        float x, y;
        std::string text;
        TextStyle style;  // the style set when it was drawn
    };
    const std::vector<ScreenText>& screen() const { return screen_; }
    // The last frame's rectangles, and a digest of its lines and triangles:
    // how many vertices of each, the sums of their positions and colours.
    struct ScreenRect {
        float left, top, right, bottom;
        Colour colour;
    };
    const std::vector<ScreenRect>& rects() const { return rects_; }
    struct DrawnDigest {
        int lineVertices = 0, triangleVertices = 0;
        double x = 0.0, y = 0.0, z = 0.0;
        std::uint64_t colours = 0;
    };
    const DrawnDigest& drawn() const { return drawn_; }
    // Every script command run: how often with each opcode and first input.
    const std::map<std::pair<int, int>, int>& scriptCalls() const { return scriptCalls_; }
    const std::vector<std::string>& messages() const { return messages_; }
    // The player types: into the game's buffer, newest first.
    void TypeText(const std::string& text);

    // ---- SiteSteps ----
    void Step(Routine routine, void* self, std::uintptr_t word, bool viaModule) override;
    // ---- HostRoutines ----
    void UpdateSkeleton(void* ped) override;
    const void* FrameWorld(void* frame) override;
    void UpdateFrame(void* frame) override;
    std::uint32_t NameKey(const char* name) override;
    int RunScript(int opcode, const void* in, int inCount, void* out, int outCount) override;
    void SetTextStyle(const void* style) override;
    void DrawText(float x, float y, const char* text) override;
    float TextWidth(const char* text) override;
    void DrawRect(float l, float t, float r, float b, std::uint32_t colour) override;
    std::uint32_t RenderState(int state) override;
    void SetRenderState(int state, std::uint32_t value) override;
    int DrawPrimitives(int kind, const void* vertices, int count) override;
    void TimedMessage(const char* text, int milliseconds) override;

private:
    TVehicle* VehicleAt(int slot);
    TPed* PedAt(int slot);
    void Enter(Routine routine);
    void BuildVehicle(TVehicle& vehicle);
    void PlaceSeatedPed(TPed& ped);
    void FreeVehicle(TVehicle& vehicle);  // the destructor's step
    void MoveVehicle(TVehicle& vehicle);  // the physics step: by its move speed
    void AnimatePed(TPed& ped);
    void StepVehicleAudio(TVehicle& vehicle);
    void TurnBikeSteering(TVehicle& vehicle);
    bool IsBike(const TVehicle& vehicle) const;

    TGlobals* globals_;
    TPool vehiclePool_{};
    TPool pedPool_{};
    std::vector<std::uint8_t> vehicleStorage_, vehicleFlags_, pedStorage_, pedFlags_;
    std::map<int, sim::VehicleModel> models_;
    std::map<int, TModel> modelRecords_;
    std::map<int, TStructure> structures_;
    std::array<std::int32_t, kNodeCount> nodeIds_{};
    TVehicle* creating_ = nullptr;
    int frameCount_ = 0;
    std::array<RoutineCounts, static_cast<std::size_t>(Routine::Count)> counts_{};
    std::vector<std::pair<Routine, bool>> lastFrame_;
    void Called(HostRoutine routine) { ++hostCalls_[static_cast<std::size_t>(routine)]; }
    std::array<int, static_cast<std::size_t>(HostRoutine::Count)> hostCalls_{};
    std::vector<ScreenText> screen_;
    std::vector<ScreenRect> rects_;
    DrawnDigest drawn_;
    std::map<std::pair<int, int>, int> scriptCalls_;
    std::vector<std::string> messages_;
    TextStyle textStyle_;
    std::map<int, std::uint32_t> renderStates_;
};

}  // namespace kovra::testhost
