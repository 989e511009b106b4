// Several programs with the module loaded change the same user files: each change is made
// under the one lock on the file as it is then, so none is lost; a restore is all or
// nothing; files go where a typist can write them; and the stand-in's files behave as
// Windows' do while another program holds them open.
#include <gtest/gtest.h>
#include <windows.h>
#include <winapi_desktop.h>
#include <winapi_host.h>

#include "core/engine.h"
#include "support/testfiles.h"
#include "core/userfile.h"
#include "gbk.h"
#include "manywriters.h"
#include "phrases/userphrasestore.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A home of its own for a test, beside the program's: under /tmp, where a process that
// gives up root may still go.
std::string freshHome(const char* name) {
    static const int cleanup = std::atexit(
        [] { std::system(("rm -rf /tmp/qx_multiwriter_*_" + std::to_string(getpid())).c_str()); });
    (void)cleanup;
    const std::string home = "/tmp/qx_multiwriter_" + std::string(name) + "_" + std::to_string(getpid());
    std::system(("rm -rf '" + home + "'").c_str());
    mkdir(home.c_str(), 0755);
    mkdir((home + "/system").c_str(), 0755);
    winapiSetHome(home.c_str());
    forgetUserFileFolders();
    resetProcessState();
    return home;
}

// The Windows name of a file in a host folder, as the module writes one.
std::string windowsName(const std::string& folder, const char* name) { return folder + "\\" + name; }

