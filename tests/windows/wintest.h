// Reporting for the Windows test programs that run under Wine.
// Wine is run with its own diagnostics silenced, so a crash or a missing export would
// otherwise look like an empty success: every check prints an explicit PASS or FAIL line,
// and the program ends with a DONE line that the runner requires.
#pragma once

#include <cstdarg>
#include <cstdio>

#include <windows.h>

namespace wintest {

inline int passed = 0;
inline int failed = 0;

// Unbuffered, so that the lines printed before a crash still reach the runner.
inline void begin()
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
}

// One check: PASS name, or FAIL name: detail.
inline bool check(bool ok, const char* name, const char* detail = nullptr, ...)
{
    if (ok) {
        ++passed;
        std::printf("PASS %s\n", name);
        return true;
    }
    ++failed;
    std::printf("FAIL %s", name);
    if (detail) {
        std::printf(": ");
        va_list args;
        va_start(args, detail);
        std::vprintf(detail, args);
        va_end(args);
    }
    std::printf("\n");
    return false;
}

// An export as the function type the caller knows it by (null when missing).
template <class F>
F proc(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// The closing line; the exit code also says whether anything failed.
inline int finish()
{
    std::printf("DONE %d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}

} // namespace wintest
