// Long random key sequences over every mode, with the real tables, without tables and
// with damaged ones: after every key the engine's texts are terminated inside their
// fields, its counts are within their bounds, and the composition string the context
// holds is never longer than its own buffers. With the module's windows up, the dialogs
// of the status bar's menu are opened among the keys, typed and clicked into and closed,
// and after every key the windows agree with the engine record. Run under the sanitizer
// build as well, where any read or write outside a field stops the test.
#include "imedriver.h"

#include "frontend/uiwindow.h"
#include "resources/resource.h"
#include "shapecode/tableindex.h"
#include "ui/ui.h"
#include "ui/uiwindows.h"

#include <gtest/gtest.h>
#include <imedev.h>
#include <winapi_desktop.h>
#include <winapi_host.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

// The keys a random script draws from: code letters, labels, paging, editing keys,
// switches and modifiers, time passing.
const std::vector<std::string> kKeys = {
    "a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n", "o", "p", "q", "r", "s", "t", "u",
    "v", "w", "x", "y", "z", ";", "/", ",", ".", "'", "5", "6", "9", "1", "-", "=", "[", "]", "~", "A", "Z",
    "{Space}", "{Space}", "{Space}", "{Enter}", "{Esc}", "{Back}", "{Back}", "{Del}", "{Left}", "{Right}",
    "{Home}", "{End}", "{Up}", "{Down}", "{PgUp}", "{PgDn}", "{Tab}", "{Ctrl}", "{LShift}", "{RShift}",
    "{RShift+A}", "{Ctrl+A}", "{Caps}", "{Tick:600}"};

// Switches that lead into the modes: the editions, five-stroke, GBK, English, pinyin and
// the web-address lists.
const std::vector<std::string> kSwitches = {"i9", "i5", "{Ctrl}", "v", "{LShift}", "{RShift}", "[", "]", "ig"};

template <size_t N>
bool terminated(const char (&field)[N]) {
    return std::memchr(field, '\0', N) != nullptr;
}

// Every invariant after a key; returns what broke, or an empty string.
std::string brokenInvariant(HIMC context) {
    const EngineContext& e = engineContext;
    if (!terminated(e.code) || !terminated(e.codeCopy) || !terminated(e.modeInput) || !terminated(e.modeScratch) ||
        !terminated(e.rowLabels) || !terminated(e.displayLine) || !terminated(e.modeResult) || !terminated(e.result) ||
        !terminated(e.lastResult))
        return "a text field is not terminated";
    for (const auto& cell : e.cells)
        if (!terminated(cell)) return "a cell is not terminated";
    for (const auto& row : e.rowText)
        if (!terminated(row)) return "a row is not terminated";
    for (const auto& note : e.rowNote)
        if (!terminated(note)) return "a row note is not terminated";
    for (const auto& syllable : e.syllables)
        if (!terminated(syllable)) return "a syllable is not terminated";
    if (!terminated(shapeCode.messageLine) || !terminated(shapeCode.heldCommit)) return "a message is not terminated";
    if (!terminated(lookupLists.completionList) || !terminated(lookupLists.exactList)) return "a list is not terminated";
    // The pinyin and web-address engines count their input line in codeLength.
    const int codeMax = modes.pinyinMode || modes.webMode ? int(sizeof e.modeInput) - 1 : int(sizeof e.code) - 1;
    if (e.codeLength < 0 || e.codeLength > codeMax) return "codeLength " + std::to_string(e.codeLength);
    if (e.caret < 0 || e.caret > e.codeLength) return "caret " + std::to_string(e.caret);
    // 20 marks a Shift tip on show; every reader clamps it to the cells.
    if (e.lastCell < 0 || (e.lastCell > 16 && e.lastCell != 20)) return "lastCell " + std::to_string(e.lastCell);
    if (shapeCode.completionUnits < 0 || 2 * size_t(shapeCode.completionUnits) > COMPLETION_LIST_SIZE)
        return "completionUnits " + std::to_string(shapeCode.completionUnits);
    if (shapeCode.nextPageStart < 0 || 2 * size_t(shapeCode.nextPageStart) > COMPLETION_LIST_SIZE)
        return "nextPageStart " + std::to_string(shapeCode.nextPageStart);
    if (shapeCode.displayHalf < 0 || shapeCode.displayHalf > 1) return "displayHalf";
    if (shapeCode.inputPhase < 1 || shapeCode.inputPhase > 3) return "inputPhase";
    for (int i = 0; i < 4; ++i)
        if (e.webState[i] < 0 || e.webState[i] > 200) return "webState " + std::to_string(i);
    // The composition string the context holds fits the module's own fields.
    LONG bytes = ImmGetCompositionStringA(context, GCS_COMPSTR, nullptr, 0);
    if (bytes < 0 || bytes > LONG(sizeof e.modeInput)) return "composition string of " + std::to_string(bytes);
    return "";
}

}  // namespace

