// The pinyin table indexes against the written scans over the whole real tables of
// pymb.dll: every syllable and every beginning of one, and phrase lookups for every
// record's pinyin typed in full, by initials and cut short.
#include "imedriver.h"

#include "pinyin/pinyin.h"
#include "pinyin/pinyintables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

class PinyinTables : public ::testing::Test {
protected:
    void SetUp() override {
        pymb = libraryTable("pymb.dll", "PYMB");
        pycz = libraryTable("pymb.dll", "PYCZ");
        if (!pymb.data || !pycz.data) GTEST_SKIP() << "pymb.dll is not built next to the tests";
    }
    void TearDown() override { releasePinyinIndexes(); }

    // Every syllable of the table, read from its headers.
    std::vector<std::string> syllables() const {
        std::vector<std::string> out;
        for (uint32_t at = 0; at + 10 <= pymb.size;) {
            if (pymb.data[at] == '3') break;
            if (pymb.data[at] == '1') {
                std::string s(reinterpret_cast<const char*>(pymb.data + at + 2), 8);
                out.push_back(s.substr(0, s.find(' ')));
                at += 10;
            } else {
                at += 2;
            }
        }
        return out;
    }

    CodeTable pymb{}, pycz{};
    std::vector<char> scan = std::vector<char>(PINYIN_LIST_SIZE), indexed = std::vector<char>(PINYIN_LIST_SIZE);
};

TEST_F(PinyinTables, SyllableLookupsAnswerAsTheScan) {
    std::set<std::string> typed = {"i", "u", "v", "zz", "q", "shuangx"};
    const std::vector<std::string> all = syllables();
    ASSERT_GT(all.size(), 400u);
    for (const std::string& s : all)
        for (size_t n = 1; n <= s.size(); ++n) typed.insert(s.substr(0, n));
    size_t found = 0;
    for (const std::string& s : typed) {
        scan[0] = indexed[0] = '\0';
        checkSyllableScan(&pymb, s.c_str(), scan.data(), scan.size());
        checkSyllableIndexed(&pymb, s.c_str(), indexed.data(), indexed.size());
        ASSERT_STREQ(scan.data(), indexed.data()) << s;
        found += scan[0] != '\0';
        for (int limit : {10, 20, 60, 100000}) {
            scan[0] = indexed[0] = '\0';
            lookupSyllableCharsScan(&pymb, s.c_str(), limit, scan.data(), scan.size());
            lookupSyllableCharsIndexed(&pymb, s.c_str(), limit, indexed.data(), indexed.size());
            ASSERT_STREQ(scan.data(), indexed.data()) << s << " " << limit;
        }
    }
    EXPECT_EQ(found, typed.size() - 5);  // all but i, u, v, zz and shuangx begin a syllable

    // Whole syllables: exactly the table's own.
    const std::set<std::string> own(all.begin(), all.end());
    for (const std::string& s : typed) {
        ASSERT_EQ(wholeSyllableScan(&pymb, s.c_str()), own.count(s) > 0) << s;
        ASSERT_EQ(wholeSyllableIndexed(&pymb, s.c_str()), own.count(s) > 0) << s;
    }
}

TEST_F(PinyinTables, PhraseLookupsAnswerAsTheScan) {
    // The records' pinyins, typed three ways, with one more syllable after it so that
    // shorter phrases fit too, and from a second syllable on as after a first choice.
    std::set<std::vector<std::string>> typings;
    size_t records = 0;
    for (uint64_t at = PYCZ_HEADER_SIZE; at + PYCZ_RECORD_SIZE <= pycz.size; at += PYCZ_RECORD_SIZE, ++records) {
        const char* record = reinterpret_cast<const char*>(pycz.data + at);
        if (record[0] == '1') break;
        std::string pinyin(record, PYCZ_FIELD_SIZE);
        pinyin = pinyin.substr(0, pinyin.find("  "));
        std::vector<std::string> full, initials, cut;
        for (size_t start = 0; start < pinyin.size();) {
            size_t end = std::min(pinyin.find(' ', start), pinyin.size());
            std::string s = pinyin.substr(start, end - start);
            full.push_back(s);
            initials.push_back(s.substr(0, 1));
            cut.push_back(s.substr(0, (s.size() + 1) / 2));
            start = end + 1;
        }
        // Each lookup walks many records; a third of the pinyins reach every part of the table.
        if (records % 3 == 0) typings.insert(full);
        if (records % 10 == 1) typings.insert(initials);
        if (records % 10 == 2) typings.insert(cut);
    }
    ASSERT_GT(records, 40000u);
    size_t compared = 0, nonEmpty = 0, n = 0;
    for (std::vector<std::string> typing : typings) {
        const bool longPage = n++ % 10 == 0;  // a later page gathers more; checked on a sample
        typing.push_back("de");
        char list[PINYIN_SYLLABLES_MAX + 1][31] = {};
        list[0][0] = 'w', list[0][1] = 'o';
        for (size_t i = 0; i < typing.size() && i < PINYIN_SYLLABLES_MAX; ++i)
            std::strncpy(list[i + 1], typing[i].c_str(), 30);
        const int count = static_cast<int>(std::min<size_t>(typing.size() + 1, PINYIN_SYLLABLES_MAX));
        // As the engine types them: the syllables of two letters or more that the syllable
        // table has fit only themselves; and all as abbreviations.
        uint32_t whole = 0;
        for (int i = 0; i < count; ++i)
            if (std::strlen(list[i]) >= 2 && wholeSyllableIndexed(&pymb, list[i])) whole |= 1u << i;
        for (int first : {0, 1})
            for (int limit : {11, 21}) {
                if (limit == 21 && !longPage) continue;
                const TypedSyllables typed{list, first, count, n % 2 ? whole : 0u};
                scan[0] = indexed[0] = '\0';
                lookupPhrasesScan(&pycz, typed, limit, scan.data(), scan.size());
                lookupPhrasesIndexed(&pycz, typed, limit, indexed.data(), indexed.size());
                ASSERT_STREQ(scan.data(), indexed.data()) << typing[0] << " from " << first;
                ++compared;
                nonEmpty += scan[0] != '\0';
            }
    }
    EXPECT_GT(nonEmpty, compared / 2);
}

}  // namespace
