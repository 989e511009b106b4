// The engine record: the one conversion state of the process.
//
// Every entry point, engine and window procedure of the module reads and writes these
// fields directly; the IMM never calls us on two threads at once for one process, so
// nothing here is locked. All texts are zero-terminated GBK byte strings in fixed fields:
// a field of n bytes holds at most n-1 bytes of text.
#pragma once

#include <windows.h>
#include "frontend/imeexports.h"

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------------------
// EngineContext: the block the driver hands to whichever engine gets the key, and that
// the windows read when they paint. Field order and widths are the record's contract.
// ---------------------------------------------------------------------------------------
struct EngineContext {
    int16_t chinesePunct;   // mirrors IME_CMODE_SYMBOL: 0x400 or 0 (1 after selection)
    int16_t fullWidth;      // mirrors IME_CMODE_FULLSHAPE: 8 or 0
    int16_t softKeyboard;   // nonzero while a soft keyboard owns the keys
    int32_t chineseMode;    // 1 Chinese input, 0 English input
    int32_t caretFollow;    // setting "光标跟随"

    char code[7];           // typed shape code, at most 6 characters
    char codeCopy[7];       // code with the incoming key inserted: what is looked up
    char modeInput[31];     // text typed in pinyin or web-address mode
    char modeScratch[29];   // pinyin work area, cleared with modeInput

    int16_t codeLength;     // characters in code, 0..6
    int16_t caret;          // insertion point in code, 0..codeLength
    int16_t hintOffset;     // start of the code stretch drawn again after the code
    int16_t hintLength;     // its length in bytes; 0 draws none

    int32_t rowFirst;       // first list entry shown in the row lists
    int32_t rowMore;        // entries found from rowFirst on
    char rowLabels[30];     // one label every 3 bytes

    int16_t lastCell;       // last occupied entry of cells; 0 with nothing shown
    char displayLine[48];   // text line of the composition window
    char cells[17][20];     // candidate page (16 units) and its page marker
    char rowText[10][41];   // row list, first column
    char rowNote[10][73];   // row list, second column (web-address mode)
    char modeResult[41];    // text chosen in pinyin or web-address mode
    char syllables[31][31]; // pinyin work area; entry 15 is the spelling shown

    char webListA[26][200][90]; // "zwwz.dat", bucketed by first letter
    char webListB[26][200][90]; // "grwz.dat", same layout
    char webStaging[200][90];   // lines of one bucket while a list file is read
    int32_t webListsLoaded;
    int32_t webState[4];        // pinyin and web-address state words
    int32_t webMarks[200];      // positions of the matches of the current web search

    char result[48];        // text produced for the application
    char lastResult[48];    // copy of the last committed result
    uint32_t resultFlags;   // RF_* bits; a 16-bit value cleared as 32 bits

    HWND compositionWindow; // class ZOZ_COMPCLS
    HWND statusWindow;      // class ZOZ_STATUSCLS
};

// resultFlags bits: what the engine asks of the driver after a key.
constexpr uint32_t RF_REFRESH = 1;   // refresh the windows
constexpr uint32_t RF_LISTS = 2;     // lists changed (no action in the driver)
constexpr uint32_t RF_COMMIT = 4;    // result holds text to commit
constexpr uint32_t RF_PASS = 8;      // key not used: pass it to the application

// The request record by which the driver and start-up call an engine.
struct EngineRequest {
    uint32_t key;            // vk in bits 0-7, character in bits 8-15; for a reset: 0 or not
    uint32_t contextSize;    // sizeof(EngineContext)
    EngineContext* context;
};

constexpr uint32_t ZOZ_RESET = 0x47494D01;
constexpr uint32_t ZOZ_KEY = 0x47494D02;

// The one context of the process.
QX_EXPORTED extern EngineContext engineContext;

