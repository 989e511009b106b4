// The module's records read as preedit, lookup table and auxiliary text.
#include "moduleview.h"

#include "gbktext.h"

#include <algorithm>
#include <cstring>

namespace {

std::string field(const char* text, size_t size) { return std::string(text, strnlen(text, size)); }

std::string utf8(const std::string& gbk) { return gbkToUtf8(gbk); }

constexpr const char* ROW_DIGITS = "1234567890";
const char MORE_PAGES[] = "\xA1\xFA";  // →, the last cell while a page follows
// "ESC退出中文网址,E-mail地址!": the address window's line while nothing is typed.
const char WEB_IDLE_LINE[] = "ESC\xCD\xCB\xB3\xF6\xD6\xD0\xCE\xC4\xCD\xF8\xD6\xB7,E-mail\xB5\xD8\xD6\xB7!";

bool leadByte(char c) { return static_cast<unsigned char>(c) >= 0x81; }

// Characters (not bytes) of a GBK text before byte offset.
int characters(const std::string& gbk, size_t offset) {
    int count = 0;
    for (size_t i = 0; i < offset && i < gbk.size(); i += leadByte(gbk[i]) && i + 1 < gbk.size() ? 2 : 1)
        ++count;
    return count;
}

// The display line of the shape-code window: two-byte cells, " k" a key cell that labels
// the candidate after it, "k~" a filler; the first candidate is Space's. Only the half
// the label keys search is shown, as the window shows it.
std::vector<ViewCandidate> displayCandidates(const std::string& line, int half) {
    std::vector<ViewCandidate> out;
    std::string text;
    char key = ' ';
    auto flush = [&] {
        if (!text.empty())
            out.push_back({key == ' ' ? "\xE2\x90\xA3" : std::string(1, key), utf8(text), key});
        text.clear();
    };
    const int cells = static_cast<int>(line.size() + 1) / 2;
    for (int cell = 11 * half; cell < 10 * half + 12 && cell < cells; ++cell) {
        const char a = line[2 * cell],
                   b = 2 * cell + 1 < static_cast<int>(line.size()) ? line[2 * cell + 1] : ' ';
        if (a == ' ') {
            flush();
            key = b;
        } else if (!leadByte(a) && b == '~') {
            continue;
        } else {
            text += a;
            if (leadByte(a) || b != ' ') text += b;
        }
    }
    flush();
    return out;
}

// The completion hints: each next letter with what it leads to, then the page marker.
std::string completionHints(const EngineContext& c) {
    std::string gbk;
    const int last = std::clamp<int>(c.lastCell, 0, 16);
    for (int i = 0; i <= last; ++i) {
        const std::string cell = field(c.cells[i], sizeof c.cells[i]);
        if (cell.empty()) continue;
        if (cell[0] == ' ') {
            if (!gbk.empty()) gbk += ' ';
            gbk += cell.substr(1);
        } else {
            gbk += cell;
        }
    }
    return utf8(gbk);
}

}  // namespace

ModuleView moduleView(const EngineContext& c, const ModeState& modes, const ShapeCodeState& shapeCode) {
    ModuleView view;
    const std::string message = field(shapeCode.messageLine, sizeof shapeCode.messageLine);
    if (modes.webMode || modes.pinyinMode) {
        const std::string input = field(c.modeInput, sizeof c.modeInput);
        std::string line = input;
        if (!modes.webMode) {
            const std::string spelling =
                field(c.syllables[SYLLABLE_SHOWN], sizeof c.syllables[SYLLABLE_SHOWN]);
            if (!spelling.empty() && !input.empty()) line = spelling;
        }
        view.preedit = utf8(line);
        view.caret =
            characters(line, modes.webMode ? line.size() : std::clamp<size_t>(c.caret, 0, line.size()));
        if (!modes.webMode && c.webState[WS_CONVERTED_COUNT] == c.webState[WS_SYLLABLE_COUNT])
            view.caret = characters(line, line.size());
        for (int k = 0; k < 10; ++k) {
            const std::string text = field(c.rowText[k], sizeof c.rowText[k]);
            const std::string note = field(c.rowNote[k], sizeof c.rowNote[k]);
            if (modes.webMode ? note.empty() : text.empty()) continue;
            std::string shown = modes.webMode ? note + " " + text : text;
            if (!modes.webMode) {
                const std::string hint = field(&c.rowLabels[3 * k], 2);
                if (!hint.empty()) shown += " " + hint;
            }
            view.candidates.push_back({std::string(1, ROW_DIGITS[k]), utf8(shown), ROW_DIGITS[k]});
        }
        view.earlierPage = c.rowFirst >= 10;
        // The address lists count every match from the page on; pinyin reads no further
        // than the page, so a full page is all it can say of a next one.
        view.laterPage = modes.webMode ? c.rowMore > 10 : c.rowMore >= 10;
        if (modes.webMode && input.empty()) view.aux = utf8(WEB_IDLE_LINE);
        if (shapeCode.repeatArmed == 1 && !message.empty()) view.aux = utf8(message);
        return view;
    }

    const int codeLength = std::clamp<int>(c.codeLength, 0, static_cast<int>(strnlen(c.code, sizeof c.code)));
    const std::string display = field(c.displayLine, sizeof c.displayLine);
    if (codeLength == 0) {
        // A message stays on the display line; the last commit shown there is no news.
        if (!message.empty())
            view.aux = utf8(message);
        else if (!display.empty() && display != field(c.lastResult, sizeof c.lastResult))
            view.aux = utf8(display);
        return view;
    }
    const std::string code(c.code, static_cast<size_t>(codeLength));
    view.preedit = code;
    view.caret = std::clamp<int>(c.caret, 0, codeLength);
    if (!display.empty()) {
        view.candidates = displayCandidates(display, std::clamp<int>(shapeCode.displayHalf, 0, 1));
    } else {
        // Without an exact line the window shows the page's first plain candidates as one.
        std::string built;
        for (int i = 1; i <= std::min<int>(c.lastCell, 14); ++i) {
            const char* cell = c.cells[i];
            if (cell[0] == '\0' || cell[0] == ' ' || cell[1] == ' ' || std::memcmp(cell, "\xA1\xF0", 2) == 0)
                break;
            built += field(cell, sizeof c.cells[i]);
        }
        if (!built.empty()) view.candidates.push_back({"\xE2\x90\xA3", utf8(built), ' '});
    }
    if (c.lastCell > 0) {
        view.aux = completionHints(c);
        view.laterPage = field(c.cells[std::clamp<int>(c.lastCell, 0, 16)], 20) == MORE_PAGES;
        view.earlierPage = shapeCode.nextPageStart > c.lastCell;
    }
    if (shapeCode.repeatArmed == 1 && !message.empty()) view.aux = utf8(message);
    return view;
}

char candidateKey(const ModuleView& view, size_t index) {
    return index < view.candidates.size() ? view.candidates[index].key : 0;
}
