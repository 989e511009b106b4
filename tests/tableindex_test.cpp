// The indexed lookup against the whole-bucket walk: on the real tables for every code of
// one to four letters that occurs and a sample of codes that do not, and on damaged
// tables, the exact list, the completion list and the unit count are the same.
#include "shapecode/tableindex.h"

#include "shapecode/packedrecord.h"
#include "tablebuilder.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

CodeTable libraryTable(const char* file, const char* name) {
    HMODULE module = LoadLibraryA((std::string(QX_BIN_DIR) + "/" + file).c_str());
    HRSRC found = module ? FindResourceA(module, name, "mb") : nullptr;
    if (!found) return {};
    return {static_cast<const unsigned char*>(LockResource(LoadResource(module, found))),
            static_cast<uint32_t>(SizeofResource(module, found))};
}

// Every prefix of one to four letters of the codes of the records, walked as the
// lookup walks them.
std::set<std::string> occurringCodes(const CodeTable& table) {
    std::set<std::string> codes;
    auto u32 = [&](int k) {
        const unsigned char* b = table.data + 4 * k;
        return b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t{b[3]} << 24);
    };
    for (int bucket = 0; bucket < TABLE_BUCKETS; ++bucket) {
        uint32_t position = TABLE_HEADER_SIZE + u32(bucket);
        const uint32_t end = std::min<uint32_t>(TABLE_HEADER_SIZE + u32(bucket + 1), table.size);
        while (position + 4 <= end) {
            const unsigned char* record = table.data + position;
            unsigned characters = packed::isPhrase(record[1]) ? packed::phraseLength(record + 2) : 1;
            if (characters == 0) break;
            std::string code(1, packed::LETTERS[bucket]);
            for (unsigned v : {packed::secondLetter(record[0], record[1]), packed::thirdLetter(record[0], record[1]),
                               packed::fourthLetter(record[0], record[1])}) {
                if (v == 0 || v > 28) break;
                code += packed::letterOf(v);
            }
            for (size_t n = 1; n <= code.size(); ++n) codes.insert(code.substr(0, n));
            position += packed::recordSize(characters);
        }
    }
    return codes;
}

struct Result {
    std::string exact, completions;
    int units;
    bool operator==(const Result& o) const {
        return exact == o.exact && completions == o.completions && units == o.units;
    }
    bool operator!=(const Result& o) const { return !(*this == o); }
};

// The lookup of code into lists that hold the given text beforehand (empty, as callers
// give them), then the user phrases of userPhrases (null: none).
Result look(const CodeTable& table, const std::string& code, const char* userPhrases = nullptr,
            const char* completionsBefore = "", const char* exactBefore = "") {
    static char completions[COMPLETION_LIST_SIZE];
    static char exact[EXACT_LIST_SIZE];
    std::strcpy(completions, completionsBefore);
    std::strcpy(exact, exactBefore);
    int units = lookupPacked(&table, userPhrases, code.c_str(), completions, exact);
    return {exact, completions, units};
}

// Compares the indexed lookup of code with the walk; returns how many codes differed.
int differences(const CodeTable& plain, const CodeTable& indexed, const std::string& code) {
    Result slow = look(plain, code), fast = look(indexed, code);
    if (fast == slow) return 0;
    ADD_FAILURE() << "code \"" << code << "\": exact " << (fast.exact == slow.exact) << ", completions "
                  << (fast.completions == slow.completions) << ", units " << fast.units << " vs " << slow.units;
    return 1;
}

// The packed tables of the data libraries.
const struct {
    const char* library;
    const char* name;
} kPackedTables[] = {{"Qxmb.dll", "MB1"}, {"Qxmb.dll", "MB4"}, {"Qxmb.dll", "XCZMB"}, {"Qxmb.dll", "YCZMB"},
                     {"Dede.dll", "WBMB"}};

// A real table as it is, and the same table with an index of its own.
struct IndexedTable {
    CodeTable plain;
    PackedIndex index;
    CodeTable indexed;
};
bool openIndexed(const char* library, const char* name, IndexedTable& t) {
    t.plain = libraryTable(library, name);
    if (!t.plain.data || !buildPackedIndex(t.plain, t.index)) return false;
    t.indexed = t.plain;
    t.indexed.index = &t.index;
    return true;
}

}  // namespace

