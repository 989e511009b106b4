#include "webaddress/keyworddialog.h"

#include "core/moduledialogs.h"
#include "webaddress/webaddress.h"
#include "resources/resource.h"
#include "shapecode/shapecode.h"
#include "webaddress/weblists.h"

#include <cstring>
#include <string_view>

namespace {

const char errorCaption[] = "ERROR";
// 没有这样的记录
const char notFoundText[] = "\xC3\xBB\xD3\xD0\xD5\xE2\xD1\xF9\xB5\xC4\xBC\xC7\xC2\xBC";

constexpr size_t KEYWORD_LIMIT = 20;

// Set by OK while the dialog runs: the mode and its rows changed, the windows must show it.
bool enteredMode = false;

bool lettersOnly(std::string_view text) {
    for (char c : text)
        if (c < 'a' || c > 'z') return false;
    return !text.empty();
}

// Whether text holds keyword starting at a character boundary.
bool holds(std::string_view text, std::string_view keyword) {
    for (size_t i = 0; i + keyword.size() <= text.size();) {
        if (text.compare(i, keyword.size(), keyword) == 0) return true;
        i += static_cast<unsigned char>(text[i]) >= 0x81 ? 2 : 1;
    }
    return false;
}

// The first record, in the chosen list and then the other, whose name holds the keyword
// (or, for a keyword of letters, whose code begins with it).
bool findKeyword(std::string_view keyword, int& list, char* code, size_t size) {
    const int order[2] = {modes.webListIndex ? 1 : 0, modes.webListIndex ? 0 : 1};
    for (int which : order) {
        if (!webListLoaded(which)) continue;
        const WebList& records = webList(which);
        for (const WebBlock& block : records) {
            const int count = webBlockCount(block);
            for (int i = 0; i < count; ++i) {
                WebFields fields;
                if (!splitWebRecord(block[i], fields)) continue;
                const bool byCode = lettersOnly(keyword) && fields.code.substr(0, keyword.size()) == keyword;
                if (!byCode && !holds(fields.name, keyword)) continue;
                list = which;
                const size_t n = fields.code.size() < size - 1 ? fields.code.size() : size - 1;
                std::memcpy(code, fields.code.data(), n);
                code[n] = '\0';
                return true;
            }
        }
    }
    return false;
}

// Everything the shape-code and row windows showed goes, as when a bracket opens the mode;
// the last results stay as they were.
void clearDisplay() {
    clearComposition(&engineContext);
    clearShownInput(&engineContext, CLEAR_FOR_ADDRESS_MODE & ~CLEAR_RESULTS);
}

// OK: enters the mode, at the keyword's record when one is given. A keyword that finds
// nothing says so and leaves the dialog open; a list that cannot be read beeps.
void accept(HWND dialog) {
    char keyword[KEYWORD_LIMIT + 2] = {};
    GetDlgItemTextA(dialog, IDC_KEYWORD, keyword, sizeof keyword);
    int list = modes.webListIndex;
    char code[WEB_RECORD_SIZE] = {};
    if (keyword[0] != '\0') {
        loadWebLists();
        if (!findKeyword(keyword, list, code, sizeof code)) {
            MessageBoxA(dialog, notFoundText, errorCaption, MB_OK | MB_ICONERROR);
            return;
        }
    }
    EndDialog(dialog, 1);
    enteredMode = true;
    clearDisplay();
    if (!enterWebMode(list)) {
        MessageBeep(0xFFFFFFFF);
        return;
    }
    if (code[0] != '\0') typeWebCode(&engineContext, code);
}

}  // namespace

bool OpenKeywordDialog(HWND owner) {
    // A second one would clear the handle, and with it the guards, as it ends.
    if (DialogAlreadyOpen(windows.keywordDialog)) return false;
    enteredMode = false;
    DialogBoxParamA(moduleInstance, "ZX", owner, KeywordDialogProc, 0);
    return enteredMode;
}

INT_PTR CALLBACK KeywordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        windows.keywordDialog = dialog;
        SendDlgItemMessageA(dialog, IDC_KEYWORD, EM_LIMITTEXT, KEYWORD_LIMIT, 0);
        SetFocus(GetDlgItem(dialog, IDC_KEYWORD));
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) accept(dialog);
        if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 1);
        return TRUE;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) != SC_CLOSE) return FALSE;
        EndDialog(dialog, 1);
        return TRUE;
    case WM_DESTROY:
        if (windows.keywordDialog == dialog) windows.keywordDialog = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}
