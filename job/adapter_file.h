// SPDX-License-Identifier: Apache-2.0
// --cable-config FILE|NAME: the OpenOCD interface file is found and read here; jtag/ parses it.
#pragma once

#include <string>
#include <vector>

#include "jtag/adapter_config.h"

// Where OpenOCD keeps its scripts, in the order they are searched: $OPENOCD_SCRIPTS, then
// /usr/local/share/openocd/scripts and /usr/share/openocd/scripts.
std::vector<std::string> openocd_script_folders();

// Reads `name`: a file, else interface/ftdi/NAME.cfg in the script folders. False with a one-line
// reason (which names the file and line where it refused one).
bool adapter_config_load(const std::string& name, AdapterConfig& config, std::string& error);
