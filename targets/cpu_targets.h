// SPDX-License-Identifier: Apache-2.0
// The rows of the supported CPUs, one file each.
#pragma once

#include "targets/cpu_target.h"

extern const CpuTarget& ktr5200_cpu;
extern const CpuTarget& uln_cpu;
extern const CpuTarget& paxon_cpu;
extern const CpuTarget& mirta_cpu;
