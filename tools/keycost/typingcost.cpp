#include "typingcost.h"

#include <cstring>
#include <unordered_map>

namespace {

// The engine's exact-list and display-line limits.
constexpr size_t EXACT_BYTES = 47;  // a 48-byte list with its terminator
constexpr int HALF_STEP = 22;       // display half 1 starts here
constexpr int HALF_WINDOW = 25;     // positions a label search looks at
constexpr int DISPLAY_LAST = 47;
constexpr int LONG_LINE = 18;   // "{" and "}" switch halves only beyond this length
const char NIU[] = "\xC5\xA3";  // 牛 never stands third

const char LETTERS[] = "abcdefghijklmnopqrstuvwxyz;/";

char letter(unsigned v) { return v >= 1 && v <= 28 ? LETTERS[v - 1] : 0; }

// The exact list as the packed lookup writes it.
std::string exactLine(const std::vector<const TableRecord*>& exact) {
    static const char* labels[] = {",", ".", "'"};
    std::string line;
    int state = 0;
    for (const TableRecord* r : exact) {
        if (state == 2 && r->text == NIU) continue;
        std::string add = state == 0 ? r->text : std::string(" ") + labels[state - 1] + r->text;
        if (line.size() + add.size() > EXACT_BYTES) break;
        line += add;
        state = state < 3 ? state + 1 : 3;
    }
    return line;
}

std::string entryAt(const std::string& line, size_t start) {
    std::string entry;
    for (size_t p = start; p <= DISPLAY_LAST && p < line.size() && line[p] != ' '; ++p) entry += line[p];
    return entry;
}

// What a label key takes in a display half: the entry after its last occurrence in the
// half's window, label characters inside GBK characters skipped.
std::string takeLabel(const std::string& line, int half, char label) {
    const int start = HALF_STEP * half;
    std::string taken;
    for (int p = 0; p < start + HALF_WINDOW && p < static_cast<int>(line.size()); ++p) {
        if (static_cast<unsigned char>(line[p]) >= 0x81) {
            ++p;
            continue;
        }
        if (p >= start && line[p] == label) taken = entryAt(line, p + 1);
    }
    return taken;
}

void offer(std::map<std::string, Ways>& ways, const std::string& text, int keys, const std::string& script,
           bool open) {
    if (text.empty()) return;
    Ways& w = ways[text];
    if (open) {
        if (!w.hasOpen || keys < w.open.keys) w.open = {keys, script, true};
        w.hasOpen = true;
    } else if (w.closed.keys == 0 || keys < w.closed.keys) {
        w.closed = {keys, script, false};
    }
}

std::string scriptKey(char c) { return c == ' ' ? "{Space}" : c == '}' ? "{}}" : std::string(1, c); }

}  // namespace

bool decodePackedTable(const std::vector<uint8_t>& table, std::vector<TableRecord>& records) {
    if (table.size() < 116) return false;
    auto word = [&](size_t at) {
        uint32_t v;
        std::memcpy(&v, table.data() + at, 4);
        return v;
    };
    for (int b = 0; b < 28; ++b) {
        size_t at = 116 + size_t{word(4 * b)}, end = 116 + size_t{word(4 * (b + 1))};
        if (end > table.size() || at > end) return false;
        while (at < end) {
            if (end - at < 4) return false;
            unsigned p = table[at], q = table[at + 1];
            TableRecord r;
            r.code = LETTERS[b];
            for (unsigned v : {p & 31u, q & 31u, (p >> 5) << 2 | q >> 6})
                if (char c = letter(v)) r.code += c;
            size_t n = 1;
            if (q & 0x20) {
                if (end - at < 6) return false;
                const uint8_t* t = table.data() + at + 2;
                n = (t[0] >> 7) * 8 + (t[1] >> 7) * 4 + (t[2] >> 7) * 2 + (t[3] >> 7);
            }
            if (n < 1 || end - at < 2 + 2 * n) return false;
            for (size_t i = 0; i < 2 * n; ++i) r.text.push_back(static_cast<char>(table[at + 2 + i] | 0x80));
            records.push_back(r);
            at += 2 + 2 * n;
        }
    }
    return true;
}

std::map<std::string, Ways> typingWays(const std::vector<TableRecord>& records) {
    // Every code a typist can stop at: the prefixes of the table's codes.
    std::unordered_map<std::string, std::vector<const TableRecord*>> exact;
    std::unordered_map<std::string, const TableRecord*> firstCompletion;
    std::unordered_map<std::string, bool> prefixes;
    for (const TableRecord& r : records) {
        exact[r.code].push_back(&r);
        for (size_t n = 1; n <= r.code.size(); ++n) {
            std::string p = r.code.substr(0, n);
            prefixes[p] = true;
            if (n < r.code.size() && !firstCompletion.count(p)) firstCompletion[p] = &r;
        }
    }
    std::map<std::string, Ways> ways;
    for (const auto& [code, unused] : prefixes) {
        const int typed = static_cast<int>(code.size());
        auto e = exact.find(code);
        auto completion = firstCompletion.find(code);
        if (e == exact.end()) {
            // No exact entry: the first completion stands in the display line and Space takes it.
            offer(ways, completion->second->text, typed + 1, code + "{Space}", false);
            continue;
        }
        std::string line = exactLine(e->second);
        offer(ways, entryAt(line, 0), typed + 1, code + "{Space}", false);
        for (char label : {',', '.', '\''})
            offer(ways, takeLabel(line, 0, label), typed + 1, code + label, false);
        if (line.size() > LONG_LINE)
            for (char label : {',', '.', '\''})
                offer(ways, takeLabel(line, 1, label), typed + 2, code + "{}}" + scriptKey(label), false);
        if (typed == 4) {
            // A full code with one entry and nothing longer commits by itself; otherwise the
            // next code letter commits its first entry.
            bool alone = e->second.size() == 1 && completion == firstCompletion.end();
            offer(ways, entryAt(line, 0), 4, code, !alone);
        }
    }
    return ways;
}
