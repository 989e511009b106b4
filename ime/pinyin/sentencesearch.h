// The sentence search: the best conversion of a whole typed line, over every way of splitting
// it into syllables and every word that fits, scored by a trigram model with back-off (or by
// the tables' weights alone when there is none). A beam of a few hypotheses a lattice node,
// each remembering its last two words; nodes the line shares with the previous search are
// kept, so a key at the end of the line costs only the nodes it changed.
#pragma once

#include "pinyin/sentencelattice.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What scores a word after two others (log10). word() gives 0 for a word it does not know.
class SentenceScorer {
public:
    virtual ~SentenceScorer() = default;
    virtual uint32_t word(std::string_view gbk) const = 0;
    virtual float score(uint32_t older, uint32_t last, uint32_t word) const = 0;
};

struct LanguageModel;
// A trigram model as a scorer.
class ModelScorer : public SentenceScorer {
public:
    explicit ModelScorer(const LanguageModel* model) : model_(model) {}
    uint32_t word(std::string_view gbk) const override;
    float score(uint32_t older, uint32_t last, uint32_t word) const override;

private:
    const LanguageModel* model_;
};

// How a word is scored in a sentence: by the scorer when there is one and it knows the word,
// else by the tables' weight (a model's score for an unknown word is no measure of it). The
// user's phrases keep their own weight, which puts them first.
float sentenceWordScore(const SentenceScorer* scorer, const LatticeWord& word, uint32_t id, uint32_t older,
                        uint32_t last);

// The word the model reads what follows after: the word itself, or for a phrase of the
// tables that the model does not know, its last character, so that such a phrase does not
// cut the sentence's context.
uint32_t sentenceContextWord(const SentenceScorer* scorer, const LatticeWord& word, uint32_t id);

struct SentenceResult {
    std::string text;  // GBK
    std::string code;  // the initials of its pieces, one a character
    float score = 0;
};

constexpr int SENTENCE_BEAM_DEFAULT = 4;
constexpr int SENTENCE_BEAM_MAX = 64;

class SentenceSearch {
public:
    // Hypotheses kept at each node (1 to SENTENCE_BEAM_MAX).
    void setBeamWidth(int width);
    // The best sentence over all of line; false when no sequence of words covers it.
    // older and last are the words before the line (0: none). scorer may be null.
    bool best(const SentenceDictionary& dictionary, const SentenceScorer* scorer, const LatticeLine& line,
              uint32_t older, uint32_t last, SentenceResult& out);
    // Nodes recomputed by the last search (what the incremental search saved).
    int nodesComputed() const { return computed_; }
    void forget();

private:
    struct Hypothesis {
        float score;
        uint32_t older, last;  // the last two words (model ids)
        int32_t word;          // index into the node's words; -1 at the start
        int32_t back;          // index into the beam of the word's first node
    };
    struct Node {
        std::vector<Piece> pieces;       // ending here
        std::vector<LatticeWord> words;  // ending here
        std::vector<uint32_t> ids;
        std::vector<Hypothesis> beam;
    };
    void computeNode(const SentenceDictionary& dictionary, const SentenceScorer* scorer,
                     const LatticeLine& line, int node);
    struct Run {
        Piece pieces[LATTICE_USER_WORD_PIECES_MAX];  // from the last piece back
        int length;
    };
    void addRuns(const SentenceDictionary& dictionary, const LatticeLine& line, int node);
    void offer(std::vector<Hypothesis>& beam, const Hypothesis& candidate, bool byState) const;

    int width_ = SENTENCE_BEAM_DEFAULT;
    std::vector<Node> nodes_;
    LatticeLine previous_;
    const SentenceDictionary* dictionary_ = nullptr;
    const SentenceScorer* scorer_ = nullptr;
    uint64_t generation_ = 0;
    uint32_t older_ = 0, last_ = 0;
    int computed_ = 0;
    std::vector<Run> runs_, nextRuns_;  // room reused from node to node
};

// The engine's search of the process: the dictionary of the tables in use, the kept nodes and
// the model they were scored by. releasePinyinSentence drops it all (tables going away, reset).
struct PinyinSentenceState {
    SentenceDictionary dictionary;
    SentenceSearch search;
    const LanguageModel* model = nullptr;
    ModelScorer scorer{nullptr};
};
PinyinSentenceState& pinyinSentence();
void releasePinyinSentence();
