#include "testhost/GameCode.h"

// The game's own thiscall routines are plain functions here; GCC applies the
// attribute to them and warns that it does.
#pragma GCC diagnostic ignored "-Wattributes"

#include <windows.h>
#undef DrawText  // a Host operation, not the Windows call

#include <algorithm>
#include <vector>

#include "kovra/host/HostTypes.h"
#include "kovra/host/injector/CallingConvention.h"
#include "testhost/GameTypes.h"
#include "windows/TestHostBuilds.h"

#ifndef KOVRA_TESTHOST_MINOR
#error "KOVRA_TESTHOST_MINOR: the build's version digit, as a character code"
#endif

#define KOVRA_STR2(x) #x
#define KOVRA_STR(x) KOVRA_STR2(x)

// The code. ".init" is the first thing in the code section, and nothing but
// this file puts anything there, so the routines start at the section's
// first byte. Offsets from there: 0x000 identity, 0x041 the start-up byte,
// 0x100 + 0x20 * i the hooked routine i, 0x400 + 8 * i the routine its
// site leads to, 0x800 + 8 * i the routines of the host operations. Each
// leads on to a C++ function below with a jump.
#define SITE_CALL(target) ".byte 0xE8\n .long " target " - (. + 4)\n"
#define SITE_JMP(target) ".byte 0xE9\n .long " target " - (. + 4)\n"
#define AT(offset) ".org " offset "\n"
#define THIS_CALL(i) AT(KOVRA_STR(0x100 + 0x20 * i)) SITE_CALL("kovra_step" #i) ".byte 0xC3\n"
#define THIS_JMP(i) AT(KOVRA_STR(0x100 + 0x20 * i)) ".byte 0x85, 0xC9\n" SITE_JMP("kovra_step" #i)
#define CDECL0(i) AT(KOVRA_STR(0x100 + 0x20 * i)) SITE_CALL("kovra_step" #i) ".byte 0xC3\n"
#define CDECL1(i) AT(KOVRA_STR(0x100 + 0x20 * i)) ".byte 0xFF, 0x74, 0x24, 0x04\n" SITE_CALL("kovra_step" #i) ".byte 0x83, 0xC4, 0x04, 0xC3\n"
#define THIS2(i) AT(KOVRA_STR(0x100 + 0x20 * i)) ".byte 0xFF, 0x74, 0x24, 0x04\n" SITE_CALL("kovra_step" #i) ".byte 0xC2, 0x04, 0x00\n"
#define STEP(i, impl) AT(KOVRA_STR(0x400 + 8 * i)) "kovra_step" #i ":\n" SITE_JMP(impl)
#define HOST(i, impl) AT(KOVRA_STR(0x800 + 8 * i)) SITE_JMP(impl)
// From version 1.1 on, five routines of the host operations take their
// arguments in another order or the game's own records (the "Own" ones below).
#if KOVRA_TESTHOST_MINOR >= '1'
#define OWN(name) name "Own"
#else
#define OWN(name) name
#endif

__asm__(
    ".section .init,\"xr\"\n"
    "kovra_code:\n"
    ".byte 0xB8, 'R', 'V', 'O', 'K', 0xC3\n"
    ".ascii \"KOVRA TEST HOST 1.\"\n"
    ".byte " KOVRA_STR(KOVRA_TESTHOST_MINOR) "\n"
    AT("0x40") ".byte 0xB8, 0, 0, 0, 0, 0xC3\n"
    THIS_CALL(0) THIS_CALL(1) CDECL0(2) CDECL0(3)
    THIS_JMP(4) THIS_CALL(5) THIS_CALL(6) THIS_CALL(7) THIS_CALL(8)
    THIS_CALL(9) THIS_JMP(10) THIS_CALL(11) THIS_CALL(12)
    CDECL1(13) CDECL0(14) CDECL1(15) THIS_CALL(16) THIS2(17) THIS2(18)
    STEP(0, "kovra_this1") STEP(1, "kovra_this1")
    STEP(2, "kovra_cdecl0") STEP(3, "kovra_cdecl0")
    STEP(4, "kovra_this1") STEP(5, "kovra_this1")
    STEP(6, "kovra_this1") STEP(7, "kovra_this1")
    STEP(8, "kovra_this1") STEP(9, "kovra_this1")
    STEP(10, "kovra_this1") STEP(11, "kovra_this1")
    STEP(12, "kovra_this1") STEP(13, "kovra_cdecl1")
    STEP(14, "kovra_cdecl0") STEP(15, "kovra_cdecl1")
    STEP(16, "kovra_this1") STEP(17, "kovra_this2")
    STEP(18, "kovra_this2")
    HOST(0, "kovra_updateSkeleton") HOST(1, "kovra_frameWorld") HOST(2, "kovra_updateFrame")
    HOST(3, "kovra_nameKey") HOST(4, OWN("kovra_runScript")) HOST(5, OWN("kovra_setTextStyle"))
    HOST(6, OWN("kovra_drawText")) HOST(7, "kovra_textWidth") HOST(8, OWN("kovra_drawRect"))
    HOST(9, "kovra_renderState") HOST(10, "kovra_setRenderState") HOST(11, OWN("kovra_drawPrimitives"))
    HOST(12, "kovra_timedMessage")
    ".text\n");

