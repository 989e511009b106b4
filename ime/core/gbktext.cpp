// Bounded copies of GBK text into fixed fields, the only way text enters a field.
#include "core/gbktext.h"

#include <cstring>

// Length of the longest prefix of source (at most limit bytes) that does not end inside
// a double-byte character.
static size_t characterPrefix(const char* source, size_t limit) {
    size_t i = 0;
    while (i < limit && source[i] != '\0') {
        size_t step = (static_cast<unsigned char>(source[i]) >= 0x81 && source[i + 1] != '\0') ? 2 : 1;
        if (i + step > limit) break;
        i += step;
    }
    return i;
}

size_t copyText(char* destination, size_t n, const char* source) {
    if (n == 0) return 0;
    size_t length = source ? characterPrefix(source, n - 1) : 0;
    if (length > 0) std::memmove(destination, source, length);
    destination[length] = '\0';
    return length;
}

size_t appendText(char* destination, size_t n, const char* source) {
    if (n == 0) return 0;  // no room, not even for the terminator: the field is not touched
    size_t used = strnlen(destination, n);
    if (used >= n) {  // an unterminated field: terminate it where it must end
        destination[n - 1] = '\0';
        return n - 1;
    }
    return used + copyText(destination + used, n - used, source);
}
