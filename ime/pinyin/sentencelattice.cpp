// The lattice of a typed line: pieces and the words over them.
//
// The engine places separators greedily as letters arrive ("xian" stays one syllable, "fangan"
// becomes "fan gan"), so the lattice reads the letters again: a piece may be any syllable of
// the table over letters not split by a separator the user typed. A stretch that is no whole
// syllable (an initial, an unfinished syllable) is a piece only where the engine closed it off,
// as the user typed it.
#include "pinyin/sentencelattice.h"

#include "phrases/userphrasefile.h"
#include "pinyin/pinyintables.h"
#include "pinyin/pinyinwords.h"
#include "pinyin/pinyinwordsformat.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// A whole line of pieces read as initials costs this much a piece, so that a vowel typed as a
// syllable of its own (a, e, o) is read as that syllable before it is read as an initial.
constexpr float PARTIAL_PIECE_WEIGHT = -1.0f;
// Characters kept for a piece typed in part: the first two of each syllable it begins, the
// likeliest of them.
constexpr int PARTIAL_CHARACTERS_PER_SYLLABLE = 2;
constexpr int PARTIAL_CHARACTERS = 6;
// A phrase of the user's stands before what the tables and the model offer for its pieces:
// it gains where any other reading of them loses.
constexpr float USER_PHRASE_CHARACTER_WEIGHT = 1.0f;
// Phrases kept for one run of pieces typed in part (the phrase table's first, by weight),
// and of the words file's further words.
constexpr size_t WORDS_PER_PARTIAL_RUN = 8;
constexpr size_t EXTRA_WORDS_PER_PARTIAL_RUN = 4;

uint16_t gbkCode(const char* pair) {
    return static_cast<uint16_t>((static_cast<unsigned char>(pair[0]) << 8) |
                                 static_cast<unsigned char>(pair[1]));
}

uint64_t syllablesKey(const int* ids, int count) {
    uint64_t key = static_cast<uint64_t>(count);
    for (int i = 0; i < count; ++i) key = key << 15 | static_cast<uint64_t>(ids[i] + 1);
    return key;
}

void setText(LatticeWord& word, std::string_view text) {
    const size_t bytes = std::min(text.size(), sizeof word.text);
    std::memcpy(word.text, text.data(), bytes);
    word.bytes = static_cast<uint8_t>(bytes);
}

void setCode(LatticeWord& word, const LatticeLine& line, const Piece* path, int count) {
    for (int i = 0; i < count && i < LATTICE_USER_WORD_PIECES_MAX; ++i)
        word.code[i] = line.letters[path[i].start];
    word.code[std::min(count, LATTICE_USER_WORD_PIECES_MAX)] = '\0';
    word.pieces = static_cast<uint8_t>(count);
}

}  // namespace

float characterWeight(int rank) { return -2.9f - 0.9f * std::log10(static_cast<float>(rank) + 1.0f); }

float tableWordWeight(int characters, int rank) { return pinyinTableWordWeight(characters, rank); }

