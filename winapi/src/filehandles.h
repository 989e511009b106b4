// Open files of the stand-in: a file handle carries its descriptor, so the calls of
// fileops.cpp (CreateFileA, LockFileEx) and of filemapping.cpp (mappings) share one kind.
#pragma once

#include <windows.h>

// The descriptor of a file handle from CreateFileA; -1 for any other handle.
int descriptorOf(HANDLE handle);
// Closes a file handle; false for any other handle.
bool closeFileHandle(HANDLE handle);
