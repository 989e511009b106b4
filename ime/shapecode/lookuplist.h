// The two result lists of a lookup as they are appended to: bounded, whole entries only,
// and the labels that number the exact entries. Shared by the table and user-phrase
// lookups, since user phrases continue the table's label numbering.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

// A list being appended to: once an entry does not fit, the list is closed.
struct ListWriter {
    char* text;
    size_t size;
    size_t length;
    bool closed;

    ListWriter(char* buffer, size_t bufferSize)
        : text(buffer), size(bufferSize), length(strnlen(buffer, bufferSize)), closed(length >= bufferSize) {}

    bool append(std::string_view a, std::string_view b = {}, std::string_view c = {}) {
        size_t total = a.size() + b.size() + c.size();
        if (closed || length + total + 1 > size) {
            closed = true;
            return false;
        }
        for (std::string_view part : {a, b, c}) {
            if (part.empty()) continue;
            std::memcpy(text + length, part.data(), part.size());
            length += part.size();
        }
        text[length] = '\0';
        return true;
    }
};

// Labels of exact entries 2, 3 and 4+ in the packed and user-phrase lookups.
inline constexpr const char* PACKED_LABELS[] = {",", ".", "'"};

// Appends an exact entry under the label its position earns. The state (0-3) counts the
// entries listed so far, up to 3; it advances only when the entry fit.
inline void appendExact(ListWriter& exact, std::string_view text, int& state) {
    bool added = state == 0 ? exact.append(text) : exact.append(" ", PACKED_LABELS[state - 1], text);
    if (added && state < 3) ++state;
}
