// GBK text in fixed fields: every copy is bounded and never leaves a lead byte alone.
#pragma once

#include <cstddef>

// Bounded copy into a fixed field: always terminates, never writes past n bytes.
// Cuts only at a character boundary so a GBK lead byte is never left alone.
size_t copyText(char* destination, size_t n, const char* source);
// Bounded append; same rules. Returns the new length.
size_t appendText(char* destination, size_t n, const char* source);
