// Chinese punctuation, left-Shift letter symbols and the Shift tips that teach them.
#include "shapecode/punctuation.h"

#include "shapecode/shapecode.h"

#include <cstring>

// ÷＄℃－【＋＝％’§※＃‰№（）『】×〖‘￥』—〗．
const char shiftLetterSymbols[] =
    "\xA1\xC2\xA1\xE7\xA1\xE6\xA3\xAD\xA1\xBE\xA3\xAB\xA3\xBD\xA3\xA5\xA1\xAF\xA1\xEC\xA1\xF9"
    "\xA3\xA3\xA1\xEB\xA1\xED\xA3\xA8\xA3\xA9\xA1\xBA\xA1\xBF\xA1\xC1\xA1\xBC\xA1\xAE\xA3\xA4"
    "\xA1\xBB\xA1\xAA\xA1\xBD\xA3\xAE";

const char* const shiftTips[SHIFT_TIP_COUNT] = {
    // "  方便的左SHIFT＋字母输入中文标点！"
    "\x20\x20\xB7\xBD\xB1\xE3\xB5\xC4\xD7\xF3SHIFT\xA3\xAB\xD7\xD6\xC4\xB8\xCA\xE4\xC8\xEB\xD6\xD0"
    "\xCE\xC4\xB1\xEA\xB5\xE3\xA3\xA1",
    // "  Q『    W』    E【    R】    T〖  "
    "  Q\xA1\xBA    W\xA1\xBB    E\xA1\xBE    R\xA1\xBF    T\xA1\xBC  ",
    // "  Y〗    U‘    I’    O（    P）  "
    "  Y\xA1\xBD    U\xA1\xAE    I\xA1\xAF    O\xA3\xA8    P\xA3\xA9  ",
    // "  A÷    S×    D－    F＋    G＝  "
    "  A\xA1\xC2    S\xA1\xC1    D\xA3\xAD    F\xA3\xAB    G\xA3\xBD  ",
    // "  H％    J§    K※    L＃", a tab, "   Z．  "
    "  H\xA3\xA5    J\xA1\xEC    K\xA1\xF9    L\xA3\xA3\t   Z\xA3\xAE  ",
    // "  X—   C℃  V￥  B＄  N№    M‰  "
    "  X\xA1\xAA   C\xA1\xE6  V\xA3\xA4  B\xA1\xE7  N\xA1\xED    M\xA1\xEB  ",
};

// " 按住右SHIFT输入英文字母!"
const char rightShiftMessage[] =
    "\x20\xB0\xB4\xD7\xA1\xD3\xD2SHIFT\xCA\xE4\xC8\xEB\xD3\xA2\xCE\xC4\xD7\xD6\xC4\xB8!";

void showShiftTip(EngineContext* context) {
    // The Shift may yet turn out to be held for the next key: keep what this one replaces.
    auto& undo = shapeCode.shiftTipUndo;
    undo.pending = true;
    undo.tipIndex = shapeCode.shiftTipIndex;
    undo.lastCell = context->lastCell;
    copyText(undo.messageLine, sizeof undo.messageLine, shapeCode.messageLine);
    if (frontEnd.leftShiftLast == 1) {
        copyText(shapeCode.messageLine, sizeof shapeCode.messageLine, shiftTips[shapeCode.shiftTipIndex]);
        shapeCode.shiftTipIndex = (shapeCode.shiftTipIndex + 1) % SHIFT_TIP_COUNT;
        context->lastCell = 20;
    } else {
        copyText(shapeCode.messageLine, sizeof shapeCode.messageLine, rightShiftMessage);
    }
    context->resultFlags = RF_REFRESH;
}

void settleShiftTip(EngineContext* context) {
    auto& undo = shapeCode.shiftTipUndo;
    if (!undo.pending) return;
    undo.pending = false;
    if (!(GetKeyState(VK_SHIFT) & 0x8000)) return;  // released first: it was pressed alone
    shapeCode.shiftTipIndex = undo.tipIndex;
    context->lastCell = undo.lastCell;
    copyText(shapeCode.messageLine, sizeof shapeCode.messageLine, undo.messageLine);
}

static void deliver(EngineContext* context, const char* text) {
    copyText(context->result, sizeof context->result, text);
    context->resultFlags = RF_COMMIT;
}

int shiftLetterSymbol(uint32_t character, EngineContext* context) {
    if (character < 'A' || character > 'Z') return 0;
    if (!(GetKeyState(VK_SHIFT) & 0x8000) || frontEnd.leftShiftLast != 1) return 0;
    const char* symbol = shiftLetterSymbols + 2 * (character - 'A');
    char text[3] = {symbol[0], symbol[1], '\0'};
    deliver(context, text);
    return 1;
}

void deliverSemicolonSlash(uint32_t character, EngineContext* context) {
    if (character == ';')
        deliver(context, context->chinesePunct ? "\xA3\xBB" /* ； */ : ";");
    else
        deliver(context, "/");
}

// The shared alternation: the opening quote first, then the closing one.
static const char* alternateQuote(const char* opening, const char* closing) {
    const char* text = shapeCode.quoteAlternation == 1 ? opening : closing;
    shapeCode.quoteAlternation = shapeCode.quoteAlternation == 1 ? 0 : 1;
    return text;
}

void mapPunctuation(uint32_t character, EngineContext* context) {
    // Numbers such as 3.5, 1,000 or 12:30 keep their ASCII punctuation.
    const bool afterDigit = shapeCode.previousKey >= '0' && shapeCode.previousKey <= '9';
    const char* text = nullptr;
    switch (character) {
    case '!': text = afterDigit ? "!" : "\xA3\xA1"; break;            // ！
    case '"': text = alternateQuote("\xA1\xB0", "\xA1\xB1"); break;   // “ ”
    case '\'':
        text = afterDigit ? "'" : alternateQuote("\xA1\xAE", "\xA1\xAF");  // ‘ ’
        break;
    case ',': text = afterDigit ? "," : "\xA3\xAC"; break;            // ，
    case '-': text = "-"; break;
    case '.': text = afterDigit ? "." : "\xA1\xA3"; break;            // 。
    case ':': text = afterDigit ? ":" : "\xA3\xBA"; break;            // ：
    case ';': text = afterDigit ? ";" : "\xA3\xBB"; break;            // ；
    case '?': text = afterDigit ? "?" : "\xA3\xBF"; break;            // ？
    case '\\': text = "\\"; break;
    case '^': text = "\xA1\xAD\xA1\xAD"; break;                       // ……
    default: break;
    }
    if (text)
        deliver(context, text);
    else
        context->resultFlags = RF_PASS;
}
