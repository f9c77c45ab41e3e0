// SPDX-License-Identifier: Apache-2.0
#include "platform/privileges.h"

// Windows has no setuid start: the process already runs as the user who started it.
std::string drop_root_privileges() { return {}; }
std::string suspend_root_privileges() { return {}; }
std::string resume_root_privileges() { return {}; }
