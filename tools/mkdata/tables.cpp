#include "tables.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <unordered_map>

namespace {

// How often a character is typed, over all its readings.
double characterWeight(const Lexicon& lex, char32_t c) {
    auto readings = lex.readings.find(c);
    if (readings == lex.readings.end()) return 0;
    double sum = 0;
    for (const Reading& r : readings->second) sum += r.weight;
    return sum;
}

// The character's code under each of its initials, the most frequent first.
struct CharCode {
    std::string code;
    double weight;
};
std::vector<CharCode> codesOf(const Lexicon& lex, Edition edition, char32_t c) {
    std::vector<CharCode> codes;
    auto shape = lex.shape.find(c);
    auto readings = lex.readings.find(c);
    if (shape == lex.shape.end() || readings == lex.readings.end()) return codes;
    for (const Initial& i : initialsOf(readings->second))
        codes.push_back({characterCode(edition, shape->second, i.letter), i.weight});
    return codes;
}

// A word's characters coded under the initials of the word's own reading, so that a
// phrase is typed as it is pronounced; a character never read so falls back to its
// most frequent initial.
std::string wordCode(const Lexicon& lex, Edition edition, const Word& w) {
    std::vector<std::string> codes;
    for (size_t i = 0; i < w.text.size(); ++i) {
        std::vector<CharCode> own = codesOf(lex, edition, w.text[i]);
        if (own.empty()) return {};
        auto shape = lex.shape.find(w.text[i]);
        std::string wanted = characterCode(edition, shape->second, w.syllables[i][0]);
        bool known = std::any_of(own.begin(), own.end(), [&](const CharCode& c) { return c.code == wanted; });
        codes.push_back(known ? wanted : own.front().code);
    }
    return phraseCode(codes);
}

// Distinct words of the pinyin dictionary in a character set, most frequent first.
std::vector<const Word*> wordsIn(const Lexicon& lex, const std::unordered_set<char32_t>& set) {
    std::vector<const Word*> list;
    for (const Word& w : lex.words)
        if (allIn(w.text, set)) list.push_back(&w);
    std::stable_sort(list.begin(), list.end(),
                     [](const Word* a, const Word* b) { return a->weight > b->weight; });
    return list;
}

// Punctuation and symbols start with "i" in the phonetic-shape edition, where no
// initial does, so that "i" (the mode commands' first letter) always finds something;
// "v" alone must find something too, since "v" then a key switches to English.
void addPhoneticExtras(const Lexicon& lex, std::vector<Record>& records,
                       const std::unordered_set<char32_t>& set) {
    for (const FixedCode& s : lex.symbols) {
        if (set.count(s.character))
            records.push_back({s.phoneticCode, {s.character}, 0});
        else if (!lex.sets.gbkSet.count(s.character))
            std::fprintf(stderr, "mkdata: symbol U+%04X is outside the table's character set\n",
                         static_cast<unsigned>(s.character));
    }
    records.push_back({"v", {U'ü'}, 0});
}

// The positions of a code's exact list that a key can choose, as the engine offers them:
// the list holds 47 bytes (the first entry bare, every other one with a space and its
// label ",", "." or "'"; "牛" never third); Space takes the first entry, a label the entry
// after its last occurrence in the display half (positions 0-24, or 22-46 after "}" when
// the list is longer than 18 bytes).
std::vector<bool> choosable(const std::vector<const Record*>& exact) {
    std::vector<bool> can(exact.size(), false);
    struct Shown {
        size_t index;
        int label;  // 0 none, 1-3 ",", ".", "'"
        size_t at;  // where its label stands
    };
    std::vector<Shown> shown;
    size_t size = 0;
    int state = 0;
    for (size_t i = 0; i < exact.size(); ++i) {
        if (state == 2 && exact[i]->text == U"牛") continue;
        size_t add = (state ? 2 : 0) + 2 * exact[i]->text.size();
        if (size + add > 47) break;
        shown.push_back({i, state, size + 1});
        size += add;
        state = std::min(state + 1, 3);
    }
    if (!shown.empty()) can[shown[0].index] = true;
    for (int half = 0; half < (size > 18 ? 2 : 1); ++half)
        for (int label = 1; label <= 3; ++label) {
            const Shown* last = nullptr;
            for (const Shown& s : shown)
                if (s.label == label && s.at >= 22u * half && s.at < 22u * half + 25) last = &s;
            if (last) can[last->index] = true;
        }
    return can;
}

// Frequency may leave a character where no key reaches it (under its only code, fourth
// of several longer entries). Such a character moves up to the third place of its most
// frequent code, which the "." label always takes.
void keepCharactersChoosable(std::vector<const Record*>& order) {
    for (int round = 0; round < 8; ++round) {
        std::map<std::string, std::vector<size_t>> byCode;
        for (size_t i = 0; i < order.size(); ++i) byCode[order[i]->code].push_back(i);
        std::set<std::u32string> reached;
        std::map<std::u32string, size_t> firstPlace;
        for (auto& [code, places] : byCode) {
            std::vector<const Record*> exact;
            for (size_t i : places) exact.push_back(order[i]);
            std::vector<bool> can = choosable(exact);
            for (size_t k = 0; k < places.size(); ++k) {
                const std::u32string& text = order[places[k]]->text;
                if (text.size() != 1) continue;
                if (can[k]) reached.insert(text);
                firstPlace.emplace(text, places[k]);
            }
        }
        bool moved = false;
        for (auto& [text, at] : firstPlace) {
            if (reached.count(text)) continue;
            const std::vector<size_t>& places = byCode[order[at]->code];
            size_t third = places.at(2);
            std::rotate(order.begin() + third, order.begin() + at, order.begin() + at + 1);
            std::fprintf(stderr, "mkdata: %s moved up under %s, where no key reached it\n",
                         encodeUtf8(text).c_str(), order[third]->code.c_str());
            moved = true;
            break;  // the places changed: look again
        }
        if (!moved) return;
    }
}

std::string line(const std::string& code, std::u32string_view text) {
    return code + '\t' + encodeUtf8(text) + '\n';
}

void report(const std::string& name, size_t records) {
    std::printf("%-10s %7zu records\n", name.c_str(), records);
}

}  // namespace

