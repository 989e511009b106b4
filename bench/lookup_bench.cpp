// Lookup speed on the real tables: lookupPacked for codes of one to four letters on the
// five-stroke and shape-code tables, lookupGbk on the GBK table. The tables are the
// bytes the data build wraps into the libraries.
#include "shapecode/codetable.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> loadTable(const char* name) {
    std::ifstream in(std::string(QX_BIN_DIR) + "/../data/tables/" + name + ".bin", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Codes spread over the alphabet, so that buckets of different sizes are measured.
const char* const kCodes[4][6] = {
    {"a", "g", "k", "s", "y", "j"},
    {"aa", "gh", "kh", "sf", "yt", "jj"},
    {"aaa", "ghg", "khk", "sfa", "ytd", "jjg"},
    {"aaaa", "ghgh", "khkg", "sfah", "ytdh", "jjgh"},
};

// The tables alone: no user phrase file is read.
void lookup(benchmark::State& state, const char* name, bool gbk) {
    static std::vector<unsigned char> bytes;
    bytes = loadTable(name);
    if (bytes.empty()) {
        state.SkipWithError("table not built: build the data libraries first");
        return;
    }
    const CodeTable table{bytes.data(), static_cast<uint32_t>(bytes.size())};
    static char completions[COMPLETION_LIST_SIZE];
    char exact[EXACT_LIST_SIZE];
    const auto& codes = kCodes[state.range(0) - 1];
    size_t i = 0;
    for (auto _ : state) {
        completions[0] = exact[0] = '\0';
        const char* code = codes[i++ % 6];
        int half = gbk ? lookupGbk(&table, code, completions, exact)
                       : lookupPacked(&table, nullptr, code, completions, exact);
        benchmark::DoNotOptimize(half);
        benchmark::DoNotOptimize(exact);
    }
}

void BM_LookupPackedWBMB(benchmark::State& state) { lookup(state, "WBMB", false); }
void BM_LookupPackedMB4(benchmark::State& state) { lookup(state, "MB4", false); }
void BM_LookupGbkXGBK(benchmark::State& state) { lookup(state, "XGBK", true); }

}  // namespace

BENCHMARK(BM_LookupPackedWBMB)->DenseRange(1, 4);
BENCHMARK(BM_LookupPackedMB4)->DenseRange(1, 4);
BENCHMARK(BM_LookupGbkXGBK)->DenseRange(1, 4);

BENCHMARK_MAIN();
