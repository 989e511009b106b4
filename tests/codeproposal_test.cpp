// The code the dialog proposes for a phrase, from its characters' codes in a table.
#include "shapecode/codeproposal.h"

#include "gbk.h"
#include "tablebuilder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Table {
    explicit Table(const std::string& source) : bytes(tablebuilder::buildTable("packed", source)) {}
    const CodeTable* get() {
        table = CodeTable{bytes.data(), static_cast<uint32_t>(bytes.size())};
        return &table;
    }
    std::vector<uint8_t> bytes;
    CodeTable table{};
};

std::string propose(Table& table, CodeScheme scheme, const char* utf8Phrase) {
    return proposeUserCode(table.get(), scheme, gbk(utf8Phrase));
}

}  // namespace

TEST(CodeProposal, RulesByNumberOfCharacters) {
    // Phrase records come first in table order but are passed over.
    Table t("zg\t中国\nzlh\t中\ngwy\t国\nrk\t人\nmq\t民\nfk\t共\nhfl\t和\n");
    EXPECT_EQ(propose(t, CodeScheme::shapeCode, "中"), "zlh");
    EXPECT_EQ(propose(t, CodeScheme::shapeCode, "中国"), "zlgw");
    EXPECT_EQ(propose(t, CodeScheme::shapeCode, "中国人"), "zgrk");
    EXPECT_EQ(propose(t, CodeScheme::shapeCode, "中国人民"), "zgrm");
    // Five characters and more: 1, 2, 3 and the last.
    EXPECT_EQ(propose(t, CodeScheme::shapeCode, "中国人共民"), "zgrm");
    EXPECT_EQ(propose(t, CodeScheme::shapeCode, "中国人民共和"), "zgrh");
    // A character the table lacks: nothing is proposed.
    EXPECT_EQ(propose(t, CodeScheme::shapeCode, "中国土"), "");
    EXPECT_EQ(propose(t, CodeScheme::shapeCode, ""), "");
}

TEST(CodeProposal, FirstCharacterRecordInTableOrderWins) {
    // Buckets run a to z; within a bucket, records in their order.
    Table t("bx\t人\naq\t人\nar\t人\n");
    EXPECT_EQ(characterCode(t.get(), CodeScheme::shapeCode, gbk("人")), "aq");
}

TEST(CodeProposal, ShortCodesOfTheFrequentCharactersAreFixedPerEdition) {
    // The data libraries carry one-letter records first: the full code comes from the list.
    Table t("w\t我\nww\t我\nd\t的\nh\t的\nsjp\t是\nmn\t们\n");
    EXPECT_EQ(propose(t, CodeScheme::phoneticShape, "我"), "ww");
    EXPECT_EQ(propose(t, CodeScheme::phoneticShape, "的"), "dhjg");
    EXPECT_EQ(propose(t, CodeScheme::shapeCode, "的"), "hjgd");
    EXPECT_EQ(propose(t, CodeScheme::phoneticShape, "我的"), "wwdh");
    EXPECT_EQ(propose(t, CodeScheme::shapeCode, "的是们"), "hsmn");
    // A short code of a character off the list stays as it is.
    Table u("x\t们\n");
    EXPECT_EQ(propose(u, CodeScheme::shapeCode, "们"), "x");
    // Five-stroke codes skip one-letter records instead of fixing them from a list made
    // for the other schemes.
    Table w("a\t工\naaaa\t工\nm\t的\nrqyy\t的\n");
    EXPECT_EQ(propose(w, CodeScheme::fiveStroke, "工"), "aaaa");
    EXPECT_EQ(propose(w, CodeScheme::fiveStroke, "的工"), "rqaa");
    Table onlyShort("q\t我\n");
    EXPECT_EQ(propose(onlyShort, CodeScheme::fiveStroke, "我"), "");
}

TEST(CodeProposal, NoTableOrADamagedOneProposesNothing) {
    EXPECT_EQ(proposeUserCode(nullptr, CodeScheme::shapeCode, gbk("中")), "");
    Table t("zlh\t中\n");
    std::vector<uint8_t> cut(t.bytes.begin(), t.bytes.begin() + t.bytes.size() / 2);
    const CodeTable half{cut.data(), static_cast<uint32_t>(cut.size())};
    EXPECT_EQ(proposeUserCode(&half, CodeScheme::shapeCode, gbk("中")), "");
}
