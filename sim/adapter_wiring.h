// SPDX-License-Identifier: Apache-2.0
// The virtual adapter's board, wired as the tool's --cable-config describes the adapter: which
// interface reaches the header, which pins open its buffers, and where nTRST and nSRST are.
#pragma once

#include <string>
#include <vector>

#include "sim/mpsse_engine.h"

namespace sim {

// From the tool's options (after --): false when they name no adapter configuration, or one
// that cannot be read (the tool refuses it itself).
bool adapter_wiring_from_tool_args(const std::vector<std::string>& tool_args, AdapterWiring& wiring);

}  // namespace sim
