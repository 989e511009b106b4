// Files opened for reading and their read-only mappings. A handle is an object of this
// file, known by its address in a set, so a stale or foreign handle fails instead of
// being followed. Views are the host's shared mappings of the file.
#include <windows.h>

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
    bool mapping = false;  // a mapping object rather than an open file
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

HANDLE keep(std::unique_ptr<FileObject> object) {
    std::lock_guard<std::mutex> guard(lock);
    FileObject* raw = object.release();
    objects.insert(raw);
    return raw;
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

HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD creation, DWORD,
                          HANDLE) {
    if (!path || !*path || access != DWORD(GENERIC_READ) || creation != OPEN_EXISTING) {
        SetLastError(path && *path ? ERROR_INVALID_PARAMETER : ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::string host(path);
    for (char& c : host)
        if (c == '\\') c = '/';
    auto object = std::make_unique<FileObject>();
    object->fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (object->fd < 0 || ::fstat(object->fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        SetLastError(object->fd >= 0 ? ERROR_ACCESS_DENIED : errorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    return keep(std::move(object));
}

DWORD WINAPI GetFileSize(HANDLE file, LPDWORD sizeHigh) {
    std::lock_guard<std::mutex> guard(lock);
    FileObject* object = live(file);
    struct stat st;
    if (!object || object->mapping || ::fstat(object->fd, &st) != 0) {
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
    FileObject* object = live(file);
    if (!object || object->mapping) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (protect != PAGE_READONLY || sizeHigh || sizeLow || name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    struct stat st;
    if (::fstat(object->fd, &st) != 0 || st.st_size == 0) {
        // Windows refuses to map an empty file.
        SetLastError(1006);  // ERROR_FILE_INVALID
        return nullptr;
    }
    auto mapping = std::make_unique<FileObject>();
    mapping->fd = ::dup(object->fd);
    mapping->mapping = true;
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