void SentenceDictionary::prepare(const CodeTable* syllableTable, const CodeTable* phraseTable,
                                 const PinyinWords* words) {
    const CodeTable none{};
    if (!syllableTable) syllableTable = &none;
    if (!phraseTable) phraseTable = &none;
    if (syllableData_ == syllableTable->data && syllableSize_ == syllableTable->size &&
        phraseData_ == phraseTable->data && phraseSize_ == phraseTable->size && fileWords_ == words)
        return;
    syllableData_ = syllableTable->data;
    syllableSize_ = syllableTable->size;
    phraseData_ = phraseTable->data;
    phraseSize_ = phraseTable->size;
    fileWords_ = words;
    tableInFile_ = pinyinWordsFitTable(words, phraseTable->data, phraseTable->size);
    readingsReady_ = false;
    fileSyllables_.clear();
    syllables_.clear();
    syllableIds_.clear();
    prefixes_.clear();
    readings_.clear();
    words_.clear();
    wordsBySyllables_.clear();
    wordsByInitials_.clear();

    forEachSyllableIndexed(
        syllableTable, [&](std::string_view name, const char* const* chars, uint32_t count) {
            if (name.empty() || name.size() > LATTICE_SYLLABLE_LETTERS_MAX) return;
            const std::string key(name);
            auto found = syllableIds_.find(key);
            int id;
            if (found == syllableIds_.end()) {
                id = static_cast<int>(syllables_.size());
                syllables_.push_back({key, {}});
                syllableIds_.emplace(key, id);
                for (size_t n = 1; n <= key.size(); ++n) prefixes_[key.substr(0, n)];
            } else {
                id = found->second;
            }
            Syllable& syllable = syllables_[static_cast<size_t>(id)];
            for (uint32_t i = 0; i < count; ++i) {
                const uint16_t code = gbkCode(chars[i]);
                if (std::find(syllable.chars.begin(), syllable.chars.end(), code) == syllable.chars.end())
                    syllable.chars.push_back(code);
            }
        });
    for (const Syllable& s : syllables_) fileSyllables_.push_back(pinyinWordsSyllableId(words, s.name));

    // Ranks within a first letter and a length: the table orders each of them by weight.
    // The words file holds the same words with the same weights, ready to look up.
    std::unordered_map<int, int> ranks;
    if (!tableInFile_)
        forEachPhraseRecord(phraseTable,
                            [&](const std::string_view* syllables, int count, std::string_view phrase) {
                                if (count < 2 || count > LATTICE_TABLE_WORD_PIECES_MAX ||
                                    phrase.size() != 2 * static_cast<size_t>(count))
                                    return;
                                int ids[LATTICE_TABLE_WORD_PIECES_MAX];
                                std::string initials;
                                for (int i = 0; i < count; ++i) {
                                    ids[i] = syllableId(syllables[i]);
                                    if (ids[i] < 0) return;
                                    initials += syllables[i][0];
                                }
                                const int rank = ranks[(initials[0] - 'a') * 8 + count]++;
                                const auto index = static_cast<uint32_t>(words_.size());
                                TableWord word{phrase, tableWordWeight(count, rank), {}};
                                for (int i = 0; i < count; ++i)
                                    word.syllables[i] = static_cast<uint16_t>(ids[i]);
                                words_.push_back(word);
                                wordsBySyllables_[syllablesKey(ids, count)].push_back(index);
                                wordsByInitials_[initials].push_back(index);
                            });
    // The user's phrases are checked against these readings: read them again.
    userVersion_ = 0;
    userPath_.clear();
    userPhrases_.clear();
    userLines_.clear();
    longestUserCode_ = 0;
    ++generation_;
}

// Each character's syllables, which only the user's phrases are checked against: built when
// the first phrase is read, so that a first key without phrases builds none.
void SentenceDictionary::prepareReadings() {
    if (readingsReady_) return;
    readingsReady_ = true;
    for (size_t id = 0; id < syllables_.size(); ++id)
        for (uint16_t code : syllables_[id].chars) {
            auto& readings = readings_[code];
            if (std::find(readings.begin(), readings.end(), id) == readings.end())
                readings.push_back(static_cast<uint16_t>(id));
        }
}

void SentenceDictionary::prepareUserPhrases(const char* path) {
    const std::string wanted = path ? path : "";
    const uint64_t version = wanted.empty() ? 0 : userPhraseFileVersion(wanted.c_str(), true);
    if (wanted == userPath_ && version == userVersion_ && (version != 0 || wanted.empty())) return;
    // Lines the file still holds first, in their order, are kept as they are: learning only
    // ever appends, so a learned phrase costs one line, not the whole file.
    const bool samePath = wanted == userPath_;
    userPath_ = wanted;
    userVersion_ = version;
    std::vector<std::pair<std::string, std::string>> lines;
    if (!wanted.empty()) {
        auto visit = [&](const UserPhraseEntry& entry) {
            const std::string_view code = entry.letters(LATTICE_USER_WORD_PIECES_MAX);
            const std::string_view phrase = entry.phrase();
            if (code.size() >= 2 && phrase.size() == 2 * code.size()) lines.emplace_back(code, phrase);
            return true;
        };
        forEachUserPhrase(wanted.c_str(), '\0', false, visit);
    }
    size_t kept = 0;
    if (samePath && lines.size() >= userLines_.size())
        while (kept < userLines_.size() && lines[kept] == userLines_[kept]) ++kept;
    if (kept == lines.size() && kept == userLines_.size()) return;  // the same phrases
    if (kept < userLines_.size()) {                                 // a line went or changed: start again
        kept = 0;
        userPhrases_.clear();
        longestUserCode_ = 0;
    }
    for (size_t i = kept; i < lines.size(); ++i) {
        const auto& [code, phrase] = lines[i];
        longestUserCode_ = std::max(longestUserCode_, static_cast<int>(code.size()));
        auto& list = userPhrases_[code];
        if (std::find(list.begin(), list.end(), phrase) == list.end()) list.push_back(phrase);
    }
    userLines_.swap(lines);
    if (!userLines_.empty()) prepareReadings();
    ++generation_;
}

int SentenceDictionary::syllableId(std::string_view name) const {
    auto found = syllableIds_.find(std::string(name));
    return found == syllableIds_.end() ? -1 : found->second;
}

