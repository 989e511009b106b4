// The dialog "自造词组". Every change goes through the store, which replaces the file in
// one step; the list and the boxes change only when the file did, and every refusal or
// failure is shown in an error box with the boxes left as they were.
#include "ui/userphrasedialog.h"

#include "core/moduledialogs.h"
#include "core/userfile.h"

#include <shlobj.h>

#include "shapecode/codeproposal.h"
#include "phrases/userphrasestore.h"
#include "resources/resource.h"
#include "shapecode/codetable.h"
#include "ui/ui.h"
#include "ui/uiwindows.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

UserPhraseDialogState userPhraseDialog;

int EndOpenDialogs() {
    if (WindowExists(windows.userPhraseDialog)) EndDialog(windows.userPhraseDialog, 1);
    return 1;
}

namespace {

const char DIALOG_TITLE[] = "\xD7\xD4\xD4\xEC\xB4\xCA\xD7\xE9";  // 自造词组

// The dialog's messages.
const char FULL_MESSAGE[] = "2000\xB4\xCA\xD7\xE9\xBF\xD5\xBC\xE4\xD2\xD1\xC2\xFA!";  // 2000词组空间已满!
// 编码必须与词组字数相同!
const char PINYIN_LENGTH_MESSAGE[] = "\xB1\xE0\xC2\xEB\xB1\xD8\xD0\xEB\xD3\xEB\xB4\xCA\xD7\xE9\xD7\xD6\xCA\xFD\xCF\xE0\xCD\xAC!";
// "    词组或编码不能为\n空或有空格!"
const char EMPTY_MESSAGE[] =
    "    \xB4\xCA\xD7\xE9\xBB\xF2\xB1\xE0\xC2\xEB\xB2\xBB\xC4\xDC\xCE\xAA\n\xBF\xD5\xBB\xF2\xD3\xD0\xBF\xD5\xB8\xF1!";
// 此词组已存在于词库中
const char EXISTS_MESSAGE[] = "\xB4\xCB\xB4\xCA\xD7\xE9\xD2\xD1\xB4\xE6\xD4\xDA\xD3\xDA\xB4\xCA\xBF\xE2\xD6\xD0";
// "此编码已有四个词组，\n不能再用此编码造词!"
const char FOUR_MESSAGE[] =
    "\xB4\xCB\xB1\xE0\xC2\xEB\xD2\xD1\xD3\xD0\xCB\xC4\xB8\xF6\xB4\xCA\xD7\xE9\xA3\xAC\n"
    "\xB2\xBB\xC4\xDC\xD4\xD9\xD3\xC3\xB4\xCB\xB1\xE0\xC2\xEB\xD4\xEC\xB4\xCA!";
// 无法写入您的词库文件，词库未改变!
const char WRITE_FAILED_MESSAGE[] =
    "\xCE\xDE\xB7\xA8\xD0\xB4\xC8\xEB\xC4\xFA\xB5\xC4\xB4\xCA\xBF\xE2\xCE\xC4\xBC\xFE\xA3\xAC"
    "\xB4\xCA\xBF\xE2\xCE\xB4\xB8\xC4\xB1\xE4!";
// 此词组已不在词库中!
const char GONE_MESSAGE[] = "\xB4\xCB\xB4\xCA\xD7\xE9\xD2\xD1\xB2\xBB\xD4\xDA\xB4\xCA\xBF\xE2\xD6\xD0!";
// 此词组太长，最多%d个字!
const char TOO_LONG_MESSAGE[] =
    "\xB4\xCB\xB4\xCA\xD7\xE9\xCC\xAB\xB3\xA4\xA3\xAC\xD7\xEE\xB6\xE0%d\xB8\xF6\xD7\xD6!";
// 无法读取您的词库文件!
const char READ_FAILED_MESSAGE[] = "\xCE\xDE\xB7\xA8\xB6\xC1\xC8\xA1\xC4\xFA\xB5\xC4\xB4\xCA\xBF\xE2\xCE\xC4\xBC\xFE!";

// Backup and restore.
const char BACKUP_TITLE[] = "\xB1\xB8\xB7\xDD";                                  // 备份
const char BACKUP_CAPTION[] = "\xB1\xB8\xB7\xDD\xC4\xFA\xB5\xC4\xCA\xFD\xBE\xDD";  // 备份您的数据
const char BACKUP_DONE[] = "\xB1\xB8\xB7\xDD\xCD\xEA\xB3\xC9!";                  // 备份完成!
// 备份失败，有的文件未能复制!
const char BACKUP_FAILED[] =
    "\xB1\xB8\xB7\xDD\xCA\xA7\xB0\xDC\xA3\xAC\xD3\xD0\xB5\xC4\xCE\xC4\xBC\xFE\xCE\xB4\xC4\xDC\xB8\xB4\xD6\xC6!";
// 恢复备份(请选择备份路径)
const char RESTORE_TITLE[] = "\xBB\xD6\xB8\xB4\xB1\xB8\xB7\xDD(\xC7\xEB\xD1\xA1\xD4\xF1\xB1\xB8\xB7\xDD\xC2\xB7\xBE\xB6)";
const char RESTORE_CAPTION[] = "\xBB\xD6\xB8\xB4\xC4\xFA\xB5\xC4\xCA\xFD\xBE\xDD";  // 恢复您的数据
// 恢复备份将替换您现有的自造词组，继续吗?
const char RESTORE_QUESTION[] =
    "\xBB\xD6\xB8\xB4\xB1\xB8\xB7\xDD\xBD\xAB\xCC\xE6\xBB\xBB\xC4\xFA\xCF\xD6\xD3\xD0\xB5\xC4"
    "\xD7\xD4\xD4\xEC\xB4\xCA\xD7\xE9\xA3\xAC\xBC\xCC\xD0\xF8\xC2\xF0?";
const char RESTORE_DONE[] = "\xBB\xD6\xB8\xB4\xCD\xEA\xB3\xC9!";  // 恢复完成!
// 恢复失败，您的数据未改变!
const char RESTORE_FAILED[] =
    "\xBB\xD6\xB8\xB4\xCA\xA7\xB0\xDC\xA3\xAC\xC4\xFA\xB5\xC4\xCA\xFD\xBE\xDD\xCE\xB4\xB8\xC4\xB1\xE4!";
// 恢复失败，有的文件已换成备份而未能换回；原来的文件改名为“.qxold”结尾，留在原文件夹中!
const char RESTORE_PARTLY[] =
    "\xBB\xD6\xB8\xB4\xCA\xA7\xB0\xDC\xA3\xAC\xD3\xD0\xB5\xC4\xCE\xC4\xBC\xFE\xD2\xD1\xBB\xBB\xB3\xC9\xB1\xB8\xB7\xDD\xB6\xF8\xCE\xB4\xC4\xDC\xBB\xBB\xBB\xD8\xA3\xBB\xD4\xAD\xC0\xB4\xB5\xC4\xCE\xC4\xBC\xFE\xB8\xC4\xC3\xFB\xCE\xAA\xA1\xB0.qxold\xA1\xB1\xBD\xE1\xCE\xB2\xA3\xAC\xC1\xF4\xD4\xDA\xD4\xAD\xCE\xC4\xBC\xFE\xBC\xD0\xD6\xD0!";
// 所选文件夹中没有备份!
const char NO_BACKUP[] = "\xCB\xF9\xD1\xA1\xCE\xC4\xBC\xFE\xBC\xD0\xD6\xD0\xC3\xBB\xD3\xD0\xB1\xB8\xB7\xDD!";

// The four mode files, backed up and restored together.
constexpr const char* MODE_FILES[] = {"fread.rt", "freadx.rt", "WBCZ.rt", "PYCZ.rt"};

void showError(HWND dialog, const char* text) { MessageBoxA(dialog, text, "", MB_OK | MB_ICONERROR); }

// A box's whole text: a program may put more into it than its limit lets a person type,
// and a text cut at a fixed size could end inside a character.
std::string boxText(HWND dialog, int control) {
    const int length = GetWindowTextLengthA(GetDlgItem(dialog, control));
    if (length <= 0) return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    GetDlgItemTextA(dialog, control, text.data(), length + 1);
    text.resize(std::strlen(text.c_str()));
    return text;
}

std::string inFolder(const char* folder, const char* name) { return std::string(folder) + "\\" + name; }


// The table the proposal reads: the main table of the mode the dialog serves, never the
// GBK set or a phrase library.
const CodeTable* proposalTable(CodeScheme* scheme) {
    const CodeTable* table;
    if (modes.wubiMode) {
        *scheme = CodeScheme::fiveStroke;
        table = &codeTables.WBMB;
    } else if (modes.phoneticEdition == 1) {
        *scheme = CodeScheme::phoneticShape;
        table = &codeTables.MB1;
    } else {
        *scheme = CodeScheme::shapeCode;
        table = &codeTables.MB4;
    }
    return table->data ? table : nullptr;
}

// ';' and '/' are code letters of the shape-code edition only.
bool semicolonAndSlashAreLetters() { return !userPhraseDialog.pinyin && !modes.wubiMode && modes.phoneticEdition == 0; }

size_t codeLetterLimit() { return userPhraseDialog.pinyin ? PINYIN_CODE_LETTERS_MAX : SHAPE_CODE_LETTERS_MAX; }
size_t phraseByteLimit() { return userPhraseDialog.pinyin ? PINYIN_PHRASE_BYTES_MAX : PHRASE_BYTES_MAX; }

void showTooLong(HWND dialog) {
    char text[sizeof TOO_LONG_MESSAGE + 8];
    std::snprintf(text, sizeof text, TOO_LONG_MESSAGE, static_cast<int>(phraseByteLimit() / 2));
    showError(dialog, text);
}

void fillList(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_PHRASE_LIST);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    std::vector<std::string> lines;
    if (!readUserPhraseList(userPhraseDialog.path, lines)) {
        showError(dialog, READ_FAILED_MESSAGE);
        return;
    }
    for (const std::string& line : lines) SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
}

