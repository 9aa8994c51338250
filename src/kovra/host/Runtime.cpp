#include "kovra/host/Runtime.h"

namespace kovra {

Runtime::Runtime(Host& host) : host_(host), solver_(host), store_(*this) {}

}  // namespace kovra
