// Pin map and bus cycles of the MIRTA (bus cycles not built yet).
#include "targets/bus_ops.h"

const BusOps mirta_bus_ops = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
