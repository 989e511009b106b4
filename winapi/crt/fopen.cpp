// Windows' C library takes '\' as a path separator, and the module builds its file paths
// that way (system directory + "\fread.rt"). Programs and libraries linked with the
// stand-in have their fopen calls bound here (--wrap=fopen), so those files land where
// they would on Windows: inside the system directory.
//
// A file that tests have marked (winapiFailFileWrites) is opened as a full disk would
// take it: it accepts so many bytes and then refuses every write, or cannot be opened.
#include <winapi_host.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <sys/file.h>

extern "C" FILE* __real_fopen(const char* path, const char* mode);

namespace {

struct LimitedFile {
    FILE* real;
    long left;
};

ssize_t limitedRead(void* cookie, char* buffer, size_t size) {
    return static_cast<ssize_t>(std::fread(buffer, 1, size, static_cast<LimitedFile*>(cookie)->real));
}

ssize_t limitedWrite(void* cookie, const char* buffer, size_t size) {
    auto* file = static_cast<LimitedFile*>(cookie);
    const size_t allowed = size < static_cast<size_t>(file->left) ? size : static_cast<size_t>(file->left);
    if (allowed == 0) {
        errno = ENOSPC;
        return 0;  // what a cookie stream reports as a failed write
    }
    const size_t written = std::fwrite(buffer, 1, allowed, file->real);
    file->left -= static_cast<long>(written);
    return static_cast<ssize_t>(written);
}

int limitedSeek(void* cookie, off64_t* offset, int whence) {
    FILE* real = static_cast<LimitedFile*>(cookie)->real;
    if (fseeko(real, *offset, whence) != 0) return -1;
    *offset = ftello(real);
    return 0;
}

int limitedClose(void* cookie) {
    auto* file = static_cast<LimitedFile*>(cookie);
    const int closed = std::fclose(file->real);
    delete file;
    return closed;
}

bool writes(const char* mode) { return std::strpbrk(mode, "wa+") != nullptr; }

// The full disk lives here, beside the fopen that obeys it: this file is linked into each
// program, which needs nothing of the shared stand-in for it.
std::string faultNameEnd;  // empty: no file fails
long faultBytes = 0;

std::string slashed(const char* path) {
    std::string local(path);
    for (char& c : local)
        if (c == '\\') c = '/';
    return local;
}

}  // namespace

void winapiFailFileWrites(const char* nameEnd, long bytes) {
    faultNameEnd = nameEnd ? slashed(nameEnd) : std::string();
    faultBytes = bytes;
}

bool winapiFileWriteLimit(const char* path, long* bytes) {
    if (faultNameEnd.empty() || path == nullptr) return false;
    const std::string name(path);
    if (name.size() < faultNameEnd.size() ||
        name.compare(name.size() - faultNameEnd.size(), faultNameEnd.size(), faultNameEnd) != 0)
        return false;
    if (bytes) *bytes = faultBytes;
    return true;
}

namespace {

// Windows' C library opens a file without sharing its deletion: while it is open, no
// other process may move a file over it, move it or delete it. The shared lock taken here
// is what the stand-in's MoveFileExA and DeleteFileA look for; closing drops it.
FILE* heldAsOnWindows(FILE* file) {
    if (file != nullptr) flock(fileno(file), LOCK_SH | LOCK_NB);
    return file;
}

}  // namespace

extern "C" FILE* __wrap_fopen(const char* path, const char* mode) {
    if (path == nullptr || std::strchr(path, '\\') == nullptr) return __real_fopen(path, mode);
    const std::string local = slashed(path);
    long limit = 0;
    if (mode == nullptr || !writes(mode) || !winapiFileWriteLimit(local.c_str(), &limit))
        return heldAsOnWindows(__real_fopen(local.c_str(), mode));
    if (limit < 0) {
        errno = ENOSPC;
        return nullptr;
    }
    FILE* real = heldAsOnWindows(__real_fopen(local.c_str(), mode));
    if (real == nullptr) return nullptr;
    auto* cookie = new LimitedFile{real, limit};
    FILE* limited = fopencookie(cookie, mode, cookie_io_functions_t{limitedRead, limitedWrite, limitedSeek, limitedClose});
    if (limited == nullptr) limitedClose(cookie);
    return limited;
}