namespace kovra::testhost {

namespace {

SiteSteps* steps = nullptr;
HostRoutines* routines = nullptr;

// The step routines share four entry points by shape; which site led here is
// told by the return address (inside this executable) or, through a hook,
// by the routine the game is in.
Routine current = Routine::Count;

bool FromModule(void* returnAddress) {
    const auto base = reinterpret_cast<std::uintptr_t>(GetModuleHandleA(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + static_cast<std::uintptr_t>(dos->e_lfanew));
    const auto at = reinterpret_cast<std::uintptr_t>(returnAddress);
    return at < base || at >= base + nt->OptionalHeader.SizeOfImage;
}

void Step(void* self, std::uintptr_t word, void* returnAddress) {
    if (steps != nullptr) steps->Step(current, self, word, FromModule(returnAddress));
}

}  // namespace

std::uintptr_t CodeStart() {
    return reinterpret_cast<std::uintptr_t>(GetModuleHandleA(nullptr)) +
           (windows::kTestHostCode - windows::kTestHostBase);
}

std::uintptr_t RoutineAddress(Routine routine) {
    return CodeStart() + 0x100 + 0x20 * static_cast<std::uintptr_t>(routine);
}

void SetSiteSteps(SiteSteps* s) { steps = s; }
void SetHostRoutines(HostRoutines* r) { routines = r; }

namespace {
// Which routine the game is in while it runs one; routines do not nest.
struct InRoutine {
    explicit InRoutine(Routine r) { current = r; }
    ~InRoutine() { current = Routine::Count; }
};
}  // namespace

void CallCdecl(Routine routine) {
    InRoutine in(routine);
    reinterpret_cast<void (*)()>(RoutineAddress(routine))();
}
void CallCdecl(Routine routine, std::uintptr_t word) {
    InRoutine in(routine);
    reinterpret_cast<void (*)(std::uintptr_t)>(RoutineAddress(routine))(word);
}
void CallThis(Routine routine, void* self) {
    InRoutine in(routine);
    reinterpret_cast<void(KOVRA_THISCALL*)(void*)>(RoutineAddress(routine))(self);
}
void CallThis(Routine routine, void* self, void* word) {
    InRoutine in(routine);
    reinterpret_cast<void(KOVRA_THISCALL*)(void*, void*)>(RoutineAddress(routine))(self, word);
}

}  // namespace kovra::testhost

using kovra::testhost::routines;
using kovra::testhost::Step;

// The game's own steps and the host operations' routines, by the names the
// code above jumps to.
extern "C" {
void KOVRA_THISCALL kovra_this1(void* self) __asm__("kovra_this1");
void kovra_cdecl0() __asm__("kovra_cdecl0");
void kovra_cdecl1(std::uintptr_t word) __asm__("kovra_cdecl1");
void KOVRA_THISCALL kovra_this2(void* self, void* word) __asm__("kovra_this2");
void KOVRA_THISCALL kovra_updateSkeleton(void* ped) __asm__("kovra_updateSkeleton");
const void* kovra_frameWorld(void* frame) __asm__("kovra_frameWorld");
void kovra_updateFrame(void* frame) __asm__("kovra_updateFrame");
std::uint32_t kovra_nameKey(const char* name) __asm__("kovra_nameKey");
int kovra_runScript(int opcode, const void* in, int inCount, void* out, int outCount) __asm__("kovra_runScript");
void kovra_setTextStyle(const void* style) __asm__("kovra_setTextStyle");
void kovra_drawText(float x, float y, const char* text) __asm__("kovra_drawText");
float kovra_textWidth(const char* text) __asm__("kovra_textWidth");
void kovra_drawRect(float l, float t, float r, float b, std::uint32_t colour) __asm__("kovra_drawRect");
std::uint32_t kovra_renderState(int state) __asm__("kovra_renderState");
void kovra_setRenderState(int state, std::uint32_t value) __asm__("kovra_setRenderState");
int kovra_drawPrimitives(int kind, const void* vertices, int count) __asm__("kovra_drawPrimitives");
void kovra_timedMessage(const char* text, int milliseconds) __asm__("kovra_timedMessage");
int kovra_runScriptOwn(int opcode, const kovra::testhost::TScriptArg* in, int inCount,
                       kovra::testhost::TScriptArg* out, int outCount) __asm__("kovra_runScriptOwn");
void kovra_setTextStyleOwn(const kovra::testhost::TTextStyle* style) __asm__("kovra_setTextStyleOwn");
void __attribute__((stdcall)) kovra_drawTextOwn(const char* text, float x, float y) __asm__("kovra_drawTextOwn");
void KOVRA_THISCALL kovra_drawRectOwn(std::uint32_t colour, float l, float t, float r, float b)
    __asm__("kovra_drawRectOwn");
int kovra_drawPrimitivesOwn(const kovra::testhost::TVertex* vertices, int count, int kind)
    __asm__("kovra_drawPrimitivesOwn");
}

void KOVRA_THISCALL kovra_this1(void* self) { Step(self, 0, __builtin_return_address(0)); }
void kovra_cdecl0() { Step(nullptr, 0, __builtin_return_address(0)); }
void kovra_cdecl1(std::uintptr_t word) { Step(nullptr, word, __builtin_return_address(0)); }
void KOVRA_THISCALL kovra_this2(void* self, void* word) {
    Step(self, reinterpret_cast<std::uintptr_t>(word), __builtin_return_address(0));
}

void KOVRA_THISCALL kovra_updateSkeleton(void* ped) { routines->UpdateSkeleton(ped); }
const void* kovra_frameWorld(void* frame) { return routines->FrameWorld(frame); }
void kovra_updateFrame(void* frame) { routines->UpdateFrame(frame); }
std::uint32_t kovra_nameKey(const char* name) { return routines->NameKey(name); }
int kovra_runScript(int opcode, const void* in, int inCount, void* out, int outCount) {
    return routines->RunScript(opcode, in, inCount, out, outCount);
}
void kovra_setTextStyle(const void* style) { routines->SetTextStyle(style); }
void kovra_drawText(float x, float y, const char* text) { routines->DrawText(x, y, text); }
float kovra_textWidth(const char* text) { return routines->TextWidth(text); }
void kovra_drawRect(float l, float t, float r, float b, std::uint32_t colour) { routines->DrawRect(l, t, r, b, colour); }
std::uint32_t kovra_renderState(int state) { return routines->RenderState(state); }
void kovra_setRenderState(int state, std::uint32_t value) { routines->SetRenderState(state, value); }
int kovra_drawPrimitives(int kind, const void* vertices, int count) {
    return routines->DrawPrimitives(kind, vertices, count);
}
void kovra_timedMessage(const char* text, int milliseconds) { routines->TimedMessage(text, milliseconds); }

// Version 1.1's own forms, handed on to the same steps as 1.0's.
namespace {
// The plugin's colour (bytes red, green, blue, alpha) from the game's four
// bytes, given where each of them lies.
kovra::Colour ColourOf(const std::uint32_t& field, int r, int g, int b, int a) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&field);
    return static_cast<kovra::Colour>(bytes[r] | bytes[g] << 8 | bytes[b] << 16 | static_cast<std::uint32_t>(bytes[a]) << 24);
}
}  // namespace

