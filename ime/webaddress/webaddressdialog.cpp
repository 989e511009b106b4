#include "webaddress/webaddressdialog.h"

#include "core/moduledialogs.h"
#include "webaddress/webaddress.h"
#include "resources/resource.h"
#include "webaddress/weblists.h"

#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

// Texts of the dialog's messages (GBK).
const char errorCaption[] = "ERROR";
// 此记录已经存在!
const char existsText[] = "\xB4\xCB\xBC\xC7\xC2\xBC\xD2\xD1\xBE\xAD\xB4\xE6\xD4\xDA!";
// 输入错误(请重新输入)
const char inputErrorText[] = "\xCA\xE4\xC8\xEB\xB4\xED\xCE\xF3(\xC7\xEB\xD6\xD8\xD0\xC2\xCA\xE4\xC8\xEB)";
// 输入错误
const char findEmptyText[] = "\xCA\xE4\xC8\xEB\xB4\xED\xCE\xF3";
// 没有这样的记录
const char notFoundText[] = "\xC3\xBB\xD3\xD0\xD5\xE2\xD1\xF9\xB5\xC4\xBC\xC7\xC2\xBC";
// 确实要删除该记录吗？
const char deleteQuestion[] =
    "\xC8\xB7\xCA\xB5\xD2\xAA\xC9\xBE\xB3\xFD\xB8\xC3\xBC\xC7\xC2\xBC\xC2\xF0\xA3\xBF";
const char deleteCaption[] = "!";
// 输入太长(请重新输入)
const char tooLongText[] = "\xCA\xE4\xC8\xEB\xCC\xAB\xB3\xA4(\xC7\xEB\xD6\xD8\xD0\xC2\xCA\xE4\xC8\xEB)";
// 该字母的网址已满(200条)!
const char blockFullText[] = "\xB8\xC3\xD7\xD6\xC4\xB8\xB5\xC4\xCD\xF8\xD6\xB7\xD2\xD1\xC2\xFA(200\xCC\xF5)!";
// 网址文件无法读取，不能修改!
const char unreadableListText[] =
    "\xCD\xF8\xD6\xB7\xCE\xC4\xBC\xFE\xCE\xDE\xB7\xA8\xB6\xC1\xC8\xA1\xA3\xAC\xB2\xBB\xC4\xDC\xD0"
    "\xDE\xB8\xC4!";
// 记录太长，不能标为常用!
const char starTooLongText[] =
    "\xBC\xC7\xC2\xBC\xCC\xAB\xB3\xA4\xA3\xAC\xB2\xBB\xC4\xDC\xB1\xEA\xCE\xAA\xB3\xA3\xD3\xC3!";
// 列表已有变动，请重新选择该记录!
const char listChangedText[] =
    "\xC1\xD0\xB1\xED\xD2\xD1\xD3\xD0\xB1\xE4\xB6\xAF\xA3\xAC\xC7\xEB\xD6\xD8\xD0\xC2\xD1\xA1"
    "\xD4\xF1\xB8\xC3\xBC\xC7\xC2\xBC!";
// 无法读取该文件!
const char unreadableMergeText[] = "\xCE\xDE\xB7\xA8\xB6\xC1\xC8\xA1\xB8\xC3\xCE\xC4\xBC\xFE!";
// 添加了%d条记录；%d条因该字母已满未添加，%d行格式不对未添加。
const char mergeReport[] =
    "\xCC\xED\xBC\xD3\xC1\xCB%d\xCC\xF5\xBC\xC7\xC2\xBC\xA3\xBB%d\xCC\xF5\xD2\xF2\xB8\xC3\xD7\xD6"
    "\xC4\xB8\xD2\xD1\xC2\xFA\xCE\xB4\xCC\xED\xBC\xD3\xA3\xAC%d\xD0\xD0\xB8\xF1\xCA\xBD\xB2\xBB"
    "\xB6\xD4\xCE\xB4\xCC\xED\xBC\xD3\xA1\xA3";
