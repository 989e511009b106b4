// The shape-code engine. Characters are chosen only from the exact list; the candidate
// page shows completions with the next code letter as a hint, so the user learns codes.
#include "shapecode/shapecode.h"

#include "resources/resource.h"
#include "shapecode/punctuation.h"

#include <algorithm>
#include <cstring>

ShapeCodeState shapeCode;
LookupLists lookupLists;

namespace {

constexpr int MAX_CODE = 6;
constexpr int HALF_STEP = 22;     // display half 1 starts here
constexpr int HALF_WINDOW = 25;   // positions a label search looks at
constexpr int DISPLAY_LAST = 47;  // an entry is never read beyond this position

// "对不起，您打错了！"
const char wrongKeyMessage[] = "\xB6\xD4\xB2\xBB\xC6\xF0\xA3\xAC\xC4\xFA\xB4\xF2\xB4\xED\xC1\xCB\xA3\xA1";
// " 退出GBK大字库! "
const char leaveGbkMessage[] = " \xCD\xCB\xB3\xF6GBK\xB4\xF3\xD7\xD6\xBF\xE2! ";
// "Dalvo精简中文网址" / "Dalvo精简个人网址" / "正在加载简中文网址"
const char publicListTitle[] = "Dalvo\xBE\xAB\xBC\xF2\xD6\xD0\xCE\xC4\xCD\xF8\xD6\xB7";
const char personalListTitle[] = "Dalvo\xBE\xAB\xBC\xF2\xB8\xF6\xC8\xCB\xCD\xF8\xD6\xB7";
const char loadingListTitle[] = "\xD5\xFD\xD4\xDA\xBC\xD3\xD4\xD8\xBC\xF2\xD6\xD0\xCE\xC4\xCD\xF8\xD6\xB7";
const char ellipsis[] = "\xA1\xAD";       // …
const char lastPageMarker[] = "\xA1\xF0";  // ○
const char morePageMarker[] = "\xA1\xFA";  // →

bool isCodeLetter(uint32_t c) { return (c >= 'a' && c <= 'z') || c == ';' || c == '/'; }

bool isHintUnit(int unit) {
    if (unit < 0 || 2 * unit >= static_cast<int>(COMPLETION_LIST_SIZE)) return false;
    return lookupLists.completionList[2 * unit] == ' ';
}

void emptyCells(EngineContext* context) {
    for (auto& cell : context->cells) cell[0] = '\0';
}

// Lookup step: what the code would find with key inserted (key 0 looks up the code as is).
// Returns true when something was found.
bool lookupWith(EngineContext* context, char key) {
    lookupLists.completionList[0] = '\0';
    lookupLists.exactList[0] = '\0';
    if (key)
        prepareLookupCode(context, key);
    else
        copyText(context->codeCopy, sizeof context->codeCopy, context->code);
    // One table for the whole lookup, chosen by the mode as it is now.
    const CodeTable* table = currentCodeTable();
    const char* userPhrases = codeTables.tablesMissing ? nullptr : modes.userPhraseFile;
    char* completions = lookupLists.completionList;
    char* exact = lookupLists.exactList;
    int units = modes.gbkLookup ? lookupGbk(table, context->codeCopy, completions, exact)
                                : lookupPacked(table, userPhrases, context->codeCopy, completions, exact);
    shapeCode.completionUnits =
        static_cast<int16_t>(std::clamp(units, 0, static_cast<int>(COMPLETION_LIST_SIZE / 2)));
    return shapeCode.completionUnits > 0 || lookupLists.exactList[0] != '\0';
}

void showStep(EngineContext* context, char key) {
    context->result[0] = '\0';
    copyText(context->displayLine, sizeof context->displayLine, lookupLists.exactList);
    appendCodeKey(context, key);
}

void commit(EngineContext* context) {
    clearComposition(context);
    context->resultFlags = RF_REFRESH | RF_LISTS | RF_COMMIT;
    shapeCode.inputPhase = 1;
}

void startPaging(EngineContext* context) {
    shapeCode.inputPhase = 3;
    shapeCode.nextPageStart = 0;
    fillCandidatePage(context);
}

// The wrong-key count belongs to one code: a slip in each of two words is no reason to
// open the phrase dialog.
void forgetWrongKeys() {
    shapeCode.repeatArmed = 0;
    shapeCode.repeatKeys[0] = shapeCode.repeatKeys[1] = shapeCode.repeatKeys[2] = '^';
}

void wrongKey(EngineContext* context, char w) {
    if (shapeCode.repeatKeys[1] == w && shapeCode.repeatKeys[2] == w) {
        clearComposition(context);
        // The code is gone, so the old list must go too: a label key typed next would
        // otherwise still pick from it.
        context->displayLine[0] = '\0';
        shapeCode.inputPhase = 1;
        // Posted, not sent: the dialog is modal, and it must open once this key is
        // translated, not inside the translation while the context is held.
        if (!modes.gbkLookup && context->statusWindow)
            PostMessageA(context->statusWindow, WM_COMMAND, CMD_USER_PHRASES, 0);  // the menu's "自造词组"
    } else if (shapeCode.repeatKeys[2] == w) {
        copyText(shapeCode.messageLine, sizeof shapeCode.messageLine, wrongKeyMessage);
        shapeCode.repeatArmed = 1;
        context->lastCell = 0;
    }
    shapeCode.repeatKeys[0] = shapeCode.repeatKeys[1];
    shapeCode.repeatKeys[1] = shapeCode.repeatKeys[2];
    shapeCode.repeatKeys[2] = w;
    askDriver(ASK_BEEP);
}

// The entry starting at position start of displayLine, up to a space or the end.
void copyEntry(EngineContext* context, int start, char* destination, size_t size) {
    char entry[sizeof context->displayLine] = {};
    int n = 0;
    for (int p = start; p <= DISPLAY_LAST && context->displayLine[p] && context->displayLine[p] != ' '; ++p)
        entry[n++] = context->displayLine[p];
    copyText(destination, size, entry);
}

// Searches the current display half for label; the last occurrence wins.
bool takeLabel(EngineContext* context, char label) {
    const int start = HALF_STEP * shapeCode.displayHalf;
    const int length = static_cast<int>(strnlen(context->displayLine, sizeof context->displayLine));
    bool found = false;
    // Walk from the line's start so that the second byte of a GBK character, which may
    // be '~', is never taken for a label.
    for (int p = 0; p < start + HALF_WINDOW && p < length; ++p) {
        if (static_cast<unsigned char>(context->displayLine[p]) >= 0x81) {
            ++p;
            continue;
        }
        if (p < start || context->displayLine[p] != label) continue;
        copyEntry(context, p + 1, context->result, sizeof context->result);
        found = true;
    }
    return found;
}

bool severalEntries(const EngineContext* context) {
    return std::memchr(context->displayLine, ',', strnlen(context->displayLine, sizeof context->displayLine)) != nullptr;
}

// What follows a successful lookup that found only exact matches. Several entries wait
// for a label key; a single entry of a full four-letter code commits at once.
void onlyExact(EngineContext* context, bool severalIsWrong, char w) {
    emptyCells(context);
    context->lastCell = 0;
    copyText(context->result, sizeof context->result, context->displayLine);
    bool several = severalEntries(context);
    if (several || context->codeLength != 4) {
        if (several && severalIsWrong) wrongKey(context, w);
        shapeCode.inputPhase = 3;
        shapeCode.nextPageStart = 0;
        context->resultFlags = RF_REFRESH;
    } else {
        commit(context);
    }
}

void showWebTitle(EngineContext* context, char bracket, const char* title) {
    clearComposition(context);
    appendCodeKey(context, bracket);
    char line[2] = {bracket, '\0'};
    copyText(context->displayLine, sizeof context->displayLine, line);
    context->resultFlags = RF_REFRESH | RF_LISTS | RF_COMMIT;
    const char* shown = context->webListsLoaded ? title : loadingListTitle;
    copyText(lookupLists.completionList, sizeof lookupLists.completionList, shown);
    shapeCode.completionUnits = static_cast<int16_t>((std::strlen(lookupLists.completionList) + 1) / 2);
    shapeCode.inputPhase = 2;
    shapeCode.nextPageStart = 0;
    fillCandidatePage(context);
}

// The step of every key that adds to the code: look the code up with the key and, when
// something is found, show it and either page the completions or settle the exact-only
// case (several entries after a letter in phase 3 count as a wrong key). False, with
// nothing shown, when the code with the key finds nothing.
bool composeStep(EngineContext* context, char key, bool severalIsWrong) {
    if (!lookupWith(context, key)) return false;
    showStep(context, key);
    if (shapeCode.completionUnits > 0) {
        startPaging(context);
    } else {
        onlyExact(context, severalIsWrong, key);
    }
    return true;
}

// A code letter in the idle phase; a first letter that finds nothing is ignored.
void idleCodeLetter(EngineContext* context, char key) { composeStep(context, key, false); }

void idlePhase(uint32_t vk, uint32_t ch, EngineContext* context) {
    if (vk == VK_SHIFT && context->code[0] == '\0') {
        showShiftTip(context);
        return;
    }
    if (shiftLetterSymbol(ch, context)) return;
    if ((ch == ';' && (modes.wubiMode || modes.phoneticEdition == 1)) || (ch == '/' && modes.phoneticEdition == 1)) {
        deliverSemicolonSlash(ch, context);
        return;
    }
    if (!isCodeLetter(ch)) {
        if (context->chinesePunct)
            mapPunctuation(ch, context);
        else
            context->resultFlags = RF_PASS;
        return;
    }
    idleCodeLetter(context, static_cast<char>(ch));
}

void backspace(EngineContext* context, uint32_t ch) {
    if (context->caret <= 0) return;
    char* code = context->code;
    std::memmove(code + context->caret - 1, code + context->caret, MAX_CODE + 1 - context->caret);
    code[MAX_CODE] = '\0';
    --context->caret;
    --context->codeLength;
    context->resultFlags = RF_REFRESH | RF_LISTS;
    lookupLists.completionList[0] = '\0';
    lookupLists.exactList[0] = '\0';
    if (context->caret == 0) {
        shapeCode.inputPhase = 1;
        clearComposition(context);
    }
    if (code[0] == '\0') return;
    bool found = lookupWith(context, 0);
    copyText(context->displayLine, sizeof context->displayLine, lookupLists.exactList);
    if (shapeCode.completionUnits > 0) {
        startPaging(context);
    } else if (!found) {
        wrongKey(context, static_cast<char>(ch));
    } else {
        onlyExact(context, false, 0);
    }
}

void pageBack(EngineContext* context) {
    if (shapeCode.nextPageStart < PAGE_UNITS + 1) return;
    // The previous page may have been shorter than 16 units; never go before the list.
    int start = std::max(0, shapeCode.nextPageStart - PAGE_UNITS - context->lastCell);
    if (!isHintUnit(start)) {
        for (int unit = start; unit < start + PAGE_UNITS + 1 && unit < shapeCode.completionUnits; ++unit) {
            const char* u = lookupLists.completionList + 2 * unit;
            if (u[0] == ' ' || u[1] == ' ') {
                start = unit;
                break;
            }
        }
    }
    shapeCode.nextPageStart = static_cast<int16_t>(start);
    fillCandidatePage(context);
}

// A fifth letter commits the first exact entry and starts the next code with the letter.
void fifthLetter(EngineContext* context, char key) {
    copyEntry(context, 0, shapeCode.heldCommit, sizeof shapeCode.heldCommit);
    copyText(context->result, sizeof context->result, shapeCode.heldCommit);
    clearComposition(context);
    forgetWrongKeys();  // the letter begins the next code
    context->resultFlags = RF_REFRESH | RF_LISTS | RF_COMMIT;
    if (!lookupWith(context, key)) {  // the held text is still committed; the letter is dropped
        shapeCode.inputPhase = 1;
        askDriver(ASK_BEEP);
        return;
    }
    showStep(context, key);
    startPaging(context);
    context->resultFlags = RF_REFRESH | RF_LISTS | RF_COMMIT;
    copyText(context->result, sizeof context->result, shapeCode.heldCommit);
}

// "=" or "]" forward, "-" or "[" back. With no exact match the display line shows the
// first completion of the page, and Space commits it: it must follow the page, so the
// line of the old page goes and the composition window draws the new page's.
void turnPage(EngineContext* context, bool forward) {
    const int16_t before = shapeCode.nextPageStart;
    if (forward) {
        if (shapeCode.nextPageStart < shapeCode.completionUnits) fillCandidatePage(context);
    } else {
        pageBack(context);
    }
    if (shapeCode.nextPageStart != before && lookupLists.exactList[0] == '\0') context->displayLine[0] = '\0';
}

void composingPhase(uint32_t vk, uint32_t ch, EngineContext* context) {
    const int lineLength = static_cast<int>(strnlen(context->displayLine, sizeof context->displayLine));
    if (ch == '{' || ch == '}') {
        int want = ch == '{' ? 0 : 1;
        if (lineLength > 18 && shapeCode.displayHalf != want) {
            shapeCode.displayHalf = want;
            context->resultFlags = RF_REFRESH | RF_LISTS;
        }
        return;
    }
    if (vk == VK_ESCAPE || vk == VK_RETURN) {
        clearComposition(context);
        context->result[0] = '\0';
        context->resultFlags = RF_REFRESH | RF_LISTS;
        shapeCode.inputPhase = 1;
        context->displayLine[0] = '\0';
        return;
    }
    if (vk == VK_SPACE) {
        if (shapeCode.displayHalf == 0) {
            copyEntry(context, 0, context->result, sizeof context->result);
            commit(context);
        } else if (takeLabel(context, '~')) {
            commit(context);
        } else {
            wrongKey(context, static_cast<char>(ch));
        }
        return;
    }
    if (ch == '\'' || ch == ',' || ch == '.' || ch == '5' || ch == '6') {
        if (takeLabel(context, static_cast<char>(ch)))
            commit(context);
        else
            wrongKey(context, static_cast<char>(ch));
        return;
    }
    if (isCodeLetter(ch)) {
        const char key = static_cast<char>(ch);
        if (context->codeLength == 4)
            fifthLetter(context, key);
        else if (!composeStep(context, key, true))
            wrongKey(context, key);
        return;
    }
    if (vk == VK_BACK) {
        backspace(context, ch);
        return;
    }
    if (ch == '=' || ch == ']' || ch == '-' || ch == '[') turnPage(context, ch == '=' || ch == ']');
}

}  // namespace

