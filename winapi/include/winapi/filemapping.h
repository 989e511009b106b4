// Reading a file through a mapping: CreateFileA (files.h) opens it, CreateFileMappingA
// and MapViewOfFile map it read-only. The stand-in maps with the host's shared file
// mapping, so processes that map one file share its pages, as on Windows. Only reading
// is implemented: any other access fails with ERROR_INVALID_PARAMETER.
#pragma once

#include "winapi/base.h"
#include "winapi/files.h"

#define TRUNCATE_EXISTING 5
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)
#define PAGE_READONLY 0x02
#define FILE_MAP_READ 0x0004

extern "C" {
DWORD WINAPI GetFileSize(HANDLE file, LPDWORD sizeHigh);
// A read-only mapping of the whole file (PAGE_READONLY, sizes 0); nullptr on failure,
// also for an empty file, as on Windows.
HANDLE WINAPI CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protect, DWORD sizeHigh,
                                 DWORD sizeLow, LPCSTR name);
// A view of the mapping (FILE_MAP_READ, offset 0; bytes 0 for the whole file).
LPVOID WINAPI MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes);
BOOL WINAPI UnmapViewOfFile(LPCVOID base);
// CloseHandle (files.h) closes a mapping handle too; a view stays valid until unmapped.
}

#ifndef UNICODE
#define CreateFileMapping CreateFileMappingA
#endif
