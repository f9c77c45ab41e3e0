// SPDX-License-Identifier: Apache-2.0
// The J-Link (--cable jlink) and Linux GPIO (--cable gpio:CHIP) cables: their options, opening
// them, and --cable-list for J-Links.
#pragma once

#include <memory>
#include <string>

#include "app/exit.h"
#include "app/job_report.h"
#include "app/long_options.h"
#include "jtag/cable.h"
#include "platform/gpio_transport.h"

// True when the options name one of these cables (or give --gpio-pins).
bool probe_cable_named(const LongOptions& options);

// Checks the options that go with the cable named; false with a one-line reason in `error`.
bool probe_cable_check(const LongOptions& options, std::string& error);

// Opens the cable the options name into `cable`, or ends the run with its one-line reason.
[[nodiscard]] Ending open_probe_cable(const LongOptions& options, std::unique_ptr<Cable>& cable);

// Notes the cable in the job's record.
void note_probe_cable(const LongOptions& options, const Cable& cable, JobReport& report);

// --cable jlink --cable-list: the serial numbers of the J-Links plugged in; the exit status.
int jlink_list();

// The J-Link cable opened on the probe the options choose.
[[nodiscard]] Ending open_jlink_cable(const LongOptions& options, std::unique_ptr<Cable>& cable);

// The GPIO cable opened on the chip and lines the options name.
[[nodiscard]] Ending open_gpio_cable(const LongOptions& options, std::unique_ptr<Cable>& cable);
