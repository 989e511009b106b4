// Key scripts: the keys a person types, written as text. Characters type themselves as
// a US keyboard produces them; named keys and chords go in braces:
//   {Space} {Enter} {Esc} {Tab} {Back} {Del} {Left} {Right} {Up} {Down} {Home} {End}
//   {PgUp} {PgDn}; {Ctrl} {LShift} {RShift} pressed alone; {RShift+A}; {Ctrl+A},
//   {Alt+A}, {Ctrl+Alt+S}; {Caps} toggles Caps Lock; {Click:X,Y}; {Tick:MS};
//   {{} and {}} for the braces themselves.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class ScriptKind { Key, Caps, Click, Tick };

struct ScriptKey {
    ScriptKind kind = ScriptKind::Key;
    uint8_t vk = 0;           // virtual key of the key itself
    char ch = 0;              // the character its key cap shows for the shift state, 0 for none
    bool shift = false;       // Shift held (the left one unless rightShift)
    bool rightShift = false;
    bool ctrl = false;
    bool alt = false;
    int x = 0, y = 0;         // Click
    unsigned milliseconds = 0; // Tick
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
