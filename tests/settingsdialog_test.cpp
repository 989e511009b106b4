// The settings dialog 我的个性 and the about box, run modally as the status menu runs them,
// with a person at the desktop clicking their controls.
#include "uitest.h"

#include "frontend/imeexports.h"
#include "resources/resource.h"

#include <stdlib.h>

#include <functional>
#include <string>
#include <vector>

namespace {

const char* const SIMPLE = "\xBC\xF2\xB5\xA5\xB4\xB0\xBF\xDA";            // 简单窗口
const char* const PHONETIC = "\xD2\xF4\xD0\xCE\xB0\xE6\xD3\xC5\xCF\xC8";  // 音形版优先
const char* const WUBI = "\xCE\xE5\xB1\xCA\xD3\xC5\xCF\xC8";              // 五笔优先
const char* const PINYIN = "\xC6\xB4\xD2\xF4\xD3\xC5\xCF\xC8";            // 拼音优先
const char* const HINT = "\xC6\xB4\xD2\xF4\xCC\xE1\xCA\xBE";              // 拼音提示
const char* const SENTENCE = "\xD5\xFB\xBE\xE4\xCA\xE4\xC8\xEB";          // 整句输入

std::vector<std::function<void(HWND)>>& steps() {
    static std::vector<std::function<void(HWND)>> s;
    return s;
}

bool person(HWND modal, int) {
    if (steps().empty()) return false;
    auto step = steps().front();
    steps().erase(steps().begin());
    step(modal);
    return true;
}

class SettingsTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        // A registry of its own: the cases of this program may run side by side.
        static const std::string base = winapiHome();
        std::string home = base + "/settingsXXXXXX";
        ASSERT_NE(mkdtemp(home.data()), nullptr);
        winapiSetHome(home.c_str());
        steps().clear();
        winapiSetPerson(person);
        owner = CreateWindowExA(0, "NOVPA_UICLS", "", WS_POPUP | WS_VISIBLE, 40, 40, 600, 300, nullptr,
                                nullptr, moduleInstance, nullptr);
    }
    void TearDown() override {
        winapiSetPerson(nullptr);
        winapiSetRegistryReadOnly(HKEY_LOCAL_MACHINE, false);
        UiTest::TearDown();
    }
    static void set(const char* name, DWORD value, DWORD type = REG_DWORD) {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\QX", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        if (type == REG_DWORD)
            RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
        else
            RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>("1"), 2);
        RegCloseKey(key);
    }
    // The stored DWORD, -1 when there is none.
    static long stored(const char* name) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\QX", 0, KEY_READ, &key) != ERROR_SUCCESS) return -1;
        DWORD type = 0, value = 0, size = sizeof value;
        LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
        return status == ERROR_SUCCESS && type == REG_DWORD ? long(value) : -1;
    }
    static void click(HWND dialog, int id) {
        RECT r;
        GetWindowRect(GetDlgItem(dialog, id), &r);
        winapiClick((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    static bool ticked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
    // Runs the dialog; each step sees it open, then 确定 closes it.
    INT_PTR run(std::vector<std::function<void(HWND)>> actions) {
        for (auto& a : actions) steps().push_back(a);
        steps().push_back([](HWND d) { click(d, IDCANCEL); });
        return OpenSettingsDialog(owner);
    }
    size_t beeps() const { return winapiBeeps().size(); }
    HWND owner = nullptr;
};

TEST_F(SettingsTest, WithoutTheKeyAllBoxesAreClearAndTheFirstClickStoresOne) {
    std::vector<bool> shown;
    EXPECT_EQ(run({[&](HWND d) {
                       for (int id : {IDC_SIMPLE_WINDOW, IDC_CARET_FOLLOW, IDC_PHONETIC_FIRST, IDC_WUBI_FIRST,
                                      IDC_PINYIN_FIRST, IDC_PINYIN_HINT, IDC_MENU_AUTO_SHOW})
                           shown.push_back(ticked(d, id));
                   },
                   [](HWND d) { click(d, IDC_PINYIN_HINT); }}),
              1);
    EXPECT_EQ(shown, std::vector<bool>(7, false));
    EXPECT_EQ(stored(HINT), 1);
    EXPECT_EQ(stored(SENTENCE), -1);
    EXPECT_EQ(modes.pinyinHint, 1);
    EXPECT_EQ(stored(PINYIN), -1);  // nothing else written
}

TEST_F(SettingsTest, PrioritiesExcludeEachOther) {
    set(WUBI, 1);
    bool wubiShown = false, wubiAfter = true, pinyinAfter = false;
    run({[&](HWND d) { wubiShown = ticked(d, IDC_WUBI_FIRST); }, [](HWND d) { click(d, IDC_PINYIN_FIRST); },
         [&](HWND d) {
             wubiAfter = ticked(d, IDC_WUBI_FIRST);
             pinyinAfter = ticked(d, IDC_PINYIN_FIRST);
         }});
    EXPECT_TRUE(wubiShown);
    EXPECT_FALSE(wubiAfter);
    EXPECT_TRUE(pinyinAfter);
    EXPECT_EQ(stored(PINYIN), 1);
    EXPECT_EQ(stored(WUBI), 0);
    EXPECT_EQ(stored(PHONETIC), 0);
    // Clearing the one that is on leaves all three off; start-up then takes none of them.
    bool anyTicked = true;
    run({[](HWND d) { click(d, IDC_PINYIN_FIRST); },
         [&](HWND d) {
             anyTicked =
                 ticked(d, IDC_PHONETIC_FIRST) || ticked(d, IDC_WUBI_FIRST) || ticked(d, IDC_PINYIN_FIRST);
         }});
    EXPECT_FALSE(anyTicked);
    EXPECT_EQ(stored(PINYIN), 0);
    EXPECT_EQ(stored(WUBI), 0);
    EXPECT_EQ(stored(PHONETIC), 0);
    EXPECT_EQ(modes.pinyinMode, 0);  // priorities act at the next selection only
}

TEST_F(SettingsTest, SeveralPrioritiesOnAreMendedWhenTheDialogOpens) {
    set(PHONETIC, 1);
    set(WUBI, 1);
    set(PINYIN, 2);  // not 1: off
    bool phoneticShown = true, wubiShown = false;
    run({[&](HWND d) {
        phoneticShown = ticked(d, IDC_PHONETIC_FIRST);
        wubiShown = ticked(d, IDC_WUBI_FIRST);
    }});
    EXPECT_FALSE(phoneticShown);  // the last one read is shown
    EXPECT_TRUE(wubiShown);
    EXPECT_EQ(stored(PHONETIC), 0);
    EXPECT_EQ(stored(WUBI), 1);
    EXPECT_EQ(stored(PINYIN), 2);  // an off value is left as it is
}

TEST_F(SettingsTest, ValueOfAnotherTypeCountsAsOff) {
    set(SIMPLE, 0, REG_SZ);
    bool shown = true;
    run({[&](HWND d) { shown = ticked(d, IDC_SIMPLE_WINDOW); }, [](HWND d) { click(d, IDC_SIMPLE_WINDOW); }});
    EXPECT_FALSE(shown);
    EXPECT_EQ(stored(SIMPLE), 1);  // written as a DWORD now
}

// 整句输入 is on until it is stored as 0, as start-up reads it; its box sits in the column
// between 拼音优先 and 拼音跟随提示 without touching either.
TEST_F(SettingsTest, SentenceInputIsOnUntilStoredOff) {
    modes.sentenceInput = 1;
    bool shownFirst = false, afterClick = true, afterSecond = false;
    RECT box{}, above{}, below{};
    run({[&](HWND d) {
             shownFirst = ticked(d, IDC_SENTENCE_INPUT);
             GetWindowRect(GetDlgItem(d, IDC_SENTENCE_INPUT), &box);
             GetWindowRect(GetDlgItem(d, IDC_PINYIN_FIRST), &above);
             GetWindowRect(GetDlgItem(d, IDC_PINYIN_HINT), &below);
         },
         [](HWND d) { click(d, IDC_SENTENCE_INPUT); },
         [&](HWND d) { afterClick = ticked(d, IDC_SENTENCE_INPUT); }});
    EXPECT_TRUE(shownFirst);
    EXPECT_FALSE(afterClick);
    EXPECT_EQ(stored(SENTENCE), 0);
    EXPECT_EQ(modes.sentenceInput, 0);
    EXPECT_EQ(box.left, above.left);
    EXPECT_GT(box.top, above.bottom);
    EXPECT_LT(box.bottom, below.top);
    // Stored off, it opens clear; a click stores 1 and the row is back at once.
    run({[&](HWND d) { shownFirst = ticked(d, IDC_SENTENCE_INPUT); },
         [](HWND d) { click(d, IDC_SENTENCE_INPUT); },
         [&](HWND d) { afterSecond = ticked(d, IDC_SENTENCE_INPUT); }});
    EXPECT_FALSE(shownFirst);
    EXPECT_TRUE(afterSecond);
    EXPECT_EQ(stored(SENTENCE), 1);
    EXPECT_EQ(modes.sentenceInput, 1);
    // A value of another type is no 0: start-up takes it as on, and so does the box.
    set(SENTENCE, 0, REG_SZ);
    run({[&](HWND d) { shownFirst = ticked(d, IDC_SENTENCE_INPUT); }});
    EXPECT_TRUE(shownFirst);
}

// The same switch without the dialog (a desktop's menu): stored, then in effect; a
// registry that refuses it leaves the row as it was, with a beep.
TEST_F(SettingsTest, SentenceInputFlipsWithoutTheDialogOnlyWhenStored) {
    modes.sentenceInput = 1;
    EXPECT_TRUE(FlipSentenceInput());
    EXPECT_EQ(modes.sentenceInput, 0);
    EXPECT_EQ(stored(SENTENCE), 0);
    winapiSetRegistryReadOnly(HKEY_LOCAL_MACHINE, true);
    const size_t before = beeps();
    EXPECT_FALSE(FlipSentenceInput());
    winapiSetRegistryReadOnly(HKEY_LOCAL_MACHINE, false);
    EXPECT_EQ(modes.sentenceInput, 0);
    EXPECT_EQ(stored(SENTENCE), 0);
    EXPECT_EQ(beeps() - before, 1u);
    EXPECT_TRUE(FlipSentenceInput());
    EXPECT_EQ(modes.sentenceInput, 1);
    EXPECT_EQ(stored(SENTENCE), 1);
}

TEST_F(SettingsTest, SimpleWindowTakesEffectAtOnce) {
    CreateCompositionWindow();
    ShowCompositionWindow(1);
    RelayoutComposition();
    RECT before = windowRect(engineContext.compositionWindow);
    RECT during{};
    run({[](HWND d) { click(d, IDC_SIMPLE_WINDOW); },
         [&](HWND) { during = windowRect(engineContext.compositionWindow); }});
    EXPECT_EQ(modes.simpleWindow, 1);
    EXPECT_LT(during.bottom - during.top, before.bottom - before.top);
}

TEST_F(SettingsTest, ValueThatCannotBeStoredKeepsItsTickAndBeeps) {
    set(PHONETIC, 1);
    winapiSetRegistryReadOnly(HKEY_LOCAL_MACHINE, true);
    const size_t before = beeps();
    bool caretTicked = true, pinyinTicked = true, phoneticTicked = false;
    run({[](HWND d) { click(d, IDC_CARET_FOLLOW); }, [](HWND d) { click(d, IDC_PINYIN_FIRST); },
         [&](HWND d) {
             caretTicked = ticked(d, IDC_CARET_FOLLOW);
             pinyinTicked = ticked(d, IDC_PINYIN_FIRST);
             phoneticTicked = ticked(d, IDC_PHONETIC_FIRST);
         }});
    winapiSetRegistryReadOnly(HKEY_LOCAL_MACHINE, false);
    EXPECT_FALSE(caretTicked);
    EXPECT_EQ(engineContext.caretFollow, 0);
    EXPECT_FALSE(pinyinTicked);
    EXPECT_TRUE(phoneticTicked);
    EXPECT_EQ(stored(PHONETIC), 1);
    EXPECT_EQ(stored(PINYIN), -1);
    ASSERT_EQ(beeps() - before, 2u);
    EXPECT_TRUE(winapiBeeps().back().messageBeep);
}

TEST_F(SettingsTest, EscAndTheCloseBoxEndTheDialog) {
    steps().push_back([](HWND) { winapiPressKey(VK_ESCAPE); });
    EXPECT_EQ(OpenSettingsDialog(owner), 1);
    steps().push_back([](HWND d) { SendMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); });
    EXPECT_EQ(OpenSettingsDialog(owner), 1);
    steps().push_back([](HWND) { winapiPressKey(VK_ESCAPE); });
    EXPECT_EQ(OpenAboutBox(owner), 1);  // Esc closes the about box as OK does
    steps().push_back([](HWND d) { click(d, IDOK); });
    EXPECT_EQ(OpenAboutBox(owner), 1);
    size_t escPersons = 0;
    for (const WinapiDesktopEvent& e : winapiDesktopEvents()) escPersons += e.kind == "dialog-person";
    EXPECT_EQ(escPersons, 0u);  // none needed the desktop's last resort
}

TEST_F(SettingsTest, AboutBoxShowsItsPictureAndSite) {
    HWND picture = nullptr;
    std::string site;
    int mismatches = -1;
    steps().push_back([&](HWND d) {
        for (HWND c = GetWindow(d, GW_CHILD); c && !picture; c = GetWindow(c, GW_HWNDNEXT))
            if ((GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP) picture = c;
        char text[64] = {};
        GetDlgItemTextA(d, IDC_ABOUT_SITE, text, sizeof text);
        site = text;
        // The picture is wider than its frame and centred: its middle shows in the middle.
        RECT client;
        GetClientRect(picture, &client);
        const int border = 3;  // sunken static edge and client edge
        const int sx = (ABOUT_PICTURE_WIDTH - client.right) / 2,
                  sy = (ABOUT_PICTURE_HEIGHT - client.bottom) / 2;
        HANDLE bitmap = LoadImageA(moduleInstance, MAKEINTRESOURCEA(IDB_ABOUT), IMAGE_BITMAP, 0, 0, 0);
        HDC memory = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(memory, bitmap);
        mismatches = 0;
        for (int y = 0; y < client.bottom; y += 3)
            for (int x = 0; x < client.right; x += 3)
                mismatches +=
                    GetPixel(memory, sx + x, sy + y) != winapiWindowPixel(picture, x + border, y + border);
        SelectObject(memory, old);
        DeleteDC(memory);
        DeleteObject(bitmap);
        click(d, IDOK);
    });
    EXPECT_EQ(OpenAboutBox(owner), 1);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(site, "\xCD\xF8\xD6\xB7:http://qx.example.org/");  // 网址:
    EXPECT_EQ(mismatches, 0);
}

TEST_F(SettingsTest, StatusMenuOpensTheDialogsForTheApplication) {
    // The menu's commands need the application's context.
    HIMC context = ImmCreateContext();
    if (INPUTCONTEXT* ic = ImmLockIMC(context)) {
        ic->hWnd = owner;
        ImmUnlockIMC(context);
    }
    SetWindowLongPtrA(windows.uiHostWindow, IMMGWLP_IMC, reinterpret_cast<LONG_PTR>(context));
    CreateStatusWindow();
    HWND dialogOwner = nullptr;
    std::string title;
    steps().push_back([&](HWND d) {
        dialogOwner = GetWindow(d, GW_OWNER);
        char text[64] = {};
        GetWindowTextA(d, text, sizeof text);
        title = text;
        click(d, IDC_PINYIN_FIRST);
    });
    steps().push_back([](HWND d) { click(d, IDCANCEL); });
    SendMessageA(engineContext.statusWindow, WM_COMMAND, CMD_SETTINGS, 0);
    EXPECT_EQ(dialogOwner, owner);
    EXPECT_EQ(title, "\xCE\xD2\xB5\xC4\xB8\xF6\xD0\xD4");  // 我的个性
    EXPECT_EQ(stored(PINYIN), 1);
    // Without a context the command does nothing.
    SetWindowLongPtrA(windows.uiHostWindow, IMMGWLP_IMC, 0);
    SendMessageA(engineContext.statusWindow, WM_COMMAND, CMD_ABOUT, 0);
    size_t opened = 0;
    for (const WinapiDesktopEvent& e : winapiDesktopEvents()) opened += e.kind == "dialog-open";
    EXPECT_EQ(opened, 1u);
    ImmDestroyContext(context);
}

}  // namespace
