// SPDX-License-Identifier: Apache-2.0
// The whole tool, from banner to exit status, over an installed platform.
#pragma once

class Platform;

// Installs `platform`, gives every process-wide record its start value, runs the
// tool and returns the exit status (0 or 1).
int tool_main(int argc, char** argv, Platform& platform);
