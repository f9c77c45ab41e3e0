// Pin map and bus cycles of the ULN (bus cycles not built yet).
#include "targets/bus_ops.h"

const BusOps uln_bus_ops = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
