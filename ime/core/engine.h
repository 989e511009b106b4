// The engine record: the one conversion state of the process.
//
// Every entry point, engine and window procedure of the module reads and writes these
// fields directly; the IMM never calls us on two threads at once for one process, so
// nothing here is locked. All texts are zero-terminated GBK byte strings in fixed fields:
// a field of n bytes holds at most n-1 bytes of text.
#pragma once

#include <windows.h>
#include "core/exported.h"
#include "core/gbktext.h"

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
    // The row lists carry whole web addresses: as long as a record of the address lists
    // holds (89 bytes), so that nothing is ever cut.
    char rowText[10][90];   // row list, first column
    char rowNote[10][90];   // row list, second column (web-address mode)
    char modeResult[136];   // text chosen in pinyin or web-address mode: a whole pinyin line
                            // (64 characters) and a mark
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

// Fields of webState: the pinyin engine's counters and the web-address engine's count of
// frequently used entries.
constexpr int WS_CHOICE_COUNT = 0;     // pinyin: choices made
constexpr int WS_FIXED_COUNT = 1;      // web address: 1 + last frequently used record of the block
constexpr int WS_CONVERTED_COUNT = 2;  // pinyin: syllables the choices consumed
constexpr int WS_SYLLABLE_COUNT = 3;   // pinyin: syllables in the list
// Entries of syllables: 0-14 the syllable list, 15 the spelling the windows show, 16-30
// the choices made.
constexpr int SYLLABLE_LIST_ENTRIES = 15;
constexpr int SYLLABLE_SHOWN = 15;
constexpr int SYLLABLE_FIRST_CHOICE = 16;

// resultFlags bits: what the engine asks of the driver after a key.
constexpr uint32_t RF_REFRESH = 1;   // refresh the windows
constexpr uint32_t RF_LISTS = 2;     // lists changed (no action in the driver)
constexpr uint32_t RF_COMMIT = 4;    // result holds text to commit
constexpr uint32_t RF_PASS = 8;      // key not used: pass it to the application

// What an engine needs done beyond its own state and the result: asked for here, and done
// by the driver once, after the engine has had the key (the composition window is placed
// and painted after every key anyway). The engines never call into the windows or the
// driver. A word of its own, not resultFlags, which the engines assign whole.
constexpr uint32_t ASK_SWITCH_CHINESE = 1;  // switch Chinese/English, as pinyin's `v` does
constexpr uint32_t ASK_END_DIALOGS = 2;     // end the user-phrase dialog: its mode is left
constexpr uint32_t ASK_STATUS = 4;          // repaint the status bar, once a commit has ended a mode
constexpr uint32_t ASK_BEEP = 8;            // refused: the system beep
constexpr uint32_t ASK_TONE = 16;           // the short tone of a code that matches nothing
struct EngineAsks {
    int32_t duringKey = 0;  // the driver is translating a key and will do what is asked
    uint32_t asked = 0;     // ASK_* bits asked during this key
};
extern EngineAsks engineAsks;
// Asks for what. Outside a key (a routine called on its own, from a dialog or a test) the
// beeps sound at once and the rest is left to the caller, who knows what it changed.
void askDriver(uint32_t what);

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

// Whether the pinyin engine is part of this build. While it is not, nothing enters its
// mode: the keys would have no engine to go to.
bool pinyinEngineAvailable();

// "Clear the code": the typed code, its copy, the hint stretch and the cells shown. Every
// path that throws the typed code away runs this one list.
void clearCode(EngineContext* context);

// "Clear what the modes showed", the one routine of every path that throws shown input
// away: clearCode, the text typed in pinyin or web-address mode with its work areas
// (modeScratch, syllables, webStaging) and the row paging, and the parts asked for. The
// paths differ in the parts on purpose:
constexpr unsigned CLEAR_DISPLAY_LINE = 1;      // all but Enter, which leaves the line's message
constexpr unsigned CLEAR_RESULTS = 2;           // result and lastResult: all but Enter
constexpr unsigned CLEAR_ROWS = 4;              // rowText and rowNote: all but the mode switches,
                                                // whose row mode fills them on its first key
constexpr unsigned CLEAR_MODE_RESULT = 8;       // modeResult: entering the address mode
constexpr unsigned CLEAR_COUNTERS = 16;         // the four webState words: mode switches, Enter,
                                                // leaving the address mode
