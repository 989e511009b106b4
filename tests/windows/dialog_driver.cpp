// Lays dialogs out with the dialog manager and prints where everything landed, so the
// stand-in's layout can be compared line by line with Windows' own (the same source is
// built for the host over the stand-in as dialog_layout, and for Windows, run under Wine).
//
//   dialog_driver layout NAME [--module FILE] [--picture FILE]
//   dialog_driver sort [STRING...]
//
// layout: the dialog NAME from the program's own resources, or from FILE loaded as data
// (the module's dialogs); prints BASE (the dialog base units), CLIENT (the dialog's client
// size and its place in the owner's client area) and one CONTROL line per control, in
// client coordinates, then saves a picture of the dialog. sort: the strings (or a built-in
// set of samples) as a sorted list box orders them, one ORDER line each.
#include "wintest.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include "winshot.h"
#else
#include <winapi_desktop.h>
#include <winapi_host.h>
#endif

namespace {

using wintest::check;

INT_PTR CALLBACK quietProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

bool savePicture(HWND window, const std::string& path) {
#ifdef _WIN32
    winshot::Picture picture;
    return winshot::capture(window, picture) && winshot::saveBmp(picture, path.c_str());
#else
    return winapiSaveWindowPng(window, path.c_str());
#endif
}

HWND makeOwner() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "QxDialogOwner";
    RegisterClassA(&wc);
    // Where the input method's hosts put their application window.
    return CreateWindowExA(0, "QxDialogOwner", "owner", WS_POPUP | WS_VISIBLE, 40, 40, 600, 300, nullptr, nullptr,
                           wc.hInstance, nullptr);
}

int layout(const char* name, const char* modulePath, const char* picture) {
    HMODULE resources = GetModuleHandleA(nullptr);
    if (modulePath) {
        resources = LoadLibraryExA(modulePath, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (!check(resources != nullptr, "module loads as data", "%s", modulePath)) return wintest::finish();
    }
    HWND owner = makeOwner();
    HWND dialog = CreateDialogParamA(resources, name, owner, quietProc, 0);
    if (!check(dialog != nullptr, "dialog created", "%s, error %lu", name, GetLastError())) return wintest::finish();
    RECT units{0, 0, 4, 8};
    MapDialogRect(dialog, &units);
    std::printf("BASE %ld %ld\n", long(units.right), long(units.bottom));
    RECT client{};
    GetClientRect(dialog, &client);
    POINT origin{0, 0}, ownerOrigin{0, 0};
    ClientToScreen(dialog, &origin);
    ClientToScreen(owner, &ownerOrigin);
    std::printf("CLIENT %ldx%ld at %ld,%ld\n", long(client.right), long(client.bottom),
                long(origin.x - ownerOrigin.x), long(origin.y - ownerOrigin.y));
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        RECT r{};
        GetWindowRect(c, &r);
        POINT topLeft{r.left, r.top};
        ScreenToClient(dialog, &topLeft);
        char cls[32] = {};
        GetClassNameA(c, cls, sizeof cls);
        for (char* p = cls; *p; ++p)
            if (*p >= 'a' && *p <= 'z') *p = char(*p - 'a' + 'A');
        RECT inside{};
        GetClientRect(c, &inside);
        std::printf("CONTROL %d %s %ld,%ld %ldx%ld client %ldx%ld style %08lx ex %08lx\n", GetDlgCtrlID(c), cls,
                    long(topLeft.x), long(topLeft.y), long(r.right - r.left), long(r.bottom - r.top),
                    long(inside.right), long(inside.bottom), static_cast<unsigned long>(GetWindowLongA(c, GWL_STYLE)),
                    static_cast<unsigned long>(GetWindowLongA(c, GWL_EXSTYLE)));
        if (std::strcmp(cls, "LISTBOX") == 0)
            std::printf("ITEMHEIGHT %d %ld\n", GetDlgCtrlID(c), long(SendMessageA(c, LB_GETITEMHEIGHT, 0, 0)));
    }
    ShowWindow(dialog, SW_SHOWNORMAL);
    UpdateWindow(dialog);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (picture) check(savePicture(dialog, picture), "picture of the dialog", "%s", picture);
    DestroyWindow(dialog);
    DestroyWindow(owner);
    return wintest::finish();
}

// Lines whose order tells how a sorted list box compares: every printable ASCII
// character alone, case, hyphens and apostrophes, digits against letters, and lines led
// by ASCII codes padded with spaces before Chinese text, as the address lists show them.
std::vector<std::string> sortSamples() {
    std::vector<std::string> lines;
    for (char c = 0x21; c < 0x7F; ++c) lines.emplace_back(1, c);
    for (const char* s : {"co-op", "coop", "Coop", "COOP", "co'op", "cop", "a b", "ab", "a-b", "a_b", "a.b", "ab2",
                          "ab10", "Ab", "aB", "ab  \xD6\xD0", "ab \xCE\xC4", "abc", "b1", "B1", "-b", "'b", "b-"})
        lines.emplace_back(s);
    return lines;
}

int sort(int count, char** strings) {
    std::vector<std::string> samples = sortSamples();
    std::vector<char*> pointers;
    if (count == 0) {
        for (std::string& s : samples) pointers.push_back(s.data());
        count = int(pointers.size());
        strings = pointers.data();
    }
    HWND owner = makeOwner();
    HWND list = CreateWindowExA(0, "ListBox", "", WS_CHILD | LBS_SORT, 0, 0, 100, 100, owner, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    if (!check(list != nullptr, "sorted list box created")) return wintest::finish();
    for (int i = 0; i < count; ++i) SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(strings[i]));
    int n = int(SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        char line[256] = {};
        if (SendMessageA(list, LB_GETTEXTLEN, i, 0) < LRESULT(sizeof line))
            SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
        std::printf("ORDER %s\n", line);
    }
    check(n == count, "every string is listed", "%d of %d", n, count);
    DestroyWindow(owner);
    return wintest::finish();
}

}  // namespace

int main(int argc, char** argv) {
    wintest::begin();
#ifndef _WIN32
    // The fixture dialogs come with the program on Windows; the host attaches them.
    if (const char* res = std::getenv("QX_DIALOG_RES")) {
        static std::string bytes;
        if (FILE* f = std::fopen(res, "rb")) {
            char buffer[4096];
            size_t n;
            while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
            std::fclose(f);
        }
        winapiAttachResources(GetModuleHandleA(nullptr), bytes.data(), bytes.size());
    }
#endif
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "layout" && argc > 2) {
        const char* module = nullptr;
        const char* picture = nullptr;
        for (int i = 3; i + 1 < argc; i += 2) {
            if (std::strcmp(argv[i], "--module") == 0) module = argv[i + 1];
            if (std::strcmp(argv[i], "--picture") == 0) picture = argv[i + 1];
        }
        return layout(argv[2], module, picture);
    }
    if (mode == "sort") return sort(argc - 2, argv + 2);
    check(false, "arguments", "usage: dialog_driver layout NAME [--module FILE] [--picture FILE] | sort STRING...");
    return wintest::finish();
}
