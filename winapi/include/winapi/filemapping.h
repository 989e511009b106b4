// Reading a file through a mapping: CreateFileA opens it for reading, CreateFileMappingA
// and MapViewOfFile map it read-only. The stand-in maps with the host's shared file
// mapping, so processes that map one file share its pages, as on Windows. Only reading
// is implemented: any other access fails with ERROR_INVALID_PARAMETER.
#pragma once

#include "winapi/base.h"

#define GENERIC_READ 0x80000000L
#define GENERIC_WRITE 0x40000000L
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)
#define PAGE_READONLY 0x02
#define FILE_MAP_READ 0x0004

extern "C" {
// Opens an existing file for reading (GENERIC_READ, OPEN_EXISTING); the sharing mode is
// accepted and not enforced. INVALID_HANDLE_VALUE on failure.
HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD creation, DWORD flags, HANDLE templateFile);
DWORD WINAPI GetFileSize(HANDLE file, LPDWORD sizeHigh);
// A read-only mapping of the whole file (PAGE_READONLY, sizes 0); nullptr on failure,
// also for an empty file, as on Windows.
HANDLE WINAPI CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protect, DWORD sizeHigh,
                                 DWORD sizeLow, LPCSTR name);
// A view of the mapping (FILE_MAP_READ, offset 0; bytes 0 for the whole file).
LPVOID WINAPI MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes);
BOOL WINAPI UnmapViewOfFile(LPCVOID base);
// Closes a file or mapping handle of this header; a view stays valid until unmapped.
BOOL WINAPI CloseHandle(HANDLE object);
}

#ifndef UNICODE
#define CreateFile CreateFileA
#define CreateFileMapping CreateFileMappingA
#endif
