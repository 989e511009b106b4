// ImeToAsciiEx: the module's own switches first, then the engine, then the messages the
// application receives.
#include "frontend/driver.h"

#include "core/moduledialogs.h"
#include "core/userfile.h"

#include "webaddress/webaddress.h"

#include "phrases/userphrasefile.h"
#include "shapecode/shapecode.h"
#include "ui/softkeyboard.h"
#include "ui/ui.h"

#include <cstdio>
#include <cstring>

namespace {

// "按CTRL键切换回中文状态！" / "按CTRL键切换回英文状态！" / "按回车键切换回中文状态！"
const char ctrlToEnglishMessage[] =
    "\xB0\xB4"
    "CTRL"
    "\xBC\xFC\xC7\xD0\xBB\xBB\xBB\xD8\xD6\xD0\xCE\xC4\xD7\xB4\xCC\xAC\xA3\xA1";
const char ctrlToChineseMessage[] =
    "\xB0\xB4"
    "CTRL"
    "\xBC\xFC\xC7\xD0\xBB\xBB\xBB\xD8\xD3\xA2\xCE\xC4\xD7\xB4\xCC\xAC\xA3\xA1";
const char enterToChineseMessage[] =
    "\xB0\xB4\xBB\xD8\xB3\xB5\xBC\xFC\xC7\xD0\xBB\xBB\xBB\xD8\xD6\xD0\xCE\xC4\xD7\xB4\xCC\xAC\xA3\xA1";
// "切换《音形版》、《形码版》！"
const char editionMessage[] =
    "\xC7\xD0\xBB\xBB\xA1\xB6\xD2\xF4\xD0\xCE\xB0\xE6\xA1\xB7\xA1\xA2\xA1\xB6\xD0\xCE\xC2\xEB\xB0\xE6"
    "\xA1\xB7\xA3\xA1";
const char gbkEllipsis[] = "\xA1\xAD";  // …

// The key word as the manager passes it: the virtual key in bits 0-7, the character in
// bits 8-15.
struct Key {
    UINT word;
    UINT vk;
    UINT ch;
    explicit Key(UINT uVirtKey) : word(uVirtKey), vk(uVirtKey & 0xFF), ch((uVirtKey >> 8) & 0xFF) {}
};

// The input context, locked for the whole translation and unlocked on every way out.
class LockedContext {
public:
    explicit LockedContext(HIMC hIMC) : hIMC_(hIMC), imc_(hIMC ? ImmLockIMC(hIMC) : nullptr) {}
    ~LockedContext() {
        if (imc_) ImmUnlockIMC(hIMC_);
    }
    LockedContext(const LockedContext&) = delete;
    LockedContext& operator=(const LockedContext&) = delete;

    explicit operator bool() const { return imc_ != nullptr; }
    HIMC handle() const { return hIMC_; }
    INPUTCONTEXT* get() const { return imc_; }

private:
    HIMC hIMC_;
    INPUTCONTEXT* imc_;
};

// Writes into the manager's list, never beyond the room it announces (none at all when
// it announces none). A group of messages that belong together goes in whole or not at all.
struct MessageWriter {
    LPTRANSMSGLIST list;
    UINT count = 0;