// The phrase box changed: only Chinese may be typed into it, and (outside pinyin mode) its
// text proposes the code.
void phraseChanged(HWND dialog) {
    const std::string text = boxText(dialog, IDC_NEW_PHRASE);
    HWND phraseBox = GetDlgItem(dialog, IDC_NEW_PHRASE);
    if (text.size() > std::strlen(userPhraseDialog.previousPhrase) && holdsAsciiCharacter(text.c_str())) {
        SetWindowTextA(phraseBox, userPhraseDialog.previousPhrase);
        const LPARAM end = static_cast<LPARAM>(std::strlen(userPhraseDialog.previousPhrase));
        SendMessageA(phraseBox, EM_SETSEL, static_cast<WPARAM>(end), end);
        return;
    }
    copyText(userPhraseDialog.previousPhrase, sizeof userPhraseDialog.previousPhrase, text.c_str());
    const size_t characters = text.size() / 2;
    if (userPhraseDialog.pinyin) {
        // A pinyin code is one initial a character.
        const size_t letters = characters == 0 ? PINYIN_CODE_LETTERS_MAX
                               : characters < PINYIN_CODE_LETTERS_MAX ? characters : PINYIN_CODE_LETTERS_MAX;
        SendDlgItemMessageA(dialog, IDC_PHRASE_CODE, EM_LIMITTEXT, letters, 0);
        return;
    }
    if (text.empty()) {
        SetDlgItemTextA(dialog, IDC_PHRASE_CODE, "");
        return;
    }
    CodeScheme scheme;
    const CodeTable* table = proposalTable(&scheme);
    const std::string code = proposeUserCode(table, scheme, std::string_view(text).substr(0, 2 * characters));
    if (!code.empty()) SetDlgItemTextA(dialog, IDC_PHRASE_CODE, code.c_str());
}

