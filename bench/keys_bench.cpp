// Cost of one key through the IME interface (ImeProcessKey then ImeToAsciiEx), typing
// common characters one after another as a typist does, in each mode:
//   five-stroke          the codes of wubi86_top1000.txt; the next code's first letter
//                        commits a four-letter code that is still waiting
//   five-stroke-nofile   the same without a user-phrase file
//   shape-code-x         the same characters by their own codes in the shape-code
//                        edition's table, then Space or the label that takes them
//   shape-code-y         the same in the phonetic-shape edition's table
// Every mode but five-stroke-nofile reads a user-phrase file of 1,999 lines.
//
//   keys_bench [--mode NAME] [--iterations N]
// (--no-index: the tables without their index, walked whole) prints for each mode: keys, the median of the runs' medians, p50 and p99 over all keys
// (ns), units committed as expected, and the process's peak RSS. bench/keys_side_by_side
// runs each mode in a process of its own and adds instructions a key under valgrind,
// which counts only inside qxBenchKey.
#include "core/engine.h"
#include "frontend/imeexports.h"
#include "shapecode/shapecode.h"
#include "shapecode/packedrecord.h"
#include "shapecode/tableindex.h"

#include "gbktext.h"
#include "benchsupport.h"

#include <sys/resource.h>
#include <utime.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <string>
#include <vector>

// One key as the manager delivers it. Not inlined: valgrind counts instructions from
// its entry to its return.
extern "C" __attribute__((noinline)) UINT qxBenchKey(HIMC himc, UINT vk, UINT scan, BYTE* keyState,
                                                     TRANSMSGLIST* list) {
    if (!ImeProcessKey(himc, vk, 1, keyState)) return 0;
    return ImeToAsciiEx(vk | (scan << 8), 0, keyState, list, 0, himc);
}

namespace {

struct Unit {
    std::string keys;
    std::string expected;  // GBK, empty when the file gives none
};

std::vector<Unit> loadUnits(const char* name) {
    std::vector<Unit> units;
    // The key files live beside the source tree; QX_SHARED_DIR in the environment
    // points elsewhere (a worktree sits one level deeper than the main checkout).
    const char* shared = std::getenv("QX_SHARED_DIR");
    std::ifstream file(std::string(shared ? shared : QX_SHARED_DIR) + "/bench/" + name);
    std::string line;
    while (std::getline(file, line)) {
        auto tab = line.find('\t');
        Unit unit{line.substr(0, tab), ""};
        if (tab != std::string::npos) utf8ToGbk(line.substr(tab + 1), unit.expected);
        units.push_back(unit);
    }
    return units;
}

CodeTable libraryTable(const char* library, const char* name) {
    HMODULE module = LoadLibraryA((std::string(QX_BIN_DIR) + "/" + library).c_str());
    if (!module) return {};
    HRSRC resource = FindResourceA(module, name, "mb");
    HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return {};
    return {static_cast<const unsigned char*>(data), static_cast<uint32_t>(SizeofResource(module, resource))};
}

// A user-phrase file of 1,999 lines as a user builds one over time: four-letter codes,
// phrases of two to four characters of GB2312's first level, a fixed pseudo-random order.
std::string writeUserPhraseFile() {
    const char* directory = std::getenv("TMPDIR");
    std::string path = std::string(directory && directory[0] ? directory : "/tmp") + "/qx_keys_bench_phrases.rt";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return "";
    uint32_t seed = 1999;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    for (int line = 0; line < 1999; ++line) {
        char code[5];
        for (int i = 0; i < 4; ++i) code[i] = static_cast<char>('a' + next(25));
        code[4] = '\0';
        std::string phrase;
        for (uint32_t i = 0, n = 2 + next(3); i < n; ++i) {
            phrase += static_cast<char>(0xB0 + next(0x28));
            phrase += static_cast<char>(0xA1 + next(0x5E));
        }
        std::fprintf(file, "%s %s\r\n", code, phrase.c_str());
    }
    std::fclose(file);
    dateAsSavedEarlier(path);
    return path;
}

struct Mode {
    const char* name;
    bool wubi;
    int edition;  // phonetic edition flag for the shape-code modes
    bool userFile;
};

const Mode kModes[] = {
    {"five-stroke", true, 0, true},
    {"five-stroke-nofile", true, 0, false},
    {"shape-code-x", false, 0, true},
    {"shape-code-y", false, 1, true},
};

void selectInputMethod(const Mode& mode, const std::string& phraseFile) {
    const CodeTables tables = codeTables;  // the benchmark's own, kept across the reset
    resetProcessState();
    codeTables = tables;
    codeTables.tablesMissing = mode.userFile ? 0 : 1;
    if (mode.userFile) copyText(modes.userPhraseFile, sizeof modes.userPhraseFile, phraseFile.c_str());
    engineContext.chinesePunct = 1;
    engineContext.chineseMode = 1;
    modes.wubiMode = mode.wubi ? 1 : 0;
    modes.phoneticEdition = mode.edition;
    engineRequest(ZOZ_RESET, 1);
}

struct Typist {
    HIMC himc = ImmCreateContext();
    BYTE keyState[256] = {};
    std::vector<unsigned char> room = std::vector<unsigned char>(sizeof(TRANSMSGLIST) + 16 * sizeof(TRANSMSG));
    std::string committed;

