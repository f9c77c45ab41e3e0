// SPDX-License-Identifier: Apache-2.0
#include "sim/virtual_port.h"

namespace sim {

VirtualPort::VirtualPort(VirtualClock& clock, SimStats& stats, ScanChain& chain, bool present, uint16_t base,
                         uint64_t access_ns)
    : clock_(clock), stats_(stats), chain_(chain), present_(present), base_(base), access_ns_(access_ns)
{}

}  // namespace sim