// The module's compiled resources, which the module's objects carry on the host.
extern "C" const unsigned char qxHostResources[];
extern "C" const size_t qxHostResourcesSize;

namespace {

enum class Tables { Real, Missing, Damaged };

// Installs the tables of a round: the libraries' own, none, or copies with bytes changed.
void installTables(Tables kind, std::mt19937& random) {
    static std::vector<std::vector<unsigned char>> damaged;
    const CodeTable real[] = {libraryTable("Qxmb.dll", "MB1"),   libraryTable("Qxmb.dll", "MB4"),
                              libraryTable("Qxmb.dll", "XCZMB"), libraryTable("Qxmb.dll", "YCZMB"),
                              libraryTable("gbk.dll", "XGBK"),   libraryTable("gbk.dll", "YGBK"),
                              libraryTable("Dede.dll", "WBMB"),  libraryTable("pymb.dll", "PYMB"),
                              libraryTable("pymb.dll", "PYCZ")};
    CodeTable* slots[] = {&codeTables.MB1,  &codeTables.MB4,  &codeTables.XCZMB, &codeTables.YCZMB, &codeTables.XGBK,
                          &codeTables.YGBK, &codeTables.WBMB, &codeTables.PYMB,  &codeTables.PYCZ};
    damaged.clear();
    for (size_t i = 0; i < std::size(slots); ++i) {
        *slots[i] = kind == Tables::Missing ? CodeTable{} : real[i];
        if (kind == Tables::Damaged && real[i].data) {
            damaged.emplace_back(real[i].data, real[i].data + real[i].size);
            auto& bytes = damaged.back();
            // Some bytes anywhere, and now and then a header word.
            for (int k = 0; k < 200; ++k) bytes[random() % bytes.size()] = static_cast<unsigned char>(random());
            if (random() % 2) bytes[random() % 116] = static_cast<unsigned char>(random());
            if (random() % 4 == 0) bytes.resize(random() % bytes.size());  // cut short
            *slots[i] = CodeTable{bytes.data(), static_cast<uint32_t>(bytes.size())};
        }
    }
    codeTables.tablesMissing = kind == Tables::Missing ? 1 : 0;
    indexCodeTables(codeTables);
}

// The windows against the engine record. A typed code or line is on screen; the letter
// box shows only in the row modes. After a key the module took (it lays the windows out
// again), the composition window has the size of its mode and the letter box the width
// the module computed for the typed line.
std::string windowsDisagree(bool laidOut) {
    const EngineContext& e = engineContext;
    const HWND composition = e.compositionWindow, box = windows.letterBoxWindow;
    const bool compositionShown = composition != nullptr && IsWindowVisible(composition);
    const bool boxShown = box != nullptr && IsWindowVisible(box);
    const bool rows = modes.pinyinMode || modes.webMode;
    if (boxShown && !rows) return "the letter box shows outside the row modes";
    if (!rows && e.chineseMode == 1 && e.codeLength > 0 && !compositionShown)
        return "a code of " + std::to_string(e.codeLength) + " letters is typed but the composition window is hidden";
    if (rows && e.modeInput[0] != '\0' && (!compositionShown || !boxShown))
        return "a line is typed but the composition window or the letter box is hidden";
    if (!laidOut) return "";
    if (compositionShown) {
        int width = 0, height = 0;
        CompositionSize(&width, &height);
        RECT r{};
        GetWindowRect(composition, &r);
        if (r.bottom - r.top != height || r.right - r.left > width || r.right - r.left <= 0)
            return "composition window of " + std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top) +
                   " where the mode has " + std::to_string(width) + "x" + std::to_string(height);
    }
    if (boxShown) {
        RECT r{};
        GetWindowRect(box, &r);
        if (r.right - r.left != uiState.letterBoxWidth)
            return "letter box " + std::to_string(r.right - r.left) + " wide, computed " +
                   std::to_string(uiState.letterBoxWidth);
    }
    return "";
}

// The person at the desktop while a dialog of the module waits: a few random keys and
// clicks into it, then it is closed as a person closes one (Esc, its close box, and as a
// last resort ended). Invariants are checked after each action.
struct DialogVisits {
    ImeDriver* ime = nullptr;
    std::mt19937* random = nullptr;
    int actionsLeft = 0;
    std::map<std::string, int> opened;  // dialog titles (GBK) seen
    int actions = 0;
    HWND closing = nullptr;
    int closingStep = 0;
    std::string failure;
    std::string lastActions;
};
DialogVisits visits;

