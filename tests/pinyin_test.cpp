// The pinyin engine through the IME interface, on small tables built with the table
// compiler, converting phrase by phrase (the setting "整句输入" off): separation,
// conversion, taking choices back, delivery, learning, modes, damaged tables, the long line
// and the keys that must never vanish.
#include "imedriver.h"
#include "userfiles.h"
#include "weblistfiles.h"

#include "frontend/driver.h"
#include "pinyin/pinyin.h"
#include "pinyin/pinyintables.h"

#include <gtest/gtest.h>
#include <winapi_host.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// Syllables with their characters, grouped by letter as the table requires.
const char* const kSyllables =
    "a\t啊阿\n"
    "e\t饿额\n"
    "guo\t国过果\n"
    "hao\t好号\n"
    "hen\t很\n"
    "ni\t你泥\n"
    "o\t哦\n"
    "ren\t人认\n"
    "shi\t是十\n"
    "shuang\t双\n"
    "ta\t他她\n"
    "tian\t天田\n"
    "xi\t西喜\n"
    "xian\t先现\n"
    "xiang\t想向\n"
    "zhong\t中种\n"
    "zhou\t周\n";

// Phrases: within a letter longer ones first, as the built tables order them.
const char* const kPhrases =
    "ni hao\t你好\n"
    "tian tian\t天天\n"
    "xi xian\t嬉仙\n"
    "zhong guo ren\t中国人\n"
    "zhong guo\t中国\n"
    "zhong guo\t种果\n"
    "zhou guo\t周国\n";

class Pinyin : public ::testing::Test {
protected:
    void SetUp() override {
        resetEngineForTest();
        codeTables.PYMB = buildTable(kSyllables, "pymb");
        codeTables.PYCZ = buildTable(kPhrases, "pycz");
        ASSERT_NE(codeTables.PYMB.data, nullptr);
        ASSERT_NE(codeTables.PYCZ.data, nullptr);
        modes.pinyinMode = 1;
        modes.sentenceInput = 0;
        setUserPhraseFile("PYCZ.rt");
        phraseFile = systemFilePath("PYCZ.rt");
        std::remove(phraseFile.c_str());
        winapiClearRecords();
    }

    std::string typed(const std::string& keys) { return utf8(ime.type(keys)); }
    std::string row(int i) const { return utf8(c.rowText[i]); }
    std::string line() const { return c.modeInput; }
    std::string shown() const { return utf8(c.syllables[SYLLABLE_SHOWN]); }
    static int messageBeeps() {
        auto beeps = winapiBeeps();
        return static_cast<int>(std::count_if(beeps.begin(), beeps.end(), [](const WinapiBeep& b) { return b.messageBeep; }));
    }
    // Composition messages of one key: a commit announces itself with WM_IME_COMPOSITION.
    static int commits(const KeyOutcome& o) {
        return static_cast<int>(std::count_if(o.messages.begin(), o.messages.end(),
                                              [](const ImeMessage& m) { return m.message == WM_IME_COMPOSITION; }));
    }

    ImeDriver ime;
    EngineContext& c = engineContext;
    std::string phraseFile;
};

TEST_F(Pinyin, LettersThatContinueNoSyllableOpenTheNextOne) {
    typed("xiango");
    EXPECT_EQ(line(), "xiang o");
    EXPECT_EQ(c.caret, 7);
    EXPECT_EQ(c.codeLength, 7);
    EXPECT_EQ(syllableCount(&c), 2u);

    // u begins no syllable here: it is refused, at the end and as a first letter.
    typed("u");
    EXPECT_EQ(line(), "xiang o");
    typed("{Esc}{Enter}");
    EXPECT_EQ(line(), "");
    typed("u");
    EXPECT_EQ(line(), "");

    // A letter that begins no syllable stays alone, closed by a separator, so the
    // driver's i-commands can read it.
    typed("i");
    EXPECT_EQ(line(), "i ");
    EXPECT_EQ(c.caret, 2);
}

TEST_F(Pinyin, CommaSeparatesBetweenLettersAndIsAMarkElsewhere) {
    typed("xian{Left}{Left},");
    EXPECT_EQ(line(), "xi an");
    // Next to a separator it does nothing.
    KeyOutcome o = ime.key(",");
    EXPECT_EQ(line(), "xi an");
    EXPECT_EQ(commits(o), 0);
    // At the start of the line, and on an empty line, it is the Chinese comma.
    o = ime.key("{Home}");
    o = ime.key(",");
    EXPECT_EQ(utf8(o.result), "，");
    EXPECT_EQ(line(), "xi an");
    typed("{Enter}");
    EXPECT_EQ(typed(","), "，");
}