    ~Typist() { ImmDestroyContext(himc); }

    // One key; returns its cost in nanoseconds.
    double key(char c) {
        const UINT vk = static_cast<UINT>(c >= 'a' && c <= 'z' ? c - 'a' + 'A'
                                          : c == ' '          ? VK_SPACE
                                          : c == 0x1B         ? VK_ESCAPE
                                          : c == ','          ? VK_OEM_COMMA
                                          : c == '.'          ? VK_OEM_PERIOD
                                          : c == '\''         ? VK_OEM_7
                                          : c == ';'          ? VK_OEM_1
                                          : c == '/'          ? VK_OEM_2
                                                              : c);
        auto* list = reinterpret_cast<TRANSMSGLIST*>(room.data());
        list->uMsgCount = 16;
        auto start = std::chrono::steady_clock::now();
        UINT n = qxBenchKey(himc, vk, static_cast<unsigned char>(c), keyState, list);
        auto stop = std::chrono::steady_clock::now();
        for (UINT i = 0; i < n; ++i)
            if (list->TransMsg[i].message == WM_IME_COMPOSITION) committed += engineContext.lastResult;
        return std::chrono::duration<double, std::nano>(stop - start).count();
    }
};

// The keys that type character in table: its code and Space for the first exact entry, or
// a label for the second to fourth; empty when none of its codes lists it that early.
std::string keysFor(const CodeTable& table, const std::string& character,
                    const std::map<std::string, std::vector<std::string>>& codesOf) {
    static const char* kChoice[] = {" ", ",", ".", "'"};
    auto found = codesOf.find(character);
    if (found == codesOf.end()) return "";
    std::string best;
    size_t bestPosition = 4;
    static char completions[COMPLETION_LIST_SIZE];
    char exact[EXACT_LIST_SIZE];
    for (const std::string& code : found->second) {
        completions[0] = exact[0] = '\0';
        lookupPacked(&table, nullptr, code.c_str(), completions, exact);
        // The first entry, then a space, a label and the next entry, and so on.
        std::vector<std::string> entries;
        const std::string list = exact;
        for (size_t at = 0; at <= list.size();) {
            size_t end = std::min(list.find(' ', at), list.size());
            entries.push_back(list.substr(at, end - at));
            at = end + 2;
        }
        size_t position = std::find(entries.begin(), entries.end(), character) - entries.begin();
        if (position > 3) continue;
        if (position < bestPosition || (position == bestPosition && code.size() + 1 < best.size())) {
            bestPosition = position;
            best = code + kChoice[position];
        }
    }
    return best;
}

// The codes of every single character of a packed table.
std::map<std::string, std::vector<std::string>> characterCodes(const CodeTable& table) {
    std::map<std::string, std::vector<std::string>> codes;
    const char letters[] = "abcdefghijklmnopqrstuvwxyz;/";
    auto u32 = [&](int k) {
        const unsigned char* b = table.data + 4 * k;
        return b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t{b[3]} << 24);
    };
    for (int bucket = 0; bucket < 28; ++bucket) {
        uint32_t at = 116 + u32(bucket);
        const uint32_t end = std::min<uint32_t>(116 + u32(bucket + 1), table.size);
        while (at + 4 <= end) {
            const unsigned char* r = table.data + at;
            if (r[1] & 0x20) {
                unsigned n = ((r[2] >> 7) << 3) | ((r[3] >> 7) << 2) | ((r[4] >> 7) << 1) | (r[5] >> 7);
                if (n < 2) break;
                at += 2 + 2 * n;
                continue;
            }
            std::string code(1, letters[bucket]);
            for (unsigned v : {packed::secondLetter(r[0], r[1]), packed::thirdLetter(r[0], r[1]), packed::fourthLetter(r[0], r[1])}) {
                if (v == 0 || v > 28) break;
                code += letters[v - 1];
            }
            std::string character{static_cast<char>(r[2] | 0x80), static_cast<char>(r[3] | 0x80)};
            codes[character].push_back(code);
            at += 4;
        }
    }
    return codes;
}

struct Run {
    std::vector<double> times;
    size_t matched = 0, compared = 0;
};