// %s中有%d行无法读取，保存后将不再保留。仍要保存吗？
const char dropQuestion[] =
    "%s\xD6\xD0\xD3\xD0%d\xD0\xD0\xCE\xDE\xB7\xA8\xB6\xC1\xC8\xA1\xA3\xAC\xB1\xA3\xB4\xE6\xBA\xF3"
    "\xBD\xAB\xB2\xBB\xD4\xD9\xB1\xA3\xC1\xF4\xA1\xA3\xC8\xD4\xD2\xAA\xB1\xA3\xB4\xE6\xC2\xF0\xA3"
    "\xBF";
// 无法保存%s，原文件没有改动。
const char saveFailedText[] =
    "\xCE\xDE\xB7\xA8\xB1\xA3\xB4\xE6%s\xA3\xAC\xD4\xAD\xCE\xC4\xBC\xFE\xC3\xBB\xD3\xD0\xB8\xC4"
    "\xB6\xAF\xA1\xA3";

// 重试: 再次保存；取消: 不保存%s的改动，退出。
const char retryOrLeaveText[] =
    "\xD6\xD8\xCA\xD4: \xD4\xD9\xB4\xCE\xB1\xA3\xB4\xE6\xA3\xBB\xC8\xA1\xCF\xFB: "
    "\xB2\xBB\xB1\xA3\xB4\xE6%s\xB5\xC4\xB8\xC4\xB6\xAF\xA3\xAC\xCD\xCB\xB3\xF6\xA1\xA3";

// Longer than any record, so that nothing typed or put into an edit is ever cut.
constexpr int FIELD_BUFFER = 256;
constexpr size_t CODE_COLUMN = 14;
constexpr size_t NAME_COLUMN = 24;

int currentList() { return modes.webListIndex ? WEB_PERSONAL_LIST : WEB_PUBLIC_LIST; }

// The record 修改 put into the edits: it stays in its list until 添加 stores the changed
// one, so leaving the dialog before that keeps it.
struct Modifying {
    int list = -1;
    WebRecord record{};
};
Modifying modifying;

int findText(const WebBlock& block, const char* text) {
    const int count = webBlockCount(block);
    for (int i = 0; i < count; ++i)
        if (std::strncmp(block[i], text, WEB_RECORD_SIZE) == 0) return i;
    return -1;
}

HWND listBox(HWND dialog) { return GetDlgItem(dialog, IDC_WEB_LIST); }

void tell(HWND dialog, const char* text, const char* caption = errorCaption) {
    MessageBoxA(dialog, text, caption, MB_OK | MB_ICONERROR);
}

// Item data of a line: which record it shows.
LPARAM itemData(int list, int block, int index) { return (list << 16) | (block << 8) | index; }

struct Place {
    int list, block, index;
};

