// The three installation tools against Wine's registry and Input Method Manager:
//   installer_driver setup DIR    runs DIR\qxsetup.exe in the situations that matter
//   installer_driver load DIR     installs with qxsetup, then has the manager load the module
//   installer_driver regqx DIR    calls regqx of DIR\imeqx.dll
//   installer_driver regqx-nokey DIR   regqx without a layouts key (must end the process, code 1)
//   installer_driver myins DIR IME     calls myins of DIR\imeinst.dll for IME
// Every run works in its own copy of the prefix, so the layouts and preload lists here are
// rebuilt freely.
#include "wintest.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using wintest::check;

const char kLayouts[] = "SYSTEM\\CurrentControlSet\\Control\\Keyboard Layouts";
const char kPreload[] = "Keyboard Layout\\Preload";
const char kSetupLayout[] = "SYSTEM\\CurrentControlSet\\Control\\Keyboard Layouts\\E0220804";

// A value as the registry stores it, read through the wide API.
struct Value {
    bool exists = false;
    DWORD type = 0;
    std::wstring stored; // every stored character, a terminating zero included if written

    std::wstring text() const { return stored.substr(0, stored.find(L'\0')); }
};

// GBK bytes (embedded zeros kept) as the wide characters the registry holds for them.
std::wstring wide(const std::string& gbk)
{
    std::wstring out(gbk.size(), L'\0');
    const int n = gbk.empty() ? 0
                              : MultiByteToWideChar(936, 0, gbk.data(), int(gbk.size()), out.data(), int(out.size()));
    out.resize(size_t(n));
    return out;
}

Value readValue(HKEY root, const char* path, const char* name)
{
    Value v;
    HKEY key;
    if (RegOpenKeyExW(root, wide(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return v;
    wchar_t data[512];
    DWORD size = sizeof data;
    if (RegQueryValueExW(key, wide(name).c_str(), nullptr, &v.type, reinterpret_cast<BYTE*>(data), &size)
        == ERROR_SUCCESS) {
        v.exists = true;
        v.stored.assign(data, size / sizeof(wchar_t));
    }
    RegCloseKey(key);
    return v;
}

bool keyExists(HKEY root, const char* path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void setString(HKEY root, const char* path, const char* name, const char* text)
{
    HKEY key;
    if (RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), DWORD(std::strlen(text) + 1));
        RegCloseKey(key);
    }
}

std::vector<std::string> subkeys(HKEY root, const char* path)
{
    std::vector<std::string> names;
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, size);
    }
    RegCloseKey(key);
    return names;
}

std::string describe(const Value& v)
{
    if (!v.exists)
        return "missing";
    std::string out = "type " + std::to_string(v.type) + ", " + std::to_string(v.stored.size()) + " characters:";
    for (wchar_t c : v.stored) {
        char hex[8];
        std::snprintf(hex, sizeof hex, " %04x", unsigned(c));
        out += hex;
    }
    return out;
}

// A REG_SZ holding the GBK `text`. Wine stores every string written through the ANSI call
// with a terminating zero, whatever length the writer passed, so the lengths are checked on
// the host only.
bool checkString(const char* name, HKEY root, const char* path, const char* value, const std::string& text)
{
    const Value v = readValue(root, path, value);
    return check(v.exists && v.type == REG_SZ && v.text() == wide(text), name, "%s \"%s\": %s", path, value,
        describe(v).c_str());
}

