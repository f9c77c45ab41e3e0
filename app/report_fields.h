// SPDX-License-Identifier: Apache-2.0
// The report's fields that the command line already gives, filled before anything can fail, so
// that the record of a job refused before its cable opens still says which board it was for.
#pragma once

#include "app/long_options.h"

struct JobReport;
struct UsbDeviceChoice;

// Cable kind, adapter IDs and serial, CPU or BSDL file, flash model and set-up, job kind, start,
// image path. Prints nothing: a refused value is left out and refused later with its message.
void report_command_line(JobReport& report, const LongOptions& long_options, int argc, char** argv);

// The adapter the job asked for, once its configuration was read: IDs when they name one adapter.
void report_usb_choice(JobReport& report, const UsbDeviceChoice& device);

// The image's size, when the file can be measured.
void report_image_size(JobReport& report);
