// SPDX-License-Identifier: Apache-2.0
#include "app/nearest_name.h"

#include <algorithm>
#include <vector>

namespace {

// Optimal string alignment distance: Levenshtein's edits plus the swap of two neighbours,
// the commonest typo of all (--raed).
size_t edits_between(std::string_view a, std::string_view b)
{
    const size_t width = b.size() + 1;
    std::vector<size_t> d((a.size() + 1) * width);
    auto at = [&](size_t i, size_t j) -> size_t& { return d[i * width + j]; };
    for (size_t i = 0; i <= a.size(); ++i)
        at(i, 0) = i;
    for (size_t j = 0; j <= b.size(); ++j)
        at(0, j) = j;
    for (size_t i = 1; i <= a.size(); ++i)
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
            at(i, j) = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + change});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                at(i, j) = std::min(at(i, j), at(i - 2, j - 2) + 1);
        }
    return at(a.size(), b.size());
}

}  // namespace

const char* nearest_name(std::string_view typed, std::span<const char* const> names, size_t max_edits)
{
    const char* best = nullptr;
    size_t best_edits = max_edits + 1;
    for (const char* name : names) {
        const size_t edits = edits_between(typed, name);
        if (edits < best_edits) {
            best = name;
            best_edits = edits;
        }
    }
    return best;
}
