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
        {WM_CHAR, '\r', 1},  // a control character is a key, not text
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

// A phrase saved as UTF-8 or cut in the middle of a character still reaches the
// application, with replacement characters where its bytes are no GBK, and says so.
TEST(KeyOutcome, CommitsThatAreNoGbkArriveWithReplacementCharacters) {
    bool exact = false;
    EXPECT_EQ(commitText("\xD6\xD0x", exact),
              "\xE4\xB8\xAD"
              "x");  // 中x
    EXPECT_TRUE(exact);
    // 中1 saved as UTF-8: its bytes read as GBK up to a lead byte followed by a digit.
    const std::string shown = commitText(
        "\xE4\xB8\xAD"
        "1",
        exact);
    EXPECT_FALSE(exact);
    EXPECT_EQ(shown,
              "\xE6\xB6\x93\xEF\xBF\xBD"
              "1");                                            // 涓, U+FFFD, 1
    EXPECT_EQ(commitText("ab\xD6", exact), "ab\xEF\xBF\xBD");  // a lead byte without its trail
    EXPECT_FALSE(exact);
}
