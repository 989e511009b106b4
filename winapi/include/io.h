// The C runtime's descriptor calls that the module uses, over the host's own.
#pragma once

#include <cstdio>

#include <unistd.h>

inline int _fileno(FILE* file) { return fileno(file); }
// Commits a file's written bytes to the disk.
inline int _commit(int descriptor) { return fsync(descriptor); }
