#include "windows/SiteHooks.h"

#include <array>
#include <cstdio>
#include <exception>
#include <string>
#include <utility>

#include "kovra/host/injector/scoped_call.h"
#include "kovra/host/injector/scoped_jmp.h"
#include "windows/BuildDescription.h"
#include "windows/ForeignCode.h"
#include "windows/ModuleLog.h"

namespace kovra::windows {

namespace {

using injector::BranchPatch;
using injector::Convention;
using Word = std::uint32_t;

// What each event's game routine is given: nothing, its subject, or the
// audio entity and its parameter record.
int ArityOf(HostEvent event) {
    switch (event) {
        case HostEvent::EngineReady:
        case HostEvent::OverlayB:
        case HostEvent::VehiclePoolCreated: return 0;
        case HostEvent::VehicleAudioGear: return 2;
        default: return 1;
    }
}

HostEventArgs ArgsOf(HostEvent event, Word first, Word second) {
    HostEventArgs args;
    switch (event) {
        case HostEvent::PedIk:
        case HostEvent::PedHead:
        case HostEvent::SeatPlacement: args.ped = reinterpret_cast<CPed*>(first); break;
        case HostEvent::VehicleProcess:
        case HostEvent::VehicleFrameEnd:
        case HostEvent::VehicleCreated:
        case HostEvent::VehicleDestroyed: args.vehicle = reinterpret_cast<CVehicle*>(first); break;
        case HostEvent::BikeProcess: args.bike = reinterpret_cast<CBike*>(first); break;
        case HostEvent::Frame: args.frame = static_cast<int>(first); break;
        case HostEvent::VehicleAudioGear:
            args.audio = reinterpret_cast<CAEVehicleAudioEntity*>(first);
            args.params = reinterpret_cast<cVehicleParams*>(second);
            break;
        default: break;
    }
    return args;
}

SiteHooks::Context& Of(void* context) { return *static_cast<SiteHooks::Context*>(context); }

// What each slot's wrapper hands its calls to, kept per slot as the slot's
// wrapper state is: a site that could not be put back (another module's hook
// laid over it, or a page that would not turn writable again) still reaches
// its wrapper after its SiteHooks is gone.
std::array<SiteHooks::Context, kMaxHookSites> slotContexts;

std::string Hex(std::uintptr_t value, int digits = 8) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
    return text;
}

void Fault(HostEvent event, bool before, const char* what) noexcept {
    char where[64];
    std::snprintf(where, sizeof where, "the %s hook (%s)", SiteHooks::EventName(event), before ? "before" : "after");
    LogFault(where, what);
}

// Hands one call to the sink. Nothing the plugin throws reaches the game:
// it is caught here and written to the log, naming the event.
void Deliver(void* c, bool before, Word a, Word b) noexcept {
    const SiteHooks::Context& context = Of(c);
    try {
        const HostEventArgs args = ArgsOf(context.event, a, b);
        if (before) {
            context.sink->Before(context.event, args);
        } else {
            context.sink->After(context.event, args);
        }
    } catch (const std::exception& e) {
        Fault(context.event, before, e.what());
    } catch (...) {
        Fault(context.event, before, "an unknown exception");
    }
}

void Before0(void* c) { Deliver(c, true, 0, 0); }
void After0(void* c) { Deliver(c, false, 0, 0); }
void Before1(void* c, Word a) { Deliver(c, true, a, 0); }
void After1(void* c, Word a) { Deliver(c, false, a, 0); }
void Before2(void* c, Word a, Word b) { Deliver(c, true, a, b); }
void After2(void* c, Word a, Word b) { Deliver(c, false, a, b); }

template <class Hook>
class HeldSite : public SiteHooks::Site {
public:
    explicit HeldSite(Hook hook) : hook_(std::move(hook)) {}
    bool installed() const override { return hook_.installed(); }

private:
    Hook hook_;
};

struct Target {
    std::uintptr_t site;
    std::uintptr_t callee;
};

template <class Hook, class Callback>
std::unique_ptr<SiteHooks::Site> Hold(injector::CodeAccess& code, Target t, Callback before,
                                      Callback after, SiteHooks::Context* context) {
    Hook hook = Hook::Install(code, t.site, t.callee, before, after, context);
    if (!hook.installed()) return nullptr;
    return std::make_unique<HeldSite<Hook>>(std::move(hook));
}

template <std::uint8_t Opcode, std::size_t Slot, Convention C>
std::unique_ptr<SiteHooks::Site> ByArity(injector::CodeAccess& code, Target t, int arity,
                                         SiteHooks::Context* context) {
    using injector::ScopedBranch;
    switch (arity) {
        case 0: return Hold<ScopedBranch<Opcode, Slot, C>>(code, t, &Before0, &After0, context);
        case 1: return Hold<ScopedBranch<Opcode, Slot, C, Word>>(code, t, &Before1, &After1, context);
        default:
            return Hold<ScopedBranch<Opcode, Slot, C, Word, Word>>(code, t, &Before2, &After2, context);
    }
}

// One wrapper set per slot, a slot per entry of the build's site list.
template <std::size_t Slot>
std::unique_ptr<SiteHooks::Site> InstallSlot(injector::CodeAccess& code, const HookSite& s,
                                             Target t, SiteHooks::Context* context) {
    const int arity = ArityOf(s.event);
    const bool call = s.opcode == BranchPatch::kCall;
    if (s.opcode != BranchPatch::kCall && s.opcode != BranchPatch::kJmp) return nullptr;
    if (s.convention == Convention::Thiscall) {
        if (arity == 0) return nullptr;  // a member function has its object
        return call ? ByArity<BranchPatch::kCall, Slot, Convention::Thiscall>(code, t, arity, context)
                    : ByArity<BranchPatch::kJmp, Slot, Convention::Thiscall>(code, t, arity, context);
    }
    return call ? ByArity<BranchPatch::kCall, Slot, Convention::Cdecl>(code, t, arity, context)
                : ByArity<BranchPatch::kJmp, Slot, Convention::Cdecl>(code, t, arity, context);
}

using Installer = std::unique_ptr<SiteHooks::Site> (*)(injector::CodeAccess&, const HookSite&,
                                                       Target, SiteHooks::Context*);

template <std::size_t... Slots>
constexpr std::array<Installer, sizeof...(Slots)> Installers(std::index_sequence<Slots...>) {
    return {&InstallSlot<Slots>...};
}

constexpr auto kInstallers = Installers(std::make_index_sequence<kMaxHookSites>{});

}  // namespace

