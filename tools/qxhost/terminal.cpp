// The interactive session of qxhost.
#include "terminal.h"

#include "gbktext.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>

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
};

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

std::string sessionScreen(const HostSession& session) {
    std::string screen = "qxhost: F2 Ctrl, F3 left Shift, F4 right Shift; Ctrl+C or Ctrl+D ends\r\n\r\n";
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

int runInteractive(HostSession& session) {
    termios saved{};
    const bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios raw = saved;
        cfmakeraw(&raw);
        tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    }
    for (;;) {
        const std::string screen = "\x1b[H\x1b[2J" + sessionScreen(session);
        std::fwrite(screen.data(), 1, screen.size(), stdout);
        std::fflush(stdout);
        const std::string bytes = readKeyBytes();
        if (bytes.empty() || bytes == "\x03" || bytes == "\x04") break;
        std::vector<ScriptKey> keys;
        std::string error;
        if (!parseKeyScript(terminalKeyToken(bytes), keys, error)) continue;
        for (const ScriptKey& key : keys) session.ime.typist->type(key);
    }
    if (terminal) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    std::fputs("\r\n", stdout);
    return 0;
}