std::vector<Record> buildMainTable(const Lexicon& lex, Edition edition, size_t wordCount) {
    std::vector<Record> records;
    size_t uncoded = 0;
    for (char32_t c : lex.sets.gb2312Hanzi) {
        std::vector<CharCode> codes = codesOf(lex, edition, c);
        uncoded += codes.empty();
        for (const CharCode& code : codes) records.push_back({code.code, {c}, code.weight});
    }
    if (uncoded) std::fprintf(stderr, "mkdata: %zu GB2312 characters have no code\n", uncoded);
    // The dialog's frequent characters: on one key, the first letter of the code the dialog
    // proposes for them, before every other record of its bucket. One letter is how they
    // are typed, so their longer codes (the dialog's and their own) keep them first among
    // their own entries but lend them no weight among the completions.
    std::set<char32_t> oneKey;
    for (const FixedCode& f : lex.frequent) {
        const std::string& code = edition == Edition::ShapeCode ? f.shapeCode : f.phoneticCode;
        if (code.empty()) continue;
        records.push_back({code, {f.character}, 0});
        records.push_back(
            {code.substr(0, 1), {f.character}, characterWeight(lex, f.character), Rank::ShortCode});
        oneKey.insert(f.character);
    }
    for (Record& r : records)
        r.pinned = r.rank != Rank::ShortCode && r.text.size() == 1 && oneKey.count(r.text[0]);
    std::set<std::u32string> seen;
    for (const Word* w : wordsIn(lex, lex.sets.gb2312)) {
        if (seen.size() >= wordCount) break;
        std::string code = wordCode(lex, edition, *w);
        if (!code.empty() && seen.insert(w->text).second) records.push_back({code, w->text, w->weight});
    }
    if (edition == Edition::PhoneticShape) addPhoneticExtras(lex, records, lex.sets.gb2312);
    return records;
}

std::vector<Record> buildPhraseTable(const Lexicon& lex, Edition edition) {
    std::vector<Record> records;
    for (const Word* w : wordsIn(lex, lex.sets.gb2312)) {
        std::string code = wordCode(lex, edition, *w);
        if (!code.empty()) records.push_back({code, w->text, w->weight});
    }
    if (edition == Edition::PhoneticShape) addPhoneticExtras(lex, records, lex.sets.gb2312);
    return records;
}

std::vector<Record> buildGbkTable(const Lexicon& lex, Edition edition) {
    std::vector<Record> records;
    size_t uncoded = 0;
    for (char32_t c : lex.sets.gbk) {
        if (!isHanzi(c)) continue;
        std::vector<CharCode> codes = codesOf(lex, edition, c);
        uncoded += codes.empty();
        for (const CharCode& code : codes) records.push_back({code.code, {c}, code.weight});
    }
    if (uncoded) std::printf("mkdata: %zu GBK ideographs have no Cangjie code or reading\n", uncoded);
    if (edition == Edition::PhoneticShape) addPhoneticExtras(lex, records, lex.sets.gbkSet);
    return records;
}

std::vector<Record> buildWubiTable(const Lexicon& lex) {
    std::vector<Record> records;
    for (const WubiEntry& e : lex.wubi) {
        // "z" is the five-stroke mode's English and ellipsis prefix.
        if (e.code[0] == 'z' || e.text.size() > 15 || !allIn(e.text, lex.sets.gb2312)) continue;
        records.push_back({e.code, e.text, e.weight});
    }
    return records;
}

