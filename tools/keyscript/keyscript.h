// Key scripts: the keys a person types, written as text. Characters type themselves as
// a US keyboard produces them; named keys and chords go in braces:
//   {Space} {Enter} {Esc} {Tab} {Back} {Del} {Left} {Right} {Up} {Down} {Home} {End}
//   {PgUp} {PgDn}; {Ctrl} {LShift} {RShift} pressed alone; {RShift+A}; {Ctrl+A},
//   {Alt+A}, {Ctrl+Alt+S}; {Caps} toggles Caps Lock; {Tick:MS};
//   {{} and {}} for the braces themselves.
// What a person does with the mouse and the dialogs, in braces too:
//   {Click:X,Y} {RClick:X,Y} {DblClick:X,Y} at a screen point; {Menu:ID} chooses the
//   command ID from the status bar's menu; {Popup:ID} answers the next pop-up menu (the
//   soft keyboards' on the width button's right click) with the command ID, so it comes
//   before the click that opens the menu; {Control:ID} clicks the control ID of the open
//   dialog; {Answer:IDYES} answers the next message box (IDOK IDCANCEL IDABORT IDRETRY
//   IDIGNORE IDYES IDNO or a number); {Folder:PATH} answers the next folder picker with
//   PATH, {Folder:cancel} cancels it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class ScriptKind {
    Key,
    Caps,
    Click,
    RightClick,
    DoubleClick,
    Tick,
    Menu,
    Popup,
    Control,
    Answer,
    Folder
};

struct ScriptKey {
    ScriptKind kind = ScriptKind::Key;
    uint8_t vk = 0;           // virtual key of the key itself
    char ch = 0;              // the character its key cap shows for the shift state, 0 for none
    bool shift = false;       // Shift held (the left one unless rightShift)
    bool rightShift = false;
    bool ctrl = false;
    bool alt = false;
    int x = 0, y = 0;         // Click, RightClick, DoubleClick
    unsigned milliseconds = 0; // Tick
    int id = 0;                // Menu, Popup, Control, Answer
    std::string path;         // Folder: empty for a cancel
    std::string text;         // the key as written in the script
};

// Parses a script; on a malformed token returns false with a message naming it.
bool parseKeyScript(std::string_view script, std::vector<ScriptKey>& keys, std::string& error);

// US layout: the virtual key and shift state that type a printable character; false for
// a character no key produces.
bool keyForCharacter(char ch, uint8_t* vk, bool* shift);
// The character a key gives with the shift state (no Caps Lock), 0 for none.
char characterForKey(uint8_t vk, bool shift);
// Set-1 scan code of a key, with 0x100 marking an extended key.
unsigned scanCodeForKey(uint8_t vk, bool rightShift);
