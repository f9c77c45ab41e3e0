// SPDX-License-Identifier: Apache-2.0
// The engine of tarnflash for a program of its own (a production station, a test fixture): the
// host interface it reports to, the outcome of its operations, the cables, the built-in CPUs and
// BSDL-described ones, the flash session and its operations, and the platform seam that reaches
// the operating system. Link tarnflash::engine (find_package(tarnflash)).
#pragma once

#include "platform/os_platform.h"
#include "platform/platform.h"
#include "jtag/cable.h"
#include "jtag/chain_check.h"
#include "jtag/host.h"
#include "jtag/jtag_chain.h"
#include "jtag/lpt_cable.h"
#include "jtag/mpsse_cable.h"
#include "jtag/outcome.h"
#include "jtag/tap_walker.h"
#include "targets/bsdl_target.h"
#include "targets/cpu_table.h"
#include "targets/selected_target.h"
#include "flash/flash_descriptor.h"
#include "flash/flash_detect.h"
#include "flash/flash_ops.h"
#include "flash/flash_session.h"
