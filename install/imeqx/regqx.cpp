// imeqx: regqx registers the input method as a keyboard layout under the next free
// layout identifier, or rewrites the key of an earlier registration.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char layoutsKey[] = "System\\CurrentControlSet\\Control\\Keyboard Layouts";
// "『Tessel』": the layout text, and the mark of an earlier registration.
const char layoutMark[] = "\xA1\xBATessel\xA1\xBB";
const char imeFile[] = "qx.ime";

enum { maxNames = 250, nameSize = 200, textSize = 200 };
char names[maxNames][nameSize];

bool isLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Case-blind comparison that never folds the second byte of a double-byte character.
bool sameText(const char* a, const char* b) {
    while (*a && *b) {
        unsigned char x = (unsigned char)*a, y = (unsigned char)*b;
        if (isLeadByte(x) || isLeadByte(y)) {
            if (x != y || a[1] != b[1]) return false;
            if (!a[1]) return true;
            a += 2;
            b += 2;
            continue;
        }
        if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
        if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
        if (x != y) return false;
        ++a;
        ++b;
    }
    return *a == *b;
}

// Leading hex digits of a layout name; saturates like a 32-bit strtoul.
unsigned long long hexNumber(const char* name) {
    unsigned long long value = 0;
    for (; *name; ++name) {
        int digit;
        if (*name >= '0' && *name <= '9')
            digit = *name - '0';
        else if (*name >= 'a' && *name <= 'f')
            digit = *name - 'a' + 10;
        else if (*name >= 'A' && *name <= 'F')
            digit = *name - 'A' + 10;
        else
            break;
        value = value * 16 + digit;
        if (value > 0xFFFFFFFFull) return 0xFFFFFFFFull;
    }
    return value;
}

void setText(HKEY key, LPCSTR name, LPCSTR text) {
    // Stored without the terminating zero, as installers that read these keys expect.
    RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)text, (DWORD)strlen(text));
}

// Looks at the subkeys at indexes [first, end) from the last to the first; returns the
// key marked as ours (opened with full access) or NULL, raising `largest` meanwhile.
HKEY examine(HKEY layouts, DWORD first, DWORD end, unsigned long long* largest) {
    int count = 0;
    for (DWORD index = end; index > first; --index) {
        DWORD size = nameSize;
        names[count][0] = 0;
        LONG rc = RegEnumKeyExA(layouts, index - 1, names[count], &size, NULL, NULL, NULL, NULL);
        if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) continue;
        // A name that did not fit is taken as far as it was returned.
        names[count][nameSize - 1] = 0;
        ++count;
    }
    for (int i = 0; i < count; ++i) {
        HKEY layout;
        if (RegOpenKeyExA(layouts, names[i], 0, KEY_ALL_ACCESS, &layout) != ERROR_SUCCESS) continue;
        char text[textSize];
        DWORD type = 0, size = textSize - 1;
        if (RegQueryValueExA(layout, "layout text", NULL, &type, (LPBYTE)text, &size) == ERROR_SUCCESS)
            text[size < textSize ? size : textSize - 1] = 0;
        else
            text[0] = 0;
        if (sameText(text, layoutMark)) return layout;
        unsigned long long number = hexNumber(names[i]);
        if (number > *largest) *largest = number;
        RegCloseKey(layout);
    }
    return NULL;
}

[[noreturn]] void fail(const char* message, const char* name) {
    fprintf(stderr, message, name);
    fflush(stdout);
    exit(1);
}

}  // namespace

extern "C" int WINAPI regqx(DWORD, DWORD, DWORD) {
    HKEY layouts;
    // Reading, and creating the new layout's key beneath.
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, layoutsKey, 0, KEY_READ | KEY_CREATE_SUB_KEY, &layouts) !=
        ERROR_SUCCESS)
        fail("Keyboard Layouts open error\n", "");

    DWORD subkeys = 0;
    if (RegQueryInfoKeyA(layouts, NULL, NULL, NULL, &subkeys, NULL, NULL, NULL, NULL, NULL, NULL, NULL) !=
        ERROR_SUCCESS)
        subkeys = 0;

    // The name table is bounded: more layouts are examined a table at a time, so an
    // earlier registration is always found and the new number never collides.
    HKEY target = NULL;
    unsigned long long largest = 0;
    for (DWORD end = subkeys; end > 0 && !target;) {
        DWORD first = end > maxNames ? end - maxNames : 0;
        target = examine(layouts, first, end, &largest);
        end = first;
    }

    if (!target) {
        char name[32];
        unsigned long long number = largest + 0x10000;
        if (number > 0xFFFFFFFFull)
            snprintf(name, sizeof name, "%X%08X", (unsigned)(number >> 32), (unsigned)number);
        else
            snprintf(name, sizeof name, "%X", (unsigned)number);
        // An identifier has at most eight digits: past that there is no free one.
        if (number > 0xFFFFFFFFull || RegCreateKeyExA(layouts, name, 0, NULL, REG_OPTION_NON_VOLATILE,
                                                      KEY_ALL_ACCESS, NULL, &target, NULL) != ERROR_SUCCESS) {
            RegCloseKey(layouts);
            fail("%s create error\n", name);
        }
    }

    const char* layoutFile = "kbdus.kbd";
    OSVERSIONINFOA version;
    memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version))
        fputs("get version error\n", stdout);
    else if (version.dwPlatformId == VER_PLATFORM_WIN32_NT)
        layoutFile = "kbdus.dll";

    setText(target, "IME file", imeFile);
    setText(target, "layout file", layoutFile);
    setText(target, "layout text", layoutMark);
    RegCloseKey(target);
    RegCloseKey(layouts);
    fputs("ok\n", stdout);
    fflush(stdout);
    return 0;
}
