// User files survive whatever happens during a save: a writer process killed at random
// points of its saves leaves the file either as it was or as the save made it, byte for
// byte; a save into a directory it cannot write, or that has no room, reports failure and
// leaves the old file.
#include <gtest/gtest.h>
#include <windows.h>
#include <winapi_host.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string freshHome(const char* name) {
    std::string home = std::string("/tmp/qx_crash_") + name + "_" + std::to_string(getpid());
    std::system(("rm -rf '" + home + "'").c_str());
    mkdir(home.c_str(), 0755);
    return home;
}

// A value large enough that writing the file takes a while: many points to be killed at.
std::vector<BYTE> payload(char fill) { return std::vector<BYTE>(256 * 1024, static_cast<BYTE>(fill)); }

LONG setValue(const std::vector<BYTE>& data) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\QX", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  &disposition);
    if (status != ERROR_SUCCESS) return status;
    status = RegSetValueExA(key, "Blob", 0, REG_BINARY, data.data(), static_cast<DWORD>(data.size()));
    RegCloseKey(key);
    return status;
}

// The registry file's text with the value set to each payload, made by saving it.
struct Versions {
    std::string a, b;
};

Versions registryVersions(const std::string& home) {
    winapiSetHome(home.c_str());
    Versions v;
    EXPECT_EQ(setValue(payload('b')), ERROR_SUCCESS);
    v.b = readFile(home + "/registry.txt");
    EXPECT_EQ(setValue(payload('a')), ERROR_SUCCESS);
    v.a = readFile(home + "/registry.txt");
    return v;
}

// Runs change in a child process and returns whether it exited with 0.
template <typename Change>
bool inChild(Change change) {
    pid_t child = fork();
    if (child == 0) _exit(change() ? 0 : 1);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

TEST(CrashSafety, RegistryFileIsOldOrNewWhereverItsWriterIsKilled) {
    const std::string home = freshHome("kill");
    const Versions v = registryVersions(home);
    ASSERT_NE(v.a, v.b);
    ASSERT_GT(v.a.size(), 256u * 1024);
    const std::string path = home + "/registry.txt";

    // How long one save takes here, so that the kills fall inside saves.
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 4; ++i) setValue(payload(i % 2 ? 'a' : 'b'));
    const double saveMicroseconds =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count() / 4;
    ASSERT_EQ(readFile(path), v.a);

    std::mt19937 random(42);
    int oldSeen = 0, newSeen = 0;
    for (int round = 0; round < 150; ++round) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Saves b and a in turn until killed: each finished save leaves one of them.
            for (int i = 0;; ++i) setValue(payload(i % 2 ? 'a' : 'b'));
        }
        const auto delay = std::chrono::microseconds(random() % static_cast<unsigned>(3 * saveMicroseconds + 50));
        std::this_thread::sleep_for(delay);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        const std::string now = readFile(path);
        if (now == v.a) ++oldSeen;
        else if (now == v.b) ++newSeen;
        else FAIL() << "round " << round << ": the registry file is neither version (" << now.size() << " bytes)";
    }
    // The kills fell on both sides of a save.
    EXPECT_GT(oldSeen, 0);
    EXPECT_GT(newSeen, 0);
    // The parent's own view still reads: the tree loads from whichever file was left.
    winapiSetHome(home.c_str());
    EXPECT_EQ(setValue(payload('a')), ERROR_SUCCESS);
    EXPECT_EQ(readFile(path), v.a);
    std::system(("rm -rf '" + home + "'").c_str());
}

TEST(CrashSafety, SaveIntoAReadOnlyDirectoryFailsAndKeepsTheFile) {
    const std::string home = freshHome("readonly");
    const Versions v = registryVersions(home);
    const std::string path = home + "/registry.txt";
    ASSERT_EQ(readFile(path), v.a);
    // The directory cannot be written; a root test process gives up root in the child, as
    // root would write anyway.
    chmod(home.c_str(), 0555);
    const bool failed = inChild([&] {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return false;
        winapiSetHome(home.c_str());
        return setValue(payload('b')) == ERROR_CANTWRITE;
    });
    chmod(home.c_str(), 0755);
    EXPECT_TRUE(failed) << "the save did not report its failure";
    EXPECT_EQ(readFile(path), v.a);
    std::system(("rm -rf '" + home + "'").c_str());
}

TEST(CrashSafety, SaveWithoutRoomFailsAndKeepsTheFile) {
    const std::string home = freshHome("full");
    const Versions v = registryVersions(home);
    const std::string path = home + "/registry.txt";
    // A file-size limit below the new file's size: its writes stop short as on a full disk.
    const bool failed = inChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {64 * 1024, 64 * 1024};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return false;
        winapiSetHome(home.c_str());
        return setValue(payload('b')) == ERROR_CANTWRITE;
    });
    EXPECT_TRUE(failed) << "the save did not report its failure";
    EXPECT_EQ(readFile(path), v.a);
    // Nothing of the failed save is left beside it.
    std::string leftovers;
    for (const char* pattern : {"/registry.txt.tmp.*"}) {
        std::string command = "ls " + home + pattern + " 2>/dev/null";
        FILE* ls = popen(command.c_str(), "r");
        char line[512];
        while (ls && fgets(line, sizeof line, ls)) leftovers += line;
        if (ls) pclose(ls);
    }
    EXPECT_EQ(leftovers, "");
    std::system(("rm -rf '" + home + "'").c_str());
}
