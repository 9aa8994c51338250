#pragma once

#include <cstdint>

// The test host's hooked routines: hand-written machine code in the first
// bytes of its code section, so that every site is where the build
// description says (GameCode.cpp). The game calls them through these.
namespace kovra::testhost {

// Index of a routine in the code, the same as its site's in the description.
enum class Routine : int {
    VehicleCreated = 0, VehicleDestroyed, VehiclePoolCreated, EngineReady,
    PedIkDriver, PedIkPassenger, PedIkOnFoot, PedHeadDriver, PedHeadOther,
    VehicleProcessCar, VehicleProcessBike, VehicleFrameEndCar, VehicleFrameEndBike,
    Frame, Overlay, SeatPlacement, BikeProcess, VehicleAudioCar, VehicleAudioBike,
    Count
};

// Where the code is in this process.
std::uintptr_t CodeStart();
std::uintptr_t RoutineAddress(Routine routine);
// Calls a routine with its convention: none, an object in ECX, one stack
// word, or ECX and one stack word.
void CallCdecl(Routine routine);
void CallCdecl(Routine routine, std::uintptr_t word);
void CallThis(Routine routine, void* self);
void CallThis(Routine routine, void* self, void* word);

// What the game's own steps at the sites do; the game supplies them.
struct SiteSteps {
    virtual ~SiteSteps() = default;
    // `viaModule`: the step was called from outside the executable, that
    // is through a hook.
    virtual void Step(Routine routine, void* self, std::uintptr_t word, bool viaModule) = 0;
};
void SetSiteSteps(SiteSteps* steps);

// The routines the build description names for the host operations.
struct HostRoutines {
    virtual ~HostRoutines() = default;
    virtual void UpdateSkeleton(void* ped) = 0;
    virtual const void* FrameWorld(void* frame) = 0;
    virtual void UpdateFrame(void* frame) = 0;
    virtual std::uint32_t NameKey(const char* name) = 0;
    virtual int RunScript(int opcode, const void* in, int inCount, void* out, int outCount) = 0;
    virtual void SetTextStyle(const void* style) = 0;
    virtual void DrawText(float x, float y, const char* text) = 0;
    virtual float TextWidth(const char* text) = 0;
    virtual void DrawRect(float l, float t, float r, float b, std::uint32_t colour) = 0;
    virtual std::uint32_t RenderState(int state) = 0;
    virtual void SetRenderState(int state, std::uint32_t value) = 0;
    virtual int DrawPrimitives(int kind, const void* vertices, int count) = 0;
    virtual void TimedMessage(const char* text, int milliseconds) = 0;
};
void SetHostRoutines(HostRoutines* routines);

}  // namespace kovra::testhost