// Runs body in a child process; true when it returned true.
bool inChild(const std::function<bool()>& body) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) _exit(body() ? 0 : 1);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Another program holding a file open (fopen, as Windows' C library opens it) until
// release() is called.
class HeldOpen {
public:
    explicit HeldOpen(const std::string& windowsPath) {
        if (pipe(toChild_) != 0 || pipe(fromChild_) != 0) return;
        std::fflush(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            FILE* file = std::fopen(windowsPath.c_str(), "rb");
            char c = file ? 'y' : 'n';
            if (write(fromChild_[1], &c, 1) != 1) _exit(2);
            if (read(toChild_[0], &c, 1) != 1) _exit(2);
            if (file) std::fclose(file);
            _exit(0);
        }
        char c = 0;
        opened_ = read(fromChild_[0], &c, 1) == 1 && c == 'y';
    }
    ~HeldOpen() { release(); }
    bool opened() const { return opened_; }
    void release() {
        if (pid_ <= 0) return;
        char c = 'x';
        if (write(toChild_[1], &c, 1) != 1) kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        for (int fd : {toChild_[0], toChild_[1], fromChild_[0], fromChild_[1]}) close(fd);
    }

private:
    int toChild_[2] = {-1, -1}, fromChild_[2] = {-1, -1};
    pid_t pid_ = -1;
    bool opened_ = false;
};

std::string phraseLine(const std::string& code, const std::string& phrase) {
    return code + std::string(USER_CODE_COLUMN - code.size(), ' ') + phrase;
}

// The nth of many distinct two-character phrases.
std::string nthPhrase(int n) {
    return {static_cast<char>(0xB0 + n / 94 % 72), static_cast<char>(0xA1 + n % 94), '\xD6', '\xD0'};
}

std::string nthCode(int n) {
    return {static_cast<char>('a' + n % 26), static_cast<char>('a' + n / 26 % 26), 'q'};
}

int countLine(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

}  // namespace

TEST(ManyWriters, FourProgramsKilledAtRandomLoseNoSavedChange) {
    ManyWritersRun run;
    run.workerProgram = std::string(QX_BIN_DIR) + "/manywriters_worker";
    if (access(run.workerProgram.c_str(), X_OK) != 0 || access(QX_BIN_DIR "/qx.ime", R_OK) != 0)
        GTEST_SKIP() << "the worker or the module is not built";
    const std::string home = "/tmp/qx_multiwriter_many_" + std::to_string(getpid());
    run.workers = 4;
    run.seconds = 4;
    run.killEveryMs = 700;
    const ManyWritersOutcome out = runManyWriters(home, run);
    std::printf(
        "many writers: %d processes, %d killed, %ld changes saved, %ld not saved, %ld under way when "
        "killed, %ld lost, %ld doubled, %ld torn, %d phrase lines\n",
        out.processes, out.kills, out.changes, out.failures, out.pending, out.lost, out.doubled, out.torn,
        out.phraseLines);
    for (const auto& [op, count] : out.savedByOp) std::printf("  %s saved %ld\n", op.c_str(), count);
    for (const std::string& p : out.problems) ADD_FAILURE() << p;
    EXPECT_GE(out.processes, 4);
    EXPECT_GT(out.kills, 0);
    // Each kind of change was made through the dialogs and reported saved at least once.
    for (const char* op : {"P+", "L+", "A+", "S="}) EXPECT_GT(out.savedByOp.count(op), 0u) << op;
    EXPECT_EQ(out.lost, 0);
    EXPECT_EQ(out.doubled, 0);
    EXPECT_EQ(out.torn, 0);
    EXPECT_LE(out.phraseLines, USER_PHRASE_LINE_LIMIT);
    std::system(("rm -rf '" + home + "'").c_str());
}

// Two programs learning at the same moment: each reads the file, appends and moves its
// copy over; without the lock the later move drops the other's lines. Both also learn the
// same sentences, which must each be there once.
TEST(TwoPrograms, LearningAtOnceLosesAndDoublesNothing) {
    const std::string home = freshHome("learn");
    const std::string path = windowsName(home + "/system", "PYCZ.rt");
    writeFile(home + "/system/PYCZ.rt", "");
    constexpr int OWN = 60, SHARED = 20;
    auto learner = [&](int first) {
        return [&, first] {
            bool ok = true;
            for (int i = 0; i < OWN; ++i) {
                ok = addUserPhrase(path.c_str(), nthPhrase(first + i).c_str(), nthCode(first + i).c_str()) ==
                         StoreResult::done &&
                     ok;
                const int k = 1000 + i % SHARED;
                const StoreResult shared =
                    addUserPhrase(path.c_str(), nthPhrase(k).c_str(), nthCode(k).c_str());
                ok = (shared == StoreResult::done || shared == StoreResult::exists) && ok;
            }
            return ok;
        };
    };
    std::fflush(nullptr);
    const pid_t a = fork();
    if (a == 0) _exit(learner(0)() ? 0 : 1);
    const pid_t b = fork();
    if (b == 0) _exit(learner(OWN)() ? 0 : 1);
    int statusA = 0, statusB = 0;
    waitpid(a, &statusA, 0);
    waitpid(b, &statusB, 0);
    EXPECT_TRUE(WIFEXITED(statusA) && WEXITSTATUS(statusA) == 0);
    EXPECT_TRUE(WIFEXITED(statusB) && WEXITSTATUS(statusB) == 0);
    std::vector<std::string> lines;
    ASSERT_TRUE(readUserPhraseList(path.c_str(), lines));
    int missing = 0, doubled = 0;
    for (int n = 0; n < 2 * OWN; ++n) missing += countLine(lines, phraseLine(nthCode(n), nthPhrase(n))) != 1;
    for (int k = 1000; k < 1000 + SHARED; ++k)
        doubled += countLine(lines, phraseLine(nthCode(k), nthPhrase(k))) != 1;
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(doubled, 0);
    EXPECT_EQ(lines.size(), static_cast<size_t>(2 * OWN + SHARED));
}

// Two phrase dialogs at once: one adds while the other deletes; every add and every
// delete is in the file.
TEST(TwoPrograms, AddsAndDeletesFromTwoDialogsAtOnceAllLand) {
    const std::string home = freshHome("dialogs");
    const std::string path = windowsName(home + "/system", "fread.rt");
    std::string start;
    for (int n = 500; n < 560; ++n) start += phraseLine(nthCode(n), nthPhrase(n)) + "\r\n";
    writeFile(home + "/system/fread.rt", start);
    std::fflush(nullptr);
    const pid_t adder = fork();
    if (adder == 0) {
        bool ok = true;
        for (int n = 0; n < 60; ++n)
            ok = addUserPhrase(path.c_str(), nthPhrase(n).c_str(), nthCode(n).c_str()) == StoreResult::done &&
                 ok;
        _exit(ok ? 0 : 1);
    }
    const pid_t deleter = fork();
    if (deleter == 0) {
        bool ok = true;
        for (int n = 500; n < 560; ++n)
            ok = deleteUserPhrase(path.c_str(), phraseLine(nthCode(n), nthPhrase(n)).c_str()) ==
                     StoreResult::done &&
                 ok;
        _exit(ok ? 0 : 1);
    }
    int statusA = 0, statusD = 0;
    waitpid(adder, &statusA, 0);
    waitpid(deleter, &statusD, 0);
    EXPECT_TRUE(WIFEXITED(statusA) && WEXITSTATUS(statusA) == 0);
    EXPECT_TRUE(WIFEXITED(statusD) && WEXITSTATUS(statusD) == 0);
    std::vector<std::string> lines;
    ASSERT_TRUE(readUserPhraseList(path.c_str(), lines));
    std::vector<std::string> expected;
    for (int n = 0; n < 60; ++n) expected.push_back(phraseLine(nthCode(n), nthPhrase(n)));
    EXPECT_EQ(lines, expected);
}

// A restore whose move fails part way (on Windows while another program has a file open)
// puts every file back and says so; once the file is free it replaces all four.
TEST(Restore, AFailurePartWayPutsEveryFileBack) {
    const std::string home = freshHome("restore");
    const std::string users = home + "/system", backup = home + "/backup";
    mkdir(backup.c_str(), 0755);
    const char* names[] = {"fread.rt", "freadx.rt", "WBCZ.rt", "PYCZ.rt"};
    std::vector<std::string> sources, targets, before;
    for (int f = 0; f < 4; ++f) {
        writeFile(backup + "/" + names[f], phraseLine(nthCode(f), nthPhrase(f)) + "\r\n");
        writeFile(users + "/" + names[f], phraseLine(nthCode(10 + f), nthPhrase(10 + f)) + "\r\n");
        before.push_back(readFile(users + "/" + names[f]));
        sources.push_back(windowsName(backup, names[f]));
        targets.push_back(windowsName(users, names[f]));
    }
    {
        HeldOpen held(targets[2]);
        ASSERT_TRUE(held.opened());
        EXPECT_EQ(replaceUserFiles(sources, targets), -1);
        for (int f = 0; f < 4; ++f) EXPECT_EQ(readFile(users + "/" + names[f]), before[f]) << names[f];
    }
    // Nothing of the attempt is left beside the files.
    std::string leftovers;
    FILE* ls = popen(("ls '" + users + "'").c_str(), "r");
    char line[512];
    while (ls && fgets(line, sizeof line, ls)) leftovers += line;
    if (ls) pclose(ls);
    EXPECT_EQ(leftovers.find(".qxold"), std::string::npos) << leftovers;
    EXPECT_EQ(leftovers.find(".tmp"), std::string::npos) << leftovers;

    EXPECT_EQ(replaceUserFiles(sources, targets), 4);
    for (int f = 0; f < 4; ++f)
        EXPECT_EQ(readFile(users + "/" + names[f]), readFile(backup + "/" + names[f]));
}

// A typist without the right to write the system directory: the user files live in the
// user's own folder, which starts as a copy of the system directory's file; the system
// directory's file is never touched.
TEST(UserFolder, WhereTheSystemDirectoryRefusesWritesTheUserFolderTakesTheFiles) {
    const std::string home = freshHome("ownfolder");
    const std::string system = home + "/system";
    const std::string line = phraseLine("zg", gbk("中国"));
    writeFile(system + "/fread.rt", line + "\r\n");
    // The user's own folder is the user's; the system directory is not.
    mkdir((home + "/appdata").c_str(), 0755);
    chmod((home + "/appdata").c_str(), 0777);
    chmod(system.c_str(), 0555);
    const bool ok = inChild([&] {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return false;
        winapiSetHome(home.c_str());
        forgetUserFileFolders();
        const std::string path = userFilePath("fread.rt");
        if (path != home + "/appdata\\qx\\fread.rt") return false;
        if (addUserPhrase(path.c_str(), gbk("人民").c_str(), "rm") != StoreResult::done) return false;
        // A later start finds its own copy first.
        forgetUserFileFolders();
        return userFilePath("fread.rt") == path;
    });
    chmod(system.c_str(), 0755);
    EXPECT_TRUE(ok);
    EXPECT_EQ(readFile(system + "/fread.rt"), line + "\r\n");
    EXPECT_EQ(readFile(home + "/appdata/qx/fread.rt"),
              line + "\r\n" + phraseLine("rm", gbk("人民")) + "\r\n");
    // Where the system directory can be written (root here), it keeps the files, but a
    // copy of the user's own is read first.
    forgetUserFileFolders();
    EXPECT_EQ(userFilePath("fread.rt"), home + "/appdata\\qx\\fread.rt");
    EXPECT_EQ(userFilePath("PYCZ.rt"), home + "/system\\PYCZ.rt");
}

// The stand-in keeps a file another program has open as Windows does: it can be neither
// replaced, moved nor deleted until that program closes it.
TEST(StandIn, AFileHeldOpenCannotBeReplacedMovedOrDeleted) {
    const std::string home = freshHome("held");
    const std::string folder = home + "/system";
    writeFile(folder + "/a.dat", "old");
    writeFile(folder + "/b.tmp", "new");
    const std::string a = windowsName(folder, "a.dat"), b = windowsName(folder, "b.tmp");
    {
        HeldOpen held(a);
        ASSERT_TRUE(held.opened());
        EXPECT_FALSE(MoveFileExA(b.c_str(), a.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_FALSE(MoveFileExA(a.c_str(), windowsName(folder, "c.dat").c_str(), 0));
        EXPECT_FALSE(DeleteFileA(a.c_str()));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        EXPECT_EQ(readFile(folder + "/a.dat"), "old");
    }
    EXPECT_TRUE(MoveFileExA(b.c_str(), a.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_EQ(readFile(folder + "/a.dat"), "new");
    EXPECT_TRUE(DeleteFileA(a.c_str()));
}

// The lock of LockFileEx holds between processes, and for the user files' lock too.
TEST(StandIn, LockFileExExcludesOtherProcesses) {
    const std::string home = freshHome("lock");
    const std::string target = windowsName(home + "/system", "fread.rt");
    UserFileLock lock(target.c_str());
    ASSERT_TRUE(lock.held());
    EXPECT_TRUE(inChild([&] {
        HANDLE file = CreateFileA(windowsName(home + "/system", "qx.lock").c_str(),
                                  GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        OVERLAPPED whole{};
        const bool refused =
            !LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole) &&
            GetLastError() == ERROR_LOCK_VIOLATION;
        CloseHandle(file);
        return refused;
    }));
}

// A move with write-through whose folder cannot be synced says so; the folder here can
// be written but not opened for reading, as the sync needs.
TEST(StandIn, AWriteThroughMoveReportsAFolderSyncThatFailed) {
    const std::string home = freshHome("sync");
    const std::string folder = home + "/shut";
    mkdir(folder.c_str(), 0755);
    writeFile(folder + "/b.tmp", "new");
    chmod(folder.c_str(), 0333);
    const bool reported = inChild([&] {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return false;
        return !MoveFileExA(windowsName(folder, "b.tmp").c_str(), windowsName(folder, "a.dat").c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) &&
               GetLastError() == ERROR_ACCESS_DENIED;
    });
    chmod(folder.c_str(), 0755);
    EXPECT_TRUE(reported);
}