// Five-stroke: the file's own codes, the next code's first letter committing.
Run typeFiveStroke(const Mode& mode, const std::vector<Unit>& units, const std::string& phraseFile) {
    Run run;
    selectInputMethod(mode, phraseFile);
    Typist typist;
    // A text committed by a unit's first letter is the previous unit's; one committed by a
    // later letter (a unique four-letter code) is the unit's own.
    std::vector<std::string> got(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        for (size_t k = 0; k < units[i].keys.size(); ++k) {
            size_t before = typist.committed.size();
            run.times.push_back(typist.key(units[i].keys[k]));
            std::string text = typist.committed.substr(before);
            (k == 0 && i > 0 ? got[i - 1] : got[i]) += text;
        }
        // A code the table does not know leaves letters behind: the typist drops them
        // with Esc rather than carry them into the next code.
        if (engineContext.codeLength != 0 && engineContext.codeLength != 4) run.times.push_back(typist.key(0x1B));
    }
    size_t before = typist.committed.size();
    run.times.push_back(typist.key(' '));  // the last code, if it still waits
    if (!units.empty()) got.back() += typist.committed.substr(before);
    for (size_t i = 0; i < units.size(); ++i) run.matched += got[i] == units[i].expected ? 1 : 0;
    run.compared = units.size();
    return run;
}

// Shape-code editions: each unit's keys end with the key that chooses, so each unit's
// committed text is its own.
Run typeShapeCode(const Mode& mode, const std::vector<Unit>& units, const std::string& phraseFile) {
    Run run;
    selectInputMethod(mode, phraseFile);
    Typist typist;
    for (const Unit& unit : units) {
        size_t before = typist.committed.size();
        for (char c : unit.keys) run.times.push_back(typist.key(c));
        run.matched += typist.committed.substr(before) == unit.expected ? 1 : 0;
        if (engineContext.codeLength != 0) run.times.push_back(typist.key(0x1B));
    }
    run.compared = units.size();
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    const char* only = nullptr;
    int iterations = 5;
    bool noIndex = false;  // the tables walked whole, for comparison
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--mode") && i + 1 < argc) only = argv[++i];
        else if (!std::strcmp(argv[i], "--iterations") && i + 1 < argc) iterations = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--no-index")) noIndex = true;
        else if (!std::strncmp(argv[i], "--benchmark", 11)) continue;  // the old Google Benchmark flags
        else {
            std::fprintf(stderr, "usage: keys_bench [--mode NAME] [--iterations N]\n");
            return 2;
        }
    }
    const auto wubiUnits = loadUnits("wubi86_top1000.txt");
    if (wubiUnits.empty()) {
        std::fprintf(stderr, "keys_bench: the key file wubi86_top1000.txt was not found (set QX_SHARED_DIR)\n");
        return 1;
    }
    codeTables.WBMB = libraryTable("Dede.dll", "WBMB");
    codeTables.MB4 = libraryTable("Qxmb.dll", "MB4");
    codeTables.MB1 = libraryTable("Qxmb.dll", "MB1");
    if (!codeTables.WBMB.data || !codeTables.MB4.data || !codeTables.MB1.data) {
        std::fprintf(stderr, "keys_bench: Dede.dll and Qxmb.dll are not built next to the benchmark\n");
        return 1;
    }
    // As start-up does once the tables are loaded.
    if (!noIndex) indexCodeTables(codeTables);
    const std::string phraseFile = writeUserPhraseFile();
    bool ran = false;
    for (const Mode& mode : kModes) {
        if (only && std::strcmp(only, mode.name) != 0) continue;
        ran = true;
        std::vector<Unit> units = wubiUnits;
        if (!mode.wubi) {
            const CodeTable& table = mode.edition ? codeTables.MB1 : codeTables.MB4;
            const auto codes = characterCodes(table);
            units.clear();
            for (const Unit& unit : wubiUnits) {
                std::string keys = keysFor(table, unit.expected, codes);
                if (!keys.empty()) units.push_back({keys, unit.expected});
            }
        }
        std::vector<double> all, medians;
        Run run;
        for (int i = 0; i < iterations; ++i) {
            run = mode.wubi ? typeFiveStroke(mode, units, phraseFile) : typeShapeCode(mode, units, phraseFile);
            medians.push_back(percentile(run.times, 0.5));
            all.insert(all.end(), run.times.begin(), run.times.end());
        }
        struct rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("%s: %zu keys, median %.0f ns, p50 %.0f ns, p99 %.0f ns per key; %zu of %zu units as expected; "
                    "peak RSS %ld KB\n",
                    mode.name, run.times.size(), percentile(medians, 0.5), percentile(all, 0.5), percentile(all, 0.99),
                    run.matched, run.compared, usage.ru_maxrss);
    }
    if (!phraseFile.empty()) std::remove(phraseFile.c_str());
    if (!ran) {
        std::fprintf(stderr, "keys_bench: no mode named %s\n", only);
        return 2;
    }
    return 0;
}
