#include "tables.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <map>
#include <memory>
#include <set>

namespace {

constexpr double FIRST = std::numeric_limits<double>::max();

using FilePtr = std::unique_ptr<FILE, int (*)(FILE*)>;

FilePtr openOutput(const std::string& path)
{
    FilePtr f(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!f)
        std::fprintf(stderr, "mkdata: cannot write %s\n", path.c_str());
    return f;
}

bool closeOutput(FilePtr& f, const std::string& path)
{
    bool ok = std::ferror(f.get()) == 0 && std::fclose(f.release()) == 0;
    if (!ok)
        std::fprintf(stderr, "mkdata: error writing %s\n", path.c_str());
    return ok;
}

// The character's code under each of its initials, the most frequent first.
struct CharCode {
    std::string code;
    double weight;
};
std::vector<CharCode> codesOf(const Lexicon& lex, Edition edition, char32_t c)
{
    std::vector<CharCode> codes;
    auto shape = lex.shape.find(c);
    auto readings = lex.readings.find(c);
    if (shape == lex.shape.end() || readings == lex.readings.end())
        return codes;
    for (const Initial& i : initialsOf(readings->second))
        codes.push_back({characterCode(edition, shape->second, i.letter), i.weight});
    return codes;
}

// A word's characters coded under the initials of the word's own reading, so that a
// phrase is typed as it is pronounced; a character never read so falls back to its
// most frequent initial.
std::string wordCode(const Lexicon& lex, Edition edition, const Word& w)
{
    std::vector<std::string> codes;
    for (size_t i = 0; i < w.text.size(); ++i) {
        std::vector<CharCode> own = codesOf(lex, edition, w.text[i]);
        if (own.empty())
            return {};
        auto shape = lex.shape.find(w.text[i]);
        std::string wanted = characterCode(edition, shape->second, w.syllables[i][0]);
        bool known = std::any_of(own.begin(), own.end(), [&](const CharCode& c) { return c.code == wanted; });
        codes.push_back(known ? wanted : own.front().code);
    }
    return phraseCode(codes);
}

// Distinct words of the pinyin dictionary in a character set, most frequent first.
std::vector<const Word*> wordsIn(const Lexicon& lex, const std::unordered_set<char32_t>& set)
{
    std::vector<const Word*> list;
    for (const Word& w : lex.words)
        if (allIn(w.text, set))
            list.push_back(&w);
    std::stable_sort(list.begin(), list.end(), [](const Word* a, const Word* b) { return a->weight > b->weight; });
    return list;
}

// Punctuation and symbols start with "i" in the phonetic-shape edition, where no
// initial does, so that "i" (the mode commands' first letter) always finds something;
// "v" alone must find something too, since "v" then a key switches to English.
void addPhoneticExtras(const Lexicon& lex, std::vector<Record>& records, const std::unordered_set<char32_t>& set)
{
    for (const FixedCode& s : lex.symbols) {
        if (set.count(s.character))
            records.push_back({s.phoneticCode, {s.character}, 0});
        else if (!lex.sets.gbkSet.count(s.character))
            std::fprintf(stderr, "mkdata: symbol U+%04X is outside the table's character set\n",
                         static_cast<unsigned>(s.character));
    }
    records.push_back({"v", {U'ü'}, 0});
}

}  // namespace

std::vector<Record> buildMainTable(const Lexicon& lex, Edition edition, size_t wordCount)
{
    std::vector<Record> records;
    size_t uncoded = 0;
    for (char32_t c : lex.sets.gb2312Hanzi) {
        std::vector<CharCode> codes = codesOf(lex, edition, c);
        uncoded += codes.empty();
        for (const CharCode& code : codes)
            records.push_back({code.code, {c}, code.weight});
    }
    if (uncoded)
        std::fprintf(stderr, "mkdata: %zu GB2312 characters have no code\n", uncoded);
    // The dialog's frequent characters stand first under the codes it proposes for them.
    for (const FixedCode& f : lex.frequent) {
        const std::string& code = edition == Edition::ShapeCode ? f.shapeCode : f.phoneticCode;
        if (!code.empty())
            records.push_back({code, {f.character}, FIRST});
    }
    std::set<std::u32string> seen;
    for (const Word* w : wordsIn(lex, lex.sets.gb2312)) {
        if (seen.size() >= wordCount)
            break;
        std::string code = wordCode(lex, edition, *w);
        if (!code.empty() && seen.insert(w->text).second)
            records.push_back({code, w->text, w->weight});
    }
    if (edition == Edition::PhoneticShape)
        addPhoneticExtras(lex, records, lex.sets.gb2312);
    return records;
}

std::vector<Record> buildPhraseTable(const Lexicon& lex, Edition edition)
{
    std::vector<Record> records;
    std::set<std::pair<std::string, std::u32string>> seen;
    for (const Word* w : wordsIn(lex, lex.sets.gb2312)) {
        std::string code = wordCode(lex, edition, *w);
        if (!code.empty() && seen.insert({code, w->text}).second)
            records.push_back({code, w->text, w->weight});
    }
    if (edition == Edition::PhoneticShape)
        addPhoneticExtras(lex, records, lex.sets.gb2312);
    return records;
}

