#include "kovra/config/VehicleConfigRecord.h"

namespace kovra {

VehicleConfigRecord::VehicleConfigRecord(Runtime& runtime, std::int32_t modelId_)
    : modelId(modelId_),
      gear(runtime),
      steer(runtime),
      handBrake(runtime),
      bar(runtime),
      gasPedal(runtime),
      clutchPedal(runtime),
      peg(runtime),
      bikeShift(runtime),
      seatJiggle(runtime),
      templates{&gear, &steer, &handBrake, &bar, &gasPedal, &clutchPedal, &peg, &bikeShift,
                &seatJiggle} {
    for (IkHandle* handle : templates) handle->modelId = modelId_;
}

IkHandle* VehicleConfigRecord::templateOf(HandleKind kind) {
    const int code = KindCode(kind);
    if (!IsHandleKindCode(code)) return nullptr;
    return templates[static_cast<std::size_t>(code)];
}

const IkHandle* VehicleConfigRecord::templateOf(HandleKind kind) const {
    return const_cast<VehicleConfigRecord*>(this)->templateOf(kind);
}

}  // namespace kovra
