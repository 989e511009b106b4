// Kernel odds and ends: key state, beeps, the system directory and the string routines.
#include <windows.h>
#include <winapi_desktop.h>
#include <winapi_host.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>

namespace {

// A fresh directory inside the program's own QX_HOME, so runs leave nothing elsewhere.
std::string freshDirectory(const char* prefix) {
    static const std::string base = winapiHome();
    std::string pattern = base + "/" + prefix + "XXXXXX";
    return mkdtemp(pattern.data());
}

TEST(KeyState, HeldAndToggledBitsAndCombinedModifiers) {
    winapiSetKeyboardState(nullptr);
    EXPECT_EQ(GetKeyState(VK_SHIFT), 0);
    winapiSetKeyState(VK_LSHIFT, 0x80);
    EXPECT_LT(GetKeyState(VK_SHIFT), 0);   // the combined key follows the left one
    EXPECT_LT(GetKeyState(VK_LSHIFT), 0);
    EXPECT_EQ(static_cast<USHORT>(GetAsyncKeyState(VK_SHIFT)), 0x8000);
    winapiSetKeyState(VK_RSHIFT, 0x80);
    winapiSetKeyState(VK_LSHIFT, 0);
    EXPECT_LT(GetKeyState(VK_SHIFT), 0);   // still held on the right
    winapiSetKeyState(VK_RSHIFT, 0);
    EXPECT_EQ(GetKeyState(VK_SHIFT), 0);

    winapiSetKeyState(VK_CAPITAL, 0x01);
    EXPECT_EQ(GetKeyState(VK_CAPITAL), 1);   // toggled, not held
    winapiSetKeyState(VK_CAPITAL, 0x81);
    EXPECT_EQ(static_cast<USHORT>(GetKeyState(VK_CAPITAL)), 0xFF81);
    BYTE state[256];
    ASSERT_TRUE(GetKeyboardState(state));
    EXPECT_EQ(state[VK_CAPITAL], 0x81);
    EXPECT_EQ(GetKeyState(-1), 0);
    EXPECT_EQ(GetKeyState(256), 0);
    winapiSetKeyboardState(nullptr);
}

TEST(Records, BeepsAndEventsInOrderUntilCleared) {
    winapiClearRecords();
    MessageBeep(0xFFFFFFFF);
    Beep(200, 500);
    winapiRecordEvent("messagebox", "text");
    auto beeps = winapiBeeps();
    ASSERT_EQ(beeps.size(), 2u);
    EXPECT_TRUE(beeps[0].messageBeep);
    EXPECT_EQ(beeps[0].type, 0xFFFFFFFFu);
    EXPECT_FALSE(beeps[1].messageBeep);
    EXPECT_EQ(beeps[1].frequency, 200u);
    EXPECT_EQ(beeps[1].duration, 500u);
    ASSERT_EQ(winapiEvents().size(), 1u);
    EXPECT_EQ(winapiEvents()[0].kind, "messagebox");
    winapiClearRecords();
    EXPECT_TRUE(winapiBeeps().empty());
    EXPECT_TRUE(winapiEvents().empty());
}

// A program that runs for days keeps recent records only: each record stops at its bound
// by letting its older half go, and the latest entries are always there.
TEST(Records, StayBoundedAndKeepTheLatest) {
    winapiClearRecords();
    for (DWORD i = 0; i < 3 * WINAPI_RECORDS_KEPT; ++i) {
        Beep(i, 1);
        winapiRecordEvent("tick", std::to_string(i));
    }
    const auto beeps = winapiBeeps();
    const auto events = winapiEvents();
    EXPECT_LE(beeps.size(), WINAPI_RECORDS_KEPT);
    EXPECT_GE(beeps.size(), WINAPI_RECORDS_KEPT / 2);
    EXPECT_EQ(beeps.back().frequency, 3 * WINAPI_RECORDS_KEPT - 1);
    EXPECT_EQ(beeps.front().frequency, 3 * WINAPI_RECORDS_KEPT - beeps.size());  // no gap
    ASSERT_LE(events.size(), WINAPI_RECORDS_KEPT);
    EXPECT_EQ(events.back().text, std::to_string(3 * WINAPI_RECORDS_KEPT - 1));
    winapiClearRecords();
    // The desktop's events (message boxes, started programs, dialogs) alike.
    winapiClearDesktopEvents();
    for (size_t i = 0; i < 2 * WINAPI_RECORDS_KEPT; ++i) WinExec(std::to_string(i).c_str(), SW_SHOW);
    ASSERT_LE(winapiDesktopEvents().size(), WINAPI_RECORDS_KEPT);
    EXPECT_EQ(winapiDesktopEvents().back().text, std::to_string(2 * WINAPI_RECORDS_KEPT - 1));
    winapiClearDesktopEvents();
    winapiClearRecords();
}

TEST(SystemDirectory, LivesUnderHomeAndReportsSizesAsWindows) {
    std::string home = freshDirectory("system");
    winapiSetHome((home + "/").c_str());
    std::string expected = home + "/system";
    char path[MAX_PATH];
    EXPECT_EQ(GetSystemDirectoryA(path, sizeof path), expected.size());
    EXPECT_EQ(std::string(path), expected);
    struct stat st;
    EXPECT_EQ(stat(expected.c_str(), &st), 0);   // made on demand
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    char small[4] = {'x', 'x', 'x', 'x'};
    // Too small: the size needed counting the zero, and nothing written.
    EXPECT_EQ(GetSystemDirectoryA(small, sizeof small), expected.size() + 1);
    EXPECT_EQ(small[0], 'x');
    EXPECT_EQ(GetSystemDirectoryA(path, static_cast<UINT>(expected.size())), expected.size() + 1);
    EXPECT_STREQ(winapiHome(), home.c_str());
}

TEST(SystemDirectory, FilesNamedWithBackslashesLandInsideIt) {
    std::string home = freshDirectory("backslash");
    winapiSetHome(home.c_str());
    char path[MAX_PATH];
    GetSystemDirectoryA(path, sizeof path);
    std::string name = std::string(path) + "\\fread.rt";  // as the module writes it
    FILE* file = std::fopen(name.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("ab      x\n", file);
    std::fclose(file);
    struct stat st;
    EXPECT_EQ(stat((home + "/system/fread.rt").c_str(), &st), 0);
    EXPECT_NE(stat((home + "/system\\fread.rt").c_str(), &st), 0);
}

TEST(Strings, FormatterFollowsWindows) {
    char out[1100];
    EXPECT_EQ(wsprintfA(out, "%d|%5d|%-4d|%05d|%u|%x|%X|%ld", -7, 42, 3, -12, 4000000000u, 255,
                        255, -1),
              39);
    EXPECT_STREQ(out, "-7|   42|3   |-0012|4000000000|ff|FF|-1");
    wsprintfA(out, "%s|%.2s|%4s|%c|%%|%s", "ab", "xyz", "q", 'Z', static_cast<char*>(nullptr));
    EXPECT_STREQ(out, "ab|xy|   q|Z|%|(null)");
    std::string longText(2000, 'a');
    EXPECT_EQ(wsprintfA(out, "%s", longText.c_str()), 1023);   // Windows' 1024-byte limit
    EXPECT_EQ(strlen(out), 1023u);
}

TEST(Strings, CaseFoldingLeavesGbkTrailBytesAlone) {
    EXPECT_EQ(lstrcmpiA("Software", "SOFTWARE"), 0);
    EXPECT_NE(lstrcmpiA("\x81\x41", "\x81\x61"), 0);
    EXPECT_EQ(lstrcmpiA("a\x81\x41z", "A\x81\x41Z"), 0);
    EXPECT_LT(lstrcmpiA("abc", "abd"), 0);
    char buffer[4];
    lstrcpynA(buffer, "abcdef", sizeof buffer);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(lstrlenA(nullptr), 0);
}

}  // namespace
