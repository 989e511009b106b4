// The sentence model read in place. Opening checks what every lookup relies on: the
// header, the counts and that each array lies whole inside the file. Nothing else is read
// then, so opening costs no pass over the entries and maps no page beyond the header's.
// The arrays' contents are not trusted: every index read from them is cut to its
// array's bounds before use, so a damaged file gives wrong scores, never a read outside.
#include "pinyin/languagemodel.h"

#include "core/engine.h"
#include "core/userfile.h"
#include "pinyin/languagemodelformat.h"

#include "pinyin/mappeddata.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

struct LanguageModel {
    const uint8_t* bytes;
    uint32_t words, bigrams, trigrams, trigramContexts, textSize;
    float unknownScore;
    float values[LANGUAGE_MODEL_VALUE_TABLES][LANGUAGE_MODEL_CODES];
    const uint8_t *wordEnd, *firstBigram, *unigramProb, *unigramBackoff, *bigramWord, *bigramProb,
        *bigramBackoff, *trigramContext, *trigramFirst, *trigramWord, *trigramProb;
    const char* text;
    MappedData mapped;  // set when it maps a file of its own
};

namespace {

uint32_t load32(const uint8_t* at) {
    uint32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// Entry i of a uint32 array, no larger than limit.
uint32_t bounded(const uint8_t* array, uint32_t i, uint32_t limit) {
    return std::min(load32(array + 4 * size_t(i)), limit);
}

// The position of id among the 3-byte ids [begin, end), which are sorted.
bool findId(const uint8_t* ids, uint32_t begin, uint32_t end, uint32_t id, uint32_t& at) {
    while (begin < end) {
        uint32_t middle = begin + (end - begin) / 2;
        uint32_t here = languageModelId(ids + 3 * size_t(middle));
        if (here == id) {
            at = middle;
            return true;
        }
        if (here < id)
            begin = middle + 1;
        else
            end = middle;
    }
    return false;
}

// Two-word entry of `second` after `first` (both known ids).
bool findBigram(const LanguageModel* m, uint32_t first, uint32_t second, uint32_t& at) {
    uint32_t begin = bounded(m->firstBigram, first, m->bigrams);
    uint32_t end = bounded(m->firstBigram, first + 1, m->bigrams);
    return findId(m->bigramWord, begin, end, second, at);
}

// Three-word entry of `third` under two-word entry `bigram`: its place among the contexts
// first, then among the context's entries.
bool findTrigram(const LanguageModel* m, uint32_t bigram, uint32_t third, uint32_t& at) {
    uint32_t begin = 0, end = m->trigramContexts;
    while (begin < end) {
        const uint32_t middle = begin + (end - begin) / 2;
        const uint32_t here = load32(m->trigramContext + 4 * size_t(middle));
        if (here == bigram) {
            return findId(m->trigramWord, bounded(m->trigramFirst, middle, m->trigrams),
                          bounded(m->trigramFirst, middle + 1, m->trigrams), third, at);
        }
        if (here < bigram)
            begin = middle + 1;
        else
            end = middle;
    }
    return false;
}

// The text of word id (1..words).
std::string_view wordText(const LanguageModel* m, uint32_t id) {
    uint32_t begin = bounded(m->wordEnd, id - 1, m->textSize);
    uint32_t end = bounded(m->wordEnd, id, m->textSize);
    return begin < end ? std::string_view(m->text + begin, end - begin) : std::string_view();
}

bool fill(LanguageModel& m, const void* bytes, size_t size) {
    LanguageModelHeader header;
    if (!bytes || size < sizeof header) return false;
    std::memcpy(&header, bytes, sizeof header);
    LanguageModelLayout layout;
    if (std::memcmp(header.magic, LANGUAGE_MODEL_MAGIC, sizeof header.magic) != 0 ||
        header.version != LANGUAGE_MODEL_VERSION || header.headerSize != sizeof header ||
        !languageModelLayout(header, layout) || header.fileSize != size || layout.end != size ||
        !std::isfinite(header.unknownScore))
        return false;
    const uint8_t* base = static_cast<const uint8_t*>(bytes);
    std::memcpy(m.values, base + layout.values, sizeof m.values);
    for (const auto& table : m.values)
        for (float v : table)
            if (!std::isfinite(v)) return false;
    m.bytes = base;
    m.words = header.words;
    m.bigrams = header.bigrams;
    m.trigrams = header.trigrams;
    m.trigramContexts = header.trigramContexts;
    m.textSize = header.textSize;
    m.unknownScore = header.unknownScore;
    m.wordEnd = base + layout.wordEnd;
    m.firstBigram = base + layout.firstBigram;
    m.unigramProb = base + layout.unigramProb;
    m.unigramBackoff = base + layout.unigramBackoff;
    m.bigramWord = base + layout.bigramWord;
    m.bigramProb = base + layout.bigramProb;
    m.bigramBackoff = base + layout.bigramBackoff;
    m.trigramContext = base + layout.trigramContext;
    m.trigramFirst = base + layout.trigramFirst;
    m.trigramWord = base + layout.trigramWord;
    m.trigramProb = base + layout.trigramProb;
    m.text = reinterpret_cast<const char*>(base + layout.text);
    return true;
}

// The process's model: opened once; a missing or unusable file is not looked for again
// until the model is released.
struct ProcessModel {
    bool tried = false;
    const LanguageModel* model = nullptr;
};
ProcessModel processModel;

}  // namespace

const LanguageModel* openLanguageModel(const void* bytes, size_t size) {
    LanguageModel* model = new (std::nothrow) LanguageModel{};
    if (model && !fill(*model, bytes, size)) {
        delete model;
        model = nullptr;
    }
    return model;
}

const LanguageModel* openLanguageModelFile(const char* path) {
    MappedData mapped;
    if (!mapDataFile(path, sizeof(LanguageModelHeader), mapped)) return nullptr;
    LanguageModel* model = const_cast<LanguageModel*>(openLanguageModel(mapped.view, mapped.size));
    if (!model) {
        unmapDataFile(mapped);
        return nullptr;
    }
    model->mapped = mapped;
    return model;
}

void closeLanguageModel(const LanguageModel* model) {
    if (!model) return;
    MappedData mapped = model->mapped;
    unmapDataFile(mapped);
    delete model;
}

uint32_t languageModelWord(const LanguageModel* model, std::string_view gbkWord) {
    if (!model || gbkWord.empty()) return 0;
    uint32_t begin = 1, end = model->words + 1;
    while (begin < end) {
        uint32_t middle = begin + (end - begin) / 2;
        int order = wordText(model, middle).compare(gbkWord);
        if (order == 0) return middle;
        if (order < 0)
            begin = middle + 1;
        else
            end = middle;
    }
    return 0;
}

float languageModelScore(const LanguageModel* model, uint32_t w1, uint32_t w2, uint32_t w3) {
    if (!model) return 0.0f;
    const LanguageModel& m = *model;
    const bool known3 = w3 >= 1 && w3 <= m.words, known2 = w2 >= 1 && w2 <= m.words;
    const bool known1 = known2 && w1 >= 1 && w1 <= m.words;
    float backoff = 0;
    uint32_t at;
    if (known1 && findBigram(model, w1, w2, at)) {
        uint32_t third;
        if (known3 && findTrigram(model, at, w3, third))
            return m.values[TrigramProbValues][m.trigramProb[third]];
        backoff = m.values[BigramBackoffValues][m.bigramBackoff[at]];
    }
    if (known2) {
        if (known3 && findBigram(model, w2, w3, at))
            return backoff + m.values[BigramProbValues][m.bigramProb[at]];
        backoff += m.values[UnigramBackoffValues][m.unigramBackoff[w2]];
    }
    return backoff + (known3 ? m.values[UnigramProbValues][m.unigramProb[w3]] : m.unknownScore);
}

const LanguageModel* pinyinLanguageModel() {
    if (!processModel.tried) {
        processModel.tried = true;
        char path[QX_PATH_SIZE];
        if (systemDirectoryFile(LANGUAGE_MODEL_FILE, path, sizeof path))
            processModel.model = openLanguageModelFile(path);
    }
    return processModel.model;
}

void releasePinyinLanguageModel() {
    closeLanguageModel(processModel.model);
    processModel = ProcessModel();
}
