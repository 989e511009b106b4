// ImeToAsciiEx: the module's own switches first, then the engine, then the messages the
// application receives.
#include "frontend/driver.h"

#include "shapecode/shapecode.h"
#include "ui/ui.h"

#include <cstdio>
#include <cstring>

namespace {

// "按CTRL键切换回中文状态！" / "按CTRL键切换回英文状态！" / "按回车键切换回中文状态！"
const char ctrlToEnglishMessage[] =
    "\xB0\xB4" "CTRL" "\xBC\xFC\xC7\xD0\xBB\xBB\xBB\xD8\xD6\xD0\xCE\xC4\xD7\xB4\xCC\xAC\xA3\xA1";
const char ctrlToChineseMessage[] =
    "\xB0\xB4" "CTRL" "\xBC\xFC\xC7\xD0\xBB\xBB\xBB\xD8\xD3\xA2\xCE\xC4\xD7\xB4\xCC\xAC\xA3\xA1";
const char enterToChineseMessage[] =
    "\xB0\xB4\xBB\xD8\xB3\xB5\xBC\xFC\xC7\xD0\xBB\xBB\xBB\xD8\xD6\xD0\xCE\xC4\xD7\xB4\xCC\xAC\xA3\xA1";
// "切换《音形版》、《形码版》！"
const char editionMessage[] =
    "\xC7\xD0\xBB\xBB\xA1\xB6\xD2\xF4\xD0\xCE\xB0\xE6\xA1\xB7\xA1\xA2\xA1\xB6\xD0\xCE\xC2\xEB\xB0\xE6"
    "\xA1\xB7\xA3\xA1";
const char gbkEllipsis[] = "\xA1\xAD";  // …

// Writes into the manager's list, never beyond the room it announces.
struct MessageWriter {
    LPTRANSMSGLIST list;
    UINT count = 0;

