#include "lexicon.h"

#include "sources.h"

#include <algorithm>
#include <cstdio>

namespace {

bool lettersOnly(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

bool loadFixedCodes(const std::string& path, std::vector<FixedCode>& out) {
    size_t badLine = 0;
    bool read = readList(path, [&](size_t line, const std::vector<std::string_view>& f) {
        std::u32string text;
        bool good = f.size() >= 2 && decodeUtf8(f[0], text) && text.size() == 1 && lettersOnly(f[1]) &&
                    f[1].size() <= 4 &&
                    (f.size() < 3 || f[2].empty() || (lettersOnly(f[2]) && f[2].size() <= 4));
        if (!good) {
            badLine = badLine ? badLine : line;
            return;
        }
        out.push_back({text[0], std::string(f[1]), f.size() > 2 ? std::string(f[2]) : std::string()});
    });
    if (badLine)
        std::fprintf(stderr, "mkdata: %s:%zu: not character<TAB>code[<TAB>code]\n", path.c_str(), badLine);
    return read && !badLine;
}

// word<TAB>why it is listed: a word without its reason is a fault of the list.
bool loadWordList(const std::string& path, std::unordered_set<std::u32string>& out) {
    size_t badLine = 0;
    bool read = readList(path, [&](size_t line, const std::vector<std::string_view>& f) {
        std::u32string text;
        if (f.size() < 2 || f[1].empty() || !decodeUtf8(f[0], text) || text.empty()) {
            badLine = badLine ? badLine : line;
            return;
        }
        out.insert(text);
    });
    if (badLine) std::fprintf(stderr, "mkdata: %s:%zu: not word<TAB>reason\n", path.c_str(), badLine);
    return read && !badLine;
}

}  // namespace

bool loadLexicon(const SourcePaths& paths, Lexicon& lex) {
    if (!loadCharSets(lex.sets)) return false;

    bool ok = readUnihanField(paths.unihanDictionary, "kCangjie", [&](char32_t c, std::string_view v) {
        std::string s = shapePart(v.substr(0, v.find(' ')));
        if (!s.empty()) lex.shape[c] = s;
    });
    ok = ok && readUnihanField(paths.unihanReadings, "kMandarin", [&](char32_t c, std::string_view v) {
             for (std::string_view one : splitFields(v, ' ')) {
                 std::u32string u;
                 if (!decodeUtf8(one, u)) continue;
                 std::string s = plainSyllable(u);
                 auto& list = lex.unihanReadings[c];
                 if (!s.empty() && std::find(list.begin(), list.end(), s) == list.end()) list.push_back(s);
             }
         });

    ok = ok && readRimeDictionary(paths.pinyin, [&](std::string_view text, std::string_view code, double w) {
             std::u32string u;
             if (!decodeUtf8(text, u) || u.empty()) return;
             std::vector<std::string_view> syl = splitFields(code, ' ');
             if (syl.size() != u.size() || !std::all_of(syl.begin(), syl.end(), lettersOnly)) return;
             if (u.size() == 1) {
                 lex.pinyinChars.push_back({u[0], std::string(code), w});
                 lex.readings[u[0]].push_back({std::string(code), w});
             } else if (u.size() <= 4) {
                 lex.words.push_back({u, std::vector<std::string>(syl.begin(), syl.end()), w});
             }
         });
    for (auto& [c, list] : lex.readings)
        std::stable_sort(list.begin(), list.end(),
                         [](const Reading& a, const Reading& b) { return a.weight > b.weight; });
    for (const auto& [c, list] : lex.unihanReadings) {
        if (lex.readings.count(c)) continue;
        auto& r = lex.readings[c];
        for (const std::string& s : list) r.push_back({s, 0});
    }

    ok = ok && readRimeDictionary(paths.wubi, [&](std::string_view text, std::string_view code, double w) {
             std::u32string u;
             if (decodeUtf8(text, u) && !u.empty() && lettersOnly(code) && code.size() <= 4)
                 lex.wubi.push_back({u, std::string(code), w});
         });

    ok = ok && loadFixedCodes(paths.frequent, lex.frequent) && loadFixedCodes(paths.symbols, lex.symbols) &&
         loadWordList(paths.offensive, lex.offensive);
    if (ok && (lex.shape.empty() || lex.pinyinChars.empty() || lex.words.empty() || lex.wubi.empty())) {
        std::fprintf(stderr, "mkdata: a source dictionary is empty\n");
        ok = false;
    }
    return ok;
}
