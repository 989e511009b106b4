// keycost: how many keys a text costs with a packed code table, typed as the shape-code
// engine takes keys (the letters of a code, then Space or the label that chooses).
//   keycost [--characters] [--script FILE] TABLE.bin TEXT.txt
// TABLE.bin is a compiled packed table (MB1, MB4, WBMB ...); TEXT.txt is UTF-8. Every
// run of GB2312 ideographs is typed the cheapest way the table allows, words included
// unless --characters; punctuation and everything else is left out of the count. With
// --script the keys go to FILE in the key-script language, run after run, so that
// qxhost can type them and show that they give the text back.
#include "gbktext.h"
#include "typingcost.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

namespace {

bool isIdeograph(const std::string& gbk, size_t at) {
    unsigned char lead = static_cast<unsigned char>(gbk[at]);
    return at + 1 < gbk.size() && lead >= 0xB0 && lead <= 0xF7 &&
           static_cast<unsigned char>(gbk[at + 1]) >= 0xA1;
}

const Way missing{};            // the step over a character no key chooses
constexpr long MISSING = 1000;  // its price while the cheapest path is sought: avoided where possible
std::string missed;             // those characters, to report

struct Cost {
    long keys = 0;
    long characters = 0;
    long untypable = 0;
};

// The cheapest keys for one run of ideographs: a path over the run where each step is an
// entry of the table. An open step (a full code left for the next letter to commit) costs
// one Space more when it ends the run.
void typeRun(const std::string& run, const std::map<std::string, Ways>& ways, size_t longest,
             bool charactersOnly, Cost& cost, std::string& script) {
    const size_t n = run.size() / 2;
    constexpr long NONE = std::numeric_limits<long>::max() / 2;
    struct State {
        long keys = NONE;
        size_t from = 0;
        const Way* way = nullptr;
    };
    // best[i][open]: cheapest way to type the first i characters, ending open or closed.
    std::vector<std::array<State, 2>> best(n + 1);
    best[0][0].keys = 0;
    for (size_t i = 0; i < n; ++i)
        for (int open = 0; open < 2; ++open) {
            if (best[i][open].keys == NONE) continue;
            for (size_t len = 1; len <= longest && i + len <= n; ++len) {
                if (charactersOnly && len > 1) break;
                auto w = ways.find(run.substr(2 * i, 2 * len));
                if (w == ways.end()) {
                    // A character no key chooses: counted apart, and the rest typed around it.
                    long keys = best[i][open].keys + MISSING + (open ? 1 : 0);
                    if (len == 1 && keys < best[i + 1][0].keys)
                        best[i + 1][0] = {keys, i * 2 + open, &missing};
                    continue;
                }
                auto step = [&](const Way& way, int endsOpen) {
                    long keys = best[i][open].keys + way.keys;
                    if (keys < best[i + len][endsOpen].keys)
                        best[i + len][endsOpen] = {keys, i * 2 + open, &way};
                };
                if (w->second.closed.keys) step(w->second.closed, 0);
                if (w->second.hasOpen) step(w->second.open, 1);
            }
        }
    long closed = best[n][0].keys, open = best[n][1].keys == NONE ? NONE : best[n][1].keys + 1;
    int end = open < closed ? 1 : 0;
    std::vector<std::pair<const Way*, size_t>> steps;
    for (size_t at = n, state = end; at > 0;) {
        const State& s = best[at][state];
        steps.push_back({s.way, s.from / 2});
        at = s.from / 2;
        state = s.from % 2;
    }
    long skipped = 0;
    for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
        if (it->first == &missing) {
            ++skipped;
            missed += gbkToUtf8(run.substr(2 * it->second, 2));
            continue;
        }
        script += it->first->script;
    }
    cost.keys += (end ? open : closed) - skipped * MISSING;
    cost.characters += static_cast<long>(n) - skipped;
    cost.untypable += skipped;
    if (end) script += "{Space}";
}

int usage() {
    std::fprintf(stderr, "usage: keycost [--characters] [--script FILE] TABLE.bin TEXT.txt\n");
    return 2;
}

std::string readFile(const char* path, bool& ok) {
    std::ifstream in(path, std::ios::binary);
    ok = static_cast<bool>(in);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

int main(int argc, char** argv) {
    bool charactersOnly = false;
    const char* scriptPath = nullptr;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        if (std::strcmp(argv[i], "--characters") == 0)
            charactersOnly = true;
        else if (std::strcmp(argv[i], "--script") == 0 && i + 1 < argc)
            scriptPath = argv[++i];
        else
            return usage();
    }
    if (argc - i != 2) return usage();
    bool ok = false;
    std::string tableBytes = readFile(argv[i], ok);
    std::vector<TableRecord> records;
    if (!ok || !decodePackedTable(std::vector<uint8_t>(tableBytes.begin(), tableBytes.end()), records)) {
        std::fprintf(stderr, "keycost: %s is no packed table\n", argv[i]);
        return 1;
    }
    std::string text = readFile(argv[i + 1], ok), gbk;
    if (!ok || !utf8ToGbk(text, gbk)) {
        std::fprintf(stderr, "keycost: %s is no UTF-8 text that GBK can hold\n", argv[i + 1]);
        return 1;
    }
    std::map<std::string, Ways> ways = typingWays(records);
    size_t longest = 1;
    for (const auto& [t, w] : ways) longest = std::max(longest, t.size() / 2);

    Cost cost;
    std::string script;
    for (size_t at = 0; at < gbk.size();) {
        if (!isIdeograph(gbk, at)) {
            at += static_cast<unsigned char>(gbk[at]) >= 0x81 ? 2 : 1;
            continue;
        }
        size_t end = at;
        while (end < gbk.size() && isIdeograph(gbk, end)) end += 2;
        typeRun(gbk.substr(at, end - at), ways, longest, charactersOnly, cost, script);
        at = end;
    }
    if (scriptPath) {
        std::ofstream out(scriptPath, std::ios::binary);
        out << script;
        if (!out.flush()) {
            std::fprintf(stderr, "keycost: cannot write %s\n", scriptPath);
            return 1;
        }
    }
    std::printf("%ld characters, %ld keys, %.3f keys per character", cost.characters, cost.keys,
                cost.characters ? static_cast<double>(cost.keys) / cost.characters : 0.0);
    if (cost.untypable) std::printf(", %ld that no key chooses (%s)", cost.untypable, missed.c_str());
    std::printf("\n");
    return 0;
}
