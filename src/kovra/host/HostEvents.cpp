#include "kovra/host/HostEvents.h"

namespace kovra {

HostEvents::HostEvents(Host& host)
    : engineReady(host, HostEvent::EngineReady, *this),
      pedIk(host, HostEvent::PedIk, *this),
      pedHead(host, HostEvent::PedHead, *this),
      vehicleProcess(host, HostEvent::VehicleProcess, *this),
      vehicleFrameEnd(host, HostEvent::VehicleFrameEnd, *this),
      frame(host, HostEvent::Frame, *this),
      overlayB(host, HostEvent::OverlayB, *this),
      seatPlacement(host, HostEvent::SeatPlacement, *this),
      bikeProcess(host, HostEvent::BikeProcess, *this),
      vehicleAudioGear(host, HostEvent::VehicleAudioGear, *this),
      vehicleCreated(host, HostEvent::VehicleCreated, *this),
      vehicleDestroyed(host, HostEvent::VehicleDestroyed, *this),
      vehiclePoolCreated(host, HostEvent::VehiclePoolCreated, *this) {}

// `run(event, before)` is handed the typed event of the id, whichever list.
template <typename F>
void HostEvents::Run(HostEvent event, const HostEventArgs& a, F&& run) {
    switch (event) {
        case HostEvent::EngineReady: run(engineReady); break;
        case HostEvent::PedIk: run(pedIk, a.ped); break;
        case HostEvent::PedHead: run(pedHead, a.ped); break;
        case HostEvent::VehicleProcess: run(vehicleProcess, a.vehicle); break;
        case HostEvent::VehicleFrameEnd: run(vehicleFrameEnd, a.vehicle); break;
        case HostEvent::Frame: run(frame, a.frame); break;
        case HostEvent::OverlayB: run(overlayB); break;
        case HostEvent::SeatPlacement: run(seatPlacement, a.ped); break;
        case HostEvent::BikeProcess: run(bikeProcess, a.bike); break;
        case HostEvent::VehicleAudioGear: run(vehicleAudioGear, a.audio, a.params); break;
        case HostEvent::VehicleCreated: run(vehicleCreated, a.vehicle); break;
        case HostEvent::VehicleDestroyed: run(vehicleDestroyed, a.vehicle); break;
        case HostEvent::VehiclePoolCreated: run(vehiclePoolCreated); break;
        case HostEvent::Count: break;
    }
}

void HostEvents::Before(HostEvent event, const HostEventArgs& args) {
    Run(event, args, [](const auto& e, auto... values) { e.RunBefore(values...); });
}

void HostEvents::After(HostEvent event, const HostEventArgs& args) {
    Run(event, args, [](const auto& e, auto... values) { e.RunAfter(values...); });
}

}  // namespace kovra
