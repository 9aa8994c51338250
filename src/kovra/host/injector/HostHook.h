#pragma once

#include "kovra/host/Host.h"

namespace kovra {

// One installed hook: the host's call sites of an event reach a sink for as
// long as this object lives. Move-only; a moved-from or failed hook holds
// nothing.
class HostHook {
public:
    HostHook() = default;
    // Installs the hooks; check installed() for the outcome.
    HostHook(Host& host, HostEvent event, HookSink& sink);
    HostHook(HostHook&& other) noexcept;
    HostHook& operator=(HostHook&& other) noexcept;
    HostHook(const HostHook&) = delete;
    HostHook& operator=(const HostHook&) = delete;
    ~HostHook();

    bool installed() const { return host_ != nullptr; }
    HostEvent event() const { return event_; }
    // Takes the hooks out again (also done by the destructor).
    void Remove();

private:
    Host* host_ = nullptr;
    HookSink* sink_ = nullptr;
    HostEvent event_ = HostEvent::Count;
};

}  // namespace kovra
