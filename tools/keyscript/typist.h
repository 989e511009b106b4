// The typist: types script keys through an input method's ImeProcessKey and ImeToAsciiEx
// as the Input Method Manager would, and applies what comes back to the text of one edit
// field as an edit control with the default IME handling would. While a dialog is the
// active window, keys go to its focused control instead: the input method's messages are
// sent to it, and keys the input method leaves are posted to it, as Windows delivers them
// to an application that knows nothing of input methods. Only Win32 calls that
// Windows has are used, so the same typist drives the module on both systems.
#pragma once

#include "keyscript.h"

#include <windows.h>
#include <imedev.h>

#include <string>
#include <vector>

using ImeProcessKeyProc = BOOL(WINAPI*)(HIMC, UINT, LPARAM, BYTE*);
using ImeToAsciiExProc = UINT(WINAPI*)(UINT, UINT, BYTE*, LPTRANSMSGLIST, UINT, HIMC);

struct TypistHooks {
    ImeProcessKeyProc processKey = nullptr;
    ImeToAsciiExProc toAsciiEx = nullptr;
    void (*click)(int x, int y) = nullptr;     // a left click at a screen point
    void (*rightClick)(int x, int y) = nullptr;
    void (*doubleClick)(int x, int y) = nullptr;
    void (*tick)(unsigned milliseconds) = nullptr; // time passing
    void (*pump)() = nullptr;                  // dispatch posted messages after each key
    void (*menu)(int command) = nullptr;       // choose a command of the status bar's menu
    void (*popup)(int command) = nullptr;      // the next pop-up menu's answer
    void (*answer)(int id) = nullptr;          // the next message box's answer
    void (*folder)(const char* path) = nullptr; // the next folder picker's answer, "" to cancel
};

// The dialog that is the active window, or null; and the window inside it that keys go
// to (its focused control, else the dialog itself).
HWND activeDialog();
HWND dialogKeyTarget();

struct TypedMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// One key-down offered to the input method.
struct KeyEvent {
    uint8_t vk = 0;
    unsigned scan = 0;
    UINT keyWord = 0;   // what ImeToAsciiEx received: vk, character in bits 8-15
    bool taken = false;
    UINT count = 0;     // what ImeToAsciiEx returned
    std::vector<TypedMessage> messages;  // those of them that fit the list
    std::string result; // the result string, read where a message announced it
    std::string typed;  // what the key put into the edit field (GBK)
};

// The "messages" array of a trace line: every message the keys' events carried, by name
// when it is one the input method writes. Both runners use it, so their traces compare.
std::string messagesJson(const std::vector<KeyEvent>& events);

// The application's edit field: GBK text and a caret at a character boundary.
struct EditField {
    std::string text;
    size_t caret = 0;
    std::string inserted;  // every insertion in order, for the typist to hand out per key

    void insert(const std::string& bytes);
    void character(unsigned char ch);  // a WM_CHAR byte
    void backspace();
    void deleteForward();
    void left();
    void right();
    void home();
    void end();
    void up();
    void down();
};

// The result string a context's composition block holds, read only inside the block.
std::string resultStringOf(HIMC context);

class Typist {
public:
    Typist(HIMC context, const TypistHooks& hooks);
    // Types one script key; returns the key-downs it offered, in order.
    std::vector<KeyEvent> type(const ScriptKey& key);
    const std::string& text() const { return field_.text; }
    bool capsLock() const { return capsLock_; }

private:
    KeyEvent keyDown(uint8_t vk, unsigned scan, bool rightShift);
    void applyMessages(KeyEvent& event);
    void applicationKeyDown(uint8_t vk);
    std::string resultString() { return resultStringOf(context_); }
    char translatedCharacter(uint8_t vk) const;

    HIMC context_;
    TypistHooks hooks_;
    EditField field_;
    BYTE keyState_[256] = {};
    bool capsLock_ = false;
};
