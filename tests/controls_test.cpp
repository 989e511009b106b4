// The standard controls, by what a user does with them: clicking boxes, typing into a
// field with a limit (also through the input method's messages), choosing lines of a
// list, and what statics show. Files moved and replaced by name close the file.
#include "dialogtest.h"

#include <imedev.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

class ControlTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        dialog = modeless("CLASSIC", checkingProc);
        ASSERT_NE(dialog, nullptr);
    }
    // Also notes the check mark a check box has when its parent hears of the click.
    static INT_PTR CALLBACK checkingProc(HWND d, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED)
            markAtClick() = UINT(SendMessageA(reinterpret_cast<HWND>(lParam), BM_GETCHECK, 0, 0));
        return fixtureProc(d, msg, wParam, lParam);
    }
    static UINT& markAtClick() {
        static UINT mark;
        return mark;
    }
    HWND item(int id) const { return GetDlgItem(dialog, id); }
    std::string lines(HWND list) const {
        std::string out;
        int n = int(SendMessageA(list, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            char line[128] = {};
            SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
            out += std::string(i ? "|" : "") + line;
        }
        return out;
    }
    std::pair<DWORD, DWORD> selection(HWND edit) const {
        DWORD a = 0, b = 0;
        SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
        return {a, b};
    }
    HWND dialog = nullptr;
};

TEST_F(ControlTest, CheckBoxTogglesBeforeItsParentHears) {
    HWND box = item(IDC_CHECK1);
    click(box);
    EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_CHECK1), UINT(BST_CHECKED));
    EXPECT_EQ(markAtClick(), UINT(BST_CHECKED));
    EXPECT_EQ(GetFocus(), box);
    SendMessageA(box, BM_CLICK, 0, 0);
    EXPECT_EQ(markAtClick(), UINT(BST_UNCHECKED));
    key(VK_SPACE);  // Space on the focused box
    EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_CHECK1), UINT(BST_CHECKED));
    // A press that leaves the box before the release is no click.
    commands().clear();
    POINT p = centre(box);
    winapiMouseDown(0, p.x, p.y);
    EXPECT_EQ(SendMessageA(box, BM_GETSTATE, 0, 0) & BST_PUSHED, BST_PUSHED);
    winapiMouseMove(p.x + 300, p.y);
    winapiMouseUp(0, p.x + 300, p.y);
    EXPECT_FALSE(commanded(IDC_CHECK1));
    EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_CHECK1), UINT(BST_CHECKED));
    // A disabled box takes no click.
    EnableWindow(box, FALSE);
    SendMessageA(box, BM_CLICK, 0, 0);
    EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_CHECK1), UINT(BST_CHECKED));
}

TEST_F(ControlTest, RadioButtonTakesTheChoiceFromItsGroupOnly) {
    CheckDlgButton(dialog, IDC_CHECK2, BST_CHECKED);
    click(item(IDC_RADIO3));
    click(item(IDC_RADIO1));
    EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_RADIO1), UINT(BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_RADIO3), UINT(BST_UNCHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_CHECK2), UINT(BST_CHECKED));
    EXPECT_TRUE(GetWindowLongA(item(IDC_RADIO1), GWL_STYLE) & WS_TABSTOP);
    EXPECT_FALSE(GetWindowLongA(item(IDC_RADIO3), GWL_STYLE) & WS_TABSTOP);
    // A click on the group box's frame reaches nothing inside it.
    commands().clear();
    RECT group;
    GetWindowRect(item(IDC_GROUP), &group);
    winapiClick(group.left + 2, group.bottom - 3);
    EXPECT_TRUE(commands().empty());
}