// Runs a program and waits for it; the exit code, or -1 when it cannot be started or hangs.
int runProgram(const std::string& commandLine)
{
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    DWORD code = DWORD(-1);
    if (WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    else
        TerminateProcess(pi.hProcess, 99);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return int(code);
}

// What a call writes on the standard streams of this process (the libraries share the
// C runtime's descriptors with us).
std::string captureStream(int fd, const std::function<void()>& call)
{
    char path[MAX_PATH], dir[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    GetTempFileNameA(dir, "qxo", 0, path);
    std::fflush(stdout);
    std::fflush(stderr);
    const int saved = _dup(fd);
    const int file = _open(path, _O_WRONLY | _O_TRUNC | _O_BINARY);
    _dup2(file, fd);
    _close(file);
    call();
    std::fflush(stdout);
    std::fflush(stderr);
    _dup2(saved, fd);
    _close(saved);

    std::string text;
    if (FILE* f = std::fopen(path, "rb")) {
        char buf[512];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            text.append(buf, n);
        std::fclose(f);
    }
    DeleteFileA(path);
    return text;
}

// ---- qxsetup ----

const std::string kSetupId = "E0220804";

void resetPreload(std::initializer_list<const char*> entries)
{
    RegDeleteTreeA(HKEY_CURRENT_USER, kPreload);
    int n = 1;
    for (const char* id : entries)
        setString(HKEY_CURRENT_USER, kPreload, std::to_string(n++).c_str(), id);
}

bool preloadHolds(const char* number, const std::string& id)
{
    const Value v = readValue(HKEY_CURRENT_USER, kPreload, number);
    return v.exists && v.text() == wide(id.c_str());
}

std::string preloadList()
{
    std::string out;
    for (const char* n : {"1", "2", "3", "4"})
        out += std::string(" ") + n + "=" + describe(readValue(HKEY_CURRENT_USER, kPreload, n));
    return out;
}

void setupCases(const std::string& dir)
{
    const std::string setup = "\"" + dir + "\\qxsetup.exe\"";
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSetupLayout);
    // Wine writes its own layout into entry 1 whenever a process starts, so every list
    // here begins with that layout.
    resetPreload({"E0010804", "00000409"});

    check(runProgram(setup) == 0, "setup: install exits with 0");
    checkString("setup: IME File", HKEY_LOCAL_MACHINE, kSetupLayout, "IME File",
        "winqx2.ime");
    checkString("setup: Layout File is the NT one", HKEY_LOCAL_MACHINE, kSetupLayout, "Layout File",
        "kbdus.dll");
    // "Tessel标准版" in GBK.
    checkString("setup: Layout Text in GBK", HKEY_LOCAL_MACHINE, kSetupLayout, "Layout Text",
        "Tessel\xB1\xEA\xD7\xBC\xB0\xE6");
    check(preloadHolds("3", kSetupId), "setup: preload gets the first free number after 1 and 2",
        "value 3: %s", describe(readValue(HKEY_CURRENT_USER, kPreload, "3")).c_str());
    check(preloadHolds("1", "E0010804") && preloadHolds("2", "00000409"), "setup: other preload entries kept", "%s",
        preloadList().c_str());

    check(runProgram(setup) == 0, "setup: second install exits with 0");
    check(preloadHolds("3", kSetupId) && !readValue(HKEY_CURRENT_USER, kPreload, "4").exists,
        "setup: installing twice reuses the entry");

    check(runProgram(setup + " -UNINST") == 0, "setup: -UNINST exits with 0");
    check(!keyExists(HKEY_LOCAL_MACHINE, kSetupLayout), "setup: -UNINST removes the layout key");
    check(!readValue(HKEY_CURRENT_USER, kPreload, "3").exists, "setup: -UNINST removes the preload entry");
    check(preloadHolds("1", "E0010804") && preloadHolds("2", "00000409"),
        "setup: uninstall keeps the other entries and their numbers", "%s", preloadList().c_str());

    // An entry in the middle of the list goes without renumbering the ones after it.
    resetPreload({"E0010804", "E0220804", "00000409"});
    check(runProgram(setup + " -uninst") == 0 && !readValue(HKEY_CURRENT_USER, kPreload, "2").exists
            && preloadHolds("3", "00000409"),
        "setup: uninstall deletes only the entry that holds the layout");

    // Uninstall still removes the layout key when the preload list has lost the entry.
    resetPreload({"E0010804"});
    check(runProgram(setup + " /x") == 0 && keyExists(HKEY_LOCAL_MACHINE, kSetupLayout),
        "setup: any other argument installs");
    resetPreload({"E0010804"});
    check(runProgram(setup + " -uninst") == 0 && !keyExists(HKEY_LOCAL_MACHINE, kSetupLayout),
        "setup: uninstall without a preload entry removes the layout key");
}

// The setup's registration makes Wine's manager load the module under the name the setup
// registers (the runner has put qx.ime into the system folder as winqx2.ime).
void setupLoadsModule(const std::string& dir)
{
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSetupLayout);
    resetPreload({"E0010804"});
    check(runProgram("\"" + dir + "\\qxsetup.exe\"") == 0, "load: install exits with 0");
    // Wine's LoadKeyboardLayout answers with the active layout whatever it is asked, so
    // the layout handle is formed as the manager forms it from the identifier.
    HKL layout = reinterpret_cast<HKL>(static_cast<LONG_PTR>(static_cast<LONG>(0xE0220804)));
    check(ImmIsIME(layout) != 0, "load: the manager takes the layout for an input method");
    char file[MAX_PATH] = {};
    ImmGetIMEFileNameA(layout, file, sizeof file);
    check(lstrcmpiA(file, "winqx2.ime") == 0, "load: the manager names winqx2.ime", "\"%s\"", file);
    // The properties come from the module's own ImeInquire, so the manager loaded it.
    const DWORD property = ImmGetProperty(layout, IGP_PROPERTY);
    const DWORD conversion = ImmGetProperty(layout, IGP_CONVERSION);
    check(property == 0x0E && conversion == 0x509, "load: the manager reads the module's properties",
        "property %lx, conversion caps %lx", property, conversion);
}

