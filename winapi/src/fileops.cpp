// Moving, copying and deleting files by their Windows names. Backslashes are the host's
// slashes, as in the stand-in's fopen, so a module path such as the system directory +
// "\fread.rt" names the same file for every call.
#include <windows.h>

#include "filehandles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string hostPath(LPCSTR path) {
    std::string local(path);
    for (char& c : local)
        if (c == '\\') c = '/';
    return local;
}

// Windows' code for what the host reported.
DWORD errorFromErrno(int error) {
    switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EXDEV: return 17;  // ERROR_NOT_SAME_DEVICE
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOSPC: return 112;  // ERROR_DISK_FULL
    }
    return ERROR_INVALID_FUNCTION;
}

BOOL fail(int error) {
    SetLastError(errorFromErrno(error));
    return FALSE;
}

bool validName(LPCSTR path) { return path != nullptr && *path != '\0'; }

// Renames without replacing: the target must not exist, and nothing lies between the
// check and the rename.
int renameNoReplace(const std::string& from, const std::string& to) {
    if (::link(from.c_str(), to.c_str()) != 0) return -1;
    if (::unlink(from.c_str()) != 0) {
        int error = errno;
        ::unlink(to.c_str());
        errno = error;
        return -1;
    }
    return 0;
}

bool isDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Copies the bytes of `from` into a new file beside `to`, then moves it to `to`
// (replacing or not), so `to` is never seen half written.
bool copyThroughTemporary(const std::string& from, const std::string& to, bool replace, int& error) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        error = errno;
        return false;
    }
    struct stat st;
    if (::fstat(in, &st) != 0) {
        error = errno;
        ::close(in);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        error = EISDIR;
        ::close(in);
        return false;
    }
    std::string temp = to + ".XXXXXX";
    int out = ::mkstemp(temp.data());
    if (out < 0) {
        error = errno;
        ::close(in);
        return false;
    }
    bool ok = true;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(out, buffer + done, size_t(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                ok = false;
                break;
            }
            done += w;
        }
        if (!ok) break;
    }
    if (!ok) error = errno;
    ::fchmod(out, st.st_mode & 0777);
    if (ok && ::fsync(out) != 0) {
        ok = false;
        error = errno;
    }
    if (::close(out) != 0 && ok) {
        ok = false;
        error = errno;
    }
    ::close(in);
    if (ok) {
        int moved = replace ? ::rename(temp.c_str(), to.c_str()) : renameNoReplace(temp, to);
        if (moved != 0) {
            ok = false;
            error = errno;
        }
    }
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

bool syncPath(const std::string& path, int mode) {
    int fd = ::open(path.c_str(), mode);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0;
    int error = errno;
    ::close(fd);
    errno = error;
    return ok;
}

std::string folderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Whether some process holds the file open as Windows' C library holds its files (the
// stand-in's fopen takes a shared lock on each): then it can be neither replaced, moved
// nor deleted. A missing file is held by nobody.
bool heldOpen(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    bool held = false;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

// Host file handles carry their descriptor above this mark, apart from every other handle.
constexpr intptr_t FILE_HANDLE_BASE = 0x51000000;

}  // namespace

int descriptorOf(HANDLE handle) {
    const intptr_t value = reinterpret_cast<intptr_t>(handle);
    if (value < FILE_HANDLE_BASE || value >= FILE_HANDLE_BASE + 0x100000) return -1;
    return static_cast<int>(value - FILE_HANDLE_BASE);
}

BOOL WINAPI MoveFileExA(LPCSTR existing, LPCSTR target, DWORD flags) {
    if (!validName(existing) || !validName(target)) return fail(ENOENT);
    if (flags & MOVEFILE_DELAY_UNTIL_REBOOT) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    const std::string from = hostPath(existing), to = hostPath(target);
    const bool replace = (flags & MOVEFILE_REPLACE_EXISTING) != 0;
    // Windows never replaces a folder, even when asked to.
    if (replace && isDirectory(to)) return fail(EACCES);
    // Write-through: the new name is on the disk before we return. The file's own bytes
    // are its writer's to commit before the move, as on Windows.
    const bool writeThrough = (flags & MOVEFILE_WRITE_THROUGH) != 0;
    if (heldOpen(from) || (replace && heldOpen(to))) return fail(EACCES);
    int moved = replace ? ::rename(from.c_str(), to.c_str()) : renameNoReplace(from, to);
    // The move is done but not known to be on the disk: the caller hears of it.
    if (moved == 0 && writeThrough && !syncPath(folderOf(to), O_RDONLY | O_DIRECTORY)) return fail(errno);
    if (moved != 0 && errno == EXDEV && (flags & MOVEFILE_COPY_ALLOWED)) {
        int error = 0;
        if (!copyThroughTemporary(from, to, replace, error)) return fail(error);
        ::unlink(from.c_str());
        return TRUE;
    }
    if (moved != 0) return fail(errno);
    return TRUE;
}