void clearComposition(EngineContext* context) {
    clearCode(context);
    shapeCode.displayHalf = 0;
    shapeCode.phraseLibraryMode = 0;
    if (modes.gbkLookup && !modes.gbkSetting) {
        copyText(shapeCode.messageLine, sizeof shapeCode.messageLine, leaveGbkMessage);
        modes.gbkLookup = 0;
    }
}

void appendCodeKey(EngineContext* context, char key) {
    const int length = std::clamp<int>(context->codeLength, 0, MAX_CODE);
    if (length >= MAX_CODE) {
        askDriver(ASK_BEEP);
        return;
    }
    const int caret = std::clamp<int>(context->caret, 0, length);
    char* code = context->code;
    std::memmove(code + caret + 1, code + caret, length - caret);
    code[caret] = key;
    code[length + 1] = '\0';
    context->caret = static_cast<int16_t>(caret + 1);
    context->codeLength = static_cast<int16_t>(length + 1);
    context->resultFlags = RF_REFRESH;
}

void prepareLookupCode(EngineContext* context, char key) {
    copyText(context->codeCopy, sizeof context->codeCopy, context->code);
    const int length = static_cast<int>(std::strlen(context->codeCopy));
    if (context->codeLength >= MAX_CODE || length >= MAX_CODE) return;
    const int caret = std::clamp<int>(context->caret, 0, length);
    char* copy = context->codeCopy;
    std::memmove(copy + caret + 1, copy + caret, length - caret);
    copy[caret] = key;
    copy[length + 1] = '\0';
}

