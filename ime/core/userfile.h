// The user files: where they are, the lock every writer takes, and the one way to replace
// one. A replaced file is the old one or the whole new one, whatever happens meanwhile: the
// new bytes go into a temporary file of this process, reach the disk, and are moved over
// the old.
//
// Every program with the module loaded writes the same files, so a change is made under
// the lock of the file's folder (UserFileLock), to the file as it is on the disk then, never
// to a copy read earlier: lock, read again, apply this process's change, write the
// temporary file, commit it, move it over the old one, release. Nothing on the typing path
// waits for the lock; it reads what is there.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

#include <windows.h>

// Where the user file name lives: the system directory + "\" + name while that directory
// can be written (Windows 9x, an administrator, Wine); otherwise the user's own folder
// %APPDATA%\qx, whose copy is read first whenever it exists. The first time a file is
// wanted there, the system directory's file (if any) is copied in as its start. False,
// with path empty, when the path does not fit.
bool userFilePath(const char* name, char* path, size_t size);
// The same as a string; empty when it does not fit.
std::string userFilePath(const char* name);
// A file the module reads and never writes, beside the data libraries: the system directory
// + "\" + name. False, with path empty, when that does not fit.
bool systemDirectoryFile(const char* name, char* path, size_t size);
// The user's own folder (%APPDATA%\qx), made when create asks; empty when there is none
// (or it could not be made).
std::string userOwnFolder(bool create);
// Forgets what was found out about the folders (tests that change them).
void forgetUserFileFolders();

// The lock of the folder of path, shared by every process: held from construction to
// destruction. held() is false where the folder takes no lock file (it cannot be written
// either, so no change there can succeed).
class UserFileLock {
public:
    explicit UserFileLock(const char* path);
    ~UserFileLock();
    UserFileLock(const UserFileLock&) = delete;
    UserFileLock& operator=(const UserFileLock&) = delete;
    bool held() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// What a reader keeps to know whether the file changed since it read it: size and time
// of last write, and whether that write was too recent for the time to tell (file times
// are coarse). A missing file has its own stamp.
struct UserFileStamp {
    bool exists = false;
    unsigned long long size = 0;
    unsigned long long written = 0;
    bool recent = false;
};
UserFileStamp userFileStamp(const char* path);
// Whether the file may differ from what was read at stamp.
bool userFileChangedSince(const char* path, const UserFileStamp& stamp);

// The temporary file of this process beside path: two processes never share one.
std::string temporaryFileOf(const char* path);

// Creates temporary, lets write fill it, and commits it to the disk; every write and the
// close are checked. On failure the temporary file is gone.
bool writeTemporaryFile(const std::string& temporary, const std::function<bool(FILE*)>& write);

// Moves temporary over target in one step, with write-through. Systems without the
// replacing move (Windows 95 and 98) take the old file away first; the new one is whole by
// then. While another program has target open (a reader of the typing path), Windows
// refuses the move: it is tried again for up to a second. On failure the temporary file
// is gone and target is as it was.
bool moveFileOver(const std::string& temporary, const char* target);
// The same move, with its tries, that leaves from where it was when it fails.
bool moveFileReplacing(const std::string& from, const char* target);

// Both steps: target becomes what write puts into it, or stays as it was. The caller holds
// the lock and wrote from the file as it is now.
bool replaceFileWith(const char* target, const std::function<bool(FILE*)>& write);
bool replaceFileWith(const char* target, const std::string& bytes);
