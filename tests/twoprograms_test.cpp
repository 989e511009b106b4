// Two programs, each with its own copy of the built module hosted through the shared
// session (as qxhost hosts it), typing into the same user files in turn: what one saved
// the other never writes away.
#include <gtest/gtest.h>

#include "hostsession.h"
#include "support/testfiles.h"
#include "scriptrun.h"

#include <winapi_host.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// A program with the module, in a process of its own: it opens its session at once and
// then types each script it is given, one after the other, while the test waits.
class Program {
public:
    explicit Program(const std::string& home) {
        if (pipe(toChild_) != 0 || pipe(fromChild_) != 0) return;
        std::fflush(nullptr);
        pid_ = fork();
        if (pid_ == 0) serve(home);
        ready_ = answer() == 'r';
    }
    ~Program() { quit(); }
    bool ready() const { return ready_; }

    // Types the script; true when it was typed and every dialog it opened closed.
    bool type(const std::string& script) {
        if (!ready_) return false;
        const size_t length = script.size();
        if (write(toChild_[1], &length, sizeof length) != sizeof length ||
            write(toChild_[1], script.data(), length) != static_cast<ssize_t>(length))
            return false;
        return answer() == 'd';
    }

    void quit() {
        if (pid_ <= 0) return;
        const size_t none = 0;
        if (write(toChild_[1], &none, sizeof none) != sizeof none) kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        for (int fd : {toChild_[0], toChild_[1], fromChild_[0], fromChild_[1]}) close(fd);
    }

private:
    char answer() {
        char c = 0;
        return read(fromChild_[0], &c, 1) == 1 ? c : 0;
    }

    [[noreturn]] void serve(const std::string& home) {
        winapiSetHome(home.c_str());
        HostSession session;
        std::string error;
        const bool opened = openHostSession(session, "qx.ime", error);
        if (opened) closePictures(session.ime);
        char c = opened ? 'r' : 'x';
        if (write(fromChild_[1], &c, 1) != 1 || !opened) _exit(1);
        for (;;) {
            size_t length = 0;
            if (read(toChild_[0], &length, sizeof length) != sizeof length || length == 0) break;
            std::string script(length, '\0');
            if (read(toChild_[0], script.data(), length) != static_cast<ssize_t>(length)) break;
            std::vector<ScriptKey> keys;
            bool typed = parseKeyScript(script, keys, error);
            if (typed) {
                ScriptRun::Report report;
                report.refused = [&](HWND) { typed = false; };
                ScriptRun run(session.ime, keys, report);
                run.run();
            }
            c = typed ? 'd' : 'x';
            if (write(fromChild_[1], &c, 1) != 1) break;
        }
        closeHostSession(session);
        _exit(0);
    }

    int toChild_[2] = {-1, -1}, fromChild_[2] = {-1, -1};
    pid_t pid_ = -1;
    bool ready_ = false;
};

class TwoProgramsTyping : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(QX_BIN_DIR "/qx.ime", R_OK) != 0) GTEST_SKIP() << "the module is not built";
        home = "/tmp/qx_twoprograms_" + std::to_string(getpid());
        std::system(("rm -rf '" + home + "'").c_str());
        mkdir(home.c_str(), 0755);
        mkdir((home + "/system").c_str(), 0755);
        // Two addresses under one letter, so that choosing the second moves it up.
        std::ofstream(home + "/system/grwz.dat", std::ios::binary)
            << "ab first www.first.cn \r\nac second www.second.cn \r\n";
        // The shape-code edition, where Ctrl alone switches to English for the fields.
        winapiSetHome(home.c_str());
        HKEY key = nullptr;
        const DWORD off = 0;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\QX", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "\xD2\xF4\xD0\xCE\xB0\xE6\xD3\xC5\xCF\xC8", 0, REG_DWORD,  // 音形版优先
                       reinterpret_cast<const BYTE*>(&off), sizeof off);
        RegCloseKey(key);
    }
    void TearDown() override {
        if (!home.empty()) std::system(("rm -rf '" + home + "'").c_str());
    }
    std::string personalList() const { return readFile(home + "/system/grwz.dat"); }
    std::string home;
};

// An address added in one program's dialog is not written away by another that loaded
// the list before, then chose an address in web-address mode and opened and closed (Esc)
// its own dialog.
TEST_F(TwoProgramsTyping, AnAddressAddedInOneIsKeptWhenAnotherChoosesAndClosesItsDialog) {
    Program b(home);
    ASSERT_TRUE(b.ready());
    ASSERT_TRUE(b.type("]a{Esc}"));  // b has the lists now
    {
        Program a(home);
        ASSERT_TRUE(a.ready());
        ASSERT_TRUE(
            a.type("{Menu:1299}{Ctrl}{Control:1054}{Control:1048}zq{Control:1050}zqname"
                   "{Control:1049}www.zq.cn{Control:1017}{Control:1045}"));
    }
    ASSERT_NE(personalList().find("www.zq.cn"), std::string::npos) << personalList();
    ASSERT_TRUE(b.type("]a2"));  // the second address, moved up
    ASSERT_TRUE(b.type("{Menu:1299}{Esc}"));
    b.quit();
    const std::string list = personalList();
    EXPECT_NE(list.find("www.zq.cn"), std::string::npos) << list;
    EXPECT_NE(list.find("www.first.cn"), std::string::npos) << list;
    EXPECT_NE(list.find("www.second.cn"), std::string::npos) << list;
}

// 修改 puts the selected record into the fields; leaving with 退出 before 添加 keeps it.
TEST_F(TwoProgramsTyping, ModifyThenExitKeepsTheRecord) {
    Program a(home);
    ASSERT_TRUE(a.ready());
    ASSERT_TRUE(a.type("{Menu:1299}{Control:1054}{Control:1040}{Home}{Control:1027}{Control:1045}"));
    a.quit();
    const std::string list = personalList();
    EXPECT_NE(list.find("www.first.cn"), std::string::npos) << list;
    EXPECT_NE(list.find("www.second.cn"), std::string::npos) << list;
}

}  // namespace
