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
// Renames within a file system atomically; MOVEFILE_REPLACE_EXISTING replaces an existing
// target in the same step, without it an existing target fails with ERROR_ALREADY_EXISTS.
BOOL WINAPI MoveFileExA(LPCSTR existing, LPCSTR target, DWORD flags);
BOOL WINAPI MoveFileA(LPCSTR existing, LPCSTR target);
// Copies the contents; with failIfExists an existing target fails with ERROR_FILE_EXISTS.
// The target is written aside and renamed, so a failed copy leaves it as it was.
BOOL WINAPI CopyFileA(LPCSTR existing, LPCSTR target, BOOL failIfExists);
BOOL WINAPI DeleteFileA(LPCSTR path);
DWORD WINAPI GetFileAttributesA(LPCSTR path);
// Attributes, times (100 ns since 1601) and size of a file; level GetFileExInfoStandard.
BOOL WINAPI GetFileAttributesExA(LPCSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID information);
}

#ifndef UNICODE
#define MoveFileEx MoveFileExA
#define MoveFile MoveFileA
#define CopyFile CopyFileA
#define DeleteFile DeleteFileA
#define GetFileAttributes GetFileAttributesA
#define GetFileAttributesEx GetFileAttributesExA
#endif
