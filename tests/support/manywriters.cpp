#include "manywriters.h"

#include <windows.h>
#include <winapi_host.h>

#include "core/engine.h"
#include "core/userfile.h"
#include "phrases/userphrasestore.h"
#include "webaddress/weblists.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

long long nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

// The settings the workers tick in 我的个性, by the names their logs use.
const std::map<std::string, std::string> SETTING_NAMES = {
    {"caret", "\xB9\xE2\xB1\xEA\xB8\xFA\xCB\xE6"},  // 光标跟随
    {"hint", "\xC6\xB4\xD2\xF4\xCC\xE1\xCA\xBE"},   // 拼音提示
};

bool setSetting(const std::string& name, DWORD value) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\QX", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const LONG status =
        RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool getSetting(const std::string& name, DWORD& value) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\QX", 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD size = sizeof value, type = 0;
    const LONG status =
        RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

// A line of a phrase file as the store writes it.
bool wellFormedLine(const std::string& line) {
    if (line.size() < USER_CODE_COLUMN + 2) return false;
    size_t code = 0;
    while (code < line.size() && line[code] >= 'a' && line[code] <= 'z') ++code;
    if (code == 0 || code > PINYIN_CODE_LETTERS_MAX) return false;
    for (size_t i = code; i < USER_CODE_COLUMN; ++i)
        if (line[i] != ' ') return false;
    return validUserPhrase(std::string_view(line).substr(USER_CODE_COLUMN), PHRASE_BYTES_MAX);
}

void problem(ManyWritersOutcome& out, const std::string& text) {
    if (out.problems.size() < 12) out.problems.push_back(text);
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// One change of a log: when it began, when its outcome came (0 while none came), what it
// set and whether it was reported saved.
struct Change {
    char state = 'I';  // I (under way), S (saved), F (not saved)
    int worker = 0;
    long long begun = 0, ended = 0;
    std::string op, thing, value;
};

// "state time op key"; the key of an address or setting is its name, then its value.
bool parseEntry(const std::string& entry, Change& change) {
    std::istringstream in(entry);
    std::string state, op;
    if (!(in >> state >> change.begun >> op) || state.size() != 1 || op.size() != 2) return false;
    std::string key;
    std::getline(in, key);
    if (key.empty() || key[0] != ' ') return false;
    key.erase(0, 1);
    change.state = state[0];
    change.op = op;
    if (op[0] == 'A' || op == "S=") {
        const size_t space = key.find(' ');
        change.thing = key.substr(0, space);
        change.value = space == std::string::npos ? "" : key.substr(space + 1);
    } else {
        change.thing = key;
    }
    return true;
}

}  // namespace

