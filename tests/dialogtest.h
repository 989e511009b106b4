// Shared set-up of the dialog manager's tests: a fresh desktop, the fixture dialogs of
// tests/dialogs/dialogs.rc attached as a module's resources, and a person at the desktop
// who acts from inside modal loops.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <winapi_desktop.h>
#include <winapi_host.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// Control ids of the fixture dialogs.
enum FixtureId {
    IDC_GROUP = 100,
    IDC_CHECK1,
    IDC_CHECK2,
    IDC_RADIO1,
    IDC_RADIO2,
    IDC_RADIO3,
    IDC_EDIT,
    IDC_LIST,
    IDC_LABEL,
    IDC_CENTRED,
    IDC_NOWRAP,
    IDC_PUSH,
    IDC_PICTURE,
    IDC_LOWER,
};

class DialogTest : public ::testing::Test {
protected:
    static HMODULE fixtures() {
        static std::vector<unsigned char> res = [] {
            std::vector<unsigned char> bytes;
            if (FILE* f = std::fopen(QX_DIALOG_RES, "rb")) {
                unsigned char buffer[4096];
                size_t n;
                while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
                std::fclose(f);
            }
            return bytes;
        }();
        static HMODULE module = winapiAttachResources(nullptr, res.data(), res.size());
        return module;
    }

    void SetUp() override {
        winapiResetDesktop();
        winapiClearRecords();
        ASSERT_NE(fixtures(), nullptr) << QX_DIALOG_RES;
        steps().clear();
        commands().clear();
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "DialogTestOwner";
        RegisterClassA(&wc);
        owner = CreateWindowExA(0, "DialogTestOwner", "owner", WS_POPUP | WS_VISIBLE, 40, 40, 600, 400, nullptr,
                                nullptr, nullptr, nullptr);
        winapiSetPerson(&DialogTest::act);
    }
    void TearDown() override {
        winapiSetPerson(nullptr);
        winapiResetDesktop();
    }

    // What the person does, one step each time a modal loop waits.
    using Step = std::function<void(HWND modal)>;
    static std::vector<Step>& steps() {
        static std::vector<Step> s;
        return s;
    }
    static bool act(HWND modal, int) {
        if (steps().empty()) return false;
        Step step = steps().front();
        steps().erase(steps().begin());
        step(modal);
        return true;
    }

    // WM_COMMANDs the fixture procedure received: (id, notification).
    static std::vector<std::pair<int, int>>& commands() {
        static std::vector<std::pair<int, int>> c;
        return c;
    }
    static bool commanded(int id, int code = 0 /* BN_CLICKED */) {
        const auto& c = commands();
        for (const auto& entry : c)
            if (entry == std::make_pair(id, code)) return true;
        return false;
    }
    // Records commands; OK and Cancel end the dialog with their id.
    static INT_PTR CALLBACK fixtureProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
        if (msg == WM_INITDIALOG) return TRUE;
        if (msg != WM_COMMAND) return FALSE;
        commands().emplace_back(LOWORD(wParam), HIWORD(wParam));
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }

    HWND modeless(const char* name, DLGPROC proc = fixtureProc) {
        HWND d = CreateDialogParamA(fixtures(), name, owner, proc, 0);
        if (d) ShowWindow(d, SW_SHOW);
        winapiPumpMessages();
        return d;
    }
    static void key(UINT vk) {
        winapiPressKey(vk);
        winapiPumpMessages();
    }
    static void shiftKey(UINT vk) {
        winapiSetKeyState(VK_LSHIFT, 0x80);
        winapiPressKey(vk);
        winapiPumpMessages();
        winapiSetKeyState(VK_LSHIFT, 0);
    }
    static void type(HWND control, const std::string& gbk) {
        for (char c : gbk) PostMessageA(control, WM_CHAR, static_cast<unsigned char>(c), 1);
        winapiPumpMessages();
    }
    static std::string text(HWND control) {
        char buffer[512] = {};
        GetWindowTextA(control, buffer, sizeof buffer);
        return buffer;
    }
    static POINT centre(HWND window) {
        RECT r{};
        GetWindowRect(window, &r);
        return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    static void click(HWND window) {
        POINT p = centre(window);
        winapiClick(p.x, p.y);
    }

    HWND owner = nullptr;
};
