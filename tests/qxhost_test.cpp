// End-to-end: the host runner types as a person would, through the built module and
// data libraries, and prints what the application received.
#include "gbk.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

class QxhostTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(fs::path(QX_BIN_DIR) / "qxhost") || !fs::exists(fs::path(QX_BIN_DIR) / "Qxmb.dll"))
            GTEST_SKIP() << "runner or data libraries not built";
        static int serial = 0;
        home = fs::temp_directory_path() /
               ("qxhost-test-" + std::to_string(getpid()) + "-" + std::to_string(++serial));
        fs::remove_all(home);
    }
    void TearDown() override { fs::remove_all(home); }

    // Runs the runner with the arguments (each single-quoted for the shell).
    RunResult run(const std::vector<std::string>& arguments) {
        std::string command = std::string(QX_BIN_DIR) + "/qxhost --home '" + home.string() + "'";
        if (timeLimit > 0) command = "timeout " + std::to_string(timeLimit) + " " + command;
        for (const std::string& a : arguments) command += " '" + a + "'";
        const fs::path errors = home.string() + ".err";
        command += " 2>'" + errors.string() + "'";
        RunResult result;
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) return result;
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
        const int status = pclose(pipe);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream in(errors);
        result.err.assign(std::istreambuf_iterator<char>(in), {});
        fs::remove(errors);
        return result;
    }
    // What qxreg lists of the settings key in this home.
    std::string settings() const {
        FILE* query = popen(
            ("QX_HOME='" + home.string() + "' " + QX_BIN_DIR + "/qxreg query 'HKLM\\Software\\QX'").c_str(),
            "r");
        std::string listing;
        if (query == nullptr) return listing;
        char buffer[1024];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, query)) > 0) listing.append(buffer, n);
        pclose(query);
        return listing;
    }
    static std::vector<std::string> lines(const std::string& text) {
        std::vector<std::string> out;
        size_t start = 0, end;
        while ((end = text.find('\n', start)) != std::string::npos) {
            out.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return out;
    }
    fs::path home;
    int timeLimit = 0;  // seconds, for a run that might never end
};

TEST_F(QxhostTest, FiveStrokeCodeAndSpaceTypeACharacter) {
    const RunResult r = run({"--set", "五笔优先=1", "--keys", "khk{Space}"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "中\n");
}

// The built tables as a typist meets them: the most frequent characters on one key, the
// likeliest word first where only completions are shown, the mode commands unchanged.
TEST_F(QxhostTest, OneLetterAndSpaceTypeTheMostFrequentCharacters) {
    RunResult r = run({"--keys", "w{Space}d{Space}d,y.nh{Space}"});  // phonetic-shape edition
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "我的地要牛\n");  // "nh": 牛, no longer 牛逼
    // "i" then 9 still switches the edition: "h" then types the shape-code edition's 的.
    r = run({"--keys", "i9h{Space}"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "的\n");
    r = run({"--set", "音形版优先=0", "--keys", "h{Space}w,w{Space}"});  // shape-code edition
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "的我了\n");
}