// The add button and Enter (the default button) alike: the line count, the code's and
// the phrase's checks, the duplicates and the four phrases of a code.
void addPhrase(HWND dialog) {
    const char* path = userPhraseDialog.path;
    if (countUserPhraseLines(path, USER_PHRASE_LINE_LIMIT) >= USER_PHRASE_LINE_LIMIT) {
        showError(dialog, FULL_MESSAGE);
        return;
    }
    const std::string typedPhrase = boxText(dialog, IDC_NEW_PHRASE);
    const std::string typedCode = boxText(dialog, IDC_PHRASE_CODE);
    if (cutAtSpace(typedPhrase).size() > phraseByteLimit()) {
        showTooLong(dialog);
        return;
    }
    if (userPhraseDialog.pinyin && 2 * typedCode.size() != typedPhrase.size()) {
        showError(dialog, PINYIN_LENGTH_MESSAGE);
        return;
    }
    const std::string_view phrase = cutAtSpace(typedPhrase);
    std::string code;
    if (!foldUserCode(cutAtSpace(typedCode), semicolonAndSlashAreLetters(), codeLetterLimit(), code) ||
        !validUserPhrase(phrase, phraseByteLimit())) {
        showError(dialog, EMPTY_MESSAGE);
        return;
    }
    const std::string phraseText(phrase);
    const int uses = countCodeUse(path, code.c_str(), phraseText.c_str());
    if (uses < 0) {
        showError(dialog, EXISTS_MESSAGE);
        return;
    }
    if (uses >= CODE_PHRASES_MAX) {
        showError(dialog, FOUR_MESSAGE);
        return;
    }
    switch (addUserPhrase(path, phraseText.c_str(), code.c_str())) {
    case StoreResult::done: break;
    case StoreResult::full: showError(dialog, FULL_MESSAGE); return;
    // Another program added meanwhile; the file decides.
    case StoreResult::exists: showError(dialog, EXISTS_MESSAGE); return;
    case StoreResult::codeFull: showError(dialog, FOUR_MESSAGE); return;
    case StoreResult::refused: showError(dialog, EMPTY_MESSAGE); return;
    default: showError(dialog, WRITE_FAILED_MESSAGE); return;
    }
    std::string line = code;
    line.append(USER_CODE_COLUMN - code.size(), ' ');
    line += phraseText;
    HWND list = GetDlgItem(dialog, IDC_PHRASE_LIST);
    const LRESULT index = SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SetDlgItemTextA(dialog, IDC_NEW_PHRASE, "");
    SetDlgItemTextA(dialog, IDC_PHRASE_CODE, "");
    userPhraseDialog.previousPhrase[0] = '\0';
    SetFocus(GetDlgItem(dialog, IDC_NEW_PHRASE));
}

