// The two result lists of a lookup as they are appended to: bounded, whole entries only,
// and the labels that number the exact entries. Shared by the table and user-phrase
// lookups, since user phrases continue the table's label numbering.
#pragma once

#include "core/listwriter.h"

#include <string_view>

// Labels of exact entries 2, 3 and 4+ in the packed and user-phrase lookups.
inline constexpr const char* PACKED_LABELS[] = {",", ".", "'"};

// Appends an exact entry under the label its position earns. The state (0-3) counts the
// entries listed so far, up to 3; it advances only when the entry fit.
inline void appendExact(ListWriter& exact, std::string_view text, int& state) {
    bool added = state == 0 ? exact.append(text) : exact.append(" ", PACKED_LABELS[state - 1], text);
    if (added && state < 3) ++state;
}
