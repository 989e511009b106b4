// Data files mapped read-only.
#include "pinyin/mappeddata.h"

bool mapDataFile(const char* path, size_t minimum, MappedData& out) {
    out = {};
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD high = 0;
    const DWORD size = GetFileSize(file, &high);
    MappedData data;
    data.file = file;
    if (size != INVALID_FILE_SIZE && high == 0 && size >= minimum) {
        data.mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (data.mapping) data.view = MapViewOfFile(data.mapping, FILE_MAP_READ, 0, 0, 0);
    }
    if (!data.view) {
        unmapDataFile(data);
        return false;
    }
    data.size = size;
    out = data;
    return true;
}

void unmapDataFile(MappedData& data) {
    if (data.view) UnmapViewOfFile(data.view);
    if (data.mapping) CloseHandle(data.mapping);
    if (data.file) CloseHandle(data.file);
    data = {};
}