std::string listEntry(HWND list, LRESULT index) {
    const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0) return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(std::strlen(text.c_str()));
    return text;
}

void deletePhrase(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_PHRASE_LIST);
    const LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR) {
        MessageBeep(0xFFFFFFFF);
        return;
    }
    const std::string entry = listEntry(list, selected);
    switch (deleteUserPhrase(userPhraseDialog.path, entry.c_str())) {
    case StoreResult::done: {
        SendMessageA(list, LB_DELETESTRING, static_cast<WPARAM>(selected), 0);
        const LRESULT remaining = SendMessageA(list, LB_GETCOUNT, 0, 0);
        if (remaining > 0) SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(selected < remaining ? selected : remaining - 1), 0);
        return;
    }
    case StoreResult::notFound:
        // Changed behind the dialog's back: show what the file holds now.
        showError(dialog, GONE_MESSAGE);
        fillList(dialog);
        return;
    default: showError(dialog, WRITE_FAILED_MESSAGE); return;
    }
}

// A double-click takes the entry back into the boxes: its phrase (up to the first ASCII
// byte after the code) and its code; the add button gets the focus.
void entryChosen(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_PHRASE_LIST);
    const LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR) return;
    const std::string entry = listEntry(list, selected);
    const std::string code(cutAtSpace(entry));
    size_t start = code.size();
    while (start < entry.size() && static_cast<unsigned char>(entry[start]) < 0x80) ++start;
    size_t end = start;
    while (end < entry.size() && static_cast<unsigned char>(entry[end]) >= 0x80) ++end;
    const std::string phrase = entry.substr(start, end - start);
    // A phrase the box cannot hold is not put in cut: the boxes stay as they were.
    if (phrase.size() > phraseByteLimit()) {
        showTooLong(dialog);
        return;
    }
    SetDlgItemTextA(dialog, IDC_NEW_PHRASE, phrase.c_str());
    SetDlgItemTextA(dialog, IDC_PHRASE_CODE, code.c_str());
    SetFocus(GetDlgItem(dialog, IDC_ADD_PHRASE));
}