std::string packedSource(const std::string& name, std::vector<Record> records, const Lexicon& lex) {
    std::map<std::string, double> heaviest;
    for (Record& r : records) {
        if (lex.offensive.count(r.text)) r.rank = Rank::Offensive;
        double& h = heaviest[r.code];
        if (!r.pinned) h = std::max(h, r.weight);
    }
    // A pinned entry is as heavy as the heaviest other entry of its code and wins the tie
    // below, so it leads its code's exact list without moving ahead of other codes.
    for (Record& r : records)
        if (r.pinned) r.weight = heaviest[r.code];
    std::stable_sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
        if (a.code[0] != b.code[0]) return a.code[0] < b.code[0];
        if (a.rank != b.rank) return a.rank < b.rank;
        if (a.weight != b.weight) return a.weight > b.weight;
        if (a.code != b.code) return a.code < b.code;
        return a.pinned && !b.pinned;
    });
    // An entry may come both from the scheme and from a list: keep its first place only.
    std::set<std::pair<std::string, std::u32string>> seen;
    std::vector<const Record*> order;
    for (const Record& r : records)
        if (seen.insert({r.code, r.text}).second) order.push_back(&r);
    keepCharactersChoosable(order);
    std::string out;
    for (const Record* r : order) out += line(r->code, r->text);
    report(name, order.size());
    return out;
}

std::string fixedSource(const std::string& name, std::vector<Record> records) {
    std::stable_sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
        return a.code != b.code ? a.code < b.code : a.weight > b.weight;
    });
    std::set<std::pair<std::string, std::u32string>> seen;
    std::string out;
    for (const Record& r : records)
        if (seen.insert({r.code, r.text}).second) out += line(r.code, r.text);
    report(name, seen.size());
    return out;
}

std::string syllableSource(const Lexicon& lex) {
    struct Entry {
        char32_t c;
        double weight;
    };
    std::map<std::string, std::vector<Entry>> syllables;
    std::unordered_set<char32_t> covered;
    for (const auto& r : lex.pinyinChars) {
        if (!lex.sets.gbkSet.count(r.character) || r.syllable.size() > 8) continue;
        syllables[r.syllable].push_back({r.character, r.weight});
        covered.insert(r.character);
    }
    // Characters the pinyin dictionary lacks come after its own, GB2312 ones first.
    size_t added = 0;
    for (char32_t c : lex.sets.gbk) {
        auto u = lex.unihanReadings.find(c);
        if (covered.count(c) || u == lex.unihanReadings.end()) continue;
        double rank = lex.sets.gb2312.count(c) ? -1 : -2;
        for (const std::string& s : u->second) syllables[s].push_back({c, rank});
        ++added;
    }
    std::string out;
    size_t count = 0;
    for (auto& [syllable, list] : syllables) {
        std::stable_sort(list.begin(), list.end(),
                         [](const Entry& a, const Entry& b) { return a.weight > b.weight; });
        std::string text;
        std::unordered_set<char32_t> once;
        for (const Entry& e : list)
            if (once.insert(e.c).second) text += encodeUtf8(e.c);
        count += once.size();
        out += syllable + '\t' + text + '\n';
    }
    std::printf("%-10s %7zu syllables, %zu characters (%zu from Unihan)\n", "PYMB", syllables.size(), count,
                added);
    return out;
}

// The pinyin engine gathers the first few records of a letter that fit the typed
// syllables and shows them longest first; Space takes the first of the longest. So within
// each letter the longer words come first (a crowd of short ones never pushes the longest
// out of the gathered few), and within one length the most frequent first: a syllable
// typed whole fits only itself, so the words of one pinyin compete among themselves, and
// abbreviations get the most frequent word of all those they begin. Listed offensive
// words close the letter.
std::string pinyinPhraseSource(const Lexicon& lex) {
    struct Entry {
        std::string pinyin;
        const Word* word;
        bool offensive;
        size_t letters;
    };
    std::vector<Entry> list;
    for (const Word* w : wordsIn(lex, lex.sets.gbkSet)) {
        std::string pinyin;
        size_t letters = 0;
        for (const std::string& s : w->syllables) {
            pinyin += (pinyin.empty() ? "" : " ") + s;
            letters += s.size();
        }
        if (pinyin.size() <= 30) list.push_back({pinyin, w, lex.offensive.count(w->text) > 0, letters});
    }
    std::stable_sort(list.begin(), list.end(), [](const Entry& a, const Entry& b) {
        if (a.pinyin[0] != b.pinyin[0]) return a.pinyin[0] < b.pinyin[0];
        if (a.offensive != b.offensive) return b.offensive;
        if (a.word->text.size() != b.word->text.size()) return a.word->text.size() > b.word->text.size();
        if (a.word->weight != b.word->weight) return a.word->weight > b.word->weight;
        if (a.letters != b.letters) return a.letters < b.letters;
        return a.pinyin < b.pinyin;
    });
    std::set<std::pair<std::string, std::u32string>> seen;
    std::string out;
    for (const Entry& e : list)
        if (seen.insert({e.pinyin, e.word->text}).second)
            out += e.pinyin + '\t' + encodeUtf8(e.word->text) + '\n';
    report("PYCZ", seen.size());
    return out;
}
