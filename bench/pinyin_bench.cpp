// Pinyin mode through the IME interface: whole sentences typed as their letters, then
// Space, then more Spaces only while nothing has been committed (with the sentence row one
// Space commits the line; phrase by phrase, each converts the first row). Prints the cost
// of a key (median and p99) and how many sentences came out whole and how many characters
// stand in place: with the sentence row without a user phrase file, with one that learns
// while typing (starting empty) and with a full one of 1,999 lines (every key reads it;
// nothing more is learned), and phrase by phrase (the setting off) for comparison. The
// sentence model (pylm.dat, built beside the data libraries in QX_BIN_DIR) and the search's
// words file (pywords.dat) are placed in the system directory of a home of the benchmark's
// own, and taken away for the runs without them. The first key of a process is timed too. The
// sentences are the shared file's and, as a check that nothing is tuned to one file, our
// own (bench/pinyin_sentences_own.txt).
//
// When a letter is refused because the line is full, the typist does what a person does:
// takes back the syllable it was typing, converts and delivers what is on the line, and
// types on.
#include "core/engine.h"
#include "frontend/driver.h"
#include "frontend/imeexports.h"
#include "pinyin/languagemodel.h"
#include "pinyin/pinyin.h"
#include "pinyin/pinyintables.h"
#include "pinyin/pinyinwords.h"
#include "pinyin/sentencelattice.h"
#include "pinyin/sentencesearch.h"
#include "shapecode/codetable.h"

#include "gbktext.h"
#include "benchsupport.h"

#include <benchmark/benchmark.h>
#include <winapi_host.h>
#include <stdlib.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Sentence {
    std::string keys;
    std::string expected;  // GBK
};

std::string sharedSentences() {
    const char* shared = std::getenv("QX_SHARED_DIR");
    return std::string(shared ? shared : QX_SHARED_DIR) + "/bench/pinyin_sentences.txt";
}

std::vector<Sentence> loadSentences(const std::string& path) {
    std::vector<Sentence> sentences;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        auto tab = line.find('\t');
        if (tab == std::string::npos) continue;
        Sentence s{line.substr(0, tab), ""};
        utf8ToGbk(line.substr(tab + 1), s.expected);
        sentences.push_back(s);
    }
    return sentences;
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

enum class PhraseFile { none, learning, full };

// A home of the benchmark's own, so that placing the model touches no user's system
// directory; the model (or the search's words file) is linked into it or taken out of it.
bool placeDataFile(const char* name, bool wanted) {
    static const std::string home = [] {
        const char* directory = std::getenv("TMPDIR");
        std::string path =
            std::string(directory && directory[0] ? directory : "/tmp") + "/qx_pinyin_benchXXXXXX";
        if (!mkdtemp(path.data())) return std::string();
        winapiSetHome(path.c_str());
        std::atexit([] {
            std::error_code e;
            std::filesystem::remove_all(winapiHome(), e);
        });
        return path;
    }();
    if (home.empty()) return false;
    std::error_code e;
    const std::filesystem::path system = home + "/system", source = std::string(QX_BIN_DIR) + "/" + name;
    std::filesystem::create_directories(system, e);
    std::filesystem::remove(system / name, e);
    if (!wanted) return true;
    std::filesystem::create_symlink(source, system / name, e);
    return std::filesystem::is_regular_file(system / name, e);
}