TEST_F(Pinyin, ASyllableTypedWholeFitsOnlyItselfAnAbbreviationWhatItBegins) {
    // xi xian 嬉仙 is a phrase; xi xi typed whole is not its pinyin.
    typed("xixi");
    EXPECT_EQ(line(), "xi xi");
    EXPECT_EQ(row(0), "西");
    EXPECT_EQ(c.rowMore, 6);  // the characters of xi and of the syllables it begins
    // Initials, or a whole syllable and an initial, find it.
    typed("{Esc}{Enter}xx");
    EXPECT_EQ(line(), "x x");
    EXPECT_EQ(row(0), "嬉仙");
    typed("{Esc}{Enter}xix");
    EXPECT_EQ(row(0), "嬉仙");
    // A one-letter syllable (o, e, a) is an initial too.
    typed("{Esc}{Enter}zhongg");
    EXPECT_EQ(row(0), "中国");
}

TEST_F(Pinyin, AFinalGOrNMovesToAVowelThatCannotContinueItsSyllable) {
    codeTables.PYMB = buildTable(
        "a\t啊\ne\t饿\ngong\t工\nguo\t国\nhan\t汉\nhang\t行\nmin\t民\nming\t明\nnan\t南\nni\t你\no\t哦\nxi\t西\nxia\t下\nxian\t先\n"
        "xiang\t想\nzhong\t中\n",
        "pymb");
    typed("mingong");
    EXPECT_EQ(line(), "min gong");
    EXPECT_EQ(c.caret, 8);
    EXPECT_EQ(row(0), "民");
    typed("{Esc}{Enter}xiango");
    EXPECT_EQ(line(), "xian go");
    typed("{Esc}{Enter}xiana");
    EXPECT_EQ(line(), "xia na");
    // u, which begins no syllable, is kept when it takes the g along.
    typed("{Esc}{Enter}hanguo");
    EXPECT_EQ(line(), "han guo");
    // What would stay is no syllable (zhon), or g with the vowel begins none (ga): as before.
    typed("{Esc}{Enter}zhongo");
    EXPECT_EQ(line(), "zhong o");
    typed("{Esc}{Enter}xianga");
    EXPECT_EQ(line(), "xiang a");
    // Inside the line a letter that continues nothing is refused, as before.
    typed("{Esc}{Enter}ming{Left}o");
    EXPECT_EQ(line(), "ming");
}

TEST_F(Pinyin, RowsListPhrasesLongestFirstThenCharacters) {
    typed("zhongguoren");
    EXPECT_EQ(line(), "zhong guo ren");
    EXPECT_EQ(row(0), "中国人");
    EXPECT_EQ(row(1), "中国");
    EXPECT_EQ(row(2), "种果");
    EXPECT_EQ(row(3), "中");
    EXPECT_EQ(row(4), "种");
    EXPECT_EQ(c.rowMore, 5);

    // One syllable: characters only, the exact syllable's before the longer ones'.
    typed("{Enter}xi");
    EXPECT_EQ(row(0), "西");
    EXPECT_EQ(row(1), "喜");
    EXPECT_EQ(row(2), "先");
    EXPECT_EQ(row(4), "想");
    EXPECT_EQ(c.rowMore, 6);
}

TEST_F(Pinyin, SpaceConvertsAndThenDelivers) {
    EXPECT_EQ(typed("zhongguoren{Space}"), "");
    EXPECT_EQ(shown().substr(0, 9), "中国人");
    EXPECT_EQ(typed("{Space}"), "中国人");
    EXPECT_EQ(line(), "");
    EXPECT_EQ(choiceCount(&c), 0);
    EXPECT_EQ(convertedCount(&c), 0u);
}

TEST_F(Pinyin, AChoiceLeavesTheRestToConvertAndTheCaretBeforeIt) {
    typed("zhongguoren2");
    EXPECT_EQ(convertedCount(&c), 2u);
    EXPECT_EQ(choiceCount(&c), 1);
    EXPECT_EQ(shown(), "中国      ren");
    EXPECT_EQ(c.caret, 10);
    EXPECT_EQ(row(0), "人");
    // A new letter after the whole sentence is converted delivers it first.
    EXPECT_EQ(typed("{Space}n"), "中国人");
    EXPECT_EQ(line(), "n");
}