void fillCandidatePage(EngineContext* context) {
    const int remaining = std::max(0, shapeCode.completionUnits - shapeCode.nextPageStart);
    int last = std::min(remaining, PAGE_UNITS);
    for (int i = 0; i < last; ++i) {
        const char* unit = lookupLists.completionList + 2 * (shapeCode.nextPageStart + i);
        context->cells[i][0] = unit[0];
        context->cells[i][1] = unit[0] ? unit[1] : '\0';
        context->cells[i][2] = '\0';
    }
    if (remaining <= PAGE_UNITS) {
        copyText(context->cells[last], sizeof context->cells[last], lastPageMarker);
    } else {
        if (!isHintUnit(shapeCode.nextPageStart + PAGE_UNITS)) {
            // Cut back so that the entry running over the edge starts the next page.
            // Only this page's cells count; the one at last is left from before.
            int cut = last - 1;
            while (cut > 0 && context->cells[cut][0] != ' ') --cut;
            // An entry longer than a page cannot move: show it cut rather than stall.
            if (cut > 0) last = cut;
        }
        copyText(context->cells[last], sizeof context->cells[last], morePageMarker);
    }
    context->lastCell = static_cast<int16_t>(last);
    context->hintOffset = 0;
    context->hintLength = context->codeLength;
    context->code[std::clamp<int>(context->codeLength, 0, MAX_CODE)] = '\0';
    context->resultFlags = RF_REFRESH | RF_LISTS;
    shapeCode.nextPageStart = static_cast<int16_t>(shapeCode.nextPageStart + last);
}

