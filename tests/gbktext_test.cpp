// GBK text of the host tools and tests: exact conversions refuse what is no GBK, the
// conversions for showing text never fail and lose nothing but the faulty bytes.
#include "gbktext.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(GbkText, ExactConversionsKeepEveryGbkCodeAndRefuseTheRest) {
    std::string gbk, utf8;
    ASSERT_TRUE(utf8ToGbk("a中€", gbk));
    EXPECT_EQ(gbk, "a\xD6\xD0\xA2\xE3");  // the euro sign is GBK A2E3, unmapped by a plain GBK converter
    ASSERT_TRUE(gbkToUtf8(gbk, utf8));
    EXPECT_EQ(utf8, "a中€");

    gbk = utf8 = "untouched";
    EXPECT_FALSE(utf8ToGbk("𠀀", gbk));         // a four-byte GB18030 code: no GBK
    EXPECT_FALSE(utf8ToGbk("\xE4\xB8", gbk));   // UTF-8 cut short
    EXPECT_FALSE(gbkToUtf8("\xD6", utf8));      // a lead byte alone
    EXPECT_FALSE(gbkToUtf8("\x81\x30\x81\x30", utf8));  // GB18030's four-byte form
    EXPECT_EQ(gbk, "untouched");
    EXPECT_EQ(utf8, "untouched");
}

TEST(GbkText, ShownTextMarksOnlyTheFaultyBytes) {
    EXPECT_EQ(gbkToUtf8(std::string_view("\xD6\xD0\x80" "a\xFF\xD6", 6)), "中\xEF\xBF\xBD" "a\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(gbkToUtf8(std::string_view("")), "");
    // A character without a GBK code becomes one '?'; a stray byte one '?' and what follows
    // it is read afresh.
    EXPECT_EQ(utf8ToGbk(std::string_view("中𠀀a")), "\xD6\xD0?a");
    EXPECT_EQ(utf8ToGbk(std::string_view("\xE4\xB8" "a")), "??a");
}

}  // namespace
