// The pinyin engine. The typed line (modeInput) holds letters and single-space separators;
// the syllable list, the display string and the choices live in the syllables work area,
// the three counters in webState. Every key edits the line, then rebuilds the syllable
// list, the candidates and the rows from the tables.
#include "pinyin/pinyin.h"

#include "pinyin/pinyintables.h"
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

void resetPinyinState() { std::memset(&pinyin, 0, sizeof pinyin); }

int32_t& choiceCount(EngineContext* context) { return context->webState[WS_CHOICE_COUNT]; }
uint32_t& convertedCount(EngineContext* context) {
    return reinterpret_cast<uint32_t&>(context->webState[WS_CONVERTED_COUNT]);
}
uint32_t& syllableCount(EngineContext* context) {
    return reinterpret_cast<uint32_t&>(context->webState[WS_SYLLABLE_COUNT]);
}

namespace {

constexpr char SEPARATOR = ' ';
constexpr size_t LINE_MAX = sizeof EngineContext::modeInput - 1;
constexpr size_t ENTRY_SIZE = sizeof EngineContext::syllables[0];

// GBK marks.
constexpr char FULL_COMMA[] = "\xA3\xAC";        // ，
constexpr char OPEN_DOUBLE[] = "\xA1\xB0";       // “
constexpr char CLOSE_DOUBLE[] = "\xA1\xB1";      // ”
constexpr char OPEN_SINGLE[] = "\xA1\xAE";       // ‘
constexpr char CLOSE_SINGLE[] = "\xA1\xAF";      // ’
constexpr char OPEN_BRACKET[] = "\xA1\xBC";      // 〖
constexpr char CLOSE_BRACKET[] = "\xA1\xBD";     // 〗

// Letters of the three Shift symbol lines, in keyboard order.
constexpr const char* SYMBOL_LINE_LETTERS[] = {"QWERTYUIOP", "ASDFGHJKLZ", "XCVBNM"};

bool isLetter(uint32_t ch) { return ch >= 'a' && ch <= 'z'; }
bool isDigit(uint32_t ch) { return ch >= '0' && ch <= '9'; }

char* line(EngineContext* c) { return c->modeInput; }
int lineLength(const EngineContext* c) { return static_cast<int>(strnlen(c->modeInput, LINE_MAX)); }
char* display(EngineContext* c) { return c->syllables[SYLLABLE_SHOWN]; }
char* choice(EngineContext* c, int i) { return c->syllables[SYLLABLE_FIRST_CHOICE + i]; }
const char* syllable(const EngineContext* c, int i) { return c->syllables[i]; }

// The choices in use: never more than the entries that hold them, whatever the counter says.
int choicesMade(EngineContext* c) {
    int32_t& count = choiceCount(c);
    count = std::clamp<int32_t>(count, 0, PINYIN_CHOICES_MAX);
    return count;
}

size_t choiceBytes(EngineContext* c) {
    size_t total = 0;
    for (int i = 0; i < choicesMade(c); ++i) total += strnlen(choice(c, i), ENTRY_SIZE);
    return total;
}

// codeLength follows the line and the caret stays on it after every edit.
void settleLine(EngineContext* c, int caret) {
    c->modeInput[LINE_MAX] = '\0';
    const size_t length = strnlen(c->modeInput, LINE_MAX);
    c->codeLength = static_cast<int16_t>(length);
    c->caret = static_cast<int16_t>(std::clamp(caret, 0, static_cast<int>(length)));
}

void removeBytes(EngineContext* c, int at, int count) {
    char* l = line(c);
    const int length = lineLength(c);
    if (at < 0 || count <= 0 || at >= length) return;
    count = std::min(count, length - at);
    std::memmove(l + at, l + at + count, static_cast<size_t>(length - at - count + 1));
}

void insertByte(EngineContext* c, char b) {
    const int length = lineLength(c);
    if (static_cast<size_t>(length) >= LINE_MAX) return;
    const int caret = std::clamp<int>(c->caret, 0, length);
    char* l = line(c);
    std::memmove(l + caret + 1, l + caret, static_cast<size_t>(length - caret + 1));
    l[caret] = b;
    settleLine(c, caret + 1);
}

void undoLastChoice(EngineContext* c) {
    int count = choicesMade(c);
    uint32_t& converted = convertedCount(c);
    if (count == 0) {
        converted = 0;
        return;
    }
    --count;
    const uint32_t characters = static_cast<uint32_t>(strnlen(choice(c, count), ENTRY_SIZE) / 2);
    converted = characters > converted ? 0 : converted - characters;
    choice(c, count)[0] = '\0';
    choiceCount(c) = count;
}

void clearChoices(EngineContext* c) {
    for (int i = 0; i < PINYIN_CHOICES_MAX; ++i) choice(c, i)[0] = '\0';
    choiceCount(c) = 0;
    convertedCount(c) = 0;
}

// Everything of one sentence: after a delivery, the engine is idle.
void clearSentence(EngineContext* c) {
    display(c)[0] = '\0';
    std::memset(c->modeInput, 0, sizeof c->modeInput);
    clearChoices(c);
    syllableCount(c) = 0;
    settleLine(c, 0);
}

void insertAtCaret(EngineContext* c, char b) {
    const uint32_t converted = convertedCount(c), count = syllableCount(c);
    if (converted == count && count > 0) {
        // Typing into a converted sentence takes its last choice back first.
        if (static_cast<size_t>(lineLength(c)) < choiceBytes(c)) settleLine(c, c->caret - 1);
        undoLastChoice(c);
    }
    insertByte(c, b);
}

void deleteBeforeCaret(EngineContext* c) {
    char* l = line(c);
    int length = lineLength(c);
    int caret = std::clamp<int>(c->caret, 0, length);
    if (caret > 0 && l[caret - 1] == SEPARATOR) {
        settleLine(c, caret - 1);  // the separator stays; the caret steps over it
        return;
    }
    if (caret > 0 && length > 0) {
        const bool between = caret >= 2 && l[caret - 2] == SEPARATOR && l[caret] == SEPARATOR;
        const int removed = between ? 2 : 1;
        removeBytes(c, caret - 1, removed);
        caret -= removed;
    }
    length = lineLength(c);
    if (length > 0 && l[length - 1] == SEPARATOR) l[length - 1] = '\0';
    settleLine(c, caret);
    if (c->caret == 0) display(c)[0] = '\0';
}

void deleteAtCaret(EngineContext* c) {
    char* l = line(c);
    int length = lineLength(c);
    const int caret = std::clamp<int>(c->caret, 0, length);
    if (length > 0 && caret < length && l[caret] != SEPARATOR) {
        const bool between = caret >= 1 && l[caret - 1] == SEPARATOR && l[caret + 1] == SEPARATOR;
        removeBytes(c, caret, between ? 2 : 1);
    }
    length = lineLength(c);
    if (length == 1 && caret == 1) {
        l[0] = '\0';
        length = 0;
    }
    if (length > 0 && l[length - 1] == SEPARATOR) l[length - 1] = '\0';
    settleLine(c, caret);
}

void dropLeadingSeparator(EngineContext* c) {
    if (line(c)[0] != SEPARATOR) return;
    removeBytes(c, 0, 1);
    settleLine(c, c->caret - 1);
}

// The line split at its separators: one entry a syllable, an empty one for two adjacent
// separators; a separator that ends the line opens nothing.
void splitSyllables(EngineContext* c) {
    for (int i = 0; i < SYLLABLE_LIST_ENTRIES; ++i) std::memset(c->syllables[i], 0, ENTRY_SIZE);
    const char* l = line(c);
    const int length = lineLength(c);
    uint32_t count = 0;
    size_t letters = 0;
    for (int i = 0; i <= length && count < SYLLABLE_LIST_ENTRIES; ++i) {
        if (i == length) {
            if (letters > 0 || (length > 0 && l[length - 1] != SEPARATOR)) ++count;
            break;
        }
        if (l[i] == SEPARATOR) {
            ++count;
            letters = 0;
        } else if (letters < ENTRY_SIZE - 1) {
            c->syllables[count][letters++] = l[i];
        }
    }
    syllableCount(c) = count;
}

int syllableAtCaret(EngineContext* c) {
    const int caret = std::clamp<int>(c->caret, 0, lineLength(c));
    return static_cast<int>(std::count(line(c), line(c) + caret, SEPARATOR));
}

// Table lookups through the index or the written scan.
const CodeTable* syllableTable() { return currentCodeTable(); }

void checkSyllable(EngineContext* c, int i, char* out) {
    if (i < 0 || i >= SYLLABLE_LIST_ENTRIES) return;
    if (pinyin.scanTables) checkSyllableScan(syllableTable(), syllable(c, i), out, PINYIN_LIST_SIZE);
    else checkSyllableIndexed(syllableTable(), syllable(c, i), out, PINYIN_LIST_SIZE);
}

bool wholeSyllable(const char* s) {
    return pinyin.scanTables ? wholeSyllableScan(syllableTable(), s) : wholeSyllableIndexed(syllableTable(), s);
}

bool beginsSyllable(const char* s) {
    char first[8] = "";
    if (pinyin.scanTables) checkSyllableScan(syllableTable(), s, first, sizeof first);
    else checkSyllableIndexed(syllableTable(), s, first, sizeof first);
    return first[0] != '\0';
}

void lookupSyllableChars(EngineContext* c, int i, char* out) {
    if (i < 0 || i >= SYLLABLE_LIST_ENTRIES) return;
    const int limit = c->rowFirst + 10;
    if (pinyin.scanTables) lookupSyllableCharsScan(syllableTable(), syllable(c, i), limit, out, PINYIN_LIST_SIZE);
    else lookupSyllableCharsIndexed(syllableTable(), syllable(c, i), limit, out, PINYIN_LIST_SIZE);
}

void lookupPhrases(EngineContext* c) {
    const uint32_t converted = convertedCount(c), count = syllableCount(c);
    if (converted >= count || count > SYLLABLE_LIST_ENTRIES) return;
    // Which typed syllables are whole syllables of "PYMB": those fit only themselves. One
    // letter never counts (n, e, o are syllables too, yet a lone letter is an initial).
    uint32_t whole = 0;
    for (uint32_t i = converted; i < count; ++i) {
        const char* s = syllable(c, static_cast<int>(i));
        if (strnlen(s, ENTRY_SIZE) < 2) continue;
        if (pinyin.scanTables ? wholeSyllableScan(syllableTable(), s) : wholeSyllableIndexed(syllableTable(), s))
            whole |= 1u << i;
    }
    modes.pinyinPhraseRequest = 1;
    const CodeTable* table = currentCodeTable();
    TypedSyllables typed{c->syllables, static_cast<int>(converted), static_cast<int>(count), whole};
    const int limit = c->rowFirst + 11;
    if (pinyin.scanTables) lookupPhrasesScan(table, typed, limit, pinyin.candidateList, PINYIN_LIST_SIZE);
    else lookupPhrasesIndexed(table, typed, limit, pinyin.candidateList, PINYIN_LIST_SIZE);
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

// The rows of the page at rowFirst from list, and the hint characters beside them. A
// candidate that would not fit a choice entry is no candidate.
void fillRows(EngineContext* c, const char* list) {
    std::memset(c->rowText, 0, sizeof c->rowText);
    std::memset(c->rowLabels, 0, sizeof c->rowLabels);
    const int first = c->rowFirst;
    auto forEachEntry = [](const char* text, size_t maxLength, int end, auto take) {
        int index = 0;
        for (std::string_view rest(text); !rest.empty() && index < end;) {
            const size_t space = rest.find(' ');
            std::string_view entry = rest.substr(0, space);
            rest = space == std::string_view::npos ? std::string_view{} : rest.substr(space + 1);
            if (entry.empty() || entry.size() > maxLength) continue;
            take(index++, entry);
        }
        return index;
    };
    forEachEntry(pinyin.hintChars, 2, first + 10, [&](int i, std::string_view entry) {
        if (i >= first) std::memcpy(c->rowLabels + 3 * (i - first), entry.data(), entry.size());
    });
    const int read = forEachEntry(list, PINYIN_CHOICE_BYTES_MAX, first + 10, [&](int i, std::string_view entry) {
        if (i >= first) std::memcpy(c->rowText[i - first], entry.data(), entry.size());
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
    for (int i = 0; i < choicesMade(c); ++i) appendText(d, ENTRY_SIZE, choice(c, i));
    long position = static_cast<long>(converted) - (converted == count ? 1 : 0);
    for (uint32_t i = 0; i < converted; ++i) position += static_cast<long>(strnlen(syllable(c, static_cast<int>(i)), ENTRY_SIZE));
    for (long pad = position - static_cast<long>(choiceBytes(c)); pad > 0; --pad) appendText(d, ENTRY_SIZE, " ");
    const size_t choicesPart = strnlen(d, ENTRY_SIZE);
    for (uint32_t i = converted; i < count; ++i) {
        if (i > converted) appendText(d, ENTRY_SIZE, " ");
        appendText(d, ENTRY_SIZE, syllable(c, static_cast<int>(i)));
    }
    return choicesPart;
}

void buildDisplay(EngineContext* c) {
    if (convertedCount(c) < syllableCount(c)) rebuildDisplay(c);
}

// The learned phrase: the initials of the sentence's syllables and the sentence, when it
// took two choices or more, has 2 to 7 syllables and at most 8 characters, is not yet in
// the file and its code carries fewer than four phrases. The store keeps the file within
// its line limit and replaces it whole.
void learnPhrase(EngineContext* c, const char* text) {
    const uint32_t count = syllableCount(c);
    const size_t length = strnlen(text, sizeof c->modeResult);
    if (modes.userPhraseFile[0] == '\0') return;  // no phrase file to learn into
    if (count < 2 || count > 7 || length > PINYIN_LEARNED_BYTES_MAX || choicesMade(c) < 2) return;
    char code[9] = "";
    size_t letters = 0;
    for (int i = 0; i < 8 && i < SYLLABLE_LIST_ENTRIES; ++i)
        if (syllable(c, i)[0] != '\0') code[letters++] = syllable(c, i)[0];
    code[letters] = '\0';
    std::string_view phrase(text, length);
    phrase = phrase.substr(0, std::min(phrase.find(' '), phrase.size()));
    // A phrase is found again by as many initials as it has characters.
    if (letters == 0 || phrase.empty() || phrase.size() != 2 * letters) return;
    char phraseText[PINYIN_LEARNED_BYTES_MAX + 1] = "";
    std::memcpy(phraseText, phrase.data(), phrase.size());
    const int use = countCodeUse(modes.userPhraseFile, code, phraseText);
    if (use < 0 || use >= CODE_PHRASES_MAX) return;
    addUserPhrase(modes.userPhraseFile, phraseText, code);
}

// Delivers the converted sentence: the choices joined.
void deliverSentence(EngineContext* c, bool learn) {
    char text[sizeof c->modeResult] = "";
    for (int i = 0; i < choicesMade(c); ++i) appendText(text, sizeof text, choice(c, i));
    copyText(c->modeResult, sizeof c->modeResult, text);
    if (text[0] != '\0') c->resultFlags = RF_COMMIT;
    if (learn) learnPhrase(c, text);
    clearSentence(c);
}

// Takes row as the next choice. An empty row, a sixteenth choice or a candidate longer
// than the syllables left is refused with a beep.
void chooseRow(EngineContext* c, int row) {
    const uint32_t converted = convertedCount(c), count = syllableCount(c);
    if (converted >= count) return;
    const char* text = c->rowText[row];
    const size_t length = strnlen(text, sizeof c->rowText[row]);
    const int made = choicesMade(c);
    if (length == 0 || length > PINYIN_CHOICE_BYTES_MAX || made >= PINYIN_CHOICES_MAX ||
        length / 2 > count - converted) {
        askDriver(ASK_BEEP);
        return;
    }
    copyText(choice(c, made), ENTRY_SIZE, text);
    choiceCount(c) = made + 1;
    convertedCount(c) = converted + static_cast<uint32_t>(length / 2);
    settleLine(c, static_cast<int>(rebuildDisplay(c)));
}

void chooseFirstRow(EngineContext* c) {
    if (convertedCount(c) < syllableCount(c)) chooseRow(c, 0);
    else deliverSentence(c, true);
}

void deliverMark(EngineContext* c, const char* mark) {
    copyText(c->modeResult, sizeof c->modeResult, mark);
    if (c->modeResult[0] != '\0') c->resultFlags = RF_COMMIT;
}

void pinyinPunctuation(EngineContext* c, uint32_t ch) {
    const uint32_t converted = convertedCount(c), count = syllableCount(c);
    if (ch == ',' && c->caret > 0 && converted < count) return;  // the comma separated syllables
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
        if (ch != 0 && std::strchr("{}+=-|_@#$%&*()", static_cast<int>(ch))) {
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
        if (ch == '"') mark = pinyin.quoteToggle == 0 ? OPEN_DOUBLE : CLOSE_DOUBLE;
        else mark = pinyin.quoteToggle == 0 ? OPEN_SINGLE : CLOSE_SINGLE;
        pinyin.quoteToggle = pinyin.quoteToggle == 0 ? 1 : 0;
        break;
    case ',': mark = FULL_COMMA; break;
    case '.': mark = "\xA1\xA3"; break;   // 。
    case ':': mark = "\xA3\xBA"; break;   // ：
    case ';': mark = "\xA3\xBB"; break;   // ；
    case '?': mark = "\xA3\xBF"; break;   // ？
    case '\\': mark = "\\"; break;
    case '^': mark = "\xA1\xAD\xA1\xAD"; break;  // ……
    default: return;
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
    const char* last = std::find(std::make_reverse_iterator(l + length), std::make_reverse_iterator(l), SEPARATOR).base();
    const int letters = static_cast<int>(l + length - last);
    if (letters < 2 || c->caret != length || (l[length - 1] != 'g' && l[length - 1] != 'n')) return false;
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
// one. u begins no syllable: it stays only when it takes a g or n along (han gu).
void separate(EngineContext* c, uint32_t ch) {
    if (pinyin.syllableProbe[0] != '\0' || !isLetter(ch)) return;
    const char* l = line(c);
    const int caret = c->caret;
    const bool beganSyllable = caret == 1 || (caret > 1 && l[caret - 2] == SEPARATOR);
    if (!beganSyllable && caret == lineLength(c)) {
        deleteBeforeCaret(c);
        if (moveFinalConsonant(c, static_cast<char>(ch)) || ch == 'u') return;
        insertAtCaret(c, SEPARATOR);
        insertAtCaret(c, static_cast<char>(ch));
    } else if (beganSyllable && ch != 'u') {
        deleteBeforeCaret(c);
        insertAtCaret(c, static_cast<char>(ch));
        insertAtCaret(c, SEPARATOR);
    } else {
        deleteBeforeCaret(c);  // refused
    }
}

}  // namespace

int processPinyinKey(uint32_t key, uint32_t ch, EngineContext* c) {
    const uint32_t vk = key & 0xFF;
    const bool letter = isLetter(ch);
    if (lineLength(c) >= PINYIN_LINE_FULL && letter) return 0;

    pinyin.candidateList[0] = pinyin.charList[0] = pinyin.hintChars[0] = pinyin.syllableProbe[0] = '\0';
    pinyin.userPhraseHits[0] = '\0';
    c->modeResult[0] = '\0';
    c->resultFlags = RF_LISTS;

    // A new letter delivers a sentence that is wholly converted.
    if (letter && syllableCount(c) > 0 && convertedCount(c) == syllableCount(c)) deliverSentence(c, true);

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
    if (ch == ',' && c->caret > 0 && lineLength(c) < PINYIN_LINE_FULL && line(c)[c->caret - 1] != SEPARATOR &&
        line(c)[c->caret] != SEPARATOR)
        insertAtCaret(c, SEPARATOR);

    switch (vk) {
    case VK_BACK:
        c->rowFirst = 0;
        if (lineLength(c) == 1 && c->caret == 1) {
            line(c)[0] = '\0';
            settleLine(c, 0);
        }
        if (convertedCount(c) > 0) undoLastChoice(c);
        else deleteBeforeCaret(c);
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
        if (c->caret > 0) {
            settleLine(c, c->caret - 1);
            c->rowFirst = 0;
            const uint32_t converted = convertedCount(c);
            if (converted > 0 && converted >= static_cast<uint32_t>(syllableAtCaret(c)) + 1) undoLastChoice(c);
        }
        break;
    case VK_RIGHT:
        if (c->caret < lineLength(c)) {
            settleLine(c, c->caret + 1);
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

    findUserPhrases(c);
    if (modes.pinyinHint) lookupSyllableChars(c, syllableAtCaret(c), pinyin.hintChars);
    lookupPhrases(c);
    fillRows(c, pinyin.candidateList);
    if (c->rowMore < 10) {
        lookupSyllableChars(c, static_cast<int>(convertedCount(c)), pinyin.charList);
        ListWriter(pinyin.candidateList, PINYIN_LIST_SIZE).append(pinyin.charList);
        fillRows(c, pinyin.candidateList);
    }
    buildDisplay(c);
    modes.pinyinStartFlag = 0;
    return 1;
}
