// The keyboard-layout registration done by qxsetup.
#include "setup.h"

#include "core/userfile.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const char layoutId[] = "E0220804";
const char layoutKey[] = "SYSTEM\\CurrentControlSet\\Control\\Keyboard Layouts\\E0220804";
const char preloadKey[] = "Keyboard Layout\\Preload";
const char imeFile[] = "winqx2.ime";
const char moduleFile[] = "qx.ime";
const char publicListFile[] = "zwwz.dat";
// "Tessel标准版"
const char layoutText[] = "Tessel\xB1\xEA\xD7\xBC\xB0\xE6";
const char uninstallSwitch[] = "-uninst";

bool sameAsciiText(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        unsigned char x = (unsigned char)*a, y = (unsigned char)*b;
        if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
        if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
        if (x != y) return false;
    }
    return *a == *b;
}

bool isWindowsNt() {
    OSVERSIONINFOA version;
    memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    // A system that cannot tell is treated as the newer kind.
    if (!GetVersionExA(&version)) return true;
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// Reads a REG_SZ value into `text` (always terminated); false when it does not exist.
// A value too long for the buffer exists but holds no identifier.
bool readText(HKEY key, LPCSTR name, char* text, DWORD textSize, bool* tooLong) {
    DWORD type = 0, size = textSize - 1;
    LONG rc = RegQueryValueExA(key, name, NULL, &type, (LPBYTE)text, &size);
    *tooLong = rc == ERROR_MORE_DATA;
    if (rc != ERROR_SUCCESS) {
        text[0] = 0;
        return *tooLong;
    }
    text[size < textSize ? size : textSize - 1] = 0;
    return true;
}

bool preloadExists(int n, BOOL windowsNt, HKEY preload) {
    char name[16];
    snprintf(name, sizeof name, "%d", n);
    if (windowsNt) {
        char text[256];
        bool tooLong;
        return preload != NULL && readText(preload, name, text, sizeof text, &tooLong);
    }
    char path[64];
    snprintf(path, sizeof path, "keyboard layout\\preload\\%d", n);
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void setText(HKEY key, LPCSTR name, LPCSTR text) {
    // The terminating zero is part of the stored value.
    RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)text, (DWORD)strlen(text) + 1);
}

std::vector<char> readWholeFile(const std::string& path, bool* ok) {
    std::vector<char> bytes;
    *ok = false;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return bytes;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    *ok = !ferror(f);
    fclose(f);
    return bytes;
}

std::string directoryOf(const char* path) {
    const char* slash = nullptr;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/') slash = p;
    return slash ? std::string(path, slash) : std::string(".");
}

// The layout names the module "winqx2.ime" while it is built as "qx.ime": put the module
// under the registered name in the system directory, so that the layout loads it. The
// copy is written beside the target and renamed over it, so a failed copy never leaves a
// damaged module; a module in use (locked on Windows) simply stays as it is.
void placeModuleFile() {
    char systemDir[MAX_PATH];
    UINT length = GetSystemDirectoryA(systemDir, sizeof systemDir);
    if (length == 0 || length >= sizeof systemDir) return;
    std::string target = std::string(systemDir) + "/" + imeFile;

    bool ok = false;
    std::vector<char> module = readWholeFile(std::string(systemDir) + "/" + moduleFile, &ok);
    if (!ok) {
        char self[MAX_PATH];
        DWORD selfLength = GetModuleFileNameA(NULL, self, sizeof self);
        if (selfLength == 0 || selfLength >= sizeof self) return;
        module = readWholeFile(directoryOf(self) + "/" + moduleFile, &ok);
    }
    if (!ok || module.empty()) return;

    bool present = false;
    std::vector<char> existing = readWholeFile(target, &present);
    if (present && existing == module) return;

    std::string temporary = target + ".new";
    FILE* f = fopen(temporary.c_str(), "wb");
    if (!f) return;
    bool written = fwrite(module.data(), 1, module.size(), f) == module.size();
    written = fclose(f) == 0 && written;
    std::error_code error;
    if (written) std::filesystem::rename(temporary, target, error);
    if (!written || error) std::filesystem::remove(temporary, error);
}

// The public web-address list "zwwz.dat" ships beside the program. It goes into the
// system directory only when none is there, or only the empty one the module creates for
// a missing list: a list that holds anything may be the user's own edits and stays.
void placePublicList() {
    char systemDir[MAX_PATH];
    UINT length = GetSystemDirectoryA(systemDir, sizeof systemDir);
    if (length == 0 || length >= sizeof systemDir) return;
    std::string target = std::string(systemDir) + "/" + publicListFile;
    bool present = false;
    std::vector<char> existing = readWholeFile(target, &present);
    if (present && !existing.empty()) return;
    std::error_code error;
    if (!present && std::filesystem::exists(target, error)) return;  // there, but unreadable

    char self[MAX_PATH];
    DWORD selfLength = GetModuleFileNameA(NULL, self, sizeof self);
    if (selfLength == 0 || selfLength >= sizeof self) return;
    bool ok = false;
    std::vector<char> list = readWholeFile(directoryOf(self) + "/" + publicListFile, &ok);
    if (!ok || list.empty()) return;

    std::string temporary = target + ".new";
    FILE* f = fopen(temporary.c_str(), "wb");
    if (!f) return;
    bool written = fwrite(list.data(), 1, list.size(), f) == list.size();
    written = fclose(f) == 0 && written;
    if (written) std::filesystem::rename(temporary, target, error);
    if (!written || error) std::filesystem::remove(temporary, error);
}

