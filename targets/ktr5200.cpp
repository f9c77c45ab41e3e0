// Pin map and bus cycles of the KTR5200 (bus cycles not built yet).
#include "targets/bus_ops.h"

const BusOps ktr5200_bus_ops = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
