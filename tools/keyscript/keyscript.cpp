// The key-script parser and the US keyboard layout it types with.
#include "keyscript.h"

#include <cctype>
#include <cstdlib>
#include <utility>

namespace {

constexpr uint8_t VKEY_BACK = 0x08, VKEY_TAB = 0x09, VKEY_RETURN = 0x0D, VKEY_SHIFT = 0x10,
                  VKEY_CONTROL = 0x11, VKEY_MENU = 0x12, VKEY_CAPITAL = 0x14, VKEY_ESCAPE = 0x1B,
                  VKEY_SPACE = 0x20, VKEY_PRIOR = 0x21, VKEY_NEXT = 0x22, VKEY_END = 0x23,
                  VKEY_HOME = 0x24, VKEY_LEFT = 0x25, VKEY_UP = 0x26, VKEY_RIGHT = 0x27,
                  VKEY_DOWN = 0x28, VKEY_INSERT = 0x2D, VKEY_DELETE = 0x2E;

struct Punctuation {
    char plain, shifted;
    uint8_t vk;
    unsigned scan;
};
constexpr Punctuation PUNCTUATION[] = {
    {';', ':', 0xBA, 0x27}, {'=', '+', 0xBB, 0x0D}, {',', '<', 0xBC, 0x33}, {'-', '_', 0xBD, 0x0C},
    {'.', '>', 0xBE, 0x34}, {'/', '?', 0xBF, 0x35}, {'`', '~', 0xC0, 0x29}, {'[', '{', 0xDB, 0x1A},
    {'\\', '|', 0xDC, 0x2B}, {']', '}', 0xDD, 0x1B}, {'\'', '"', 0xDE, 0x28},
};
constexpr char SHIFTED_DIGITS[] = ")!@#$%^&*(";  // Shift with 0..9
constexpr unsigned LETTER_SCANS[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                       0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                       0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};

struct NamedKey {
    const char* name;
    uint8_t vk;
};
constexpr NamedKey NAMED_KEYS[] = {
    {"Space", VKEY_SPACE}, {"Enter", VKEY_RETURN}, {"Esc", VKEY_ESCAPE}, {"Tab", VKEY_TAB},
    {"Back", VKEY_BACK},   {"Del", VKEY_DELETE},   {"Left", VKEY_LEFT},  {"Right", VKEY_RIGHT},
    {"Up", VKEY_UP},       {"Down", VKEY_DOWN},    {"Home", VKEY_HOME},  {"End", VKEY_END},
    {"PgUp", VKEY_PRIOR},  {"PgDn", VKEY_NEXT},    {"Ins", VKEY_INSERT},
};

bool parseNumber(std::string_view text, long low, long high, long* value) {
    if (text.empty() || text.size() > 9) return false;
    long result = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        result = result * 10 + (c - '0');
    }
    if (result < low || result > high) return false;
    *value = result;
    return true;
}

