// The engine record: its storage and the bounded text copies every part uses.
#include "frontend/engine.h"

#include <cstring>

EngineContext engineContext;
EngineRequest* currentRequest;

int32_t pinyinMode;
int32_t webMode;
int32_t webListIndex;
int32_t wubiMode;
int32_t phoneticEdition;
int32_t gbkSetting;
int32_t gbkLookup;
int32_t tablesMissing;
int32_t pinyinHint;
int32_t simpleWindow;
int32_t menuAutoShow;
int16_t inputPhase = 1;
int32_t leftShiftLast;
uint32_t keyData;
int32_t swallowNextKey;
DWORD conversionMode;
DWORD sentenceMode;
char userPhraseFile[QX_PATH_SIZE];

int32_t repeatArmed;
char repeatKeys[3] = {'^', '^', '^'};

int32_t phraseLibraryMode;
int32_t pinyinPhraseRequest;
int32_t displayHalf;
char messageLine[60];
int32_t quoteAlternation = 1;
int32_t pinyinStartFlag;
int32_t webResultPending;

CodeTable tableMB1, tableMB4, tableXCZMB, tableYCZMB, tableXGBK, tableYGBK, tableWBMB, tablePYMB,
    tablePYCZ;

HWND uiHostWindow;
HWND letterBoxWindow;
HWND wubiNoteWindow;
HWND introWindow;
HWND introWindow2;
HWND userPhraseDialog;
HWND keywordDialog;
HINSTANCE moduleInstance;

// Length of the longest prefix of source (at most limit bytes) that does not end inside
// a double-byte character.
static size_t characterPrefix(const char* source, size_t limit) {
    size_t i = 0;
    while (i < limit && source[i] != '\0') {
        size_t step = (static_cast<unsigned char>(source[i]) >= 0x81 && source[i + 1] != '\0') ? 2 : 1;
        if (i + step > limit) break;
        i += step;
    }
    return i;
}

size_t copyText(char* destination, size_t n, const char* source) {
    if (n == 0) return 0;
    size_t length = source ? characterPrefix(source, n - 1) : 0;
    std::memmove(destination, source, length);
    destination[length] = '\0';
    return length;
}

size_t appendText(char* destination, size_t n, const char* source) {
    size_t used = strnlen(destination, n);
    if (used >= n) {  // an unterminated field: terminate it where it must end
        destination[n - 1] = '\0';
        return n - 1;
    }
    return used + copyText(destination + used, n - used, source);
}