// A full learned-phrase file, as a user's grows over time: 1,999 lines of initials codes of
// four to seven letters and phrases of as many characters of GB2312's first level, in a
// fixed pseudo-random order. (Random phrases under two or three initials would stand first
// under most of the sentences' syllables and hide the tables' phrases; the speed is the
// same, since every key reads the whole file.)
std::string writeFullPhraseFile() {
    const char* directory = std::getenv("TMPDIR");
    std::string path =
        std::string(directory && directory[0] ? directory : "/tmp") + "/qx_pinyin_bench_phrases.rt";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return "";
    uint32_t seed = 1999;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    for (int line = 0; line < 1999; ++line) {
        const uint32_t n = 4 + next(4);
        char code[9] = "        ";
        std::string phrase;
        for (uint32_t i = 0; i < n; ++i) {
            code[i] = static_cast<char>('a' + next(26));
            phrase += static_cast<char>(0xB0 + next(0x28));
            phrase += static_cast<char>(0xA1 + next(0x5E));
        }
        std::fprintf(file, "%s%s\r\n", code, phrase.c_str());
    }
    std::fclose(file);
    dateAsSavedEarlier(path);
    return path;
}

void selectPinyinMode(PhraseFile phrases, bool sentenceRow) {
    const CodeTables tables = codeTables;
    resetProcessState();
    codeTables = tables;
    engineContext.chinesePunct = 1;
    engineContext.chineseMode = 1;
    engineRequest(ZOZ_RESET, 1);
    modes.pinyinMode = 1;
    modes.sentenceInput = sentenceRow ? 1 : 0;
    if (phrases == PhraseFile::learning) {
        setUserPhraseFile("PYCZ.rt");
        std::remove(modes.userPhraseFile);  // the host maps the path; a missing file is empty
        if (FILE* f = std::fopen(modes.userPhraseFile, "w")) std::fclose(f);
    } else if (phrases == PhraseFile::full) {
        const std::string path = writeFullPhraseFile();
        copyText(modes.userPhraseFile, sizeof modes.userPhraseFile, path.c_str());
    }
}

// The time this thread ran: the machine is shared, and a key that waits for another
// process's time slice (4 ms here) says nothing of the key.
double threadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

struct Typist {
    HIMC himc = ImmCreateContext();
    BYTE keyState[256] = {};
    std::vector<unsigned char> room =
        std::vector<unsigned char>(sizeof(TRANSMSGLIST) + 16 * sizeof(TRANSMSG));
    std::string committed;
    std::vector<double> times, cpuTimes;

    ~Typist() { ImmDestroyContext(himc); }

    void key(UINT vk, unsigned char ch) {
        auto* list = reinterpret_cast<TRANSMSGLIST*>(room.data());
        list->uMsgCount = 16;
        const double cpuStart = threadCpuNs();
        auto start = std::chrono::steady_clock::now();
        UINT n = 0;
        if (ImeProcessKey(himc, vk, 1, keyState))
            n = ImeToAsciiEx(vk | (static_cast<UINT>(ch) << 8), 0, keyState, list, 0, himc);
        auto stop = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::nano>(stop - start).count());
        cpuTimes.push_back(threadCpuNs() - cpuStart);
        if (std::getenv("QX_BENCH_SLOW") && times.back() > 1e6)
            std::printf("SLOW %.2f ms key %c line [%s]\n", times.back() / 1e6, ch ? ch : '<',
                        pinyin.line.text);
        for (UINT i = 0; i < n; ++i)
            if (list->TransMsg[i].message == WM_IME_COMPOSITION) {
                char text[sizeof engineContext.modeResult] = {};
                LONG bytes = ImmGetCompositionStringA(himc, GCS_RESULTSTR, text, sizeof text - 1);
                if (bytes > 0) committed.append(text, static_cast<size_t>(bytes));
            }
    }
    void letter(char c) { key(static_cast<UINT>(c - 'a' + 'A'), static_cast<unsigned char>(c)); }
    void space() { key(VK_SPACE, ' '); }
    void backspace() { key(VK_BACK, 0); }
    std::string line() const { return pinyin.line.text; }

    // Space, and more Spaces while nothing has been committed.
    void convertAll() {
        const size_t before = committed.size();
        for (int guard = 0; guard < 70 && !line().empty() && committed.size() == before; ++guard) space();
    }

    void typeSentence(const std::string& keys) {
        std::string pending = keys;
        for (size_t i = 0; i < pending.size(); ++i) {
            const std::string before = line();
            letter(pending[i]);
            const auto letters = std::count_if(before.begin(), before.end(), [](char b) { return b != ' '; });
            if (line() != before || letters < PINYIN_LETTERS_MAX) continue;
            // Full: take back the unfinished syllable, deliver the rest, type on.
            size_t separator = before.rfind(' ');
            size_t partial = separator == std::string::npos ? 0 : before.size() - separator - 1;
            for (size_t k = 0; k < partial; ++k) backspace();
            convertAll();
            pending.insert(i, before.substr(before.size() - partial));
            --i;
            if (partial == before.size()) break;  // one syllable fills the line: give up
        }
        convertAll();
    }
};

