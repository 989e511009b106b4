// The dialog manager: templates, layout in dialog units, modal loops, the keyboard
// interface, message boxes, the folder picker, and the events a dialog leaves.
#include "dialogtest.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

// The fixture templates as the resource compiler wrote them.
std::vector<unsigned char> templateBytes(const char* name) {
    std::ifstream in(QX_DIALOG_RES, std::ios::binary);
    std::vector<unsigned char> res((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<WinapiResource> all;
    if (!winapiListResResources(res.data(), res.size(), &all)) return {};
    for (const WinapiResource& r : all)
        if (r.type == "#5" && r.name == name) return std::vector<unsigned char>(r.data, r.data + r.size);
    return {};
}

size_t count(const char* kind) {
    const auto& events = winapiDesktopEvents();
    return size_t(std::count_if(events.begin(), events.end(), [&](const WinapiDesktopEvent& e) { return e.kind == kind; }));
}

const WinapiDesktopEvent* last(const char* kind) {
    const auto& events = winapiDesktopEvents();
    for (auto it = events.rbegin(); it != events.rend(); ++it)
        if (it->kind == kind) return &*it;
    return nullptr;
}

TEST_F(DialogTest, TemplatesOfBothFormsAreReadWhole) {
    std::vector<unsigned char> bytes = templateBytes("CLASSIC");
    WinapiDialogTemplate t;
    ASSERT_TRUE(winapiParseDialogTemplate(bytes.data(), bytes.size(), &t));
    EXPECT_FALSE(t.extended);
    EXPECT_EQ(t.style & (DS_SETFONT | DS_MODALFRAME | WS_CAPTION), DWORD(DS_SETFONT | DS_MODALFRAME | WS_CAPTION));
    EXPECT_EQ(t.title, "\xBF\xD8\xBC\xFE");  // 控件
    EXPECT_EQ(t.pointSize, 9);
    EXPECT_EQ(t.faceName, "\xCB\xCE\xCC\xE5");  // 宋体
    EXPECT_EQ(t.x, 20);
    EXPECT_EQ(t.cy, 160);
    ASSERT_EQ(t.items.size(), 15u);
    EXPECT_EQ(t.items[0].className, "BUTTON");
    EXPECT_EQ(t.items[0].classOrdinal, 0x80);
    EXPECT_EQ(t.items[0].style & BS_TYPEMASK, DWORD(BS_GROUPBOX));
    EXPECT_EQ(t.items[0].title, "\xD1\xA1\xCF\xEE");  // 选项
    EXPECT_EQ(t.items[7].className, "EDIT");
    EXPECT_EQ(t.items[9].className, "LISTBOX");
    EXPECT_EQ(t.items[9].style & LBS_SORT, DWORD(LBS_SORT));
    EXPECT_EQ(t.items[14].id, DWORD(IDCANCEL));

    bytes = templateBytes("EXTENDED");
    ASSERT_TRUE(winapiParseDialogTemplate(bytes.data(), bytes.size(), &t));
    EXPECT_TRUE(t.extended);
    EXPECT_EQ(t.exStyle, DWORD(WS_EX_TOOLWINDOW));
    EXPECT_EQ(t.pointSize, 10);
    EXPECT_EQ(t.weight, 400);
    EXPECT_EQ(t.charset, 0x86);
    ASSERT_EQ(t.items.size(), 5u);
    EXPECT_EQ(t.items[0].className, "STATIC");
    EXPECT_TRUE(t.items[0].titleIsOrdinal);
    EXPECT_EQ(t.items[0].titleOrdinal, 300);
    EXPECT_EQ(t.items[0].exStyle, DWORD(WS_EX_CLIENTEDGE));
    EXPECT_EQ(t.items[1].id, 0xFFFFFFFFu);
    EXPECT_EQ(t.items[2].title, "\xCD\xF8\xD6\xB7: http://qx.example.org/");
}

TEST_F(DialogTest, DamagedTemplatesAreRefused) {
    for (const char* name : {"CLASSIC", "EXTENDED"}) {
        std::vector<unsigned char> bytes = templateBytes(name);
        ASSERT_FALSE(bytes.empty());
        WinapiDialogTemplate t;
        // The last item's padding may be missing; anything shorter is damage.
        size_t whole = bytes.size();
        while (whole > 0 && bytes[whole - 1] == 0 && winapiParseDialogTemplate(bytes.data(), whole - 1, &t)) --whole;
        for (size_t cut = 0; cut < whole; ++cut) {
            std::vector<unsigned char> part(bytes.begin(), bytes.begin() + long(cut));
            EXPECT_FALSE(winapiParseDialogTemplate(part.data(), part.size(), &t)) << name << " cut at " << cut;
        }
        // An item count the bytes cannot hold.
        std::vector<unsigned char> counted = bytes;
        size_t at = std::string(name) == "CLASSIC" ? 8 : 16;
        counted[at] = 0xFF;
        counted[at + 1] = 0xFF;
        EXPECT_FALSE(winapiParseDialogTemplate(counted.data(), counted.size(), &t)) << name;
    }
    EXPECT_EQ(DialogBoxParamA(fixtures(), "NOSUCHDIALOG", owner, fixtureProc, 0), -1);
    EXPECT_EQ(CreateDialogParamA(fixtures(), "NOSUCHDIALOG", owner, fixtureProc, 0), nullptr);
}

TEST_F(DialogTest, DialogUnitsFollowTheFont) {
    HWND d = modeless("CLASSIC");
    RECT units{0, 0, 4, 8};
    ASSERT_TRUE(MapDialogRect(d, &units));
    EXPECT_EQ(units.right, 6);  // 宋体 9 points: 6 x 12 pixels
    EXPECT_EQ(units.bottom, 12);
    RECT client;
    GetClientRect(d, &client);
    EXPECT_EQ(client.right, 330);
    EXPECT_EQ(client.bottom, 240);
    POINT origin{0, 0};
    ClientToScreen(d, &origin);
    EXPECT_EQ(origin.x, 40 + 30);  // (20, 10) from the owner's client area
    EXPECT_EQ(origin.y, 40 + 15);
    RECT push;
    GetWindowRect(GetDlgItem(d, IDC_PUSH), &push);
    EXPECT_EQ(push.left - origin.x, 11);  // (7, 138) and 50 x 14 units
    EXPECT_EQ(push.top - origin.y, 207);
    EXPECT_EQ(push.right - push.left, 75);
    EXPECT_EQ(push.bottom - push.top, 21);

    HWND e = modeless("EXTENDED");
    units = RECT{0, 0, 4, 8};
    MapDialogRect(e, &units);
    EXPECT_EQ(units.right, 7);  // 10 points: half-width glyphs of 6.5 pixels round up
    EXPECT_EQ(units.bottom, 13);
    // A bordered edit field gets the sunken 3D edge instead of its border.
    HWND edit = GetDlgItem(d, IDC_EDIT);
    EXPECT_EQ(GetWindowLongA(edit, GWL_STYLE) & WS_BORDER, 0);
    EXPECT_EQ(GetWindowLongA(edit, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, WS_EX_CLIENTEDGE);
    EXPECT_EQ(GetDlgItem(e, -1), GetWindow(GetDlgItem(e, IDC_PICTURE), GW_HWNDNEXT));
}

TEST_F(DialogTest, ModalDialogDisablesItsOwnerUntilItEnds) {
    HWND seen = nullptr;
    bool ownerEnabled = true;
    steps().push_back([&](HWND modal) {
        seen = modal;
        ownerEnabled = IsWindowEnabled(owner) != FALSE;
        EXPECT_EQ(GetParent(modal), owner);
        click(GetDlgItem(modal, IDOK));
    });
    EXPECT_EQ(DialogBoxParamA(fixtures(), "CLASSIC", owner, fixtureProc, 0), IDOK);
    EXPECT_NE(seen, nullptr);
    EXPECT_FALSE(ownerEnabled);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_FALSE(IsWindow(seen));
    EXPECT_EQ(GetActiveWindow(), owner);
    ASSERT_NE(last("dialog-open"), nullptr);
    EXPECT_EQ(last("dialog-open")->text, "\xBF\xD8\xBC\xFE");
    ASSERT_NE(last("dialog-close"), nullptr);
    EXPECT_EQ(last("dialog-close")->value, IDOK);
    EXPECT_EQ(last("dialog-close")->detail, "modal");
}

TEST_F(DialogTest, DialogNobodyAnswersIsClosedWithEsc) {
    EXPECT_EQ(DialogBoxParamA(fixtures(), "CLASSIC", owner, fixtureProc, 0), IDCANCEL);
    ASSERT_NE(last("dialog-person"), nullptr);
    EXPECT_EQ(last("dialog-person")->text, "Esc");
    // A dialog that ignores Esc and its close box is ended all the same.
    auto deaf = [](HWND, UINT msg, WPARAM, LPARAM) -> INT_PTR { return msg == WM_INITDIALOG; };
    EXPECT_EQ(DialogBoxParamA(fixtures(), "CLASSIC", owner, deaf, 0), IDCANCEL);
    EXPECT_EQ(count("dialog-person"), 4u);  // Esc, then close, then the end
    EXPECT_TRUE(IsWindowEnabled(owner));
}

TEST_F(DialogTest, TabWalksTheTabStopsBothWays) {
    HWND d = modeless("CLASSIC");
    CheckRadioButton(d, IDC_RADIO1, IDC_RADIO3, IDC_RADIO2);  // the chosen radio button is the stop
    std::vector<int> order;
    EXPECT_EQ(GetFocus(), GetDlgItem(d, IDC_CHECK1));
    for (int i = 0; i < 9; ++i) {
        key(VK_TAB);
        order.push_back(GetDlgCtrlID(GetFocus()));
    }
    std::vector<int> expected{IDC_CHECK2, IDC_RADIO2, IDC_EDIT, IDC_LOWER, IDC_LIST, IDC_PUSH, IDOK, IDCANCEL, IDC_CHECK1};
    EXPECT_EQ(order, expected);
    shiftKey(VK_TAB);
    EXPECT_EQ(GetFocus(), GetDlgItem(d, IDCANCEL));
    // An edit field reached by Tab has its text selected.
    SetDlgItemTextA(d, IDC_EDIT, "abc");
    SendMessageA(d, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(d, IDC_EDIT)), TRUE);
    DWORD start = 1, end = 0;
    SendDlgItemMessageA(d, IDC_EDIT, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 3u);
}

TEST_F(DialogTest, ArrowsMoveTheChoiceThroughARadioGroup) {
    HWND d = modeless("CLASSIC");
    SendMessageA(d, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(d, IDC_RADIO1)), TRUE);
    commands().clear();
    key(VK_DOWN);
    EXPECT_EQ(GetFocus(), GetDlgItem(d, IDC_RADIO2));
    EXPECT_EQ(IsDlgButtonChecked(d, IDC_RADIO2), UINT(BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(d, IDC_RADIO1), UINT(BST_UNCHECKED));
    EXPECT_TRUE(commanded(IDC_RADIO2));
    key(VK_DOWN);
    key(VK_DOWN);  // round to the first of the group; the label after it is another group
    EXPECT_EQ(GetFocus(), GetDlgItem(d, IDC_RADIO1));
    EXPECT_EQ(IsDlgButtonChecked(d, IDC_RADIO1), UINT(BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(d, IDC_RADIO3), UINT(BST_UNCHECKED));
    key(VK_UP);
    EXPECT_EQ(GetFocus(), GetDlgItem(d, IDC_RADIO3));
    // Check boxes of one group pass the focus on but keep their marks.
    SendMessageA(d, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(d, IDC_CHECK1)), TRUE);
    key(VK_DOWN);
    EXPECT_EQ(GetFocus(), GetDlgItem(d, IDC_CHECK2));
    EXPECT_EQ(IsDlgButtonChecked(d, IDC_CHECK2), UINT(BST_UNCHECKED));
}

TEST_F(DialogTest, EnterPressesTheDefaultButtonEscCancels) {
    HWND d = modeless("CLASSIC");
    SetFocus(GetDlgItem(d, IDC_EDIT));
    commands().clear();
    key(VK_RETURN);
    EXPECT_TRUE(commanded(IDOK));
    // A push button with the focus is the default while it has it.
    d = modeless("CLASSIC");
    HWND push = GetDlgItem(d, IDC_PUSH);
    SendMessageA(d, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(push), TRUE);
    EXPECT_EQ(GetWindowLongA(push, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_EQ(GetWindowLongA(GetDlgItem(d, IDOK), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
    commands().clear();
    key(VK_RETURN);
    EXPECT_TRUE(commanded(IDC_PUSH));
    EXPECT_FALSE(commanded(IDOK));
    SendMessageA(d, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(d, IDC_EDIT)), TRUE);
    EXPECT_EQ(GetWindowLongA(GetDlgItem(d, IDOK), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    SendMessageA(d, DM_SETDEFID, IDCANCEL, 0);
    EXPECT_EQ(SendMessageA(d, DM_GETDEFID, 0, 0), MAKELRESULT(IDCANCEL, DC_HASDEFID));
    commands().clear();
    key(VK_RETURN);
    EXPECT_TRUE(commanded(IDCANCEL));

    steps().push_back([](HWND) { key(VK_ESCAPE); });
    EXPECT_EQ(DialogBoxParamA(fixtures(), "CLASSIC", owner, fixtureProc, 0), IDCANCEL);
    steps().push_back([](HWND modal) { SendMessageA(modal, WM_SYSCOMMAND, SC_CLOSE, 0); });
    EXPECT_EQ(DialogBoxParamA(fixtures(), "CLASSIC", owner, fixtureProc, 0), IDCANCEL);
    EXPECT_EQ(count("dialog-person"), 0u);
}

TEST_F(DialogTest, MnemonicOfALabelFocusesTheFieldAfterIt) {
    HWND d = modeless("CLASSIC");
    SendMessageA(d, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(d, IDC_PUSH)), TRUE);
    PostMessageA(GetDlgItem(d, IDC_PUSH), WM_CHAR, 'b', 1);
    winapiPumpMessages();
    EXPECT_EQ(GetFocus(), GetDlgItem(d, IDC_EDIT));
}

TEST_F(DialogTest, DialogItemHelpers) {
    HWND d = modeless("CLASSIC");
    EXPECT_TRUE(SetDlgItemInt(d, IDC_EDIT, UINT(-42), TRUE));
    BOOL ok = FALSE;
    EXPECT_EQ(int(GetDlgItemInt(d, IDC_EDIT, &ok, TRUE)), -42);
    EXPECT_TRUE(ok);
    SetDlgItemTextA(d, IDC_EDIT, " 17 ");
    EXPECT_EQ(GetDlgItemInt(d, IDC_EDIT, &ok, FALSE), 17u);
    EXPECT_TRUE(ok);
    for (const char* bad : {"", "12a", "-3", "4294967296", "x"}) {
        SetDlgItemTextA(d, IDC_EDIT, bad);
        EXPECT_EQ(GetDlgItemInt(d, IDC_EDIT, &ok, FALSE), 0u) << bad;
        EXPECT_FALSE(ok) << bad;
    }
    char buffer[8] = "x";
    EXPECT_EQ(GetDlgItemTextA(d, 4242, buffer, sizeof buffer), 0u);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(GetDlgCtrlID(GetDlgItem(d, IDC_LIST)), IDC_LIST);
    EXPECT_EQ(SendDlgItemMessageA(d, IDC_LIST, LB_GETCOUNT, 0, 0), 0);
    EXPECT_TRUE(CheckRadioButton(d, IDC_RADIO1, IDC_RADIO3, IDC_RADIO3));
    EXPECT_EQ(IsDlgButtonChecked(d, IDC_RADIO3), UINT(BST_CHECKED));
    EXPECT_TRUE(CheckRadioButton(d, IDC_RADIO1, IDC_RADIO3, IDC_RADIO1));
    EXPECT_EQ(IsDlgButtonChecked(d, IDC_RADIO3), UINT(BST_UNCHECKED));
}

TEST_F(DialogTest, MessageBoxIsADialogAnsweredByPersonOrScript) {
    // Nobody there: the first button.
    EXPECT_EQ(MessageBoxA(owner, "text", "title", MB_YESNO | MB_ICONQUESTION), IDYES);
    // Scripted: the answer given, whatever the buttons.
    winapiPushMessageBoxAnswer(IDNO);
    EXPECT_EQ(MessageBoxA(owner, "text", "title", MB_YESNOCANCEL), IDNO);
    EXPECT_EQ(last("messagebox")->value, IDNO);
    EXPECT_EQ(last("messagebox")->detail, "title");
    // A person: Esc is OK for a box with OK alone, a letter picks its button.
    steps().push_back([](HWND) { key(VK_ESCAPE); });
    EXPECT_EQ(MessageBoxA(owner, "text", nullptr, MB_OK | MB_ICONHAND), IDOK);
    steps().push_back([](HWND modal) {
        PostMessageA(GetFocus(), WM_CHAR, 'n', 1);
        EXPECT_TRUE(IsWindowVisible(modal));
    });
    EXPECT_EQ(MessageBoxA(owner, "text", "", MB_YESNO), IDNO);
    // The default button has the focus: Enter takes it.
    HWND seenFocus = nullptr;
    steps().push_back([&](HWND) {
        seenFocus = GetFocus();
        key(VK_RETURN);
    });
    EXPECT_EQ(MessageBoxA(owner, "a question", "", MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
    EXPECT_EQ(count("messagebox"), 5u);
    EXPECT_EQ(count("dialog-open"), 0u);  // message boxes are recorded as such only
    EXPECT_TRUE(IsWindowEnabled(owner));
}

TEST_F(DialogTest, FolderPickerAnswersFromTheScript) {
    BROWSEINFOA info{};
    char name[MAX_PATH] = {};
    info.hwndOwner = owner;
    info.pszDisplayName = name;
    info.lpszTitle = "choose";
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    EXPECT_EQ(SHBrowseForFolderA(&info), nullptr);  // nothing queued: cancelled
    winapiPushFolderAnswer("/tmp/lists");
    winapiPushFolderAnswer(nullptr);
    LPITEMIDLIST chosen = SHBrowseForFolderA(&info);
    ASSERT_NE(chosen, nullptr);
    char path[MAX_PATH] = {};
    EXPECT_TRUE(SHGetPathFromIDListA(chosen, path));
    EXPECT_STREQ(path, "/tmp/lists");
    EXPECT_STREQ(name, "lists");
    CoTaskMemFree(chosen);
    EXPECT_EQ(SHBrowseForFolderA(&info), nullptr);
    EXPECT_FALSE(SHGetPathFromIDListA(nullptr, path));
    EXPECT_EQ(count("folder"), 3u);
    EXPECT_EQ(last("folder")->value, 0);
}

}  // namespace
