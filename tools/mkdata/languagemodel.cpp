#include "languagemodel.h"

#include "charsets.h"
#include "gbktext.h"
#include "sources.h"

#include "pinyin/languagemodelformat.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Values to 8-bit codes: the distinct values themselves when there are few enough, else
// centres that keep the largest error smallest (one of them exactly 0 for back-offs, which
// are mostly 0). Equal-population bins would serve the crowd of rare words and leave the
// few frequent ones, which sentences are made of, in wide bins.
class Quantiser {
public:
    Quantiser(std::vector<float> values, bool exactZero) {
        std::sort(values.begin(), values.end());
        values.erase(std::unique(values.begin(), values.end()), values.end());
        const size_t bins = LANGUAGE_MODEL_CODES - (exactZero ? 1 : 0);
        if (exactZero) values.erase(std::remove(values.begin(), values.end(), 0.0f), values.end());
        if (values.size() <= bins) {
            centres_ = values;
        } else {
            // The least half-width that covers every value with `bins` intervals, found by
            // bisection; each interval from a value to that value plus twice the width.
            double low = 0, high = (double(values.back()) - values.front()) / 2;
            for (int step = 0; step < 60; ++step) {
                double middle = (low + high) / 2;
                (cover(values, middle, nullptr) <= bins ? high : low) = middle;
            }
            cover(values, high, &centres_);
        }
        if (exactZero) centres_.push_back(0.0f);
        if (centres_.empty()) centres_.push_back(0.0f);
        std::sort(centres_.begin(), centres_.end());
        centres_.erase(std::unique(centres_.begin(), centres_.end()), centres_.end());
    }
    uint8_t code(float value) const {
        auto above = std::lower_bound(centres_.begin(), centres_.end(), value);
        if (above == centres_.begin()) return 0;
        if (above == centres_.end()) return uint8_t(centres_.size() - 1);
        size_t i = size_t(above - centres_.begin());
        return uint8_t(value - centres_[i - 1] < centres_[i] - value ? i - 1 : i);
    }
    // The full table; codes past the last centre decode as the last one.
    void write(float* table) const {
        for (size_t i = 0; i < LANGUAGE_MODEL_CODES; ++i)
            table[i] = centres_[std::min(i, centres_.size() - 1)];
    }

private:
    // Intervals of width 2 * halfWidth, each starting at the first value not yet covered;
    // their midpoints go to centres.
    static size_t cover(const std::vector<float>& sorted, double halfWidth, std::vector<float>* centres) {
        size_t count = 0;
        for (size_t i = 0; i < sorted.size(); ++count) {
            const double first = sorted[i];
            size_t j = i;
            while (j + 1 < sorted.size() && sorted[j + 1] <= first + 2 * halfWidth) ++j;
            if (centres) centres->push_back(float((first + sorted[j]) / 2));
            i = j + 1;
        }
        return count;
    }

    std::vector<float> centres_;
};

struct Pair {
    uint32_t a, b;  // new ids
    float prob, backoff;
    double worth;  // log10 of P(a b) times what the entry adds over its back-off
};
struct Triple {
    uint32_t context;  // index into the pairs
    uint32_t c;
    float prob;
    double worth;
};

void put32(std::string& file, uint64_t at, uint32_t value) { std::memcpy(&file[at], &value, 4); }
void put24(std::string& file, uint64_t at, uint32_t value) {
    file[at] = char(value & 0xff);
    file[at + 1] = char((value >> 8) & 0xff);
    file[at + 2] = char((value >> 16) & 0xff);
}

}  // namespace

bool readTypableCharacters(const std::string& pymbSource, std::unordered_set<char32_t>& out) {
    bool good = true;
    bool read = readList(pymbSource, [&](size_t, const std::vector<std::string_view>& columns) {
        std::u32string characters;
        if (columns.size() != 2 || !decodeUtf8(columns[1], characters)) {
            good = false;
            return;
        }
        out.insert(characters.begin(), characters.end());
    });
    return read && good && !out.empty();
}

