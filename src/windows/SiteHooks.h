#pragma once

#include <memory>
#include <string>
#include <vector>

#include "kovra/host/HookSink.h"
#include "kovra/host/injector/CodeAccess.h"
#include "windows/HostBuild.h"

namespace kovra::windows {

// The largest number of sites a build description may list.
inline constexpr std::size_t kMaxHookSites = 32;

// The hooks of one event at the sites of the running build, all or none:
// each site's branch reaches a wrapper that hands the call to the sink.
class SiteHooks {
public:
    // What installing did: a line per site ("Frame@0x004012A4", with
    // " chained after NAME" where another module had hooked the site
    // first), or why the event was refused.
    struct Outcome {
        std::vector<std::string> lines;
        std::string refusal;
    };
    // The event's entries of build.sites; `moved` is the load address minus
    // the build's preferred base. A site whose branch another module has
    // already turned to its own code is chained: the wrapper calls whatever
    // the site led to. Null when the build lists no site for the event or
    // one of them cannot be hooked (the others are then put back).
    static std::unique_ptr<SiteHooks> Install(injector::CodeAccess& code, const HostBuild& build,
                                              std::uintptr_t moved, HostEvent event,
                                              HookSink& sink, Outcome& outcome);
    ~SiteHooks();
    SiteHooks(const SiteHooks&) = delete;
    SiteHooks& operator=(const SiteHooks&) = delete;

    HostEvent event() const { return context_.event; }
    // The event's name in the log ("PedIk").
    static const char* EventName(HostEvent event);
    HookSink* sink() const { return context_.sink; }

    struct Context {
        HostEvent event = HostEvent::Count;
        HookSink* sink = nullptr;
    };
    class Site {
    public:
        virtual ~Site() = default;
        virtual bool installed() const = 0;
    };

private:
    SiteHooks() = default;

    Context context_;
    std::vector<std::unique_ptr<Site>> sites_;
};

}  // namespace kovra::windows
