// SPDX-License-Identifier: Apache-2.0
// Standard input read without waiting, for the simulator's console keys.
#pragma once

#include <cstddef>

namespace sim {

// Reads what `fd` holds ready now into `buffer`: returns the number of bytes,
// 0 when nothing is ready yet, or -1 once the input has ended or cannot be read.
long read_ready_input(int fd, char* buffer, size_t size);

}  // namespace sim