    void put(UINT message, WPARAM wParam, LPARAM lParam) {
        if (!list) return;
        if (list->uMsgCount != 0 && count >= list->uMsgCount) return;
        list->TransMsg[count].message = message;
        list->TransMsg[count].wParam = wParam;
        list->TransMsg[count].lParam = lParam;
        ++count;
    }
};

bool phraseDialogOpen() { return windows.userPhraseDialog != nullptr; }

void refresh() { RelayoutComposition(); }

// Makes sure the block holds its header and a full result after it, and that the result
// offset points inside it. The manager's block may be no larger than the header.
COMPOSITIONSTRING* lockResultBlock(INPUTCONTEXT* imc) {
    const DWORD needed = static_cast<DWORD>(sizeof(COMPOSITIONSTRING)) + RESULT_CAPACITY;
    if (!imc->hCompStr) return nullptr;
    if (ImmGetIMCCSize(imc->hCompStr) < needed) {
        HIMCC resized = ImmReSizeIMCC(imc->hCompStr, needed);
        if (!resized) return nullptr;
        imc->hCompStr = resized;
    }
    auto* block = static_cast<COMPOSITIONSTRING*>(ImmLockIMCC(imc->hCompStr));
    if (!block) return nullptr;
    const DWORD size = ImmGetIMCCSize(imc->hCompStr);
    if (block->dwSize < needed) block->dwSize = size;
    if (block->dwResultStrOffset < sizeof(COMPOSITIONSTRING) ||
        block->dwResultStrOffset > size - RESULT_CAPACITY)
        block->dwResultStrOffset = static_cast<DWORD>(sizeof(COMPOSITIONSTRING));
    return block;
}

void storeResult(COMPOSITIONSTRING* block, const char* text) {
    char* destination = reinterpret_cast<char*>(block) + block->dwResultStrOffset;
    block->dwResultStrLen = static_cast<DWORD>(copyText(destination, RESULT_CAPACITY, text));
}

// Writes the engine's result into the context and the two messages that announce it.
void commitResult(INPUTCONTEXT* imc, MessageWriter& out) {
    EngineContext* context = &engineContext;
    copyText(context->lastResult, sizeof context->lastResult, context->result);
    COMPOSITIONSTRING* block = lockResultBlock(imc);
    if (!block) return;  // nothing stored: announce nothing
    if (context->result[0] == ' ' || context->result[0] == '.') copyText(context->result, sizeof context->result, ".");
    if (!modes.pinyinMode && !modes.webMode) {
        storeResult(block, context->result);
        context->result[0] = '\0';
    }
    if (modes.pinyinMode || modes.webResultPending) {
        storeResult(block, context->modeResult);
        context->modeResult[0] = '\0';
        modes.webResultPending = 0;
        modes.webMode = 0;
    }
    out.put(WM_IME_COMPOSITION, 0, GCS_RESULTSTR);
    out.put(WM_IME_ENDCOMPOSITION, 0, 0);
    ImmUnlockIMCC(imc->hCompStr);
}

void readConversionStatus(HIMC hIMC) {
    DWORD conversion = 0, sentence = 0;
    if (ImmGetConversionStatus(hIMC, &conversion, &sentence)) {
        frontEnd.conversionMode = conversion;
        frontEnd.sentenceMode = sentence;
    }
}

void createIfMissing(const char* path) {
    if (FILE* file = std::fopen(path, "r")) {
        std::fclose(file);
        return;
    }
    if (FILE* file = std::fopen(path, "w")) std::fclose(file);
}

// Steps that switch modes. Returns true when the key is used up by the switch.
bool modeSwitch(UINT ch) {
    EngineContext* context = &engineContext;
    if (phraseDialogOpen()) return false;
    if (context->code[0] == 'i' && ch == '6' && !modes.pinyinMode && !modes.webMode) {
        modes.pinyinMode = 1;
        modes.pinyinStartFlag = 1;
        modes.wubiMode = modes.webMode = modes.gbkLookup = 0;
        clearInput();
        context->modeResult[0] = '\0';
        setUserPhraseFile("PYCZ.rt");
        RepaintStatusWindow();
        return true;
    }
    if ((context->code[0] == 'i' || context->modeInput[0] == 'i') && ch == '5' && !modes.wubiMode) {
        modes.wubiMode = 1;
        modes.gbkLookup = modes.pinyinMode = modes.webMode = 0;
        if (HWND note = EnsureWubiNote()) ShowWindow(note, SW_SHOWNA);
        RepaintStatusWindow();
        clearInput();
        std::memset(context->rowText, 0, sizeof context->rowText);
        std::memset(context->rowNote, 0, sizeof context->rowNote);
        setUserPhraseFile("WBCZ.rt");
        Beep(200, 500);
        return true;
    }
    return false;
}

void enterWebMode(char bracket) {
    EngineContext* context = &engineContext;
    EndOpenDialogs();
    modes.webMode = 1;
    modes.webListIndex = bracket == '[' ? 0 : 1;
    // The address lists are loaded here once the address-list store exists.
    clearCode(context);
    context->result[0] = context->displayLine[0] = context->lastResult[0] = '\0';
    context->modeInput[0] = '\0';
    shapeCode.inputPhase = 1;
    refresh();
    RepaintStatusWindow();
}

// Space on a lone '[', ']' or five-stroke 'z': the text goes out as characters.
UINT loneCodeSpace(const char* text, MessageWriter& out) {
    EngineContext* context = &engineContext;
    copyText(context->result, sizeof context->result, text);
    copyText(context->displayLine, sizeof context->displayLine, text);
    clearCode(context);
    refresh();
    shapeCode.inputPhase = 1;
    for (const char* p = context->result; *p; ++p) out.put(WM_CHAR, static_cast<BYTE>(*p), 1);
    out.put(WM_IME_STARTCOMPOSITION, 0, 0);
    out.put(WM_IME_ENDCOMPOSITION, 0, 0);
    context->result[0] = context->displayLine[0] = '\0';
    refresh();
    return out.count;
}

void leavePinyinMode() {
    EngineContext* context = &engineContext;
    modes.pinyinMode = 0;
    setUserPhraseFile(modes.wubiMode ? "WBCZ.rt" : modes.phoneticEdition == 1 ? "fread.rt" : "freadx.rt");
    clearInput();
    context->modeResult[0] = '\0';
    context->modeInput[0] = '\0';
    context->resultFlags = 0;
    context->webState[0] = 0;
    shapeCode.inputPhase = 1;
    refresh();
    RepaintStatusWindow();
}

void switchEdition() {
    EngineContext* context = &engineContext;
    if (modes.wubiMode) modes.phoneticEdition = 0;
    modes.wubiMode = 0;
    modes.gbkLookup = modes.gbkSetting;
    modes.phoneticEdition = modes.phoneticEdition ? 0 : 1;
    setUserPhraseFile(modes.phoneticEdition ? "fread.rt" : "freadx.rt");
    RepaintStatusWindow();
    MessageBeep(0xFFFFFFFF);
    createIfMissing(modes.userPhraseFile);
    // The input is cleared before the message goes into the cells, or it would never
    // be seen: the composition window shows cells only while codeLength is above 0.
    clearInput();
    showCellMessage(editionMessage);
    context->codeLength = 1;
    context->code[0] = '\0';
    refresh();
    shapeCode.inputPhase = 1;
    context->codeLength = 0;
    context->caret = 0;
    frontEnd.swallowNextKey = 0;
}

bool ctrlTogglesHere() {
    const EngineContext* context = &engineContext;
    const bool rowModes = modes.pinyinMode || modes.webMode;
    if (context->code[0] == '\0' && !rowModes && (modes.phoneticEdition == 0 || modes.wubiMode)) return true;
    return rowModes && context->modeInput[0] == '\0';
}

}  // namespace

