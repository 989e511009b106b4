// The user files: their paths in the system directory and their atomic replacement.
#include "core/userfile.h"

#include "core/engine.h"

#include <io.h>
#include <windows.h>

#include <cstring>

bool systemFilePath(const char* name, char* path, size_t size) {
    if (size == 0) return false;
    path[0] = '\0';
    char directory[QX_PATH_SIZE] = {};
    const UINT length = GetSystemDirectoryA(directory, sizeof directory);
    if (length == 0 || length >= sizeof directory) return false;
    const size_t wanted = std::strlen(directory) + 1 + std::strlen(name);
    copyText(path, size, directory);
    appendText(path, size, "\\");
    if (appendText(path, size, name) == wanted) return true;
    path[0] = '\0';
    return false;
}

std::string userFilePath(const char* name) {
    char path[QX_PATH_SIZE];
    return systemFilePath(name, path, sizeof path) ? std::string(path) : std::string();
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

bool moveFileOver(const std::string& temporary, const char* target) {
    bool moved = MoveFileExA(temporary.c_str(), target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!moved && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED) {
        DeleteFileA(target);
        moved = MoveFileA(temporary.c_str(), target) != 0;
    }
    if (!moved) DeleteFileA(temporary.c_str());
    return moved;
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