TEST_F(Pinyin, BackspaceAndLeftTakeChoicesBackDeleteTakesAllAndALetter) {
    typed("zhongguoren2{Space}");
    EXPECT_EQ(convertedCount(&c), 3u);
    typed("{Back}");
    EXPECT_EQ(convertedCount(&c), 2u);
    EXPECT_EQ(line(), "zhong guo ren");  // no letter went
    typed("{Back}");
    EXPECT_EQ(convertedCount(&c), 0u);
    EXPECT_EQ(choiceCount(&c), 0);
    EXPECT_EQ(shown(), "zhong guo ren");

    typed("2{Left}");
    EXPECT_EQ(convertedCount(&c), 0u);  // the caret left the converted part

    typed("{End}2");
    ASSERT_EQ(convertedCount(&c), 2u);
    typed("{Home}{Del}");
    EXPECT_EQ(convertedCount(&c), 0u);
    EXPECT_EQ(choiceCount(&c), 0);
    EXPECT_EQ(line(), "hong guo ren");
}

TEST_F(Pinyin, EmptyRowsAreNoChoiceAndChoicesStopAtFifteen) {
    typed("zhongguoren");
    const int before = messageBeeps();
    typed("9");  // the ninth row is empty
    EXPECT_EQ(choiceCount(&c), 0);
    EXPECT_EQ(convertedCount(&c), 0u);
    EXPECT_EQ(messageBeeps(), before + 1);

    // All fifteen entries in use: a sixteenth choice is refused and nothing is written
    // past the work area.
    choiceCount(&c) = PINYIN_CHOICES_MAX;
    const std::vector<char> rowsBefore(c.rowText[0], c.rowText[0] + sizeof c.rowText);
    typed("{Space}");
    EXPECT_EQ(choiceCount(&c), PINYIN_CHOICES_MAX);
    EXPECT_EQ(convertedCount(&c), 0u);
    EXPECT_EQ(messageBeeps(), before + 2);
    EXPECT_EQ(std::vector<char>(c.rowText[0], c.rowText[0] + sizeof c.rowText), rowsBefore);
}

TEST_F(Pinyin, ThirteenSyllablesConvertOneByOne) {
    typed("a,a,a,a,a,a,a,a,a,a,a,a,a");
    ASSERT_EQ(syllableCount(&c), 13u);
    for (int i = 0; i < 13; ++i) typed("{Space}");
    EXPECT_EQ(choiceCount(&c), 13);
    EXPECT_LE(c.caret, c.codeLength);
    std::string expected;
    for (int i = 0; i < 13; ++i) expected += "啊";
    EXPECT_EQ(typed("{Space}"), expected);
}

TEST_F(Pinyin, ChoicesLongerThanTheirSyllablesKeepTheCaretOnTheLine) {
    // "e" is one letter, its character two bytes: the display outgrows the line.
    typed("e{Space}");
    EXPECT_EQ(convertedCount(&c), 1u);
    EXPECT_EQ(c.caret, 1);
    EXPECT_EQ(c.codeLength, 1);
    EXPECT_EQ(shown(), "饿");
    // Typing on takes the choice back and goes on from a caret inside the line.
    EXPECT_EQ(typed("{Back}"), "");
    EXPECT_EQ(convertedCount(&c), 0u);
    EXPECT_LE(c.caret, c.codeLength);
}

TEST_F(Pinyin, UserPhrasesByInitialsOnlyWithAsManyCharacters) {
    writeFileText(phraseFile, gbk("zgr     中国人\n"
                                  "zg      中华人民\n"
                                  "zg      忠告\n"));
    typed("zhongguoren");
    EXPECT_EQ(row(0), "忠告");     // two initials, two characters
    EXPECT_EQ(row(1), "中国人");   // three initials: the table's comes after the user's
    EXPECT_NE(row(2), "中华人民");
    for (int i = 0; i < 10; ++i) EXPECT_NE(row(i), "中华人民");
    EXPECT_EQ(typed("1{Space}{Space}"), "忠告人");
}

TEST_F(Pinyin, OnlyKeysWithTextCommit) {
    for (const char* key : {"n", "i", "2", "{Esc}", "{Left}", "{Back}", "h", "{Right}"}) {
        KeyOutcome o = ime.key(key);
        EXPECT_EQ(commits(o), 0) << key;
    }
    KeyOutcome enter = ime.key("{Enter}");
    EXPECT_EQ(commits(enter), 0);
}

