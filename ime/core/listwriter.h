// A fixed text buffer filled entry by entry: bounded, whole entries only.
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
