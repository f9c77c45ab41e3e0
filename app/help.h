// SPDX-License-Identifier: Apache-2.0
// What `--help` and `--version` print: answered before any port is probed.
#pragma once

// The licence line under the version, for the tool and the simulator alike.
inline constexpr const char* kLicenceLine = "Licence: " TARNFLASH_LICENCE_TEXT "\n";

void print_help();
void print_version();