TEST_F(ControlTest, TypingStopsAtTheLimitInBytesAndKeepsWholeCharacters) {
    HWND edit = item(IDC_EDIT);
    SetFocus(edit);
    SendMessageA(edit, EM_LIMITTEXT, 5, 0);
    commands().clear();
    type(edit, "ab\xD6\xD0\xCE\xC4");  // ab中文: 文 has one byte left, not two
    EXPECT_EQ(text(edit), "ab\xD6\xD0");
    EXPECT_TRUE(commanded(IDC_EDIT, EN_MAXTEXT));
    type(edit, "c");
    EXPECT_EQ(text(edit), "ab\xD6\xD0" "c");
    key(VK_LEFT);
    key(VK_LEFT);  // over 中 whole
    EXPECT_EQ(selection(edit), std::make_pair(DWORD(2), DWORD(2)));
    key(VK_DELETE);
    EXPECT_EQ(text(edit), "abc");
    type(edit, "\xCE\xC4");
    EXPECT_EQ(text(edit), "ab\xCE\xC4" "c");
    type(edit, "\b");
    EXPECT_EQ(text(edit), "abc");
    key(VK_END);
    shiftKey(VK_LEFT);
    shiftKey(VK_LEFT);
    EXPECT_EQ(selection(edit), std::make_pair(DWORD(1), DWORD(3)));
    type(edit, "Z");  // replaces the selection
    EXPECT_EQ(text(edit), "aZ");
    // A position inside a character is moved to its start.
    SetWindowTextA(edit, "\xD6\xD0\xCE\xC4");
    SendMessageA(edit, EM_SETSEL, 1, 3);
    EXPECT_EQ(selection(edit), std::make_pair(DWORD(0), DWORD(2)));
    SendMessageA(edit, EM_SETSEL, 0, -1);
    EXPECT_EQ(selection(edit), std::make_pair(DWORD(0), DWORD(4)));
    // Text set by the program may pass the limit; the user cannot add to it.
    SetWindowTextA(edit, "1234567");
    EXPECT_EQ(text(edit), "1234567");
    EXPECT_EQ(selection(edit), std::make_pair(DWORD(0), DWORD(0)));
    type(edit, "8");
    EXPECT_EQ(text(edit), "1234567");
}

TEST_F(ControlTest, EditFieldNotifiesChangesAndFoldsCase) {
    HWND lower = item(IDC_LOWER);
    SetFocus(lower);
    commands().clear();
    type(lower, "AbC");
    EXPECT_EQ(text(lower), "abc");
    int changes = 0;
    for (const auto& c : commands()) changes += c == std::make_pair(int(IDC_LOWER), int(EN_CHANGE));
    EXPECT_EQ(changes, 3);
    type(lower, "\x01\x1b");  // control characters type nothing
    EXPECT_EQ(text(lower), "abc");
    SendMessageA(lower, EM_SETSEL, 0, 1);
    SendMessageA(lower, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("xy"));
    EXPECT_EQ(text(lower), "xybc");
    EXPECT_TRUE(SendMessageA(lower, EM_GETMODIFY, 0, 0));
}

// A lead byte waits for its trail byte only: a control character or a byte that cannot
// end a character drops it, and that byte counts on its own.
TEST_F(ControlTest, ALeadByteWaitsOnlyForATrailByte) {
    HWND edit = item(IDC_EDIT);
    auto put = [&](const std::string& bytes) {
        for (char c : bytes) SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 1);
    };
    put("\xD6\ta");
    EXPECT_EQ(text(edit), "a");
    put("\xD6 b");
    EXPECT_EQ(text(edit), "a b");
    put("\xD6\xD0");
    EXPECT_EQ(text(edit), "a b\xD6\xD0");
}

// The parent may change the text while it hears EN_MAXTEXT; the insertion then goes into
// the text as the parent left it.
TEST_F(ControlTest, TextShortenedByTheParentAtTheLimitTakesTheInsertion) {
    HWND other = modeless("CLASSIC", [](HWND d, UINT msg, WPARAM wParam, LPARAM lParam) -> INT_PTR {
        if (msg == WM_COMMAND && HIWORD(wParam) == EN_MAXTEXT)
            SetWindowTextA(reinterpret_cast<HWND>(lParam), "");
        return fixtureProc(d, msg, wParam, lParam);
    });
    ASSERT_NE(other, nullptr);
    HWND edit = GetDlgItem(other, IDC_EDIT);
    SendMessageA(edit, EM_LIMITTEXT, 6, 0);
    SetWindowTextA(edit, "abcde");
    SendMessageA(edit, EM_SETSEL, 5, 5);
    SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("x\xD6\xD0"));  // only x fits
    EXPECT_EQ(text(edit), "x\xD6\xD0");
    EXPECT_EQ(selection(edit), std::make_pair(DWORD(3), DWORD(3)));
}