// Each packed table of the data libraries, walked and indexed.
class RealTable : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        ASSERT_TRUE(openIndexed(kPackedTables[GetParam()].library, kPackedTables[GetParam()].name, table));
    }
    IndexedTable table;
    const CodeTable& plain = table.plain;
    const CodeTable& indexed = table.indexed;
};

TEST_P(RealTable, IndexedLookupEqualsTheWalk) {
    std::mt19937 random(13);
    const char letters[] = "abcdefghijklmnopqrstuvwxyz;/";
    // The index is small beside the table it serves.
    EXPECT_LE(packedIndexSize(table.index), plain.size / 4);

    const std::set<std::string> codes = occurringCodes(plain);
    ASSERT_GT(codes.size(), 1000u);
    int differing = 0;
    for (const std::string& code : codes) differing += differences(plain, indexed, code);
    // Codes that do not occur, of every length, and codes with letters no record holds.
    int absent = 0;
    while (absent < 2000) {
        std::string code;
        size_t length = 1 + random() % 4;
        for (size_t i = 0; i < length; ++i) code += letters[random() % 28];
        if (codes.count(code)) continue;
        ++absent;
        differing += differences(plain, indexed, code);
    }
    for (const char* odd : {"a1", "ab!", "zzzzz", "", "A", "a b"}) differing += differences(plain, indexed, odd);
    EXPECT_EQ(differing, 0);
}

TEST_P(RealTable, KeptFirstLetterListsEqualTheWalk) {
    // Every first letter looked up again and again, with user phrases after the table's and
    // into lists that are not empty: each time what the walk gives, byte for byte.
    const std::string userPhrases = tablebuilder::writeScratchFile(
        "firstletter.rt", "a \xB0\xA1\xB0\xA1\nab \xB0\xA2\xB0\xA2\nz \xB0\xA3\xB0\xA3\nzz \xB0\xA4\xB0\xA4\n");
    const std::string letters = "abcdefghijklmnopqrstuvwxyz;/";
    PackedIndex& index = table.index;
    EXPECT_EQ(firstLetterListsSize(index), 0u);
    int differing = 0, full = 0;
    for (int round = 0; round < 3; ++round) {
        for (char letter : letters) {
            const std::string code(1, letter);
            const Result walked = look(plain, code);
            full += walked.units * 2 + 2 >= static_cast<int>(COMPLETION_LIST_SIZE) - 40;
            differing += look(indexed, code) != walked;
            differing += look(indexed, code, userPhrases.c_str()) != look(plain, code, userPhrases.c_str());
            differing += look(indexed, code, nullptr, " x\xB0\xA1", "\xB0\xA2") !=
                         look(plain, code, nullptr, " x\xB0\xA1", "\xB0\xA2");
        }
        if (round == 0) {
            // Every bucket typed is kept, at most a completion list for each.
            EXPECT_GT(firstLetterListsSize(index), 0u);
            EXPECT_LE(firstLetterListsSize(index), TABLE_BUCKETS * (COMPLETION_LIST_SIZE + EXACT_LIST_SIZE));
        }
    }
    EXPECT_EQ(differing, 0);
    // The phrase library's largest bucket fills its list: a closed list is kept too.
    if (std::string(kPackedTables[GetParam()].name) == "XCZMB") {
        EXPECT_GT(full, 0);
    }
    // Building the index again forgets what was kept.
    ASSERT_TRUE(buildPackedIndex(plain, index));
    EXPECT_EQ(firstLetterListsSize(index), 0u);
}

INSTANTIATE_TEST_SUITE_P(Libraries, RealTable, ::testing::Range(0, static_cast<int>(std::size(kPackedTables))),
                         [](const ::testing::TestParamInfo<int>& info) { return kPackedTables[info.param].name; });

