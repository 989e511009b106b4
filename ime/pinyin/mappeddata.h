// A data file read in place: mapped read-only, so its pages are shared between all the
// processes that read it and nothing is copied or parsed when it opens.
#pragma once

#include <windows.h>

#include <cstddef>

struct MappedData {
    HANDLE file = nullptr, mapping = nullptr;
    const void* view = nullptr;
    size_t size = 0;
};

// Maps the file at path; false, holding nothing, when it cannot be opened or mapped, is
// smaller than minimum bytes or has a size beyond 32 bits (no format here has one).
bool mapDataFile(const char* path, size_t minimum, MappedData& out);
void unmapDataFile(MappedData& data);
