// The sentence search over the lattice of a line.
#include "pinyin/sentencesearch.h"

#include "pinyin/languagemodel.h"

#include <algorithm>
#include <memory>

namespace {

// Runs of pieces of one length ending at one node that are looked up; the lattice of a real
// line has far fewer, this only bounds a line of many one-letter pieces.
constexpr size_t RUNS_PER_LENGTH_MAX = 64;
// A phrase of the tables that the model does not know stands below its table weight: the
// model's words are the common ones.
constexpr float UNKNOWN_TO_MODEL = -1.0f;
// Every word scored beside the model earns this step. Without it the search leans towards
// fewer, longer words than were meant (一边 骂 for 一遍 吗): each further word pays one more
// of the model's terms. Chosen on one half of the held-out corpus (scripts/pinyin-corpus),
// where 0.1 to 0.25 did best, and confirmed on the other; by 0.3 it splits words that
// belong together (只是 for 知识). Without a model the tables' weights need no such step.
constexpr float MODEL_WORD_STEP = 0.15f;

}  // namespace

uint32_t ModelScorer::word(std::string_view gbk) const { return languageModelWord(model_, gbk); }

float ModelScorer::score(uint32_t older, uint32_t last, uint32_t word) const {
    return languageModelScore(model_, older, last, word);
}

float sentenceWordScore(const SentenceScorer* scorer, const LatticeWord& word, uint32_t id, uint32_t older,
                        uint32_t last) {
    if (word.source == WordSource::user || scorer == nullptr) return word.weight + word.bias;
    float score;
    // The model holds every common character: one it lacks is as rare as any word it lacks.
    if (id == 0 && word.source == WordSource::character)
        score = scorer->score(older, last, 0);
    else if (id == 0)
        score = word.weight + UNKNOWN_TO_MODEL;
    else
        score = scorer->score(older, last, id);
    return score + word.bias + MODEL_WORD_STEP;
}

uint32_t sentenceContextWord(const SentenceScorer* scorer, const LatticeWord& word, uint32_t id) {
    if (id != 0 || scorer == nullptr || word.bytes <= 2) return id;
    return scorer->word(word.view().substr(word.bytes - 2u));
}

void SentenceSearch::setBeamWidth(int width) {
    width = std::clamp(width, 1, SENTENCE_BEAM_MAX);
    if (width != width_) forget();
    width_ = width;
}

void SentenceSearch::forget() {
    nodes_.clear();
    previous_ = {};
    dictionary_ = nullptr;
    scorer_ = nullptr;
}

// Keeps the best width_ hypotheses; with a model, one for each pair of last words (what
// follows depends on nothing else), without one only the best (nothing depends on them).
void SentenceSearch::offer(std::vector<Hypothesis>& beam, const Hypothesis& candidate, bool byState) const {
    for (Hypothesis& h : beam)
        if (!byState || (h.older == candidate.older && h.last == candidate.last)) {
            if (candidate.score > h.score) h = candidate;
            return;
        }
    if (static_cast<int>(beam.size()) < width_) {
        beam.push_back(candidate);
        return;
    }
    auto worst = std::min_element(beam.begin(), beam.end(),
                                  [](const Hypothesis& a, const Hypothesis& b) { return a.score < b.score; });
    if (candidate.score > worst->score) *worst = candidate;
}

// Every run of pieces that ends at node, shortest first: every run that a phrase of the
// tables can span (up to four pieces), longer ones only as far as the user has phrases that
// long, and at most RUNS_PER_LENGTH_MAX of one length.
void SentenceSearch::addRuns(const SentenceDictionary& dictionary, const LatticeLine& line, int node) {
    const int longest = std::max(LATTICE_TABLE_WORD_PIECES_MAX, dictionary.longestUserCode());
    std::vector<Run>& level = runs_;
    std::vector<Run>& next = nextRuns_;
    level.clear();
    for (const Piece& piece : nodes_[static_cast<size_t>(node)].pieces) level.push_back({{piece}, 1});
    Piece ordered[LATTICE_USER_WORD_PIECES_MAX];
    for (int length = 1; !level.empty(); ++length) {
        for (const Run& run : level) {
            std::reverse_copy(run.pieces, run.pieces + length, ordered);
            dictionary.wordsOver(line, ordered, length, nodes_[static_cast<size_t>(node)].words);
        }
        if (length >= std::min(longest, LATTICE_USER_WORD_PIECES_MAX)) break;
        next.clear();
        for (const Run& run : level)
            for (const Piece& piece : nodes_[run.pieces[length - 1].start].pieces) {
                if (next.size() >= RUNS_PER_LENGTH_MAX) break;
                Run longer = run;
                longer.pieces[length] = piece;
                next.push_back(longer);
            }
        level.swap(next);
    }
}

