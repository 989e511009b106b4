// The user files: their paths in the system directory and their atomic replacement.
#include "core/userfile.h"

#include "core/engine.h"

#include <io.h>
#include <windows.h>

#include <cstring>

namespace {

// Windows' codes for a file another program holds open.
bool heldByAnother(DWORD error) { return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION; }

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string systemDirectory() {
    char directory[QX_PATH_SIZE] = {};
    const UINT length = GetSystemDirectoryA(directory, sizeof directory);
    if (length == 0 || length >= sizeof directory) return {};
    return directory;
}

// What was found out about the folders, for the system directory of that name.
struct FolderFacts {
    std::string system;
    bool known = false;
    bool systemWritable = false;
};
FolderFacts folders;

// Whether this process may create files in the system directory: a typist without
// administrator rights on Windows NT and later may not.
bool systemDirectoryWritable(const std::string& system) {
    if (folders.known && folders.system == system) return folders.systemWritable;
    char name[64];
    std::snprintf(name, sizeof name, "\\qx%lu.probe", static_cast<unsigned long>(GetCurrentProcessId()));
    const std::string probe = system + name;
    HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    const bool writable = file != INVALID_HANDLE_VALUE;
    if (writable) {
        CloseHandle(file);
        DeleteFileA(probe.c_str());
    }
    folders = FolderFacts{system, true, writable};
    return writable;
}

// The first copy in the user's folder starts as the system directory's file. The move
// never replaces: a copy another program made first stays.
void startUserCopy(const std::string& from, const std::string& to) {
    if (!exists(from) || exists(to)) return;
    FILE* in = std::fopen(from.c_str(), "rb");
    if (in == nullptr) return;
    std::string bytes;
    char buffer[8192];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) bytes.append(buffer, n);
    const bool read = std::ferror(in) == 0;
    std::fclose(in);
    if (!read) return;
    const std::string temporary = temporaryFileOf(to.c_str());
    if (!writeTemporaryFile(temporary, [&](FILE* file) {
            return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        }))
        return;
    if (!MoveFileA(temporary.c_str(), to.c_str())) DeleteFileA(temporary.c_str());
}

std::string folderOf(const char* path) {
    const char* slash = std::strrchr(path, '\\');
    return slash ? std::string(path, static_cast<size_t>(slash - path)) : std::string(".");
}

}  // namespace

std::string userOwnFolder(bool create) {
    char appData[QX_PATH_SIZE] = {};
    const DWORD length = GetEnvironmentVariableA("APPDATA", appData, sizeof appData);
    if (length == 0 || length >= sizeof appData) return {};
    const std::string folder = std::string(appData) + "\\qx";
    if (!create) return folder;
    CreateDirectoryA(appData, nullptr);
    if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return {};
    return folder;
}

void forgetUserFileFolders() { folders = FolderFacts{}; }

bool userFilePath(const char* name, char* path, size_t size) {
    if (size == 0) return false;
    path[0] = '\0';
    const std::string system = systemDirectory();
    if (system.empty()) return false;
    const std::string inSystem = system + "\\" + name;
    std::string chosen = inSystem;
    const std::string own = userOwnFolder(false);
    if (!own.empty() && exists(own + "\\" + name)) {
        chosen = own + "\\" + name;
    } else if (!systemDirectoryWritable(system)) {
        // The folder may not exist yet: the name is built on the folder as it is made.
        const std::string made = userOwnFolder(true);
        if (!made.empty()) {
            chosen = made + "\\" + name;
            startUserCopy(inSystem, chosen);
        }
    }
    if (copyText(path, size, chosen.c_str()) == chosen.size()) return true;
    path[0] = '\0';
    return false;
}

bool systemDirectoryFile(const char* name, char* path, size_t size) {
    if (size == 0) return false;
    path[0] = '\0';
    const std::string system = systemDirectory();
    if (system.empty()) return false;
    const std::string inSystem = system + "\\" + name;
    if (copyText(path, size, inSystem.c_str()) == inSystem.size()) return true;
    path[0] = '\0';
    return false;
}

std::string userFilePath(const char* name) {
    char path[QX_PATH_SIZE];
    return userFilePath(name, path, sizeof path) ? std::string(path) : std::string();
}

UserFileLock::UserFileLock(const char* path) {
    if (path == nullptr || path[0] == '\0') return;
    const std::string lockFile = folderOf(path) + "\\qx.lock";
    handle_ = CreateFileA(lockFile.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_ALWAYS, 0, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) return;
    OVERLAPPED whole{};
    if (!LockFileEx(handle_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &whole)) {
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
}

UserFileLock::~UserFileLock() {
    if (handle_ == INVALID_HANDLE_VALUE) return;
    OVERLAPPED whole{};
    UnlockFileEx(handle_, 0, 1, 0, &whole);
    CloseHandle(handle_);
}

UserFileStamp userFileStamp(const char* path) {
    UserFileStamp stamp;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (path == nullptr || !GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return stamp;
    stamp.exists = true;
    stamp.size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    stamp.written = (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                    data.ftLastWriteTime.dwLowDateTime;
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const unsigned long long current =
        (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    // Within two seconds of the write (FAT keeps times to two seconds) another write may
    // leave the same time and size.
    stamp.recent = current < stamp.written + 20000000ull;
    return stamp;
}

bool userFileChangedSince(const char* path, const UserFileStamp& stamp) {
    const UserFileStamp now = userFileStamp(path);
    return stamp.recent || now.exists != stamp.exists || now.size != stamp.size ||
           now.written != stamp.written;
}

std::string temporaryFileOf(const char* path) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%lu.tmp", static_cast<unsigned long>(GetCurrentProcessId()));
    return std::string(path) + suffix;
}

bool writeTemporaryFile(const std::string& temporary, const std::function<bool(FILE*)>& write) {
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) return false;
    bool ok = write(file);
    if (std::fflush(file) != 0 || std::ferror(file) != 0) ok = false;
    // On the disk before the move that puts it in place.
    if (ok && _commit(_fileno(file)) != 0) ok = false;
    if (std::fclose(file) != 0) ok = false;
    if (!ok) DeleteFileA(temporary.c_str());
    return ok;
}

bool moveFileReplacing(const std::string& temporary, const char* target) {
    bool moved = false;
    for (int attempt = 0; attempt < 40 && !moved; ++attempt) {
        if (attempt > 0) Sleep(25);
        moved =
            MoveFileExA(temporary.c_str(), target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        if (!moved && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED) {
            if (!DeleteFileA(target) && heldByAnother(GetLastError())) continue;
            moved = MoveFileA(temporary.c_str(), target) != 0;
        }
        // A reader has the file open for a moment; anything else will not pass.
        if (!moved && !heldByAnother(GetLastError())) break;
    }
    return moved;
}

bool moveFileOver(const std::string& temporary, const char* target) {
    if (moveFileReplacing(temporary, target)) return true;
    DeleteFileA(temporary.c_str());
    return false;
}

bool replaceFileWith(const char* target, const std::function<bool(FILE*)>& write) {
    // No file is named: nothing is written, and no temporary file lands in the current folder.
    if (target == nullptr || target[0] == '\0') return false;
    const std::string temporary = temporaryFileOf(target);
    return writeTemporaryFile(temporary, write) && moveFileOver(temporary, target);
}

bool replaceFileWith(const char* target, const std::string& bytes) {
    return replaceFileWith(target, [&](FILE* file) {
        return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    });
}
