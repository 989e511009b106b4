// Read-only mappings of files opened with CreateFileA. A mapping handle is an object of
// this file, known by its address in a set, so a stale or foreign handle fails instead of
// being followed. Views are the host's shared mappings of the file.
#include <windows.h>

#include "filehandles.h"

#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct FileObject {
    int fd = -1;
    bool mapping = true;
    uint64_t size = 0;
    ~FileObject() {
        if (fd >= 0) ::close(fd);
    }
};

std::mutex lock;
std::set<FileObject*> objects;
std::map<const void*, size_t> views;

FileObject* live(HANDLE handle) {
    auto found = objects.find(static_cast<FileObject*>(handle));
    return found == objects.end() ? nullptr : *found;
}

DWORD errorFromErrno(int error) {
    switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    }
    return ERROR_INVALID_FUNCTION;
}

}  // namespace

DWORD WINAPI GetFileSize(HANDLE file, LPDWORD sizeHigh) {
    const int fd = descriptorOf(file);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    const uint64_t size = uint64_t(st.st_size);
    if (sizeHigh) *sizeHigh = DWORD(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return DWORD(size);
}

HANDLE WINAPI CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES, DWORD protect, DWORD sizeHigh,
                                 DWORD sizeLow, LPCSTR name) {
    std::lock_guard<std::mutex> guard(lock);
    const int fd = descriptorOf(file);
    if (fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (protect != PAGE_READONLY || sizeHigh || sizeLow || name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || st.st_size == 0) {
        // Windows refuses to map an empty file.
        SetLastError(1006);  // ERROR_FILE_INVALID
        return nullptr;
    }
    auto mapping = std::make_unique<FileObject>();
    mapping->fd = ::dup(fd);
    mapping->size = uint64_t(st.st_size);
    if (mapping->fd < 0) {
        SetLastError(errorFromErrno(errno));
        return nullptr;
    }
    FileObject* raw = mapping.release();
    objects.insert(raw);
    return raw;
}

LPVOID WINAPI MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes) {
    std::lock_guard<std::mutex> guard(lock);
    FileObject* object = live(mapping);
    if (!object || !object->mapping) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (access != FILE_MAP_READ || offsetHigh || offsetLow || bytes > object->size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const size_t length = bytes ? bytes : size_t(object->size);
    void* view = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, object->fd, 0);
    if (view == MAP_FAILED) {
        SetLastError(errorFromErrno(errno));
        return nullptr;
    }
    views[view] = length;
    return view;
}

BOOL WINAPI UnmapViewOfFile(LPCVOID base) {
    std::lock_guard<std::mutex> guard(lock);
    auto found = views.find(base);
    if (found == views.end()) {
        SetLastError(487);  // ERROR_INVALID_ADDRESS
        return FALSE;
    }
    ::munmap(const_cast<void*>(found->first), found->second);
    views.erase(found);
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE handle) {
    if (closeFileHandle(handle)) return TRUE;
    std::lock_guard<std::mutex> guard(lock);
    FileObject* object = live(handle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    objects.erase(object);
    delete object;
    return TRUE;
}