// Resident pages of the process, in kilobytes.
long residentKb() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Resident pages of the mappings of one file (by its name), in kilobytes: what a process
// holds of the model or the words file. The pages are the page cache's, shared by every
// process that maps the file.
long mappedResidentKb(const char* name) {
    std::ifstream smaps("/proc/self/smaps");
    const std::string suffix = std::string("/") + name;
    long total = 0;
    bool inFile = false;
    for (std::string line; std::getline(smaps, line);) {
        const size_t space = line.find(' ');
        if (!line.empty() && std::isxdigit(static_cast<unsigned char>(line[0])) && line.find('-') < space) {
            inFile = line.size() >= suffix.size() && line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0;
        } else if (inFile && line.rfind("Rss:", 0) == 0) {
            total += std::atol(line.c_str() + 4);
        }
    }
    return total;
}

struct Stats {
    double median = 0, p99 = 0;
};

Stats summarise(std::vector<double> times) {
    if (times.empty()) return {};
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times[std::min(times.size() - 1, times.size() * 99 / 100)]};
}

// Same characters in the same places, over the longer of the two texts.
size_t matchingCharacters(const std::string& got, const std::string& want) {
    size_t same = 0;
    for (size_t i = 0; i + 1 < want.size() && i + 1 < got.size(); i += 2)
        if (got.compare(i, 2, want, i, 2) == 0) ++same;
    return same;
}

struct Accuracy {
    size_t whole = 0, sentences = 0, characters = 0, charactersWanted = 0;
    double firstKey = 0, firstKeyCpu = 0;  // ns: the first key after the process state was reset
};

// Types every sentence of one file; the times of its keys go to times.
Accuracy typeFile(const std::vector<Sentence>& sentences, PhraseFile phrases, bool sentenceRow,
                  std::vector<double>& times, std::vector<double>& cpuTimes, bool show) {
    selectPinyinMode(phrases, sentenceRow);
    Typist typist;
    Accuracy a;
    a.sentences = sentences.size();
    for (const Sentence& s : sentences) {
        const size_t before = typist.committed.size();
        typist.typeSentence(s.keys);
        const std::string got = typist.committed.substr(before);
        a.whole += got == s.expected ? 1 : 0;
        a.characters += matchingCharacters(got, s.expected);
        a.charactersWanted += s.expected.size() / 2;
        if (show && got != s.expected) {
            std::string gotUtf8, wantUtf8;
            gbkToUtf8(got, gotUtf8);
            gbkToUtf8(s.expected, wantUtf8);
            std::printf("%s: got %s want %s\n", s.keys.c_str(), gotUtf8.c_str(), wantUtf8.c_str());
        }
    }
    if (!typist.times.empty()) {
        a.firstKey = typist.times.front();
        a.firstKeyCpu = typist.cpuTimes.front();
    }
    times.insert(times.end(), typist.times.begin(), typist.times.end());
    cpuTimes.insert(cpuTimes.end(), typist.cpuTimes.begin(), typist.cpuTimes.end());
    return a;
}

