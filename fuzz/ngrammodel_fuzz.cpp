// Fuzzes mkdata's readers of n-gram models: arbitrary bytes as a KenLM binary file and as
// ARPA text. A model read from ARPA text is written back and must read back the same.
// Run: cmake --preset host-fuzz && cmake --build --preset host-fuzz --target ngrammodel_fuzz
//      && build/host-fuzz/bin/ngrammodel_fuzz -max_total_time=60
#include "ngrammodel.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

// Every entry names words of the model.
void checkIds(const NgramModel& m) {
    const size_t n = m.words.size();
    check(m.unigrams.size() == n && n > 0);
    for (const auto& b : m.bigrams) check(b.w1 < n && b.w2 < n);
    for (const auto& t : m.trigrams) check(t.w1 < n && t.w2 < n && t.w3 < n);
}

bool sameFloat(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0 || (a == 0 && b == 0); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    NgramModel model, again;
    std::string error;
    if (readKenlmBinary(bytes, model, error)) checkIds(model);
    if (!readArpa(bytes, model, error)) return 0;
    checkIds(model);
    check(model.words[0] == "<unk>");
    check(readArpa(arpaText(model), again, error));
    check(again.words == model.words && again.bigrams.size() == model.bigrams.size() &&
          again.trigrams.size() == model.trigrams.size());
    for (size_t i = 0; i < model.unigrams.size(); ++i)
        check(sameFloat(again.unigrams[i].prob, model.unigrams[i].prob) &&
              sameFloat(again.unigrams[i].backoff, model.unigrams[i].backoff));
    for (size_t i = 0; i < model.bigrams.size(); ++i)
        check(again.bigrams[i].w1 == model.bigrams[i].w1 && again.bigrams[i].w2 == model.bigrams[i].w2 &&
              sameFloat(again.bigrams[i].prob, model.bigrams[i].prob));
    return 0;
}
