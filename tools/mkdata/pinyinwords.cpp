#include "pinyinwords.h"

#include "charsets.h"
#include "gbktext.h"
#include "sources.h"

#include "pinyin/pinyinwordsformat.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <set>

namespace {

// The search reads no syllable longer than this from the syllable table.
constexpr size_t SYLLABLE_LETTERS_MAX = 8;
// A compiled phrase record: 30 bytes of pinyin, then 30 of phrase.
constexpr size_t PYCZ_FIELD_BYTES = 30;
constexpr size_t PYCZ_RECORD_BYTES = 2 * PYCZ_FIELD_BYTES;

struct Word {
    std::array<uint16_t, PINYIN_WORDS_PIECES_MAX> syllables{};
    uint8_t count;
    uint8_t source;
    int16_t weight;
    std::string text;  // GBK
    uint32_t order;    // as read: the table's words in table order, then the model's
};

int16_t thousandths(double weight) {
    return int16_t(std::clamp(std::lround(weight * 1000.0), -32000L, 32000L));
}

// A field of a compiled phrase record: up to its first double space.
std::string_view fieldContent(const char* field) {
    std::string_view f(field, PYCZ_FIELD_BYTES);
    return f.substr(0, std::min(f.find("  "), f.size()));
}

}  // namespace

