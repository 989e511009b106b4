// TEMPORARY: stands in for the model reader until it lands; deleted then.
#include "pinyin/languagemodel.h"

uint32_t languageModelWord(const LanguageModel*, std::string_view) { return 0; }
float languageModelScore(const LanguageModel*, uint32_t, uint32_t, uint32_t) { return 0; }
const LanguageModel* pinyinLanguageModel() { return nullptr; }
void releasePinyinLanguageModel() {}
