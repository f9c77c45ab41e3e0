// SPDX-License-Identifier: Apache-2.0
// --svf FILE: the whole job written as Serial Vector Format for another program to play; no
// cable, no port, no root. The board is never asked, so the set-up must be given in full.
#pragma once

#include "app/bsdl_board.h"
#include "app/exit.h"
#include "app/job_report.h"
#include "app/long_options.h"

RunEnd svf_job(const LongOptions& long_options, int argc, char** argv, const BsdlTarget& bsdl, JobReport& report);
