// Test support: drives the module as the Input Method Manager does. A real input context
// from the stand-in, each key offered to ImeProcessKey and, when taken, translated by
// ImeToAsciiEx with the character in bits 8-15 of the key word; the messages come back
// as the application would receive them.
#pragma once

#include <windows.h>
#include <imm.h>
#include "frontend/engine.h"
#include "frontend/imeexports.h"
#include "gbk.h"

#include <string>
#include <vector>

struct ImeMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

struct KeyOutcome {
    BOOL taken = FALSE;                // ImeProcessKey's answer
    UINT count = 0;                    // ImeToAsciiEx's answer
    std::vector<ImeMessage> messages;  // what the application receives
    std::string result;                // the result string when GCS_RESULTSTR was announced
    std::string text;                  // what an edit control would show for this key (GBK)
};

class ImeDriver {
public:
    ImeDriver();
    ~ImeDriver();
    ImeDriver(const ImeDriver&) = delete;
    ImeDriver& operator=(const ImeDriver&) = delete;

    HIMC context() const { return himc_; }

    // One key: virtual key, character, and the modifiers held while it is pressed.
    KeyOutcome press(UINT vk, unsigned char ch, bool shift = false, bool ctrl = false, bool alt = false,
                     UINT scanCode = 0);
    // One character as typed on a US keyboard (Shift pressed for the shifted signs).
    KeyOutcome typeChar(char c);
    // Types each character of keys; "{...}" names a special key: {Space} {Enter} {Esc}
    // {Back} {Ctrl} {LShift} {RShift}. Returns the application's text (GBK).
    std::string type(const std::string& keys);

    KeyOutcome enter() { return press(VK_RETURN, '\r'); }
    KeyOutcome escape() { return press(VK_ESCAPE, 0x1B); }
    KeyOutcome backspace() { return press(VK_BACK, '\b'); }
    KeyOutcome space() { return press(VK_SPACE, ' '); }
    KeyOutcome ctrl() { return press(VK_CONTROL, 0, false, true); }
    KeyOutcome leftShift() { return press(VK_SHIFT, 0, true, false, false, 0x2A); }
    KeyOutcome rightShift() { return press(VK_SHIFT, 0, true, false, false, 0x36); }

    BYTE keyState[256] = {};
    bool capsLock = false;

private:
    std::string readResult() const;
    HIMC himc_;
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
