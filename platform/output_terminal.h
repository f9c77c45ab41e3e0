// SPDX-License-Identifier: Apache-2.0
// Whether standard output is a terminal, for every platform that writes there (the tool's and
// the simulator's). Each OS folder under platform/ implements it.
#pragma once

bool stdout_is_terminal();
