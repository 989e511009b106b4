// Key scripts and the typist: what a script means as keys, which key-downs reach the
// input method with which key words, and how the answers become the field's text.
#include <gtest/gtest.h>

#include <windows.h>
#include <winapi_desktop.h>
#include <winapi_host.h>

#include <imedev.h>
#include "typist.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<ScriptKey> parse(const char* script) {
    std::vector<ScriptKey> keys;
    std::string error;
    EXPECT_TRUE(parseKeyScript(script, keys, error)) << error;
    return keys;
}

TEST(KeyScript, CharactersTypeThemselvesOnAUsKeyboard) {
    const auto keys = parse("aA:1!{{}{}} ");
    ASSERT_EQ(keys.size(), 8u);
    EXPECT_EQ(keys[0].vk, 'A');
    EXPECT_FALSE(keys[0].shift);
    EXPECT_EQ(keys[1].vk, 'A');
    EXPECT_TRUE(keys[1].shift);
    EXPECT_EQ(keys[2].vk, 0xBA);
    EXPECT_TRUE(keys[2].shift);
    EXPECT_EQ(keys[3].vk, '1');
    EXPECT_EQ(keys[4].vk, '1');
    EXPECT_TRUE(keys[4].shift);
    EXPECT_EQ(keys[5].ch, '{');
    EXPECT_EQ(keys[5].vk, 0xDB);
    EXPECT_EQ(keys[6].ch, '}');
    EXPECT_EQ(keys[7].vk, VK_SPACE);
}

TEST(KeyScript, NamedKeysChordsAndEvents) {
    const auto keys = parse("{Space}{Enter}{PgDn}{Ctrl}{LShift}{RShift}{RShift+A}{Ctrl+Alt+S}{Caps}{Click:12,34}{Tick:300}");
    ASSERT_EQ(keys.size(), 11u);
    EXPECT_EQ(keys[0].vk, VK_SPACE);
    EXPECT_EQ(keys[1].vk, VK_RETURN);
    EXPECT_EQ(keys[2].vk, VK_NEXT);
    EXPECT_EQ(keys[3].vk, VK_CONTROL);
    EXPECT_FALSE(keys[3].ctrl);
    EXPECT_EQ(keys[4].vk, VK_SHIFT);
    EXPECT_FALSE(keys[4].rightShift);
    EXPECT_EQ(keys[5].vk, VK_SHIFT);
    EXPECT_TRUE(keys[5].rightShift);
    EXPECT_EQ(keys[6].vk, 'A');
    EXPECT_TRUE(keys[6].shift && keys[6].rightShift);
    EXPECT_EQ(keys[6].ch, 'A');
    EXPECT_TRUE(keys[7].ctrl && keys[7].alt);
    EXPECT_EQ(keys[7].vk, 'S');
    EXPECT_EQ(keys[8].kind, ScriptKind::Caps);
    EXPECT_EQ(keys[9].kind, ScriptKind::Click);
    EXPECT_EQ(keys[9].x, 12);
    EXPECT_EQ(keys[9].y, 34);
    EXPECT_EQ(keys[10].kind, ScriptKind::Tick);
    EXPECT_EQ(keys[10].milliseconds, 300u);
}

TEST(KeyScript, MouseMenuAndDialogActions) {
    const auto keys = parse("{RClick:5,6}{DblClick:7,8}{Menu:1297}{Control:1060}{Answer:IDNO}{Answer:3}"
                            "{Folder:/tmp/a b}{Folder:cancel}");
    ASSERT_EQ(keys.size(), 8u);
    EXPECT_EQ(keys[0].kind, ScriptKind::RightClick);
    EXPECT_EQ(keys[0].y, 6);
    EXPECT_EQ(keys[1].kind, ScriptKind::DoubleClick);
    EXPECT_EQ(keys[1].x, 7);
    EXPECT_EQ(keys[2].kind, ScriptKind::Menu);
    EXPECT_EQ(keys[2].id, 1297);
    EXPECT_EQ(keys[3].kind, ScriptKind::Control);
    EXPECT_EQ(keys[3].id, 1060);
    EXPECT_EQ(keys[4].kind, ScriptKind::Answer);
    EXPECT_EQ(keys[4].id, IDNO);
    EXPECT_EQ(keys[5].id, IDABORT);
    EXPECT_EQ(keys[6].kind, ScriptKind::Folder);
    EXPECT_EQ(keys[6].path, "/tmp/a b");
    EXPECT_EQ(keys[7].path, "");
    EXPECT_EQ(keys[7].text, "{Folder:cancel}");
    const auto popup = parse("{Popup:1282}");
    ASSERT_EQ(popup.size(), 1u);
    EXPECT_EQ(popup[0].kind, ScriptKind::Popup);
    EXPECT_EQ(popup[0].id, 1282);
}

