// The pinyin sentence model as the sentence search uses it: opening the built pylm.dat
// (time, and memory the process gains), word lookups of every one to four characters of
// the sentences of pinyin_sentences_own.txt (hits and misses, as a lattice asks), and
// scores of word triples.
#include "pinyin/languagemodel.h"

#include "gbktext.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

const std::string modelPath = std::string(QX_BIN_DIR) + "/pylm.dat";

// Resident pages of the process, in kilobytes.
long residentKb() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Every run of one to four characters of the sentences, in GBK.
std::vector<std::string> candidateWords() {
    std::ifstream in(std::string(QX_SOURCE_DIR) + "/bench/pinyin_sentences_own.txt");
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) {
        std::string gbk = utf8ToGbk(line.substr(line.find('\t') + 1));
        for (size_t i = 0; i + 2 <= gbk.size(); i += 2)
            for (size_t n = 1; n <= 4 && i + 2 * n <= gbk.size(); ++n) out.push_back(gbk.substr(i, 2 * n));
    }
    return out;
}

void BM_LanguageModelOpen(benchmark::State& state) {
    const long before = residentKb();
    long gained = 0;
    for (auto _ : state) {
        const LanguageModel* model = openLanguageModelFile(modelPath.c_str());
        if (!model) {
            state.SkipWithError("pylm.dat not built next to the benchmark");
            return;
        }
        gained = residentKb() - before;
        closeLanguageModel(model);
    }
    state.counters["rss_kb"] = double(gained);
}

void BM_LanguageModelWord(benchmark::State& state) {
    const LanguageModel* model = openLanguageModelFile(modelPath.c_str());
    if (!model) {
        state.SkipWithError("pylm.dat not built next to the benchmark");
        return;
    }
    const std::vector<std::string> words = candidateWords();
    size_t i = 0, hits = 0;
    for (auto _ : state) {
        uint32_t id = languageModelWord(model, words[i++ % words.size()]);
        hits += id != 0;
        benchmark::DoNotOptimize(id);
    }
    state.counters["hit_share"] = double(hits) / double(state.iterations());
    closeLanguageModel(model);
}

void BM_LanguageModelScore(benchmark::State& state) {
    const LanguageModel* model = openLanguageModelFile(modelPath.c_str());
    if (!model) {
        state.SkipWithError("pylm.dat not built next to the benchmark");
        return;
    }
    // Known words of the sentences, in random triples.
    std::vector<uint32_t> ids;
    for (const std::string& w : candidateWords())
        if (uint32_t id = languageModelWord(model, w)) ids.push_back(id);
    std::mt19937 random(3);
    std::vector<uint32_t> triples(3 * 4096);
    for (uint32_t& id : triples) id = ids[random() % ids.size()];
    size_t i = 0;
    for (auto _ : state) {
        const uint32_t* t = &triples[3 * (i++ % 4096)];
        benchmark::DoNotOptimize(languageModelScore(model, t[0], t[1], t[2]));
    }
    closeLanguageModel(model);
}

}  // namespace

BENCHMARK(BM_LanguageModelOpen)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LanguageModelWord);
BENCHMARK(BM_LanguageModelScore);
BENCHMARK_MAIN();
