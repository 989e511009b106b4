// The desktop menu's editions and modes, and the module's keys that reach each of them.
#include "inputmodes.h"

#include <gtest/gtest.h>

namespace {

ModeState mode(InputMode m) {
    ModeState s;
    s.phoneticEdition = m == InputMode::Phonetic;
    s.wubiMode = m == InputMode::Wubi;
    s.pinyinMode = m == InputMode::Pinyin;
    s.webMode = m == InputMode::Web;
    return s;
}

TEST(InputModes, TheModeRecordNamesOneMode) {
    for (InputMode m :
         {InputMode::Phonetic, InputMode::Shape, InputMode::Wubi, InputMode::Pinyin, InputMode::Web})
        EXPECT_EQ(inputModeOf(mode(m)), m);
    ModeState both = mode(InputMode::Pinyin);
    both.webMode = 1;  // an address list opened from pinyin is the address mode
    EXPECT_EQ(inputModeOf(both), InputMode::Web);
}

TEST(InputModes, KeysTowardEachTarget) {
    EXPECT_EQ(modeSwitchKeys(mode(InputMode::Phonetic), true, false, InputMode::Phonetic), "");
    EXPECT_EQ(modeSwitchKeys(mode(InputMode::Phonetic), true, false, InputMode::Shape), "i9");
    EXPECT_EQ(modeSwitchKeys(mode(InputMode::Wubi), true, false, InputMode::Shape), "i9");
    EXPECT_EQ(modeSwitchKeys(mode(InputMode::Shape), true, false, InputMode::Wubi), "i5");
    EXPECT_EQ(modeSwitchKeys(mode(InputMode::Pinyin), true, false, InputMode::Wubi), "i5");
    EXPECT_EQ(modeSwitchKeys(mode(InputMode::Wubi), true, false, InputMode::Pinyin), "i6");
    EXPECT_EQ(modeSwitchKeys(mode(InputMode::Pinyin), true, false, InputMode::Phonetic), "i9");
    EXPECT_EQ(modeSwitchKeys(mode(InputMode::Shape), true, false, InputMode::Web), "[");
    // Out of the address list and out of a typed code with Esc first; nothing in English.
    EXPECT_EQ(modeSwitchKeys(mode(InputMode::Web), true, false, InputMode::Pinyin), "\x1b");
    EXPECT_EQ(modeSwitchKeys(mode(InputMode::Shape), true, true, InputMode::Pinyin), "\x1b");
    EXPECT_EQ(modeSwitchKeys(mode(InputMode::Shape), false, false, InputMode::Pinyin), "");
}

}  // namespace
