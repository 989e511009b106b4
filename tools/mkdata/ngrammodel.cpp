#include "ngrammodel.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <string_view>
#include <unordered_map>

namespace {

// ---------------------------------------------------------------------------------------
// KenLM binary files. The layout, from the start of the file:
//   header: magic and test values (88 bytes), fixed parameters (20 bytes), one uint64
//     count per order, padded to 8 bytes
//   vocabulary: a uint64 count, then a sorted uint64 hash per word
//   search (the trie): quantisation tables, one record per word {float prob, float
//     backoff, uint64 first middle entry}, the middle entries (bit-packed: word, backoff,
//     prob, low bits of the first entry below; the high bits in a separate array when
//     pointers are compressed), the longest entries (bit-packed: word, prob)
//   the words' text, zero-terminated, by id
// The trie is keyed right to left: under word u, a middle entry holding w is "w u", and a
// longest entry x below that is "x w u".
// ---------------------------------------------------------------------------------------

const char KENLM_MAGIC[] = "mmap lm http://kheafield.com/code format version 5\n";
constexpr uint64_t KENLM_SANITY_SIZE = 88;
constexpr uint64_t KENLM_FIXED_SIZE = 20;

enum KenlmModelType { Trie = 2, QuantTrie = 3, ArrayTrie = 4, QuantArrayTrie = 5 };

uint64_t align8(uint64_t n) { return (n + 7) & ~uint64_t(7); }

uint8_t requiredBits(uint64_t max) {
    uint8_t bits = 0;
    for (; max; max >>= 1) ++bits;
    return bits;
}

// How many high bits of a pointer the compressed pointers keep in the separate array:
// the count that saves the most, as the writer chose it.
uint8_t chopBits(uint64_t maxOffset, uint64_t maxNext, uint8_t configured) {
    const uint8_t required = requiredBits(maxNext);
    uint8_t best = 0;
    int64_t lowest = std::numeric_limits<int64_t>::max();
    for (uint8_t chop = 0; chop <= std::min(required, configured); ++chop) {
        int64_t change = int64_t(maxNext >> (required - chop)) * 64 - int64_t(maxOffset) * chop;
        if (change < lowest) {
            lowest = change;
            best = chop;
        }
    }
    return best;
}

class FileBytes {
public:
    explicit FileBytes(const std::string& bytes)
        : data_(reinterpret_cast<const uint8_t*>(bytes.data())), size_(bytes.size()) {}
    uint64_t size() const { return size_; }
    bool has(uint64_t at, uint64_t n) const { return at <= size_ && n <= size_ - at; }
    template <typename T>
    T get(uint64_t at) const {
        T value;
        std::memcpy(&value, data_ + at, sizeof value);
        return value;
    }
    // An integer of `bits` (at most 57) bits at a bit offset from base; the caller has
    // checked that eight bytes from the offset's byte lie inside the file.
    uint64_t bitsAt(uint64_t base, uint64_t bitOffset, uint8_t bits) const {
        uint64_t word = get<uint64_t>(base + (bitOffset >> 3));
        return (word >> (bitOffset & 7)) & ((uint64_t(1) << bits) - 1);
    }
    const char* text(uint64_t at) const { return reinterpret_cast<const char*>(data_ + at); }

private:
    const uint8_t* data_;
    uint64_t size_;
};

float floatFromBits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// Zero back-offs carry a sign as a mark for the trie's own use; the value is 0.
float plain(float value) { return value == 0.0f ? 0.0f : value; }

// A bit-packed array of entries of equal width.
struct Packed {
    uint64_t base = 0;  // file offset
    uint8_t wordBits = 0, totalBits = 0;
    uint64_t bitOf(uint64_t index) const { return index * totalBits; }
};

}  // namespace

