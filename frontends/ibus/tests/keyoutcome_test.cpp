// The module's messages for a key, read as commits and keys handed back.
#include "keyoutcome.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

TEST(KeyOutcome, ResultStringCharactersAndHandedBackKeysInOrder) {
    const std::vector<TypedMessage> messages = {
        {WM_IME_COMPOSITION, 0, GCS_RESULTSTR},
        {WM_IME_ENDCOMPOSITION, 0, 0},
        {WM_IME_CHAR, 0xA3AC, 1},  // full-width comma
        {WM_CHAR, 'x', 1},
        {WM_CHAR, '\r', 1},        // a control character is a key, not text
        {WM_KEYDOWN, VK_RETURN, 1},
        {WM_KEYUP, VK_RETURN, 1},
    };
    const KeyOutcome outcome = keyOutcome(messages, "\xD6\xD0");
    EXPECT_EQ(outcome.commit, "\xD6\xD0\xA3\xACx");
    ASSERT_EQ(outcome.handedBack.size(), 1u);
    EXPECT_EQ(outcome.handedBack[0], VK_RETURN);
    EXPECT_FALSE(handsBackOwnKey(outcome, VK_RETURN));  // text came too
}

TEST(KeyOutcome, OwnKeyHandedBackAloneGoesToTheApplicationUnchanged) {
    const KeyOutcome passed = keyOutcome({{WM_KEYDOWN, 'A', 1}, {WM_KEYUP, 'A', 1}}, "");
    EXPECT_TRUE(handsBackOwnKey(passed, 'A'));
    EXPECT_FALSE(handsBackOwnKey(passed, 'B'));
    // A composition message without the result flag carries no text.
    const KeyOutcome none = keyOutcome({{WM_IME_COMPOSITION, 0, 0}}, "\xD6\xD0");
    EXPECT_TRUE(none.commit.empty());
    EXPECT_FALSE(handsBackOwnKey(none, 'A'));
}

}  // namespace
