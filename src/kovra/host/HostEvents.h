#pragma once

#include "kovra/host/Event.h"

namespace kovra {

// Every host event the plugin attaches to, and the sink the host's hooked
// call sites reach: it hands each call to the matching event's callbacks.
class HostEvents : public HookSink {
public:
    explicit HostEvents(Host& host);
    HostEvents(const HostEvents&) = delete;
    HostEvents& operator=(const HostEvents&) = delete;

    void Before(HostEvent event, const HostEventArgs& args) override;
    void After(HostEvent event, const HostEventArgs& args) override;

    Event<> engineReady;
    Event<CPed*> pedIk;
    Event<CPed*> pedHead;
    Event<CVehicle*> vehicleProcess;
    Event<CVehicle*> vehicleFrameEnd;
    Event<int> frame;
    Event<> overlayB;
    Event<CPed*> seatPlacement;
    Event<CBike*> bikeProcess;
    Event<CAEVehicleAudioEntity*, cVehicleParams*> vehicleAudioGear;
    // The per-vehicle extension slot's sites.
    Event<CVehicle*> vehicleCreated;
    Event<CVehicle*> vehicleDestroyed;
    Event<> vehiclePoolCreated;

private:
    template <typename F>
    void Run(HostEvent event, const HostEventArgs& args, F&& run);
};

}  // namespace kovra
