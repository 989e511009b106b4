// The pinyin engine: whole phrases and sentences typed as syllables, converted from the
// left by choosing phrases and characters from ten rows, and delivered at once.
#pragma once

#include "core/engine.h"

#include <cstddef>
#include <cstdint>

// One key from the dispatch: the key word (vk in bits 0-7), its character and the context.
// Returns 0 when a letter is refused because the line is full, 1 otherwise.
int processPinyinKey(uint32_t key, uint32_t character, EngineContext* context);

// A choice is stored in one of the 15 choice entries of syllables (31 bytes each).
constexpr int PINYIN_CHOICES_MAX = 15;
constexpr size_t PINYIN_CHOICE_BYTES_MAX = 30;
// A letter is refused once the typed line holds this many bytes.
constexpr int PINYIN_LINE_FULL = 26;
// A learned phrase: 2 to 7 syllables, at most 8 characters.
constexpr size_t PINYIN_LEARNED_BYTES_MAX = 16;

// The engine's process-wide state beside the context: the work lists rebuilt on every
// key, and the two alternations it keeps between keys.
struct PinyinState {
    char candidateList[36000];  // the candidates in display order, each followed by a space
    char charList[36000];       // characters of the first unconverted syllable
    char hintChars[36000];      // characters of the syllable at the caret (row labels)
    char syllableProbe[36000];  // result of the syllable check
    char userPhraseHits[200];   // user phrases found by initials
    char userPhraseHitsByLength[8][200];  // the same by code length while the file is read
    int32_t quoteToggle;        // 0: the next quote mark opens, 1: it closes
    int32_t symbolLine;         // which Shift symbol line comes next, 0 to 2
    // 1: lookups walk the tables instead of their indexes (tests compare the two).
    int32_t scanTables;
};
extern PinyinState pinyin;

// Puts the state back as at load.
void resetPinyinState();

// Number of choices made, syllables they converted, syllables in the list: the webState
// words the engine uses as counters, read as the types they have.
int32_t& choiceCount(EngineContext* context);
uint32_t& convertedCount(EngineContext* context);
uint32_t& syllableCount(EngineContext* context);