// One brace token without its braces.
bool parseToken(std::string_view token, ScriptKey& key) {
    if (token == "Caps") {
        key.kind = ScriptKind::Caps;
        key.vk = VKEY_CAPITAL;
        return true;
    }
    for (const auto& [prefix, kind] : {std::pair{std::string_view("Click:"), ScriptKind::Click},
                                       std::pair{std::string_view("RClick:"), ScriptKind::RightClick},
                                       std::pair{std::string_view("DblClick:"), ScriptKind::DoubleClick}}) {
        if (token.substr(0, prefix.size()) != prefix) continue;
        const std::string_view rest = token.substr(prefix.size());
        const size_t comma = rest.find(',');
        long x = 0, y = 0;
        if (comma == std::string_view::npos || !parseNumber(rest.substr(0, comma), 0, 100000, &x) ||
            !parseNumber(rest.substr(comma + 1), 0, 100000, &y))
            return false;
        key.kind = kind;
        key.x = static_cast<int>(x);
        key.y = static_cast<int>(y);
        return true;
    }
    for (const auto& [prefix, kind] : {std::pair{std::string_view("Menu:"), ScriptKind::Menu},
                                       std::pair{std::string_view("Popup:"), ScriptKind::Popup},
                                       std::pair{std::string_view("Control:"), ScriptKind::Control}}) {
        if (token.substr(0, prefix.size()) != prefix) continue;
        long id = 0;
        if (!parseNumber(token.substr(prefix.size()), 0, 65535, &id)) return false;
        key.kind = kind;
        key.id = static_cast<int>(id);
        return true;
    }
    if (token.substr(0, 7) == "Answer:") {
        const std::string_view answer = token.substr(7);
        static constexpr std::pair<std::string_view, int> ANSWERS[] = {
            {"IDOK", 1}, {"IDCANCEL", 2}, {"IDABORT", 3}, {"IDRETRY", 4}, {"IDIGNORE", 5}, {"IDYES", 6}, {"IDNO", 7}};
        long id = 0;
        for (const auto& [name, value] : ANSWERS)
            if (answer == name) id = value;
        if (id == 0 && !parseNumber(answer, 1, 65535, &id)) return false;
        key.kind = ScriptKind::Answer;
        key.id = static_cast<int>(id);
        return true;
    }
    if (token.substr(0, 7) == "Folder:") {
        const std::string_view path = token.substr(7);
        if (path.empty()) return false;
        key.kind = ScriptKind::Folder;
        key.path = path == "cancel" ? std::string() : std::string(path);
        return true;
    }
    if (token.substr(0, 5) == "Tick:") {
        long ms = 0;
        if (!parseNumber(token.substr(5), 0, 3600000, &ms)) return false;
        key.kind = ScriptKind::Tick;
        key.milliseconds = static_cast<unsigned>(ms);
        return true;
    }
    if (token == "{" || token == "}") {
        return keyForCharacter(token[0], &key.vk, &key.shift) &&
               (key.ch = token[0], true);
    }
    // Modifiers, then the key: "Ctrl+Alt+S", "RShift+A", or a modifier alone.
    std::string_view rest = token;
    for (;;) {
        const size_t plus = rest.find('+');
        if (plus == std::string_view::npos || plus + 1 >= rest.size()) break;
        const std::string_view modifier = rest.substr(0, plus);
        if (modifier == "Ctrl") key.ctrl = true;
        else if (modifier == "Alt") key.alt = true;
        else if (modifier == "Shift" || modifier == "LShift") key.shift = true;
        else if (modifier == "RShift") key.shift = key.rightShift = true;
        else return false;
        rest = rest.substr(plus + 1);
    }
    const bool chord = key.ctrl || key.alt || key.shift;
    if (!chord) {
        if (rest == "Ctrl") { key.vk = VKEY_CONTROL; return true; }
        if (rest == "LShift") { key.vk = VKEY_SHIFT; return true; }
        if (rest == "RShift") { key.vk = VKEY_SHIFT; key.rightShift = true; return true; }
        if (rest == "Alt") { key.vk = VKEY_MENU; return true; }
    }
    for (const NamedKey& named : NAMED_KEYS) {
        if (rest == named.name) {
            key.vk = named.vk;
            key.ch = characterForKey(named.vk, key.shift);
            return true;
        }
    }
    if (rest.size() != 1) return false;
    // A chord names the key by its cap: a letter or another printable character.
    uint8_t vk = 0;
    bool shift = false;
    char ch = rest[0];
    if (chord && std::isalpha(static_cast<unsigned char>(ch))) ch = static_cast<char>(std::tolower(ch));
    if (!keyForCharacter(ch, &vk, &shift)) return false;
    key.vk = vk;
    key.shift = key.shift || shift;
    key.ch = characterForKey(vk, key.shift);
    return true;
}

}  // namespace