// engineCall: stores the request as the current one and dispatches; 1 for a known
// command, 0 for any other. engineRequest builds the request on the stack and calls it.
int engineCall(uint32_t command, EngineRequest* request);
int engineRequest(uint32_t command, uint32_t key);
void engineReset(EngineContext* context);
extern EngineRequest* currentRequest;

// ---------------------------------------------------------------------------------------
// Mode flags and settings, process-wide beside the context.
// ---------------------------------------------------------------------------------------
QX_EXPORTED extern int32_t pinyinMode; // keys go to the pinyin engine
QX_EXPORTED extern int32_t webMode;    // keys go to the web-address engine
extern int32_t webListIndex;    // 0: public list ('['), 1: personal list (']')
QX_EXPORTED extern int32_t wubiMode;        // five-stroke table and "WBCZ.rt"
QX_EXPORTED extern int32_t phoneticEdition; // 1 phonetic-shape edition, 0 shape-code edition
extern int32_t gbkSetting;      // setting "GBK字库"
extern int32_t gbkLookup;       // GBK tables take part in the current lookup
extern int32_t tablesMissing;   // the data libraries failed the version test
extern int32_t pinyinHint;      // setting "拼音提示"
extern int32_t simpleWindow;    // setting "简单窗口"
extern int32_t menuAutoShow;    // setting "菜单自动显示"
extern int16_t inputPhase;      // shape-code phase: 1 idle, 2 web title, 3 composing
extern int32_t leftShiftLast;   // the last Shift reported was the left one
extern uint32_t keyData;        // lKeyData of the last key offered to ImeProcessKey
extern int32_t swallowNextKey;  // the next ImeToAsciiEx only refreshes the status
extern DWORD conversionMode;    // last values read with ImmGetConversionStatus
extern DWORD sentenceMode;

// Path of the user-phrase file of the current mode. Sized for any system directory.
constexpr size_t QX_PATH_SIZE = 1024;
extern char userPhraseFile[QX_PATH_SIZE];

// Wrong-key history of the shape-code engine; the driver disarms it.
extern int32_t repeatArmed;
extern char repeatKeys[3];

// Shape-code engine state that other parts read (windows, tables, driver).
extern int32_t phraseLibraryMode;  // the phrase library table is searched
extern int32_t pinyinPhraseRequest; // the pinyin engine wants "PYCZ" from currentCodeTable
QX_EXPORTED extern int32_t displayHalf;  // which half of displayLine the label keys search
QX_EXPORTED extern char messageLine[60]; // one-line message of the composition window
extern int32_t quoteAlternation;   // shared double/single quote alternation, 0 or 1
extern int32_t pinyinStartFlag;    // set when the driver switches pinyin mode on
extern int32_t webResultPending;   // a finished web-address choice waits for delivery

// Code tables, used in place from the locked resources of the data libraries.
// The size travels with the pointer so that every read can be bounds-checked.
struct CodeTable {
    const unsigned char* data;
    uint32_t size;
};
extern CodeTable tableMB1, tableMB4, tableXCZMB, tableYCZMB, tableXGBK, tableYGBK, tableWBMB,
    tablePYMB, tablePYCZ;

// Window handles owned by the UI host window (the composition and status windows live
// in the context).
extern HWND uiHostWindow;      // class NOVPA_UICLS
extern HWND letterBoxWindow;   // class ZOZ_CANDCLS
extern HWND wubiNoteWindow;    // class wbclass
extern HWND introWindow;       // class smwindow
extern HWND introWindow2;      // class sdWin
extern HWND userPhraseDialog;  // "自造词组" while it runs
extern HWND keywordDialog;     // keyword-query dialog while it exists
extern HINSTANCE moduleInstance;

// Bounded copy into a fixed field: always terminates, never writes past n bytes.
// Cuts only at a character boundary so a GBK lead byte is never left alone.
size_t copyText(char* destination, size_t n, const char* source);
// Bounded append; same rules. Returns the new length.
size_t appendText(char* destination, size_t n, const char* source);
