// Soft keyboards: the layouts, the translation of a key, the menu on the status bar's
// width button, keys typed through the module while one is on, and its window.
#include "uitest.h"

#include "imedriver.h"
#include "ui/softkeyboard.h"

#include <imm.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// Translates one key; returns the symbol written (GBK), or "beep" when it beeped, or
// "none" when the key is not the soft keyboard's.
std::string translate(int layout, UINT vk, char ch, bool shift = false) {
    uiState.softLayout = static_cast<int16_t>(layout);
    BYTE state[256] = {};
    if (shift) state[VK_SHIFT] = 0x80;
    std::vector<BYTE> buffer(sizeof(TRANSMSGLIST) + 8 * sizeof(TRANSMSG));
    auto* list = reinterpret_cast<LPTRANSMSGLIST>(buffer.data());
    list->uMsgCount = 8;
    UINT count = 0;
    winapiClearRecords();
    if (!TranslateSoftKey(static_cast<unsigned char>(ch), vk, state, list, &count)) return count ? "?" : "none";
    if (count == 0) return winapiBeeps().size() == 1 ? "beep" : "?";
    if (count != 3 || list->TransMsg[1].message != WM_IME_STARTCOMPOSITION ||
        list->TransMsg[2].message != WM_IME_ENDCOMPOSITION || list->TransMsg[0].message != WM_IME_CHAR ||
        list->TransMsg[0].lParam != 1)
        return "?";
    const WPARAM w = list->TransMsg[0].wParam;
    return std::string{static_cast<char>(w >> 8), static_cast<char>(w & 0xFF)};
}

}  // namespace

TEST(SoftKeys, KeysGiveTheirLayoutsSymbolsByShiftState) {
    EXPECT_EQ(utf8(translate(2, 'A', 'a')), "л");
    EXPECT_EQ(utf8(translate(2, 'A', 'A', true)), "Л");
    EXPECT_EQ(utf8(translate(0, VK_SPACE, ' ')), "　");
    EXPECT_EQ(utf8(translate(0, 0xDC, '\\')), "、");  // backslash: index 45
    EXPECT_EQ(utf8(translate(0, 0xC0, '~', true)), "～");
    EXPECT_EQ(utf8(translate(11, '9', '9')), "─");
    EXPECT_EQ(utf8(translate(10, 'Y', 'Y', true)), "伍");
    // A keypad digit is no key of the layout: it takes the Space key's symbol.
    EXPECT_EQ(utf8(translate(8, VK_NUMPAD5, '5')), "　");
    // Not the soft keyboard's: control characters and the keys without one.
    EXPECT_EQ(translate(0, VK_RETURN, '\r'), "none");
    EXPECT_EQ(translate(0, VK_F1, 0), "none");
    // Without a symbol: a beep, nothing typed.
    EXPECT_EQ(translate(3, '2', '2'), "beep");
    EXPECT_EQ(translate(2, VK_SPACE, ' ', true), "beep");
}

TEST(SoftKeys, ShiftedRowsOfFiveLayoutsAreEmpty) {
    for (int layout : {1, 3, 4, 9, 12})
        for (int key = 0; key < SOFT_KEY_COUNT; ++key)
            EXPECT_EQ(SOFT_SYMBOLS[1][layout][key][0], ' ') << layout << " " << key;
    // Every other entry is a whole GBK symbol.
    for (int shifted = 0; shifted < 2; ++shifted)
        for (int layout = 0; layout < SOFT_LAYOUT_COUNT; ++layout)
            for (int key = 0; key < SOFT_KEY_COUNT; ++key) {
                const unsigned char* e = SOFT_SYMBOLS[shifted][layout][key];
                if (e[0] == ' ' && e[1] == ' ') continue;
                EXPECT_TRUE(e[0] >= 0xA1 && e[0] <= 0xFE && e[1] >= 0xA1 && e[1] <= 0xFE) << layout << " " << key;
            }
}

TEST(SoftKeys, AFullMessageListGetsNothingButABeep) {
    uiState.softLayout = 0;
    std::vector<BYTE> buffer(sizeof(TRANSMSGLIST) + 4 * sizeof(TRANSMSG));
    auto* list = reinterpret_cast<LPTRANSMSGLIST>(buffer.data());
    list->uMsgCount = 4;
    UINT count = 2;  // two already there: no room for three
    winapiClearRecords();
    EXPECT_EQ(TranslateSoftKey('a', 'A', nullptr, list, &count), 1);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(winapiBeeps().size(), 1u);
}

