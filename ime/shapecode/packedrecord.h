// The packed table layout, shared by the lookup that reads it in place and the table
// compiler that writes it. Header-only and free of the engine, so tools can include it.
//
// A table is a header of 29 little-endian 32-bit bucket offsets (from the header's end),
// then the buckets a-z, ';', '/' one after another. A record is two code bytes P and Q,
// then its text: two bytes for a character, 2n for a phrase of n characters, each byte
// with bit 7 cleared. The code letters after the first (5-bit values, 0 for none) are
//   c2 = P bits 0-4, c3 = Q bits 0-4, c4 = P bits 5-7 (high three) and Q bits 6-7 (low two);
// Q bit 5 marks a phrase, whose length n rides in bit 7 of its first four text bytes,
// worth 8, 4, 2 and 1.
#pragma once

#include <cstddef>
#include <cstdint>

namespace packed {

constexpr uint32_t HEADER_SIZE = 116;
constexpr int BUCKETS = 28;
constexpr char LETTERS[] = "abcdefghijklmnopqrstuvwxyz;/";
constexpr unsigned PHRASE_BIT = 0x20;
constexpr uint32_t CHARACTER_RECORD_SIZE = 4;
constexpr uint32_t PHRASE_HEADER_SIZE = 6;  // the code bytes and the four length bytes
constexpr unsigned PHRASE_MIN = 2, PHRASE_MAX = 15;

// Bucket of a code letter: 0-25 for a-z, 26 for ';', 27 for '/', -1 for none.
constexpr int bucketOf(char letter) {
    if (letter >= 'a' && letter <= 'z') return letter - 'a';
    if (letter == ';') return 26;
    if (letter == '/') return 27;
    return -1;
}

// 5-bit value of a code letter (1-28), 0 for a character that is none.
constexpr unsigned letterValue(char letter) { return static_cast<unsigned>(bucketOf(letter) + 1); }

// Letter of a 5-bit value: NUL for 0 (no letter), '?' for a value no letter has.
constexpr char letterOf(unsigned value) {
    if (value == 0) return '\0';
    return value <= 28 ? LETTERS[value - 1] : '?';
}

constexpr uint8_t codeByteP(unsigned c2, unsigned c4) { return static_cast<uint8_t>(c2 | ((c4 >> 2) << 5)); }
constexpr uint8_t codeByteQ(unsigned c3, unsigned c4, bool phrase) {
    return static_cast<uint8_t>(c3 | (phrase ? PHRASE_BIT : 0) | ((c4 & 3) << 6));
}

constexpr unsigned secondLetter(uint8_t p, uint8_t) { return p & 0x1F; }
constexpr unsigned thirdLetter(uint8_t, uint8_t q) { return q & 0x1F; }
constexpr unsigned fourthLetter(uint8_t p, uint8_t q) { return ((p >> 5) << 2) | (q >> 6); }
constexpr bool isPhrase(uint8_t q) { return (q & PHRASE_BIT) != 0; }

// The character count of a phrase from its first four text bytes.
constexpr unsigned phraseLength(const uint8_t* text) {
    return ((text[0] >> 7) << 3) | ((text[1] >> 7) << 2) | ((text[2] >> 7) << 1) | (text[3] >> 7);
}
// Marks the character count n in the first four of a phrase's text bytes.
constexpr void markPhraseLength(uint8_t* text, unsigned n) {
    for (int i = 0; i < 4; ++i)
        if (n & (8u >> i)) text[i] |= 0x80;
}

constexpr uint32_t recordSize(unsigned characters) { return 2 + 2 * characters; }

}  // namespace packed