// The folder a person picks, or empty for a cancel.
std::string pickFolder(HWND dialog, const char* title) {
    BROWSEINFOA browse{};
    browse.hwndOwner = dialog;
    browse.lpszTitle = title;
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    LPITEMIDLIST chosen = SHBrowseForFolderA(&browse);
    if (chosen == nullptr) return {};
    char folder[MAX_PATH] = {};
    const BOOL found = SHGetPathFromIDListA(chosen, folder);
    CoTaskMemFree(chosen);
    return found ? std::string(folder) : std::string();
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void backUp(HWND dialog) {
    const std::string folder = pickFolder(dialog, BACKUP_TITLE);
    if (folder.empty()) return;
    bool ok = true;
    for (const char* name : MODE_FILES) {
        const std::string from = userFilePath(name);
        if (!exists(from)) continue;  // a mode never used has nothing to keep
        ok = copyUserFile(from.c_str(), inFolder(folder.c_str(), name).c_str()) && ok;
    }
    MessageBoxA(dialog, ok ? BACKUP_DONE : BACKUP_FAILED, BACKUP_CAPTION, MB_OK | (ok ? MB_ICONINFORMATION : MB_ICONERROR));
}

void restore(HWND dialog) {
    const std::string folder = pickFolder(dialog, RESTORE_TITLE);
    if (folder.empty()) return;
    std::vector<std::string> sources, targets;
    bool any = false;
    for (const char* name : MODE_FILES) {
        sources.push_back(inFolder(folder.c_str(), name));
        targets.push_back(userFilePath(name));
        any = any || exists(sources.back());
    }
    if (!any) {
        MessageBoxA(dialog, NO_BACKUP, RESTORE_CAPTION, MB_OK | MB_ICONERROR);
        return;
    }
    if (MessageBoxA(dialog, RESTORE_QUESTION, RESTORE_CAPTION, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    const int replaced = replaceUserFiles(sources, targets);
    const bool ok = replaced >= 0;
    const char* outcome = ok ? RESTORE_DONE : replaced == RESTORE_UNDONE_PARTLY ? RESTORE_PARTLY : RESTORE_FAILED;
    MessageBoxA(dialog, outcome, RESTORE_CAPTION, MB_OK | (ok ? MB_ICONINFORMATION : MB_ICONERROR));
    fillList(dialog);
}

void opened(HWND dialog) {
    windows.userPhraseDialog = dialog;
    copyText(userPhraseDialog.path, sizeof userPhraseDialog.path, modes.userPhraseFile);
    userPhraseDialog.pinyin = modes.pinyinMode;
    userPhraseDialog.previousPhrase[0] = '\0';
    // The proposal reads the mode's main table, and the user types into the phrase box
    // from it too.
    userPhraseDialog.savedGbkLookup = modes.gbkLookup;
    modes.gbkLookup = 0;
    SendDlgItemMessageA(dialog, IDC_PHRASE_CODE, EM_LIMITTEXT, codeLetterLimit(), 0);
    SendDlgItemMessageA(dialog, IDC_NEW_PHRASE, EM_LIMITTEXT, phraseByteLimit(), 0);
    fillList(dialog);
    SetFocus(GetDlgItem(dialog, IDC_NEW_PHRASE));
}

void closed(HWND dialog) {
    if (windows.userPhraseDialog != dialog) return;
    windows.userPhraseDialog = nullptr;
    modes.gbkLookup = userPhraseDialog.savedGbkLookup;
}

}  // namespace

bool UserPhraseCodeBoxFocused() {
    HWND dialog = windows.userPhraseDialog;
    return dialog != nullptr && IsWindow(dialog) && GetFocus() == GetDlgItem(dialog, IDC_PHRASE_CODE);
}

INT_PTR CALLBACK UserPhraseDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        opened(dialog);
        return FALSE;  // the focus is set
    case WM_DESTROY:
        closed(dialog);
        return FALSE;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) != SC_CLOSE) return FALSE;
        EndDialog(dialog, 1);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_NEW_PHRASE:
            if (HIWORD(wParam) == EN_CHANGE) phraseChanged(dialog);
            return TRUE;
        case IDC_PHRASE_LIST:
            if (HIWORD(wParam) == LBN_DBLCLK) entryChosen(dialog);
            return TRUE;
        case IDOK:  // Enter: the default button adds under the same checks
        case IDC_ADD_PHRASE: addPhrase(dialog); return TRUE;
        case IDC_DELETE_PHRASE: deletePhrase(dialog); return TRUE;
        case IDC_BACKUP: backUp(dialog); return TRUE;
        case IDC_RESTORE: restore(dialog); return TRUE;
        case IDC_PHRASES_EXIT:
        case IDCANCEL: EndDialog(dialog, 1); return TRUE;
        default: return FALSE;
        }
    default: return FALSE;
    }
}

INT_PTR OpenUserPhraseDialog(HWND owner) {
    if (DialogAlreadyOpen(windows.userPhraseDialog)) return 0;
    if (modes.webMode || windows.userPhraseDialog != nullptr || FindWindowA(nullptr, DIALOG_TITLE) != nullptr) return 0;
    return DialogBoxParamA(moduleInstance, "TJXC", owner, UserPhraseDialogProc, 0);
}
