// The pinyin engine. The typed line holds letters and single-space separators; it, the
// syllable list, the display string and the choices live beside the record (pinyin.line),
// which shows a window of the line and of the display string around the caret (modeInput,
// syllables entry 15) and keeps the three counters in webState. Every key edits the line,
// then rebuilds the syllable list, the sentence row, the candidates and the rows.
#include "pinyin/pinyin.h"

#include "pinyin/languagemodel.h"
#include "pinyin/pinyintables.h"
#include "pinyin/pinyinwords.h"
#include "pinyin/sentencesearch.h"
#include "webaddress/webaddress.h"
#include "phrases/userphrasefile.h"
#include "phrases/userphrasestore.h"
#include "phrases/userphrases.h"
#include "shapecode/codetable.h"
#include "core/lookuplist.h"
#include "shapecode/punctuation.h"
#include "shapecode/shapecode.h"
#include "webaddress/weblists.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string_view>

PinyinState pinyin;

void resetPinyinState() {
    std::memset(&pinyin, 0, sizeof pinyin);
    releasePinyinSentence();
}

int32_t& choiceCount(EngineContext* context) { return context->webState[WS_CHOICE_COUNT]; }
uint32_t& convertedCount(EngineContext* context) {
    return reinterpret_cast<uint32_t&>(context->webState[WS_CONVERTED_COUNT]);
}
uint32_t& syllableCount(EngineContext* context) {
    return reinterpret_cast<uint32_t&>(context->webState[WS_SYLLABLE_COUNT]);
}

