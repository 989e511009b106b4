// winapi: system version, keyboard layouts and IME installation over the registry.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char layoutsKey[] = "SYSTEM\\CurrentControlSet\\Control\\Keyboard Layouts";

std::vector<HKL> loadedLayouts;

bool sameAsciiText(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b) {
        unsigned char x = (unsigned char)*a, y = (unsigned char)*b;
        if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
        if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
        if (x != y) return false;
    }
    return *a == *b;
}

// A layout identifier is eight hex digits; its handle carries the language in the low
// word and, for an IME layout, the device part in the high word.
bool parseLayoutId(LPCSTR text, DWORD* id)
{
    if (!text || strlen(text) != 8) return false;
    DWORD value = 0;
    for (int i = 0; i < 8; ++i) {
        char c = text[i];
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return false;
        value = value * 16 + digit;
    }
    *id = value;
    return true;
}

HKL layoutHandle(DWORD id)
{
    DWORD language = id & 0xFFFF;
    DWORD device = id >> 16;
    return (HKL)(ULONG_PTR)((device ? device : language) << 16 | language);
}

bool layoutRegistered(LPCSTR layoutId)
{
    std::string path = std::string(layoutsKey) + "\\" + layoutId;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void markLoaded(HKL layout)
{
    if (std::find(loadedLayouts.begin(), loadedLayouts.end(), layout) == loadedLayouts.end())
        loadedLayouts.push_back(layout);
}

void setText(HKEY key, LPCSTR name, LPCSTR text)
{
    RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)text, (DWORD)strlen(text) + 1);
}

// The identifier of the IME layout that already names `baseName`, if any.
bool findImeLayout(HKEY layouts, const char* baseName, char* found)
{
    for (DWORD index = 0;; ++index) {
        char name[64];
        DWORD size = sizeof name;
        LONG rc = RegEnumKeyExA(layouts, index, name, &size, NULL, NULL, NULL, NULL);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc != ERROR_SUCCESS) return false;
        DWORD id;
        if (!parseLayoutId(name, &id) || (id & 0xF0000000) != 0xE0000000) continue;
        HKEY key;
        if (RegOpenKeyExA(layouts, name, 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
        char file[MAX_PATH];
        DWORD type = 0, fileSize = sizeof file - 1;
        bool same = false;
        if (RegQueryValueExA(key, "Ime File", NULL, &type, (LPBYTE)file, &fileSize) == ERROR_SUCCESS) {
            file[std::min<DWORD>(fileSize, sizeof file - 1)] = 0;
            same = sameAsciiText(file, baseName);
        }
        RegCloseKey(key);
        if (same) {
            snprintf(found, KL_NAMELENGTH, "%08lX", (unsigned long)id);
            return true;
        }
    }
}

} // namespace

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info)
{
    if (!info || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    const char* setting = getenv("QX_WINVER");
    std::string kind = setting ? setting : "";
    memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    if (kind == "fail") {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (kind == "95" || kind == "98") {
        info->dwMajorVersion = 4;
        info->dwMinorVersion = kind == "95" ? 0 : 10;
        info->dwBuildNumber = kind == "95" ? 950 : 1998;
        info->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
    } else {
        info->dwMajorVersion = 5;
        info->dwMinorVersion = 0;
        info->dwBuildNumber = 2195;
        info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    }
    return TRUE;
}

HKL WINAPI LoadKeyboardLayoutA(LPCSTR layoutId, UINT)
{
    DWORD id;
    if (!parseLayoutId(layoutId, &id) || !layoutRegistered(layoutId)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return NULL;
    }
    HKL layout = layoutHandle(id);
    markLoaded(layout);
    return layout;
}

BOOL WINAPI UnloadKeyboardLayout(HKL layout)
{
    auto at = std::find(loadedLayouts.begin(), loadedLayouts.end(), layout);
    if (at == loadedLayouts.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    loadedLayouts.erase(at);
    return TRUE;
}

int WINAPI GetKeyboardLayoutList(int count, HKL* layouts)
{
    int loaded = (int)loadedLayouts.size();
    if (count <= 0 || !layouts) return loaded;
    int n = std::min(count, loaded);
    std::copy(loadedLayouts.begin(), loadedLayouts.begin() + n, layouts);
    return n;
}

HKL WINAPI ImmInstallIMEA(LPCSTR imeFileName, LPCSTR layoutText)
{
    if (!imeFileName || !layoutText) return NULL;

    HMODULE module = LoadLibraryA(imeFileName);
    if (!module) return NULL;
    bool isIme = GetProcAddress(module, "ImeInquire") != NULL;
    FreeLibrary(module);
    if (!isIme) {
        SetLastError(ERROR_BAD_FORMAT);
        return NULL;
    }

    const char* baseName = imeFileName;
    for (const char* p = imeFileName; *p; ++p)
        if (*p == '\\' || *p == '/') baseName = p + 1;

    HKEY layouts;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, layoutsKey, 0, NULL, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, NULL, &layouts, NULL) != ERROR_SUCCESS)
        return NULL;

    char layoutId[KL_NAMELENGTH] = "";
    if (!findImeLayout(layouts, baseName, layoutId)) {
        for (int device = 0x01; device <= 0xFF && !layoutId[0]; ++device) {
            char candidate[KL_NAMELENGTH];
            snprintf(candidate, sizeof candidate, "E0%02X0804", device);
            HKEY existing;
            if (RegOpenKeyExA(layouts, candidate, 0, KEY_READ, &existing) == ERROR_SUCCESS) {
                RegCloseKey(existing);
                continue;
            }
            memcpy(layoutId, candidate, sizeof candidate);
        }
    }

    HKEY key;
    if (!layoutId[0] || RegCreateKeyExA(layouts, layoutId, 0, NULL, REG_OPTION_NON_VOLATILE,
                                        KEY_ALL_ACCESS, NULL, &key, NULL) != ERROR_SUCCESS) {
        RegCloseKey(layouts);
        return NULL;
    }
    setText(key, "Ime File", baseName);
    setText(key, "Layout Text", layoutText);
    RegCloseKey(key);
    RegCloseKey(layouts);

    DWORD id;
    parseLayoutId(layoutId, &id);
    HKL layout = layoutHandle(id);
    markLoaded(layout);
    return layout;
}
