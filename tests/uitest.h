// Shared set-up of the window tests: a fresh desktop, the module's classes, a UI host
// window as owner, and a clean engine record and window state.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <winapi_desktop.h>
#include <winapi_host.h>

#include "core/engine.h"
#include "frontend/uiwindow.h"
#include "shapecode/codetable.h"
#include "shapecode/shapecode.h"
#include "ui/ui.h"
#include "ui/uiwindows.h"

#include <cstring>

// The module's compiled resources, which the module's objects carry on the host.
extern "C" const unsigned char qxHostResources[];
extern "C" const size_t qxHostResourcesSize;

class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        winapiResetDesktop();
        winapiClearRecords();
        resetProcessState();
        engineContext.chineseMode = 1;
        // Pictures and tooltip texts come from the module's own resources, as on Windows.
        static HMODULE resources = winapiAttachResources(nullptr, qxHostResources, qxHostResourcesSize);
        moduleInstance = resources;
        RegisterUiClasses();
        windows.uiHostWindow =
            CreateWindowExA(0, "NOVPA_UICLS", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, moduleInstance, nullptr);
        ASSERT_NE(windows.uiHostWindow, nullptr);
    }
    void TearDown() override {
        winapiResetDesktop();
        windows.uiHostWindow = nullptr;
        engineContext.compositionWindow = engineContext.statusWindow = nullptr;
        windows.letterBoxWindow = windows.introWindow = windows.introWindow2 = windows.wubiNoteWindow = nullptr;
    }

    // Counts the pixels of a borderless window, from (x, y), that differ from the width x
    // height block at (sx, sy) of a bitmap resource loaded as the module loads it.
    static int pictureMismatches(HWND window, int id, int x, int y, int sx, int sy, int width, int height) {
        HANDLE picture = LoadImageA(moduleInstance, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS);
        if (picture == nullptr) return -1;
        HDC memory = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(memory, static_cast<HGDIOBJ>(picture));
        int mismatches = 0;
        for (int dy = 0; dy < height; ++dy)
            for (int dx = 0; dx < width; ++dx)
                if (GetPixel(memory, sx + dx, sy + dy) != winapiWindowPixel(window, x + dx, y + dy)) ++mismatches;
        SelectObject(memory, old);
        DeleteDC(memory);
        DeleteObject(static_cast<HGDIOBJ>(picture));
        return mismatches;
    }

    static RECT windowRect(HWND window) {
        RECT r{};
        GetWindowRect(window, &r);
        return r;
    }
    // A pixel of the client area of a window with a one-pixel border (or none).
    static COLORREF clientPixel(HWND window, int x, int y, int border = 1) {
        return winapiWindowPixel(window, x + border, y + border);
    }
    static bool reddish(COLORREF c) { return GetRValue(c) > 180 && GetGValue(c) < 90 && GetBValue(c) < 90; }
    static bool dark(COLORREF c) { return GetRValue(c) < 100 && GetGValue(c) < 100 && GetBValue(c) < 100; }
    // Whether any pixel of the client rectangle passes the test.
    template <typename Test>
    static bool anyPixel(HWND window, int left, int top, int right, int bottom, Test test, int border = 1) {
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                if (test(clientPixel(window, x, y, border))) return true;
        return false;
    }
};