TEST(KeyScript, MalformedScriptsAreRefusedWithTheirToken) {
    for (const char* script : {"{Space", "{Nope}", "{Click:1}", "{Tick:x}", "{Ctrl+}", "{Meta+A}", "\xD6\xD0",
                               "{}", "{Menu:}", "{Menu:99999}", "{Popup:}", "{Popup:x}", "{Control:-1}",
                               "{Answer:IDMAYBE}", "{Answer:0}", "{Folder:}", "{RClick:1}"}) {
        std::vector<ScriptKey> keys;
        std::string error;
        EXPECT_FALSE(parseKeyScript(script, keys, error)) << script;
        EXPECT_FALSE(error.empty()) << script;
    }
}

// A stand-in input method: takes letters and Shift, answers 'z' with a result string,
// 'q' with a full-width character, 'w' with a pass-through of the key.
struct Offered {
    UINT vk;
    LPARAM keyData;
    UINT keyWord;
    UINT scan;
    bool shiftHeld;
};
std::vector<Offered> offered;

BOOL WINAPI fakeProcessKey(HIMC, UINT vk, LPARAM keyData, BYTE* state) {
    offered.push_back({vk, keyData, 0, 0, (state[VK_SHIFT] & 0x80) != 0});
    return (vk >= 'A' && vk <= 'Z') || vk == VK_SHIFT || vk == VK_CONTROL;
}

void writeResult(HIMC context, const char* text) {
    INPUTCONTEXT* locked = ImmLockIMC(context);
    const DWORD length = static_cast<DWORD>(std::strlen(text));
    locked->hCompStr = ImmReSizeIMCC(locked->hCompStr, sizeof(COMPOSITIONSTRING) + 48);
    auto* block = static_cast<COMPOSITIONSTRING*>(ImmLockIMCC(locked->hCompStr));
    block->dwSize = sizeof(COMPOSITIONSTRING) + 48;
    block->dwResultStrOffset = sizeof(COMPOSITIONSTRING);
    block->dwResultStrLen = length;
    std::memcpy(reinterpret_cast<char*>(block) + sizeof(COMPOSITIONSTRING), text, length + 1);
    ImmUnlockIMCC(locked->hCompStr);
    ImmUnlockIMC(context);
}

UINT WINAPI fakeToAsciiEx(UINT keyWord, UINT scan, BYTE*, LPTRANSMSGLIST list, UINT, HIMC context) {
    offered.back().keyWord = keyWord;
    offered.back().scan = scan;
    const char ch = static_cast<char>((keyWord >> 8) & 0xFF);
    if (ch == 'z') {
        writeResult(context, "\xD6\xD0");
        list->TransMsg[0] = {WM_IME_COMPOSITION, 0, GCS_RESULTSTR};
        list->TransMsg[1] = {WM_IME_ENDCOMPOSITION, 0, 0};
        return 2;
    }
    if (ch == 'q') {
        list->TransMsg[0] = {WM_IME_CHAR, 0xA3C1, 1};
        return 1;
    }
    if (ch == 'w' || ch == 'W') {
        list->TransMsg[0] = {WM_KEYDOWN, keyWord & 0xFF, 1};
        list->TransMsg[1] = {WM_KEYUP, keyWord & 0xFF, static_cast<LPARAM>(0xC0000001)};
        return 2;
    }
    return 0;
}

class TypistTest : public ::testing::Test {
protected:
    void SetUp() override {
        offered.clear();
        context = ImmCreateContext();
        TypistHooks hooks;
        hooks.processKey = fakeProcessKey;
        hooks.toAsciiEx = fakeToAsciiEx;
        typist = std::make_unique<Typist>(context, hooks);
    }
    void TearDown() override {
        typist.reset();
        ImmDestroyContext(context);
    }
    void type(const char* script) {
        for (const ScriptKey& key : parse(script)) typist->type(key);
    }
    HIMC context = nullptr;
    std::unique_ptr<Typist> typist;
};

TEST_F(TypistTest, ShiftedCharacterIsTheLeftShiftThenTheKeyWithShiftHeld) {
    type("W");
    ASSERT_EQ(offered.size(), 2u);
    EXPECT_EQ(offered[0].vk, static_cast<UINT>(VK_SHIFT));
    EXPECT_EQ((offered[0].keyData >> 16) & 0xFF, 0x2A);
    EXPECT_EQ(offered[0].keyWord, static_cast<UINT>(VK_SHIFT));  // no character
    EXPECT_EQ(offered[1].vk, static_cast<UINT>('W'));
    EXPECT_TRUE(offered[1].shiftHeld);
    EXPECT_EQ(offered[1].keyWord, static_cast<UINT>('W' | ('W' << 8)));
    EXPECT_EQ(offered[1].scan, 0x11u);
    EXPECT_EQ(typist->text(), "W");  // passed through and translated as the application would
    // Shift is released after the key: the next key comes without it.
    type("w");
    EXPECT_FALSE(offered.back().shiftHeld);
    EXPECT_EQ(typist->text(), "Ww");
}