void SentenceSearch::computeNode(const SentenceDictionary& dictionary, const SentenceScorer* scorer,
                                 const LatticeLine& line, int node) {
    Node& n = nodes_[static_cast<size_t>(node)];
    n.pieces.clear();
    n.words.clear();
    n.ids.clear();
    n.beam.clear();
    if (node == 0) {
        n.beam.push_back({0.0f, older_, last_, -1, -1});
        return;
    }
    dictionary.piecesEndingAt(line, node, n.pieces);
    addRuns(dictionary, line, node);
    n.ids.reserve(n.words.size());
    for (const LatticeWord& w : n.words) n.ids.push_back(scorer ? scorer->word(w.view()) : 0);
    for (size_t i = 0; i < n.words.size(); ++i) {
        const LatticeWord& w = n.words[i];
        const uint32_t id = n.ids[i];
        const uint32_t context = sentenceContextWord(scorer, w, id);
        const std::vector<Hypothesis>& before = nodes_[w.from].beam;
        for (size_t b = 0; b < before.size(); ++b) {
            const Hypothesis& h = before[b];
            const float score = h.score + sentenceWordScore(scorer, w, id, h.older, h.last);
            offer(n.beam, {score, h.last, context, static_cast<int32_t>(i), static_cast<int32_t>(b)},
                  scorer != nullptr);
        }
    }
}

bool SentenceSearch::best(const SentenceDictionary& dictionary, const SentenceScorer* scorer,
                          const LatticeLine& line, uint32_t older, uint32_t last, SentenceResult& out) {
    const size_t count = line.letters.size();
    if (line.boundary.size() != count + 1) return false;
    // Nodes whose letters and separators up to them are those of the last search stand.
    size_t kept = 0;
    const bool same = dictionary_ == &dictionary && scorer_ == scorer &&
                      generation_ == dictionary.generation() && older_ == older && last_ == last;
    if (same) {
        const LatticeLine& p = previous_;
        while (kept <= count && kept < p.boundary.size() && kept < nodes_.size() &&
               p.boundary[kept] == line.boundary[kept] &&
               (kept == 0 || (kept <= p.letters.size() && p.letters[kept - 1] == line.letters[kept - 1])))
            ++kept;
    }
    dictionary_ = &dictionary;
    scorer_ = scorer;
    generation_ = dictionary.generation();
    older_ = older;
    last_ = last;
    previous_ = line;
    nodes_.resize(count + 1);
    computed_ = 0;
    for (size_t node = kept; node <= count; ++node, ++computed_)
        computeNode(dictionary, scorer, line, static_cast<int>(node));

    const std::vector<Hypothesis>& end = nodes_[count].beam;
    if (count == 0 || end.empty()) return false;
    auto top = std::max_element(end.begin(), end.end(),
                                [](const Hypothesis& a, const Hypothesis& b) { return a.score < b.score; });
    out.score = top->score;
    std::vector<const LatticeWord*> words;
    size_t node = count;
    for (const Hypothesis* h = &*top; h->word >= 0;) {
        const LatticeWord& w = nodes_[node].words[static_cast<size_t>(h->word)];
        words.push_back(&w);
        node = w.from;
        h = &nodes_[node].beam[static_cast<size_t>(h->back)];
    }
    out.text.clear();
    out.code.clear();
    for (auto w = words.rbegin(); w != words.rend(); ++w) {
        out.text.append((*w)->view());
        out.code.append((*w)->code, (*w)->pieces);
    }
    return true;
}

namespace {
std::unique_ptr<PinyinSentenceState> sentenceState;
}

PinyinSentenceState& pinyinSentence() {
    if (!sentenceState) sentenceState = std::make_unique<PinyinSentenceState>();
    return *sentenceState;
}

void releasePinyinSentence() { sentenceState.reset(); }