bool readKenlmBinary(const std::string& bytes, NgramModel& model, std::string& error) {
    model = NgramModel();
    FileBytes file(bytes);
    const size_t magicLength = std::strlen(KENLM_MAGIC);
    if (!file.has(0, KENLM_SANITY_SIZE + KENLM_FIXED_SIZE) ||
        std::memcmp(bytes.data(), KENLM_MAGIC, magicLength)) {
        error = "not a KenLM binary file of format version 5";
        return false;
    }
    // The test values written by a little-endian 64-bit writer.
    if (file.get<float>(56) != 0.0f || file.get<float>(60) != 1.0f || file.get<float>(64) != -0.5f ||
        file.get<uint32_t>(68) != 1 || file.get<uint32_t>(72) != 0xffffffffu || file.get<uint64_t>(80) != 1) {
        error = "KenLM header test values do not match";
        return false;
    }
    const uint8_t order = file.get<uint8_t>(88);
    const int32_t modelType = file.get<int32_t>(96);
    const uint8_t hasVocabulary = file.get<uint8_t>(100);
    const uint32_t searchVersion = file.get<uint32_t>(104);
    if (order != 3) {
        error = "KenLM model of order " + std::to_string(order) + ", not 3";
        return false;
    }
    if (modelType < Trie || modelType > QuantArrayTrie || searchVersion != 1) {
        error = "KenLM model is not a trie of search version 1";
        return false;
    }
    if (!hasVocabulary) {
        error = "KenLM model holds no word text";
        return false;
    }
    const uint64_t countsAt = KENLM_SANITY_SIZE + KENLM_FIXED_SIZE;
    if (!file.has(countsAt, 8 * order)) {
        error = "KenLM header truncated";
        return false;
    }
    const uint64_t n1 = file.get<uint64_t>(countsAt), n2 = file.get<uint64_t>(countsAt + 8),
                   n3 = file.get<uint64_t>(countsAt + 16);
    if (n1 < 1 || n1 > 0xffffffu || n2 > 0xffffffffu || n3 > 0xffffffffu) {
        error = "KenLM counts out of range";
        return false;
    }
    const bool quantised = modelType == QuantTrie || modelType == QuantArrayTrie;
    const bool arrayPointers = modelType == ArrayTrie || modelType == QuantArrayTrie;

    uint64_t at = align8(countsAt + 8 * order);
    at += 8 + 8 * n1;  // the hashes: ids are positions, the text below names them

    // Quantisation tables: middle prob, middle back-off, longest prob.
    uint8_t probBits = 0, backoffBits = 0;
    uint64_t middleProbTable = 0, middleBackoffTable = 0, longestProbTable = 0;
    if (quantised) {
        // Version 1 kept code 0 for entries without a probability; the layout is the same.
        if (!file.has(at, 8) || file.get<uint8_t>(at) < 1 || file.get<uint8_t>(at) > 2) {
            error = "KenLM quantisation header missing or of another version";
            return false;
        }
        probBits = file.get<uint8_t>(at + 1);
        backoffBits = file.get<uint8_t>(at + 2);
        if (probBits < 1 || probBits > 25 || backoffBits < 1 || backoffBits > 25) {
            error = "KenLM quantisation bits out of range";
            return false;
        }
        middleProbTable = at + 8;
        middleBackoffTable = middleProbTable + 4 * (uint64_t(1) << probBits);
        longestProbTable = middleBackoffTable + 4 * (uint64_t(1) << backoffBits);
        at = longestProbTable + 4 * (uint64_t(1) << probBits);
    }
    const uint8_t middleValueBits = quantised ? probBits + backoffBits : 63;
    const uint8_t longestValueBits = quantised ? probBits : 31;

    const uint64_t unigramAt = at;
    at += 16 * (n1 + 2);

    // Pointers from middle entries to longest entries.
    uint8_t inlineBits = requiredBits(n3);
    uint64_t highAt = 0, highCount = 0;
    if (arrayPointers) {
        if (!file.has(at, 2) || file.get<uint8_t>(at) != 0) {
            error = "KenLM pointer compression header missing or of another version";
            return false;
        }
        const uint8_t chop = chopBits(n2 + 1, n3, file.get<uint8_t>(at + 1));
        highCount = (n3 >> (requiredBits(n3) - chop)) + 1;
        inlineBits = requiredBits(n3) - chop;
        highAt = align8(at) + 8;
        at += 8 * (1 + highCount) + 7;
    }
    Packed middle, longest;
    middle.base = at;
    middle.wordBits = longest.wordBits = requiredBits(n1);
    middle.totalBits = middle.wordBits + middleValueBits + inlineBits;
    at += ((1 + n2) * middle.totalBits + 7) / 8 + 8;
    longest.base = at;
    longest.totalBits = longest.wordBits + longestValueBits;
    at += ((1 + n3) * longest.totalBits + 7) / 8 + 8;
    if (middle.wordBits > 57 || inlineBits > 57 || !file.has(0, at)) {
        error = "KenLM file is shorter than its counts call for";
        return false;
    }

    // The text of every word, by id, "<unk>" first.
    model.words.reserve(n1);
    for (uint64_t p = at; model.words.size() < n1;) {
        const void* zero = p < file.size() ? std::memchr(file.text(p), 0, file.size() - p) : nullptr;
        if (!zero) {
            error = "KenLM word text truncated";
            return false;
        }
        const uint64_t length = uint64_t(static_cast<const char*>(zero) - file.text(p));
        model.words.emplace_back(file.text(p), length);
        p += length + 1;
    }
    if (model.words[0] != "<unk>") {
        error = "KenLM word text does not start with <unk>: the layout was misread";
        return false;
    }

    model.unigrams.resize(n1);
    std::vector<uint64_t> firstMiddle(n1 + 1);
    for (uint64_t id = 0; id <= n1; ++id) {
        const uint64_t record = unigramAt + 16 * id;
        if (id < n1) model.unigrams[id] = {file.get<float>(record), plain(file.get<float>(record + 4))};
        firstMiddle[id] = file.get<uint64_t>(record + 8);
        if (firstMiddle[id] > n2 || (id && firstMiddle[id] < firstMiddle[id - 1])) {
            error = "KenLM unigram pointers out of order";
            return false;
        }
    }

    auto middleProb = [&](uint64_t bit) {
        if (quantised)
            return file.get<float>(middleProbTable +
                                   4 * file.bitsAt(middle.base, bit + backoffBits, probBits));
        return floatFromBits(uint32_t(file.bitsAt(middle.base, bit, 31)) | 0x80000000u);
    };
    auto middleBackoff = [&](uint64_t bit) {
        if (quantised)
            return plain(
                file.get<float>(middleBackoffTable + 4 * file.bitsAt(middle.base, bit, backoffBits)));
        return plain(floatFromBits(uint32_t(file.bitsAt(middle.base, bit + 31, 32))));
    };
    auto longestProb = [&](uint64_t bit) {
        if (quantised)
            return file.get<float>(longestProbTable + 4 * file.bitsAt(longest.base, bit, probBits));
        return floatFromBits(uint32_t(file.bitsAt(longest.base, bit, 31)) | 0x80000000u);
    };

    // Each middle entry's first longest entry, decoded in order: with compressed
    // pointers the high bits of entry j are the last array position whose value is <= j.
    std::vector<uint64_t> firstLongest(n2 + 1);
    uint64_t high = 0;
    if (arrayPointers && (highCount == 0 || file.get<uint64_t>(highAt) != 0)) {
        error = "KenLM pointer array does not start at 0";
        return false;
    }
    for (uint64_t j = 0; j <= n2; ++j) {
        const uint64_t bit = middle.bitOf(j) + middle.wordBits + middleValueBits;
        uint64_t next = file.bitsAt(middle.base, bit, inlineBits);
        if (arrayPointers) {
            while (high + 1 < highCount && file.get<uint64_t>(highAt + 8 * (high + 1)) <= j) ++high;
            next |= high << inlineBits;
        }
        if (next > n3 || (j && next < firstLongest[j - 1])) {
            error = "KenLM middle pointers out of order";
            return false;
        }
        firstLongest[j] = next;
    }

    model.bigrams.reserve(n2);
    model.trigrams.reserve(n3);
    for (uint64_t u = 0; u < n1; ++u) {
        for (uint64_t j = firstMiddle[u]; j < firstMiddle[u + 1]; ++j) {
            const uint64_t bit = middle.bitOf(j);
            const uint64_t w = file.bitsAt(middle.base, bit, middle.wordBits);
            if (w >= n1) {
                error = "KenLM middle entry names no word";
                return false;
            }
            const uint64_t value = bit + middle.wordBits;
            model.bigrams.push_back({uint32_t(w), uint32_t(u), middleProb(value), middleBackoff(value)});
            for (uint64_t t = firstLongest[j]; t < firstLongest[j + 1]; ++t) {
                const uint64_t lbit = longest.bitOf(t);
                const uint64_t x = file.bitsAt(longest.base, lbit, longest.wordBits);
                if (x >= n1) {
                    error = "KenLM longest entry names no word";
                    return false;
                }
                model.trigrams.push_back(
                    {uint32_t(x), uint32_t(w), uint32_t(u), longestProb(lbit + longest.wordBits)});
            }
        }
    }
    if (model.bigrams.size() != n2 || model.trigrams.size() != n3) {
        error = "KenLM entries do not add up to the counts";
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// ARPA text
// ---------------------------------------------------------------------------------------

namespace {

std::vector<std::string_view> tokens(std::string_view line) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
        if (i > start) out.push_back(line.substr(start, i - start));
    }
    return out;
}

bool number(std::string_view text, float& value) {
    std::string s(text);
    char* end = nullptr;
    value = std::strtof(s.c_str(), &end);
    return end && *end == '\0' && !s.empty();
}

}  // namespace