ManyWritersOutcome runManyWriters(const std::string& home, const ManyWritersRun& run) {
    ManyWritersOutcome out;
    std::system(("rm -rf '" + home + "'").c_str());
    mkdir(home.c_str(), 0755);
    const std::string system = home + "/system";
    mkdir(system.c_str(), 0755);
    // Empty user files, as start-up leaves them, and the shape-code edition, where Ctrl
    // alone switches to English for typing the address fields.
    for (const char* name : {"freadx.rt", "PYCZ.rt", "grwz.dat"}) std::ofstream(system + "/" + name);
    winapiSetHome(home.c_str());
    if (!setSetting("\xD2\xF4\xD0\xCE\xB0\xE6\xD3\xC5\xCF\xC8", 0))
        problem(out, "setting not written");  // 音形版优先
    std::fflush(nullptr);

    const long long until = nowMs() + static_cast<long long>(run.seconds * 1000);
    std::mt19937 rng(run.seed);
    std::map<pid_t, int> live;
    std::map<int, long long> killedAt;  // by worker
    int nextId = 0;
    auto start = [&] {
        const int id = nextId++;
        const std::string seed = std::to_string(rng()), log = home + "/log." + std::to_string(id),
                          output = home + "/out." + std::to_string(id);
        const pid_t pid = fork();
        if (pid == 0) {
            const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0) {
                dup2(fd, 1);
                dup2(fd, 2);
            }
            execl(run.workerProgram.c_str(), run.workerProgram.c_str(), home.c_str(),
                  std::to_string(id).c_str(), seed.c_str(), std::to_string(until).c_str(), log.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        live[pid] = id;
        ++out.processes;
    };
    for (int i = 0; i < run.workers; ++i) start();
    while (nowMs() < until) {
        const int wait = run.killEveryMs > 0
                             ? static_cast<int>(rng() % (2u * static_cast<unsigned>(run.killEveryMs)))
                             : 50;
        std::this_thread::sleep_for(std::chrono::milliseconds(wait));
        if (run.killEveryMs <= 0 || nowMs() >= until || live.empty()) continue;
        auto victim = live.begin();
        std::advance(victim, static_cast<long>(rng() % live.size()));
        kill(victim->first, SIGKILL);
        waitpid(victim->first, nullptr, 0);
        killedAt[victim->second] = nowMs();
        live.erase(victim);
        ++out.kills;
        start();
    }
    // A worker ends after the change under way; one that does not within a while hangs.
    const long long giveUp = nowMs() + 30000;
    while (!live.empty()) {
        for (auto it = live.begin(); it != live.end();) {
            int status = 0;
            const pid_t done = waitpid(it->first, &status, WNOHANG);
            if (done == 0 && nowMs() < giveUp) {
                ++it;
                continue;
            }
            if (done == 0) {
                kill(it->first, SIGKILL);
                waitpid(it->first, nullptr, 0);
                problem(out, "worker " + std::to_string(it->second) + " did not stop");
            } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                problem(out, "worker " + std::to_string(it->second) + " failed: " +
                                 readAll(home + "/out." + std::to_string(it->second)).substr(0, 300));
            }
            it = live.erase(it);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    // The files as they are left.
    std::map<std::string, int> lines;  // phrase lines of both files, counted
    for (const char* name : {"freadx.rt", "PYCZ.rt"}) {
        std::vector<std::string> fileLines;
        if (!readUserPhraseList((system + "/" + name).c_str(), fileLines)) ++out.torn;
        out.phraseLines = std::max(out.phraseLines, static_cast<int>(fileLines.size()));
        for (const std::string& line : fileLines) {
            if (!wellFormedLine(line)) {
                ++out.torn;
                problem(out, std::string("torn line in ") + name);
            }
            if (++lines[line] == 2) {
                ++out.doubled;
                problem(out, std::string("doubled line in ") + name + ": " + line);
            }
        }
    }
    std::map<std::string, std::string> records;  // code -> "name address *" or "-"
    {
        FILE* file = std::fopen((system + "/grwz.dat").c_str(), "rb");
        static WebList list;
        int dropped = 0;
        if (file == nullptr || !readWebListFile(file, list, &dropped) || dropped != 0) ++out.torn;
        if (file) std::fclose(file);
        for (const WebBlock& block : list)
            for (int i = 0; i < webBlockCount(block); ++i) {
                WebFields fields;
                if (!splitWebRecord(block[i], fields)) continue;
                const std::string value = std::string(fields.name) + " " + std::string(fields.address) +
                                          (fields.starred ? " *" : " -");
                if (!records.emplace(std::string(fields.code), value).second) {
                    ++out.doubled;
                    problem(out, "doubled address " + std::string(fields.code));
                }
            }
    }
    winapiSetHome(home.c_str());  // the registry as the workers left it

    // Every log: the last reported outcome of each thing a worker changed.
    std::map<std::string, std::vector<Change>> settings;  // every setting change, by name
    for (int id = 0; id < nextId; ++id) {
        std::ifstream log(home + "/log." + std::to_string(id));
        std::map<std::string, Change> last;  // by op kind and thing
        std::string entry;
        while (std::getline(log, entry)) {
            Change change;
            change.worker = id;
            if (!parseEntry(entry, change)) {
                problem(out, "worker " + std::to_string(id) + ": log line " + entry);
                continue;
            }
            if (change.op == "A^") {  // a move-up changes no record's presence
                ++out.savedByOp[change.op];
                continue;
            }
            if (change.op == "S=") {
                std::vector<Change>& list = settings[change.thing];
                if (change.state == 'I') {
                    // Under way until its outcome, or until its worker was killed.
                    change.ended = killedAt.count(id) ? killedAt[id] : LLONG_MAX;
                    list.push_back(change);
                } else if (!list.empty() && list.back().state == 'I') {
                    list.back().state = change.state;
                    list.back().ended = change.begun;
                    list.back().value = change.value;
                }
            }
            Change& l = last[change.op.substr(0, 1) + change.thing];
            if (change.state == 'I') {
                l.state = 'I';
                continue;
            }
            if (change.state == 'S') {
                l = change;
                ++out.changes;
                ++out.savedByOp[change.op];
            } else {
                l.state = 'F';
                ++out.failures;
            }
        }
        for (const auto& [key, l] : last) {
            if (l.state == 'I') ++out.pending;
            if (l.state != 'S' || l.op == "S=") continue;  // never saved, or killed in its next change
            bool kept = true;
            if (l.op == "P+" || l.op == "L+") kept = lines.count(l.thing) == 1;
            if (l.op == "P-") kept = lines.count(l.thing) == 0;
            if (l.op == "A+" || l.op == "A*") kept = records.count(l.thing) && records[l.thing] == l.value;
            if (l.op == "A-") kept = records.count(l.thing) == 0;
            if (!kept) {
                ++out.lost;
                problem(out, "worker " + std::to_string(id) + ": " + l.op + " " + l.thing + " " + l.value +
                                 " lost" +
                                 (records.count(l.thing) ? " (file: " + records[l.thing] + ")" : ""));
            }
        }
    }
    // A setting holds the value of a saved change that no other saved change began after,
    // unless a change that may have stored its value without saying so (not saved, or
    // killed) could be the last.
    for (const auto& [name, changes] : settings) {
        std::vector<const Change*> last;
        for (const Change& c : changes) {
            if (c.state != 'S') continue;
            bool followed = false;
            for (const Change& d : changes) followed = followed || (d.state == 'S' && d.begun > c.ended);
            if (!followed) last.push_back(&c);
        }
        if (last.empty()) continue;
        bool unknownLast = false;
        for (const Change& u : changes) {
            if (u.state == 'S') continue;
            bool followed = false;
            for (const Change& d : changes) followed = followed || (d.state == 'S' && d.begun > u.ended);
            unknownLast = unknownLast || !followed;
        }
        if (unknownLast) continue;
        DWORD value = 2;
        getSetting(SETTING_NAMES.at(name), value);
        bool kept = false;
        for (const Change* c : last) kept = kept || std::to_string(value) == c->value;
        if (!kept) {
            ++out.lost;
            problem(out, "setting " + name + " is " + std::to_string(value) + ", not the last saved value");
        }
    }
    return out;
}
