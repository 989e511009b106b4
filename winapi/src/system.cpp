// Kernel odds and ends: last error, system directory, records of beeps and events,
// memory blocks, time and the l-string routines.
#include "internal.h"
#include "winapi/system.h"
#include "winapi_host.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <strings.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace {
thread_local DWORD lastError = 0;

std::mutex recordLock;
std::vector<WinapiBeep> beeps;
std::vector<WinapiEvent> events;

// A record that reaches its bound lets go of its older half: a program that runs for days
// (the desktop engine) keeps recent records only, and a test never comes near the bound.
template <typename Record>
void keepBounded(std::vector<Record>& records) {
    if (records.size() >= WINAPI_RECORDS_KEPT)
        records.erase(records.begin(), records.begin() + WINAPI_RECORDS_KEPT / 2);
}

// Copies a directory path as GetSystemDirectoryA does: the length without the zero on
// success, the size needed with the zero when the buffer is too small.
UINT copyDirectory(const std::string& path, LPSTR buffer, UINT size) {
    makeDirectories(path);
    if (!buffer || size <= path.size()) return static_cast<UINT>(path.size() + 1);
    memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<UINT>(path.size());
}

// Memory blocks carry their size in front so GlobalSize and GlobalReAlloc can work.
struct BlockHeader {
    size_t size;
    size_t pad;   // keeps the data 16-byte aligned
};
}  // namespace

DWORD WINAPI GetLastError(void) { return lastError; }
void WINAPI SetLastError(DWORD code) { lastError = code; }

UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size) {
    return copyDirectory(homeDirectory() + "/system", buffer, size);
}
UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    return copyDirectory(homeDirectory() + "/windows", buffer, size);
}

DWORD WINAPI GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
    if (name == nullptr || *name == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string value;
    if (const char* host = getenv(name))
        value = host;
    else if (strcasecmp(name, "APPDATA") == 0)
        value = homeDirectory() + "/appdata";
    else {
        SetLastError(203);  // ERROR_ENVVAR_NOT_FOUND
        return 0;
    }
    if (buffer == nullptr || size <= value.size()) return static_cast<DWORD>(value.size() + 1);
    memcpy(buffer, value.c_str(), value.size() + 1);
    return static_cast<DWORD>(value.size());
}

BOOL WINAPI Beep(DWORD frequency, DWORD duration) {
    std::lock_guard<std::mutex> guard(recordLock);
    keepBounded(beeps);
    beeps.push_back({false, 0, frequency, duration});
    return TRUE;
}
BOOL WINAPI MessageBeep(UINT type) {
    std::lock_guard<std::mutex> guard(recordLock);
    keepBounded(beeps);
    beeps.push_back({true, type, 0, 0});
    return TRUE;
}
std::vector<WinapiBeep> winapiBeeps() {
    std::lock_guard<std::mutex> guard(recordLock);
    return beeps;
}
std::vector<WinapiEvent> winapiEvents() {
    std::lock_guard<std::mutex> guard(recordLock);
    return events;
}
void winapiRecordEvent(const char* kind, const std::string& text) {
    std::lock_guard<std::mutex> guard(recordLock);
    keepBounded(events);
    events.push_back({kind ? kind : "", text});
}
void winapiClearRecords() {
    std::lock_guard<std::mutex> guard(recordLock);
    beeps.clear();
    events.clear();
}
void WINAPI OutputDebugStringA(LPCSTR text) { winapiRecordEvent("debug", text ? text : ""); }

// Rounded to the nearest, halves away from zero; -1 for a zero divisor or an overflow.
int WINAPI MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0) return -1;
    long long product = static_cast<long long>(number) * numerator;
    bool negative = (product < 0) != (denominator < 0);
    long long a = product < 0 ? -product : product;
    long long d = denominator < 0 ? -static_cast<long long>(denominator) : denominator;
    long long q = (a + d / 2) / d;
    if (q > 0x7FFFFFFFLL) return -1;
    return static_cast<int>(negative ? -q : q);
}

DWORD WINAPI GetTickCount(void) {
    using namespace std::chrono;
    return static_cast<DWORD>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
void WINAPI GetSystemTimeAsFileTime(LPFILETIME time) {
    // Windows' file times count 100 ns from 1601, 11644473600 s before 1970.
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    const uint64_t ticks = (uint64_t(now.tv_sec) + 11644473600ull) * 10000000ull + uint64_t(now.tv_nsec) / 100;
    time->dwLowDateTime = DWORD(ticks);
    time->dwHighDateTime = DWORD(ticks >> 32);
}
void WINAPI Sleep(DWORD ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
DWORD WINAPI GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }
DWORD WINAPI GetCurrentThreadId(void) { return static_cast<DWORD>(gettid()); }

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
    auto* header = static_cast<BlockHeader*>(
        (flags & GMEM_ZEROINIT) ? calloc(1, sizeof(BlockHeader) + bytes)
                                : malloc(sizeof(BlockHeader) + bytes));
    if (!header) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    header->size = bytes;
    return header + 1;
}
HGLOBAL WINAPI GlobalReAlloc(HGLOBAL memory, SIZE_T bytes, UINT flags) {
    if (!memory) return nullptr;
    auto* header = static_cast<BlockHeader*>(memory) - 1;
    size_t old = header->size;
    auto* grown = static_cast<BlockHeader*>(realloc(header, sizeof(BlockHeader) + bytes));
    if (!grown) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if ((flags & GMEM_ZEROINIT) && bytes > old)
        memset(reinterpret_cast<BYTE*>(grown + 1) + old, 0, bytes - old);
    grown->size = bytes;
    return grown + 1;
}
LPVOID WINAPI GlobalLock(HGLOBAL memory) { return memory; }
BOOL WINAPI GlobalUnlock(HGLOBAL memory) { return memory != nullptr; }
SIZE_T WINAPI GlobalSize(HGLOBAL memory) {
    return memory ? (static_cast<BlockHeader*>(memory) - 1)->size : 0;
}
HGLOBAL WINAPI GlobalFree(HGLOBAL memory) {
    if (memory) free(static_cast<BlockHeader*>(memory) - 1);
    return nullptr;
}
HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes) { return GlobalAlloc(flags, bytes); }
HLOCAL WINAPI LocalFree(HLOCAL memory) { return GlobalFree(memory); }

