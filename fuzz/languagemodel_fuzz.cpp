// Fuzzes the sentence model's reader: arbitrary bytes as a model file. Whatever opens is
// then asked for words and scores of every kind of id; nothing may read outside the bytes.
// Run: cmake --preset host-fuzz && cmake --build --preset host-fuzz --target languagemodel_fuzz
//      && build/host-fuzz/bin/languagemodel_fuzz -max_total_time=60
// Input: the model file. A copy whose header states the input's own size is opened too,
// so that mutations which change the size still reach the arrays.
#include "pinyin/languagemodel.h"
#include "pinyin/languagemodelformat.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

void exercise(const std::vector<uint8_t>& bytes) {
    const LanguageModel* model = openLanguageModel(bytes.data(), bytes.size());
    if (!model) return;
    LanguageModelHeader header;
    std::memcpy(&header, bytes.data(), sizeof header);
    const uint32_t words = header.words;
    // Ids from the bytes themselves, and the edges: 0, the last word, past the last.
    std::vector<uint32_t> ids = {0, 1, words, words + 1, 0xffffffffu};
    for (size_t i = 0; i + 4 <= bytes.size() && ids.size() < 40; i += 97) {
        uint32_t v;
        std::memcpy(&v, &bytes[i], 4);
        ids.push_back(words ? v % (words + 2) : v);
    }
    for (uint32_t a : ids)
        for (uint32_t b : ids)
            for (size_t k = 0; k < ids.size(); k += 3)
                check(!std::isnan(languageModelScore(model, a, b, ids[k])));
    // Words: slices of the input, and the empty word.
    check(languageModelWord(model, std::string_view()) == 0);
    for (size_t i = 0; i + 8 <= bytes.size() && i < 4096; i += 131) {
        std::string_view text(reinterpret_cast<const char*>(&bytes[i]), 1 + bytes[i] % 8);
        check(languageModelWord(model, text) <= words);
    }
    closeLanguageModel(model);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A buffer of its own, exactly the input's size, so a read past the end is caught.
    std::vector<uint8_t> bytes(data, data + size);
    exercise(bytes);
    if (size >= sizeof(LanguageModelHeader) && size <= 0xffffffffu) {
        const uint32_t own = uint32_t(size);
        std::memcpy(&bytes[offsetof(LanguageModelHeader, fileSize)], &own, sizeof own);
        exercise(bytes);
    }
    return 0;
}
