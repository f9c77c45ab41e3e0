// SPDX-License-Identifier: Apache-2.0
// The host interface under the names the engine's own code uses.
#pragma once

#include "jtag/engine_host.h"

using tarnflash::EventKind;
using tarnflash::Host;
using EngineEvent = tarnflash::Event;
