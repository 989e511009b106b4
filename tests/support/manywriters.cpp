#include "manywriters.h"

#include <windows.h>
#include <shlobj.h>
#include <winapi_desktop.h>
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
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// A GB2312 character of index i (0 to 6767).
std::string hanzi(int i) {
    i %= 72 * 94;
    return {static_cast<char>(0xB0 + i / 94), static_cast<char>(0xA1 + i % 94)};
}

std::string letters(unsigned n, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i, n /= 26) out += static_cast<char>('a' + n % 26);
    return out;
}

std::string phraseLine(const std::string& code, const std::string& phrase) {
    return code + std::string(USER_CODE_COLUMN - code.size(), ' ') + phrase;
}

// The sentences every worker may learn: each may be in the file once at most.
constexpr int LEARNED_POOL = 40;
std::string learnedPhrase(int k) { return hanzi(6000 + k) + hanzi(6100 + k) + hanzi(6200 + k); }
std::string learnedCode(int k) { return "zz" + letters(static_cast<unsigned>(k), 1); }

class Log {
public:
    explicit Log(const std::string& path)
        : fd_(open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644)) {}
    ~Log() { close(fd_); }
    // Before the change (I), and what the change reported: saved (S), not (F), or refused
    // for want of room (R).
    void write(char state, const char* op, const std::string& key) {
        const std::string line = std::string(1, state) + ' ' + op + ' ' + key + '\n';
        if (::write(fd_, line.data(), line.size()) < 0) _exit(3);
    }

private:
    int fd_;
};