const char* SiteHooks::EventName(HostEvent event) { return BuildDescription::EventName(event); }

std::unique_ptr<SiteHooks> SiteHooks::Install(injector::CodeAccess& code, const HostBuild& build,
                                              std::uintptr_t moved, HostEvent event,
                                              HookSink& sink, Outcome& outcome) {
    outcome = {};
    // A description with more sites than wrappers could patch only some of
    // them: it hooks nothing rather than report a partial install.
    if (build.sites.size() > kMaxHookSites) {
        outcome.refusal = "the description lists more than " + std::to_string(kMaxHookSites) + " sites";
        return nullptr;
    }
    // Every site is looked at before any is written: where each leads, and
    // so what its wrapper calls.
    std::vector<Target> targets;
    for (const HookSite& s : build.sites) {
        if (s.event != event) continue;
        const std::string at = Hex(s.site);
        const std::uintptr_t site = s.site + moved;
        const auto opcode = *reinterpret_cast<const std::uint8_t*>(site);
        if (opcode != BranchPatch::kCall && opcode != BranchPatch::kJmp) {
            outcome.refusal = "the site at " + at + " holds no call or jump (byte " + Hex(opcode, 2) + ")";
            return nullptr;
        }
        if (opcode != s.opcode) {
            outcome.refusal = "the site at " + at + " holds a " + (opcode == BranchPatch::kCall ? "call" : "jump") +
                              " where the description has a " + (s.opcode == BranchPatch::kCall ? "call" : "jump");
            return nullptr;
        }
        std::string line = std::string(EventName(event)) + "@" + at;
        const std::uintptr_t leadsTo = BranchPatch::TargetOf(site);
        if (leadsTo != s.callee + moved) {
            std::string owner;
            if (!ForeignCodeOwner(leadsTo, owner)) {
                outcome.refusal = "the site at " + at + " leads to " + Hex(leadsTo - moved) + ", not to the described " +
                                  Hex(s.callee);
                return nullptr;
            }
            line += " chained after " + owner;
        }
        targets.push_back({site, leadsTo});
        outcome.lines.push_back(std::move(line));
    }
    if (targets.empty()) {
        outcome.refusal = "the description lists no site for it";
        return nullptr;
    }
    std::unique_ptr<SiteHooks> hooks(new SiteHooks());
    hooks->context_ = {event, &sink};
    hooks->sites_.reserve(targets.size());
    std::size_t next = 0;
    for (std::size_t i = 0; i < build.sites.size(); ++i) {
        const HookSite& s = build.sites[i];
        if (s.event != event) continue;
        slotContexts[i] = hooks->context_;
        std::unique_ptr<Site> site = kInstallers[i](code, s, targets[next++], &slotContexts[i]);
        // All or nothing: dropping `hooks` puts back the sites already done.
        if (!site) {
            outcome.refusal = "the site at " + Hex(s.site) + " could not be patched";
            outcome.lines.clear();
            return nullptr;
        }
        hooks->sites_.push_back(std::move(site));
    }
    return hooks;
}

SiteHooks::~SiteHooks() {
    // Later sites first, so that the game is put back in reverse order.
    while (!sites_.empty()) sites_.pop_back();
}

}  // namespace kovra::windows
