// SPDX-License-Identifier: Apache-2.0
// The outcome record under the names the engine's own code uses.
#pragma once

#include "jtag/engine_outcome.h"

using tarnflash::Outcome;
using tarnflash::outcome_of;
using tarnflash::Status;