TEST_F(Pinyin, PunctuationDeliversAWaitingSentenceWithItsMark) {
    typed("nihao{Space}");
    EXPECT_EQ(typed("."), "你好。");
    EXPECT_EQ(line(), "");
    // With syllables still to convert, the mark goes alone and the line stays.
    typed("nihao");
    EXPECT_EQ(typed("!"), "！");
    EXPECT_EQ(line(), "ni hao");
}

TEST_F(Pinyin, QuotesOpenFirstAndShareOneToggle) {
    EXPECT_EQ(typed("\"ta{Space}\""), "“他”");
    EXPECT_EQ(typed("'"), "‘");
    EXPECT_EQ(typed("\""), "”");
}

TEST_F(Pinyin, DigitsAndSignsOnAnEmptyLineAreThemselves) {
    modes.pinyinStartFlag = 0;
    EXPECT_EQ(typed("5"), "5");
    EXPECT_EQ(typed("+"), "+");
    // Right after the switch into the mode a digit delivers nothing.
    modes.pinyinStartFlag = 1;
    EXPECT_EQ(typed("7"), "");
    EXPECT_EQ(modes.pinyinStartFlag, 0);
}

TEST_F(Pinyin, ShiftShowsTheSymbolLinesInTurn) {
    frontEnd.leftShiftLast = 1;
    processPinyinKey(VK_SHIFT, 0, &c);
    EXPECT_EQ(utf8(c.rowText[0]), "Q『");
    EXPECT_EQ(utf8(c.rowText[9]), "P）");
    processPinyinKey(VK_SHIFT, 0, &c);
    EXPECT_EQ(utf8(c.rowText[9]), "Z．");
    processPinyinKey(VK_SHIFT, 0, &c);
    EXPECT_EQ(utf8(c.rowText[0]), "X—");
    EXPECT_EQ(c.rowMore, 6);
    processPinyinKey(VK_SHIFT, 0, &c);
    EXPECT_EQ(utf8(c.rowText[0]), "Q『");
}

TEST_F(Pinyin, PagingMovesByTenWhileRowsRemain) {
    typed("s");  // shi, shuang: three characters
    EXPECT_EQ(c.rowMore, 3);
    typed("=");
    EXPECT_EQ(c.rowFirst, 10);
    EXPECT_LE(c.rowMore, 0);
    EXPECT_EQ(row(0), "");
    typed("=");
    EXPECT_EQ(c.rowFirst, 10);  // nothing further
    typed("-");
    EXPECT_EQ(c.rowFirst, 0);
    EXPECT_EQ(row(0), "是");
}

TEST_F(Pinyin, VSwitchesChineseLikeTheDriver) {
    DWORD before = 0, sentence = 0;
    ImmGetConversionStatus(ime.context(), &before, &sentence);
    typed("v");
    EXPECT_EQ(c.chineseMode, 0);
    DWORD after = 0;
    ImmGetConversionStatus(ime.context(), &after, &sentence);
    EXPECT_EQ((before ^ after) & IME_CMODE_NATIVE, static_cast<DWORD>(IME_CMODE_NATIVE));
    // Ctrl on the empty line switches back.
    typed("{Ctrl}");
    EXPECT_EQ(c.chineseMode, 1);
}

// A bracket on the empty line opens the address lists; the address goes to the application
// and the keys come back to pinyin. A list that cannot be read beeps and is not entered.
TEST_F(Pinyin, BracketOpensTheAddressListsAndPinyinComesBack) {
    writeSystemFile("zwwz.dat", webListFile({"bd 百度 www.baidu.com "}));
    c.webListsLoaded = 0;
    EXPECT_EQ(typed("[bd1"), "www.baidu.com");
    EXPECT_EQ(modes.webMode, 0);
    EXPECT_EQ(modes.pinyinMode, 1);

    removeSystemFile("zwwz.dat");
    std::filesystem::create_directories(systemFile("zwwz.dat"));
    c.webListsLoaded = 0;
    const int before = messageBeeps();
    EXPECT_EQ(typed("["), "");
    EXPECT_EQ(modes.webMode, 0);
    EXPECT_EQ(modes.pinyinMode, 1);
    EXPECT_EQ(messageBeeps(), before + 1);
    removeSystemFile("zwwz.dat");
}

