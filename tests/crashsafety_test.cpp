// User files survive whatever happens during a save: a writer process killed at random
// points of its saves leaves the file either as it was or as the save made it, byte for
// byte; a save into a directory it cannot write, or that has no room, reports failure and
// leaves the old file. The registry file, the user phrase file (the dialog's add and
// delete, learning's append, backup and restore) and the web-address lists (their save and
// a merge saved) are each tried.
#include <gtest/gtest.h>
#include <windows.h>
#include <winapi_desktop.h>
#include <winapi_host.h>

#include "core/engine.h"
#include "support/testfiles.h"
#include "gbk.h"
#include "phrases/userphrasestore.h"
#include "webaddress/weblists.h"

#include <dirent.h>

#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

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
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\QX", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, &disposition);
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

// A file the harness watches and the contents each finished save can leave it with.
struct Watched {
    std::string path;
    std::vector<std::string> versions;
};

// Temporary files left in a directory (a writer killed inside its write); removes them.
int removeTemporaries(const std::string& dir) {
    int found = 0;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* entry = readdir(d)) {
            if (std::strstr(entry->d_name, ".tmp") == nullptr) continue;
            ++found;
            std::remove((dir + "/" + entry->d_name).c_str());
        }
        closedir(d);
    }
    return found;
}

struct KillTally {
    int kills = 0;
    std::vector<std::vector<int>> seen;  // per file, per version: rounds that left it
    int insideWrite = 0;                 // rounds that left a temporary file behind
};

// Forks writers that run save(0), save(1), ... until killed, and kills them after a
// random delay of up to a few saves, rounds times. After every kill each watched file must
// be one of its versions, byte for byte. A save that reports failure ends its writer,
// which the test reports. writers > 1 runs that many writers at once, each from its own
// point of the cycle, killed one after another. start puts the files where the cycle
// starts before each round; save(0) moves them on from there.
KillTally killWritersAtRandom(const std::vector<Watched>& files, const std::string& dir,
                              const std::function<bool(int)>& save, int rounds, int writers = 1,
                              const std::function<void()>& start = nullptr) {
    KillTally tally;
    tally.seen.assign(files.size(), {});
    for (size_t f = 0; f < files.size(); ++f) tally.seen[f].assign(files[f].versions.size(), 0);
    // How long one save takes here: a kill falls within a save or just after it.
    if (start) start();
    const auto began = std::chrono::steady_clock::now();
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(save(i)) << "save " << i << " failed in the test process";
    const double saveMicroseconds =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - began).count() / 4;
    size_t cycle = 1;
    for (const Watched& file : files) cycle = std::max(cycle, file.versions.size());
    // Each writer counts its finished saves where the test sees them: a kill waits for a
    // random number of them, however slowly the writer runs on a busy machine.
    auto* finished =
        static_cast<std::atomic<int>*>(mmap(nullptr, sizeof(std::atomic<int>) * writers,
                                            PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    if (finished == MAP_FAILED) {
        ADD_FAILURE() << "mmap";
        return tally;
    }
    std::mt19937 random(7);
    for (int round = 0; round < rounds; ++round) {
        if (start) start();
        std::vector<pid_t> children;
        for (int w = 0; w < writers; ++w) {
            finished[w].store(0);
            const pid_t child = fork();
            if (child == 0) {
                for (int i = w;; ++i) {
                    if (!save(i)) _exit(3);
                    finished[w].fetch_add(1);
                }
            }
            if (child < 0)
                ADD_FAILURE() << "fork";
            else
                children.push_back(child);
        }
        for (size_t w = 0; w < children.size(); ++w) {
            const int saves = static_cast<int>(random() % cycle);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (finished[w].load() < saves && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::microseconds(20));
            std::this_thread::sleep_for(
                std::chrono::microseconds(random() % static_cast<unsigned>(1.5 * saveMicroseconds + 20)));
            kill(children[w], SIGKILL);
            int status = 0;
            waitpid(children[w], &status, 0);
            EXPECT_TRUE(WIFSIGNALED(status)) << "round " << round << ": a save reported failure";
            ++tally.kills;
        }
        for (size_t f = 0; f < files.size(); ++f) {
            const std::string now = readFile(files[f].path);
            size_t v = 0;
            while (v < files[f].versions.size() && files[f].versions[v] != now) ++v;
            if (v == files[f].versions.size()) {
                ADD_FAILURE() << "round " << round << ": " << files[f].path << " is none of its versions ("
                              << now.size() << " bytes)";
                return tally;
            }
            ++tally.seen[f][v];
        }
        tally.insideWrite += removeTemporaries(dir) > 0;
    }
    munmap(finished, sizeof(std::atomic<int>) * writers);
    return tally;
}

void report(const char* what, const KillTally& tally) {
    std::printf("%s: %d writers killed, %d inside a write; outcomes", what, tally.kills, tally.insideWrite);
    for (const auto& file : tally.seen) {
        std::printf(" [");
        for (size_t v = 0; v < file.size(); ++v) std::printf("%s%d", v ? " " : "", file[v]);
        std::printf("]");
    }
    std::printf("\n");
}

// Every version of every file occurred: the kills fell on both sides of the saves.
void expectEveryVersionSeen(const KillTally& tally) {
    for (size_t f = 0; f < tally.seen.size(); ++f)
        for (size_t v = 0; v < tally.seen[f].size(); ++v)
            EXPECT_GT(tally.seen[f][v], 0) << "file " << f << " version " << v << " never left";
}

// Runs save in a child that cannot write the directory (it gives up root, as root would
// write anyway), then in one whose writes stop short as on a full disk. Each must report
// failure, and leave every file as it was and no temporary file.
void expectFailedSavesKeepFiles(const std::string& dir, const std::vector<std::string>& paths,
                                const std::function<bool()>& save) {
    std::vector<std::string> before;
    for (const std::string& path : paths) before.push_back(readFile(path));
    chmod(dir.c_str(), 0555);
    const bool readOnlyFailed = inChild([&] {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return false;
        return !save();
    });
    chmod(dir.c_str(), 0755);
    EXPECT_TRUE(readOnlyFailed) << "a save into a read-only directory did not report its failure";
    const bool fullFailed = inChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {
            256, 256
        };
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return false;
        return !save();
    });
    EXPECT_TRUE(fullFailed) << "a save without room did not report its failure";
    for (size_t i = 0; i < paths.size(); ++i) EXPECT_EQ(readFile(paths[i]), before[i]) << paths[i];
    EXPECT_EQ(removeTemporaries(dir), 0);
}