namespace {

// The status bar with an application: the width button's menu, the driver and the window.
class SoftKeyboardTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        engineContext.chinesePunct = 1;
        engineRequest(ZOZ_RESET, 1);
        ASSERT_TRUE(installSmallTables());
        ime = std::make_unique<ImeDriver>();
        SetWindowLongPtrA(windows.uiHostWindow, 0, reinterpret_cast<LONG_PTR>(ime->context()));
        CreateStatusWindow();
        ShowWindow(engineContext.statusWindow, SW_SHOWNA);
        winapiPumpMessages();
    }
    void TearDown() override {
        SetWindowLongPtrA(windows.uiHostWindow, 0, 0);
        ime.reset();
        UiTest::TearDown();
    }
    // A right click on the width button, answered with a menu choice.
    void chooseLayout(UINT command) {
        winapiPushMenuAnswer(command);
        const RECT bar = windowRect(engineContext.statusWindow);
        const RECT& button = uiState.statusButtons[3];
        const int x = bar.left + (button.left + button.right) / 2, y = bar.top + (button.top + button.bottom) / 2;
        winapiMouseDown(1, x, y);
        winapiMouseUp(1, x, y);
        winapiPumpMessages();
    }
    DWORD conversion() {
        DWORD mode = 0, sentence = 0;
        ImmGetConversionStatus(ime->context(), &mode, &sentence);
        return mode;
    }
    static std::vector<WinapiDesktopEvent> events(const char* kind) {
        std::vector<WinapiDesktopEvent> found;
        for (const WinapiDesktopEvent& e : winapiDesktopEvents())
            if (e.kind == kind) found.push_back(e);
        return found;
    }
    std::unique_ptr<ImeDriver> ime;
};

}  // namespace

TEST_F(SoftKeyboardTest, ChoosingALayoutTurnsItOnAndKeysTypeItsSymbols) {
    ime->type("ab");  // a code half typed goes when the soft keyboard comes
    chooseLayout(CMD_LAYOUT_RUSSIAN);
    EXPECT_NE(engineContext.softKeyboard, 0);
    EXPECT_EQ(uiState.softLayout, 2);
    EXPECT_TRUE(conversion() & IME_CMODE_SOFTKBD);
    EXPECT_EQ(engineContext.codeLength, 0);
    ASSERT_TRUE(WindowExists(uiState.softKeyboardWindow));
    EXPECT_TRUE(IsWindowVisible(uiState.softKeyboardWindow));
    EXPECT_EQ(utf8(ime->type("aA")), "лЛ");
    EXPECT_EQ(utf8(ime->type("{RShift+W}")), "Б");
    winapiClearRecords();
    EXPECT_EQ(utf8(ime->type("1")), "");  // no symbol: a beep
    EXPECT_EQ(winapiBeeps().size(), 1u);
    // The same layout again turns it off: letters are codes again.
    chooseLayout(CMD_LAYOUT_RUSSIAN);
    EXPECT_EQ(engineContext.softKeyboard, 0);
    EXPECT_FALSE(conversion() & IME_CMODE_SOFTKBD);
    EXPECT_FALSE(IsWindowVisible(uiState.softKeyboardWindow));
    ime->type("ab");
    EXPECT_EQ(std::string(engineContext.code), "ab");
}

TEST_F(SoftKeyboardTest, TheFirstLayoutNeverOpensTheSiteAndTheOffItemCloses) {
    chooseLayout(CMD_LAYOUT_GREEK);
    winapiClearDesktopEvents();
    chooseLayout(CMD_LAYOUT_FIRST);  // shares its id with the status menu's web site
    EXPECT_EQ(uiState.softLayout, 0);
    EXPECT_NE(engineContext.softKeyboard, 0);
    EXPECT_TRUE(events("winexec").empty());
    const auto menus = events("menu");
    ASSERT_EQ(menus.size(), 1u);
    // The layouts in the menu's order, then the item that turns the soft keyboard off.
    const std::string items = utf8(menus[0].text);
    EXPECT_EQ(items.find("1280 "), 0u);
    EXPECT_LT(items.find("1281 "), items.find("1292 "));
    EXPECT_NE(items.find("1279 关闭软键盘"), std::string::npos);
    EXPECT_EQ(utf8(ime->type("{LShift+4}")), "㈣");
    chooseLayout(CMD_SOFT_KEYBOARD_OFF);
    EXPECT_EQ(engineContext.softKeyboard, 0);
    // Without an application nothing turns on.
    SetWindowLongPtrA(windows.uiHostWindow, 0, 0);
    chooseLayout(CMD_LAYOUT_GREEK);
    EXPECT_EQ(engineContext.softKeyboard, 0);
}

