// The engine record's own helpers: bounded text copies, the code clear and the reset of
// the whole process state.
#include "core/engine.h"
#include "frontend/uiwindow.h"
#include "shapecode/codetable.h"
#include "shapecode/shapecode.h"
#include "ui/uiwindows.h"

#include <gtest/gtest.h>

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