namespace {

constexpr char SEPARATOR = ' ';
constexpr size_t LINE_MAX = PINYIN_LINE_SIZE - 1;
constexpr size_t ENTRY_SIZE = sizeof PinyinLine::syllables[0];
constexpr size_t CHOICE_SIZE = sizeof PinyinLine::choices[0];
constexpr size_t SHOWN_SIZE = sizeof PinyinLine::shown;

// GBK marks.
constexpr char FULL_COMMA[] = "\xA3\xAC";     // ，
constexpr char OPEN_DOUBLE[] = "\xA1\xB0";    // “
constexpr char CLOSE_DOUBLE[] = "\xA1\xB1";   // ”
constexpr char OPEN_SINGLE[] = "\xA1\xAE";    // ‘
constexpr char CLOSE_SINGLE[] = "\xA1\xAF";   // ’
constexpr char OPEN_BRACKET[] = "\xA1\xBC";   // 〖
constexpr char CLOSE_BRACKET[] = "\xA1\xBD";  // 〗

// Signs that stand for themselves on an empty line.
constexpr char SELF_SIGNS[] = "{}+=-|_@#$%&*()";
// Keys that mean nothing in the mode: refused with a beep.
constexpr char REFUSED_SIGNS[] = "/<>`~";

// Letters of the three Shift symbol lines, in keyboard order.
constexpr const char* SYMBOL_LINE_LETTERS[] = {"QWERTYUIOP", "ASDFGHJKLZ", "XCVBNM"};

bool isLetter(uint32_t ch) { return ch >= 'a' && ch <= 'z'; }
bool isDigit(uint32_t ch) { return ch >= '0' && ch <= '9'; }
bool isOneOf(uint32_t ch, const char* set) {
    return ch != 0 && ch < 0x80 && std::strchr(set, static_cast<int>(ch));
}
void refuse() { askDriver(ASK_BEEP); }

PinyinLine& L() { return pinyin.line; }
char* line(EngineContext*) { return pinyin.line.text; }
int lineLength(const EngineContext* = nullptr) {
    return static_cast<int>(strnlen(pinyin.line.text, LINE_MAX));
}
int& caret() { return pinyin.line.caret; }
char* display(EngineContext*) { return pinyin.line.shown; }
char* choice(EngineContext*, int i) { return pinyin.line.choices[i]; }
const char* syllable(const EngineContext*, int i) { return pinyin.line.syllables[i]; }

int letterCount() {
    const char* l = L().text;
    return static_cast<int>(std::count_if(l, l + lineLength(), [](char b) { return b != SEPARATOR; }));
}

// The choices in use: never more than the entries that hold them, whatever the counter says.
int choicesMade(EngineContext* c) {
    int32_t& count = choiceCount(c);
    count = std::clamp<int32_t>(count, 0, PINYIN_CHOICES_MAX);
    return count;
}

size_t choiceBytes(EngineContext* c) {
    size_t total = 0;
    for (int i = 0; i < choicesMade(c); ++i) total += strnlen(choice(c, i), CHOICE_SIZE);
    return total;
}

// The caret stays on the line after every edit.
void settleLine(EngineContext*, int at) {
    L().text[LINE_MAX] = '\0';
    caret() = std::clamp(at, 0, lineLength());
}

void removeBytes(EngineContext* c, int at, int count) {
    char* l = line(c);
    const int length = lineLength(c);
    if (at < 0 || count <= 0 || at >= length) return;
    count = std::min(count, length - at);
    std::memmove(l + at, l + at + count, static_cast<size_t>(length - at - count + 1));
    std::memmove(L().hard + at, L().hard + at + count, static_cast<size_t>(length - at - count + 1));
}

void insertByte(EngineContext* c, char b, bool typed = false) {
    const int length = lineLength(c);
    if (static_cast<size_t>(length) >= LINE_MAX) return;
    const int at = std::clamp<int>(caret(), 0, length);
    char* l = line(c);
    std::memmove(l + at + 1, l + at, static_cast<size_t>(length - at + 1));
    std::memmove(L().hard + at + 1, L().hard + at, static_cast<size_t>(length - at + 1));
    l[at] = b;
    L().hard[at] = typed && b == SEPARATOR ? 1 : 0;
    settleLine(c, at + 1);
}

void undoLastChoice(EngineContext* c) {
    int count = choicesMade(c);
    uint32_t& converted = convertedCount(c);
    if (count == 0) {
        converted = 0;
        return;
    }
    --count;
    const uint32_t taken = L().choiceSyllables[count];
    converted = taken > converted ? 0 : converted - taken;
    choice(c, count)[0] = '\0';
    L().choiceCodes[count][0] = '\0';
    L().choiceSyllables[count] = 0;
    L().choiceWasSentence[count] = 0;
    choiceCount(c) = count;
}

void clearChoices(EngineContext* c) {
    for (int i = 0; i < PINYIN_CHOICES_MAX; ++i) {
        choice(c, i)[0] = '\0';
        L().choiceCodes[i][0] = '\0';
        L().choiceSyllables[i] = 0;
        L().choiceWasSentence[i] = 0;
    }
    choiceCount(c) = 0;
    convertedCount(c) = 0;
}

// Everything of one sentence: after a delivery, the engine is idle.
void clearSentence(EngineContext* c) {
    display(c)[0] = '\0';
    std::memset(L().text, 0, sizeof L().text);
    std::memset(L().hard, 0, sizeof L().hard);
    L().sentence[0] = L().sentenceCode[0] = '\0';
    clearChoices(c);
    syllableCount(c) = 0;
    settleLine(c, 0);
}

void insertAtCaret(EngineContext* c, char b, bool typed = false) {
    const uint32_t converted = convertedCount(c), count = syllableCount(c);
    if (converted == count && count > 0) {
        // Typing into a converted sentence takes its last choice back first.
        if (static_cast<size_t>(lineLength(c)) < choiceBytes(c)) settleLine(c, caret() - 1);
        undoLastChoice(c);
    }
    insertByte(c, b, typed);
}

void deleteBeforeCaret(EngineContext* c) {
    char* l = line(c);
    int length = lineLength(c);
    int at = std::clamp<int>(caret(), 0, length);
    if (at > 0 && l[at - 1] == SEPARATOR) {
        settleLine(c, at - 1);  // the separator stays; the caret steps over it
        return;
    }
    if (at > 0 && length > 0) {
        const bool between = at >= 2 && l[at - 2] == SEPARATOR && l[at] == SEPARATOR;
        const int removed = between ? 2 : 1;
        removeBytes(c, at - 1, removed);
        at -= removed;
    }
    length = lineLength(c);
    if (length > 0 && l[length - 1] == SEPARATOR) l[length - 1] = '\0';
    settleLine(c, at);
    if (caret() == 0) display(c)[0] = '\0';
}

void deleteAtCaret(EngineContext* c) {
    char* l = line(c);
    int length = lineLength(c);
    const int at = std::clamp<int>(caret(), 0, length);
    if (length > 0 && at < length && l[at] != SEPARATOR) {
        const bool between = at >= 1 && l[at - 1] == SEPARATOR && l[at + 1] == SEPARATOR;
        removeBytes(c, at, between ? 2 : 1);
    }
    length = lineLength(c);
    if (length == 1 && at == 1) {
        l[0] = '\0';
        length = 0;
    }
    if (length > 0 && l[length - 1] == SEPARATOR) l[length - 1] = '\0';
    settleLine(c, at);
}

void dropLeadingSeparator(EngineContext* c) {
    if (line(c)[0] != SEPARATOR) return;
    removeBytes(c, 0, 1);
    settleLine(c, caret() - 1);
}

// The line split at its separators: one entry a syllable, an empty one for two adjacent
// separators; a separator that ends the line opens nothing.
void splitSyllables(EngineContext* c) {
    for (auto& entry : L().syllables) entry[0] = '\0';
    const char* l = line(c);
    const int length = lineLength(c);
    uint32_t count = 0;
    size_t letters = 0;
    for (int i = 0; i <= length && count < PINYIN_LINE_SYLLABLES_MAX; ++i) {
        if (i == length) {
            if (letters > 0 || (length > 0 && l[length - 1] != SEPARATOR)) ++count;
            break;
        }
        if (l[i] == SEPARATOR) {
            ++count;
            letters = 0;
        } else if (letters < ENTRY_SIZE - 1) {
            L().syllables[count][letters++] = l[i];
            L().syllables[count][letters] = '\0';
        }
    }
    syllableCount(c) = count;
}

int syllableAtCaret(EngineContext* c) {
    const int at = std::clamp<int>(caret(), 0, lineLength(c));
    return static_cast<int>(std::count(line(c), line(c) + at, SEPARATOR));
}

// Table lookups through the index or the written scan.
const CodeTable* syllableTable() { return currentCodeTable(); }

void checkSyllable(EngineContext* c, int i, char* out) {
    if (i < 0 || i >= PINYIN_LINE_SYLLABLES_MAX) return;
    if (pinyin.scanTables)
        checkSyllableScan(syllableTable(), syllable(c, i), out, PINYIN_LIST_SIZE);
    else
        checkSyllableIndexed(syllableTable(), syllable(c, i), out, PINYIN_LIST_SIZE);
}

bool wholeSyllable(const char* s) {
    return pinyin.scanTables ? wholeSyllableScan(syllableTable(), s)
                             : wholeSyllableIndexed(syllableTable(), s);
}

bool beginsSyllable(const char* s) {
    char first[8] = "";
    if (pinyin.scanTables)
        checkSyllableScan(syllableTable(), s, first, sizeof first);
    else
        checkSyllableIndexed(syllableTable(), s, first, sizeof first);
    return first[0] != '\0';
}

void lookupSyllableChars(EngineContext* c, int i, char* out, int extra = 0) {
    if (i < 0 || i >= PINYIN_LINE_SYLLABLES_MAX) return;
    const int limit = c->rowFirst + 10 + extra;
    if (pinyin.scanTables)
        lookupSyllableCharsScan(syllableTable(), syllable(c, i), limit, out, PINYIN_LIST_SIZE);
    else
        lookupSyllableCharsIndexed(syllableTable(), syllable(c, i), limit, out, PINYIN_LIST_SIZE);
}

// Phrases for the unconverted syllables; the lookup sees at most PINYIN_SYLLABLES_MAX of them
// (no phrase is longer).
void lookupPhrases(EngineContext* c, int extra) {
    const uint32_t converted = convertedCount(c), count = syllableCount(c);
    if (converted >= count) return;
    const uint32_t seen = std::min<uint32_t>(count - converted, PINYIN_SYLLABLES_MAX);
    const char(*list)[31] = L().syllables + converted;
    // Which typed syllables are whole syllables of "PYMB": those fit only themselves. One
    // letter never counts (n, e, o are syllables too, yet a lone letter is an initial).
    uint32_t whole = 0;
    for (uint32_t i = 0; i < seen; ++i) {
        const char* s = list[i];
        if (strnlen(s, ENTRY_SIZE) < 2) continue;
        if (pinyin.scanTables ? wholeSyllableScan(syllableTable(), s)
                              : wholeSyllableIndexed(syllableTable(), s))
            whole |= 1u << i;
    }
    modes.pinyinPhraseRequest = 1;
    const CodeTable* table = currentCodeTable();
    TypedSyllables typed{list, 0, static_cast<int>(seen), whole};
    const int limit = c->rowFirst + 11 + extra;
    if (pinyin.scanTables)
        lookupPhrasesScan(table, typed, limit, pinyin.candidateList, PINYIN_LIST_SIZE);
    else
        lookupPhrasesIndexed(table, typed, limit, pinyin.candidateList, PINYIN_LIST_SIZE);
    modes.pinyinPhraseRequest = 0;
}

// User phrases whose code is the initials of the next n syllables, for n = 1, 2, ...:
// shorter codes first. A phrase is listed only when it has exactly n characters, so a
// choice never converts more syllables than were typed. One walk over the file's lines
// serves all the codes.
void findUserPhrases(EngineContext* c) {
    const uint32_t converted = convertedCount(c), count = syllableCount(c);
    if (converted >= count || modes.userPhraseFile[0] == '\0') return;
    constexpr size_t CODE_MAX = 8;
    char initials[CODE_MAX + 1] = "";
    size_t codes = 0;
    while (codes < CODE_MAX && converted + codes < count) {
        const char initial = syllable(c, static_cast<int>(converted + codes))[0];
        if (initial == '\0') break;  // an empty syllable has no initial
        initials[codes++] = initial;
    }
    if (codes == 0) return;
    // Hits by code length, each in file order, as many as the shared list could take.
    auto& hits = pinyin.userPhraseHitsByLength;
    for (size_t n = 0; n < codes; ++n) hits[n][0] = '\0';
    auto visit = [&](const UserPhraseEntry& entry) {
        const std::string_view code = entry.letters(CODE_MAX);
        const size_t n = code.size();
        if (n == 0 || n > codes || code != std::string_view(initials, n)) return true;
        const std::string_view phrase = entry.phrase();
        if (phrase.size() == 2 * n) ListWriter(hits[n - 1], sizeof hits[n - 1]).append(phrase, " ");
        return true;
    };
    // The file's lines as the phrase files keep them parsed: read again only when the file
    // changed on disk.
    forEachUserPhrase(modes.userPhraseFile, initials[0], true, visit);
    ListWriter found(pinyin.userPhraseHits, sizeof pinyin.userPhraseHits);
    for (size_t n = 0; n < codes; ++n)
        for (std::string_view rest(hits[n]); !rest.empty();) {
            const size_t space = rest.find(' ');
            found.append(rest.substr(0, space), " ");
            rest = space == std::string_view::npos ? std::string_view{} : rest.substr(space + 1);
        }
    ListWriter(pinyin.candidateList, PINYIN_LIST_SIZE).append(std::string_view(found.text, found.length));
}

// ---------------------------------------------------------------------------------------
// The sentence row.
// ---------------------------------------------------------------------------------------

bool sentenceMode() { return modes.sentenceInput != 0; }

// The unconverted rest of the line as the lattice reads it: its letters, and between them
// the separators, those the user typed apart from those the engine placed.
LatticeLine unconvertedRest(EngineContext* c) {
    LatticeLine rest;
    rest.boundary.push_back(BOUNDARY_HARD);
    const char* l = line(c);
    const int length = lineLength(c);
    uint32_t separators = 0;
    int i = 0;
    while (i < length && separators < convertedCount(c))
        if (l[i++] == SEPARATOR) ++separators;
    for (; i < length; ++i) {
        if (l[i] == SEPARATOR) {
            uint8_t& b = rest.boundary.back();
            b = std::max<uint8_t>(b, L().hard[i] ? BOUNDARY_HARD : BOUNDARY_SOFT);
        } else {
            rest.letters += l[i];
            rest.boundary.push_back(BOUNDARY_NONE);
        }
    }
    rest.boundary.back() = BOUNDARY_HARD;
    return rest;
}

// Finds the sentence row for the rest of the line, keeping what the last key's search found.
void findSentence(EngineContext* c) {
    L().sentence[0] = L().sentenceCode[0] = '\0';
    if (!sentenceMode() || convertedCount(c) >= syllableCount(c)) return;
    PinyinSentenceState& state = pinyinSentence();
    const CodeTable* syllables = syllableTable();
    modes.pinyinPhraseRequest = 1;
    const CodeTable* phrases = currentCodeTable();
    modes.pinyinPhraseRequest = 0;
    state.dictionary.prepare(syllables, phrases, pinyinWords());
    state.dictionary.prepareUserPhrases(modes.userPhraseFile);
    const LanguageModel* model = pinyinLanguageModel();
    if (model != state.model) {
        state.search.forget();
        state.model = model;
        state.scorer = ModelScorer(model);
    }
    const SentenceScorer* scorer = model ? &state.scorer : nullptr;
    // The words chosen before the rest are its context.
    uint32_t last = 0;
    if (scorer && choicesMade(c) > 0) last = scorer->word(choice(c, choicesMade(c) - 1));
    SentenceResult found;
    if (!state.search.best(state.dictionary, scorer, unconvertedRest(c), 0, last, found)) return;
    if (found.text.size() > PINYIN_SENTENCE_BYTES_MAX || found.code.size() * 2 != found.text.size()) return;
    std::memcpy(L().sentence, found.text.data(), found.text.size());
    L().sentence[found.text.size()] = '\0';
    std::memcpy(L().sentenceCode, found.code.data(), found.code.size());
    L().sentenceCode[found.code.size()] = '\0';
}

// The rows of the page at rowFirst: the sentence row first when there is one, then the
// entries of list, and the hint characters beside them. A candidate of the list that would
// not fit a choice entry is no candidate.
void fillRows(EngineContext* c, const char* list) {
    std::memset(c->rowText, 0, sizeof c->rowText);
    std::memset(c->rowLabels, 0, sizeof c->rowLabels);
    const int first = c->rowFirst;
    auto forEachEntry = [](const char* text, size_t maxLength, int index, int end, auto take) {
        for (std::string_view rest(text); !rest.empty() && index < end;) {
            const size_t space = rest.find(' ');
            std::string_view entry = rest.substr(0, space);
            rest = space == std::string_view::npos ? std::string_view{} : rest.substr(space + 1);
            if (entry.empty() || entry.size() > maxLength) continue;
            take(index++, entry);
        }
        return index;
    };
    forEachEntry(pinyin.hintChars, 2, 0, first + 10, [&](int i, std::string_view entry) {
        if (i >= first) std::memcpy(c->rowLabels + 3 * (i - first), entry.data(), entry.size());
    });
    const bool sentence = L().sentence[0] != '\0';
    if (sentence && first == 0) copyText(c->rowText[0], sizeof c->rowText[0], L().sentence);
    L().sentenceShown = sentence && first == 0;
    const int read = forEachEntry(list, PINYIN_CHOICE_BYTES_MAX, sentence ? 1 : 0, first + 10,
                                  [&](int i, std::string_view entry) {
                                      if (i >= first)
                                          std::memcpy(c->rowText[i - first], entry.data(), entry.size());
                                  });
    c->rowMore = read - first;
}

void pageRows(EngineContext* c, uint32_t ch) {
    if (ch == '-' && c->rowFirst >= 10) c->rowFirst -= 10;
    if (ch == '=' && c->rowMore > 0) c->rowFirst += 10;
}

// The display string: the choices, spaces up to where the unconverted syllables stand in
// the typed line, then those syllables. Returns the length of the choices and spaces.
size_t rebuildDisplay(EngineContext* c) {
    const uint32_t converted = std::min(convertedCount(c), syllableCount(c)), count = syllableCount(c);
    char* d = display(c);
    d[0] = '\0';
    for (int i = 0; i < choicesMade(c); ++i) appendText(d, SHOWN_SIZE, choice(c, i));
    long position = static_cast<long>(converted) - (converted == count ? 1 : 0);
    for (uint32_t i = 0; i < converted; ++i)
        position += static_cast<long>(strnlen(syllable(c, static_cast<int>(i)), ENTRY_SIZE));
    for (long pad = position - static_cast<long>(choiceBytes(c)); pad > 0; --pad)
        appendText(d, SHOWN_SIZE, " ");
    const size_t choicesPart = strnlen(d, SHOWN_SIZE);
    for (uint32_t i = converted; i < count; ++i) {
        if (i > converted) appendText(d, SHOWN_SIZE, " ");
        appendText(d, SHOWN_SIZE, syllable(c, static_cast<int>(i)));
    }
    return choicesPart;
}

void buildDisplay(EngineContext* c) {
    if (convertedCount(c) < syllableCount(c)) rebuildDisplay(c);
}

// Adds phrase under code to the phrase file, unless it is there already or the code carries
// four phrases. The store keeps the file within its line limit and replaces it whole.
void learn(const char* code, std::string_view phrase) {
    char phraseText[PINYIN_LEARNED_BYTES_MAX + 1] = "";
    if (phrase.empty() || phrase.size() > PINYIN_LEARNED_BYTES_MAX) return;
    std::memcpy(phraseText, phrase.data(), phrase.size());
    const int use = countCodeUse(modes.userPhraseFile, code, phraseText);
    if (use < 0 || use >= CODE_PHRASES_MAX) return;
    addUserPhrase(modes.userPhraseFile, phraseText, code);
}

// The learned phrase: the initials of the sentence's syllables and the sentence, when it
// took two choices or more, has 2 to 7 syllables and at most 8 characters, is not yet in
// the file and its code carries fewer than four phrases.
void learnPhrase(EngineContext* c, const char* text) {
    const uint32_t count = syllableCount(c);
    const size_t length = strnlen(text, sizeof c->modeResult);
    if (modes.userPhraseFile[0] == '\0') return;  // no phrase file to learn into
    if (count < 2 || count > 7 || length > PINYIN_LEARNED_BYTES_MAX || choicesMade(c) < 2) return;
    char code[9] = "";
    size_t letters = 0;
    for (int i = 0; i < 8 && i < PINYIN_LINE_SYLLABLES_MAX; ++i)
        if (syllable(c, i)[0] != '\0') code[letters++] = syllable(c, i)[0];
    code[letters] = '\0';
    std::string_view phrase(text, length);
    phrase = phrase.substr(0, std::min(phrase.find(' '), phrase.size()));
    // A phrase is found again by as many initials as it has characters.
    if (letters == 0 || phrase.empty() || phrase.size() != 2 * letters) return;
    learn(code, phrase);
}

// What a sentence corrected with chosen rows teaches: the whole sentence when it is short
// enough to be a phrase, otherwise each chosen row's text, a single character with two
// neighbours on each side, so that the search finds the correction again in its place. What the
// sentence row offered teaches nothing.
void learnSentence(EngineContext* c, std::string_view text) {
    if (modes.userPhraseFile[0] == '\0' || choicesMade(c) < 2) return;
    if (std::all_of(L().choiceWasSentence, L().choiceWasSentence + choicesMade(c),
                    [](uint8_t s) { return s != 0; }))
        return;  // nothing was corrected
    std::string code;
    for (int i = 0; i < choicesMade(c); ++i) code += L().choiceCodes[i];
    const size_t characters = text.size() / 2;
    if (code.size() != characters || text.size() % 2 != 0) return;
    constexpr size_t PHRASE_MAX = PINYIN_CODE_LETTERS_MAX;
    if (characters >= 2 && characters <= PHRASE_MAX) {
        learn(code.c_str(), text);
        return;
    }
    size_t at = 0;
    for (int i = 0; i < choicesMade(c); ++i) {
        const size_t n = strnlen(choice(c, i), CHOICE_SIZE) / 2;
        size_t from = at, to = at + n;
        at += n;
        if (L().choiceWasSentence[i] || n == 0) continue;
        if (n == 1) {  // a character alone would stand first wherever its syllable is typed
            from = from > 2 ? from - 2 : 0;
            to = std::min(to + 2, characters);
        }
        if (to - from < 2 || to - from > PHRASE_MAX) continue;
        learn(code.substr(from, to - from).c_str(), text.substr(2 * from, 2 * (to - from)));
    }
}

// Appends text to what the key delivers.
void deliverMark(EngineContext* c, const char* mark) {
    appendText(c->modeResult, sizeof c->modeResult, mark);
    if (c->modeResult[0] != '\0') c->resultFlags = RF_COMMIT;
}

// Delivers the converted sentence: the choices joined.
void deliverSentence(EngineContext* c, bool learnIt) {
    char text[sizeof c->modeResult] = "";
    for (int i = 0; i < choicesMade(c); ++i) appendText(text, sizeof text, choice(c, i));
    deliverMark(c, text);
    if (learnIt) {
        if (sentenceMode())
            learnSentence(c, text);
        else
            learnPhrase(c, text);
    }
    clearSentence(c);
}

// Stores a choice of text over syllables of the list; sentence: it is what the sentence row
// offered there (its initials are the sentence row's when it is the whole row).
void storeChoice(EngineContext* c, int made, const char* text, uint32_t syllables, bool sentence) {
    const uint32_t converted = convertedCount(c);
    copyText(choice(c, made), CHOICE_SIZE, text);
    L().choiceSyllables[made] = static_cast<uint8_t>(syllables);
    L().choiceWasSentence[made] = sentence ? 1 : 0;
    char* code = L().choiceCodes[made];
    if (sentence && std::strcmp(text, L().sentence) == 0) {
        copyText(code, sizeof L().choiceCodes[made], L().sentenceCode);
    } else {
        size_t n = 0;
        for (uint32_t i = converted; i < converted + syllables && n < PINYIN_LETTERS_MAX; ++i)
            code[n++] = syllable(c, static_cast<int>(i))[0];
        code[n] = '\0';
    }
    choiceCount(c) = made + 1;
    convertedCount(c) = converted + syllables;
    settleLine(c, static_cast<int>(rebuildDisplay(c)));
}

// Takes row as the next choice. An empty row, a choice beyond the entries or a candidate
// longer than the syllables left is refused with a beep. The sentence row converts the
// whole rest and delivers the line.
void chooseRow(EngineContext* c, int row) {
    const uint32_t converted = convertedCount(c), count = syllableCount(c);
    if (converted >= count) return;
    const int made = choicesMade(c);
    if (row == 0 && L().sentenceShown && L().sentence[0] != '\0' && made < PINYIN_CHOICES_MAX) {
        storeChoice(c, made, L().sentence, count - converted, true);
        deliverSentence(c, true);
        return;
    }
    const char* text = c->rowText[row];
    const size_t length = strnlen(text, sizeof c->rowText[row]);
    if (length == 0 || length > PINYIN_CHOICE_BYTES_MAX || made >= PINYIN_CHOICES_MAX ||
        length / 2 > count - converted) {
        refuse();
        return;
    }
    // A row that begins the sentence row the same way corrects nothing.
    const bool agrees = L().sentenceShown && std::strncmp(L().sentence, text, length) == 0;
    storeChoice(c, made, text, static_cast<uint32_t>(length / 2), agrees);
}

void chooseFirstRow(EngineContext* c) {
    if (convertedCount(c) < syllableCount(c))
        chooseRow(c, 0);
    else
        deliverSentence(c, true);
}

void pinyinPunctuation(EngineContext* c, uint32_t ch) {
    const uint32_t converted = convertedCount(c), count = syllableCount(c);
    if (ch == ',' && caret() > 0 && converted < count) return;  // the comma separated syllables
    if (line(c)[0] == '\0') {
        if (isDigit(ch)) {
            const char digit[2] = {static_cast<char>(ch), '\0'};
            if (!modes.pinyinStartFlag) deliverMark(c, digit);
            return;
        }
        if (ch == '[' || ch == ']') {
            deliverMark(c, ch == '[' ? OPEN_BRACKET : CLOSE_BRACKET);
            return;
        }
        if (isOneOf(ch, SELF_SIGNS)) {
            const char itself[2] = {static_cast<char>(ch), '\0'};
            deliverMark(c, itself);
            return;
        }
    }
    const char* mark = nullptr;
    switch (ch) {
    case '!': mark = "\xA3\xA1"; break;  // ！
    case '"':
    case '\'':
        // One toggle for both pairs; the first mark opens.
        if (ch == '"')
            mark = pinyin.quoteToggle == 0 ? OPEN_DOUBLE : CLOSE_DOUBLE;
        else
            mark = pinyin.quoteToggle == 0 ? OPEN_SINGLE : CLOSE_SINGLE;
        pinyin.quoteToggle = pinyin.quoteToggle == 0 ? 1 : 0;
        break;
    case ',': mark = FULL_COMMA; break;
    case '.': mark = "\xA1\xA3"; break;  // 。
    case ':': mark = "\xA3\xBA"; break;  // ：
    case ';': mark = "\xA3\xBB"; break;  // ；
    case '?': mark = "\xA3\xBF"; break;  // ？
    case '\\': mark = "\\"; break;
    case '^': mark = "\xA1\xAD\xA1\xAD"; break;  // ……
    default:
        if (isOneOf(ch, REFUSED_SIGNS)) refuse();
        return;
    }
    if (count != converted || count == 0) {
        deliverMark(c, mark);
        return;
    }
    // A converted sentence waits: it goes out with the mark, unlearned.
    char text[sizeof c->modeResult] = "";
    for (int i = 0; i < choicesMade(c); ++i) appendText(text, sizeof text, choice(c, i));
    appendText(text, sizeof text, mark);
    deliverMark(c, text);
    clearSentence(c);
}

void showSymbolLine(EngineContext* c) {
    (void)c;
    const int which = std::clamp<int32_t>(pinyin.symbolLine, 0, 2);
    ListWriter list(pinyin.candidateList, PINYIN_LIST_SIZE);
    for (const char* letter = SYMBOL_LINE_LETTERS[which]; *letter; ++letter) {
        const char* symbol = shiftLetterSymbols + 2 * (*letter - 'A');
        list.append(std::string_view(letter, 1), std::string_view(symbol, 2), " ");
    }
    pinyin.symbolLine = (which + 1) % 3;
}

// '[' or ']' on an empty line opens the address lists; the same key then goes to the
// web-address engine. A list that cannot be read is refused with a beep.
bool enterWebMode(EngineContext* c, uint32_t ch) {
    if (!::enterWebMode(ch == ']' ? WEB_PERSONAL_LIST : WEB_PUBLIC_LIST)) {
        askDriver(ASK_BEEP);
        return false;
    }
    clearComposition(c);
    clearShownInput(c, CLEAR_FOR_ADDRESS_MODE);
    c->resultFlags = 0;
    clearSentence(c);
    L().published[0] = '\0';
    askDriver(ASK_END_DIALOGS | ASK_STATUS);  // the user-phrase dialog edits the file of a mode being left
    return true;
}

// A vowel after a syllable ending in g or n, when it cannot continue that syllable: the
// g or n more often begins the next syllable (min gong, xi nan) than ends its own before
// a syllable of a lone vowel (ming o ng), so it moves over when what stays is a syllable
// and it begins one with the vowel. Only at the end of the line and on syllables not yet
// converted. Returns whether it moved.
bool moveFinalConsonant(EngineContext* c, char vowel) {
    if (!std::strchr("aeiou", vowel)) return false;
    const char* l = line(c);
    const int length = lineLength(c);
    const char* last =
        std::find(std::make_reverse_iterator(l + length), std::make_reverse_iterator(l), SEPARATOR).base();
    const int letters = static_cast<int>(l + length - last);
    if (letters < 2 || caret() != length || (l[length - 1] != 'g' && l[length - 1] != 'n')) return false;
    if (convertedCount(c) > static_cast<uint32_t>(syllableAtCaret(c))) return false;
    char stays[ENTRY_SIZE] = "", moves[3] = {l[length - 1], vowel, '\0'};
    std::memcpy(stays, last, static_cast<size_t>(std::min<int>(letters - 1, ENTRY_SIZE - 1)));
    if (!wholeSyllable(stays) || !beginsSyllable(moves)) return false;
    deleteBeforeCaret(c);
    insertAtCaret(c, SEPARATOR);
    insertAtCaret(c, moves[0]);
    insertAtCaret(c, vowel);
    return true;
}

// A letter that continues no syllable of the table is taken back, or placed as the start
// of a new syllable (taking a final g or n along, see above), or kept alone when it began
// one. u begins no syllable: it stays only when it takes a g or n along (han gu). A letter
// taken back is refused with a beep.
void separate(EngineContext* c, uint32_t ch) {
    if (pinyin.syllableProbe[0] != '\0' || !isLetter(ch)) return;
    const char* l = line(c);
    const int at = caret();
    const bool beganSyllable = at == 1 || (at > 1 && l[at - 2] == SEPARATOR);
    if (!beganSyllable && at == lineLength(c)) {
        deleteBeforeCaret(c);
        if (moveFinalConsonant(c, static_cast<char>(ch))) return;
        if (ch == 'u') {
            refuse();
            return;
        }
        insertAtCaret(c, SEPARATOR);
        insertAtCaret(c, static_cast<char>(ch));
    } else if (beganSyllable && ch != 'u') {
        deleteBeforeCaret(c);
        insertAtCaret(c, static_cast<char>(ch));
        insertAtCaret(c, SEPARATOR);
    } else {
        deleteBeforeCaret(c);
        refuse();
    }
}

// The record shows the line: what another part cleared there is cleared here; a line put
// there by another part is taken as typed.
void adoptRecord(EngineContext* c) {
    if (std::strncmp(c->modeInput, L().published, sizeof c->modeInput) == 0) return;
    const int32_t at = c->caret;
    clearSentence(c);
    copyText(L().text, sizeof L().text, c->modeInput);
    settleLine(c, at);
    clearChoices(c);
}

// Cuts a window of at most PINYIN_WINDOW_BYTES from text around byte at, never inside a
// double-byte character; returns where it starts.
size_t windowStart(const char* text, size_t length, size_t at, size_t keep) {
    if (length <= PINYIN_WINDOW_BYTES) return 0;
    size_t start = std::min(keep, length - PINYIN_WINDOW_BYTES);
    if (at < start) start = at;
    if (at > start + PINYIN_WINDOW_BYTES) start = at - PINYIN_WINDOW_BYTES;
    size_t i = 0;  // back to the start of the character start falls in
    while (i < start) {
        const size_t step = static_cast<unsigned char>(text[i]) >= 0x81 && i + 1 < length ? 2 : 1;
        if (i + step > start) break;
        i += step;
    }
    return i;
}

void copyWindow(char* out, size_t outSize, const char* text, size_t start, size_t length) {
    size_t end = std::min(length, start + outSize - 1), i = start;
    while (i < end) {
        const size_t step = static_cast<unsigned char>(text[i]) >= 0x81 ? 2 : 1;
        if (i + step > end) break;
        i += step;
    }
    std::memcpy(out, text + start, i - start);
    std::memset(out + (i - start), 0, outSize - (i - start));
}

// Puts the window of the line around the caret, the display string, the first syllables
// and choices into the record for whoever shows them.
void publish(EngineContext* c) {
    const size_t length = static_cast<size_t>(lineLength(c));
    const size_t at = static_cast<size_t>(std::clamp<int>(caret(), 0, static_cast<int>(length)));
    const size_t start = windowStart(L().text, length, at, static_cast<size_t>(std::max(0, L().windowStart)));
    L().windowStart = static_cast<int32_t>(start);
    copyWindow(c->modeInput, sizeof c->modeInput, L().text, start, length);
    copyText(L().published, sizeof L().published, c->modeInput);
    c->codeLength = static_cast<int16_t>(strnlen(c->modeInput, sizeof c->modeInput));
    c->caret = static_cast<int16_t>(std::min(at - start, static_cast<size_t>(c->codeLength)));
    const char* shown = L().shown;
    const size_t shownLength = strnlen(shown, SHOWN_SIZE);
    // A wholly converted line shows its end, where the caret stands.
    const bool converted = syllableCount(c) > 0 && convertedCount(c) >= syllableCount(c);
    const size_t shownStart = converted ? windowStart(shown, shownLength, shownLength, shownLength)
                                        : windowStart(shown, shownLength, at, start);
    copyWindow(c->syllables[SYLLABLE_SHOWN], sizeof c->syllables[SYLLABLE_SHOWN], shown, shownStart,
               shownLength);
    for (int i = 0; i < SYLLABLE_LIST_ENTRIES; ++i) {
        copyText(c->syllables[i], sizeof c->syllables[i], L().syllables[i]);
        copyText(c->syllables[SYLLABLE_FIRST_CHOICE + i], sizeof c->syllables[0], L().choices[i]);
    }
}

// Whether a letter would overfill the line: 64 letters, or no room for the separators it
// may bring along.
bool lineFull() {
    return letterCount() >= PINYIN_LETTERS_MAX || lineLength() + 3 > static_cast<int>(LINE_MAX);
}

int handleKey(uint32_t key, uint32_t ch, EngineContext* c) {
    const uint32_t vk = key & 0xFF;
    const bool letter = isLetter(ch);
    const bool converted = syllableCount(c) > 0 && convertedCount(c) == syllableCount(c);
    if (letter && !converted && lineFull()) {
        refuse();
        return 0;
    }

    pinyin.candidateList[0] = pinyin.charList[0] = pinyin.hintChars[0] = pinyin.syllableProbe[0] = '\0';
    pinyin.userPhraseHits[0] = '\0';
    c->modeResult[0] = '\0';
    c->resultFlags = RF_LISTS;

    // Esc throws the line away.
    if (vk == VK_ESCAPE && line(c)[0] != '\0') {
        clearSentence(c);
        std::memset(c->rowText, 0, sizeof c->rowText);
        std::memset(c->rowLabels, 0, sizeof c->rowLabels);
        c->rowFirst = c->rowMore = 0;
        publish(c);
        return 1;
    }
    // A new letter, a digit or a sign delivers a sentence that is wholly converted; then it
    // is typed as on an empty line. A bracket goes out as its mark with it.
    if (converted && (letter || isDigit(ch) || isOneOf(ch, SELF_SIGNS))) deliverSentence(c, true);
    if (converted && (ch == '[' || ch == ']')) {
        deliverSentence(c, true);
        deliverMark(c, ch == '[' ? OPEN_BRACKET : CLOSE_BRACKET);
        splitSyllables(c);
        publish(c);
        return 1;
    }

    if (ch == 'v' && line(c)[0] == '\0') {
        askDriver(ASK_SWITCH_CHINESE);
        return 1;
    }
    if (vk == VK_SHIFT && line(c)[0] == '\0' && frontEnd.leftShiftLast == 1) showSymbolLine(c);
    if ((ch == '[' || ch == ']') && line(c)[0] == '\0' && windows.keywordDialog == nullptr) {
        enterWebMode(c, ch);
        return 1;
    }
    if (letter) {
        c->rowFirst = 0;
        insertAtCaret(c, static_cast<char>(ch));
    }
    if (ch >= 'A' && ch <= 'Z' && (GetKeyState(VK_SHIFT) & 0x8000) && frontEnd.leftShiftLast == 1) {
        const char* symbol = shiftLetterSymbols + 2 * (ch - 'A');
        const char text[3] = {symbol[0], symbol[1], '\0'};
        deliverMark(c, text);
        return 1;
    }
    if (ch == ',' && !converted && caret() > 0 && !lineFull() && line(c)[caret() - 1] != SEPARATOR &&
        line(c)[caret()] != SEPARATOR)
        insertAtCaret(c, SEPARATOR, true);

    switch (vk) {
    case VK_BACK:
        c->rowFirst = 0;
        if (lineLength(c) == 1 && caret() == 1) {
            line(c)[0] = '\0';
            settleLine(c, 0);
        }
        if (convertedCount(c) > 0)
            undoLastChoice(c);
        else
            deleteBeforeCaret(c);
        dropLeadingSeparator(c);
        break;
    case VK_HOME: settleLine(c, 0); break;
    case VK_END: settleLine(c, lineLength(c)); break;
    case VK_DELETE:
        clearChoices(c);
        display(c)[0] = '\0';
        c->rowFirst = 0;
        deleteAtCaret(c);
        dropLeadingSeparator(c);
        break;
    case VK_LEFT:
        if (caret() > 0) {
            settleLine(c, caret() - 1);
            c->rowFirst = 0;
            const uint32_t done = convertedCount(c);
            if (done > 0 && done >= static_cast<uint32_t>(syllableAtCaret(c)) + 1) undoLastChoice(c);
        }
        break;
    case VK_RIGHT:
        if (caret() < lineLength(c)) {
            settleLine(c, caret() + 1);
            c->rowFirst = 0;
        }
        break;
    case VK_SPACE:
        c->rowFirst = 0;
        chooseFirstRow(c);
        break;
    default: break;
    }
    if (isDigit(ch)) {
        c->rowFirst = 0;
        chooseRow(c, ch == '0' ? 9 : static_cast<int>(ch - '1'));
    }
    if (ch == '-' || ch == '=') pageRows(c, ch);
    pinyinPunctuation(c, ch);

    splitSyllables(c);
    checkSyllable(c, syllableAtCaret(c), pinyin.syllableProbe);
    separate(c, ch);
    splitSyllables(c);

    findSentence(c);
    const int extra = L().sentence[0] != '\0' ? 1 : 0;
    findUserPhrases(c);
    if (modes.pinyinHint) lookupSyllableChars(c, syllableAtCaret(c), pinyin.hintChars);
    lookupPhrases(c, extra);
    fillRows(c, pinyin.candidateList);
    if (c->rowMore < 10) {
        lookupSyllableChars(c, static_cast<int>(convertedCount(c)), pinyin.charList, extra);
        ListWriter(pinyin.candidateList, PINYIN_LIST_SIZE).append(pinyin.charList);
        fillRows(c, pinyin.candidateList);
    }
    buildDisplay(c);
    publish(c);
    modes.pinyinStartFlag = 0;
    return 1;
}

}  // namespace

int processPinyinKey(uint32_t key, uint32_t ch, EngineContext* c) {
    adoptRecord(c);
    const int taken = handleKey(key, ch, c);
    publish(c);
    return taken;
}