bool SentenceDictionary::beginsSyllable(std::string_view letters) const {
    return prefixes_.count(std::string(letters)) > 0;
}

void SentenceDictionary::piecesEndingAt(const LatticeLine& line, int end, std::vector<Piece>& out) const {
    const auto& b = line.boundary;
    bool separated = false;  // some separator lies inside [start, end)
    for (int start = end - 1; start >= 0 && end - start <= LATTICE_SYLLABLE_LETTERS_MAX; --start) {
        if (start + 1 < end) {
            if (b[static_cast<size_t>(start + 1)] == BOUNDARY_HARD) break;
            if (b[static_cast<size_t>(start + 1)] != BOUNDARY_NONE) separated = true;
        }
        const std::string_view letters(line.letters.data() + start, static_cast<size_t>(end - start));
        const int id = syllableId(letters);
        if (id >= 0)
            out.push_back(
                {static_cast<uint16_t>(start), static_cast<uint16_t>(end), true, static_cast<uint16_t>(id)});
        const bool stretch = !separated && b[static_cast<size_t>(start)] != BOUNDARY_NONE &&
                             b[static_cast<size_t>(end)] != BOUNDARY_NONE;
        if (stretch && (id < 0 || letters.size() == 1) && beginsSyllable(letters))
            out.push_back({static_cast<uint16_t>(start), static_cast<uint16_t>(end), false, 0});
    }
}

bool SentenceDictionary::pieceFits(const LatticeLine& line, const Piece& piece, int syllable) const {
    if (piece.whole) return piece.syllable == syllable;
    const std::string& name = syllables_[static_cast<size_t>(syllable)].name;
    const size_t length = static_cast<size_t>(piece.end - piece.start);
    return name.size() >= length && name.compare(0, length, line.letters, piece.start, length) == 0;
}

// Whether each character of phrase has a reading that its piece fits.
bool SentenceDictionary::readingsFit(const LatticeLine& line, std::string_view phrase, const Piece* path,
                                     int count) const {
    if (phrase.size() != 2 * static_cast<size_t>(count)) return false;
    for (int i = 0; i < count; ++i) {
        auto found = readings_.find(gbkCode(phrase.data() + 2 * i));
        if (found == readings_.end()) return false;
        if (std::none_of(found->second.begin(), found->second.end(),
                         [&](uint16_t id) { return pieceFits(line, path[i], id); }))
            return false;
    }
    return true;
}