// A user phrase file of lines code, padding, phrase: large enough that a save takes a
// while, small enough that an add is accepted.
std::string phraseFile(int lines, const char* utf8Phrase) {
    std::string bytes;
    const std::string phrase = gbk(utf8Phrase);
    for (int i = 0; i < lines; ++i) {
        std::string code = {static_cast<char>('a' + i % 26), static_cast<char>('a' + i / 26 % 26),
                            static_cast<char>('a' + i / 676 % 26)};
        bytes += code + "     " + phrase + "\r\n";
    }
    return bytes;
}

// The web-address lists of this process in a home of their own.
std::string webHome(const char* name) {
    const std::string home = freshHome(name);
    winapiSetHome(home.c_str());
    resetProcessState();
    return home;
}

// A list file of records for every letter, each record's name and address its own.
std::string webListText(int perLetter, const char* host) {
    std::string bytes;
    for (int letter = 0; letter < 26; ++letter)
        for (int i = 0; i < perLetter; ++i) {
            const char l = static_cast<char>('a' + letter);
            bytes += std::string(1, l) + std::to_string(i) + " " + gbk("网站") + std::to_string(i) + " www." +
                     l + std::to_string(i) + "." + host + " \r\n";
        }
    return bytes;
}

// The records of a list text, one a line.
std::vector<std::string> recordsOf(const std::string& text) {
    std::vector<std::string> records;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) records.push_back(line);
    }
    return records;
}

// Saves edits of the personal list the module's way: each record added, or each removed.
bool saveEdits(const std::vector<std::string>& records, WebEditKind kind) {
    for (const std::string& record : records) recordWebEdit(WEB_PERSONAL_LIST, kind, record.c_str());
    return saveWebList(WEB_PERSONAL_LIST) == 1;
}

}  // namespace

