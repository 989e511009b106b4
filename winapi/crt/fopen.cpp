// Windows' C library takes '\' as a path separator, and the module builds its file paths
// that way (system directory + "\fread.rt"). Programs and libraries linked with the
// stand-in have their fopen calls bound here (--wrap=fopen), so those files land where
// they would on Windows: inside the system directory.
#include <cstdio>
#include <cstring>
#include <string>

extern "C" FILE* __real_fopen(const char* path, const char* mode);

extern "C" FILE* __wrap_fopen(const char* path, const char* mode) {
    if (path == nullptr || std::strchr(path, '\\') == nullptr) return __real_fopen(path, mode);
    std::string local(path);
    for (char& c : local)
        if (c == '\\') c = '/';
    return __real_fopen(local.c_str(), mode);
}