void SentenceDictionary::wordsOver(const LatticeLine& line, const Piece* path, int count,
                                   std::vector<LatticeWord>& out) const {
    LatticeWord word{};
    word.from = path[0].start;
    setCode(word, line, path, count);
    const int partials =
        static_cast<int>(std::count_if(path, path + count, [](const Piece& p) { return !p.whole; }));
    word.bias = PARTIAL_PIECE_WEIGHT * static_cast<float>(partials);

    if (count == 1) {
        // Characters: the likeliest of the syllable, or of each syllable the piece begins.
        word.source = WordSource::character;
        const Piece& piece = path[0];
        if (piece.whole) {
            const Syllable& s = syllables_[piece.syllable];
            for (size_t r = 0; r < s.chars.size() && r < LATTICE_CHARACTERS_PER_SYLLABLE; ++r) {
                const char pair[2] = {static_cast<char>(s.chars[r] >> 8),
                                      static_cast<char>(s.chars[r] & 0xFF)};
                setText(word, std::string_view(pair, 2));
                word.weight = characterWeight(static_cast<int>(r));
                out.push_back(word);
            }
            return;
        }
        struct Candidate {
            uint16_t code;
            float weight;
        };
        Candidate kept[64];
        int keptCount = 0;
        for (size_t id = 0; id < syllables_.size() && keptCount < 64; ++id) {
            if (!pieceFits(line, piece, static_cast<int>(id))) continue;
            const Syllable& s = syllables_[id];
            for (size_t r = 0; r < s.chars.size() && r < PARTIAL_CHARACTERS_PER_SYLLABLE && keptCount < 64;
                 ++r) {
                const uint16_t code = s.chars[r];
                auto same =
                    std::find_if(kept, kept + keptCount, [&](const Candidate& c) { return c.code == code; });
                if (same == kept + keptCount)
                    kept[keptCount++] = {code, characterWeight(static_cast<int>(r))};
            }
        }
        std::stable_sort(kept, kept + keptCount,
                         [](const Candidate& a, const Candidate& b) { return a.weight > b.weight; });
        for (int i = 0; i < keptCount && i < PARTIAL_CHARACTERS; ++i) {
            const char pair[2] = {static_cast<char>(kept[i].code >> 8),
                                  static_cast<char>(kept[i].code & 0xFF)};
            setText(word, std::string_view(pair, 2));
            word.weight = kept[i].weight;
            out.push_back(word);
        }
        return;
    }

    std::string initials;
    for (int i = 0; i < count; ++i) initials += line.letters[path[i].start];
    if (count <= LATTICE_TABLE_WORD_PIECES_MAX) {
        word.source = WordSource::table;
        if (fileWords_) fileWordsOver(line, path, count, partials, initials, word, out);
        if (tableInFile_) {
            // The file gave the table's words.
        } else if (partials == 0) {
            int ids[LATTICE_TABLE_WORD_PIECES_MAX];
            for (int i = 0; i < count; ++i) ids[i] = path[i].syllable;
            auto found = wordsBySyllables_.find(syllablesKey(ids, count));
            if (found != wordsBySyllables_.end())
                for (uint32_t index : found->second) {
                    setText(word, words_[index].text);
                    word.weight = words_[index].weight;
                    out.push_back(word);
                }
        } else if (auto found = wordsByInitials_.find(initials); found != wordsByInitials_.end()) {
            size_t taken = 0;
            for (uint32_t index : found->second) {
                if (taken >= WORDS_PER_PARTIAL_RUN) break;
                // The phrase table's own reading decides, not any reading of its characters.
                const TableWord& w = words_[index];
                bool fit = true;
                for (int i = 0; i < count && fit; ++i) fit = pieceFits(line, path[i], w.syllables[i]);
                if (!fit) continue;
                setText(word, words_[index].text);
                word.weight = words_[index].weight;
                out.push_back(word);
                ++taken;
            }
        }
    }
    if (auto found = userPhrases_.find(initials); found != userPhrases_.end()) {
        word.source = WordSource::user;
        word.bias = 0;
        for (const std::string& phrase : found->second) {
            if (!readingsFit(line, phrase, path, count)) continue;
            setText(word, phrase);
            word.weight = USER_PHRASE_CHARACTER_WEIGHT * static_cast<float>(count);
            out.push_back(word);
        }
    }
}

// The words file's words over a run: those of exactly its syllables when every piece is
// whole, else the heaviest whose syllables the pieces begin. The table's words in it count
// only when it was made from the table in use; they are then the table's words here.
void SentenceDictionary::fileWordsOver(const LatticeLine& line, const Piece* path, int count, int partials,
                                       std::string_view initials, LatticeWord& word,
                                       std::vector<LatticeWord>& out) const {
    PinyinWord found{};
    auto take = [&](const PinyinWord& w) {
        setText(word, w.text);
        word.weight = w.weight;
        out.push_back(word);
    };
    uint32_t begin = 0, end = 0;
    if (partials == 0) {
        uint16_t key[PINYIN_WORDS_PIECES_MAX];
        for (int i = 0; i < count; ++i) {
            const int32_t id = fileSyllables_[path[i].syllable];
            if (id < 0) return;
            key[i] = static_cast<uint16_t>(id);
        }
        pinyinWordsExact(fileWords_, key, count, begin, end);
        for (uint32_t at = begin; at < end; ++at)
            if (pinyinWordsEntry(fileWords_, at, found) && (tableInFile_ || !found.fromTable)) take(found);
        return;
    }
    pinyinWordsInitials(fileWords_, initials, begin, end);
    size_t table = 0, extra = 0;
    for (uint32_t at = begin; at < end; ++at) {
        if (table >= WORDS_PER_PARTIAL_RUN && extra >= EXTRA_WORDS_PER_PARTIAL_RUN) break;
        if (!pinyinWordsByInitials(fileWords_, at, found) || found.count != count) continue;
        size_t& taken = found.fromTable ? table : extra;
        const size_t limit = found.fromTable ? WORDS_PER_PARTIAL_RUN : EXTRA_WORDS_PER_PARTIAL_RUN;
        if ((found.fromTable && !tableInFile_) || taken >= limit) continue;
        bool fit = true;
        for (int i = 0; i < count && fit; ++i) {
            const std::string_view name = pinyinWordsSyllable(fileWords_, found.syllables[i]);
            const Piece& piece = path[i];
            if (piece.whole) {
                fit = fileSyllables_[piece.syllable] == found.syllables[i];
            } else {
                const size_t length = static_cast<size_t>(piece.end - piece.start);
                fit =
                    name.size() >= length && name.compare(0, length, line.letters, piece.start, length) == 0;
            }
        }
        if (!fit) continue;
        take(found);
        ++taken;
    }
}
