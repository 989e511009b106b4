// qxsetup: layout key, preload list in both registry shapes, the switch, and the module
// placed under the name the layout registers.
#include "setup.h"
#include "support/testfiles.h"
#include "fixtures/install_home.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/userfile.h"

using namespace installtest;

namespace {

const std::string ourLayout = std::string(layoutsKey) + "\\E0220804";
const char preload[] = "Keyboard Layout\\Preload";
const ULONG_PTR ourHandle = 0xE0220804;

std::string text(const char* s) { return std::string(s, strlen(s) + 1); }

class Setup : public ::testing::Test {
protected:
    void SetUp() override { home = freshHome(); }
    std::string home;
};

TEST_F(Setup, InstallOnNtWritesTheLayoutThePreloadEntryAndLoadsIt) {
    EXPECT_EQ(setupMain(""), 0);
    // Each value is stored with its terminating zero.
    EXPECT_EQ(rawValue(HKEY_LOCAL_MACHINE, ourLayout, "IME File"), text("winqx2.ime"));
    EXPECT_EQ(rawValue(HKEY_LOCAL_MACHINE, ourLayout, "Layout File"), text("kbdus.dll"));
    EXPECT_EQ(rawValue(HKEY_LOCAL_MACHINE, ourLayout, "Layout Text"), text("Tessel\xB1\xEA\xD7\xBC\xB0\xE6"));
    EXPECT_EQ(rawValue(HKEY_CURRENT_USER, preload, "1"), text("E0220804"));
    EXPECT_TRUE(isLoaded(ourHandle));
}

TEST_F(Setup, InstallReusesItsEntryAndAppendsAfterOthers) {
    setText(HKEY_CURRENT_USER, preload, "1", "00000804");
    setText(HKEY_CURRENT_USER, preload, "2", "00000409");
    setupMain("");
    EXPECT_EQ(rawValue(HKEY_CURRENT_USER, preload, "3"), text("E0220804"));
    setupMain("");
    EXPECT_EQ(rawValue(HKEY_CURRENT_USER, preload, "3"), text("E0220804"));
    EXPECT_EQ(rawValue(HKEY_CURRENT_USER, preload, "4"), "<none>");
    EXPECT_EQ(rawValue(HKEY_CURRENT_USER, preload, "1"), text("00000804"));
    EXPECT_EQ(rawValue(HKEY_CURRENT_USER, preload, "2"), text("00000409"));
}

TEST_F(Setup, UninstallInAnyCaseRemovesOnlyItsOwnEntry) {
    setText(HKEY_CURRENT_USER, preload, "1", "00000804");
    setupMain("");
    setText(HKEY_CURRENT_USER, preload, "3", "00000409");
    ASSERT_EQ(rawValue(HKEY_CURRENT_USER, preload, "2"), text("E0220804"));

    EXPECT_EQ(setupMain("-UNINST"), 0);
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, ourLayout));
    EXPECT_EQ(rawValue(HKEY_CURRENT_USER, preload, "2"), "<none>");
    // The other entries keep their numbers.
    EXPECT_EQ(rawValue(HKEY_CURRENT_USER, preload, "1"), text("00000804"));
    EXPECT_EQ(rawValue(HKEY_CURRENT_USER, preload, "3"), text("00000409"));
    EXPECT_FALSE(isLoaded(ourHandle));
}

TEST_F(Setup, TheSwitchMustBeWholeToUninstall) {
    setupMain("  -UnInst ");
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, ourLayout));
    setupMain("-uninstall");
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, ourLayout));
    setupMain("/uninst");
    EXPECT_EQ(rawValue(HKEY_CURRENT_USER, preload, "1"), text("E0220804"));
}

TEST_F(Setup, UninstallWithoutPreloadEntryStillRemovesTheLayoutKey) {
    setText(HKEY_LOCAL_MACHINE, ourLayout, "IME File", "winqx2.ime");
    setText(HKEY_CURRENT_USER, preload, "1", "00000804");
    setupMain("-uninst");
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, ourLayout));
    EXPECT_EQ(rawValue(HKEY_CURRENT_USER, preload, "1"), text("00000804"));
}

TEST_F(Setup, Windows9xKeepsOneSubkeyPerEntry) {
    setenv("QX_WINVER", "98", 1);
    setText(HKEY_CURRENT_USER, "Keyboard Layout\\Preload\\1", NULL, "00000804");
    setupMain("");
    EXPECT_EQ(rawValue(HKEY_LOCAL_MACHINE, ourLayout, "Layout File"), text("kbdus.kbd"));
    EXPECT_EQ(rawValue(HKEY_CURRENT_USER, "Keyboard Layout\\Preload\\2", NULL), text("E0220804"));
    setupMain("");
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, "Keyboard Layout\\Preload\\3"));
    // No value-per-entry list appears beside the subkeys.
    EXPECT_EQ(rawValue(HKEY_CURRENT_USER, preload, "2"), "<none>");

    setupMain("-uninst");
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, "Keyboard Layout\\Preload\\2"));
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, "Keyboard Layout\\Preload\\1"));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, ourLayout));
}

TEST_F(Setup, FindPreloadEntryInBothShapes) {
    char number[16];
    // No list at all: not found, the first number is free.
    EXPECT_FALSE(findPreloadEntry("E0220804", TRUE, number, sizeof number));
    EXPECT_STREQ(number, "1");
    EXPECT_FALSE(findPreloadEntry("E0220804", FALSE, number, sizeof number));
    EXPECT_STREQ(number, "1");

    setText(HKEY_CURRENT_USER, preload, "1", "00000804");
    setText(HKEY_CURRENT_USER, preload, "2", "e0220804");
    EXPECT_TRUE(findPreloadEntry("E0220804", TRUE, number, sizeof number));
    EXPECT_STREQ(number, "2");
    EXPECT_FALSE(findPreloadEntry("E0010804", TRUE, number, sizeof number));
    EXPECT_STREQ(number, "3");
    // The list's shape follows the platform: the 95/98 search ignores NT values.
    EXPECT_FALSE(findPreloadEntry("E0220804", FALSE, number, sizeof number));
    EXPECT_STREQ(number, "1");

    setText(HKEY_CURRENT_USER, "keyboard layout\\preload\\1", NULL, "E0220804");
    EXPECT_TRUE(findPreloadEntry("e0220804", FALSE, number, sizeof number));
    EXPECT_STREQ(number, "1");
}

