#pragma once

#include <functional>
#include <utility>
#include <vector>

#include "kovra/host/injector/HostHook.h"

namespace kovra {

enum class EventList { Before, After };

// One host event: the callbacks to run before and after the host's own step,
// each list in subscription order. The first subscription installs the
// event's hooks; callbacks are never removed.
template <typename... Args>
class Event {
public:
    using Callback = std::function<void(Args...)>;

    Event(Host& host, HostEvent id, HookSink& sink) : host_(&host), id_(id), sink_(&sink) {}

    void Subscribe(EventList list, Callback callback) {
        if (!installed_) {
            installed_ = true;
            hook_ = HostHook(*host_, id_, *sink_);
        }
        (list == EventList::Before ? before_ : after_).push_back(std::move(callback));
    }

    void RunBefore(Args... args) const {
        for (const Callback& callback : before_) callback(args...);
    }
    void RunAfter(Args... args) const {
        for (const Callback& callback : after_) callback(args...);
    }

    // Whether a subscription asked for the hooks, and whether the host took them.
    bool installed() const { return installed_; }
    bool hooked() const { return hook_.installed(); }
    HostEvent id() const { return id_; }

private:
    Host* host_;
    HostEvent id_;
    HookSink* sink_;
    bool installed_ = false;
    HostHook hook_;
    std::vector<Callback> before_;
    std::vector<Callback> after_;
};

}  // namespace kovra