TEST_F(ControlTest, InputMethodResultArrivesThroughTheDefaultProcedure) {
    HWND edit = item(IDC_EDIT);
    SetFocus(edit);
    HIMC context = ImmCreateContext();
    ImmAssociateContext(edit, context);
    INPUTCONTEXT* ic = ImmLockIMC(context);
    ASSERT_NE(ic, nullptr);
    const char result[] = "\xD6\xD0\xCE\xC4x";  // 中文x
    const DWORD size = sizeof(COMPOSITIONSTRING) + sizeof result;
    ImmReSizeIMCC(ic->hCompStr, size);
    auto* cs = static_cast<COMPOSITIONSTRING*>(ImmLockIMCC(ic->hCompStr));
    cs->dwSize = size;
    cs->dwResultStrOffset = sizeof(COMPOSITIONSTRING);
    cs->dwResultStrLen = DWORD(std::strlen(result));
    std::memcpy(reinterpret_cast<BYTE*>(cs) + cs->dwResultStrOffset, result, cs->dwResultStrLen);
    ImmUnlockIMCC(ic->hCompStr);
    ImmUnlockIMC(context);
    type(edit, "a");
    SendMessageA(edit, WM_IME_COMPOSITION, 0xCEC4, GCS_RESULTSTR);
    SendMessageA(edit, WM_IME_CHAR, 0xB0A1, 1);  // 啊 as a single character
    winapiPumpMessages();
    EXPECT_EQ(text(edit), "a\xD6\xD0\xCE\xC4x\xB0\xA1");
    ImmAssociateContext(edit, nullptr);
    ImmDestroyContext(context);
}

TEST_F(ControlTest, SortedListFindsAndSelectsLines) {
    HWND list = item(IDC_LIST);
    for (const char* line : {"beta", "Alpha", "gamma", "alp", "b-eta", "10", "#tag"})
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
    EXPECT_EQ(lines(list), "#tag|10|alp|Alpha|beta|b-eta|gamma");
    EXPECT_EQ(SendMessageA(list, LB_FINDSTRING, -1, reinterpret_cast<LPARAM>("AL")), 2);
    EXPECT_EQ(SendMessageA(list, LB_FINDSTRING, 2, reinterpret_cast<LPARAM>("al")), 3);  // after the start
    EXPECT_EQ(SendMessageA(list, LB_FINDSTRING, 3, reinterpret_cast<LPARAM>("al")), 2);  // round again
    EXPECT_EQ(SendMessageA(list, LB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>("ALPHA")), 3);
    EXPECT_EQ(SendMessageA(list, LB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>("alph")), LB_ERR);
    commands().clear();
    EXPECT_EQ(SendMessageA(list, LB_SELECTSTRING, -1, reinterpret_cast<LPARAM>("ga")), 6);
    EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 6);
    EXPECT_TRUE(commands().empty());  // a program's choice is not announced
    SendMessageA(list, LB_SETITEMDATA, 6, 77);
    SendMessageA(list, LB_DELETESTRING, 0, 0);
    EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 5);
    EXPECT_EQ(SendMessageA(list, LB_GETITEMDATA, 5, 0), 77);
    SendMessageA(list, LB_DELETESTRING, 5, 0);
    EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), LB_ERR);
    EXPECT_EQ(SendMessageA(list, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>("zzz")), 0);  // inserted as asked
    EXPECT_EQ(SendMessageA(list, LB_GETTEXTLEN, 0, 0), 3);
    EXPECT_EQ(SendMessageA(list, LB_GETTEXTLEN, 99, 0), LB_ERR);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 0);
}