bool buildPinyinWords(const PinyinWordsSources& sources, std::string& file, PinyinWordsCounts& counts,
                      std::string& error) {
    counts = PinyinWordsCounts();

    // Syllables by name, and the readings of each character.
    std::set<std::string> names;
    std::unordered_map<char32_t, std::set<std::string>> readingsOf;
    bool good = true;
    const bool read =
        readList(sources.syllableSource, [&](size_t, const std::vector<std::string_view>& columns) {
            std::u32string characters;
            if (columns.size() != 2 || !decodeUtf8(columns[1], characters)) {
                good = false;
                return;
            }
            if (columns[0].empty() || columns[0].size() > SYLLABLE_LETTERS_MAX) return;
            const std::string name(columns[0]);
            names.insert(name);
            for (char32_t c : characters) readingsOf[c].insert(name);
        });
    if (!read || !good || names.empty() || names.size() > 0xffff) {
        error = "no syllable table source";
        return false;
    }
    std::vector<std::string> syllables(names.begin(), names.end());
    std::map<std::string, uint16_t, std::less<>> ids;
    for (size_t i = 0; i < syllables.size(); ++i) ids.emplace(syllables[i], uint16_t(i));

    // The table's words, ranked as the search ranks them: in table order within their first
    // letter and length, counting only the words the search takes.
    const std::string& table = sources.phraseTable;
    if (table.size() < PINYIN_WORDS_STAMP_BYTES) {
        error = "the phrase table is too short";
        return false;
    }
    std::vector<Word> words;
    std::set<std::pair<std::string, std::array<uint16_t, PINYIN_WORDS_PIECES_MAX>>> tableWords;
    uint64_t start = PINYIN_WORDS_STAMP_BYTES;
    for (int letter = 0; letter < 26; ++letter) {
        uint32_t records;
        std::memcpy(&records, table.data() + 4 * letter, 4);
        int ranks[PINYIN_WORDS_PIECES_MAX + 1] = {};
        for (uint64_t at = start; at < start + uint64_t(records) * PYCZ_RECORD_BYTES;
             at += PYCZ_RECORD_BYTES) {
            if (at + PYCZ_RECORD_BYTES > table.size() || table[at] != 'a' + letter) break;
            const std::string_view pinyin = fieldContent(table.data() + at);
            std::string_view phrase = fieldContent(table.data() + at + PYCZ_FIELD_BYTES);
            if (!phrase.empty() && phrase.back() == ' ') phrase.remove_suffix(1);
            Word w{};
            w.count = 0;
            bool fits = !phrase.empty();
            for (size_t i = 0; fits && i < phrase.size(); i += 2)
                fits = i + 1 < phrase.size() && isGbk(uint8_t(phrase[i]), uint8_t(phrase[i + 1]));
            for (std::string_view syllable : splitFields(pinyin, ' ')) {
                if (syllable.empty() || !fits) continue;
                auto id = ids.find(syllable);
                if (w.count >= PINYIN_WORDS_PIECES_MAX || id == ids.end()) {
                    fits = false;
                    break;
                }
                w.syllables[w.count++] = id->second;
            }
            if (!fits || w.count < 2 || phrase.size() != 2u * w.count) continue;
            w.text = phrase;
            w.source = PinyinWordFromTable;
            w.weight = thousandths(pinyinTableWordWeight(w.count, ranks[w.count]++));
            w.order = uint32_t(words.size());
            tableWords.emplace(w.text, w.syllables);
            words.push_back(w);
        }
        start += uint64_t(records) * PYCZ_RECORD_BYTES;
    }
    counts.tableWords = words.size();

    // Readings of words from the dictionary.
    std::unordered_map<std::string, std::vector<std::string_view>> readings;
    for (std::string_view line : splitFields(sources.readings, '\n')) {
        const auto fields = splitFields(line, ' ');
        if (fields.size() >= 2 && !fields[0].empty()) readings[std::string(fields[0])].push_back(fields[1]);
    }

    // The model's words the table lacks, scored (without the model) by their own probability.
    if (sources.model) {
        const NgramModel& model = *sources.model;
        std::u32string characters;
        std::string gbk;
        for (size_t id = 1; id < model.words.size() && id < model.unigrams.size(); ++id) {
            const std::string& text = model.words[id];
            if (!decodeUtf8(text, characters) || characters.size() < 2 ||
                characters.size() > PINYIN_WORDS_PIECES_MAX || !utf8ToGbk(text, gbk) ||
                !isDoubleByteText(gbk) || !std::isfinite(model.unigrams[id].prob))
                continue;
            if (model.unigrams[id].prob < sources.rarestExtraWord) {
                ++counts.tooRare;
                continue;
            }
            if (!std::all_of(characters.begin(), characters.end(),
                             [&](char32_t c) { return readingsOf.count(c) > 0; }))
                continue;
            std::vector<std::array<uint16_t, PINYIN_WORDS_PIECES_MAX>> found;
            if (auto r = readings.find(text); r != readings.end())
                for (std::string_view reading : r->second) {
                    const auto parts = splitFields(reading, '\'');
                    if (parts.size() != characters.size()) continue;
                    std::array<uint16_t, PINYIN_WORDS_PIECES_MAX> s{};
                    bool known = true;
                    for (size_t i = 0; i < parts.size() && known; ++i) {
                        auto at = ids.find(parts[i]);
                        known = at != ids.end();
                        if (known) s[i] = at->second;
                    }
                    if (known && std::find(found.begin(), found.end(), s) == found.end()) found.push_back(s);
                }
            bool fromCharacters = false;
            if (found.empty()) {
                // Characters of one reading each spell the word one way only.
                std::array<uint16_t, PINYIN_WORDS_PIECES_MAX> s{};
                bool single = true;
                for (size_t i = 0; i < characters.size() && single; ++i) {
                    const auto& r = readingsOf[characters[i]];
                    single = r.size() == 1;
                    if (single) s[i] = ids.at(*r.begin());
                }
                if (single) found.push_back(s);
                fromCharacters = single;
            }
            bool added = false;
            for (const auto& s : found) {
                if (tableWords.count({gbk, s})) continue;
                Word w{s,   uint8_t(characters.size()), PinyinWordExtra, thousandths(model.unigrams[id].prob),
                       gbk, uint32_t(words.size())};
                words.push_back(w);
                added = true;
            }
            if (added) {
                ++counts.extraWords;
                ++(fromCharacters ? counts.fromCharacters : counts.fromReadings);
            }
        }
    }

    if (words.size() > 0x7fffff) {
        error = "too many words";
        return false;
    }
    // Entries by syllables, the heaviest first; among equal weights (thousandths part the
    // table's deep ranks no more) the table's order stands, as the search without the file
    // takes them.
    std::sort(words.begin(), words.end(), [](const Word& a, const Word& b) {
        if (a.count != b.count) return a.count < b.count;
        if (a.syllables != b.syllables) return a.syllables < b.syllables;
        if (a.weight != b.weight) return a.weight > b.weight;
        return a.order < b.order;
    });
    std::vector<uint32_t> byInitials(words.size());
    for (size_t i = 0; i < words.size(); ++i) byInitials[i] = uint32_t(i);
    auto initials = [&](const Word& w) {
        std::string out;
        for (int i = 0; i < w.count; ++i) out += syllables[w.syllables[size_t(i)]][0];
        return out;
    };
    std::vector<std::string> initialsOf(words.size());
    for (size_t i = 0; i < words.size(); ++i) initialsOf[i] = initials(words[i]);
    std::sort(byInitials.begin(), byInitials.end(), [&](uint32_t a, uint32_t b) {
        if (words[a].count != words[b].count) return words[a].count < words[b].count;
        if (initialsOf[a] != initialsOf[b]) return initialsOf[a] < initialsOf[b];
        if (words[a].weight != words[b].weight) return words[a].weight > words[b].weight;
        return words[a].order < words[b].order;
    });

    size_t textSize = 0;
    for (const Word& w : words) textSize += w.text.size();
    PinyinWordsHeader header{};
    std::memcpy(header.magic, PINYIN_WORDS_MAGIC, sizeof header.magic);
    header.version = PINYIN_WORDS_VERSION;
    header.headerSize = sizeof header;
    header.syllables = uint32_t(syllables.size());
    header.words = uint32_t(words.size());
    header.textSize = uint32_t(textSize);
    header.phraseTableSize = uint32_t(table.size());
    std::memcpy(header.phraseTableStamp, table.data(), PINYIN_WORDS_STAMP_BYTES);
    PinyinWordsLayout layout;
    if (!pinyinWordsLayout(header, layout) || layout.end > 0x7fffffff) {
        error = "too many words";
        return false;
    }
    header.fileSize = uint32_t(layout.end);
    file.assign(layout.end, '\0');
    std::memcpy(&file[0], &header, sizeof header);
    for (size_t i = 0; i < syllables.size(); ++i)
        std::memcpy(&file[layout.syllables + PINYIN_WORDS_SYLLABLE_BYTES * i], syllables[i].data(),
                    syllables[i].size());
    uint32_t textAt = 0;
    for (size_t i = 0; i < words.size(); ++i) {
        const Word& w = words[i];
        PinyinWordEntry e{};
        std::copy(w.syllables.begin(), w.syllables.end(), e.syllables);
        e.text = textAt;
        e.weight = w.weight;
        e.count = w.count;
        e.source = w.source;
        std::memcpy(&file[layout.entries + sizeof e * i], &e, sizeof e);
        std::memcpy(&file[layout.text + textAt], w.text.data(), w.text.size());
        textAt += uint32_t(w.text.size());
    }
    std::memcpy(&file[layout.byInitials], byInitials.data(), 4 * byInitials.size());

    counts.syllables = syllables.size();
    counts.bytes = file.size();
    return true;
}
