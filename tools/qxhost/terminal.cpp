// The interactive session of qxhost.
#include "terminal.h"

#include "gbktext.h"

#include <winapi_desktop.h>

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <strings.h>

namespace {

struct Sequence {
    const char* bytes;
    const char* token;
};
constexpr Sequence SEQUENCES[] = {
    {"\x1b[A", "{Up}"},     {"\x1b[B", "{Down}"},    {"\x1b[C", "{Right}"},   {"\x1b[D", "{Left}"},
    {"\x1b[H", "{Home}"},   {"\x1b[F", "{End}"},     {"\x1bOH", "{Home}"},    {"\x1bOF", "{End}"},
    {"\x1b[1~", "{Home}"},  {"\x1b[4~", "{End}"},    {"\x1b[5~", "{PgUp}"},   {"\x1b[6~", "{PgDn}"},
    {"\x1b[3~", "{Del}"},   {"\x1bOQ", "{Ctrl}"},    {"\x1bOR", "{LShift}"},  {"\x1bOS", "{RShift}"},
    {"\x1b[12~", "{Ctrl}"}, {"\x1b[13~", "{LShift}"}, {"\x1b[14~", "{RShift}"}, {"\x1b", "{Esc}"},
    {"\x1b[15~", "{Menu}"},  {"\x1b[Z", "{LShift+Tab}"},
};

// The status bar's menu, in its order, for F5.
struct MenuItem {
    int command;
    const char* text;  // UTF-8
};
constexpr MenuItem MENU[] = {
    {1280, "\xE8\xAE\xBF\xE9\x97\xAE" "Tessel"},            // 访问Tessel
    {1293, "\xE6\x88\x91\xE6\x98\xAF\xE8\xB0\x81?"},       // 我是谁?
    {1294, "\xE6\x9C\x80\xE6\x96\xB0\xE6\x94\xB9\xE8\xBF\x9B"},  // 最新改进
    {1300, "\xE5\xAD\x97\xE6\xA0\xB9\xE7\xBB\x83\xE4\xB9\xA0"},  // 字根练习
    {1301, "\xE9\x97\xAA\xE7\x94\xB5\xE5\x8D\x87\xE7\xBA\xA7"},  // 闪电升级
    {1295, "\xE7\xAE\x80\xE8\xA6\x81\xE6\x89\x8B\xE5\x86\x8C"},  // 简要手册
    {1297, "\xE6\x88\x91\xE7\x9A\x84\xE4\xB8\xAA\xE6\x80\xA7"},  // 我的个性
    {1298, "\xE8\x87\xAA\xE9\x80\xA0\xE8\xAF\x8D\xE7\xBB\x84"},  // 自造词组
    {1299, "\xE4\xB8\xAD\xE6\x96\x87\xE7\xBD\x91\xE5\x9D\x80"},  // 中文网址
};

bool menuOpen = false;
bool quitting = false;

std::string field(const char* text, size_t size) { return gbkToUtf8(std::string(text, strnlen(text, size))); }

// Reads the bytes of one key: an escape sequence arrives at once, a lone Escape does not.
std::string readKeyBytes() {
    std::string bytes;
    char c = 0;
    if (read(STDIN_FILENO, &c, 1) != 1) return bytes;
    bytes += c;
    if (c != '\x1b') return bytes;
    pollfd input{STDIN_FILENO, POLLIN, 0};
    while (bytes.size() < 8 && poll(&input, 1, 30) > 0) {
        if (read(STDIN_FILENO, &c, 1) != 1) break;
        bytes += c;
        if (bytes.size() >= 3 && (std::isalpha(static_cast<unsigned char>(c)) || c == '~')) break;
    }
    return bytes;
}

}  // namespace