const std::vector<std::string> kDialogKeys = {
    "a", "b", "g", "h", "k", "w", "q", "z", "i", "u", "1", "2", ";", "A", "{Space}", "{Space}", "{Tab}", "{Tab}",
    "{Back}", "{Left}", "{Right}", "{Home}", "{End}", "{Down}", "{Up}", "{Ctrl}", "{LShift}", "=", "-", "{Enter}"};

bool dialogPerson(HWND modal, int kind) {
    if (kind != MSGF_DIALOGBOX || visits.ime == nullptr) return false;  // message boxes: their first button
    std::mt19937& random = *visits.random;
    char title[128] = {};
    GetWindowTextA(modal, title, sizeof title);
    if (visits.actionsLeft > 0 && visits.failure.empty()) {
        if (modal != visits.closing) ++visits.opened[title];
        visits.closing = modal;
        visits.closingStep = 0;
        --visits.actionsLeft;
        ++visits.actions;
        std::string action;
        std::vector<HWND> controls;
        for (HWND child = GetWindow(modal, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
            if (IsWindowVisible(child) && IsWindowEnabled(child)) controls.push_back(child);
        if (random() % 4 == 0 && !controls.empty()) {
            // A click in the middle of a control, as a person aims at it.
            HWND control = controls[random() % controls.size()];
            RECT r{};
            GetWindowRect(control, &r);
            action = "{Control:" + std::to_string(GetDlgCtrlID(control)) + "}";
            winapiClick((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        } else {
            action = kDialogKeys[random() % kDialogKeys.size()];
            visits.ime->key(action);
        }
        visits.lastActions += action;
        std::string broken = brokenInvariant(visits.ime->context());
        if (broken.empty()) broken = windowsDisagree(false);
        if (!broken.empty()) visits.failure = std::string("in the dialog ") + title + " after " + action + ": " + broken;
        return true;
    }
    // Closing: Esc, then the close box, then the dialog is ended.
    if (modal != visits.closing) {
        visits.closing = modal;
        visits.closingStep = 0;
    }
    switch (visits.closingStep++) {
    case 0: visits.ime->key("{Esc}"); break;
    case 1: SendMessageA(modal, WM_SYSCOMMAND, SC_CLOSE, 0); break;
    default: EndDialog(modal, IDCANCEL); break;
    }
    return true;
}

// The module as the manager selects it for one input context: its UI window over the
// context, selected and activated, its windows and tables up.
struct SelectedModule {
    explicit SelectedModule(HIMC context) {
        static HMODULE resources = winapiAttachResources(nullptr, qxHostResources, qxHostResourcesSize);
        moduleInstance = resources;
        RegisterUiClasses();
        ui = CreateWindowExA(0, "NOVPA_UICLS", "", WS_POPUP | WS_DISABLED, 0, 0, 0, 0, nullptr, nullptr,
                             moduleInstance, nullptr);
        SetWindowLongPtrA(ui, IMMGWLP_IMC, reinterpret_cast<LONG_PTR>(context));
        SendMessageA(ui, WM_IME_SELECT, TRUE, 0);
        SendMessageA(ui, WM_IME_SETCONTEXT, TRUE, static_cast<LPARAM>(ISC_SHOWUIALL));
        winapiPumpMessages();
    }
    ~SelectedModule() {
        SendMessageA(ui, WM_IME_SELECT, FALSE, 0);
        DestroyWindow(ui);
    }
    HWND ui = nullptr;
};

// Chooses a command of the status bar's menu as a person does: the menu button clicked,
// the command picked from the menu that opens. False when the bar is not on screen.
bool chooseFromStatusMenu(int command) {
    HWND bar = engineContext.statusWindow;
    RECT frame{};
    if (bar == nullptr || !IsWindowVisible(bar) || !GetWindowRect(bar, &frame)) return false;
    winapiPushMenuAnswer(static_cast<UINT>(command));
    // The menu button: the second of the bar's four, from x 27 to 80 and y 3 to 25.
    winapiClick(frame.left + (27 + 80) / 2, frame.top + (3 + 25) / 2);
    winapiPumpMessages();
    winapiClearAnswers();
    return true;
}

}  // namespace

TEST(RandomKeys, InvariantsHoldAfterEveryKeyInEveryMode) {
    std::mt19937 random(20261209);
    const int rounds = 60, keysPerRound = 2000;
    size_t typedWithRealTables = 0;  // the keys reached the engines: text came out
    for (int round = 0; round < rounds; ++round) {
        const Tables kind = round % 3 == 0 ? Tables::Real : round % 3 == 1 ? Tables::Damaged : Tables::Missing;
        resetEngineForTest();
        installTables(kind, random);
        // Start in a different mode each round; switches later move between modes.
        modes.wubiMode = round % 4 == 1;
        modes.phoneticEdition = round % 4 == 2;
        modes.gbkLookup = round % 8 == 3;
        ImeDriver ime;
        std::string script;
        for (int k = 0; k < keysPerRound; ++k) {
            const std::string& key =
                random() % 25 == 0 ? kSwitches[random() % kSwitches.size()] : kKeys[random() % kKeys.size()];
            script += key;
            ime.type(key);
            std::string broken = brokenInvariant(ime.context());
            if (!broken.empty()) {
                ADD_FAILURE() << "round " << round << " after " << k + 1 << " keys: " << broken
                              << "\nlast keys: " << script.substr(script.size() > 200 ? script.size() - 200 : 0);
                return;
            }
        }
        if (kind == Tables::Real) typedWithRealTables += ime.fieldText().size();
    }
    EXPECT_GT(typedWithRealTables, 1000u);
}

TEST(RandomKeys, DialogsOpenedAmongTheKeysAndWindowsAgreeWithTheRecord) {
    std::mt19937 random(1209);
    const int rounds = 6, keysPerRound = 1000;
    const int commands[] = {CMD_USER_PHRASES, CMD_SETTINGS, CMD_WEB_ADDRESSES, CMD_ABOUT};
    int chosen = 0, keys = 0;
    char home[] = "/tmp/qx_randomkeys_XXXXXX";
    ASSERT_NE(mkdtemp(home), nullptr);
    winapiSetHome(home);
    for (int round = 0; round < rounds; ++round) {
        winapiResetDesktop();
        winapiClearRecords();
        resetProcessState();
        ImeDriver ime;
        SelectedModule module(ime.context());
        ASSERT_NE(engineContext.compositionWindow, nullptr);
        const Tables kind = round % 3 == 0 ? Tables::Real : round % 3 == 1 ? Tables::Damaged : Tables::Missing;
        installTables(kind, random);
        modes.wubiMode = round % 4 == 1;
        modes.phoneticEdition = round % 4 == 2;
        visits.closing = nullptr;
        visits.ime = &ime;
        visits.random = &random;
        winapiSetPerson(dialogPerson);
        std::string script;
        for (int k = 0; k < keysPerRound; ++k) {
            std::string broken;
            if (random() % 60 == 0) {
                // A dialog from the menu, a few actions in it, then closed.
                const int command = commands[random() % std::size(commands)];
                visits.actionsLeft = 1 + static_cast<int>(random() % 12);
                script += "{Menu:" + std::to_string(command) + "}";
                chosen += chooseFromStatusMenu(command);
                visits.actionsLeft = 0;
                broken = visits.failure;
                if (broken.empty() && activeDialog() != nullptr) broken = "a dialog is still open";
                if (broken.empty()) broken = brokenInvariant(ime.context());
                if (broken.empty()) broken = windowsDisagree(false);
            } else {
                const std::string& key =
                    random() % 25 == 0 ? kSwitches[random() % kSwitches.size()] : kKeys[random() % kKeys.size()];
                script += key;
                // The third wrong key opens the phrase dialog by itself: a few actions in it.
                visits.actionsLeft = static_cast<int>(random() % 6);
                // A switch of two keys is typed whole; only a single key says whether it was taken.
                bool taken = false;
                std::vector<ScriptKey> parsed;
                std::string error;
                if (parseKeyScript(key, parsed, error) && parsed.size() == 1)
                    taken = ime.key(key).taken;
                else
                    ime.type(key);
                visits.actionsLeft = 0;
                ++keys;
                broken = visits.failure;
                if (broken.empty()) broken = brokenInvariant(ime.context());
                if (broken.empty()) broken = windowsDisagree(taken);
            }
            if (!broken.empty()) {
                winapiSetPerson(nullptr);
                ADD_FAILURE() << "round " << round << " after " << k + 1 << " steps: " << broken
                              << "\nlast steps: " << script.substr(script.size() > 300 ? script.size() - 300 : 0)
                              << "\nin dialogs: " << visits.lastActions.substr(visits.lastActions.size() > 200 ? visits.lastActions.size() - 200 : 0);
                return;
            }
        }
        winapiSetPerson(nullptr);
        visits.ime = nullptr;
    }
    std::printf("%d keys, %d dialogs chosen from the menu, %d actions in dialogs\n", keys, chosen, visits.actions);
    for (const auto& [title, count] : visits.opened) std::printf("  %s: %d\n", utf8(title).c_str(), count);
    EXPECT_GT(chosen, rounds * 5);
    // Each of the menu's dialogs was opened, and some more than once.
    EXPECT_GE(visits.opened.size(), 4u);
    std::system((std::string("rm -rf ") + home).c_str());
}