void runSentences(benchmark::State& state, PhraseFile phrases, bool sentenceRow = true, bool model = true,
                  bool words = true) {
    if (!placeDataFile("pylm.dat", model) && model) {
        state.SkipWithError(
            "pylm.dat is not built next to the benchmark (install libime-data-language-model)");
        return;
    }
    if (!placeDataFile("pywords.dat", words) && words) {
        state.SkipWithError("pywords.dat is not built next to the benchmark");
        return;
    }
    codeTables.PYMB = libraryTable("pymb.dll", "PYMB");
    codeTables.PYCZ = libraryTable("pymb.dll", "PYCZ");
    if (!codeTables.PYMB.data || !codeTables.PYCZ.data) {
        state.SkipWithError("pymb.dll is not built next to the benchmark");
        return;
    }
    const auto shared = loadSentences(sharedSentences());
    const auto own = loadSentences(std::string(QX_SOURCE_DIR) + "/bench/pinyin_sentences_own.txt");
    if (shared.empty()) {
        state.SkipWithError("pinyin_sentences.txt was not found (set QX_SHARED_DIR)");
        return;
    }
    // Opening the model alone, as the first pinyin key of a process does.
    releasePinyinSentence();
    releasePinyinWords();
    releasePinyinLanguageModel();
    const long residentBefore = residentKb();
    const auto openStart = std::chrono::steady_clock::now();
    const bool modelThere = pinyinLanguageModel() != nullptr;
    const double openNs =
        std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - openStart).count();
    // Opening the words file and preparing the search's dictionary from it (or, without it,
    // from the phrase table), as the first key does; thread time.
    double prepareCpuNs = 0, indexCpuNs = 0;
    bool tableFromFile = false;
    {
        // The syllable table's index comes first: the rows' lookups build it on the first
        // key, with or without the sentence row.
        releasePinyinIndexes();
        releasePinyinWords();
        double start = threadCpuNs();
        forEachSyllableIndexed(&codeTables.PYMB, [](std::string_view, const char* const*, uint32_t) {});
        indexCpuNs = threadCpuNs() - start;
        SentenceDictionary dictionary;
        start = threadCpuNs();
        dictionary.prepare(&codeTables.PYMB, &codeTables.PYCZ, pinyinWords());
        prepareCpuNs = threadCpuNs() - start;
        tableFromFile = dictionary.tableWordsFromFile();
    }
    // A held-out corpus (scripts/pinyin-corpus), typed once with the sentence row and no
    // phrase file; its keys are not timed with the others.
    const char* corpusPath = std::getenv("QX_PINYIN_CORPUS");
    const auto corpus = corpusPath && sentenceRow && phrases == PhraseFile::none ? loadSentences(corpusPath)
                                                                                  : std::vector<Sentence>();
    std::vector<double> times, cpuTimes;
    Accuracy onShared, onOwn, onCorpus;
    bool first = true;
    for (auto _ : state) {
        times.clear();
        cpuTimes.clear();
        const bool show = first && std::getenv("QX_BENCH_DEBUG");
        onShared = typeFile(shared, phrases, sentenceRow, times, cpuTimes, show);
        onOwn = typeFile(own, phrases, sentenceRow, times, cpuTimes, show);
        first = false;
    }
    if (!corpus.empty()) {
        std::vector<double> corpusTimes, corpusCpuTimes;
        onCorpus = typeFile(corpus, phrases, sentenceRow, corpusTimes, corpusCpuTimes,
                            std::getenv("QX_BENCH_DEBUG_CORPUS") != nullptr);
        std::printf("  corpus lines:     %zu of %zu whole, %zu of %zu characters in place (%.2f%%)\n",
                    onCorpus.whole, onCorpus.sentences, onCorpus.characters, onCorpus.charactersWanted,
                    100.0 * static_cast<double>(onCorpus.characters) /
                        static_cast<double>(std::max<size_t>(1, onCorpus.charactersWanted)));
        state.counters["corpus_whole"] = static_cast<double>(onCorpus.whole);
    }
    // What the model, the words and the search's dictionary added to the resident memory:
    // the pages of the files that were read and the dictionary's own.
    const long residentAdded = residentKb() - residentBefore;
    const Stats s = summarise(times), cpu = summarise(cpuTimes);
    const char* label = !sentenceRow                  ? "pinyin phrase by phrase, no phrase file"
                        : !words                      ? "pinyin sentence row, no phrase file, no words file"
                        : phrases == PhraseFile::none ? "pinyin sentence row, no phrase file"
                        : phrases == PhraseFile::learning ? "pinyin sentence row, learning from an empty file"
                                                          : "pinyin sentence row, phrase file of 1,999 lines";
    state.counters["keys"] = static_cast<double>(times.size());
    state.counters["median_ns"] = s.median;
    state.counters["p99_ns"] = s.p99;
    state.counters["cpu_median_ns"] = cpu.median;
    state.counters["cpu_p99_ns"] = cpu.p99;
    state.counters["sentences_whole"] = static_cast<double>(onShared.whole);
    state.counters["first_key_ns"] = std::max(onShared.firstKey, onOwn.firstKey);
    state.counters["first_key_cpu_ns"] = std::max(onShared.firstKeyCpu, onOwn.firstKeyCpu);
    state.counters["resident_added_kb"] = static_cast<double>(residentAdded);
    std::printf(
        "%s, %s: %zu keys, median %.1f us, p99 %.1f us per key (thread time: %.1f, %.1f us)\n"
        "  shared sentences: %zu of %zu whole, %zu of %zu characters in place\n"
        "  own sentences:    %zu of %zu whole, %zu of %zu characters in place\n"
        "  first key of a process %.2f ms, thread time %.2f ms (model opened alone: %.3f ms; syllable "
        "index of the rows %.2f ms; words file opened and the search's dictionary prepared: %.2f ms; "
        "thread time, %s)\n"
        "  resident memory added by typing both files: %ld KB (pages of pylm.dat %ld KB, of pywords.dat %ld KB)\n",
        label, pinyinLanguageModel() ? "with the sentence model" : "without a model", times.size(),
        s.median / 1000, s.p99 / 1000, cpu.median / 1000, cpu.p99 / 1000, onShared.whole, onShared.sentences,
        onShared.characters, onShared.charactersWanted, onOwn.whole, onOwn.sentences, onOwn.characters,
        onOwn.charactersWanted, std::max(onShared.firstKey, onOwn.firstKey) / 1e6,
        std::max(onShared.firstKeyCpu, onOwn.firstKeyCpu) / 1e6, modelThere ? openNs / 1e6 : 0.0,
        indexCpuNs / 1e6, prepareCpuNs / 1e6,
        tableFromFile ? "the table's words from the file" : "the table's words built", residentAdded,
        mappedResidentKb("pylm.dat"), mappedResidentKb("pywords.dat"));
}

void BM_PinyinSentences(benchmark::State& state) { runSentences(state, PhraseFile::none); }
void BM_PinyinSentencesLearning(benchmark::State& state) { runSentences(state, PhraseFile::learning); }
void BM_PinyinSentencesFullPhraseFile(benchmark::State& state) { runSentences(state, PhraseFile::full); }
void BM_PinyinPhraseByPhrase(benchmark::State& state) { runSentences(state, PhraseFile::none, false); }
void BM_PinyinSentencesNoModel(benchmark::State& state) {
    runSentences(state, PhraseFile::none, true, false);
}
void BM_PinyinSentencesNoWordsFile(benchmark::State& state) {
    runSentences(state, PhraseFile::none, true, true, false);
}
void BM_PinyinSentencesNoModelFullPhraseFile(benchmark::State& state) {
    runSentences(state, PhraseFile::full, true, false);
}

}  // namespace

BENCHMARK(BM_PinyinSentences)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PinyinSentencesLearning)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PinyinSentencesFullPhraseFile)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PinyinPhraseByPhrase)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PinyinSentencesNoModel)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PinyinSentencesNoWordsFile)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PinyinSentencesNoModelFullPhraseFile)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_MAIN();