// Stands in for the application: records the characters the module sends it.
std::vector<WPARAM> imeChars;
LRESULT CALLBACK applicationProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_IME_CHAR) {
        imeChars.push_back(wParam);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

TEST_F(SoftKeyboardTest, AClickOnAKeyTypesItsSymbolAndTheFrameDrags) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = applicationProc;
    wc.lpszClassName = "QxSoftKeyApplication";
    RegisterClassA(&wc);
    HWND application = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    ImmAssociateContext(application, ime->context());
    imeChars.clear();
    chooseLayout(CMD_LAYOUT_GREEK);
    HWND keyboard = uiState.softKeyboardWindow;
    ASSERT_NE(keyboard, nullptr);
    // Find the A key (index 11) on the picture and click it, then with Shift.
    int ax = -1, ay = -1;
    for (int y = 0; y < 200 && ax < 0; ++y)
        for (int x = 0; x < 400 && ax < 0; ++x)
            if (SoftKeyAt(x, y) == 11) ax = x + 3, ay = y + 3;
    ASSERT_GE(ax, 0);
    const RECT r = windowRect(keyboard);
    winapiClick(r.left + ax, r.top + ay);
    winapiSetKeyState(VK_LSHIFT, 0x80);
    winapiClick(r.left + ax, r.top + ay);
    winapiSetKeyState(VK_LSHIFT, 0);
    ASSERT_EQ(imeChars.size(), 2u);
    const std::string kappa = gbk("κ"), capital = gbk("Κ");
    EXPECT_EQ(imeChars[0], WPARAM(static_cast<unsigned char>(kappa[0]) << 8 | static_cast<unsigned char>(kappa[1])));
    EXPECT_EQ(imeChars[1], WPARAM(static_cast<unsigned char>(capital[0]) << 8 | static_cast<unsigned char>(capital[1])));
    // The frame moves the window.
    winapiMouseDown(0, r.left + 1, r.top + 1);
    winapiMouseMove(r.left - 99, r.top - 49);
    winapiMouseUp(0, r.left - 99, r.top - 49);
    winapiPumpMessages();
    EXPECT_EQ(windowRect(keyboard).left, r.left - 100);
    EXPECT_EQ(imeChars.size(), 2u);
    // The UI window's end takes the keyboard with it.
    DestroyWindow(windows.uiHostWindow);
    EXPECT_FALSE(IsWindow(keyboard));
    DestroyWindow(application);
}

TEST_F(SoftKeyboardTest, EveryMenuItemShowsSymbolsOfItsLayout) {
    HMENU bar = LoadMenuA(moduleInstance, MAKEINTRESOURCEA(IDM_SOFT_LAYOUTS));
    HMENU layouts = GetSubMenu(bar, 0);
    ASSERT_NE(layouts, nullptr);
    for (int layout = 0; layout < SOFT_LAYOUT_COUNT; ++layout) {
        char text[64] = {};
        ASSERT_GT(GetMenuStringA(layouts, CMD_LAYOUT_FIRST + layout, text, sizeof text, MF_BYCOMMAND), 0);
        // The last three symbols of the item's text (after its name) lie on the layout.
        std::vector<std::string> symbols;
        for (size_t i = 0; text[i] != '\0';) {
            if (static_cast<unsigned char>(text[i]) < 0x80) {
                ++i;
                continue;
            }
            symbols.emplace_back(text + i, 2);
            i += 2;
        }
        ASSERT_GE(symbols.size(), 3u);
        for (size_t s = symbols.size() - 3; s < symbols.size(); ++s) {
            bool found = false;
            for (int shifted = 0; shifted < 2; ++shifted)
                for (int key = 0; key < SOFT_KEY_COUNT; ++key)
                    found = found || std::string(reinterpret_cast<const char*>(SOFT_SYMBOLS[shifted][layout][key]), 2) ==
                                         symbols[s];
            EXPECT_TRUE(found) << layout << " " << utf8(symbols[s]);
        }
    }
    DestroyMenu(bar);
}
