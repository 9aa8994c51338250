#pragma once

#include "kovra/host/HostTypes.h"

namespace kovra {

// What a hooked host call site passes on. Each event fills the members it
// has; the rest stay null or zero.
struct HostEventArgs {
    CPed* ped = nullptr;
    CVehicle* vehicle = nullptr;
    CBike* bike = nullptr;
    int frame = 0;
    CAEVehicleAudioEntity* audio = nullptr;
    cVehicleParams* params = nullptr;
};

// The plugin's side of an installed hook: the host calls Before just ahead
// of its own step at the hooked site and After right behind it.
class HookSink {
public:
    virtual ~HookSink() = default;
    virtual void Before(HostEvent event, const HostEventArgs& args) = 0;
    virtual void After(HostEvent event, const HostEventArgs& args) = 0;
};

}  // namespace kovra