std::vector<Record> buildGbkTable(const Lexicon& lex, Edition edition)
{
    std::vector<Record> records;
    size_t uncoded = 0;
    for (char32_t c : lex.sets.gbk) {
        if (!isHanzi(c))
            continue;
        std::vector<CharCode> codes = codesOf(lex, edition, c);
        uncoded += codes.empty();
        for (const CharCode& code : codes)
            records.push_back({code.code, {c}, code.weight});
    }
    if (uncoded)
        std::printf("mkdata: %zu GBK ideographs have no Cangjie code or reading\n", uncoded);
    if (edition == Edition::PhoneticShape)
        addPhoneticExtras(lex, records, lex.sets.gbkSet);
    return records;
}

std::vector<Record> buildWubiTable(const Lexicon& lex)
{
    std::vector<Record> records;
    std::set<std::pair<std::string, std::u32string>> seen;
    for (const WubiEntry& e : lex.wubi) {
        // "z" is the five-stroke mode's English and ellipsis prefix.
        if (e.code[0] == 'z' || e.text.size() > 15 || !allIn(e.text, lex.sets.gb2312))
            continue;
        if (seen.insert({e.code, e.text}).second)
            records.push_back({e.code, e.text, e.weight});
    }
    return records;
}

bool writeRecords(const std::string& path, std::vector<Record> records)
{
    std::stable_sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
        return a.code != b.code ? a.code < b.code : a.weight > b.weight;
    });
    FilePtr f = openOutput(path);
    if (!f)
        return false;
    // A character listed by hand may also come from the scheme: keep its first place only.
    std::set<std::pair<std::string, std::u32string>> seen;
    for (const Record& r : records)
        if (seen.insert({r.code, r.text}).second)
            std::fprintf(f.get(), "%s\t%s\n", r.code.c_str(), encodeUtf8(r.text).c_str());
    std::printf("%-10s %7zu records\n", path.substr(path.find_last_of('/') + 1).c_str(), seen.size());
    return closeOutput(f, path);
}

bool writeSyllableTable(const std::string& path, const Lexicon& lex)
{
    struct Entry {
        char32_t c;
        double weight;
    };
    std::map<std::string, std::vector<Entry>> syllables;
    std::unordered_set<char32_t> covered;
    for (const auto& r : lex.pinyinChars) {
        if (!lex.sets.gbkSet.count(r.character) || r.syllable.size() > 8)
            continue;
        syllables[r.syllable].push_back({r.character, r.weight});
        covered.insert(r.character);
    }
    // Characters the pinyin dictionary lacks come after its own, GB2312 ones first.
    size_t added = 0;
    for (char32_t c : lex.sets.gbk) {
        auto u = lex.unihanReadings.find(c);
        if (covered.count(c) || u == lex.unihanReadings.end())
            continue;
        double rank = lex.sets.gb2312.count(c) ? -1 : -2;
        for (const std::string& s : u->second)
            syllables[s].push_back({c, rank});
        ++added;
    }
    FilePtr f = openOutput(path);
    if (!f)
        return false;
    size_t count = 0;
    for (auto& [syllable, list] : syllables) {
        std::stable_sort(list.begin(), list.end(), [](const Entry& a, const Entry& b) { return a.weight > b.weight; });
        std::string text;
        std::unordered_set<char32_t> once;
        for (const Entry& e : list)
            if (once.insert(e.c).second)
                text += encodeUtf8(e.c);
        count += once.size();
        std::fprintf(f.get(), "%s\t%s\n", syllable.c_str(), text.c_str());
    }
    std::printf("%-10s %7zu syllables, %zu characters (%zu from Unihan)\n", "PYMB.txt", syllables.size(), count,
                added);
    return closeOutput(f, path);
}

bool writePinyinPhraseTable(const std::string& path, const Lexicon& lex)
{
    std::vector<const Word*> list = wordsIn(lex, lex.sets.gbkSet);
    std::stable_sort(list.begin(), list.end(),
                     [](const Word* a, const Word* b) { return a->syllables[0][0] < b->syllables[0][0]; });
    FilePtr f = openOutput(path);
    if (!f)
        return false;
    std::set<std::pair<std::string, std::u32string>> seen;
    for (const Word* w : list) {
        std::string pinyin;
        for (const std::string& s : w->syllables)
            pinyin += (pinyin.empty() ? "" : " ") + s;
        if (pinyin.size() <= 30 && seen.insert({pinyin, w->text}).second)
            std::fprintf(f.get(), "%s\t%s\n", pinyin.c_str(), encodeUtf8(w->text).c_str());
    }
    std::printf("%-10s %7zu records\n", "PYCZ.txt", seen.size());
    return closeOutput(f, path);
}
