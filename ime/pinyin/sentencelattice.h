// The lattice of a typed pinyin line: the ways its letters split into syllables (pieces)
// and the words that fit runs of pieces, from the syllable table, the phrase table (or the
// words file that holds its words ready to look up, and more), and the user's phrase file.
// The sentence search walks it.
#pragma once

#include "shapecode/codetable.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

struct PinyinWords;

// Letters of a line, with what stands between them. boundary[k] is what lies before letter
// k (k = 0 .. letters.size()): BOUNDARY_NONE, a separator the engine placed itself (a piece
// may cross it), or one the user typed, the line's start or its end (none may).
constexpr uint8_t BOUNDARY_NONE = 0;
constexpr uint8_t BOUNDARY_SOFT = 1;
constexpr uint8_t BOUNDARY_HARD = 2;

struct LatticeLine {
    std::string letters;
    std::vector<uint8_t> boundary;  // letters.size() + 1 entries
};

// Longest syllable of the table, in letters; a phrase or a user phrase spans at most these
// many pieces.
constexpr int LATTICE_SYLLABLE_LETTERS_MAX = 8;
constexpr int LATTICE_TABLE_WORD_PIECES_MAX = 4;
constexpr int LATTICE_USER_WORD_PIECES_MAX = 8;
// Single characters kept for one syllable (the likeliest by the table's order).
constexpr int LATTICE_CHARACTERS_PER_SYLLABLE = 5;

// A syllable piece: letters [start, end) read as one syllable, typed whole (it fits only
// that syllable) or in part (an initial or unfinished syllable: fits every syllable it
// begins; only a stretch between two boundaries is read so).
struct Piece {
    uint16_t start, end;
    bool whole;
    uint16_t syllable;  // the syllable's id when whole
};

// A word of the lattice: GBK text over pieces, with the initials of its pieces (one a
// character), its weight from the tables (log10 scale) and the cost of its initials.
enum class WordSource : uint8_t { character, table, user };
struct LatticeWord {
    uint16_t from;  // node (letter position) where it starts
    uint8_t bytes, pieces;
    WordSource source;
    float weight;
    float bias;  // what reading pieces as initials costs, whatever scores the word
    char text[22];
    char code[LATTICE_USER_WORD_PIECES_MAX + 1];
    std::string_view view() const { return {text, bytes}; }
};

// What the tables and the phrase file offer, built once per table pair (and the phrase
// index once per reading of the file). With a words file made from the phrase table in
// use, the table's words are looked up in the file as it lies, and nothing is built for
// them; the file's further words join either way.
class SentenceDictionary {
public:
    // Whether the dictionary was built from these tables and words; rebuilds it when not.
    void prepare(const CodeTable* syllableTable, const CodeTable* phraseTable,
                 const PinyinWords* words = nullptr);
    // The user's phrases by their initials; taken again when the file's lines changed, and
    // then only from the first line that changed.
    void prepareUserPhrases(const char* path);
    // Changes whenever what the dictionary offers changes (tables or phrases read again).
    uint64_t generation() const { return generation_; }
    int longestUserCode() const { return longestUserCode_; }  // in pieces; 0 without phrases
    bool ready() const { return !syllables_.empty(); }
    // Whether the table's words come from the words file (it was made from this table).
    bool tableWordsFromFile() const { return tableInFile_; }

    int syllableId(std::string_view name) const;  // -1 when none
    bool beginsSyllable(std::string_view letters) const;
    std::string_view syllableName(int id) const { return syllables_[static_cast<size_t>(id)].name; }

    // Pieces ending at node end of line.
    void piecesEndingAt(const LatticeLine& line, int end, std::vector<Piece>& out) const;
    // Words over the run of pieces path (in line order), appended to out.
    void wordsOver(const LatticeLine& line, const Piece* path, int count,
                   std::vector<LatticeWord>& out) const;

private:
    struct Syllable {
        std::string name;
        std::vector<uint16_t> chars;  // GBK codes, in table order
    };
    struct TableWord {
        std::string_view text;  // into the phrase table
        float weight;
        uint16_t syllables[LATTICE_TABLE_WORD_PIECES_MAX];
    };
    bool pieceFits(const LatticeLine& line, const Piece& piece, int syllable) const;
    bool readingsFit(const LatticeLine& line, std::string_view phrase, const Piece* path, int count) const;
    void prepareReadings();
    void fileWordsOver(const LatticeLine& line, const Piece* path, int count, int partials,
                       std::string_view initials, LatticeWord& word, std::vector<LatticeWord>& out) const;

    const unsigned char* syllableData_ = nullptr;
    const unsigned char* phraseData_ = nullptr;
    uint32_t syllableSize_ = 0, phraseSize_ = 0;
    const PinyinWords* fileWords_ = nullptr;
    bool tableInFile_ = false;
    std::vector<int32_t> fileSyllables_;  // by syllable id: the words file's id, -1 when none
    bool readingsReady_ = false;          // readings_ is built for the user's phrases only
    std::vector<Syllable> syllables_;
    std::unordered_map<std::string, int> syllableIds_;
    std::unordered_map<std::string, bool> prefixes_;                // every beginning of a syllable
    std::unordered_map<uint16_t, std::vector<uint16_t>> readings_;  // character: its syllables
    std::vector<TableWord> words_;
    std::unordered_map<uint64_t, std::vector<uint32_t>> wordsBySyllables_;
    std::unordered_map<std::string, std::vector<uint32_t>> wordsByInitials_;
    std::string userPath_;
    uint64_t userVersion_ = 0;
    int longestUserCode_ = 0;
    uint64_t generation_ = 0;
    std::unordered_map<std::string, std::vector<std::string>> userPhrases_;  // initials: phrases
    std::vector<std::pair<std::string, std::string>> userLines_;             // as read: initials, phrase
};

// Weights the tables give (log10 scale): the first character of a syllable, and a phrase
// by its place among the phrases of its letter and length.
float characterWeight(int rank);
float tableWordWeight(int characters, int rank);