TEST_F(Setup, InstallPutsTheModuleUnderTheRegisteredName) {
    char systemDir[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryA(systemDir, sizeof systemDir), 0u);
    std::string dir = systemDir;
    writeFile(dir + "/qx.ime", "module, new build");
    writeFile(dir + "/winqx2.ime", "module, old build");
    setupMain("");
    EXPECT_EQ(readFile(dir + "/winqx2.ime"), "module, new build");
    EXPECT_FALSE(std::filesystem::exists(dir + "/winqx2.ime.new"));

    std::filesystem::remove(dir + "/winqx2.ime");
    setupMain("");
    EXPECT_EQ(readFile(dir + "/winqx2.ime"), "module, new build");
    // Uninstalling leaves the files: a module in use cannot be removed anyway.
    setupMain("-uninst");
    EXPECT_TRUE(std::filesystem::exists(dir + "/winqx2.ime"));
}

// The public address list beside the program goes into the system directory only where
// no list with anything in it is there: a list there may hold the user's edits.
TEST_F(Setup, InstallPlacesThePublicAddressListButNeverOverAList) {
    char systemDir[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryA(systemDir, sizeof systemDir), 0u);
    const std::string list = std::string(systemDir) + "/zwwz.dat";
    const std::string shipped = readFile(std::string(QX_BIN_DIR) + "/zwwz.dat");
    ASSERT_FALSE(shipped.empty()) << "the build writes bin/zwwz.dat";

    std::filesystem::remove(list);
    setupMain("");
    EXPECT_EQ(readFile(list), shipped);
    EXPECT_FALSE(std::filesystem::exists(list + ".new"));

    writeFile(list, "");  // what the module leaves for a missing list
    setupMain("");
    EXPECT_EQ(readFile(list), shipped);

    writeFile(list, "wd mine my.example.cn \n");
    setupMain("");
    EXPECT_EQ(readFile(list), "wd mine my.example.cn \n");
    std::filesystem::remove(list);
}

int runProgram(const std::vector<std::string>& args) {
    std::string command = std::string(QX_BIN_DIR) + "/qxsetup";
    for (const std::string& arg : args) command += " '" + arg + "'";
    int status = system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Setup, TheProgramSharesTheRegistryAndAlwaysExitsWithZero) {
    ASSERT_EQ(runProgram({}), 0);
    winapiSetHome(home.c_str());
    EXPECT_EQ(rawValue(HKEY_CURRENT_USER, preload, "1"), text("E0220804"));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, ourLayout));

    ASSERT_EQ(runProgram({"-Uninst"}), 0);
    winapiSetHome(home.c_str());
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, ourLayout));
    EXPECT_EQ(rawValue(HKEY_CURRENT_USER, preload, "1"), "<none>");
    // Uninstalling what is not installed is no error either.
    EXPECT_EQ(runProgram({"-uninst"}), 0);
}

// "您的自造词组和网址列表保存在："
const std::string noticeStart =
    "\xC4\xFA\xB5\xC4\xD7\xD4\xD4\xEC\xB4\xCA\xD7\xE9\xBA\xCD\xCD\xF8\xD6\xB7\xC1\xD0\xB1\xED\xB1\xA3\xB4\xE6"
    "\xD4\xDA\xA3\xBA";

// Installing says where the typist's files are kept: the system directory while it can be
// written, printed by the program as well.
TEST_F(Setup, InstallSaysTheUserFilesAreInTheSystemDirectoryWhereItCanBeWritten) {
    std::filesystem::create_directories(home + "/system");
    forgetUserFileFolders();
    EXPECT_EQ(userFilesNotice(), noticeStart + home + "/system");

    FILE* program = popen((std::string(QX_BIN_DIR) + "/qxsetup").c_str(), "r");
    ASSERT_NE(program, nullptr);
    std::string printed;
    char buffer[512];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, program)) > 0) printed.append(buffer, n);
    EXPECT_EQ(pclose(program), 0);
    EXPECT_EQ(printed, noticeStart + home + "/system\n");
}

// A typist who may not write the system directory has the files in a folder of his own.
TEST_F(Setup, InstallSaysTheUserFilesAreInTheUsersOwnFolderWhereTheSystemDirectoryRefusesWrites) {
    const std::string system = home + "/system";
    std::filesystem::create_directories(system);
    mkdir((home + "/appdata").c_str(), 0777);
    chmod((home + "/appdata").c_str(), 0777);
    chmod(system.c_str(), 0555);
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        // root writes anywhere: the typist here is nobody
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(1);
        winapiSetHome(home.c_str());
        forgetUserFileFolders();
        const std::string notice = userFilesNotice();
        _exit(write(pipeEnds[1], notice.data(), notice.size()) == ssize_t(notice.size()) ? 0 : 1);
    }
    close(pipeEnds[1]);
    std::string notice;
    char buffer[512];
    ssize_t n;
    while ((n = read(pipeEnds[0], buffer, sizeof buffer)) > 0) notice.append(buffer, size_t(n));
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    chmod(system.c_str(), 0755);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(notice, noticeStart + home + "/appdata\\qx");
}

}  // namespace
