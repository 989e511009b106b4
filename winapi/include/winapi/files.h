// Files by name: moving, copying and deleting, with Windows' backslash paths mapped to
// the host's as the stand-in's C library maps them, so a replacement made through a
// temporary file is atomic on both systems.
#pragma once

#include "winapi/base.h"

#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_COPY_ALLOWED 0x00000002
#define MOVEFILE_DELAY_UNTIL_REBOOT 0x00000004
#define MOVEFILE_WRITE_THROUGH 0x00000008

#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_NORMAL 0x00000080

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define LOCKFILE_FAIL_IMMEDIATELY 0x00000001
#define LOCKFILE_EXCLUSIVE_LOCK 0x00000002

typedef struct _OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

typedef enum _GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard, GetFileExMaxInfoLevel } GET_FILEEX_INFO_LEVELS;

typedef struct _WIN32_FILE_ATTRIBUTE_DATA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
} WIN32_FILE_ATTRIBUTE_DATA, *LPWIN32_FILE_ATTRIBUTE_DATA;

extern "C" {
// Files the stand-in's fopen opened by a Windows path are held as Windows' C library holds
// them, without sharing their deletion: while any process has one open, moving a file
// over it, moving it away and deleting it fail (ERROR_ACCESS_DENIED for the moves,
// ERROR_SHARING_VIOLATION for the delete), as on Windows.
// Renames within a file system atomically; MOVEFILE_REPLACE_EXISTING replaces an existing
// target in the same step, without it an existing target fails with ERROR_ALREADY_EXISTS.
BOOL WINAPI MoveFileExA(LPCSTR existing, LPCSTR target, DWORD flags);
BOOL WINAPI MoveFileA(LPCSTR existing, LPCSTR target);
// Copies the contents; with failIfExists an existing target fails with ERROR_FILE_EXISTS.
// The target is written aside and renamed, so a failed copy leaves it as it was.
BOOL WINAPI CopyFileA(LPCSTR existing, LPCSTR target, BOOL failIfExists);
BOOL WINAPI DeleteFileA(LPCSTR path);
// Makes one folder; an existing one fails with ERROR_ALREADY_EXISTS.
BOOL WINAPI CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security);
DWORD WINAPI GetFileAttributesA(LPCSTR path);
// Attributes, times (100 ns since 1601) and size of a file; level GetFileExInfoStandard.
BOOL WINAPI GetFileAttributesExA(LPCSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID information);

// A file opened for its handle, as the module opens a lock file: the access, share mode,
// security and template are taken as given (no share mode is enforced on such a handle);
// creation as Windows reads it. INVALID_HANDLE_VALUE on failure.
HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                          DWORD creation, DWORD flags, HANDLE templateFile);
BOOL WINAPI CloseHandle(HANDLE handle);
// The whole-file lock of a handle, shared among all processes and all handles: an
// exclusive lock waits for every other holder (or fails with ERROR_LOCK_VIOLATION under
// LOCKFILE_FAIL_IMMEDIATELY). The range is taken as the whole file; closing the handle
// releases it, as it does on Windows.
BOOL WINAPI LockFileEx(HANDLE file, DWORD flags, DWORD reserved, DWORD bytesLow, DWORD bytesHigh,
                       LPOVERLAPPED overlapped);
BOOL WINAPI UnlockFileEx(HANDLE file, DWORD reserved, DWORD bytesLow, DWORD bytesHigh,
                         LPOVERLAPPED overlapped);
}

#ifndef UNICODE
#define MoveFileEx MoveFileExA
#define MoveFile MoveFileA
#define CopyFile CopyFileA
#define DeleteFile DeleteFileA
#define CreateDirectory CreateDirectoryA
#define GetFileAttributes GetFileAttributesA
#define GetFileAttributesEx GetFileAttributesExA
#endif