TEST_F(Pinyin, ICommandsLeaveTheMode) {
    typed("i9");
    EXPECT_EQ(modes.pinyinMode, 0);
    EXPECT_EQ(line(), "");
    EXPECT_EQ(choiceCount(&c), 0);
    modes.pinyinMode = 1;
    typed("i5");
    EXPECT_EQ(modes.pinyinMode, 0);
    EXPECT_EQ(modes.wubiMode, 1);
}

TEST_F(Pinyin, LeavingTheModeForgetsTheChoices) {
    typed("zhongguoren2");
    ASSERT_EQ(choiceCount(&c), 1);
    clearInput();
    EXPECT_EQ(choiceCount(&c), 0);
    EXPECT_EQ(convertedCount(&c), 0u);
}

// Twelve times zhong and zhon: 64 letters, the line's limit. The next letter beeps and
// changes nothing; the record shows the 30 bytes around the caret.
TEST_F(Pinyin, TheLineHoldsSixtyFourLettersAndShowsAWindowAroundTheCaret) {
    std::string keys;
    for (int i = 0; i < 12; ++i) keys += "zhong";
    typed(keys + "zhon");
    std::string full;
    for (int i = 0; i < 12; ++i) full += "zhong ";
    full += "zhon";
    ASSERT_EQ(pinyin.line.text, full);
    EXPECT_EQ(syllableCount(&c), 13u);
    const int before = messageBeeps();
    EXPECT_EQ(processPinyinKey('G', 'g', &c), 0);
    EXPECT_EQ(pinyin.line.text, full);
    EXPECT_EQ(messageBeeps(), before + 1);
    // The window ends at the caret.
    EXPECT_EQ(line(), full.substr(full.size() - 30));
    EXPECT_EQ(c.caret, 30);
    EXPECT_EQ(c.codeLength, 30);
    // Home shows the start; an edit there works on the whole line.
    typed("{Home}{Del}");
    EXPECT_EQ(line(), full.substr(1, 30));
    EXPECT_EQ(c.caret, 0);
    EXPECT_EQ(pinyin.line.text, full.substr(1));
    // A letter fits again, at the caret.
    typed("z");
    EXPECT_EQ(pinyin.line.text, full);
    EXPECT_EQ(c.caret, 1);
    // At the end: Backspace takes the last letter; the window follows the caret there.
    typed("{End}{Back}");
    EXPECT_EQ(pinyin.line.text, full.substr(0, full.size() - 1));
    EXPECT_EQ(line(), full.substr(full.size() - 31, 30));
    // The whole line converts and is delivered at once.
    for (int i = 0; i < 13; ++i) typed("{Space}");
    std::string expected;
    for (int i = 0; i < 13; ++i) expected += "中";
    EXPECT_EQ(typed("{Space}"), expected);
}

// Keys that went nowhere: after a converted line a mark, a digit, a sign or a letter delivers
// the line first, then does what it does on an empty line.
TEST_F(Pinyin, KeysAfterAConvertedLineDeliverItFirst) {
    EXPECT_EQ(typed("nihao{Space},"), "你好，");
    EXPECT_EQ(typed("tian{Space}2024"), "天2024");
    EXPECT_EQ(typed("tian{Space}@"), "天@");
    EXPECT_EQ(typed("tian{Space}["), "天〖");
    EXPECT_EQ(modes.webMode, 0);
    // A full line, converted: the next letter delivers it and starts a new line.
    std::string keys;
    for (int i = 0; i < 16; ++i) keys += "tian";
    typed(keys);
    ASSERT_EQ(processPinyinKey('T', 't', &c), 0);
    for (int i = 0; i < 20 && convertedCount(&c) < syllableCount(&c); ++i) typed("{Space}");
    ASSERT_EQ(convertedCount(&c), 16u);
    std::string expected;
    for (int i = 0; i < 16; ++i) expected += "天";
    EXPECT_EQ(typed("t"), expected);
    EXPECT_EQ(line(), "t");
}

TEST_F(Pinyin, RefusedKeysBeepAndChangeNothingEscClearsTheLine) {
    typed("nihao");
    for (const char* key : {"/", "<", ">", "`", "~"}) {
        const int before = messageBeeps();
        EXPECT_EQ(typed(key), "") << key;
        EXPECT_EQ(line(), "ni hao") << key;
        EXPECT_EQ(messageBeeps(), before + 1) << key;
    }
    // u begins no syllable of these tables.
    int before = messageBeeps();
    typed("u");
    EXPECT_EQ(line(), "ni hao");
    EXPECT_EQ(messageBeeps(), before + 1);
    // A letter inside the line that continues nothing.
    typed("{Left}{Left}x");
    EXPECT_EQ(line(), "ni hao");
    EXPECT_EQ(messageBeeps(), before + 2);
    typed("{Esc}");
    EXPECT_EQ(line(), "");
    EXPECT_EQ(c.rowText[0][0], '\0');
    EXPECT_EQ(pinyin.line.text[0], '\0');
}