// Pinyin with the real tables: one Space commits the sentence row, the whole line.
TEST_F(QxhostTest, PinyinSentenceRowWithTheRealTables) {
    const RunResult r =
        run({"--set", "拼音优先=1", "--set", "整句输入=1", "--keys", "womenjintianqugongyuansanbu{Space}"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "我们今天去公园散步\n");
    // A word of the model that the phrase table lacks comes from the search's words, which
    // qxhost places beside the model.
    const RunResult words = run({"--set", "拼音优先=1", "--keys", "haizimenzaicaochangshangwan{Space}"});
    EXPECT_EQ(words.status, 0) << words.err;
    EXPECT_EQ(words.out, "孩子们在操场上玩\n");
}

// Phrase by phrase (整句输入 off): from the setting and from i then 6 in every edition.
TEST_F(QxhostTest, PinyinSentencesWithTheRealTables) {
    RunResult r = run({"--set", "拼音优先=1", "--set", "整句输入=0", "--keys", "zhongguoren{Space}{Space}"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "中国人\n");
    for (const char* edition : {"音形版优先=1", "音形版优先=0", "五笔优先=1"}) {
        fs::remove_all(home);  // settings persist in the home: start each edition afresh
        r = run({"--set", edition, "--set", "整句输入=0", "--keys",
                 "i6jintiantianqihenhao{Space}{Space}{Space}{Space}"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "今天天气很好\n") << edition;
    }
}

#if __has_include("phrases/userphrasestore.h")
// A sentence that took two choices is learned under its initials: typed again by them it
// is the first row, one Space converts it whole and the next delivers it.
TEST_F(QxhostTest, APinyinSentenceTypedTwiceIsLearned) {
    RunResult r = run({"--set", "拼音优先=1", "--set", "整句输入=0", "--keys", "wmjt{Space}{Space}"});
    EXPECT_NE(r.out, "我们今天\n");  // not yet known as one phrase
    r = run({"--set", "拼音优先=1", "--keys", "womenjintian{Space}{Space}{Space}"});
    EXPECT_EQ(r.out, "我们今天\n");
    std::ifstream file(home / "system" / "PYCZ.rt");
    std::string stored((std::istreambuf_iterator<char>(file)), {});
    std::erase(stored, '\r');  // the store ends its lines as Windows text files do
    EXPECT_EQ(utf8(stored), "wmjt    我们今天\n");
    r = run({"--set", "拼音优先=1", "--keys", "wmjt{Space}{Space}"});
    EXPECT_EQ(r.out, "我们今天\n");
}
#endif

TEST_F(QxhostTest, TraceHasOneLinePerKeyWithWhatTheWindowsShow) {
    const RunResult r = run({"--set", "五笔优先=1", "--keys", "khk{Space}", "--trace"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> trace = lines(r.err);
    ASSERT_EQ(trace.size(), 4u) << r.err;
    EXPECT_NE(trace[0].find("{\"key\":\"k\",\"taken\":true,\"messages\":[]"), std::string::npos) << trace[0];
    EXPECT_NE(trace[0].find("\"code\":\"k\""), std::string::npos);
    EXPECT_NE(trace[0].find("\"visible\":[\"ZOZ_COMPCLS\",\"ZOZ_STATUSCLS\"]"), std::string::npos)
        << trace[0];
    EXPECT_NE(trace[2].find("\"code\":\"khk\""), std::string::npos);
    EXPECT_NE(trace[3].find("\"message\":\"WM_IME_COMPOSITION\",\"wParam\":0,\"lParam\":2048"),
              std::string::npos);
    EXPECT_NE(trace[3].find("\"text\":\"中\""), std::string::npos);  // UTF-8, not escaped
}

TEST_F(QxhostTest, CtrlSwitchesToEnglishAndBackspaceEditsTheText) {
    RunResult r = run({"--set", "五笔优先=1", "--keys", "{Ctrl}abc{Back}{Ctrl}khk{Space}"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "ab中\n");
    // Enter in English mode only brings Chinese back; in Chinese mode with nothing typed
    // it reaches the application as a new line.
    r = run({"--set", "五笔优先=1", "--keys", "{Ctrl}{Enter}{Enter}"});
    EXPECT_EQ(r.out, "\n\n");
}

TEST_F(QxhostTest, SpaceWithNothingTypedReachesTheApplication) {
    const RunResult r = run({"--keys", "{Space}{Space}"});
    EXPECT_EQ(r.out, "  \n");
}

TEST_F(QxhostTest, ClickOnTheWidthButtonTypesFullWidthDigits) {
    // The bar's width button: the bar sits at (1024 - 131, 740 - 28); the button at 104-128.
    const RunResult r = run({"--keys", "{Click:1003,722}1{Click:1003,722}1"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "１1\n");
}

TEST_F(QxhostTest, ClickOnTheChineseButtonLetsLettersThroughAndASecondBringsCodesBack) {
    // Button 0 spans client x 3-27 of the bar, which starts at x = 1024 - 131.
    const RunResult r = run({"--set", "五笔优先=1", "--keys", "{Click:905,722}ab{Click:905,722}khk{Space}"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "ab中\n");
}

TEST_F(QxhostTest, SettingsDialogFromTheMenuStoresTheTickedPriority) {
    const RunResult r = run({"--trace", "--keys", "{Menu:1297}{Control:1060}{Control:2}"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> trace = lines(r.err);
    ASSERT_EQ(trace.size(), 3u) << r.err;
    // The keys typed inside the dialog come first: the menu key returns when it closes.
    EXPECT_NE(trace[0].find("\"key\":\"{Control:1060}\""), std::string::npos);
    EXPECT_NE(
        trace[0].find(
            "\"dialog\":{\"title\":\"\xE6\x88\x91\xE7\x9A\x84\xE4\xB8\xAA\xE6\x80\xA7\",\"focus\":1060"),
        std::string::npos);  // 我的个性
    EXPECT_NE(trace[1].find("\"dialog\":null"), std::string::npos);
    const std::string listing = settings();
    EXPECT_NE(listing.find("\xE6\x8B\xBC\xE9\x9F\xB3\xE4\xBC\x98\xE5\x85\x88    REG_DWORD    0x1"),
              std::string::npos)
        << listing;  // 拼音优先
}

TEST_F(QxhostTest, AboutBoxLeftOpenIsPicturedThenClosedWithEsc) {
    const fs::path png = home.string() + ".png";
    const RunResult r = run({"--trace", "--keys", "{Menu:1293}", "--png", png.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> trace = lines(r.err);
    ASSERT_GE(trace.size(), 3u) << r.err;
    EXPECT_EQ(trace[0],
              "{\"closing\":\"\xE5\x85\xB3\xE4\xBA\x8E\xE3\x80\x8ETessel\xE3\x80\x8F\",\"by\":\"Esc\"}");
    EXPECT_EQ(trace[1].rfind("{\"key\":\"{Esc}\"", 0), 0u);
    EXPECT_NE(trace.back().find("\"dialog\":null"), std::string::npos);
    ASSERT_TRUE(fs::exists(png));
    EXPECT_GT(fs::file_size(png), 10000u);  // the about box's picture is in it
    fs::remove(png);
}

// A person at a terminal: F5 opens the menu, a digit chooses 我的个性, Tab and Space work
// its boxes, and the screen shows the dialog with the focused control marked.
TEST_F(QxhostTest, TerminalSessionWorksTheSettingsDialogWithKeys) {
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        const std::string runner = std::string(QX_BIN_DIR) + "/qxhost";
        execl(runner.c_str(), runner.c_str(), "--home", home.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string screens;
    // The session draws its screen once before it reads each key.
    auto awaitScreen = [&](size_t count) {
        const std::string clear = "\x1b[H\x1b[2J";
        auto drawn = [&] {
            size_t n = 0;
            for (size_t at = screens.find(clear); at != std::string::npos; at = screens.find(clear, at + 1))
                ++n;
            return n;
        };
        pollfd input{terminal, POLLIN, 0};
        char buffer[4096];
        while (drawn() < count && poll(&input, 1, 20000) > 0) {
            const ssize_t n = read(terminal, buffer, sizeof buffer);
            if (n <= 0) break;
            screens.append(buffer, size_t(n));
        }
        return drawn() >= count;
    };
    size_t screen = 1;
    for (const char* key : {"\x1b[15~", "7", "\t", " "}) {
        ASSERT_TRUE(awaitScreen(screen)) << screens;
        ASSERT_EQ(write(terminal, key, strlen(key)), ssize_t(strlen(key)));
        ++screen;
    }
    ASSERT_TRUE(awaitScreen(screen)) << screens;
    const std::string last = screens.substr(screens.rfind("\x1b[H\x1b[2J"));
    ASSERT_EQ(write(terminal, "\x04", 1), 1);
    char rest[4096];
    while (read(terminal, rest, sizeof rest) > 0) {
    }
    int status = 0;
    waitpid(child, &status, 0);
    close(terminal);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(screens.find("\xE6\x88\x91\xE7\x9A\x84\xE4\xB8\xAA\xE6\x80\xA7"),
              std::string::npos);  // 我的个性 in the menu
    EXPECT_NE(last.find("Dialog: \xE6\x88\x91\xE7\x9A\x84\xE4\xB8\xAA\xE6\x80\xA7"), std::string::npos)
        << last;
    EXPECT_NE(screens.find(" >       (group) "), std::string::npos);  // the focus starts on the group box
    EXPECT_NE(last.find(" > 1052  [x] "), std::string::npos)
        << last;  // Tab reached 简单窗口, Space ticked it
    EXPECT_NE(settings().find("\xE7\xAE\x80\xE5\x8D\x95\xE7\xAA\x97\xE5\x8F\xA3    REG_DWORD    0x1"),
              std::string::npos);  // 简单窗口
}

TEST_F(QxhostTest, PngOfTheScreenIsWritten) {
    const fs::path png = home.string() + ".png";
    const RunResult r = run({"--keys", "a", "--png", png.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    std::ifstream in(png, std::ios::binary);
    char signature[8] = {};
    in.read(signature, 8);
    EXPECT_EQ(std::string(signature, 8), "\x89PNG\r\n\x1A\n");
    fs::remove(png);
}

// A fresh home gets the shipped public address list; one that holds a list keeps it.
TEST_F(QxhostTest, ABracketACodeAndARowTypeAnAddressFromTheShippedList) {
    RunResult r = run({"--keys", "[bd1"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "www.baidu.com\n");

    std::ofstream(home / "system" / "zwwz.dat", std::ios::binary | std::ios::trunc)
        << "bd mine my.example.cn \n";
    r = run({"--keys", "[bd{Space}"});
    EXPECT_EQ(r.out, "my.example.cn\n");

    // Emptied by its owner, the list stays empty: nothing is typed from it, nothing placed,
    // and no temporary file is left beside it.
    std::ofstream(home / "system" / "zwwz.dat", std::ios::binary | std::ios::trunc).flush();
    r = run({"--keys", "[bd1"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("baidu"), std::string::npos) << r.out;
    EXPECT_EQ(fs::file_size(home / "system" / "zwwz.dat"), 0u);
    for (const auto& entry : fs::directory_iterator(home / "system"))
        EXPECT_EQ(entry.path().filename().string().find("zwwz.dat."), std::string::npos) << entry.path();
}

// A dialog that refuses every close (here Cancel, the answer to Esc, to the question
// whether lines of the list that could not be read may go) is not asked for ever: after
// Esc and its close box the runner names it and fails.
TEST_F(QxhostTest, ADialogThatRefusesToCloseEndsTheRunWithAnError) {
    fs::create_directories(home / "system");
    {
        std::ofstream list(home / "system" / "zwwz.dat", std::ios::binary);
        list << "bd " << gbk("百度") << " www.baidu.com \r\na line that is no record\r\n";
    }
    timeLimit = 60;  // before, the runner sent Esc for ever
    const RunResult r =
        run({"--set", "音形版优先=0", "--keys",  // Ctrl to English for the fields, then add a record
             "{Menu:1299}{Ctrl}{Control:1048}zz{Control:1050}zz{Control:1049}z.cn{Control:1017}"});
    EXPECT_EQ(r.status, 1) << r.err.substr(0, 4000);
    EXPECT_NE(r.err.find("qxhost: the dialog \"中文网址E-mail地址\" stayed open after Esc and its close box"),
              std::string::npos)
        << r.err.substr(0, 4000);
}

// A pop-up menu answered from the script: the width button's right click offers the soft
// keyboards, and on the Russian one the key A types л.
TEST_F(QxhostTest, APopupMenuIsAnsweredFromTheScript) {
    const RunResult r = run({"--keys", "{Popup:1282}{RClick:1003,722}a"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "л\n");
}

TEST_F(QxhostTest, BadScriptsAndOptionsAreRefused) {
    RunResult r = run({"--keys", "{Nope}"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("{Nope}"), std::string::npos);
    EXPECT_EQ(r.out, "");
    r = run({"--set", "noequals"});
    EXPECT_EQ(r.status, 2);
}

}  // namespace

TEST_F(QxhostTest, APhraseAddedInTheDialogIsTypedByItsCode) {
    // 中 and 人 typed into the phrase box through the module, the proposed code replaced
    // by qqq, 添加, 退出; then the new code types the phrase.
    const RunResult r = run({"--keys",
                             "{Menu:1298}zl{Space}rk{Space}{Control:1015}{End}{Back}{Back}{Back}{Back}qqq"
                             "{Control:1017}{Control:1008}qqq{Space}"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "\xE4\xB8\xAD\xE4\xBA\xBA\n");  // 中人
    const RunResult again = run({"--keys", "qqq{Space}"});
    EXPECT_EQ(again.out, "\xE4\xB8\xAD\xE4\xBA\xBA\n");
}

TEST_F(QxhostTest, TheThirdWrongKeyOpensTheDialogAndTheKeysGoOnInIt) {
    const RunResult r = run({"--set", "\xE9\x9F\xB3\xE5\xBD\xA2\xE7\x89\x88\xE4\xBC\x98\xE5\x85\x88=0",
                             "--trace", "--keys", "lzzzzkr{Space}"});  // 音形版优先=0: the shape-code edition
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "\n");  // nothing reached the application
    // 人 went into the phrase box of 自造词组, which was closed at the end.
    EXPECT_NE(r.err.find(
                  "\"dialog\":{\"title\":\"\xE8\x87\xAA\xE9\x80\xA0\xE8\xAF\x8D\xE7\xBB\x84\",\"focus\":1014,"
                  "\"focusText\":\"\xE4\xBA\xBA\"}"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("{\"closing\":\"\xE8\x87\xAA\xE9\x80\xA0\xE8\xAF\x8D\xE7\xBB\x84\",\"by\":\"Esc\"}"),
              std::string::npos);
}