std::string terminalKeyToken(const std::string& bytes) {
    if (bytes.empty()) return "";
    for (const Sequence& s : SEQUENCES)
        if (bytes == s.bytes) return s.token;
    if (bytes.size() != 1) return "";
    const unsigned char c = static_cast<unsigned char>(bytes[0]);
    if (c == '\r' || c == '\n') return "{Enter}";
    if (c == 0x7F || c == 0x08) return "{Back}";
    if (c == '\t') return "{Tab}";
    if (c == '{') return "{{}";
    if (c == '}') return "{}}";
    if (c >= 1 && c <= 26) return std::string("{Ctrl+") + static_cast<char>('A' + c - 1) + "}";
    if (c >= 0x20 && c < 0x7F) return std::string(1, static_cast<char>(c));
    return "";
}

// The active dialog as a person reads it: every control with its id, its state and its
// text, the focused one marked.
std::string dialogScreen() {
    HWND dialog = activeDialog();
    if (dialog == nullptr) return "";
    char text[256] = {};
    GetWindowTextA(dialog, text, sizeof text);
    std::string screen = "Dialog: " + gbkToUtf8(text) + "   (Tab moves, Space presses, Enter, Esc)\r\n";
    HWND focus = GetFocus();
    for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        if (!IsWindowVisible(c)) continue;
        char cls[32] = {};
        GetClassNameA(c, cls, sizeof cls);
        text[0] = 0;
        GetWindowTextA(c, text, sizeof text);
        const LONG style = GetWindowLongA(c, GWL_STYLE);
        std::string shown;
        if (strcasecmp(cls, "Button") == 0) {
            const LONG type = style & BS_TYPEMASK;
            const bool checked = SendMessageA(c, BM_GETCHECK, 0, 0) == BST_CHECKED;
            // A group box is shown only while it holds the focus, so the person sees where it is.
            if (type == BS_GROUPBOX && c != focus) continue;
            if (type == BS_GROUPBOX) shown = "(group) ";
            else if (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX) shown = checked ? "[x] " : "[ ] ";
            else if (type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON) shown = checked ? "(*) " : "( ) ";
            else shown = type == BS_DEFPUSHBUTTON ? "<<" : "<";
            shown += gbkToUtf8(text);
            if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) shown += type == BS_DEFPUSHBUTTON ? ">>" : ">";
        } else if (strcasecmp(cls, "Edit") == 0) {
            shown = "[" + gbkToUtf8(text) + "]";
        } else if (strcasecmp(cls, "ListBox") == 0) {
            const LRESULT selected = SendMessageA(c, LB_GETCURSEL, 0, 0);
            shown = std::to_string(SendMessageA(c, LB_GETCOUNT, 0, 0)) + " lines";
            char line[256] = {};
            if (selected != LB_ERR && SendMessageA(c, LB_GETTEXTLEN, WPARAM(selected), 0) < LRESULT(sizeof line)) {
                SendMessageA(c, LB_GETTEXT, WPARAM(selected), reinterpret_cast<LPARAM>(line));
                shown += ", chosen: " + gbkToUtf8(line);
            }
        } else {
            if (!text[0]) continue;
            shown = gbkToUtf8(text);
        }
        const int id = GetDlgCtrlID(c);
        screen += std::string(c == focus ? " > " : "   ") + (id == -1 || id == 0xFFFF ? std::string("    ") : std::to_string(id)) +
                  "  " + shown + "\r\n";
    }
    return screen + "\r\n";
}

