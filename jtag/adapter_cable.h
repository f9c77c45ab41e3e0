// SPDX-License-Identifier: Apache-2.0
// From an adapter configuration to the USB cable: which device to open, and the pins its layout
// sets, with nTRST pulsed at the start and nSRST held during the job when asked.
#pragma once

#include "jtag/adapter_config.h"
#include "jtag/mpsse_cable.h"
#include "platform/usb_transport.h"

// Fills `device` (IDs, channel, serial, description) and `settings` (layout pins, TCK rate) from
// `config`. nullptr on success, else a one-line reason: `srst_hold` without an nSRST signal.
const char* adapter_cable_settings(const AdapterConfig& config, bool srst_hold, UsbDeviceChoice& device,
                                   MpsseSettings& settings);

// The pins with `signal` asserted (driven to its active level, 0), as OpenOCD drives it.
MpssePins adapter_assert(MpssePins pins, const AdapterSignal& signal);