TEST(TableIndex, IndexedLookupEqualsTheWalkOnDamagedTables) {
    // A real table with bytes of its first buckets changed at random: the index is built from
    // the damaged bytes and must still lead to what the walk finds, odd phrase lengths,
    // records cut by a bucket's end and out-of-range letters included.
    const CodeTable real = libraryTable("Qxmb.dll", "MB4");
    ASSERT_NE(real.data, nullptr);
    std::mt19937 random(7);
    const char* codes[] = {"a", "b", "c", "d", "ab", "ba", "bc", "da", "abc", "bcd", "abcd", "bbbb", "c;", "cz"};
    for (int round = 0; round < 60; ++round) {
        std::vector<unsigned char> bytes(real.data, real.data + real.size);
        for (int k = 0; k < 1 + round % 20; ++k) bytes[TABLE_HEADER_SIZE + random() % 6000] = random();
        if (round % 3 == 0) bytes[4 * (1 + random() % 4)] = random();  // a bucket bound moved
        CodeTable plain{bytes.data(), static_cast<uint32_t>(bytes.size())};
        PackedIndex index;
        ASSERT_TRUE(buildPackedIndex(plain, index));
        CodeTable indexed = plain;
        indexed.index = &index;
        int differing = 0;
        for (const char* code : codes) differing += differences(plain, indexed, code);
        EXPECT_EQ(differing, 0) << "round " << round;
    }
}

// A table of count records in bucket 'a', all with second letter 'b', of the given size.
std::vector<unsigned char> oneGroupTable(int count, unsigned characters) {
    std::vector<unsigned char> bytes(TABLE_HEADER_SIZE, 0);
    for (int r = 0; r < count; ++r) {
        std::vector<unsigned char> record(packed::recordSize(characters), 0x30);
        record[0] = 2;
        record[1] = characters > 1 ? packed::PHRASE_BIT : 0;
        if (characters > 1) packed::markPhraseLength(record.data() + 2, characters);
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
    const uint32_t end = static_cast<uint32_t>(bytes.size() - TABLE_HEADER_SIZE);
    for (int k = 1; k <= TABLE_BUCKETS; ++k) std::memcpy(bytes.data() + 4 * k, &end, 4);
    return bytes;
}

TEST(TableIndex, NoIndexLargerThanAQuarterOfTheTable) {
    PackedIndex index;
    // Records of 32 bytes: a byte of index each, well inside a quarter.
    std::vector<unsigned char> phrases = oneGroupTable(4000, 15);
    EXPECT_TRUE(buildPackedIndex(CodeTable{phrases.data(), static_cast<uint32_t>(phrases.size())}, index));
    EXPECT_EQ(index.deltas.size(), 4000u);
    // Records of 4 bytes: a byte each and the fixed part exceed a quarter.
    std::vector<unsigned char> characters = oneGroupTable(4000, 1);
    EXPECT_FALSE(buildPackedIndex(CodeTable{characters.data(), static_cast<uint32_t>(characters.size())}, index));
    EXPECT_TRUE(index.deltas.empty());
}

TEST(TableIndex, NoIndexWithoutAHeader) {
    PackedIndex index;
    const unsigned char bytes[TABLE_HEADER_SIZE - 1] = {};
    EXPECT_FALSE(buildPackedIndex(CodeTable{bytes, sizeof bytes}, index));
    EXPECT_FALSE(buildPackedIndex(CodeTable{}, index));
}

TEST(TableIndex, ATableLeftForItsFirstLookupIsIndexedThen) {
    CodeTables tables;
    tables.MB4 = libraryTable("Qxmb.dll", "MB4");
    tables.WBMB = libraryTable("Dede.dll", "WBMB");
    ASSERT_NE(tables.MB4.data, nullptr);
    const CodeTable plain = tables.MB4;
    indexCodeTablesWhenUsed(tables);
    EXPECT_EQ(tables.MB4.index, nullptr);
    const Result first = look(tables.MB4, "ab");
    ASSERT_NE(tables.MB4.index, nullptr);
    EXPECT_EQ(tables.WBMB.index, nullptr);  // not looked up yet
    EXPECT_TRUE(first == look(plain, "ab"));
    for (const char* code : {"a", "abc", "kkkk", "zz"}) EXPECT_EQ(differences(plain, tables.MB4, code), 0);
    // A slot emptied before its first lookup gets no index of the table it held.
    tables.WBMB = CodeTable{};
    look(tables.WBMB, "a");
    EXPECT_EQ(tables.WBMB.index, nullptr);
}
