// SPDX-License-Identifier: Apache-2.0
// The platform of the real tool on the operating system it was built for.
// Each OS folder under platform/ implements it once; main picks it up from here.
#pragma once

#include <memory>

#include "platform/platform.h"

std::unique_ptr<Platform> make_os_platform();