bool readArpa(const std::string& text, NgramModel& model, std::string& error) {
    model = NgramModel();
    std::unordered_map<std::string, uint32_t> ids;
    uint64_t expected[4] = {0, 0, 0, 0};
    int section = -1;  // -1 before \data\, 0 in it, n in \n-grams:, 4 after \end\ ...
    size_t lineNumber = 0;
    auto fail = [&](const std::string& why) {
        error = "ARPA line " + std::to_string(lineNumber) + ": " + why;
        return false;
    };
    auto idOf = [&](std::string_view word, uint32_t& id) {
        auto found = ids.find(std::string(word));
        if (found == ids.end()) return false;
        id = found->second;
        return true;
    };
    size_t pos = 0;
    while (pos < text.size() && section != 4) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        std::vector<std::string_view> t = tokens(line);
        if (t.empty()) continue;
        if (t[0] == "\\data\\") {
            section = 0;
            continue;
        }
        if (t[0] == "\\end\\") {
            section = 4;
            continue;
        }
        if (t[0].size() == 9 && t[0][0] == '\\' && t[0].substr(2) == "-grams:") {
            int n = t[0][1] - '0';
            if (n < 1 || n > 3) return fail("only models of at most three words are read");
            section = n;
            continue;
        }
        if (section == 0) {
            if (t.size() == 2 && t[0] == "ngram" && t[1].size() >= 3 && t[1][1] == '=') {
                int n = t[1][0] - '0';
                if (n < 1 || n > 3) return fail("only models of at most three words are read");
                expected[n] = std::strtoull(std::string(t[1].substr(2)).c_str(), nullptr, 10);
                continue;
            }
            return fail("not an ngram count");
        }
        if (section < 1) continue;  // text before \data\ is a comment
        const size_t n = size_t(section);
        if (t.size() != n + 1 && t.size() != n + 2) return fail("wrong number of fields");
        float prob = 0, backoff = 0;
        if (!number(t[0], prob) || (t.size() == n + 2 && !number(t[n + 1], backoff)))
            return fail("not a number");
        if (!std::isfinite(prob) || !std::isfinite(backoff) || prob > 0)
            return fail("probability out of range");
        if (n == 1) {
            std::string word(t[1]);
            if (!ids.emplace(word, uint32_t(model.words.size())).second) return fail("word listed twice");
            model.words.push_back(word);
            model.unigrams.push_back({prob, backoff});
            continue;
        }
        uint32_t w[3] = {0, 0, 0};
        for (size_t i = 0; i < n; ++i)
            if (!idOf(t[1 + i], w[i])) return fail("word not among the 1-grams");
        if (n == 2)
            model.bigrams.push_back({w[0], w[1], prob, backoff});
        else
            model.trigrams.push_back({w[0], w[1], w[2], prob});
    }
    if (section != 4) return fail("no \\end\\");
    if (expected[1] != model.unigrams.size() || expected[2] != model.bigrams.size() ||
        expected[3] != model.trigrams.size())
        return fail("the counts of \\data\\ do not match the entries");
    // The unknown word takes id 0, as in the binary files.
    auto unk = ids.find("<unk>");
    if (unk == ids.end()) {
        model.words.insert(model.words.begin(), "<unk>");
        model.unigrams.insert(model.unigrams.begin(), {-100.0f, 0.0f});
        for (auto& b : model.bigrams) ++b.w1, ++b.w2;
        for (auto& t : model.trigrams) ++t.w1, ++t.w2, ++t.w3;
    } else if (unk->second != 0) {
        const uint32_t u = unk->second;
        auto swap = [u](uint32_t& id) { id = id == u ? 0 : id == 0 ? u : id; };
        std::swap(model.words[0], model.words[u]);
        std::swap(model.unigrams[0], model.unigrams[u]);
        for (auto& b : model.bigrams) swap(b.w1), swap(b.w2);
        for (auto& t : model.trigrams) swap(t.w1), swap(t.w2), swap(t.w3);
    }
    return true;
}

