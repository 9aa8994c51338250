#include "kovra/host/injector/HostHook.h"

#include <utility>

namespace kovra {

HostHook::HostHook(Host& host, HostEvent event, HookSink& sink) : event_(event) {
    if (host.InstallHooks(event, sink)) {
        host_ = &host;
        sink_ = &sink;
    }
}

HostHook::HostHook(HostHook&& other) noexcept
    : host_(std::exchange(other.host_, nullptr)),
      sink_(std::exchange(other.sink_, nullptr)),
      event_(other.event_) {}

HostHook& HostHook::operator=(HostHook&& other) noexcept {
    if (this != &other) {
        Remove();
        host_ = std::exchange(other.host_, nullptr);
        sink_ = std::exchange(other.sink_, nullptr);
        event_ = other.event_;
    }
    return *this;
}

HostHook::~HostHook() { Remove(); }

void HostHook::Remove() {
    if (host_ != nullptr) host_->RemoveHooks(event_, *sink_);
    host_ = nullptr;
    sink_ = nullptr;
}

}  // namespace kovra