void processShapeCodeKey(uint32_t virtualKey, uint32_t character, EngineContext* context) {
    const uint32_t vk = virtualKey & 0xFF;
    const uint32_t ch = character & 0xFF;
    context->resultFlags = 0;
    // A modifier pressed on its way to another key is not that key's previous key: 12:30
    // and 5! need Shift for ':' and '!', and keep their ASCII punctuation after the digit.
    if (vk != VK_SHIFT && vk != VK_CONTROL && vk != VK_MENU) {
        shapeCode.previousKey = shapeCode.currentKey;
        // A digit key that typed a sign (Shift+1 is '!') is no digit for the key after
        // it: "!?" are two Chinese signs, while "5!" keeps its ASCII '!'.
        const bool signOnDigitKey = vk >= '0' && vk <= '9' && !(ch >= '0' && ch <= '9');
        shapeCode.currentKey = signOnDigitKey ? 0 : static_cast<uint8_t>(vk);
        settleShiftTip(context);
    }

    if (context->code[0] == '\0') forgetWrongKeys();  // a new code begins with this key
    if (context->code[0] == '\0' && !shapeCode.phraseLibraryMode && !modes.gbkLookup) {
        if (ch == '[') {
            showWebTitle(context, '[', publicListTitle);
            return;
        }
        if (ch == ']') {
            showWebTitle(context, ']', personalListTitle);
            return;
        }
    }
    if (modes.wubiMode) {
        if (ch == 'z' && context->code[0] == '\0') {
            clearComposition(context);
            appendCodeKey(context, 'z');
            copyText(context->displayLine, sizeof context->displayLine, ellipsis);
            // A code abandoned with Backspace leaves its exact match in result: not to be sent.
            context->result[0] = '\0';
            context->resultFlags = RF_REFRESH | RF_LISTS | RF_COMMIT;
            return;
        }
        if (vk == VK_RETURN && context->code[0] == 'z') {
            clearComposition(context);
            context->result[0] = '\0';
            context->resultFlags = RF_REFRESH;
            shapeCode.inputPhase = 1;
            context->displayLine[0] = '\0';
            return;
        }
    }
    switch (shapeCode.inputPhase) {
    case 1:
        idlePhase(vk, ch, context);
        break;
    case 2:
        if (vk == VK_SPACE && !composeStep(context, ' ', false)) askDriver(ASK_BEEP);
        break;
    default:
        composingPhase(vk, ch, context);
        break;
    }
}
