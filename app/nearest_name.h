// SPDX-License-Identifier: Apache-2.0
// The name a typo most likely meant, for the "did you mean" of a refusal.
#pragma once

#include <span>
#include <string_view>

// The name of `names` fewest edits away from `typed` (a letter added, dropped, changed, or two
// neighbours swapped), when that is at most `max_edits`; the first such name on a tie; nullptr
// when none is close enough.
const char* nearest_name(std::string_view typed, std::span<const char* const> names, size_t max_edits);
