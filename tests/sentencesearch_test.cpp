// The sentence search proven against an exhaustive enumeration: on a few thousand short
// random lines built from real syllables, every split and every word sequence is scored
// and the best must be what the search finds (exactly without a model; with a trigram
// scorer whenever the beam holds every state). The search that keeps earlier nodes must
// find what a fresh one finds.
#include "imedriver.h"
#include "userfiles.h"

#include "phrases/userphrasefile.h"
#include "pinyin/sentencelattice.h"
#include "pinyin/sentencesearch.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

const char* const kSyllables =
    "a\t啊阿\n"
    "an\t安案暗\n"
    "ba\t八把吧\n"
    "ban\t半班办\n"
    "e\t饿额\n"
    "fan\t反饭\n"
    "fang\t方放房\n"
    "gan\t干感\n"
    "guo\t国过果\n"
    "na\t那拿\n"
    "nan\t南难男\n"
    "ni\t你泥\n"
    "xi\t西喜系\n"
    "xian\t先现线\n"
    "zhong\t中种重\n";

const char* const kPhrases =
    "an ba\t安吧\n"
    "ba ban\t八班\n"
    "fang an\t方案\n"
    "na nan\t那男\n"
    "xi an\t西安\n"
    "zhong guo\t中国\n"
    "zhong guo xi an\t中国西安\n";

const char* const kSyllableNames[] = {"a",   "an", "ba",  "ban", "e",  "fan",  "fang", "gan",
                                      "guo", "na", "nan", "ni",  "xi", "xian", "zhong"};

// A trigram scorer over a handful of ids, so that the beam can hold every state.
class FakeModel : public SentenceScorer {
public:
    uint32_t word(std::string_view gbk) const override {
        const uint32_t h = hash(gbk);
        return h % 5 == 0 ? 0 : 1 + h % 5;  // a fifth unknown
    }
    float score(uint32_t older, uint32_t last, uint32_t w) const override {
        const uint32_t h = (older * 7919u + last * 104729u + w * 1299709u) ^ 0x5bd1e995u;
        return -1.0f - static_cast<float>((h * 2654435761u) >> 22) / 256.0f;
    }

private:
    static uint32_t hash(std::string_view s) {
        uint32_t h = 2166136261u;
        for (char ch : s) h = (h ^ static_cast<unsigned char>(ch)) * 16777619u;
        return h;
    }
};

class SentenceSearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetEngineForTest();
        syllables = buildTable(kSyllables, "pymb");
        phrases = buildTable(kPhrases, "pycz");
        ASSERT_NE(syllables.data, nullptr);
        dictionary.prepare(&syllables, &phrases);
        const std::string file = systemFilePath("PYCZ.rt");
        writeFileText(file, gbk("ng      你国\nxa      先安\n"));
        dictionary.prepareUserPhrases(file.c_str());
    }

    // A line of 1 to 4 syllables; the engine's separators after some of them, now and then one
    // the user typed, and now and then a syllable typed as its initial.
    LatticeLine randomLine(std::mt19937& random) {
        LatticeLine line;
        line.boundary.push_back(BOUNDARY_HARD);
        const int count = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < count; ++i) {
            std::string s = kSyllableNames[random() % std::size(kSyllableNames)];
            const bool initial = random() % 6 == 0;
            if (initial) s = s.substr(0, 1);
            if (i > 0) {
                const uint32_t r = random() % 8;
                line.boundary.back() = initial || r < 3 ? BOUNDARY_SOFT
                                       : r == 3         ? BOUNDARY_HARD
                                                        : BOUNDARY_NONE;
            }
            for (char letter : s) {
                line.letters += letter;
                line.boundary.push_back(BOUNDARY_NONE);
            }
            if (initial) line.boundary.back() = BOUNDARY_SOFT;
        }
        line.boundary.back() = BOUNDARY_HARD;
        return line;
    }

    // Every split, every word sequence: the best score, -infinity when none covers the line.
    float exhaustiveBest(const LatticeLine& line, const SentenceScorer* scorer) {
        const int n = static_cast<int>(line.letters.size());
        std::vector<std::vector<Piece>> startingAt(static_cast<size_t>(n + 1));
        for (int end = 1; end <= n; ++end) {
            std::vector<Piece> pieces;
            dictionary.piecesEndingAt(line, end, pieces);
            for (const Piece& p : pieces) startingAt[p.start].push_back(p);
        }
        float best = -1e30f;
        std::vector<Piece> run;
        std::function<void(int, float, uint32_t, uint32_t)> from = [&](int node, float score, uint32_t older,
                                                                       uint32_t last) {
            if (node == n) {
                best = std::max(best, score);
                return;
            }
            std::function<void(int)> extend = [&](int at) {
                if (run.size() >= LATTICE_USER_WORD_PIECES_MAX) return;
                for (const Piece& p : startingAt[static_cast<size_t>(at)]) {
                    run.push_back(p);
                    std::vector<LatticeWord> words;
                    dictionary.wordsOver(line, run.data(), static_cast<int>(run.size()), words);
                    for (const LatticeWord& w : words) {
                        const uint32_t id = scorer ? scorer->word(w.view()) : 0;
                        from(p.end, score + sentenceWordScore(scorer, w, id, older, last), last,
                             sentenceContextWord(scorer, w, id));
                    }
                    extend(p.end);
                    run.pop_back();
                }
            };
            const std::vector<Piece> saved = run;
            run.clear();
            extend(node);
            run = saved;
        };
        from(0, 0.0f, 0, 0);
        return best;
    }

    CodeTable syllables{}, phrases{};
    SentenceDictionary dictionary;
};

TEST_F(SentenceSearchTest, FindsTheBestOfEverySplitAndWordSequence) {
    std::mt19937 random(20261201);
    FakeModel model;
    int covered = 0;
    for (int i = 0; i < 3000; ++i) {
        const LatticeLine line = randomLine(random);
        for (const SentenceScorer* scorer :
             {static_cast<const SentenceScorer*>(nullptr), static_cast<const SentenceScorer*>(&model)}) {
            SentenceSearch search;
            // Without a model no state matters and the search is exact at any width; with one
            // it is exact when the beam holds every pair of last words (here at most 36).
            search.setBeamWidth(scorer ? SENTENCE_BEAM_MAX : 1);
            SentenceResult found;
            const float best = exhaustiveBest(line, scorer);
            const bool any = search.best(dictionary, scorer, line, 0, 0, found);
            ASSERT_EQ(any, best > -1e29f) << line.letters;
            if (!any) continue;
            ++covered;
            ASSERT_NEAR(found.score, best, 1e-3) << line.letters;
            ASSERT_EQ(found.text.size(), 2 * found.code.size()) << line.letters;
            // The default beam never finds more than there is.
            SentenceSearch narrow;
            SentenceResult narrowFound;
            ASSERT_TRUE(narrow.best(dictionary, scorer, line, 0, 0, narrowFound));
            ASSERT_LE(narrowFound.score, best + 1e-3) << line.letters;
        }
    }
    EXPECT_GT(covered, 4000);
}

TEST_F(SentenceSearchTest, KeepingEarlierNodesFindsWhatAFreshSearchFinds) {
    std::mt19937 random(7);
    FakeModel model;
    SentenceSearch kept;
    int saved = 0;
    for (int i = 0; i < 500; ++i) {
        const LatticeLine whole = randomLine(random);
        // The line as it grows letter by letter, the last letter always ending it.
        for (size_t n = 1; n <= whole.letters.size(); ++n) {
            LatticeLine part;
            part.letters = whole.letters.substr(0, n);
            part.boundary.assign(whole.boundary.begin(), whole.boundary.begin() + static_cast<long>(n) + 1);
            part.boundary.back() = BOUNDARY_HARD;
            SentenceResult a, b;
            SentenceSearch fresh;
            const bool foundKept = kept.best(dictionary, &model, part, 0, 0, a);
            saved += static_cast<int>(n) + 1 - kept.nodesComputed();
            ASSERT_EQ(foundKept, fresh.best(dictionary, &model, part, 0, 0, b)) << part.letters;
            if (!foundKept) continue;
            ASSERT_EQ(a.text, b.text) << part.letters;
            ASSERT_NEAR(a.score, b.score, 1e-4) << part.letters;
        }
    }
    EXPECT_GT(saved, 1000);  // the earlier nodes were kept, not searched again
}

