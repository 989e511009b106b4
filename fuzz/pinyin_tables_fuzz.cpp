// Fuzzes the pinyin engine with arbitrary "PYMB" and "PYCZ" bytes and key scripts: every
// lookup's indexed answer must equal the written scan's, and no key may take the engine
// outside its fields.
// Run: cmake --preset host-fuzz && cmake --build --preset host-fuzz --target pinyin_tables_fuzz
//      && build/host-fuzz/bin/pinyin_tables_fuzz -max_total_time=60
// Input: a key script (up to the first NUL, at most 64 bytes; each byte one character, 0x01
// to 0x1F read as the virtual keys Backspace, Space, Home, End, Left, Right, Delete, Shift
// by their value modulo 8), then one byte that splits the rest, then the rest: "PYMB" and
// "PYCZ".
#include "core/engine.h"
#include "pinyin/pinyin.h"
#include "pinyin/pinyintables.h"
#include "shapecode/codetable.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void same(const char* a, const char* b) {
    if (std::strcmp(a, b) != 0) std::abort();
}

void compareLookups(const CodeTable& pymb, const CodeTable& pycz, const EngineContext& c) {
    static char scan[PINYIN_LIST_SIZE], indexed[PINYIN_LIST_SIZE];
    for (int i = 0; i < SYLLABLE_LIST_ENTRIES; ++i) {
        scan[0] = indexed[0] = '\0';
        checkSyllableScan(&pymb, c.syllables[i], scan, sizeof scan);
        checkSyllableIndexed(&pymb, c.syllables[i], indexed, sizeof indexed);
        same(scan, indexed);
        if (wholeSyllableScan(&pymb, c.syllables[i]) != wholeSyllableIndexed(&pymb, c.syllables[i]))
            std::abort();
        for (int limit : {10, 40}) {
            scan[0] = indexed[0] = '\0';
            lookupSyllableCharsScan(&pymb, c.syllables[i], limit, scan, sizeof scan);
            lookupSyllableCharsIndexed(&pymb, c.syllables[i], limit, indexed, sizeof indexed);
            same(scan, indexed);
        }
    }
    const int count = static_cast<int>(syllableCount(const_cast<EngineContext*>(&c)));
    uint32_t whole = 0;
    for (int i = 0; i < count && i < SYLLABLE_LIST_ENTRIES; ++i)
        if (wholeSyllableScan(&pymb, c.syllables[i])) whole |= 1u << i;
    for (int first = 0; first < count; ++first) {
        scan[0] = indexed[0] = '\0';
        TypedSyllables typed{c.syllables, first, count, first % 2 ? whole : 0u};
        lookupPhrasesScan(&pycz, typed, 11, scan, sizeof scan);
        lookupPhrasesIndexed(&pycz, typed, 11, indexed, sizeof indexed);
        same(scan, indexed);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t keys = 0;
    while (keys < size && keys < 64 && data[keys] != 0) ++keys;
    size_t at = keys < size ? keys + 1 : size;
    const size_t split = at < size ? data[at++] : 0;
    const size_t rest = size - at;
    const size_t pymbSize = rest == 0 ? 0 : split * rest / 255;
    // Each table exactly its own size, so a read past its end is caught.
    std::vector<unsigned char> pymbBytes(data + at, data + at + pymbSize);
    std::vector<unsigned char> pyczBytes(data + at + pymbSize, data + size);
    const CodeTable pymb{pymbBytes.data(), static_cast<uint32_t>(pymbBytes.size())};
    const CodeTable pycz{pyczBytes.data(), static_cast<uint32_t>(pyczBytes.size())};

    resetProcessState();
    releasePinyinIndexes();  // the last input's tables may lie at the same address
    codeTables.PYMB = pymb;
    codeTables.PYCZ = pycz;
    modes.pinyinMode = 1;
    engineContext.chineseMode = 1;
    static const uint32_t virtualKeys[] = {VK_BACK, VK_SPACE, VK_HOME,   VK_END,
                                           VK_LEFT, VK_RIGHT, VK_DELETE, VK_SHIFT};
    for (size_t i = 0; i < keys; ++i) {
        const uint8_t b = data[i];
        uint32_t key = b < 0x20 ? virtualKeys[b % 8] : (static_cast<uint32_t>(b) << 8);
        if (b < 0x20 && virtualKeys[b % 8] == VK_SPACE) key |= ' ' << 8;
        processPinyinKey(key, (key >> 8) & 0xFF, &engineContext);
        EngineContext& c = engineContext;
        const int length = static_cast<int>(strnlen(c.modeInput, sizeof c.modeInput));
        if (length > 30 || c.caret < 0 || c.caret > length || c.codeLength != length) std::abort();
        // The whole line beside the record: 64 letters and their separators at most.
        const PinyinLine& whole = pinyin.line;
        const size_t wholeLength = strnlen(whole.text, sizeof whole.text);
        if (wholeLength >= sizeof whole.text || whole.caret < 0 ||
            whole.caret > static_cast<int>(wholeLength) ||
            std::count_if(whole.text, whole.text + wholeLength, [](char b) { return b != ' '; }) >
                PINYIN_LETTERS_MAX)
            std::abort();
        if (choiceCount(&c) < 0 || choiceCount(&c) > PINYIN_CHOICES_MAX) std::abort();
        if (strnlen(c.syllables[SYLLABLE_SHOWN], 31) > 30 ||
            strnlen(c.modeResult, sizeof c.modeResult) >= sizeof c.modeResult)
            std::abort();
        compareLookups(pymb, pycz, c);
    }
    return 0;
}