BOOL WINAPI MoveFileA(LPCSTR existing, LPCSTR target) { return MoveFileExA(existing, target, 0); }

BOOL WINAPI CopyFileA(LPCSTR existing, LPCSTR target, BOOL failIfExists) {
    if (!validName(existing) || !validName(target)) return fail(ENOENT);
    const std::string from = hostPath(existing), to = hostPath(target);
    if (isDirectory(to)) return fail(EACCES);
    int error = 0;
    if (!copyThroughTemporary(from, to, !failIfExists, error)) {
        // Windows names an existing target with its own code here.
        if (error == EEXIST) {
            SetLastError(ERROR_FILE_EXISTS);
            return FALSE;
        }
        return fail(error);
    }
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR path) {
    if (!validName(path)) return fail(ENOENT);
    const std::string local = hostPath(path);
    if (isDirectory(local)) return fail(EACCES);
    if (heldOpen(local)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    if (::unlink(local.c_str()) != 0) return fail(errno);
    return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) {
    if (!validName(path)) return fail(ENOENT);
    if (::mkdir(hostPath(path).c_str(), 0755) != 0) return fail(errno);
    return TRUE;
}

HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD creation, DWORD,
                          HANDLE) {
    if (!validName(path)) {
        fail(ENOENT);
        return INVALID_HANDLE_VALUE;
    }
    int mode = (access & GENERIC_WRITE) ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY;
    switch (creation) {
    case CREATE_NEW: mode |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: mode |= O_CREAT | O_TRUNC; break;
    case OPEN_ALWAYS: mode |= O_CREAT; break;
    case OPEN_EXISTING: break;
    default: fail(EINVAL); return INVALID_HANDLE_VALUE;
    }
    const std::string local = hostPath(path);
    if (isDirectory(local)) {
        fail(EACCES);
        return INVALID_HANDLE_VALUE;
    }
    const int fd = ::open(local.c_str(), mode | O_CLOEXEC, 0644);
    if (fd < 0) {
        fail(errno);
        return INVALID_HANDLE_VALUE;
    }
    if (creation == CREATE_ALWAYS || creation == OPEN_ALWAYS) SetLastError(ERROR_SUCCESS);
    return reinterpret_cast<HANDLE>(FILE_HANDLE_BASE + fd);
}

bool closeFileHandle(HANDLE handle) {
    const int fd = descriptorOf(handle);
    return fd >= 0 && ::close(fd) == 0;
}

BOOL WINAPI LockFileEx(HANDLE file, DWORD flags, DWORD, DWORD, DWORD, LPOVERLAPPED) {
    const int fd = descriptorOf(file);
    if (fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    int operation = (flags & LOCKFILE_EXCLUSIVE_LOCK) ? LOCK_EX : LOCK_SH;
    if (flags & LOCKFILE_FAIL_IMMEDIATELY) operation |= LOCK_NB;
    while (::flock(fd, operation) != 0) {
        if (errno == EINTR) continue;
        SetLastError(errno == EWOULDBLOCK ? ERROR_LOCK_VIOLATION : errorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI UnlockFileEx(HANDLE file, DWORD, DWORD, DWORD, LPOVERLAPPED) {
    const int fd = descriptorOf(file);
    if (fd < 0 || ::flock(fd, LOCK_UN) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR path) {
    if (!validName(path)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    struct stat st;
    if (::stat(hostPath(path).c_str(), &st) != 0) {
        SetLastError(errorFromErrno(errno));
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
    return (st.st_mode & 0222) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
}

BOOL WINAPI GetFileAttributesExA(LPCSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID information) {
    if (level != GetFileExInfoStandard || information == nullptr) return fail(EINVAL);
    if (!validName(path)) return fail(ENOENT);
    struct stat st;
    if (::stat(hostPath(path).c_str(), &st) != 0) return fail(errno);
    auto* data = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(information);
    data->dwFileAttributes = S_ISDIR(st.st_mode)   ? FILE_ATTRIBUTE_DIRECTORY
                             : (st.st_mode & 0222) ? FILE_ATTRIBUTE_NORMAL
                                                   : FILE_ATTRIBUTE_READONLY;
    // Windows' file times count 100 ns from 1601, 11644473600 s before 1970.
    auto fileTime = [](const struct timespec& t) {
        const uint64_t ticks =
            (uint64_t(t.tv_sec) + 11644473600ull) * 10000000ull + uint64_t(t.tv_nsec) / 100;
        return FILETIME{DWORD(ticks), DWORD(ticks >> 32)};
    };
    data->ftCreationTime = fileTime(st.st_ctim);
    data->ftLastAccessTime = fileTime(st.st_atim);
    data->ftLastWriteTime = fileTime(st.st_mtim);
    data->nFileSizeHigh = DWORD(uint64_t(st.st_size) >> 32);
    data->nFileSizeLow = DWORD(st.st_size);
    return TRUE;
}