int WINAPI lstrlenA(LPCSTR s) { return s ? static_cast<int>(strlen(s)) : 0; }
LPSTR WINAPI lstrcpyA(LPSTR d, LPCSTR s) {
    if (!d || !s) return nullptr;
    return strcpy(d, s);
}
LPSTR WINAPI lstrcpynA(LPSTR d, LPCSTR s, int max) {
    if (!d || !s || max <= 0) return d;
    int i = 0;
    for (; i < max - 1 && s[i]; ++i) d[i] = s[i];
    d[i] = 0;
    return d;
}
LPSTR WINAPI lstrcatA(LPSTR d, LPCSTR s) {
    if (!d || !s) return nullptr;
    return strcat(d, s);
}
int WINAPI lstrcmpA(LPCSTR a, LPCSTR b) {
    int c = strcmp(a ? a : "", b ? b : "");
    return c < 0 ? -1 : c > 0;
}
int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b) {
    int c = compareNoCase(a ? a : "", b ? b : "");
    return c < 0 ? -1 : c > 0;
}

int compareNoCase(const std::string& a, const std::string& b) {
    size_t i = 0;
    bool trail = false;   // the previous byte was a GBK lead byte
    for (; i < a.size() && i < b.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (!trail) {
            if (x >= 'a' && x <= 'z') x -= 32;
            if (y >= 'a' && y <= 'z') y -= 32;
        }
        if (x != y) return x < y ? -1 : 1;
        trail = !trail && x >= 0x81 && x <= 0xFE;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

int WINAPI wvsprintfA(LPSTR buffer, LPCSTR format, va_list args) {
    constexpr size_t limit = 1024;   // Windows' bound for this formatter
    if (!buffer) return 0;
    std::string out;
    for (const char* p = format ? format : ""; *p && out.size() < limit; ++p) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        ++p;
        bool left = false, zero = false;
        for (;; ++p) {
            if (*p == '-') left = true;
            else if (*p == '0') zero = true;
            else if (*p == '#' || *p == ' ' || *p == '+') continue;
            else break;
        }
        int width = 0, precision = -1;
        while (*p >= '0' && *p <= '9') width = width * 10 + (*p++ - '0');
        if (*p == '.') {
            precision = 0;
            ++p;
            while (*p >= '0' && *p <= '9') precision = precision * 10 + (*p++ - '0');
        }
        if (*p == 'l' || *p == 'h') ++p;   // both mean 32 bits here, as on Windows
        std::string field;
        char conv = *p;
        switch (conv) {
        case 's': {
            const char* s = va_arg(args, const char*);
            if (!s) s = "(null)";
            field = precision >= 0 ? std::string(s, strnlen(s, precision)) : s;
            zero = false;
            break;
        }
        case 'c':
            field = static_cast<char>(va_arg(args, int));
            zero = false;
            break;
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X': {
            char digits[32];
            if (conv == 'd' || conv == 'i')
                snprintf(digits, sizeof digits, "%d", va_arg(args, int));
            else
                snprintf(digits, sizeof digits, conv == 'u' ? "%u" : conv == 'x' ? "%x" : "%X",
                         va_arg(args, unsigned int));
            field = digits;
            if (precision >= 0) {
                bool negative = field[0] == '-';
                std::string body = negative ? field.substr(1) : field;
                if (body.size() < static_cast<size_t>(precision))
                    body.insert(0, precision - body.size(), '0');
                field = (negative ? "-" : "") + body;
            }
            break;
        }
        case '\0':
            --p;
            continue;
        default:
            field = conv;   // "%%" and unknown conversions print the character
            width = 0;
        }
        if (field.size() < static_cast<size_t>(width)) {
            size_t pad = width - field.size();
            if (left) field.append(pad, ' ');
            else if (zero) field.insert(field[0] == '-' ? 1 : 0, pad, '0');
            else field.insert(0, pad, ' ');
        }
        out += field;
    }
    if (out.size() > limit - 1) out.resize(limit - 1);
    memcpy(buffer, out.c_str(), out.size() + 1);
    return static_cast<int>(out.size());
}

int WINAPIV wsprintfA(LPSTR buffer, LPCSTR format, ...) {
    va_list args;
    va_start(args, format);
    int n = wvsprintfA(buffer, format, args);
    va_end(args);
    return n;
}
