// The pinyin engine with the sentence row (the setting "整句输入" on), through the IME
// interface on small tables: Space commits the whole line, a chosen row leaves a new
// sentence row for the rest, corrections are learned and found again in the next process,
// and all of it works without the sentence model.
#include "imedriver.h"
#include "userfiles.h"

#include "frontend/driver.h"
#include "pinyin/languagemodel.h"
#include "pinyin/pinyin.h"

#include <gtest/gtest.h>
#include <winapi_host.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

const char* const kSyllables =
    "an\t安案\n"
    "fan\t反饭\n"
    "fang\t方放\n"
    "gan\t干感\n"
    "guo\t国过\n"
    "hao\t好号\n"
    "ni\t你泥\n"
    "ren\t人认\n"
    "ta\t他她\n"
    "tian\t天田\n"
    "xi\t西喜\n"
    "xian\t先现\n"
    "zhong\t中种\n";

const char* const kPhrases =
    "fang an\t方案\n"
    "ni hao\t你好\n"
    "tian tian\t天天\n"
    "xi an\t西安\n"
    "zhong guo ren\t中国人\n"
    "zhong guo\t中国\n";

class PinyinSentence : public ::testing::Test {
protected:
    void SetUp() override {
        resetEngineForTest();
        // The home of a test program links the built model in; these small tables are
        // scored by their own weights, whatever model was built.
        std::remove(systemFilePath(LANGUAGE_MODEL_FILE).c_str());
        releasePinyinLanguageModel();
        installTables();
        phraseFile = systemFilePath("PYCZ.rt");
        std::remove(phraseFile.c_str());
        winapiClearRecords();
    }
    void installTables() {
        codeTables.PYMB = buildTable(kSyllables, "pymb");
        codeTables.PYCZ = buildTable(kPhrases, "pycz");
        ASSERT_NE(codeTables.PYMB.data, nullptr);
        ASSERT_NE(codeTables.PYCZ.data, nullptr);
        modes.pinyinMode = 1;
        ASSERT_EQ(modes.sentenceInput, 1);  // on unless switched off
        setUserPhraseFile("PYCZ.rt");
    }
    std::string typed(const std::string& keys) { return utf8(ime.type(keys)); }
    std::string row(int i) const { return utf8(c.rowText[i]); }
    std::string line() const { return pinyin.line.text; }

    ImeDriver ime;
    EngineContext& c = engineContext;
    std::string phraseFile;
};

TEST_F(PinyinSentence, RowOneIsTheWholeLineAndSpaceCommitsItAtOnce) {
    typed("zhongguorenzhongguo");
    EXPECT_EQ(row(0), "中国人中国");
    // The rows of phrase-by-phrase conversion follow it unchanged.
    EXPECT_EQ(row(1), "中国人");
    EXPECT_EQ(row(2), "中国");
    EXPECT_EQ(typed("{Space}"), "中国人中国");
    EXPECT_EQ(line(), "");
    EXPECT_EQ(choiceCount(&c), 0);
    // Learned nothing: the sentence row took it in one choice.
    EXPECT_EQ(fileText(phraseFile), "");
}

TEST_F(PinyinSentence, TheSearchSplitsTheLettersAgainWhereTheEngineSeparatedThem) {
    typed("fangan");
    EXPECT_EQ(c.modeInput, std::string("fan gan"));  // the engine's split, letter by letter
    EXPECT_EQ(row(0), "方案");
    // A separator the user typed is kept: xi,an is never xian.
    typed("{Esc}xi,an");
    EXPECT_EQ(pinyin.line.text, std::string("xi an"));
    EXPECT_EQ(row(0), "西安");
    // Without it, fangan is read as fan gan only where the user separates.
    typed("{Esc}fan,gan");
    EXPECT_EQ(row(0), "反干");
}