std::string sessionScreen(const HostSession& session) {
    std::string screen =
        "qxhost: F2 Ctrl, F3 left Shift, F4 right Shift, F5 the menu; Ctrl+C or Ctrl+D ends\r\n\r\n";
    if (menuOpen) {
        screen += "Menu (a number chooses, Esc closes):\r\n";
        for (size_t i = 0; i < sizeof MENU / sizeof MENU[0]; ++i)
            screen += "  " + std::to_string(i + 1) + ". " + MENU[i].text + "\r\n";
        return screen;
    }
    screen += dialogScreen();
    std::string text = session.ime.typist ? gbkToUtf8(session.ime.typist->text()) : std::string();
    std::string shown;
    for (char c : text) shown += c == '\n' ? std::string("\r\n") : std::string(1, c);
    screen += "Text: " + shown + "\r\n\r\n";
    if (const EngineContext* c = session.engine) {
        screen += "Code: " + field(c->code, sizeof c->code) + "   Line: " +
                  field(c->displayLine, sizeof c->displayLine) + "\r\n";
        screen += "Cells:";
        for (int i = 0; i <= c->lastCell && i < 17; ++i) screen += " " + field(c->cells[i], sizeof c->cells[i]);
        screen += "\r\n";
        if (const ShapeCodeState* s = session.shapeCode)
            screen += "Message: " + field(s->messageLine, sizeof s->messageLine) + "\r\n";
        if (c->modeInput[0] != '\0') screen += "Input: " + field(c->modeInput, sizeof c->modeInput) + "\r\n";
        for (int k = 0; k < 10; ++k) {
            if (c->rowText[k][0] == '\0' && c->rowNote[k][0] == '\0') continue;
            screen += std::to_string((k + 1) % 10) + ". " + field(c->rowText[k], sizeof c->rowText[k]) + " " +
                      field(c->rowNote[k], sizeof c->rowNote[k]) + "\r\n";
        }
        std::string mode = "\xE5\xBD\xA2\xE7\xA0\x81";  // 形码
        if (const ModeState* m = session.modes) {
            if (m->phoneticEdition) mode = "\xE9\x9F\xB3\xE5\xBD\xA2";  // 音形
            if (m->wubiMode) mode = "\xE4\xBA\x94\xE7\xAC\x94";         // 五笔
            if (m->pinyinMode) mode = "\xE6\x8B\xBC\xE9\x9F\xB3";       // 拼音
            if (m->webMode) mode = "\xE7\xBD\x91\xE5\x9D\x80";          // 网址
        }
        screen += std::string("\r\nStatus: ") + (c->chineseMode ? "\xE4\xB8\xAD" : "\xE8\x8B\xB1") + " | " + mode +
                  " | " + (c->chinesePunct ? "\xE4\xB8\xAD\xE6\xA0\x87\xE7\x82\xB9" : "\xE8\x8B\xB1\xE6\xA0\x87\xE7\x82\xB9") +
                  " | " + (c->fullWidth ? "\xE5\x85\xA8" : "\xE5\x8D\x8A") + "\r\n";
    }
    return screen;
}

namespace {

HostSession* interactive = nullptr;

// One key from the terminal: the screen drawn, a key read and typed (or the menu worked).
// False once the person ends the session.
bool interactiveStep() {
    if (quitting || interactive == nullptr) return false;
    HostSession& session = *interactive;
    const std::string screen = "\x1b[H\x1b[2J" + sessionScreen(session);
    std::fwrite(screen.data(), 1, screen.size(), stdout);
    std::fflush(stdout);
    const std::string bytes = readKeyBytes();
    if (bytes.empty() || bytes == "\x03" || bytes == "\x04") {
        quitting = true;
        return false;
    }
    const std::string token = terminalKeyToken(bytes);
    if (menuOpen) {
        menuOpen = false;
        const size_t count = sizeof MENU / sizeof MENU[0];
        if (token.size() == 1 && token[0] >= '1' && size_t(token[0] - '0') <= count)
            chooseStatusMenuCommand(session.ime, MENU[token[0] - '1'].command);
        return true;
    }
    if (token == "{Menu}") {
        menuOpen = true;
        return true;
    }
    std::vector<ScriptKey> keys;
    std::string error;
    if (!parseKeyScript(token, keys, error)) return true;
    for (const ScriptKey& key : keys) session.ime.typist->type(key);
    return true;
}

// Inside a dialog's loop the terminal is still the person.
bool interactivePerson(HWND, int) { return interactiveStep(); }

}  // namespace

int runInteractive(HostSession& session) {
    termios saved{};
    const bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios raw = saved;
        cfmakeraw(&raw);
        tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    }
    interactive = &session;
    winapiSetPerson(interactivePerson);
    while (interactiveStep()) {
    }
    winapiSetPerson(nullptr);
    interactive = nullptr;
    if (terminal) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    std::fputs("\r\n", stdout);
    return 0;
}