void install(BOOL windowsNt) {
    placeModuleFile();
    placePublicList();

    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, layoutKey, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL,
                        &key, NULL) == ERROR_SUCCESS) {
        setText(key, "IME File", imeFile);
        setText(key, "Layout File", windowsNt ? "kbdus.dll" : "kbdus.kbd");
        setText(key, "Layout Text", layoutText);
        RegCloseKey(key);
    }

    char number[16];
    findPreloadEntry(layoutId, windowsNt, number, sizeof number);
    if (windowsNt) {
        if (RegCreateKeyExA(HKEY_CURRENT_USER, preloadKey, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                            NULL, &key, NULL) == ERROR_SUCCESS) {
            setText(key, number, layoutId);
            RegCloseKey(key);
        }
    } else {
        std::string path = std::string(preloadKey) + "\\" + number;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                            NULL, &key, NULL) == ERROR_SUCCESS) {
            setText(key, NULL, layoutId);
            RegCloseKey(key);
        }
    }

    LoadKeyboardLayoutA(layoutId, 0);
    std::printf("%s\n", userFilesNotice().c_str());
    std::fflush(stdout);
}

void uninstall(BOOL windowsNt) {
    HKL layout = LoadKeyboardLayoutA(layoutId, 0);
    if (layout) UnloadKeyboardLayout(layout);

    char number[16];
    if (findPreloadEntry(layoutId, windowsNt, number, sizeof number)) {
        HKEY key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, preloadKey, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                            NULL, &key, NULL) == ERROR_SUCCESS) {
            // The other entries keep their numbers.
            if (windowsNt)
                RegDeleteValueA(key, number);
            else
                RegDeleteKeyA(key, number);
            RegCloseKey(key);
        }
    }

    RegDeleteKeyA(HKEY_LOCAL_MACHINE, layoutKey);
}

}  // namespace

std::string userFilesNotice() {
    // The module's own rule, asked for the first phrase file; every user file is beside it.
    const std::string path = userFilePath("fread.rt");
    const size_t slash = path.rfind('\\');
    // "您的自造词组和网址列表保存在："
    return "\xC4\xFA\xB5\xC4\xD7\xD4\xD4\xEC\xB4\xCA\xD7\xE9\xBA\xCD\xCD\xF8\xD6\xB7\xC1\xD0\xB1\xED"
           "\xB1\xA3\xB4\xE6\xD4\xDA\xA3\xBA" +
           (slash == std::string::npos ? path : path.substr(0, slash));
}

BOOL findPreloadEntry(LPCSTR identifier, BOOL windowsNt, LPSTR number, DWORD numberSize) {
    HKEY preload = NULL;
    if (windowsNt &&
        RegOpenKeyExA(HKEY_CURRENT_USER, "keyboard layout\\preload", 0, KEY_READ, &preload) != ERROR_SUCCESS)
        preload = NULL;

    BOOL found = FALSE;
    int n = 1;
    if (windowsNt) {
        for (; preload != NULL; ++n) {
            char name[16], text[256];
            bool tooLong;
            snprintf(name, sizeof name, "%d", n);
            if (!readText(preload, name, text, sizeof text, &tooLong)) break;
            if (!tooLong && sameAsciiText(text, identifier)) {
                found = TRUE;
                break;
            }
        }
    } else {
        for (;; ++n) {
            char path[64], text[256];
            bool tooLong;
            snprintf(path, sizeof path, "keyboard layout\\preload\\%d", n);
            HKEY key;
            if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) break;
            bool read = readText(key, NULL, text, sizeof text, &tooLong);
            RegCloseKey(key);
            if (read && !tooLong && sameAsciiText(text, identifier)) {
                found = TRUE;
                break;
            }
        }
    }

    if (!found) {
        n = 1;
        while (preloadExists(n, windowsNt, preload)) ++n;
    }
    if (preload) RegCloseKey(preload);
    snprintf(number, numberSize, "%d", n);
    return found;
}

int setupMain(LPCSTR commandLine) {
    std::string line = commandLine ? commandLine : "";
    size_t first = line.find_first_not_of(" \t");
    size_t last = line.find_last_not_of(" \t");
    line = first == std::string::npos ? std::string() : line.substr(first, last - first + 1);

    BOOL windowsNt = isWindowsNt();
    if (sameAsciiText(line.c_str(), uninstallSwitch))
        uninstall(windowsNt);
    else
        install(windowsNt);
    return 0;
}
