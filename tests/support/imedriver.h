// Test support: drives the module as the Input Method Manager does, with qxhost's typist
// (tools/keyscript): a real input context from the stand-in, each key offered to
// ImeProcessKey and, when taken, translated by ImeToAsciiEx with its scan code and the
// character in bits 8-15 of the key word; the messages come back as the application
// would receive them, applied to one edit field.
#pragma once

#include <windows.h>
#include <imm.h>
#include "core/engine.h"
#include "frontend/imeexports.h"
#include "gbk.h"
#include "typist.h"
#include "shapecode/codetable.h"
#include "shapecode/shapecode.h"

#include <string>
#include <vector>

using ImeMessage = TypedMessage;

struct KeyOutcome {
    BOOL taken = FALSE;                // ImeProcessKey's answer for the key itself
    UINT count = 0;                    // ImeToAsciiEx's answer
    std::vector<ImeMessage> messages;  // what the application receives
    std::string result;                // the result string when GCS_RESULTSTR was announced
    std::string text;                  // what the edit field received (GBK)
};

class ImeDriver {
public:
    ImeDriver();
    ~ImeDriver();
    ImeDriver(const ImeDriver&) = delete;
    ImeDriver& operator=(const ImeDriver&) = delete;

    HIMC context() const { return himc_; }

    // One key of a key script ("a", "A", "{Space}", "{RShift+A}", "{Ctrl+Alt+S}"), typed
    // as qxhost types it: the modifiers held for it are pressed first, each key-down with
    // its scan code. The outcome is the key's own; text is what all of them typed.
    KeyOutcome key(const std::string& scriptKey);
    // One character as typed on a US keyboard (left Shift for capitals and shifted signs).
    KeyOutcome typeChar(char c);
    // Types a key script (keyscript.h); returns what the edit field received (GBK).
    std::string type(const std::string& keys);

    KeyOutcome enter() { return key("{Enter}"); }
    KeyOutcome escape() { return key("{Esc}"); }
    KeyOutcome backspace() { return key("{Back}"); }
    KeyOutcome space() { return key("{Space}"); }
    KeyOutcome ctrl() { return key("{Ctrl}"); }
    KeyOutcome leftShift() { return key("{LShift}"); }
    KeyOutcome rightShift() { return key("{RShift}"); }

    // The application's edit field after all keys so far (GBK).
    const std::string& fieldText() const { return typist_.text(); }

    // For tests that call the exports themselves.
    BYTE keyState[256] = {};

private:
    HIMC himc_;
    Typist typist_;
};

// The state a freshly selected input method has: Chinese mode, Chinese punctuation,
// the shape-code edition, no tables, an empty wrong-key history.
void resetEngineForTest();

// The cells 0 to lastCell joined: what a cell message or a candidate page shows (GBK).
std::string cellText();

// Small tables for the three shape modes (MB4, MB1, WBMB, XGBK) built with the table
// compiler; installs them in the table slots. Returns false when a table could not be
// built.
bool installSmallTables();

// Builds a code table with the table compiler from code<TAB>text lines (UTF-8) and
// returns it; the bytes live until the program ends. format: packed or fixed.
CodeTable buildTable(const std::string& source, const char* format = "packed");
// A table of a data library next to the test programs; {nullptr, 0} when it is absent.
CodeTable libraryTable(const char* library, const char* name);