TEST(CrashSafety, RegistryFileIsOldOrNewWhereverItsWriterIsKilled) {
    const std::string home = freshHome("kill");
    const Versions v = registryVersions(home);
    ASSERT_NE(v.a, v.b);
    ASSERT_GT(v.a.size(), 256u * 1024);
    const std::string path = home + "/registry.txt";

    // Each writer starts from a and saves b and a in turn until killed.
    const KillTally tally = killWritersAtRandom(
        {{path, {v.a, v.b}}}, home,
        [](int i) { return setValue(payload(i % 2 ? 'a' : 'b')) == ERROR_SUCCESS; }, 60, 1,
        [] { setValue(payload('a')); });
    report("registry", tally);
    expectEveryVersionSeen(tally);
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
        struct rlimit limit {
            64 * 1024, 64 * 1024
        };
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

TEST(CrashSafety, UserPhraseAddsAndDeletesLeaveTheOldOrTheNewFile) {
    const std::string home = freshHome("phrases");
    const std::string path = home + "/user.rt";
    const std::string base = phraseFile(1900, "工作");
    const std::string dialogLine = "jr      " + gbk("节日"), learnedLine = "zgrm    " + gbk("中国人民");
    // The dialog's add, learning's append (the initials of a sentence), then both deleted.
    const auto save = [&](int i) {
        switch (i % 4) {
        case 0: return addUserPhrase(path.c_str(), gbk("节日").c_str(), "jr") == StoreResult::done;
        case 1: return addUserPhrase(path.c_str(), gbk("中国人民").c_str(), "zgrm") == StoreResult::done;
        case 2: return deleteUserPhrase(path.c_str(), dialogLine.c_str()) == StoreResult::done;
        default: return deleteUserPhrase(path.c_str(), learnedLine.c_str()) == StoreResult::done;
        }
    };
    // Each writer starts from the file the cycle starts from.
    const KillTally tally = killWritersAtRandom(
        {{path,
          {base, base + dialogLine + "\r\n", base + dialogLine + "\r\n" + learnedLine + "\r\n",
           base + learnedLine + "\r\n"}}},
        home, save, 160, 1, [&] { writeFile(path, base); });
    report("user phrase add/delete", tally);
    expectEveryVersionSeen(tally);

    writeFile(path, base);
    expectFailedSavesKeepFiles(home, {path}, [&] {
        return addUserPhrase(path.c_str(), gbk("节日").c_str(), "jr") != StoreResult::failed;
    });
    writeFile(path, base + dialogLine + "\r\n");
    expectFailedSavesKeepFiles(home, {path}, [&] {
        return deleteUserPhrase(path.c_str(), dialogLine.c_str()) != StoreResult::failed;
    });
    std::system(("rm -rf '" + home + "'").c_str());
}

TEST(CrashSafety, PhraseBackupsAndRestoresLeaveEveryFileOldOrNew) {
    const std::string home = freshHome("backup");
    const std::string sources = home + "/sources", backups = home + "/backup", users = home + "/system";
    for (const std::string& dir : {sources, backups, users}) mkdir(dir.c_str(), 0755);
    // Two sets of the four files, each file its own.
    std::vector<std::string> first, second, targets;
    std::vector<Watched> watched;
    for (int f = 0; f < 4; ++f) {
        const std::string name = "/file" + std::to_string(f) + ".rt";
        first.push_back(sources + "/first" + name);
        second.push_back(sources + "/second" + name);
        mkdir((sources + "/first").c_str(), 0755);
        mkdir((sources + "/second").c_str(), 0755);
        const std::string a = phraseFile(1200 + f, "工作"), b = phraseFile(1300 + f, "学习");
        writeFile(first.back(), a);
        writeFile(second.back(), b);
        targets.push_back(users + name);
        writeFile(targets.back(), a);
        watched.push_back({targets.back(), {a, b}});
    }
    // Backup: the user's file copied into the backup folder, alternately from each set.
    const std::string backup = backups + "/file0.rt";
    writeFile(backup, readFile(first[0]));
    KillTally tally = killWritersAtRandom(
        {{backup, {readFile(first[0]), readFile(second[0])}}}, backups,
        [&](int i) { return copyUserFile((i % 2 ? first : second)[0].c_str(), backup.c_str()); }, 120, 1,
        [&] { copyUserFile(first[0].c_str(), backup.c_str()); });
    report("user phrase backup", tally);
    expectEveryVersionSeen(tally);

    // Restore: the four files replaced from one set, then from the other.
    tally = killWritersAtRandom(
        watched, users, [&](int i) { return replaceUserFiles(i % 2 ? first : second, targets) == 4; }, 120, 1,
        [&] { replaceUserFiles(first, targets); });
    report("user phrase restore", tally);
    expectEveryVersionSeen(tally);

    expectFailedSavesKeepFiles(backups, {backup},
                               [&] { return copyUserFile(second[0].c_str(), backup.c_str()); });
    for (size_t f = 0; f < targets.size(); ++f) writeFile(targets[f], readFile(first[f]));
    expectFailedSavesKeepFiles(users, targets, [&] { return replaceUserFiles(second, targets) >= 0; });
    std::system(("rm -rf '" + home + "'").c_str());
}

TEST(CrashSafety, WebListSavesAndMergesLeaveTheOldOrTheNewFile) {
    const std::string home = webHome("web");
    const std::string system = home + "/system", path = system + "/grwz.dat";
    // The list of a, as the module writes it; b is a with more records in every block.
    const std::vector<std::string> base = recordsOf(webListText(40, "cn")),
                                   more = recordsOf(webListText(8, "com"));
    writeFile(path, "");
    loadWebLists();
    ASSERT_TRUE(webListLoaded(WEB_PERSONAL_LIST));
    ASSERT_TRUE(saveEdits(base, WebEditKind::add));
    const std::string savedA = readFile(path);
    ASSERT_TRUE(saveEdits(more, WebEditKind::add));
    const std::string savedB = readFile(path);
    ASSERT_NE(savedA, savedB);
    const auto saveList = [&](bool b) { return saveEdits(more, b ? WebEditKind::add : WebEditKind::remove); };
    KillTally tally = killWritersAtRandom(
        {{path, {savedA, savedB}}}, system, [&](int i) { return saveList(i % 2 == 0); }, 150, 1,
        [&] { saveList(false); });
    report("web list save", tally);
    expectEveryVersionSeen(tally);

    // Two processes saving the list at once, as two programs with the module loaded may.
    tally = killWritersAtRandom(
        {{path, {savedA, savedB}}}, system, [&](int i) { return saveList(i % 2 == 0); }, 100, 2,
        [&] { saveList(false); });
    report("web list save, two writers", tally);

    // A merge from a backup folder, saved; then the merged records removed, saved.
    const std::string folder = home + "/merge";
    mkdir(folder.c_str(), 0755);
    const std::string mergeText = webListText(8, "org");
    writeFile(folder + "/grwz.dat", mergeText);
    ASSERT_TRUE(saveList(false));
    const auto merge = [&] {
        refreshWebLists();  // as the dialog does when it opens
        winapiPushFolderAnswer(folder.c_str());
        WebMergeOutcome added;
        return mergeWebList(WEB_PERSONAL_LIST, nullptr, &added) == 1 && added.added == 26 * 8 &&
               saveWebList(WEB_PERSONAL_LIST) == 1;
    };
    ASSERT_TRUE(merge());
    const std::string merged = readFile(path);
    const auto mergeOrRevert = [&](int i) {
        return i % 2 == 1 ? saveEdits(recordsOf(mergeText), WebEditKind::remove) : merge();
    };
    tally = killWritersAtRandom({{path, {savedA, merged}}}, system, mergeOrRevert, 120, 1,
                                [&] { saveEdits(recordsOf(mergeText), WebEditKind::remove); });
    report("web list merge", tally);
    expectEveryVersionSeen(tally);

    ASSERT_TRUE(saveEdits(recordsOf(mergeText), WebEditKind::remove));
    ASSERT_EQ(readFile(path), savedA);
    expectFailedSavesKeepFiles(system, {path}, [&] { return saveList(true); });
    std::system(("rm -rf '" + home + "'").c_str());
}