int kovra_runScriptOwn(int opcode, const kovra::testhost::TScriptArg* in, int inCount, kovra::testhost::TScriptArg* out,
                       int outCount) {
    std::vector<kovra::ScriptArg> inputs(static_cast<std::size_t>(std::max(inCount, 0)));
    std::vector<kovra::ScriptArg> outputs(static_cast<std::size_t>(std::max(outCount, 0)));
    for (std::size_t i = 0; i < inputs.size(); ++i) inputs[i].i = in[i].i;  // the commands here take whole numbers
    const int done = routines->RunScript(opcode, inputs.data(), inCount, outputs.data(), outCount);
    for (std::size_t i = 0; i < outputs.size(); ++i) out[i].i = outputs[i].i;
    return done;
}

void kovra_setTextStyleOwn(const kovra::testhost::TTextStyle* s) {
    kovra::TextStyle style;
    style.scaleX = s->scaleX;
    style.scaleY = s->scaleY;
    style.colour = ColourOf(s->colour, 1, 2, 3, 0);
    style.align = static_cast<kovra::TextAlign>(s->align);
    style.background = s->background != 0;
    style.wrapWidth = s->wrapWidth;
    style.font = s->font;
    style.proportional = s->proportional != 0;
    style.shadow = s->shadow;
    style.shadowColour = ColourOf(s->shadowColour, 0, 1, 2, 3);
    routines->SetTextStyle(&style);
}

void __attribute__((stdcall)) kovra_drawTextOwn(const char* text, float x, float y) { routines->DrawText(x, y, text); }

void KOVRA_THISCALL kovra_drawRectOwn(std::uint32_t colour, float l, float t, float r, float b) {
    routines->DrawRect(l, t, r, b, colour);
}

int kovra_drawPrimitivesOwn(const kovra::testhost::TVertex* vertices, int count, int kind) {
    std::vector<kovra::LineVertex> plugin(static_cast<std::size_t>(std::max(count, 0)));
    for (std::size_t i = 0; i < plugin.size(); ++i) {
        plugin[i].pos = {vertices[i].x, vertices[i].y, vertices[i].z};
        plugin[i].colour = ColourOf(vertices[i].colour, 2, 1, 0, 3);
    }
    return routines->DrawPrimitives(kind, plugin.data(), count);
}