TEST_F(SentenceSearchTest, UserPhrasesFitOnlyTheirReadings) {
    LatticeLine line;
    line.letters = "niguo";
    line.boundary = {BOUNDARY_HARD, 0, BOUNDARY_SOFT, 0, 0, BOUNDARY_HARD};
    SentenceSearch search;
    SentenceResult found;
    ASSERT_TRUE(search.best(dictionary, nullptr, line, 0, 0, found));
    EXPECT_EQ(utf8(found.text), "你国");
    EXPECT_EQ(found.code, "ng");
    // na guo has the same initials; 你 is not read na.
    line.letters = "naguo";
    ASSERT_TRUE(search.best(dictionary, nullptr, line, 0, 0, found));
    EXPECT_NE(utf8(found.text), "你国");
}

// The user's phrases follow the file: a new reading of the same lines changes nothing (the
// search keeps its nodes), an added line is found, a removed one is gone.
TEST_F(SentenceSearchTest, UserPhrasesFollowTheFileAndOnlyItsChanges) {
    const std::string file = systemFilePath("PYCZ.rt");
    LatticeLine line;
    line.letters = "xiguo";
    line.boundary = {BOUNDARY_HARD, 0, BOUNDARY_SOFT, 0, 0, BOUNDARY_HARD};
    SentenceSearch search;
    SentenceResult found;
    ASSERT_TRUE(search.best(dictionary, nullptr, line, 0, 0, found));
    const std::string before = utf8(found.text);
    const uint64_t generation = dictionary.generation();
    writeFileText(file, gbk("ng      你国\nxa      先安\n"));  // the same lines, written again
    forgetUserPhraseFileLines();
    dictionary.prepareUserPhrases(file.c_str());
    EXPECT_EQ(dictionary.generation(), generation);
    ASSERT_TRUE(search.best(dictionary, nullptr, line, 0, 0, found));
    EXPECT_EQ(search.nodesComputed(), 0);
    writeFileText(file, gbk("ng      你国\nxa      先安\nxg      喜果\n"));
    dictionary.prepareUserPhrases(file.c_str());
    EXPECT_NE(dictionary.generation(), generation);
    EXPECT_EQ(dictionary.longestUserCode(), 2);
    ASSERT_TRUE(search.best(dictionary, nullptr, line, 0, 0, found));
    EXPECT_EQ(utf8(found.text), "喜果");
    EXPECT_NE(before, "喜果");
    // The first line goes: the rest are taken again, and 你国 is no phrase any more.
    writeFileText(file, gbk("xa      先安\nxg      喜果\n"));
    dictionary.prepareUserPhrases(file.c_str());
    std::vector<LatticeWord> words;
    LatticeLine ni;
    ni.letters = "niguo";
    ni.boundary = {BOUNDARY_HARD, 0, BOUNDARY_SOFT, 0, 0, BOUNDARY_HARD};
    std::vector<Piece> last, first;
    dictionary.piecesEndingAt(ni, 5, last);
    dictionary.piecesEndingAt(ni, 2, first);
    ASSERT_FALSE(last.empty());
    ASSERT_FALSE(first.empty());
    const Piece path[] = {first[0], last[0]};
    dictionary.wordsOver(ni, path, 2, words);
    for (const LatticeWord& w : words) EXPECT_NE(w.source, WordSource::user) << utf8(std::string(w.view()));
    ASSERT_TRUE(search.best(dictionary, nullptr, line, 0, 0, found));
    EXPECT_EQ(utf8(found.text), "喜果");
}

}  // namespace
