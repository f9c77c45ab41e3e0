// SPDX-License-Identifier: Apache-2.0
// Which cable the run drives: the parallel port (the default), or a USB adapter's MPSSE engine
// chosen with --cable ftdi or an adapter configuration, and its options.
#pragma once

#include <memory>

#include "app/exit.h"
#include "app/long_options.h"
#include "jtag/cable.h"
#include "jtag/mpsse_cable.h"

// True when the long options ask for the USB cable; false with a one-line reason in `error`
// for a --cable value it does not know or a USB option without the USB cable.
bool wants_usb_cable(const LongOptions& options, std::string& error);

struct UsbCableSetup {
    UsbDeviceChoice device;
    MpsseSettings settings;
};

// The device and settings the options describe into `setup`: the adapter configuration first,
// the other options over it. Ends the run with its one-line reason for a value it cannot take.
[[nodiscard]] Ending usb_cable_setup(const LongOptions& options, UsbCableSetup& setup);

// Opens the USB cable the options describe into `cable`, or ends the run with its one-line reason.
// `chosen`, when given, receives the adapter asked for as soon as the options are read.
[[nodiscard]] Ending open_usb_cable(const LongOptions& options, std::unique_ptr<Cable>& cable,
                                    UsbDeviceChoice* chosen = nullptr);