TEST_F(Pinyin, ATableWithoutItsEndOrWithHugeCountsFindsNothingBeyondIt) {
    // A syllable table cut before its end mark, a phrase table whose counts overflow 32
    // bits when multiplied by the record size: lookups stay inside the bytes.
    std::vector<unsigned char> syllables(codeTables.PYMB.data, codeTables.PYMB.data + codeTables.PYMB.size - 2);
    std::vector<unsigned char> phrases(codeTables.PYCZ.data, codeTables.PYCZ.data + codeTables.PYCZ.size);
    // One record under n, counted as 0x40000001: 60 times that is 60 in 32 bits, so a
    // 32-bit skip would land on the z records again.
    phrases[4 * ('n' - 'a') + 3] = 0x40;
    const CodeTable cut{syllables.data(), static_cast<uint32_t>(syllables.size())};
    const CodeTable huge{phrases.data(), static_cast<uint32_t>(phrases.size())};
    for (bool scan : {true, false}) {
        char out[PINYIN_LIST_SIZE] = "";
        if (scan) lookupSyllableCharsScan(&cut, "zhou", 100, out, sizeof out);
        else lookupSyllableCharsIndexed(&cut, "zhou", 100, out, sizeof out);
        EXPECT_EQ(utf8(out), "周 ");
        const char list[3][31] = {"zhou", "guo", ""};
        out[0] = '\0';
        if (scan) lookupPhrasesScan(&huge, {list, 0, 2}, 11, out, sizeof out);
        else lookupPhrasesIndexed(&huge, {list, 0, 2}, 11, out, sizeof out);
        EXPECT_STREQ(out, "");
    }
    releasePinyinIndexes();
}

TEST_F(Pinyin, AnEmptySyllableFindsNothing) {
    const char list[3][31] = {"", "guo", ""};
    char out[PINYIN_LIST_SIZE] = "";
    lookupPhrasesScan(&codeTables.PYCZ, {list, 0, 2}, 11, out, sizeof out);
    lookupPhrasesIndexed(&codeTables.PYCZ, {list, 0, 2}, 11, out, sizeof out);
    checkSyllableScan(&codeTables.PYMB, "", out, sizeof out);
    checkSyllableIndexed(&codeTables.PYMB, "", out, sizeof out);
    lookupSyllableCharsScan(&codeTables.PYMB, "", 10, out, sizeof out);
    EXPECT_STREQ(out, "");
}

#if __has_include("phrases/userphrasestore.h")
TEST_F(Pinyin, ASentenceOfTwoChoicesIsLearnedOnceUnderItsInitials) {
    EXPECT_EQ(typed("nihaota1{Space}{Space}"), "你好他");
    EXPECT_EQ(utf8(fileText(phraseFile)), "nht     你好他\r\n");
    // Learned: next time it is the first row; typed again it is not stored twice.
    typed("nihaota");
    EXPECT_EQ(row(0), "你好他");
    typed("1{Space}");
    EXPECT_EQ(utf8(fileText(phraseFile)), "nht     你好他\r\n");
    // One choice is not learned.
    typed("zhongguoren{Space}{Space}");
    EXPECT_EQ(utf8(fileText(phraseFile)), "nht     你好他\r\n");
}

TEST_F(Pinyin, AFifthPhraseUnderOneCodeIsNotLearned) {
    writeFileText(phraseFile, gbk("nh      那会\nnh      年货\nnh      女孩\nnh      南湖\n"));
    const std::string before = fileText(phraseFile);
    typed("nihao");
    ASSERT_EQ(row(5), "你");  // four user phrases, the table's phrase, then characters
    EXPECT_EQ(typed("6{Space}{Space}"), "你好");
    EXPECT_EQ(fileText(phraseFile), before);
}

TEST_F(Pinyin, AFullPhraseFileLearnsNothing) {
    std::string full;
    for (int i = 0; i < 1999; ++i) full += gbk("aa      啊啊\n");
    writeFileText(phraseFile, full);
    EXPECT_EQ(typed("nihaota1{Space}{Space}"), "你好他");
    EXPECT_EQ(fileText(phraseFile), full);
}
#endif

}  // namespace