// ---- regqx ----

using Export3 = int(WINAPI*)(DWORD, DWORD, DWORD);
using Myins = int(WINAPI*)(DWORD, DWORD, LPCSTR);

const char kMark[] = "\xA1\xBATessel\xA1\xBB"; // 『Tessel』 in GBK

// The layouts key holding exactly these layouts, each with the given layout text.
void resetLayouts(std::initializer_list<std::pair<const char*, const char*>> layouts)
{
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kLayouts);
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kLayouts, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr)
        == ERROR_SUCCESS)
        RegCloseKey(key);
    for (const auto& [name, text] : layouts)
        setString(HKEY_LOCAL_MACHINE, (std::string(kLayouts) + "\\" + name).c_str(), "layout text", text);
}

std::string layoutPath(const char* name)
{
    return std::string(kLayouts) + "\\" + name;
}

bool callRegqx(Export3 regqx, const char* name)
{
    int rc = -1;
    const std::string out = captureStream(1, [&] { rc = regqx(0, 0, 0); });
    return check(rc == 0 && out == "ok\n", name, "returned %d, printed \"%s\"", rc, out.c_str());
}

void regqxCases(const std::string& dir)
{
    HMODULE lib = LoadLibraryA((dir + "\\imeqx.dll").c_str());
    auto regqx = wintest::proc<Export3>(lib, "regqx");
    if (!check(regqx != nullptr, "regqx: undecorated export found", "error %lu", GetLastError()))
        return;

    resetLayouts({{"E0010804", "A"}, {"E0020804", "B"}});
    callRegqx(regqx, "regqx: first registration prints ok");
    const std::string created = layoutPath("E0030804");
    checkString("regqx: next identifier after E0020804", HKEY_LOCAL_MACHINE, created.c_str(), "IME file",
        "qx.ime");
    checkString("regqx: layout file", HKEY_LOCAL_MACHINE, created.c_str(), "layout file",
        "kbdus.dll");
    checkString("regqx: marked with the layout text", HKEY_LOCAL_MACHINE, created.c_str(), "layout text", kMark);
    check(subkeys(HKEY_LOCAL_MACHINE, kLayouts).size() == 3, "regqx: exactly one layout added");

    // A second run finds its mark and rewrites that key.
    setString(HKEY_LOCAL_MACHINE, created.c_str(), "layout file", "other.dll");
    callRegqx(regqx, "regqx: second registration prints ok");
    check(subkeys(HKEY_LOCAL_MACHINE, kLayouts).size() == 3, "regqx: second run adds no layout");
    checkString("regqx: second run rewrites its own key", HKEY_LOCAL_MACHINE, created.c_str(), "layout file",
        "kbdus.dll");

    // The mark is compared without regard to case.
    resetLayouts({{"00000804", "Chinese"}, {"E0050804", "\xA1\xBATESSEL\xA1\xBB"}});
    callRegqx(regqx, "regqx: marked key in other case prints ok");
    check(subkeys(HKEY_LOCAL_MACHINE, kLayouts).size() == 2, "regqx: mark in other case is recognised");

    resetLayouts({{"00000804", "Chinese"}});
    callRegqx(regqx, "regqx: next to an ordinary layout prints ok");
    checkString("regqx: after 00000804 the new key is 10804", HKEY_LOCAL_MACHINE, layoutPath("10804").c_str(),
        "layout text", kMark);

    // More layouts than the name table holds: no overflow, and still exactly one mark.
    resetLayouts({});
    for (int i = 1; i <= 300; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "%08X", 0xE0000804 + (i << 16));
        setString(HKEY_LOCAL_MACHINE, layoutPath(name).c_str(), "layout text", "other");
    }
    callRegqx(regqx, "regqx: 300 layouts print ok");
    int marked = 0;
    for (const auto& name : subkeys(HKEY_LOCAL_MACHINE, kLayouts))
        marked += readValue(HKEY_LOCAL_MACHINE, layoutPath(name.c_str()).c_str(), "layout text").text() == wide(kMark);
    check(marked == 1, "regqx: 300 layouts get one marked key", "%d marked", marked);
}