void fillList(HWND dialog) {
    HWND box = listBox(dialog);
    SendMessageA(box, WM_SETREDRAW, FALSE, 0);
    SendMessageA(box, LB_RESETCONTENT, 0, 0);
    const int list = currentList();
    const WebList& records = webList(list);
    for (int block = 0; block < WEB_BLOCKS; ++block) {
        const int count = webBlockCount(records[block]);
        for (int i = 0; i < count; ++i) {
            char line[FIELD_BUFFER];
            if (!webListLine(records[block][i], line, sizeof line)) continue;
            const LRESULT at = SendMessageA(box, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
            if (at >= 0) SendMessageA(box, LB_SETITEMDATA, static_cast<WPARAM>(at), itemData(list, block, i));
        }
    }
    SendMessageA(box, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(box, nullptr, TRUE);
}

void selectRecord(HWND dialog, int block, int index) {
    HWND box = listBox(dialog);
    const LPARAM wanted = itemData(currentList(), block, index);
    const LRESULT count = SendMessageA(box, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        if (SendMessageA(box, LB_GETITEMDATA, static_cast<WPARAM>(i), 0) == wanted) {
            SendMessageA(box, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
            return;
        }
    }
}

// The record of the selected line, found by the line's item data and checked against the
// line, so that a line that no longer shows its record is never acted on.
bool selectedRecord(HWND dialog, Place& place) {
    HWND box = listBox(dialog);
    const LRESULT at = SendMessageA(box, LB_GETCURSEL, 0, 0);
    if (at < 0) return false;
    const LRESULT data = SendMessageA(box, LB_GETITEMDATA, static_cast<WPARAM>(at), 0);
    place = Place{static_cast<int>((data >> 16) & 0xFF), static_cast<int>((data >> 8) & 0xFF),
                  static_cast<int>(data & 0xFF)};
    if (place.list != currentList() || place.block >= WEB_BLOCKS) return false;
    const WebBlock& block = webList(place.list)[place.block];
    if (place.index >= webBlockCount(block)) return false;
    char shown[FIELD_BUFFER] = {}, expected[FIELD_BUFFER] = {};
    if (SendMessageA(box, LB_GETTEXTLEN, static_cast<WPARAM>(at), 0) >= FIELD_BUFFER) return false;
    SendMessageA(box, LB_GETTEXT, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(shown));
    return webListLine(block[place.index], expected, sizeof expected) && std::strcmp(shown, expected) == 0;
}

// A line's text without the star that marks its record frequently used.
std::string_view withoutStar(std::string_view line) {
    return !line.empty() && line.back() == '*' ? line.substr(0, line.size() - 1) : line;
}

// The record of the selected line to act on. A line that no longer shows its record (the
// address mode moved the record when it was chosen there) is refused with the reason, and
// the list is shown anew with the same record's line selected, for the user to act again.
bool chosenRecord(HWND dialog, Place& place) {
    if (selectedRecord(dialog, place)) return true;
    HWND box = listBox(dialog);
    const LRESULT at = SendMessageA(box, LB_GETCURSEL, 0, 0);
    if (at < 0) return false;  // nothing chosen, nothing to act on
    char shown[FIELD_BUFFER] = {};
    if (SendMessageA(box, LB_GETTEXTLEN, static_cast<WPARAM>(at), 0) < FIELD_BUFFER)
        SendMessageA(box, LB_GETTEXT, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(shown));
    tell(dialog, listChangedText);
    fillList(dialog);
    const LRESULT count = SendMessageA(box, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count && shown[0] != '\0'; ++i) {
        char line[FIELD_BUFFER] = {};
        if (SendMessageA(box, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0) >= FIELD_BUFFER) continue;
        SendMessageA(box, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(line));
        if (withoutStar(line) == withoutStar(shown)) {
            SendMessageA(box, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
            break;
        }
    }
    return false;
}

// The three edits. Each is read whole: a text too long for its buffer counts as too long.
struct EditedFields {
    char code[FIELD_BUFFER];
    char name[FIELD_BUFFER];
    char address[FIELD_BUFFER];
    bool overlong = false;
};

void readFields(HWND dialog, EditedFields& fields) {
    const struct {
        int id;
        char* text;
    } edits[] = {{IDC_WEB_CODE, fields.code}, {IDC_WEB_NAME, fields.name}, {IDC_WEB_ADDRESS, fields.address}};
    fields.overlong = false;
    for (const auto& edit : edits) {
        const int length = GetWindowTextLengthA(GetDlgItem(dialog, edit.id));
        if (length >= FIELD_BUFFER - 1) fields.overlong = true;
        GetDlgItemTextA(dialog, edit.id, edit.text, FIELD_BUFFER);
    }
}

bool allEmpty(const EditedFields& fields) {
    return fields.code[0] == '\0' && fields.name[0] == '\0' && fields.address[0] == '\0';
}

bool plainText(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) <= ' ' || c == '*') return false;
    return !text.empty();
}

// What an added record may hold: a code of letters a-z, a name and an address without
// spaces or stars (the address may end in the star that marks it frequently used).
bool validFields(const EditedFields& edited, WebFields& fields) {
    fields.code = edited.code;
    fields.name = edited.name;
    fields.address = edited.address;
    fields.starred = !fields.address.empty() && fields.address.back() == '*';
    if (fields.starred) fields.address.remove_suffix(1);
    for (char c : fields.code)
        if (c < 'a' || c > 'z') return false;
    return !fields.code.empty() && plainText(fields.name) && plainText(fields.address);
}

bool listUsable(HWND dialog, int list) {
    if (webListLoaded(list)) return true;
    tell(dialog, unreadableListText);
    return false;
}

void addRecord(HWND dialog) {
    const int list = currentList();
    if (!listUsable(dialog, list)) return;
    EditedFields edited;
    readFields(dialog, edited);
    WebFields fields;
    if (edited.overlong) {
        tell(dialog, tooLongText);
        return;
    }
    if (!validFields(edited, fields)) {
        tell(dialog, inputErrorText);
        return;
    }
    // The record being modified, where it is now; -1 when there is none.
    const int oldBlock = modifying.list == list ? webBlockOf(modifying.record[0]) : -1;
    const int oldAt = oldBlock >= 0 ? findText(webList(list)[oldBlock], modifying.record) : -1;
    const int letter = webBlockOf(edited.code[0]);
    WebBlock& block = webList(list)[letter];
    const int existing = findWebRecord(block, fields);
    if (existing >= 0 && !(letter == oldBlock && existing == oldAt)) {
        tell(dialog, existsText);
        return;
    }
    WebRecord record{};
    if (!composeWebRecord(fields, record)) {
        tell(dialog, tooLongText);
        return;
    }
    if (oldAt >= 0 && std::strcmp(record, modifying.record) == 0) {  // modified into itself
        modifying = Modifying{};
        fillList(dialog);
        selectRecord(dialog, letter, oldAt);
        return;
    }
    // In its own block the old record makes room for the new one first.
    if (oldAt >= 0 && letter == oldBlock) {
        recordWebEdit(list, WebEditKind::remove, modifying.record);
        removeWebRecord(block, oldAt);
    }
    const int at = insertWebRecord(block, record);
    if (at < 0) {
        tell(dialog, blockFullText);
        return;
    }
    recordWebEdit(list, WebEditKind::add, record);
    if (oldAt >= 0 && letter != oldBlock) {
        // Gone only if the new one is stored: its block may be full on the file by then.
        recordWebEdit(list, WebEditKind::remove, modifying.record, true);
        removeWebRecord(webList(list)[oldBlock], oldAt);
    }
    modifying = Modifying{};
    fillList(dialog);
    selectRecord(dialog, letter, findText(block, record));
}

void deleteRecord(HWND dialog) {
    Place place;
    if (!chosenRecord(dialog, place) || !listUsable(dialog, place.list)) return;
    if (MessageBoxA(dialog, deleteQuestion, deleteCaption, MB_YESNOCANCEL | MB_ICONQUESTION) != IDYES) return;
    WebRecord& record = webList(place.list)[place.block][place.index];
    if (modifying.list == place.list && std::strcmp(record, modifying.record) == 0) modifying = Modifying{};
    recordWebEdit(place.list, WebEditKind::remove, record);
    removeWebRecord(webList(place.list)[place.block], place.index);
    fillList(dialog);
}

void modifyRecord(HWND dialog) {
    EditedFields edited;
    readFields(dialog, edited);
    Place place;
    if (!allEmpty(edited) || !chosenRecord(dialog, place) || !listUsable(dialog, place.list)) return;
    WebBlock& block = webList(place.list)[place.block];
    WebFields fields;
    if (!splitWebRecord(block[place.index], fields)) return;
    // The record stays until 添加 stores the changed one.
    const std::string_view address(fields.address.data(), fields.address.size() + (fields.starred ? 1 : 0));
    char code[WEB_RECORD_SIZE] = {}, name[WEB_RECORD_SIZE] = {}, whole[WEB_RECORD_SIZE] = {};
    std::memcpy(code, fields.code.data(), fields.code.size());
    std::memcpy(name, fields.name.data(), fields.name.size());
    std::memcpy(whole, address.data(), address.size());
    modifying.list = place.list;
    std::memcpy(modifying.record, block[place.index], sizeof modifying.record);
    SetDlgItemTextA(dialog, IDC_WEB_CODE, code);
    SetDlgItemTextA(dialog, IDC_WEB_NAME, name);
    SetDlgItemTextA(dialog, IDC_WEB_ADDRESS, whole);
}

bool startsWith(std::string_view text, const char* prefix) {
    const size_t n = std::strlen(prefix);
    return text.size() >= n && text.compare(0, n, prefix) == 0;
}

void findRecord(HWND dialog) {
    EditedFields edited;
    readFields(dialog, edited);
    if (allEmpty(edited)) {
        tell(dialog, findEmptyText);
        return;
    }
    const WebList& records = webList(currentList());
    for (int block = 0; block < WEB_BLOCKS; ++block) {
        const int count = webBlockCount(records[block]);
        for (int i = 0; i < count; ++i) {
            WebFields fields;
            if (!splitWebRecord(records[block][i], fields)) continue;
            if (startsWith(fields.code, edited.code) && startsWith(fields.name, edited.name) &&
                startsWith(fields.address, edited.address)) {
                selectRecord(dialog, block, i);
                return;
            }
        }
    }
    tell(dialog, notFoundText);
}

void toggleStar(HWND dialog) {
    Place place;
    if (!chosenRecord(dialog, place) || !listUsable(dialog, place.list)) return;
    WebRecord before{};
    std::memcpy(before, webList(place.list)[place.block][place.index], sizeof before);
    const int at = toggleWebRecordStar(webList(place.list)[place.block], place.index);
    if (at == WEB_STAR_KEPT) {
        MessageBeep(0xFFFFFFFF);
        return;
    }
    if (at < 0) {
        tell(dialog, starTooLongText);
        return;
    }
    recordWebEdit(place.list, WebEditKind::star, before);
    // The record being modified is the starred one now.
    if (modifying.list == place.list && std::strcmp(before, modifying.record) == 0)
        std::memcpy(modifying.record, webList(place.list)[place.block][at], sizeof modifying.record);
    fillList(dialog);
    selectRecord(dialog, place.block, at);
}

void showList(HWND dialog, int list) {
    modes.webListIndex = list;
    CheckRadioButton(dialog, IDC_WEB_PUBLIC, IDC_WEB_PERSONAL, list ? IDC_WEB_PERSONAL : IDC_WEB_PUBLIC);
    fillList(dialog);
}

void merge(HWND dialog, int list) {
    if (!listUsable(dialog, list)) return;
    WebMergeOutcome outcome;
    mergeWebList(list, dialog, &outcome);
    if (outcome.status == WEB_MERGE_CANCELLED) return;
    if (outcome.status == WEB_MERGE_UNREADABLE) {
        tell(dialog, unreadableMergeText);
        return;
    }
    showList(dialog, list);
    SendMessageA(listBox(dialog), LB_SETCURSEL, 0, 0);
    if (outcome.noRoom > 0 || outcome.invalid > 0) {
        char report[256];
        std::snprintf(report, sizeof report, mergeReport, outcome.added, outcome.noRoom, outcome.invalid);
        MessageBoxA(dialog, report, errorCaption, MB_OK | MB_ICONWARNING);
    }
}

// Saves what changed. A list whose file had lines the load could not keep is written only
// when the user agrees to lose them; Cancel keeps the dialog open. A failed save leaves
// the old file as it was and asks: try again, or leave without saving that list's changes
// (which are then forgotten, the list read again from its file). Addresses whose letter
// was full on the file are not stored, and the dialog says so as 添加 does.
void closeDialog(HWND dialog) {
    bool write[2] = {true, true};
    for (int list = 0; list < 2; ++list) {
        if (!webListLoaded(list) || !webListFiles.changed[list] || webListFiles.dropped[list] == 0) continue;
        char question[256];
        std::snprintf(question, sizeof question, dropQuestion, webListFileName(list),
                      webListFiles.dropped[list]);
        const int answer = MessageBoxA(dialog, question, deleteCaption, MB_YESNOCANCEL | MB_ICONWARNING);
        if (answer == IDCANCEL) return;
        write[list] = answer == IDYES;
    }
    for (int list = 0; list < 2; ++list) {
        if (!write[list]) continue;
        while (!saveWebList(list)) {
            char text[512];
            const int length = std::snprintf(text, sizeof text, saveFailedText, webListFileName(list));
            std::snprintf(text + length, sizeof text - static_cast<size_t>(length), "\n");
            std::snprintf(text + length + 1, sizeof text - static_cast<size_t>(length) - 1, retryOrLeaveText,
                          webListFileName(list));
            if (MessageBoxA(dialog, text, errorCaption, MB_RETRYCANCEL | MB_ICONERROR) != IDRETRY) {
                discardWebEdits(list);
                break;
            }
        }
        // Another program filled a block since these addresses were added here.
        if (!webListFiles.refused[list].empty()) tell(dialog, blockFullText);
    }
    modifying = Modifying{};
    EndDialog(dialog, 1);
}

void command(HWND dialog, int id, int notification) {
    switch (id) {
    case IDC_WEB_PUBLIC:
    case IDC_WEB_PERSONAL:
        if (notification == BN_CLICKED) showList(dialog, id == IDC_WEB_PERSONAL ? 1 : 0);
        break;
    case IDC_WEB_ADD: addRecord(dialog); break;
    case IDC_WEB_DELETE: deleteRecord(dialog); break;
    case IDC_WEB_MODIFY: modifyRecord(dialog); break;
    case IDC_WEB_FIND: findRecord(dialog); break;
    case IDC_WEB_STAR: toggleStar(dialog); break;
    case IDC_WEB_LIST:
        if (notification == LBN_DBLCLK) toggleStar(dialog);
        break;
    case IDC_WEB_MERGE_PUBLIC: merge(dialog, WEB_PUBLIC_LIST); break;
    case IDC_WEB_MERGE_PERSONAL: merge(dialog, WEB_PERSONAL_LIST); break;
    case IDC_WEB_CLOSE:
    case IDCANCEL: closeDialog(dialog); break;
    default: break;
    }
}

}  // namespace

bool webListLine(const char* record, char* line, size_t size) {
    WebFields fields;
    if (!splitWebRecord(record, fields)) return false;
    char built[FIELD_BUFFER] = {};
    size_t at = 0;
    auto put = [&](std::string_view text, size_t column) {
        std::memcpy(built + at, text.data(), text.size());
        at += text.size();
        while (at < column) built[at++] = ' ';
    };
    const size_t codeEnd = fields.code.size() < CODE_COLUMN ? CODE_COLUMN : fields.code.size();
    put(fields.code, codeEnd);
    put(fields.name, codeEnd + NAME_COLUMN);
    put(std::string_view(fields.address.data(), fields.address.size() + (fields.starred ? 1 : 0)), 0);
    return copyText(line, size, built) == at;
}

INT_PTR OpenWebAddressDialog(HWND owner) {
    if (DialogAlreadyOpen(windows.webAddressDialog)) return 0;
    if (modes.webMode) leaveWebMode(&engineContext);
    return DialogBoxParamA(moduleInstance, "ZWWZ", owner, WebAddressDialogProc, 0);
}

INT_PTR CALLBACK WebAddressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        windows.webAddressDialog = dialog;
        // What other programs saved since the lists were read.
        refreshWebLists();
        modifying = Modifying{};
        SendDlgItemMessageA(dialog, IDC_WEB_CODE, EM_LIMITTEXT, 10, 0);
        SendDlgItemMessageA(dialog, IDC_WEB_NAME, EM_LIMITTEXT, 20, 0);
        SendDlgItemMessageA(dialog, IDC_WEB_ADDRESS, EM_LIMITTEXT, 40, 0);
        showList(dialog, WEB_PUBLIC_LIST);
        return TRUE;
    case WM_COMMAND:
        loadWebLists();
        command(dialog, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_DESTROY:
        if (windows.webAddressDialog == dialog) windows.webAddressDialog = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}