    UINT room() const { return list ? list->uMsgCount : 0; }
    bool fits(UINT n) const { return count <= room() && n <= room() - count; }
    void put(UINT message, WPARAM wParam, LPARAM lParam) {
        if (!fits(1)) return;
        list->TransMsg[count].message = message;
        list->TransMsg[count].wParam = wParam;
        list->TransMsg[count].lParam = lParam;
        ++count;
    }
};

// The code switches wait while the phrase dialog is open, and keys typed into any of the
// module's dialogs switch no mode.
bool phraseDialogOpen() { return windows.userPhraseDialog != nullptr || ModuleDialogFocused(); }

bool rowModes() { return modes.pinyinMode || modes.webMode; }

void refresh() { RelayoutComposition(); }

// The key's relayouts paint once, as it ends.
struct KeyPaint {
    KeyPaint() { BeginKeyPaint(); }
    ~KeyPaint() { EndKeyPaint(); }
    KeyPaint(const KeyPaint&) = delete;
    KeyPaint& operator=(const KeyPaint&) = delete;
};

bool isDoubleByteLead(char c) { return static_cast<unsigned char>(c) >= 0x81; }

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

// The messages text takes as characters: one a character and the composition pair.
UINT characterMessages(const char* text) {
    UINT needed = 2;
    for (const char* p = text; *p; p += isDoubleByteLead(*p) && p[1] ? 2 : 1) ++needed;
    return needed;
}

// Sends text as characters, framed by the composition messages, as a full-width character
// goes: WM_IME_CHAR for a double-byte character, WM_CHAR for a single byte. False (and
// nothing sent) when the list has no room for all of them.
bool sendAsCharacters(const char* text, MessageWriter& out) {
    if (!out.fits(characterMessages(text))) return false;
    for (const char* p = text; *p;) {
        if (isDoubleByteLead(*p) && p[1]) {
            out.put(WM_IME_CHAR, (static_cast<BYTE>(p[0]) << 8) | static_cast<BYTE>(p[1]), 1);
            p += 2;
        } else {
            out.put(WM_CHAR, static_cast<BYTE>(*p), 1);
            ++p;
        }
    }
    out.put(WM_IME_STARTCOMPOSITION, 0, 0);
    out.put(WM_IME_ENDCOMPOSITION, 0, 0);
    return true;
}

// Hands the engine's result to the application: as the context's result string, announced
// by two messages, or as characters when the result block cannot be locked or grown. The
// room for either is made sure of before the engine's text is let go: a commit the list
// has no room for is refused with a beep, and the text stays where the engine put it.
void commitResult(INPUTCONTEXT* imc, MessageWriter& out) {
    EngineContext* context = &engineContext;
    const bool modeText = modes.pinyinMode || modes.webResultPending;
    const bool haveText = modeText || !rowModes();
    char text[RESULT_CAPACITY] = "";
    if (modeText)
        copyText(text, sizeof text, context->modeResult);
    else if (haveText)
        copyText(text, sizeof text,
                 context->result[0] == ' ' || context->result[0] == '.' ? "." : context->result);
    COMPOSITIONSTRING* block = out.fits(2) ? lockResultBlock(imc) : nullptr;
    if (block == nullptr && !out.fits(characterMessages(text))) {
        MessageBeep(0xFFFFFFFF);
        return;
    }
    copyText(context->lastResult, sizeof context->lastResult, context->result);
    if (!rowModes()) context->result[0] = '\0';
    if (modeText) {
        context->modeResult[0] = '\0';
        modes.webResultPending = 0;
        modes.webMode = 0;
    }
    if (block != nullptr) {
        if (haveText) storeResult(block, text);
        out.put(WM_IME_COMPOSITION, 0, GCS_RESULTSTR);
        out.put(WM_IME_ENDCOMPOSITION, 0, 0);
        ImmUnlockIMCC(imc->hCompStr);
        return;
    }
    sendAsCharacters(text, out);
}

void readConversionStatus(HIMC hIMC) {
    DWORD conversion = 0, sentence = 0;
    if (ImmGetConversionStatus(hIMC, &conversion, &sentence)) {
        frontEnd.conversionMode = conversion;
        frontEnd.sentenceMode = sentence;
    }
}

// i then 6: pinyin mode. Returns true when the key is used up.
bool switchToPinyin(const Key& key) {
    EngineContext* context = &engineContext;
    if (context->code[0] != 'i' || key.ch != '6' || rowModes()) return false;
    if (!pinyinEngineAvailable()) {
        // Nothing could take the keys of the mode: refuse the switch, keep the code.
        MessageBeep(0xFFFFFFFF);
        return true;
    }
    modes.pinyinMode = 1;
    modes.pinyinStartFlag = 1;
    modes.wubiMode = modes.webMode = modes.gbkLookup = 0;
    clearInput();
    context->modeResult[0] = '\0';
    setUserPhraseFile("PYCZ.rt");
    RepaintStatusWindow();
    return true;
}

// i then 5: five-stroke mode. Returns true when the key is used up.
bool switchToWubi(const Key& key) {
    EngineContext* context = &engineContext;
    if ((context->code[0] != 'i' && context->modeInput[0] != 'i') || key.ch != '5' || modes.wubiMode)
        return false;
    modes.wubiMode = 1;
    modes.gbkLookup = modes.pinyinMode = modes.webMode = 0;
    if (HWND note = EnsureWubiNote()) ShowWindow(note, SW_SHOWNA);
    RepaintStatusWindow();
    clearInput();
    // Idle, as after any other switch: the i was a code being typed, and a digit seen in
    // that phase would choose from the rows just cleared and vanish.
    shapeCode.inputPhase = 1;
    std::memset(context->rowText, 0, sizeof context->rowText);
    std::memset(context->rowNote, 0, sizeof context->rowNote);
    setUserPhraseFile("WBCZ.rt");
    Beep(200, 500);
    return true;
}

// A key other than Space after a lone '[' or ']' opens the address list; the key goes on.
void openAddressMode(char bracket) {
    EngineContext* context = &engineContext;
    EndOpenDialogs();
    if (!enterWebMode(bracket == '[' ? 0 : 1)) {
        // The list cannot be read: refuse it, drop the bracket and let the key be typed as
        // if it had come first.
        MessageBeep(0xFFFFFFFF);
        clearCode(context);
        context->displayLine[0] = '\0';
        shapeCode.inputPhase = 1;
        return;
    }
    clearCode(context);
    context->result[0] = context->displayLine[0] = context->lastResult[0] = '\0';
    shapeCode.inputPhase = 1;
    refresh();
    RepaintStatusWindow();
}

// Space on a lone '[', ']' or five-stroke 'z': the text goes out as characters.
UINT loneCodeSpace(const char* text, MessageWriter& out) {
    EngineContext* context = &engineContext;
    const UINT needed = static_cast<UINT>(std::strlen(text)) + 2;  // one WM_CHAR a byte
    if (!out.fits(needed)) {
        MessageBeep(0xFFFFFFFF);
        return out.count;
    }
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
    context->webState[WS_CHOICE_COUNT] = 0;
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
    createUserFile(modes.userPhraseFile);
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
    if (context->code[0] == '\0' && !rowModes() && (modes.phoneticEdition == 0 || modes.wubiMode))
        return true;
    return rowModes() && context->modeInput[0] == '\0';
}

bool englishPrefix(const Key& key) {
    const char first = engineContext.code[0];
    if (!engineContext.chineseMode || key.ch == ' ' || key.vk == VK_RETURN) return false;
    return modes.wubiMode ? first == 'z' : modes.phoneticEdition == 1 && first == 'v';
}

// The module's own switches (the steps before the engine). Returns true when the key is
// used up; the messages it wrote are in out.
bool applyModeSwitches(const Key& key, HIMC hIMC, MessageWriter& out) {
    EngineContext* context = &engineContext;
    if (!phraseDialogOpen() && (switchToPinyin(key) || switchToWubi(key))) {
        refresh();
        return true;
    }
    const char first = context->code[0];
    if (!rowModes() && (first == '[' || first == ']') && key.ch != ' ') openAddressMode(first);

    if (englishPrefix(key)) {
        readConversionStatus(hIMC);
        toggleChinese(hIMC, enterToChineseMessage);
    }

    if (key.vk == VK_SPACE && !rowModes()) {
        if (context->code[0] == 'z' && modes.wubiMode) {
            loneCodeSpace(gbkEllipsis, out);
            return true;
        }
        if (context->code[0] == '[' || context->code[0] == ']') {
            const char bracket[2] = {context->code[0], '\0'};
            loneCodeSpace(bracket, out);
            return true;
        }
    }

    if (key.word == VK_CONTROL && ctrlTogglesHere()) {
        readConversionStatus(hIMC);
        toggleChinese(hIMC, context->chineseMode ? ctrlToEnglishMessage : ctrlToChineseMessage);
    }

    if (!phraseDialogOpen() && modes.pinyinMode && !modes.webMode && context->modeInput[0] == 'i' &&
        key.ch == '9') {
        leavePinyinMode();
        refresh();
        return true;
    }
    if (!phraseDialogOpen() && !rowModes() && context->code[0] == 'i' && key.ch == '9') {
        switchEdition();
        refresh();
        return true;
    }
    return false;
}

// Full width: in English mode every printable key, in Chinese mode a digit typed while idle
// and a shifted key with the right Shift.
bool widened(const Key& key) {
    const EngineContext* context = &engineContext;
    if (!context->fullWidth) return false;
    const bool idle = shapeCode.inputPhase == 1;
    const bool shiftDown = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    return (idle && key.ch >= '0' && key.ch <= '9') || !context->chineseMode ||
           (shiftDown && idle && frontEnd.leftShiftLast == 0);
}

UINT fullWidthChar(UINT ch, MessageWriter& out) {
    if (!out.fits(3)) return out.count;
    const UINT wide = ch == '~' ? 0xA1AB : 0xA300 | ((ch + 0x80) & 0xFF);
    out.put(WM_IME_CHAR, wide, 1);
    out.put(WM_IME_STARTCOMPOSITION, 0, 0);
    out.put(WM_IME_ENDCOMPOSITION, 0, 0);
    return out.count;
}

UINT passThrough(const Key& key, MessageWriter& out) {
    if (out.fits(2)) {
        out.put(WM_KEYDOWN, key.vk, static_cast<LPARAM>(frontEnd.keyData));
        out.put(WM_KEYUP, key.vk, static_cast<LPARAM>((frontEnd.keyData & 0x1FFF0000u) | 0xC0000001u));
    }
    refresh();
    return out.count;
}

// The key itself, after the switches: full width, the engine, or the application.
UINT translateKey(const Key& key, INPUTCONTEXT* imc, MessageWriter& out) {
    EngineContext* context = &engineContext;
    if (context->softKeyboard != 0) return passThrough(key, out);
    if (widened(key)) {
        if (key.ch >= 0x20 && key.ch <= 0x7E) {
            fullWidthChar(key.ch, out);
            refresh();
            return out.count;
        }
        return passThrough(key, out);
    }
    if (!context->chineseMode) return passThrough(key, out);

    engineAsks = {1, 0};
    engineRequest(ZOZ_KEY, key.word);
    const uint32_t flags = context->resultFlags;
    const uint32_t asked = engineAsks.asked;
    engineAsks = {};
    // What the engine asked for, in the order it needs: its beeps before the driver's own,
    // the switch and the dialog before the windows are placed, the status bar once the
    // commit has ended a mode.
    if (asked & ASK_BEEP) MessageBeep(0xFFFFFFFF);
    if (asked & ASK_TONE) Beep(200, 200);
    if (asked & ASK_SWITCH_CHINESE) switchChineseForKey();
    if (asked & ASK_END_DIALOGS) EndOpenDialogs();
    if (flags & RF_REFRESH) refresh();
    if (flags & RF_COMMIT) commitResult(imc, out);
    context->resultFlags = 0;
    if (asked & ASK_STATUS) RepaintStatusWindow();
    if (flags & RF_PASS) return passThrough(key, out);
    refresh();
    return out.count;
}

}  // namespace

