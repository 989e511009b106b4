// The pinyin sentence model: a trigram model with back-off over GBK words, built at build
// time from an open model and read in place from a file beside the data libraries.
// Every function is safe on a model that failed to open: it then knows no word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// The model as it lies in memory: views into the mapped file, checked once when opened.
struct LanguageModel;

// Word id of a GBK word (its exact bytes); 0 when the model does not know it.
uint32_t languageModelWord(const LanguageModel* model, std::string_view gbkWord);

// log10 P(w3 | w1 w2) with back-off. w1 or w2 may be 0 (no context, or a word the model does
// not know); w3 == 0 gives the model's score for a word it does not know. Without a model, 0.
// Ids above the model's words count as 0.
float languageModelScore(const LanguageModel* model, uint32_t w1, uint32_t w2, uint32_t w3);

// The process's model, opened (mapped and checked) at the first call; nullptr when the file
// is missing, damaged or of another format. Callers then score by the tables' weights.
const LanguageModel* pinyinLanguageModel();

// Unmaps the model (detach, process reset); the next pinyinLanguageModel() opens it again.
void releasePinyinLanguageModel();

// The model's file in the system directory, beside the data libraries. It comes from a
// separate open model (see data/README.md) and a user may replace it.
constexpr char LANGUAGE_MODEL_FILE[] = "pylm.dat";

// A model over bytes in memory (tests, fuzzing, benchmarks): the header, the counts and
// the size of every array are checked here, once; lookups then stay inside the bytes
// whatever the arrays hold. nullptr when the bytes are not a whole model of this format.
// The bytes must outlive the model.
const LanguageModel* openLanguageModel(const void* bytes, size_t size);
// Maps a model file read-only and opens it as above; nullptr when it cannot be.
const LanguageModel* openLanguageModelFile(const char* path);
// Closes a model of either open; nullptr is fine.
void closeLanguageModel(const LanguageModel* model);