bool buildLanguageModel(const NgramModel& model, const std::unordered_set<char32_t>& typable,
                        const LanguageModelOptions& options, std::string& file, LanguageModelCounts& counts,
                        std::string& error) {
    counts = LanguageModelCounts();

    // Words: the typable GBK ones, numbered by their GBK bytes.
    struct Kept {
        std::string gbk;
        uint32_t source;
    };
    std::vector<Kept> kept;
    std::string gbk;
    std::u32string characters;
    for (uint32_t id = 1; id < model.words.size(); ++id) {
        const std::string& word = model.words[id];
        bool good = decodeUtf8(word, characters) && allIn(characters, typable) && utf8ToGbk(word, gbk) &&
                    isDoubleByteText(gbk) && std::isfinite(model.unigrams[id].prob);
        if (good)
            kept.push_back({gbk, id});
        else
            ++counts.wordsDropped;
    }
    std::sort(kept.begin(), kept.end(), [](const Kept& x, const Kept& y) { return x.gbk < y.gbk; });
    if (kept.empty() || kept.size() > LANGUAGE_MODEL_MAX_WORDS) {
        error = kept.empty() ? "no word of the model is typable in GBK" : "too many words";
        return false;
    }
    std::vector<uint32_t> newId(model.words.size(), 0);
    for (size_t i = 0; i < kept.size(); ++i) newId[kept[i].source] = uint32_t(i + 1);

    // Entries among kept words, each with the probability of its whole word sequence.
    std::vector<Pair> pairs;
    for (const auto& b : model.bigrams) {
        uint32_t a = newId[b.w1], c = newId[b.w2];
        if (!a || !c || !std::isfinite(b.prob) || !std::isfinite(b.backoff)) continue;
        const double joint = double(model.unigrams[b.w1].prob) + b.prob;
        // What the entry adds over the estimate that stands in for it once it is gone.
        const double estimate = double(model.unigrams[b.w1].backoff) + model.unigrams[b.w2].prob;
        pairs.push_back({a, c, b.prob, b.backoff, joint + std::log10(std::fabs(b.prob - estimate) + 1e-6)});
    }
    std::sort(pairs.begin(), pairs.end(),
              [](const Pair& x, const Pair& y) { return x.a != y.a ? x.a < y.a : x.b < y.b; });
    auto findPair = [&pairs](uint32_t a, uint32_t b) -> int64_t {
        auto at = std::lower_bound(pairs.begin(), pairs.end(), std::make_pair(a, b),
                                   [](const Pair& p, const auto& key) {
                                       return p.a != key.first ? p.a < key.first : p.b < key.second;
                                   });
        return at != pairs.end() && at->a == a && at->b == b ? at - pairs.begin() : -1;
    };
    std::vector<Triple> triples;
    for (const auto& t : model.trigrams) {
        uint32_t a = newId[t.w1], b = newId[t.w2], c = newId[t.w3];
        if (!a || !b || !c || !std::isfinite(t.prob)) continue;
        int64_t context = findPair(a, b);  // a three-word entry lives under its first two words
        if (context < 0) continue;
        const Pair& ab = pairs[size_t(context)];
        const int64_t bc = findPair(b, c);
        const double shorter = bc >= 0 ? double(pairs[size_t(bc)].prob)
                                       : double(model.unigrams[t.w2].backoff) + model.unigrams[t.w3].prob;
        const double joint = double(model.unigrams[t.w1].prob) + ab.prob + t.prob;
        triples.push_back({uint32_t(context), c, t.prob,
                           joint + std::log10(std::fabs(t.prob - (ab.backoff + shorter)) + 1e-6)});
    }
    // A kept three-word entry needs its two-word context kept.
    for (const Triple& t : triples) pairs[t.context].worth = std::max(pairs[t.context].worth, t.worth);
    std::sort(triples.begin(), triples.end(), [](const Triple& x, const Triple& y) {
        return x.context != y.context ? x.context < y.context : x.c < y.c;
    });

    size_t textSize = 0;
    for (const Kept& k : kept) textSize += k.gbk.size();
    LanguageModelHeader header{};
    std::memcpy(header.magic, LANGUAGE_MODEL_MAGIC, sizeof header.magic);
    header.version = LANGUAGE_MODEL_VERSION;
    header.headerSize = sizeof header;
    header.words = uint32_t(kept.size());
    header.textSize = uint32_t(textSize);
    header.unknownScore = std::isfinite(model.unigrams[0].prob) ? model.unigrams[0].prob : -100.0f;

    // Prune: the lowest threshold at or above the given one whose entries fit. A two-word
    // entry is worth at least as much as any three-word entry under it, so a kept
    // three-word entry keeps its context.
    std::vector<uint8_t> pairKept(pairs.size()), tripleKept(triples.size());
    LanguageModelLayout layout{};
    auto fits = [&](double threshold) {
        size_t n2 = 0, n3 = 0, contexts = 0;
        for (size_t i = 0; i < pairs.size(); ++i) n2 += pairKept[i] = pairs[i].worth >= threshold;
        uint32_t lastContext = UINT32_MAX;  // triples are sorted by their context
        for (size_t i = 0; i < triples.size(); ++i) {
            n3 += tripleKept[i] = triples[i].worth >= threshold && pairKept[triples[i].context];
            if (tripleKept[i] && triples[i].context != lastContext) {
                ++contexts;
                lastContext = triples[i].context;
            }
        }
        header.bigrams = uint32_t(n2);
        header.trigrams = uint32_t(n3);
        header.trigramContexts = uint32_t(contexts);
        return languageModelLayout(header, layout) && layout.end <= options.maxBytes;
    };
    double threshold = std::log10(options.prune);
    if (!fits(threshold)) {
        // Log probabilities are at most 0: above it only the words are left.
        double low = threshold, high = 2;
        if (!fits(high)) {
            error = "the words alone do not fit in " + std::to_string(options.maxBytes) + " bytes";
            return false;
        }
        for (int step = 0; step < 60; ++step) {
            double middle = (low + high) / 2;
            (fits(middle) ? high : low) = middle;
        }
        threshold = high;
        fits(threshold);
    }
    counts.threshold = std::pow(10.0, threshold);

    // Back-offs renormalised for what was pruned: a context's back-off carries the mass
    // its entries leave over, and the dropped entries' mass now falls to it. Scaled by the
    // ratio to what the whole model's entries imply, so that an unpruned context keeps the
    // source's value exactly.
    struct Mass {
        double all = 0, lowerAll = 0, kept = 0, lowerKept = 0;
    };
    auto renormalised = [](float backoff, const Mass& m) {
        const double before = (1 - m.all) / (1 - m.lowerAll), after = (1 - m.kept) / (1 - m.lowerKept);
        const bool sound = m.all < 1 && m.lowerAll < 1 - 1e-9 && m.lowerKept < 1 - 1e-9 && before > 0 && after > 0;
        return sound ? float(backoff + std::log10(after / before)) : backoff;
    };
    auto unigramProb = [&](uint32_t id) { return double(model.unigrams[kept[id - 1].source].prob); };
    std::vector<Mass> wordMass(kept.size() + 1);
    for (size_t i = 0; i < pairs.size(); ++i) {
        const Pair& p = pairs[i];
        const double here = std::pow(10.0, double(p.prob)), lower = std::pow(10.0, unigramProb(p.b));
        Mass& m = wordMass[p.a];
        m.all += here;
        m.lowerAll += lower;
        if (pairKept[i]) {
            m.kept += here;
            m.lowerKept += lower;
        }
    }
    std::vector<float> wordBackoff(kept.size() + 1, 0.0f);
    for (uint32_t id = 1; id <= kept.size(); ++id)
        wordBackoff[id] = renormalised(model.unigrams[kept[id - 1].source].backoff, wordMass[id]);
    std::vector<Mass> pairMass(pairs.size());
    for (size_t i = 0; i < triples.size(); ++i) {
        const Triple& t = triples[i];
        const uint32_t b = pairs[t.context].b;
        const int64_t bc = findPair(b, t.c);
        const double source = bc >= 0 ? double(pairs[size_t(bc)].prob)
                                      : double(model.unigrams[kept[b - 1].source].backoff) + unigramProb(t.c);
        const double pruned = bc >= 0 && pairKept[size_t(bc)] ? double(pairs[size_t(bc)].prob)
                                                              : double(wordBackoff[b]) + unigramProb(t.c);
        const double here = std::pow(10.0, double(t.prob));
        Mass& m = pairMass[t.context];
        m.all += here;
        m.lowerAll += std::pow(10.0, source);
        if (tripleKept[i]) {
            m.kept += here;
            m.lowerKept += std::pow(10.0, pruned);
        }
    }
    for (size_t i = 0; i < pairs.size(); ++i) pairs[i].backoff = renormalised(pairs[i].backoff, pairMass[i]);

    // Values of what is kept, quantised per kind.
    std::vector<float> values[LANGUAGE_MODEL_VALUE_TABLES];
    for (const Kept& k : kept) {
        values[UnigramProbValues].push_back(model.unigrams[k.source].prob);
        values[UnigramBackoffValues].push_back(wordBackoff[size_t(&k - kept.data()) + 1]);
    }
    for (size_t i = 0; i < pairs.size(); ++i) {
        if (!pairKept[i]) continue;
        values[BigramProbValues].push_back(pairs[i].prob);
        values[BigramBackoffValues].push_back(pairs[i].backoff);
    }
    for (size_t i = 0; i < triples.size(); ++i)
        if (tripleKept[i]) values[TrigramProbValues].push_back(triples[i].prob);
    std::vector<Quantiser> quantisers;
    for (int kind = 0; kind < LANGUAGE_MODEL_VALUE_TABLES; ++kind)
        quantisers.emplace_back(values[kind], kind == UnigramBackoffValues || kind == BigramBackoffValues);

    header.fileSize = uint32_t(layout.end);
    file.assign(layout.end, '\0');
    std::memcpy(&file[0], &header, sizeof header);
    for (int kind = 0; kind < LANGUAGE_MODEL_VALUE_TABLES; ++kind) {
        float table[LANGUAGE_MODEL_CODES];
        quantisers[kind].write(table);
        std::memcpy(&file[layout.values + kind * sizeof table], table, sizeof table);
    }
    const uint32_t n1 = header.words;
    uint32_t textAt = 0;
    for (uint32_t id = 1; id <= n1; ++id) {
        const Kept& k = kept[id - 1];
        std::memcpy(&file[layout.text + textAt], k.gbk.data(), k.gbk.size());
        textAt += uint32_t(k.gbk.size());
        put32(file, layout.wordEnd + 4 * id, textAt);
        file[layout.unigramProb + id] =
            char(quantisers[UnigramProbValues].code(model.unigrams[k.source].prob));
        file[layout.unigramBackoff + id] =
            char(quantisers[UnigramBackoffValues].code(wordBackoff[id]));
    }

    // Two-word entries grouped by their context word, three-word ones by their context
    // entry; both are sorted, so the groups come in order.
    std::vector<uint32_t> pairIndex(pairs.size());
    uint32_t n2 = 0, n3 = 0, context = 0;
    for (size_t i = 0; i < pairs.size(); ++i) {
        if (!pairKept[i]) continue;
        const Pair& p = pairs[i];
        while (context < p.a) put32(file, layout.firstBigram + 4 * ++context, n2);
        pairIndex[i] = n2;
        put24(file, layout.bigramWord + 3 * n2, p.b);
        file[layout.bigramProb + n2] = char(quantisers[BigramProbValues].code(p.prob));
        file[layout.bigramBackoff + n2] = char(quantisers[BigramBackoffValues].code(p.backoff));
        ++n2;
    }
    while (context <= n1) put32(file, layout.firstBigram + 4 * ++context, n2);
    uint32_t contexts = 0, lastContext = UINT32_MAX;
    for (size_t i = 0; i < triples.size(); ++i) {
        if (!tripleKept[i]) continue;
        const Triple& t = triples[i];
        if (t.context != lastContext) {
            put32(file, layout.trigramContext + 4 * contexts, pairIndex[t.context]);
            put32(file, layout.trigramFirst + 4 * contexts, n3);
            ++contexts;
            lastContext = t.context;
        }
        put24(file, layout.trigramWord + 3 * n3, t.c);
        file[layout.trigramProb + n3] = char(quantisers[TrigramProbValues].code(t.prob));
        ++n3;
    }
    put32(file, layout.trigramFirst + 4 * contexts, n3);

    counts.words = n1;
    counts.bigrams = n2;
    counts.trigrams = n3;
    counts.bytes = file.size();
    return true;
}