void setUserPhraseFile(const char* name) {
    char directory[QX_PATH_SIZE] = {};
    UINT length = GetSystemDirectoryA(directory, sizeof directory);
    if (length >= sizeof directory) directory[0] = '\0';  // too long for any path we keep
    copyText(modes.userPhraseFile, sizeof modes.userPhraseFile, directory);
    appendText(modes.userPhraseFile, sizeof modes.userPhraseFile, "\\");
    appendText(modes.userPhraseFile, sizeof modes.userPhraseFile, name);
}

void showCellMessage(const char* text) {
    EngineContext* context = &engineContext;
    const size_t length = std::strlen(text);
    int cell = 0;
    for (size_t i = 0; i + 1 < length + 1 && cell < 17; i += 2, ++cell) {
        char second = i + 1 < length ? text[i + 1] : '\0';
        std::snprintf(context->cells[cell], sizeof context->cells[cell], "%c%c", text[i], second);
    }
    context->lastCell = static_cast<int16_t>(cell > 0 ? cell - 1 : 0);
}

void clearInput() {
    EngineContext* context = &engineContext;
    clearCode(context);
    context->displayLine[0] = context->result[0] = context->lastResult[0] = '\0';
    std::memset(context->modeInput, 0, sizeof context->modeInput);
    std::memset(context->modeScratch, 0, sizeof context->modeScratch);
    std::memset(context->syllables, 0, sizeof context->syllables);
    context->rowFirst = context->rowMore = 0;
    context->webState[1] = context->webState[2] = context->webState[3] = 0;
}

void toggleChinese(HIMC hIMC) {
    EngineContext* context = &engineContext;
    context->lastCell = 11;
    context->hintOffset = 0;
    context->codeLength = 1;
    context->code[0] = context->code[1] = '\0';
    refresh();
    context->codeLength = 0;
    context->caret = 0;
    frontEnd.swallowNextKey = 0;
    context->chineseMode = context->chineseMode ? 0 : 1;
    RepaintStatusWindow();
    ImmSetConversionStatus(hIMC, frontEnd.conversionMode ^ IME_CMODE_NATIVE, frontEnd.sentenceMode);
}

UINT fullWidthChar(UINT ch, LPTRANSMSGLIST list) {
    MessageWriter out{list};
    UINT wide = ch == '~' ? 0xA1AB : 0xA300 | ((ch + 0x80) & 0xFF);
    out.put(WM_IME_CHAR, wide, 1);
    return out.count;
}