TEST_F(TypistTest, RightShiftAndCtrlChordsCarryTheirScanCodesAndCharacters) {
    type("{RShift}");
    ASSERT_EQ(offered.size(), 1u);
    EXPECT_EQ(offered[0].scan, 0x36u);
    offered.clear();
    type("{Ctrl+A}");
    ASSERT_EQ(offered.size(), 2u);
    EXPECT_EQ(offered[0].vk, static_cast<UINT>(VK_CONTROL));
    EXPECT_EQ(offered[1].keyWord, static_cast<UINT>('A' | (0x01 << 8)));
}

TEST_F(TypistTest, ResultStringsAndImeCharactersGoIntoTheField) {
    type("z");
    EXPECT_EQ(typist->text(), "\xD6\xD0");
    type("q");
    EXPECT_EQ(typist->text(), "\xD6\xD0\xA3\xC1");
}

TEST_F(TypistTest, KeysNotTakenEditTheFieldAsAnEditControl) {
    type("zz1 2");  // digits and Space are not taken by the stand-in
    EXPECT_EQ(typist->text(), "\xD6\xD0\xD6\xD0" "1 2");
    type("{Back}{Back}{Back}{Back}");  // a double-byte character goes whole
    EXPECT_EQ(typist->text(), "\xD6\xD0");
    type("{Enter}3{Up}4{End}5{Home}{Del}");
    EXPECT_EQ(typist->text(), "45\n3");  // Up kept the column, Del took the character
    type("{End}{Left}{Back}{Down}6");
    EXPECT_EQ(typist->text(), "5\n63");
}

TEST_F(TypistTest, CapsLockTurnsTheShiftOfLettersAround) {
    type("{Caps}");
    offered.clear();
    type("w");  // a lower-case w now needs Shift
    ASSERT_EQ(offered.size(), 2u);
    EXPECT_EQ(offered[0].vk, static_cast<UINT>(VK_SHIFT));
    EXPECT_EQ(typist->text(), "w");
    offered.clear();
    type("W");
    ASSERT_EQ(offered.size(), 1u);
    EXPECT_EQ(offered[0].keyWord, static_cast<UINT>('W' | ('W' << 8)));
    EXPECT_TRUE(typist->capsLock());
}

// While a dialog is the active window, keys go to its focused control: the input
// method's result through the default procedure, other keys as the dialog manager
// delivers them.
TEST_F(TypistTest, KeysGoToTheFocusedControlOfTheActiveDialog) {
    TypistHooks hooks;
    hooks.processKey = fakeProcessKey;
    hooks.toAsciiEx = fakeToAsciiEx;
    hooks.pump = [] { winapiPumpMessages(); };
    typist = std::make_unique<Typist>(context, hooks);
    // A dialog with an edit field (id 10) and an OK button, in memory.
    std::vector<WORD> t;
    auto dword = [&](DWORD v) {
        t.push_back(WORD(v & 0xFFFF));
        t.push_back(WORD(v >> 16));
    };
    auto item = [&](DWORD style, short x, short y, short cx, short cy, WORD id, WORD cls) {
        if (t.size() % 2) t.push_back(0);
        dword(style | WS_CHILD | WS_VISIBLE);
        dword(0);
        t.insert(t.end(), {WORD(x), WORD(y), WORD(cx), WORD(cy), id, 0xFFFF, cls, 0, 0});
    };
    dword(WS_POPUP | WS_CAPTION);
    dword(0);
    t.insert(t.end(), {2, 0, 0, 120, 60, 0, 0, 0});
    item(WS_TABSTOP | ES_AUTOHSCROLL, 5, 5, 100, 12, 10, 0x81);
    item(WS_TABSTOP | BS_DEFPUSHBUTTON, 5, 30, 40, 14, IDOK, 0x80);
    HWND dialog = CreateDialogIndirectParamA(nullptr, reinterpret_cast<LPCDLGTEMPLATEA>(t.data()), nullptr,
                                             [](HWND, UINT m, WPARAM, LPARAM) -> INT_PTR { return m == WM_INITDIALOG; }, 0);
    ASSERT_NE(dialog, nullptr);
    ShowWindow(dialog, SW_SHOW);
    ASSERT_EQ(activeDialog(), dialog);
    ASSERT_EQ(dialogKeyTarget(), GetDlgItem(dialog, 10));
    type("z");   // the input method's result string: 中
    type("1");   // a key it leaves: typed by the edit field itself
    type("w");   // a key it passes back
    char text[16] = {};
    GetDlgItemTextA(dialog, 10, text, sizeof text);
    EXPECT_STREQ(text, "\xD6\xD0" "1w");
    EXPECT_EQ(typist->text(), "");  // nothing reached the application's own field
    type("{Tab}");
    EXPECT_EQ(dialogKeyTarget(), GetDlgItem(dialog, IDOK));
    DestroyWindow(dialog);
    winapiResetDesktop();
}

}  // namespace
