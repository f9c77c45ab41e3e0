// Pin map and bus cycles of the PAXON (bus cycles not built yet).
#include "targets/bus_ops.h"

const BusOps paxon_bus_ops = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
