// The user files in the system directory: where they are, and the one way to replace one.
// A replaced file is the old one or the whole new one, whatever happens meanwhile: the new
// bytes go into a temporary file of this process, reach the disk, and are moved over the old.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

// System directory + "\" + name. False, with path empty, when that does not fit.
bool systemFilePath(const char* name, char* path, size_t size);
// The same as a string; empty when it does not fit.
std::string userFilePath(const char* name);

// The temporary file of this process beside path: two processes never share one.
std::string temporaryFileOf(const char* path);

// Creates temporary, lets write fill it, and commits it to the disk; every write and the
// close are checked. On failure the temporary file is gone.
bool writeTemporaryFile(const std::string& temporary, const std::function<bool(FILE*)>& write);

// Moves temporary over target in one step, with write-through. Systems without the
// replacing move (Windows 95 and 98) take the old file away first; the new one is whole by
// then. On failure the temporary file is gone and target is as it was.
bool moveFileOver(const std::string& temporary, const char* target);

// Both steps: target becomes what write puts into it, or stays as it was.
bool replaceFileWith(const char* target, const std::function<bool(FILE*)>& write);
bool replaceFileWith(const char* target, const std::string& bytes);