// The layouts key missing: regqx reports and ends this process with code 1, so the
// runner checks the exit code and the message; the lines before tell how far it got.
void regqxWithoutKey(const std::string& dir)
{
    HMODULE lib = LoadLibraryA((dir + "\\imeqx.dll").c_str());
    auto regqx = wintest::proc<Export3>(lib, "regqx");
    if (!check(regqx != nullptr, "regqx: undecorated export found"))
        return;
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kLayouts);
    check(!keyExists(HKEY_LOCAL_MACHINE, kLayouts), "regqx: layouts key removed");
    std::printf("CALLING regqx\n");
    regqx(0, 0, 0);
    check(false, "regqx: returned although the layouts key is missing");
}

// ---- myins ----

void myinsCases(const std::string& dir, const std::string& imePath)
{
    HMODULE lib = LoadLibraryA((dir + "\\imeinst.dll").c_str());
    auto myins = wintest::proc<Myins>(lib, "myins");
    if (!check(myins != nullptr, "myins: undecorated export found", "error %lu", GetLastError()))
        return;

    // Wine's manager installs any file it is given, so the refusal ("Installation failed.")
    // is checked on the host, whose manager looks for the IME exports.
    int rc = -2;
    const std::string out = captureStream(1, [&] { rc = myins(0, 0, imePath.c_str()); });
    const std::string expected = "Successfully installed Tessel(" + imePath + ").";
    check(rc == 0 && out == expected, "myins: the module is installed", "returned %d, printed \"%s\"", rc,
        out.c_str());

    // The manager's registration names the layout and the module file.
    std::string found;
    for (const auto& name : subkeys(HKEY_LOCAL_MACHINE, kLayouts)) {
        const std::string path = layoutPath(name.c_str());
        if (readValue(HKEY_LOCAL_MACHINE, path.c_str(), "Layout Text").text() != L"Tessel")
            continue;
        std::wstring file = readValue(HKEY_LOCAL_MACHINE, path.c_str(), "Ime File").text();
        CharLowerW(file.data());
        if (file.size() >= 6 && file.compare(file.size() - 6, 6, L"qx.ime") == 0)
            found = name;
    }
    check(!found.empty(), "myins: the manager registered the layout Tessel for qx.ime");
    if (!found.empty())
        std::printf("registered as %s\n", found.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    wintest::begin();
    const std::string mode = argc > 1 ? argv[1] : "";
    const std::string dir = argc > 2 ? argv[2] : ".";
    if (mode == "setup")
        setupCases(dir);
    else if (mode == "load")
        setupLoadsModule(dir);
    else if (mode == "regqx")
        regqxCases(dir);
    else if (mode == "regqx-nokey")
        regqxWithoutKey(dir);
    else if (mode == "myins" && argc > 3)
        myinsCases(dir, argv[3]);
    else
        check(false, "usage", "installer_driver setup|load|regqx|regqx-nokey DIR | myins DIR IME");
    return wintest::finish();
}
