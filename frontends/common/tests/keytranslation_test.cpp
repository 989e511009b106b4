// Desktop key events into the module's key-downs: key values, states, scan codes and the
// modifiers pressed alone or held for a chord.
#include "keytranslation.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

using namespace desktopkeys;
constexpr uint32_t SHIFT_L = 0xffe1, SHIFT_R = 0xffe2, CONTROL_L = 0xffe3, ESCAPE = 0xff1b, F1 = 0xffbe;

TEST(KeyTranslation, CharactersKeepTheirCaseAndGetTheUsKey) {
    ModuleKey key;
    ASSERT_TRUE(moduleKeyFor('k', 0, key));
    EXPECT_EQ(key.vk, 'K');
    EXPECT_EQ(key.ch, 'k');
    EXPECT_EQ(key.scan, 0x25u);
    EXPECT_EQ(keyWord(key), static_cast<uint32_t>('K' | ('k' << 8)));

    ASSERT_TRUE(moduleKeyFor('K', SHIFT, key));
    EXPECT_EQ(key.vk, 'K');
    EXPECT_EQ(key.ch, 'K');
    EXPECT_TRUE(key.shift);

    // Caps Lock is in the key value already, and in the key state as a toggle.
    ASSERT_TRUE(moduleKeyFor('K', LOCK, key));
    EXPECT_EQ(key.ch, 'K');
    uint8_t state[256];
    fillKeyState(key, state);
    EXPECT_EQ(state[VK_CAPITAL], 0x01);
    EXPECT_EQ(state[VK_SHIFT], 0);
    EXPECT_EQ(state['K'], 0x80);

    ASSERT_TRUE(moduleKeyFor('{', SHIFT, key));
    EXPECT_EQ(key.vk, 0xDB);
    EXPECT_EQ(key.ch, '{');
    ASSERT_TRUE(moduleKeyFor('=', 0, key));
    EXPECT_EQ(key.vk, 0xBB);
    ASSERT_TRUE(moduleKeyFor(' ', 0, key));
    EXPECT_EQ(key.vk, VK_SPACE);
    EXPECT_EQ(key.scan, 0x39u);
}

TEST(KeyTranslation, NamedKeysControlCharactersAndUnknownKeys) {
    ModuleKey key;
    ASSERT_TRUE(moduleKeyFor(ESCAPE, 0, key));
    EXPECT_EQ(key.vk, VK_ESCAPE);
    EXPECT_EQ(key.ch, 0x1B);
    ASSERT_TRUE(moduleKeyFor(0xff08, 0, key));
    EXPECT_EQ(key.vk, VK_BACK);
    EXPECT_EQ(key.ch, '\b');
    ASSERT_TRUE(moduleKeyFor(0xff51, 0, key));  // Left: extended
    EXPECT_EQ(key.vk, VK_LEFT);
    EXPECT_EQ(key.scan, 0x14Bu);
    EXPECT_EQ(key.ch, 0);
    // Ctrl turns a letter into its control character; the module leaves such keys.
    ASSERT_TRUE(moduleKeyFor('c', CONTROL, key));
    EXPECT_EQ(key.ch, 3);
    uint8_t state[256];
    fillKeyState(key, state);
    EXPECT_EQ(state[VK_CONTROL], 0x80);
    EXPECT_FALSE(moduleKeyFor(F1, 0, key));
    EXPECT_FALSE(moduleKeyFor(0x4e2d, 0, key));  // a key value of a character not on the keyboard
}

TEST(KeyTranslation, ShiftAloneIsOfferedOnReleaseWithItsSide) {
    ModifierTracker tracker;
    EXPECT_TRUE(tracker.event(SHIFT_L, 0).keys.empty());
    TrackedEvent released = tracker.event(SHIFT_L, SHIFT | RELEASE);
    ASSERT_EQ(released.keys.size(), 1u);
    EXPECT_TRUE(released.modifierEvent);
    EXPECT_EQ(released.keys[0].vk, VK_SHIFT);
    EXPECT_EQ(released.keys[0].scan, 0x2Au);
    EXPECT_EQ(released.keys[0].ch, 0);

    tracker.event(SHIFT_R, 0);
    released = tracker.event(SHIFT_R, SHIFT | RELEASE);
    ASSERT_EQ(released.keys.size(), 1u);
    EXPECT_EQ(released.keys[0].scan, 0x36u);
    EXPECT_TRUE(released.keys[0].rightShift);
    uint8_t state[256];
    fillKeyState(released.keys[0], state);
    EXPECT_EQ(state[VK_RSHIFT], 0x80);
    EXPECT_EQ(state[VK_LSHIFT], 0);
}

TEST(KeyTranslation, ShiftHeldForAChordGoesFirstOnceAndIsNotAlone) {
    ModifierTracker tracker;
    tracker.event(SHIFT_R, 0);
    TrackedEvent a = tracker.event('A', SHIFT);
    ASSERT_EQ(a.keys.size(), 2u);
    EXPECT_EQ(a.keys[0].vk, VK_SHIFT);
    EXPECT_EQ(a.keys[0].scan, 0x36u);
    EXPECT_EQ(a.keys[1].vk, 'A');
    EXPECT_EQ(a.keys[1].ch, 'A');
    TrackedEvent b = tracker.event('B', SHIFT);
    ASSERT_EQ(b.keys.size(), 1u);
    EXPECT_EQ(b.keys[0].ch, 'B');
    EXPECT_TRUE(tracker.event('B', SHIFT | RELEASE).keys.empty());
    EXPECT_TRUE(tracker.event(SHIFT_R, SHIFT | RELEASE).keys.empty());
    // The next chord offers its Shift again.
    tracker.event(SHIFT_L, 0);
    EXPECT_EQ(tracker.event('!', SHIFT).keys.size(), 2u);
}

TEST(KeyTranslation, CtrlAloneOnReleaseAndNeverForAChord) {
    ModifierTracker tracker;
    tracker.event(CONTROL_L, 0);
    TrackedEvent released = tracker.event(CONTROL_L, CONTROL | RELEASE);
    ASSERT_EQ(released.keys.size(), 1u);
    EXPECT_EQ(released.keys[0].vk, VK_CONTROL);
    EXPECT_EQ(keyWord(released.keys[0]), static_cast<uint32_t>(VK_CONTROL));

    tracker.event(CONTROL_L, 0);
    TrackedEvent c = tracker.event('c', CONTROL);
    ASSERT_EQ(c.keys.size(), 1u);
    EXPECT_EQ(c.keys[0].vk, 'C');
    EXPECT_TRUE(c.keys[0].ctrl);
    EXPECT_TRUE(tracker.event(CONTROL_L, CONTROL | RELEASE).keys.empty());

    // Ctrl and Shift together are neither alone.
    tracker.event(CONTROL_L, 0);
    tracker.event(SHIFT_L, CONTROL);
    EXPECT_TRUE(tracker.event(SHIFT_L, CONTROL | SHIFT | RELEASE).keys.empty());
    EXPECT_TRUE(tracker.event(CONTROL_L, CONTROL | RELEASE).keys.empty());
}

}  // namespace
