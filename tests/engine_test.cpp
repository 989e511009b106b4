// The engine record's own helpers: bounded text copies, the code clear and the reset of
// the whole process state.
#include "core/engine.h"
#include "frontend/uiwindow.h"
#include "shapecode/codetable.h"
#include "shapecode/shapecode.h"
#include "ui/uiwindows.h"

#include <gtest/gtest.h>
#include <winapi_host.h>

#include <cstring>

namespace {

TEST(EngineText, AppendWithNoRoomTouchesNothing) {
    // Guards on both sides of a field of size 0 and of size 1.
    char guarded[4] = {'#', 'a', 'b', '#'};
    EXPECT_EQ(appendText(guarded + 1, 0, "xyz"), 0u);
    EXPECT_EQ(std::memcmp(guarded, "#ab#", 4), 0);
    EXPECT_EQ(copyText(guarded + 1, 0, "xyz"), 0u);
    EXPECT_EQ(std::memcmp(guarded, "#ab#", 4), 0);
    char one[3] = {'#', 'q', '#'};  // unterminated field of one byte: terminated in place
    EXPECT_EQ(appendText(one + 1, 1, "xyz"), 0u);
    EXPECT_EQ(std::memcmp(one, "#\0#", 3), 0);
}

TEST(EngineText, CopiesStopAtTheFieldAndAtACharacterBoundary) {
    char field[6] = "";
    // "ab" then two GBK characters: the second would need bytes 4 and 5, and byte 5 is
    // the terminator's.
    EXPECT_EQ(copyText(field, sizeof field, "ab\xB9\xA4\xD7\xF7"), 4u);
    EXPECT_STREQ(field, "ab\xB9\xA4");
    EXPECT_EQ(appendText(field, sizeof field, "c"), 5u);
    EXPECT_STREQ(field, "ab\xB9\xA4" "c");
    EXPECT_EQ(appendText(field, sizeof field, "d"), 5u);  // full: nothing more
    EXPECT_EQ(copyText(field, sizeof field, nullptr), 0u);
    EXPECT_STREQ(field, "");
}

TEST(EngineState, ClearCodeEmptiesTheCodeAndItsExtentOnly) {
    resetProcessState();
    EngineContext& c = engineContext;
    std::strcpy(c.code, "abc");
    std::strcpy(c.codeCopy, "abcd");
    std::strcpy(c.displayLine, "kept");
    c.codeLength = c.caret = 3;
    c.hintOffset = 1;
    c.hintLength = 2;
    c.lastCell = 7;
    clearCode(&c);
    EXPECT_STREQ(c.code, "");
    EXPECT_STREQ(c.codeCopy, "");
    EXPECT_EQ(c.codeLength | c.caret | c.hintOffset | c.hintLength | c.lastCell, 0);
    EXPECT_STREQ(c.displayLine, "kept");
}

// Each path clears the parts it names and keeps the others: Enter keeps the display
// line's message and the results, the mode switches keep the rows, entering the address
// mode keeps pinyin's count of choices.
TEST(EngineState, ClearShownInputClearsTheBaseAndTheNamedPartsOnly) {
    EngineContext& c = engineContext;
    auto fill = [&c] {
        resetProcessState();
        std::strcpy(c.code, "ab");
        c.codeLength = 2;
        std::strcpy(c.displayLine, "line");
        std::strcpy(c.modeInput, "nihao");
        std::strcpy(c.syllables[SYLLABLE_SHOWN], "ni hao");
        c.rowFirst = 10;
        c.rowMore = 3;
        std::strcpy(c.result, "r");
        std::strcpy(c.lastResult, "l");
        std::strcpy(c.rowText[0], "row");
        std::strcpy(c.rowNote[0], "note");
        std::strcpy(c.modeResult, "m");
        for (int i = 0; i < 4; ++i) c.webState[i] = i + 1;
    };
    auto baseCleared = [&c] {
        return c.code[0] == '\0' && c.codeLength == 0 && c.modeInput[0] == '\0' &&
               c.syllables[SYLLABLE_SHOWN][0] == '\0' && c.rowFirst == 0 && c.rowMore == 0;
    };
    fill();
    clearShownInput(&c, CLEAR_ROWS | CLEAR_COUNTERS);  // Enter
    EXPECT_TRUE(baseCleared());
    EXPECT_STREQ(c.displayLine, "line");
    EXPECT_STREQ(c.lastResult, "l");
    EXPECT_STREQ(c.rowText[0], "");
    EXPECT_EQ(c.webState[0] | c.webState[1] | c.webState[2] | c.webState[3], 0);

    fill();
    clearShownInput(&c, CLEAR_FOR_MODE_SWITCH);
    EXPECT_TRUE(baseCleared());
    EXPECT_STREQ(c.displayLine, "");
    EXPECT_STREQ(c.result, "");
    EXPECT_STREQ(c.lastResult, "");
    EXPECT_STREQ(c.rowNote[0], "note");
    EXPECT_STREQ(c.modeResult, "m");

    fill();
    clearShownInput(&c, CLEAR_FOR_ADDRESS_MODE);
    EXPECT_TRUE(baseCleared());
    EXPECT_STREQ(c.rowText[0], "");
    EXPECT_STREQ(c.modeResult, "");
    EXPECT_EQ(c.webState[WS_CHOICE_COUNT], 1);
    EXPECT_EQ(c.webState[WS_CONVERTED_COUNT] | c.webState[WS_SYLLABLE_COUNT], 0);
}

// During a key what an engine asks waits for the driver; outside one a beep sounds at once.
TEST(EngineState, AsksWaitForTheDriverDuringAKeyAndBeepAtOnceOutside) {
    resetProcessState();
    winapiClearRecords();
    engineAsks.duringKey = 1;
    askDriver(ASK_BEEP);
    askDriver(ASK_STATUS);
    EXPECT_TRUE(winapiBeeps().empty());
    EXPECT_EQ(engineAsks.asked, ASK_BEEP | ASK_STATUS);
    engineAsks = {};
    askDriver(ASK_TONE | ASK_STATUS);
    ASSERT_EQ(winapiBeeps().size(), 1u);
    EXPECT_EQ(winapiBeeps()[0].frequency, 200u);
    EXPECT_EQ(engineAsks.asked, 0u);
    winapiClearRecords();
}

TEST(EngineState, ResetPutsEveryRecordBackAsLoaded) {
    static const unsigned char byte = 0;
    std::strcpy(engineContext.code, "ab");
    modes.wubiMode = modes.pinyinMode = 1;
    std::strcpy(modes.userPhraseFile, "x");
    frontEnd.swallowNextKey = 1;
    windows.introWindow = reinterpret_cast<HWND>(1);
    codeTables.MB4 = CodeTable{&byte, 1};
    codeTables.tablesMissing = 1;
    shapeCode.inputPhase = 3;
    shapeCode.repeatKeys[2] = 'z';
    shapeCode.quoteAlternation = 0;
    shapeCode.shiftTipIndex = 4;
    startup.startupDone = 1;
    startup.codeLibraryNames[0] = "elsewhere.dll";
    uiState.introPending = 0;
    uiState.compositionX = 99;

    resetProcessState();
    EXPECT_STREQ(engineContext.code, "");
    EXPECT_EQ(modes.wubiMode | modes.pinyinMode, 0);
    EXPECT_STREQ(modes.userPhraseFile, "");
    EXPECT_EQ(frontEnd.swallowNextKey, 0);
    EXPECT_EQ(windows.introWindow, nullptr);
    EXPECT_EQ(codeTables.MB4.data, nullptr);
    EXPECT_EQ(codeTables.tablesMissing, 0);
    // The records' own starting values, not zeros.
    EXPECT_EQ(shapeCode.inputPhase, 1);
    EXPECT_EQ(std::string(shapeCode.repeatKeys, 3), "^^^");
    EXPECT_EQ(shapeCode.quoteAlternation, 1);
    EXPECT_EQ(shapeCode.shiftTipIndex, 0);
    EXPECT_EQ(startup.startupDone, 0);
    EXPECT_STREQ(startup.codeLibraryNames[0], "Qxmb.dll");
    EXPECT_EQ(uiState.introPending, 1);
    EXPECT_EQ(uiState.compositionX, 0);
}

}  // namespace