bool readNgramModel(const std::string& path, NgramModel& model, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.compare(0, std::strlen(KENLM_MAGIC) - 3, KENLM_MAGIC, std::strlen(KENLM_MAGIC) - 3) == 0)
        return readKenlmBinary(bytes, model, error);
    return readArpa(bytes, model, error);
}

std::string arpaText(const NgramModel& model) {
    std::string out = "\\data\\\n";
    out += "ngram 1=" + std::to_string(model.unigrams.size()) + "\n";
    out += "ngram 2=" + std::to_string(model.bigrams.size()) + "\n";
    out += "ngram 3=" + std::to_string(model.trigrams.size()) + "\n";
    // The shortest text that reads back as the same float.
    char number[32];
    auto value = [&](float v) {
        *std::to_chars(number, number + sizeof number - 1, plain(v)).ptr = '\0';
        return number;
    };
    out += "\n\\1-grams:\n";
    for (size_t i = 0; i < model.unigrams.size(); ++i) {
        out += value(model.unigrams[i].prob);
        out += '\t' + model.words[i] + '\t';
        out += value(model.unigrams[i].backoff);
        out += '\n';
    }
    out += "\n\\2-grams:\n";
    for (const auto& b : model.bigrams) {
        out += value(b.prob);
        out += '\t' + model.words[b.w1] + ' ' + model.words[b.w2] + '\t';
        out += value(b.backoff);
        out += '\n';
    }
    out += "\n\\3-grams:\n";
    for (const auto& t : model.trigrams) {
        out += value(t.prob);
        out += '\t' + model.words[t.w1] + ' ' + model.words[t.w2] + ' ' + model.words[t.w3] + '\n';
    }
    out += "\n\\end\\\n";
    return out;
}
