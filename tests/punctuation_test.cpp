// Punctuation, left-Shift symbols and Shift tips, typed through the IME interface.
#include "imedriver.h"

#include "shapecode/punctuation.h"

#include <gtest/gtest.h>
#include <winapi_host.h>

namespace {

class Punctuation : public ::testing::Test {
protected:
    void SetUp() override {
        resetEngineForTest();
        ASSERT_TRUE(installSmallTables());
    }
    std::string typed(const std::string& keys) { return utf8(ime.type(keys)); }

    ImeDriver ime;
};

TEST_F(Punctuation, TextsAreTheSystemsGbkTexts) {
    EXPECT_EQ(utf8(shiftLetterSymbols), "÷＄℃－【＋＝％’§※＃‰№（）『】×〖‘￥』—〗．");
    EXPECT_EQ(utf8(shiftTips[0]), "  方便的左SHIFT＋字母输入中文标点！");
    EXPECT_EQ(utf8(shiftTips[2]), "  Y〗    U‘    I’    O（    P）  ");
    EXPECT_EQ(utf8(shiftTips[4]), "  H％    J§    K※    L＃\t   Z．  ");
    EXPECT_EQ(utf8(shiftTips[5]), "  X—   C℃  V￥  B＄  N№    M‰  ");
    EXPECT_EQ(utf8(rightShiftMessage), " 按住右SHIFT输入英文字母!");
}

TEST_F(Punctuation, ChinesePunctuationUnlessAfterADigit) {
    EXPECT_EQ(typed("3.5"), "3.5");
    EXPECT_EQ(typed("a{Space}."), "工。");
    // Each sign on its own.
    for (const char* sign : {"!", ",", ":", "?"}) {
        resetEngineForTest();
        installSmallTables();
        EXPECT_EQ(typed(sign), utf8(gbk(std::string(sign) == "!"   ? "！"
                                         : std::string(sign) == "," ? "，"
                                         : std::string(sign) == ":" ? "："
                                                                    : "？")))
            << sign;
    }
    EXPECT_EQ(typed("3.5-."), "3.5-。");  // only the key right after a digit stays ASCII
    EXPECT_EQ(typed("^"), "……");
    EXPECT_EQ(typed("-\\"), "-\\");
    EXPECT_EQ(typed("@"), "@");  // no mapping: the application gets the key
}

// Shift goes down on its own before the sign it types, as on a keyboard; the digit before
// it is still the key before the sign, and a Shift held for a sign is no Shift alone.
TEST_F(Punctuation, NumbersTypedWithShiftKeepAsciiPunctuation) {
    EXPECT_EQ(typed("1!2,3:4?"), "1!2,3:4?");
    EXPECT_EQ(typed("12:30"), "12:30");
    EXPECT_EQ(typed("5!"), "5!");
    EXPECT_STREQ(shapeCode.messageLine, "");  // no Shift tip flashed up and stayed
    EXPECT_EQ(typed("a{Space}!"), "工！");    // after a letter the sign is Chinese again
    // The tips go on where Shift alone left them: a Shift held for a sign takes none.
    ime.leftShift();
    EXPECT_EQ(std::string(shapeCode.messageLine), std::string(shiftTips[0]));
    typed("?");
    EXPECT_EQ(std::string(shapeCode.messageLine), std::string(shiftTips[0]));
    ime.leftShift();
    EXPECT_EQ(std::string(shapeCode.messageLine), std::string(shiftTips[1]));
}

// Shift with a digit key types a sign, not a digit: the sign after it is Chinese again,
// while a digit typed before it still keeps it ASCII.
TEST_F(Punctuation, ASignTypedOnADigitKeyIsNoDigit) {
    EXPECT_EQ(typed("!?"), "！？");
    EXPECT_EQ(typed("5!"), "5!");
    EXPECT_EQ(typed("5!,"), "5!，");
    EXPECT_EQ(typed("(."), "(。");  // Shift+9 has no mapping, and is no digit either
}

TEST_F(Punctuation, QuotesShareOneAlternation) {
    EXPECT_EQ(typed("\"\""), "“”");
    EXPECT_EQ(typed("\"'\""), "“’“");
    EXPECT_EQ(typed("'"), "’");
    // After a digit a single quote stays ASCII and leaves the alternation alone.
    EXPECT_EQ(typed("5'\""), "5'“");
    engineRequest(ZOZ_RESET, 1);
    EXPECT_EQ(typed("'"), "‘");
}

TEST_F(Punctuation, PunctuationOffPassesKeysThrough) {
    engineContext.chinesePunct = 0;
    KeyOutcome o = ime.typeChar('.');
    ASSERT_EQ(o.messages.size(), 2u);
    EXPECT_EQ(o.messages[0].message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(o.messages[1].message, static_cast<UINT>(WM_KEYUP));
    EXPECT_EQ(o.text, ".");
}

TEST_F(Punctuation, LeftShiftLettersGiveSymbols) {
    EXPECT_EQ(utf8(ime.key("{LShift+A}").text), "÷");
    EXPECT_EQ(utf8(ime.key("{LShift+Z}").text), "．");
    EXPECT_EQ(typed("Q"), "『");  // a capital is typed with the left Shift
    // With the right Shift the capital letter goes to the application; the side is the
    // Shift held for each letter.
    KeyOutcome o = ime.key("{RShift+A}");
    EXPECT_EQ(o.text, "A");
    ASSERT_EQ(o.messages.size(), 2u);
    EXPECT_EQ(o.messages[0].message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(utf8(ime.key("{LShift+A}").text), "÷");
}

TEST_F(Punctuation, ShiftAloneCyclesTheTips) {
    for (int i = 0; i < 7; ++i) {
        ime.leftShift();
        EXPECT_EQ(std::string(shapeCode.messageLine), std::string(shiftTips[i % SHIFT_TIP_COUNT])) << i;
        EXPECT_EQ(engineContext.lastCell, 20);
    }
    ime.rightShift();
    EXPECT_EQ(utf8(shapeCode.messageLine), " 按住右SHIFT输入英文字母!");
}

}  // namespace
