// The pinyin engine: whole phrases and sentences typed as syllables, converted at once by
// the sentence row (the best conversion of the whole line) or from the left by choosing
// phrases and characters from the other rows, and delivered at once.
#pragma once

#include "core/engine.h"

#include <cstddef>
#include <cstdint>

// One key from the dispatch: the key word (vk in bits 0-7), its character and the context.
// Returns 0 when a letter is refused because the line is full (with a beep), 1 otherwise.
int processPinyinKey(uint32_t key, uint32_t character, EngineContext* context);

// The typed line holds a sentence: 64 letters with their separators. A letter beyond it is
// refused with a beep and changes nothing.
constexpr int PINYIN_LETTERS_MAX = 64;
constexpr size_t PINYIN_LINE_SIZE = 2 * PINYIN_LETTERS_MAX + 4;  // letters, separators, NUL, room
constexpr int PINYIN_LINE_SYLLABLES_MAX = PINYIN_LETTERS_MAX;
// A choice from the rows holds at most 30 bytes; the sentence row a character a letter.
constexpr int PINYIN_CHOICES_MAX = PINYIN_LINE_SYLLABLES_MAX;
constexpr size_t PINYIN_CHOICE_BYTES_MAX = 30;
constexpr size_t PINYIN_SENTENCE_BYTES_MAX = 2 * PINYIN_LETTERS_MAX;
// The record shows the line through a window of this many bytes around the caret.
constexpr size_t PINYIN_WINDOW_BYTES = sizeof EngineContext::modeInput - 1;
// A learned phrase: 2 to 7 syllables, at most 8 characters.
constexpr size_t PINYIN_LEARNED_BYTES_MAX = 16;

// The line and what was made of it, beside the record (which shows a window of them): the
// letters and separators, which separators the user typed, the caret, the syllable list,
// the choices with the initials and syllables each took, and the display string.
struct PinyinLine {
    char text[PINYIN_LINE_SIZE];
    uint8_t hard[PINYIN_LINE_SIZE];  // 1 where a separator was typed (a comma), not placed
    int32_t caret;
    int32_t windowStart;
    char syllables[PINYIN_LINE_SYLLABLES_MAX][31];
    int32_t syllableCount;
    char choices[PINYIN_CHOICES_MAX][PINYIN_SENTENCE_BYTES_MAX + 1];
    char choiceCodes[PINYIN_CHOICES_MAX][PINYIN_LETTERS_MAX + 1];  // initials, one a character
    uint8_t choiceSyllables[PINYIN_CHOICES_MAX];                   // syllables of the list each took
    uint8_t choiceWasSentence[PINYIN_CHOICES_MAX];  // it is what the sentence row offered there
    char shown[2 * PINYIN_SENTENCE_BYTES_MAX + PINYIN_LINE_SIZE];  // choices, filler, syllables
    char published[sizeof EngineContext::modeInput];               // the window last put into the record
    // The sentence row of this key: the best conversion of the unconverted rest.
    char sentence[PINYIN_SENTENCE_BYTES_MAX + 1];
    char sentenceCode[PINYIN_LETTERS_MAX + 1];
    int32_t sentenceShown;  // row 1 of the page shown is the sentence row
};

// The engine's process-wide state beside the context: the work lists rebuilt on every
// key, and the two alternations it keeps between keys.
struct PinyinState {
    char candidateList[36000];            // the candidates in display order, each followed by a space
    char charList[36000];                 // characters of the first unconverted syllable
    char hintChars[36000];                // characters of the syllable at the caret (row labels)
    char syllableProbe[36000];            // result of the syllable check
    char userPhraseHits[200];             // user phrases found by initials
    char userPhraseHitsByLength[8][200];  // the same by code length while the file is read
    int32_t quoteToggle;                  // 0: the next quote mark opens, 1: it closes
    int32_t symbolLine;                   // which Shift symbol line comes next, 0 to 2
    // 1: lookups walk the tables instead of their indexes (tests compare the two).
    int32_t scanTables;
    PinyinLine line;
};
extern PinyinState pinyin;

// Puts the state back as at load (and forgets what the sentence search kept).
void resetPinyinState();

// Setting "整句输入": row 1 is the best conversion of the whole line (on unless the value is 0).
constexpr char SENTENCE_INPUT_SETTING[] = "\xD5\xFB\xBE\xE4\xCA\xE4\xC8\xEB";

// Number of choices made, syllables they converted, syllables in the list: the webState
// words the engine uses as counters, read as the types they have.
int32_t& choiceCount(EngineContext* context);
uint32_t& convertedCount(EngineContext* context);
uint32_t& syllableCount(EngineContext* context);