LONG setSetting(const std::string& name, DWORD value) {
    HKEY key = nullptr;
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\QX", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr);
    if (status != ERROR_SUCCESS) return status;
    status =
        RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
    return status;
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

// One program with the module: random changes until the deadline.
[[noreturn]] void worker(int id, const std::string& home, Clock::time_point until, unsigned seed) {
    winapiSetHome(home.c_str());
    resetProcessState();
    loadWebLists();
    Log log(home + "/log." + std::to_string(id));
    std::mt19937 rng(seed);
    const std::string phrases = userFilePath("fread.rt"), learned = userFilePath("PYCZ.rt");
    std::vector<std::string> ownLines;  // lines this worker added and saw saved
    std::vector<std::string> ownCodes;  // codes of its addresses in the list
    unsigned sequence = 0;
    DWORD setting = 0;
    const int list = WEB_PERSONAL_LIST;

    auto saveList = [&](const char* op, const std::string& key) {
        log.write('I', op, key);
        const bool written = saveWebList(list) == 1;
        if (!written) discardWebEdits(list);  // as leaving the dialog without saving
        // An add another program's addresses left no room for is reported, not stored.
        const bool refused = written && !webListFiles.refused[list].empty();
        log.write(!written ? 'F' : refused ? 'R' : 'S', op, key);
        return written && !refused;
    };
    auto ownRecord = [&](const std::string& code) -> char* {
        WebBlock& block = webList(list)[webBlockOf(code[0])];
        for (int i = 0; i < webBlockCount(block); ++i) {
            WebFields fields;
            if (splitWebRecord(block[i], fields) && fields.code == code) return block[i];
        }
        return nullptr;
    };

    while (Clock::now() < until) {
        ++sequence;
        switch (rng() % 10) {
        case 0:
        case 1: {  // the dialog's add
            const std::string code = letters(rng(), 4),
                              phrase = hanzi(id) + hanzi(static_cast<int>(sequence));
            const std::string line = phraseLine(code, phrase);
            log.write('I', "P+", line);
            const StoreResult r = addUserPhrase(phrases.c_str(), phrase.c_str(), code.c_str());
            log.write(r == StoreResult::done ? 'S' : 'F', "P+", line);
            if (r == StoreResult::done) ownLines.push_back(line);
            break;
        }
        case 2: {  // the dialog's delete
            if (ownLines.empty()) break;
            const size_t at = rng() % ownLines.size();
            const std::string line = ownLines[at];
            log.write('I', "P-", line);
            const StoreResult r = deleteUserPhrase(phrases.c_str(), line.c_str());
            log.write(r == StoreResult::done ? 'S' : 'F', "P-", line);
            if (r == StoreResult::done) ownLines.erase(ownLines.begin() + static_cast<long>(at));
            break;
        }
        case 3: {  // a learned sentence, which others may learn at the same moment
            const int k = static_cast<int>(rng() % LEARNED_POOL);
            const std::string line = phraseLine(learnedCode(k), learnedPhrase(k));
            log.write('I', "L+", line);
            const StoreResult r =
                addUserPhrase(learned.c_str(), learnedPhrase(k).c_str(), learnedCode(k).c_str());
            log.write(r == StoreResult::done ? 'S' : 'F', "L+", line);
            break;
        }
        case 4: {  // an address added in the dialog, which then closes
            if (ownCodes.size() >= 12) break;
            const std::string code = letters(sequence % 26, 1) + "w" + letters(static_cast<unsigned>(id), 3) +
                                     letters(sequence, 3);
            const std::string record =
                code + " n" + std::to_string(id) + "_" + std::to_string(sequence) + " www." + code + ".cn ";
            recordWebEdit(list, WebEditKind::add, record.c_str());
            WebEdit edit{WebEditKind::add, {}};
            std::strncpy(edit.record, record.c_str(), WEB_RECORD_MAX);
            applyWebEdit(webList(list), edit);
            if (saveList("A+", code + " " + record)) ownCodes.push_back(code);
            break;
        }
        case 5: {  // one deleted
            if (ownCodes.empty()) break;
            const size_t at = rng() % ownCodes.size();
            const std::string code = ownCodes[at];
            char* record = ownRecord(code);
            if (record == nullptr) break;
            recordWebEdit(list, WebEditKind::remove, record);
            WebBlock& block = webList(list)[webBlockOf(code[0])];
            removeWebRecord(block, static_cast<int>((reinterpret_cast<WebRecord*>(record) - block)));
            if (saveList("A-", code)) ownCodes.erase(ownCodes.begin() + static_cast<long>(at));
            break;
        }
        case 6: {  // one starred or unstarred
            if (ownCodes.empty()) break;
            const std::string code = ownCodes[rng() % ownCodes.size()];
            char* record = ownRecord(code);
            if (record == nullptr) break;
            WebRecord before{};
            std::memcpy(before, record, sizeof before);
            WebBlock& block = webList(list)[webBlockOf(code[0])];
            const int at =
                toggleWebRecordStar(block, static_cast<int>(reinterpret_cast<WebRecord*>(record) - block));
            if (at < 0) break;
            recordWebEdit(list, WebEditKind::star, before);
            saveList("A*", code + " " + block[at]);
            break;
        }
        case 7: {  // a merge from a folder of the worker's own
            if (ownCodes.size() >= 12) break;
            const std::string folder = home + "/merge" + std::to_string(id);
            mkdir(folder.c_str(), 0755);
            const std::string code = "m" + letters(static_cast<unsigned>(id), 3) + letters(sequence, 3);
            const std::string record = code + " m" + std::to_string(sequence) + " merged." + code + ".cn ";
            std::ofstream(folder + "/grwz.dat", std::ios::binary | std::ios::trunc) << record << "\r\n";
            winapiPushFolderAnswer(folder.c_str());
            WebMergeOutcome outcome;
            if (mergeWebList(list, nullptr, &outcome) != 1 || outcome.added != 1) break;
            if (saveList("A+", code + " " + record)) ownCodes.push_back(code);
            break;
        }
        case 8: {  // web-address mode: the dialog opens or the mode is entered, a row chosen
            refreshWebLists();
            WebBlock& block = webList(list)[rng() % WEB_BLOCKS];
            const int count = webBlockCount(block);
            if (count < 2) break;
            const int at = static_cast<int>(rng() % static_cast<unsigned>(count));
            const int fixed = webFixedCount(block);
            if (at <= fixed) break;
            recordWebEdit(list, WebEditKind::moveUp, block[at]);
            moveWebRecord(block, at, fixed);
            if (rng() % 2) saveList("A^", block[fixed]);
            break;
        }
        default: {  // a setting
            const std::string key = "w" + std::to_string(id) + " " + std::to_string(++setting);
            log.write('I', "S=", key);
            const bool saved = setSetting("w" + std::to_string(id), setting) == ERROR_SUCCESS;
            log.write(saved ? 'S' : 'F', "S=", key);
            break;
        }
        }
    }
    _exit(0);
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

}  // namespace

ManyWritersOutcome runManyWriters(const std::string& home, const ManyWritersRun& run) {
    ManyWritersOutcome out;
    std::system(("rm -rf '" + home + "'").c_str());
    mkdir(home.c_str(), 0755);
    winapiSetHome(home.c_str());
    resetProcessState();
    const std::string system = home + "/system";
    mkdir(system.c_str(), 0755);
    // The public list as setup leaves it, and empty user files.
    for (const char* name : {"fread.rt", "PYCZ.rt", "grwz.dat"}) std::ofstream(system + "/" + name);
    std::fflush(nullptr);

    const auto until = Clock::now() + std::chrono::milliseconds(static_cast<long>(run.seconds * 1000));
    std::mt19937 rng(run.seed);
    std::map<pid_t, int> live;
    int nextId = 0;
    auto start = [&] {
        const int id = nextId++;
        const unsigned seed = rng();
        const pid_t pid = fork();
        if (pid == 0) worker(id, home, until, seed);
        live[pid] = id;
        ++out.processes;
    };
    for (int i = 0; i < run.workers; ++i) start();
    while (Clock::now() < until) {
        const int wait = run.killEveryMs > 0
                             ? static_cast<int>(rng() % (2u * static_cast<unsigned>(run.killEveryMs)))
                             : 50;
        std::this_thread::sleep_for(std::chrono::milliseconds(wait));
        if (run.killEveryMs <= 0 || Clock::now() >= until || live.empty()) continue;
        auto victim = live.begin();
        std::advance(victim, static_cast<long>(rng() % live.size()));
        kill(victim->first, SIGKILL);
        waitpid(victim->first, nullptr, 0);
        live.erase(victim);
        ++out.kills;
        start();
    }
    for (const auto& [pid, id] : live) {
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            problem(out, "worker " + std::to_string(id) + " failed");
    }

    // The files as they are left.
    std::map<std::string, int> lines;  // phrase lines of both files, counted
    for (const char* name : {"fread.rt", "PYCZ.rt"}) {
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
                problem(out, std::string("doubled line in ") + name);
            }
        }
    }
    std::map<std::string, std::string> records;  // code -> record
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
                if (!records.emplace(std::string(fields.code), block[i]).second) {
                    ++out.doubled;
                    problem(out, "doubled address " + std::string(fields.code));
                }
            }
    }
    winapiSetHome(home.c_str());

    // Every log: the last reported outcome of each thing a worker changed.
    for (int id = 0; id < nextId; ++id) {
        std::ifstream log(home + "/log." + std::to_string(id));
        struct Last {
            std::string op, value;
            bool saved = false, pending = false;
        };
        std::map<std::string, Last> last;  // by the thing changed
        std::string entry;
        while (std::getline(log, entry)) {
            if (entry.size() < 5) continue;
            const char state = entry[0];
            const std::string op = entry.substr(2, 2), key = entry.substr(5);
            std::string thing = key, value;
            if (op[0] == 'A' || op == "S=") {  // the code or setting name, then its state
                const size_t space = key.find(' ');
                thing = op.substr(0, 1) + key.substr(0, space);
                value = space == std::string::npos ? "" : key.substr(space + 1);
            } else {
                thing = op.substr(0, 1) + key;
            }
            if (op == "A^") continue;  // a move-up changes no record's presence
            Last& l = last[thing];
            if (state == 'I') {
                l.pending = true;
            } else {
                l.pending = false;
                if (state == 'S') {
                    l.op = op;
                    l.value = value;
                    l.saved = true;
                    ++out.changes;
                } else {
                    ++out.failures;
                    if (state == 'R') ++out.refused;
                }
            }
        }
        for (const auto& [thing, l] : last) {
            if (!l.saved || l.pending) continue;  // never saved, or killed in its next change
            const std::string key = thing.substr(1);
            bool kept = true;
            if (l.op == "P+" || l.op == "L+") kept = lines.count(key) == 1;
            if (l.op == "P-") kept = lines.count(key) == 0;
            if (l.op == "A+" || l.op == "A*") kept = records.count(key) && records[key] == l.value;
            if (l.op == "A-") kept = records.count(key) == 0;
            if (l.op == "S=") {
                DWORD value = 0;
                kept = getSetting(key, value) && value >= std::stoul(l.value);
            }
            if (!kept) {
                ++out.lost;
                problem(out, "worker " + std::to_string(id) + ": " + l.op + " " + key + " lost");
            }
        }
    }
    return out;
}