bool keyForCharacter(char ch, uint8_t* vk, bool* shift) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c >= 'a' && c <= 'z') { *vk = static_cast<uint8_t>(c - 'a' + 'A'); *shift = false; return true; }
    if (c >= 'A' && c <= 'Z') { *vk = static_cast<uint8_t>(c); *shift = true; return true; }
    if (c >= '0' && c <= '9') { *vk = static_cast<uint8_t>(c); *shift = false; return true; }
    if (c == ' ') { *vk = VKEY_SPACE; *shift = false; return true; }
    for (int d = 0; d < 10; ++d)
        if (SHIFTED_DIGITS[d] == ch) { *vk = static_cast<uint8_t>('0' + d); *shift = true; return true; }
    for (const Punctuation& p : PUNCTUATION) {
        if (p.plain == ch) { *vk = p.vk; *shift = false; return true; }
        if (p.shifted == ch) { *vk = p.vk; *shift = true; return true; }
    }
    return false;
}

char characterForKey(uint8_t vk, bool shift) {
    if (vk >= 'A' && vk <= 'Z') return static_cast<char>(shift ? vk : vk - 'A' + 'a');
    if (vk >= '0' && vk <= '9') return shift ? SHIFTED_DIGITS[vk - '0'] : static_cast<char>(vk);
    for (const Punctuation& p : PUNCTUATION)
        if (p.vk == vk) return shift ? p.shifted : p.plain;
    switch (vk) {
    case VKEY_SPACE: return ' ';
    case VKEY_RETURN: return '\r';
    case VKEY_BACK: return '\b';
    case VKEY_TAB: return '\t';
    case VKEY_ESCAPE: return 0x1B;
    default: return 0;
    }
}

unsigned scanCodeForKey(uint8_t vk, bool rightShift) {
    if (vk >= 'A' && vk <= 'Z') return LETTER_SCANS[vk - 'A'];
    if (vk >= '1' && vk <= '9') return 0x02 + (vk - '1');
    if (vk == '0') return 0x0B;
    for (const Punctuation& p : PUNCTUATION)
        if (p.vk == vk) return p.scan;
    switch (vk) {
    case VKEY_BACK: return 0x0E;
    case VKEY_TAB: return 0x0F;
    case VKEY_RETURN: return 0x1C;
    case VKEY_CONTROL: return 0x1D;
    case VKEY_SHIFT: return rightShift ? 0x36 : 0x2A;
    case VKEY_MENU: return 0x38;
    case VKEY_SPACE: return 0x39;
    case VKEY_CAPITAL: return 0x3A;
    case VKEY_ESCAPE: return 0x01;
    case VKEY_HOME: return 0x147;
    case VKEY_UP: return 0x148;
    case VKEY_PRIOR: return 0x149;
    case VKEY_LEFT: return 0x14B;
    case VKEY_RIGHT: return 0x14D;
    case VKEY_END: return 0x14F;
    case VKEY_DOWN: return 0x150;
    case VKEY_NEXT: return 0x151;
    case VKEY_INSERT: return 0x152;
    case VKEY_DELETE: return 0x153;
    default: return 0;
    }
}

bool parseKeyScript(std::string_view script, std::vector<ScriptKey>& keys, std::string& error) {
    keys.clear();
    size_t i = 0;
    while (i < script.size()) {
        ScriptKey key;
        if (script[i] == '{') {
            // "{{}" and "{}}" are the braces themselves.
            size_t close = script.find('}', i + 2);
            if (i + 2 < script.size() && script[i + 1] == '}' && script[i + 2] == '}') close = i + 2;
            if (close == std::string_view::npos) {
                error = "unterminated key: " + std::string(script.substr(i));
                return false;
            }
            const std::string_view token = script.substr(i + 1, close - i - 1);
            key.text = std::string(script.substr(i, close - i + 1));
            if (token.empty() || !parseToken(token, key)) {
                error = "unknown key: " + key.text;
                return false;
            }
            i = close + 1;
        } else {
            const char ch = script[i];
            if (!keyForCharacter(ch, &key.vk, &key.shift)) {
                error = std::string("no key types '") + ch + "'";
                return false;
            }
            key.ch = ch;
            key.text = std::string(1, ch);
            ++i;
        }
        keys.push_back(key);
    }
    return true;
}