TEST_F(PinyinSentence, AChosenRowLeavesASentenceRowForTheRest) {
    typed("zhongguorenta");
    ASSERT_EQ(row(0), "中国人他");
    typed("3");  // 中国
    EXPECT_EQ(convertedCount(&c), 2u);
    EXPECT_EQ(row(0), "人他");
    // Backspace takes the choice back: the whole line again.
    typed("{Back}");
    EXPECT_EQ(convertedCount(&c), 0u);
    EXPECT_EQ(row(0), "中国人他");
    EXPECT_EQ(typed("3{Space}"), "中国人他");
    // A chosen row that agrees with the sentence row corrects nothing: nothing is learned.
    EXPECT_EQ(fileText(phraseFile), "");
}

TEST_F(PinyinSentence, PagingCountsTheSentenceRow) {
    typed("zhong");
    EXPECT_EQ(row(0), "中");
    EXPECT_EQ(row(1), "中");
    EXPECT_EQ(row(2), "种");
    EXPECT_EQ(c.rowMore, 3);
    typed("=");
    EXPECT_EQ(c.rowFirst, 10);
    typed("-");
    EXPECT_EQ(row(0), "中");
}

// The search gives 你好他; the typist corrects 他 to 她. Typed again, in this process and in
// the next, the correction is row 1.
TEST_F(PinyinSentence, ACorrectedSentenceIsRowOneTheNextTime) {
    typed("nihaota");
    ASSERT_EQ(row(0), "你好他");
    typed("2");  // 你好
    ASSERT_EQ(row(0), "他");
    EXPECT_EQ(row(2), "她");
    EXPECT_EQ(typed("3{Space}"), "你好她");
    EXPECT_EQ(utf8(fileText(phraseFile)), "nht     你好她\r\n");
    typed("nihaota");
    EXPECT_EQ(row(0), "你好她");
    typed("{Esc}");

    resetEngineForTest();  // a new process: nothing kept but the file
    installTables();
    typed("nihaota");
    EXPECT_EQ(row(0), "你好她");
    EXPECT_EQ(typed("{Space}"), "你好她");
}

// A sentence too long to be learned whole teaches the correction with its neighbours.
TEST_F(PinyinSentence, ALongSentenceTeachesItsCorrection) {
    const std::string keys = "nihaotiantianzhongguorenta";
    typed(keys);
    ASSERT_EQ(row(0), "你好天天中国人他");
    typed("2");  // 你好, as the sentence row has it: no correction
    ASSERT_EQ(row(0), "天天中国人他");
    typed("{Space}");
    EXPECT_EQ(line(), "");  // the sentence row delivered the line: nothing was corrected
    EXPECT_EQ(fileText(phraseFile), "");

    typed(keys + "2");
    typed("2");  // 天天
    typed("2");  // 中国人
    ASSERT_EQ(row(0), "他");
    ASSERT_EQ(row(2), "她");
    EXPECT_EQ(typed("3{Space}"), "你好天天中国人她");
    EXPECT_EQ(utf8(fileText(phraseFile)), "grt     国人她\r\n");
    typed(keys);
    EXPECT_EQ(row(0), "你好天天中国人她");
}

TEST_F(PinyinSentence, WithoutTheModelTheTablesWeightsDecide) {
    // The test home holds no model file: the search runs on the tables alone.
    EXPECT_EQ(pinyinLanguageModel(), nullptr);
    EXPECT_EQ(typed("nihaozhongguoren{Space}"), "你好中国人");
}

TEST_F(PinyinSentence, TheSettingOffGivesPhraseByPhrase) {
    modes.sentenceInput = 0;
    typed("zhongguorenta");
    EXPECT_EQ(row(0), "中国人");
    EXPECT_EQ(typed("{Space}"), "");
    EXPECT_EQ(typed("{Space}{Space}"), "中国人他");
}

TEST_F(PinyinSentence, ASentenceOfSixtyFourLettersIsCommittedWhole) {
    std::string keys, expected;
    for (int i = 0; i < 5; ++i) keys += "zhongguoren", expected += "中国人";
    keys += "tiantian", expected += "天天";  // 63 letters
    keys += "a";
    expected += "安";
    typed(keys);
    const std::string typedLine = line();
    ASSERT_EQ(std::count_if(typedLine.begin(), typedLine.end(), [](char b) { return b != ' '; }),
              PINYIN_LETTERS_MAX);
    EXPECT_EQ(row(0), expected);
    EXPECT_EQ(typed("{Space}"), expected);
}

}  // namespace
