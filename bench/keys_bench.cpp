// Cost of one key through the IME interface (ImeProcessKey then ImeToAsciiEx), typing
// common codes one after another as a typist does: in five-stroke mode the next code's
// first letter commits a four-letter code that is still waiting.
#include "frontend/engine.h"
#include "frontend/imeexports.h"
#include "shapecode/shapecode.h"

#include "gbktext.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Unit {
    std::string keys;
    std::string expected;  // GBK, empty when the file gives none
};

std::vector<Unit> loadUnits(const char* name, bool withExpected) {
    std::vector<Unit> units;
    // The key files live beside the source tree; QX_SHARED_DIR in the environment
    // points elsewhere (a worktree sits one level deeper than the main checkout).
    const char* shared = std::getenv("QX_SHARED_DIR");
    std::ifstream file(std::string(shared ? shared : QX_SHARED_DIR) + "/bench/" + name);
    std::string line;
    while (std::getline(file, line)) {
        auto tab = line.find('\t');
        Unit unit{line.substr(0, tab), ""};
        if (withExpected && tab != std::string::npos) utf8ToGbk(line.substr(tab + 1), unit.expected);
        units.push_back(unit);
    }
    return units;
}

CodeTable libraryTable(const char* library, const char* name) {
    HMODULE module = LoadLibraryA((std::string(QX_BIN_DIR) + "/" + library).c_str());
    if (!module) return {nullptr, 0};
    HRSRC resource = FindResourceA(module, name, "mb");
    HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return {nullptr, 0};
    return {static_cast<const unsigned char*>(data), static_cast<uint32_t>(SizeofResource(module, resource))};
}

void selectInputMethod(bool wubi) {
    const CodeTables tables = codeTables;  // the benchmark's own, kept across the reset
    resetProcessState();
    codeTables = tables;
    codeTables.tablesMissing = 1;  // no user phrase file: measure the engine, not the disk
    engineContext.chinesePunct = 1;
    engineContext.chineseMode = 1;
    modes.wubiMode = wubi ? 1 : 0;
    engineRequest(ZOZ_RESET, 1);
}

struct Typist {
    HIMC himc = ImmCreateContext();
    BYTE keyState[256] = {};
    std::vector<unsigned char> room = std::vector<unsigned char>(sizeof(TRANSMSGLIST) + 16 * sizeof(TRANSMSG));
    std::string committed;

    ~Typist() { ImmDestroyContext(himc); }

    // One key as the manager delivers it; returns its cost in nanoseconds.
    double key(char c) {
        const UINT vk = static_cast<UINT>(c >= 'a' && c <= 'z' ? c - 'a' + 'A'
                                          : c == ' '          ? VK_SPACE
                                          : c == 0x1B         ? VK_ESCAPE
                                                              : c);
        auto* list = reinterpret_cast<TRANSMSGLIST*>(room.data());
        list->uMsgCount = 16;
        auto start = std::chrono::steady_clock::now();
        UINT n = 0;
        if (ImeProcessKey(himc, vk, 1, keyState))
            n = ImeToAsciiEx(vk | (static_cast<UINT>(static_cast<unsigned char>(c)) << 8), 0, keyState, list, 0, himc);
        auto stop = std::chrono::steady_clock::now();
        for (UINT i = 0; i < n; ++i)
            if (list->TransMsg[i].message == WM_IME_COMPOSITION) committed += engineContext.lastResult;
        return std::chrono::duration<double, std::nano>(stop - start).count();
    }
};

struct Stats {
    double median = 0, p99 = 0;
};

Stats summarise(std::vector<double>& times) {
    if (times.empty()) return {};
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times[std::min(times.size() - 1, times.size() * 99 / 100)]};
}

void report(benchmark::State& state, std::vector<double>& times, const char* label) {
    Stats s = summarise(times);
    state.counters["keys"] = static_cast<double>(times.size());
    state.counters["median_ns"] = s.median;
    state.counters["p99_ns"] = s.p99;
    std::printf("%s: %zu keys, median %.0f ns, p99 %.0f ns per key\n", label, times.size(), s.median, s.p99);
}

void BM_FiveStrokeKeys(benchmark::State& state) {
    codeTables.WBMB = libraryTable("Dede.dll", "WBMB");
    if (!codeTables.WBMB.data) {
        state.SkipWithError("Dede.dll is not built next to the benchmark");
        return;
    }
    const auto units = loadUnits("wubi86_top1000.txt", true);
    if (units.empty()) {
        state.SkipWithError("the key file wubi86_top1000.txt was not found (set QX_SHARED_DIR)");
        return;
    }
    std::vector<double> times;
    size_t matched = 0;
    for (auto _ : state) {
        times.clear();
        selectInputMethod(true);
        Typist typist;
        // A text committed by a unit's first letter is the previous unit's; one committed
        // by a later letter (a unique four-letter code) is the unit's own.
        std::vector<std::string> got(units.size());
        for (size_t i = 0; i < units.size(); ++i) {
            for (size_t k = 0; k < units[i].keys.size(); ++k) {
                size_t before = typist.committed.size();
                times.push_back(typist.key(units[i].keys[k]));
                std::string text = typist.committed.substr(before);
                if (k == 0 && i > 0)
                    got[i - 1] += text;
                else
                    got[i] += text;
            }
            // A code the table does not know leaves letters behind: the typist drops
            // them with Esc rather than carry them into the next code.
            if (engineContext.codeLength != 0 && engineContext.codeLength != 4) times.push_back(typist.key(0x1B));
        }
        size_t before = typist.committed.size();
        times.push_back(typist.key(' '));  // the last code, if it still waits
        if (!units.empty()) got.back() += typist.committed.substr(before);
        matched = 0;
        for (size_t i = 0; i < units.size(); ++i) {
            matched += got[i] == units[i].expected ? 1 : 0;
            if (getenv("QX_BENCH_DEBUG") && got[i] != units[i].expected)
                std::printf("%s: got [%s] want [%s]\n", units[i].keys.c_str(), got[i].c_str(), units[i].expected.c_str());
        }
    }
    const size_t compared = units.size();
    state.counters["units"] = static_cast<double>(compared);
    state.counters["units_matching"] = static_cast<double>(matched);
    std::printf("five-stroke: %zu of %zu units committed their expected character\n", matched, compared);
    report(state, times, "five-stroke");
}

void BM_ShapeCodeEditionKeys(benchmark::State& state) {
    codeTables.MB4 = libraryTable("Qxmb.dll", "MB4");
    if (!codeTables.MB4.data) {
        state.SkipWithError("Qxmb.dll is not built next to the benchmark");
        return;
    }
    const auto units = loadUnits("pinyin_sentences.txt", false);
    const auto wubiUnits = loadUnits("wubi86_top1000.txt", false);
    if (units.empty() || wubiUnits.empty()) {
        state.SkipWithError("the key files were not found (set QX_SHARED_DIR)");
        return;
    }
    std::vector<double> times;
    for (auto _ : state) {
        times.clear();
        selectInputMethod(false);
        Typist typist;
        for (const auto* set : {&units, &wubiUnits})
            for (const Unit& unit : *set)
                for (char c : unit.keys) times.push_back(typist.key(c));
        times.push_back(typist.key(' '));
    }
    report(state, times, "shape-code edition");
}

}  // namespace

BENCHMARK(BM_FiveStrokeKeys)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ShapeCodeEditionKeys)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_MAIN();
