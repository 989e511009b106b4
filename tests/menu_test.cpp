// Menus, message boxes and started programs: built by code, answered by the desktop's
// script, and recorded.
#include <windows.h>
#include <winapi_desktop.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<WPARAM> commands;
int initMenus = 0;

LRESULT CALLBACK ownerProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_COMMAND) commands.push_back(w);
    if (m == WM_INITMENUPOPUP) ++initMenus;
    return DefWindowProcA(h, m, w, l);
}

class MenuTest : public ::testing::Test {
protected:
    HWND owner = nullptr;
    HMENU menu = nullptr;
    void SetUp() override {
        winapiResetDesktop();
        commands.clear();
        initMenus = 0;
        WNDCLASSA wc{};
        wc.lpfnWndProc = ownerProc;
        wc.lpszClassName = "MENUOWNER";
        RegisterClassA(&wc);
        owner = CreateWindowExA(0, "MENUOWNER", "", WS_POPUP, 900, 700, 131, 28, nullptr, nullptr,
                                nullptr, nullptr);
        menu = CreatePopupMenu();
        AppendMenuA(menu, MF_STRING, 1280, "\xB7\xC3\xCE\xCA Tessel");  // 访问Tessel
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(menu, MF_STRING | MF_GRAYED, 1293, "about");
        AppendMenuA(menu, MF_STRING, 1294, "notes");
    }
    void TearDown() override { DestroyMenu(menu); }
};

TEST_F(MenuTest, ItemsKeepTheirOrderIdsAndTexts) {
    EXPECT_EQ(GetMenuItemCount(menu), 4);
    EXPECT_EQ(GetMenuItemID(menu, 0), 1280u);
    EXPECT_EQ(GetMenuItemID(menu, 3), 1294u);
    EXPECT_NE(GetMenuState(menu, 1, MF_BYPOSITION) & MF_SEPARATOR, 0u);
    EXPECT_NE(GetMenuState(menu, 1293, MF_BYCOMMAND) & MF_GRAYED, 0u);
    char text[32];
    EXPECT_EQ(GetMenuStringA(menu, 1280, text, sizeof text, MF_BYCOMMAND), 11);
    EXPECT_STREQ(text, "\xB7\xC3\xCE\xCA Tessel");
    EXPECT_EQ(GetMenuStringA(menu, 1280, text, 5, MF_BYCOMMAND), 4);  // bounded
    EXPECT_TRUE(SetMenuDefaultItem(menu, 1294, FALSE));
    EXPECT_EQ(GetMenuDefaultItem(menu, FALSE, 0), 1294u);
    EXPECT_NE(GetMenuState(menu, 3, MF_BYPOSITION) & MF_DEFAULT, 0u);
    EXPECT_FALSE(SetMenuDefaultItem(menu, 4242, FALSE));
}

TEST_F(MenuTest, ScriptedChoiceIsPostedToTheOwnerAndRecorded) {
    winapiPushMenuAnswer(1294);
    EXPECT_TRUE(TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_BOTTOMALIGN, 900, 700, 0, owner, nullptr));
    EXPECT_EQ(initMenus, 1);
    EXPECT_TRUE(commands.empty());  // posted, as Windows does after the menu closes
    winapiPumpMessages();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(LOWORD(commands[0]), 1294);
    auto& events = winapiDesktopEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, "menu");
    EXPECT_EQ(events[0].value, 1294);
    EXPECT_EQ(events[0].detail, "900,700 bottom");
    EXPECT_NE(events[0].text.find("1280 \xB7\xC3\xCE\xCA Tessel\n-\n"), std::string::npos);
}

TEST_F(MenuTest, WithoutAnAnswerOrWithAGreyedChoiceTheMenuIsDismissed) {
    EXPECT_EQ(TrackPopupMenu(menu, TPM_RETURNCMD, 0, 0, 0, owner, nullptr), 0);
    winapiPushMenuAnswer(1293);  // greyed
    EXPECT_EQ(TrackPopupMenu(menu, TPM_RETURNCMD, 0, 0, 0, owner, nullptr), 0);
    winapiPushMenuAnswer(9999);  // not in this menu
    TrackPopupMenu(menu, 0, 0, 0, 0, owner, nullptr);
    winapiPumpMessages();
    EXPECT_TRUE(commands.empty());
    winapiPushMenuAnswer(1280);
    EXPECT_EQ(TrackPopupMenu(menu, TPM_RETURNCMD, 0, 0, 0, owner, nullptr), 1280);
    winapiPumpMessages();
    EXPECT_TRUE(commands.empty());  // TPM_RETURNCMD returns the choice instead of posting it
    EXPECT_FALSE(TrackPopupMenu(menu, 0, 0, 0, 0, nullptr, nullptr));
}

TEST_F(MenuTest, DestroyedMenuAndItsSubmenusAreGone) {
    HMENU top = CreateMenu();
    HMENU sub = CreatePopupMenu();
    AppendMenuA(sub, MF_STRING, 7, "seven");
    AppendMenuA(top, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), "sub");
    EXPECT_EQ(GetSubMenu(top, 0), sub);
    EXPECT_EQ(GetMenuState(top, 7, MF_BYCOMMAND), 0u);  // found through the submenu
    EXPECT_TRUE(DestroyMenu(top));
    EXPECT_EQ(GetMenuItemCount(sub), -1);
    EXPECT_FALSE(DestroyMenu(top));
}

TEST_F(MenuTest, MessageBoxesTakeScriptedAnswersElseTheirFirstButton) {
    EXPECT_EQ(MessageBoxA(owner, "text", "caption", MB_OK | MB_ICONERROR), IDOK);
    EXPECT_EQ(MessageBoxA(owner, "q", "c", MB_YESNO), IDYES);
    winapiPushMessageBoxAnswer(IDNO);
    EXPECT_EQ(MessageBoxA(owner, "q2", "c", MB_YESNO), IDNO);
    auto& events = winapiDesktopEvents();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].kind, "messagebox");
    EXPECT_EQ(events[0].text, "text");
    EXPECT_EQ(events[0].detail, "caption");
    EXPECT_EQ(events[2].value, IDNO);
}

TEST_F(MenuTest, ProgramsAreRecordedAndNeverStarted) {
    EXPECT_GT(WinExec("notepad.exe c:\\windows\\system\\new.txt", SW_SHOW), 31u);
    auto& events = winapiDesktopEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, "winexec");
    EXPECT_EQ(events[0].text, "notepad.exe c:\\windows\\system\\new.txt");
    EXPECT_EQ(events[0].value, SW_SHOW);
}

}  // namespace
