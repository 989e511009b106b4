// The open shape code of the two editions: a character's code is built from its Cangjie
// code (the shape part) and the first letter of its reading (the initial).
#pragma once

#include <string>
#include <string_view>
#include <vector>

enum class Edition { ShapeCode, PhoneticShape };

struct Reading {
    std::string syllable;  // lower-case letters, ü written v
    double weight;         // how often the character is read so; 0 when unknown
};

// Codes of one to three letters stay whole; longer ones keep the first two and the last.
std::string shapePart(std::string_view cangjie);

// One entry per distinct initial, the most frequent reading's initial first.
struct Initial {
    char letter;
    double weight;  // sum of the weights of the readings with this initial
};
std::vector<Initial> initialsOf(const std::vector<Reading>& readings);

// The code of a character under one initial; at most four letters.
std::string characterCode(Edition edition, std::string_view shape, char initial);

// The code the user-phrase dialog proposes for a phrase, from the codes of its characters
// (two characters: two letters of each; three: one, one, two; four or more: the first
// letters of characters 1, 2, 3 and the last). Empty when a code is missing.
std::string phraseCode(const std::vector<std::string>& characterCodes);

// A Unihan kMandarin reading ("zhōng") as typed: tone marks dropped, ü as v, the
// spellings lüe/nüe kept as lue/nue like the pinyin dictionary. Empty when unusable.
std::string plainSyllable(std::u32string_view reading);
