// The picture windows and the introduction they play, and the class registration.
#include "uitest.h"

namespace {

class PictureTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        CreateStatusWindow();
    }
    void clickCentre(HWND window) {
        const RECT r = windowRect(window);
        winapiClick((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        winapiPumpMessages();
    }
    size_t count(const char* kind) {
        size_t n = 0;
        for (const WinapiDesktopEvent& e : winapiDesktopEvents()) n += e.kind == kind;
        return n;
    }
};

TEST_F(PictureTest, ClassesAreRegisteredOnceWithTheirStylesAndExtraWords) {
    RegisterUiClasses();  // a second load into the process
    const std::pair<const char*, UINT> classes[] = {
        {"NOVPA_UICLS", CS_IME},
        {"ZOZ_STATUSCLS", CS_IME | CS_VREDRAW | CS_HREDRAW},
        {"ZOZ_COMPCLS", CS_IME | CS_VREDRAW | CS_HREDRAW},
        {"ZOZ_CANDCLS", CS_IME | CS_VREDRAW | CS_HREDRAW},
        {"smwindow", CS_IME | CS_VREDRAW | CS_HREDRAW},
        {"wbclass", CS_VREDRAW | CS_HREDRAW},
        {"sdWin", CS_VREDRAW | CS_HREDRAW},
    };
    for (const auto& [name, style] : classes) {
        WNDCLASSA found{};
        ASSERT_TRUE(GetClassInfoA(moduleInstance, name, &found)) << name;
        EXPECT_EQ(found.style, style) << name;
        EXPECT_EQ(found.cbWndExtra, 8) << name;
        EXPECT_EQ(found.hbrBackground, nullptr) << name;
    }
    EXPECT_EQ(uiState.letterBoxWidth, 40);
}

TEST_F(PictureTest, FiveStrokeNoteIsCreatedHiddenOnceAndClosedByAKey) {
    HWND note = EnsureWubiNote();
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(EnsureWubiNote(), note);
    EXPECT_FALSE(IsWindowVisible(note));
    const RECT r = windowRect(note);
    EXPECT_EQ(r.left, 230);
    EXPECT_EQ(r.top, 80);
    EXPECT_EQ(r.right - r.left, 366);
    EXPECT_EQ(r.bottom - r.top, 405);
    SendMessageA(note, WM_KEYDOWN, 'A', 0);
    EXPECT_FALSE(IsWindow(note));
    EXPECT_EQ(windows.wubiNoteWindow, nullptr);
    EXPECT_NE(EnsureWubiNote(), nullptr);  // re-created when asked again
}

TEST_F(PictureTest, EachPictureWindowShowsItsOwnPictureWhole) {
    const std::pair<const char*, int> pictures[] = {{INTRO_CLASS, 222}, {INTRO2_CLASS, 237}, {WUBI_NOTE_CLASS, 234}};
    for (const auto& [name, id] : pictures) {
        HWND window = CreatePictureWindow(name);
        ASSERT_NE(window, nullptr) << name;
        ShowWindow(window, SW_SHOWNA);
        UpdateWindow(window);
        EXPECT_EQ(pictureMismatches(window, id, 0, 0, 0, 0, 366, 405), 0) << name;
        // The three pictures differ, so a swapped one would show here.
        EXPECT_GT(pictureMismatches(window, id == 222 ? 237 : 222, 0, 0, 0, 0, 366, 405), 0) << name;
        modes.menuAutoShow = 1;  // closing the second picture must open no menu here
        DestroyWindow(window);
        modes.menuAutoShow = 0;
    }
}

TEST_F(PictureTest, IntroductionRunsFromTheFirstPictureToTheMenu) {
    windows.introWindow = CreatePictureWindow(INTRO_CLASS);
    windows.introWindow2 = CreatePictureWindow(INTRO2_CLASS);
    ShowWindow(windows.introWindow, SW_SHOWNA);
    HWND second = windows.introWindow2;
    EXPECT_EQ(SendMessageA(windows.introWindow, WM_MOUSEACTIVATE, 0, 0), MA_NOACTIVATE);

    winapiClearRecords();
    clickCentre(windows.introWindow);
    EXPECT_EQ(windows.introWindow, nullptr);
    ASSERT_EQ(winapiBeeps().size(), 1u);
    EXPECT_EQ(winapiBeeps()[0].frequency, 200u);
    EXPECT_EQ(winapiBeeps()[0].duration, 200u);
    EXPECT_TRUE(IsWindowVisible(second));
    EXPECT_EQ(count("menu"), 0u);

    clickCentre(second);
    EXPECT_EQ(windows.introWindow2, nullptr);
    ASSERT_EQ(count("menu"), 1u);
    for (const WinapiDesktopEvent& e : winapiDesktopEvents()) {
        if (e.kind != "menu") continue;
        // The introduction's menu lists the upgrade before the radical practice.
        EXPECT_LT(e.text.find("1301 "), e.text.find("1300 "));
    }
}

TEST_F(PictureTest, WithTheMenuShownAutomaticallyClosingTheSecondPictureOpensNoMenu) {
    modes.menuAutoShow = 1;
    windows.introWindow2 = CreatePictureWindow(INTRO2_CLASS);
    ShowWindow(windows.introWindow2, SW_SHOWNA);
    clickCentre(windows.introWindow2);
    EXPECT_EQ(windows.introWindow2, nullptr);
    EXPECT_EQ(count("menu"), 0u);
}

TEST_F(PictureTest, EndOpenDialogsEndsTheUserPhraseDialog) {
    EXPECT_EQ(EndOpenDialogs(), 1);
    // An empty modal dialog stands for the user-phrase dialog; while it waits for the
    // user, the module is unloaded and ends it.
    constexpr DWORD style = WS_POPUP | WS_CAPTION;
    alignas(4) static const WORD empty[] = {WORD(style & 0xFFFF), WORD(style >> 16), 0, 0, 0, 0, 0, 100, 50, 0, 0, 0};
    static HWND opened;
    opened = nullptr;
    winapiSetPerson([](HWND modal, int) {
        opened = windows.userPhraseDialog = modal;
        EndOpenDialogs();
        return true;
    });
    INT_PTR result = DialogBoxIndirectParamA(nullptr, reinterpret_cast<LPCDLGTEMPLATEA>(empty), windows.uiHostWindow,
                                             [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    winapiSetPerson(nullptr);
    EXPECT_EQ(result, 1);
    ASSERT_NE(opened, nullptr);
    EXPECT_FALSE(IsWindow(opened));
}

}  // namespace