// Case is folded on ASCII letters only: a second byte that happens to be a letter's code
// belongs to its double-byte character, so two characters with one lead byte are two
// lines, in GBK order, each found as itself.
TEST_F(ControlTest, ListFoldsNoCaseInsideDoubleByteCharacters) {
    HWND list = item(IDC_LIST);
    const std::string upper = std::string("\x81\x41") + "a", lower = std::string("\x81\x61") + "a";
    for (const std::string& line : {upper, lower})
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    EXPECT_EQ(lines(list), upper + "|" + lower);
    const std::string lowerInCapitals = std::string("\x81\x61") + "A";
    EXPECT_EQ(SendMessageA(list, LB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>(lowerInCapitals.c_str())),
              1);
    EXPECT_EQ(SendMessageA(list, LB_FINDSTRING, 1, reinterpret_cast<LPARAM>("\x81\x61")), 1);
    EXPECT_EQ(SendMessageA(list, LB_FINDSTRING, 0, reinterpret_cast<LPARAM>("\x81\x41")), 0);
}

TEST_F(ControlTest, UserChoosesLinesWithKeysAndMouse) {
    HWND list = item(IDC_LIST);
    for (int i = 0; i < 12; ++i) SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(("line " + std::to_string(10 + i)).c_str()));
    SetFocus(list);
    commands().clear();
    key(VK_DOWN);
    EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 0);
    key(VK_END);
    EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 11);
    EXPECT_GT(SendMessageA(list, LB_GETTOPINDEX, 0, 0), 0);  // scrolled to show it
    auto changes = [&] {
        int n = 0;
        for (const auto& c : commands()) n += c == std::make_pair(int(IDC_LIST), int(LBN_SELCHANGE));
        return n;
    };
    EXPECT_EQ(changes(), 2);
    key(VK_END);  // no change, no notice
    EXPECT_EQ(changes(), 2);
    SendMessageA(list, LB_SETTOPINDEX, 0, 0);
    RECT r;
    SendMessageA(list, LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&r));
    POINT at{r.left + 5, r.top + 3};
    ClientToScreen(list, &at);
    commands().clear();
    winapiDoubleClick(at.x, at.y);
    EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 2);
    EXPECT_TRUE(commanded(IDC_LIST, LBN_SELCHANGE));
    EXPECT_TRUE(commanded(IDC_LIST, LBN_DBLCLK));
    // The scroll bar shows while lines are out of view, and its style says so.
    EXPECT_TRUE(GetWindowLongA(list, GWL_STYLE) & WS_VSCROLL);
    RECT withBar;
    GetClientRect(list, &withBar);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    RECT without;
    GetClientRect(list, &without);
    EXPECT_FALSE(GetWindowLongA(list, GWL_STYLE) & WS_VSCROLL);
    EXPECT_EQ(without.right - withBar.right, GetSystemMetrics(SM_CXVSCROLL));
}

TEST_F(ControlTest, ScrollBarPagesTheList) {
    HWND list = item(IDC_LIST);
    for (int i = 0; i < 30; ++i) SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(("row " + std::to_string(100 + i)).c_str()));
    RECT frame;
    GetWindowRect(list, &frame);
    winapiClick(frame.right - 4, frame.bottom - 4);  // the down arrow
    EXPECT_EQ(SendMessageA(list, LB_GETTOPINDEX, 0, 0), 1);
    winapiClick(frame.right - 4, frame.bottom - 24);  // the track below the thumb
    int rows = int((frame.bottom - frame.top - 4) / SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
    EXPECT_EQ(SendMessageA(list, LB_GETTOPINDEX, 0, 0), 1 + rows - 1);
    EXPECT_EQ(GetScrollPos(list, SB_VERT), 1 + rows - 1);
}

