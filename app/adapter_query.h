// SPDX-License-Identifier: Apache-2.0
// --cable-info and --cable-list: what an adapter configuration says, and which FTDI adapters are
// plugged in; answered without any JTAG traffic.
#pragma once

#include "app/long_options.h"

// True when the options ask one of them; the answer is printed and `status` set.
bool adapter_query(const LongOptions& options, int& status);
