// The dialog manager: templates, layout in dialog units, modal loops, the keyboard
// interface, and the events a dialog leaves.
#include "dialogtest.h"

namespace {

TEST_F(DialogTest, Shots) {
    HWND d = modeless("CLASSIC");
    ASSERT_NE(d, nullptr);
    SendDlgItemMessageA(d, IDC_LIST, LB_ADDSTRING, 0, (LPARAM) "beta");
    SendDlgItemMessageA(d, IDC_LIST, LB_ADDSTRING, 0, (LPARAM) "alpha");
    for (int i = 0; i < 8; ++i) SendDlgItemMessageA(d, IDC_LIST, LB_ADDSTRING, 0, (LPARAM) ("\xD6\xD0 line " + std::to_string(i)).c_str());
    SendDlgItemMessageA(d, IDC_LIST, LB_SETCURSEL, 1, 0);
    CheckDlgButton(d, IDC_CHECK1, BST_CHECKED);
    CheckRadioButton(d, IDC_RADIO1, IDC_RADIO3, IDC_RADIO2);
    SetDlgItemTextA(d, IDC_EDIT, "abc\xD6\xD0\xCE\xC4");
    winapiPumpMessages();
    for (HWND c = GetWindow(d, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) { RECT r; GetWindowRect(c, &r); char n[32]; GetClassNameA(c, n, 32); printf("%p %s %ld,%ld %ld,%ld\n", (void*)c, n, r.left, r.top, r.right, r.bottom); }
    winapiSaveWindowPng(d, "/tmp/classic.png"); winapiSaveWindowPng(GetDlgItem(d, IDC_LIST), "/tmp/list2.png");
    HWND e = modeless("EXTENDED");
    ASSERT_NE(e, nullptr);
    winapiPumpMessages();
    winapiSaveWindowPng(e, "/tmp/extended.png");
    MessageBoxA(owner, "text of the box", "caption", MB_YESNOCANCEL | MB_ICONQUESTION);
}

}  // namespace
namespace {
TEST_F(DialogTest, Dbg) {
    HWND d = modeless("CLASSIC");
    HWND l = GetDlgItem(d, IDC_LIST);
    printf("style %lx\n", (unsigned long)GetWindowLongA(l, GWL_STYLE));
    for (int i = 0; i < 10; ++i) SendMessageA(l, LB_ADDSTRING, 0, (LPARAM) "x");
    SCROLLINFO si{sizeof si, SIF_ALL};
    GetScrollInfo(l, SB_VERT, &si);
    RECT c; GetClientRect(l, &c);
    winapiPumpMessages(); winapiSaveWindowPng(l, "/tmp/list.png");
    printf("min %d max %d page %u pos %d client %ld x %ld\n", si.nMin, si.nMax, si.nPage, si.nPos, c.right, c.bottom);
}
}