constexpr unsigned CLEAR_SYLLABLE_COUNTS = 32;  // only pinyin's syllable counts: entering the
                                                // address mode or choosing an address keeps
                                                // pinyin's count of choices
// The mode switches of the driver; entering the address mode (a bracket in pinyin mode,
// the keyword dialog's OK; the shape-code composition is cleared before).
constexpr unsigned CLEAR_FOR_MODE_SWITCH = CLEAR_DISPLAY_LINE | CLEAR_RESULTS | CLEAR_COUNTERS;
constexpr unsigned CLEAR_FOR_ADDRESS_MODE =
    CLEAR_DISPLAY_LINE | CLEAR_RESULTS | CLEAR_ROWS | CLEAR_MODE_RESULT | CLEAR_SYLLABLE_COUNTS;
void clearShownInput(EngineContext* context, unsigned parts);

// Path of a user file. Sized for any system directory.
constexpr size_t QX_PATH_SIZE = 1024;

// ---------------------------------------------------------------------------------------
// Process-wide state beside the context, one record per owner. Each record starts as the
// module has it when loaded, so that a reset is `record = {}`.
// ---------------------------------------------------------------------------------------

// Modes and settings: which engine, table and phrase file apply. Read by every part;
// written by start-up (the settings), the driver (the switches) and the engines.
struct ModeState {
    int32_t pinyinMode = 0;      // keys go to the pinyin engine
    int32_t webMode = 0;         // keys go to the web-address engine
    int32_t webListIndex = 0;    // 0: public list ('['), 1: personal list (']')
    int32_t wubiMode = 0;        // five-stroke table and "WBCZ.rt"
    int32_t phoneticEdition = 0; // 1 phonetic-shape edition, 0 shape-code edition
    int32_t gbkSetting = 0;      // setting "GBK字库"
    int32_t gbkLookup = 0;       // GBK tables take part in the current lookup
    int32_t pinyinHint = 0;      // setting "拼音提示"
    int32_t sentenceInput = 1;   // setting "整句输入": pinyin's row 1 converts the whole line
    int32_t simpleWindow = 0;    // setting "简单窗口"
    int32_t menuAutoShow = 0;    // setting "菜单自动显示"
    char userPhraseFile[QX_PATH_SIZE] = {};  // user-phrase file of the current mode
    // Hand-over words of the pinyin and web-address engines.
    int32_t pinyinStartFlag = 0;      // set when the driver switches pinyin mode on
    int32_t pinyinPhraseRequest = 0;  // the pinyin engine wants "PYCZ" from currentCodeTable
    int32_t webResultPending = 0;     // a finished web-address choice waits for delivery
};
QX_EXPORTED extern ModeState modes;

// What the key filter and the driver remember between keys.
struct FrontEndState {
    int32_t leftShiftLast = 0;   // the last Shift reported was the left one
    uint32_t keyData = 0;        // lKeyData of the last key offered to ImeProcessKey
    int32_t swallowNextKey = 0;  // the next ImeToAsciiEx only refreshes the status
    DWORD conversionMode = 0;    // last values read with ImmGetConversionStatus
    DWORD sentenceMode = 0;
    EngineRequest* currentRequest = nullptr;  // the request engineCall serves
    HIMC translatingContext = nullptr;  // the context whose key is being translated (engines' switches act on it)
};
extern FrontEndState frontEnd;

// Window handles owned by the UI host window (the composition and status windows live
// in the context).
struct ModuleWindows {
    HWND uiHostWindow = nullptr;      // class NOVPA_UICLS
    HWND letterBoxWindow = nullptr;   // class ZOZ_CANDCLS
    HWND wubiNoteWindow = nullptr;    // class wbclass
    HWND introWindow = nullptr;       // class smwindow
    HWND introWindow2 = nullptr;      // class sdWin
    HWND userPhraseDialog = nullptr;  // "自造词组" while it runs
    HWND keywordDialog = nullptr;     // keyword-query dialog while it exists
    HWND aboutDialog = nullptr;       // the other dialogs while they exist: one of each
    HWND settingsDialog = nullptr;
    HWND webAddressDialog = nullptr;
};
extern ModuleWindows windows;

// The module's instance: stored by the entry point, never reset.
extern HINSTANCE moduleInstance;

// Puts the context and every process-wide record back as the module has them when it is
// loaded. Test harnesses call it before each test; nothing is freed or destroyed.
void resetProcessState();