TEST_F(ControlTest, BitmapStaticCentresItsPictureOverItsCornerColour) {
    HWND extended = modeless("EXTENDED");
    HWND picture = GetDlgItem(extended, IDC_PICTURE);
    ASSERT_NE(picture, nullptr);
    auto* bitmap = reinterpret_cast<HBITMAP>(SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_NE(bitmap, nullptr);
    BITMAP bm{};
    GetObjectA(bitmap, sizeof bm, &bm);
    RECT client;
    GetClientRect(picture, &client);
    RECT frame;
    GetWindowRect(picture, &frame);
    EXPECT_EQ(frame.right - frame.left, 175);  // the control keeps its size (100 units)
    EXPECT_EQ(client.right, 175 - 6);           // sunken static edge and client edge
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, bitmap);
    int dx = (client.right - bm.bmWidth) / 2, dy = (client.bottom - bm.bmHeight) / 2;
    int same = 0;
    for (int y = 0; y < client.bottom; y += 7)
        for (int x = 0; x < client.right; x += 7)
            same += GetPixel(memory, x - dx, y - dy) == winapiWindowPixel(picture, x + 3, y + 3);
    SelectObject(memory, old);
    DeleteDC(memory);
    int samples = ((client.bottom + 6) / 7) * ((client.right + 6) / 7);
    EXPECT_EQ(same, samples);
    EXPECT_EQ(text(GetDlgItem(extended, 107)), "\xCD\xF8\xD6\xB7: http://qx.example.org/");
}

class FileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::string(winapiHome()) + "/files";
        std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str());
    }
    void write(const std::string& name, const std::string& content) { std::ofstream(dir + "/" + name) << content; }
    std::string read(const std::string& name) {
        std::ifstream in(dir + "/" + name);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    bool exists(const std::string& name) { return access((dir + "/" + name).c_str(), F_OK) == 0; }
    std::string windowsName(const std::string& name) { return dir + "\\" + name; }
    std::string dir;
};

TEST_F(FileTest, ReplacingByNameIsOneStepAndNeverLosesTheOld) {
    write("list.dat", "old");
    write("list.tmp", "new");
    // Without the flag an existing target stays.
    EXPECT_FALSE(MoveFileExA(windowsName("list.tmp").c_str(), windowsName("list.dat").c_str(), 0));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(read("list.dat"), "old");
    EXPECT_TRUE(MoveFileExA(windowsName("list.tmp").c_str(), windowsName("list.dat").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(read("list.dat"), "new");
    EXPECT_FALSE(exists("list.tmp"));
    EXPECT_FALSE(MoveFileExA(windowsName("missing").c_str(), windowsName("x").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));

    EXPECT_TRUE(CopyFileA(windowsName("list.dat").c_str(), windowsName("copy.dat").c_str(), TRUE));
    EXPECT_EQ(read("copy.dat"), "new");
    write("copy.dat", "mine");
    EXPECT_FALSE(CopyFileA(windowsName("list.dat").c_str(), windowsName("copy.dat").c_str(), TRUE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));
    EXPECT_EQ(read("copy.dat"), "mine");
    EXPECT_TRUE(CopyFileA(windowsName("list.dat").c_str(), windowsName("copy.dat").c_str(), FALSE));
    EXPECT_EQ(read("copy.dat"), "new");
    EXPECT_FALSE(CopyFileA(windowsName("missing").c_str(), windowsName("copy.dat").c_str(), FALSE));
    EXPECT_EQ(read("copy.dat"), "new");

    EXPECT_TRUE(DeleteFileA(windowsName("copy.dat").c_str()));
    EXPECT_FALSE(exists("copy.dat"));
    EXPECT_FALSE(DeleteFileA(windowsName("copy.dat").c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesA(windowsName("list.dat").c_str()), DWORD(FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesA(dir.c_str()), DWORD(FILE_ATTRIBUTE_DIRECTORY));
    // Nothing was left aside by the copies.
    EXPECT_EQ(std::system(("test $(ls '" + dir + "' | wc -l) -eq 1").c_str()), 0);
}

}  // namespace