extern "C" UINT WINAPI ImeToAsciiEx(UINT uVirtKey, UINT uScanCode, CONST LPBYTE lpbKeyState,
                                    LPTRANSMSGLIST lpTransBuf, UINT fuState, HIMC hIMC) {
    (void)lpbKeyState;
    (void)fuState;
    EngineContext* context = &engineContext;
    const UINT vk = uVirtKey & 0xFF;
    const UINT ch = (uVirtKey >> 8) & 0xFF;
    MessageWriter out{lpTransBuf};

    if (windows.introWindow && IsWindow(windows.introWindow)) return 0;  // the introduction takes no keys
    if (uScanCode == 0x2A) frontEnd.leftShiftLast = 1;
    if (uScanCode == 0x36) frontEnd.leftShiftLast = 0;

    if (modeSwitch(ch)) {
        refresh();
        return 0;
    }
    if (!modes.pinyinMode && !modes.webMode && (context->code[0] == '[' || context->code[0] == ']') && ch != ' ')
        enterWebMode(context->code[0]);

    if (context->chineseMode && ch != ' ' && vk != VK_RETURN &&
        ((modes.wubiMode && context->code[0] == 'z') || (!modes.wubiMode && modes.phoneticEdition == 1 && context->code[0] == 'v'))) {
        showCellMessage(enterToChineseMessage);
        readConversionStatus(hIMC);
        toggleChinese(hIMC);
    }

    if (vk == VK_SPACE && !modes.pinyinMode && !modes.webMode) {
        if (context->code[0] == 'z' && modes.wubiMode) return loneCodeSpace(gbkEllipsis, out);
        if (context->code[0] == '[' || context->code[0] == ']') {
            char bracket[2] = {context->code[0], '\0'};
            return loneCodeSpace(bracket, out);
        }
    }

    if (uVirtKey == VK_CONTROL && ctrlTogglesHere()) {
        readConversionStatus(hIMC);
        showCellMessage(context->chineseMode ? ctrlToEnglishMessage : ctrlToChineseMessage);
        toggleChinese(hIMC);
    }

    if (!phraseDialogOpen() && modes.pinyinMode && !modes.webMode && context->modeInput[0] == 'i' && ch == '9') {
        leavePinyinMode();
        refresh();
        return 0;
    }
    if (!phraseDialogOpen() && !modes.pinyinMode && !modes.webMode && context->code[0] == 'i' && ch == '9') {
        switchEdition();
        refresh();
        return 0;
    }

    if (shapeCode.repeatArmed && static_cast<char>(ch) != shapeCode.repeatKeys[2]) {
        shapeCode.repeatArmed = 0;
        shapeCode.repeatKeys[0] = shapeCode.repeatKeys[1] = shapeCode.repeatKeys[2] = '^';
    }

    if (!hIMC) return 0;
    INPUTCONTEXT* imc = ImmLockIMC(hIMC);
    if (!imc) return 0;
    if (frontEnd.swallowNextKey) {
        frontEnd.swallowNextKey = 0;
        readConversionStatus(hIMC);
        ImmUnlockIMC(hIMC);
        return 0;
    }

    if (context->softKeyboard == 0) {
        const bool shiftDown = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
        if (context->fullWidth && ((shapeCode.inputPhase == 1 && ch >= '0' && ch <= '9') || !context->chineseMode ||
                                   (shiftDown && shapeCode.inputPhase == 1 && frontEnd.leftShiftLast == 0))) {
            if (ch >= 0x20 && ch <= 0x7E) {
                out.count = fullWidthChar(ch, lpTransBuf);
                out.put(WM_IME_STARTCOMPOSITION, 0, 0);
                out.put(WM_IME_ENDCOMPOSITION, 0, 0);
                ImmUnlockIMC(hIMC);
                refresh();
                return out.count;
            }
        } else if (context->chineseMode) {
            engineRequest(ZOZ_KEY, uVirtKey);
            const uint32_t flags = context->resultFlags;
            if (flags & RF_REFRESH) refresh();
            if (flags & RF_COMMIT) commitResult(imc, out);
            context->resultFlags = 0;
            if (!(flags & RF_PASS)) {
                ImmUnlockIMC(hIMC);
                refresh();
                return out.count;
            }
        }
    }

    out.put(WM_KEYDOWN, vk, static_cast<LPARAM>(frontEnd.keyData));
    out.put(WM_KEYUP, vk, static_cast<LPARAM>((frontEnd.keyData & 0x1FFF0000u) | 0xC0000001u));
    ImmUnlockIMC(hIMC);
    refresh();
    return out.count;
}