void setUserPhraseFile(const char* name) {
    userFilePath(name, modes.userPhraseFile, sizeof modes.userPhraseFile);
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

void clearInput() { clearShownInput(&engineContext, CLEAR_FOR_MODE_SWITCH); }

void toggleChinese(HIMC hIMC, const char* message) {
    EngineContext* context = &engineContext;
    showCellMessage(message);
    // The cells are drawn only while a code is typed, so the message is shown there for
    // this one relayout and stays on the display line, whole, until the next code.
    copyText(context->displayLine, sizeof context->displayLine, message);
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

void switchChineseForKey() {
    readConversionStatus(frontEnd.translatingContext);
    toggleChinese(frontEnd.translatingContext,
                  engineContext.chineseMode ? ctrlToEnglishMessage : ctrlToChineseMessage);
}

extern "C" UINT WINAPI ImeToAsciiEx(UINT uVirtKey, UINT uScanCode, CONST LPBYTE lpbKeyState,
                                    LPTRANSMSGLIST lpTransBuf, UINT fuState, HIMC hIMC) {
    (void)fuState;
    if (windows.introWindow && IsWindow(windows.introWindow)) return 0;  // the introduction takes no keys
    KeyPaint paintOnce;
    // Without a context nothing is switched or written: the key simply has no effect.
    LockedContext context(hIMC);
    if (!context) return 0;

    const Key key(uVirtKey);
    MessageWriter out{lpTransBuf};
    if (uScanCode == 0x2A) frontEnd.leftShiftLast = 1;
    if (uScanCode == 0x36) frontEnd.leftShiftLast = 0;

    if (applyModeSwitches(key, hIMC, out)) return out.count;

    if (shapeCode.repeatArmed && static_cast<char>(key.ch) != shapeCode.repeatKeys[2]) {
        shapeCode.repeatArmed = 0;
        shapeCode.repeatKeys[0] = shapeCode.repeatKeys[1] = shapeCode.repeatKeys[2] = '^';
    }
    if (frontEnd.swallowNextKey) {
        frontEnd.swallowNextKey = 0;
        readConversionStatus(hIMC);
        return 0;
    }
    // The symbol of the key as the keyboard's Shift holds it now.
    if (engineContext.softKeyboard != 0) {
        UINT count = out.count;
        if (TranslateSoftKey(key.ch, key.vk, lpbKeyState, lpTransBuf, &count)) return count;
    }
    frontEnd.translatingContext = hIMC;
    const UINT written = translateKey(key, context.get(), out);
    frontEnd.translatingContext = nullptr;
    return written;
}
