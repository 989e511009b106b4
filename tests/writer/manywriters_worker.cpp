// One program of the many-writers run: it hosts the module through the shared session,
// as qxhost does, and makes random changes to the user files by keys, as a typist does:
// phrases added and deleted in 自造词组, pinyin sentences corrected with digits (learned),
// addresses added, deleted, starred, merged and changed in the address dialog, addresses
// chosen in web-address mode (moved up), boxes of 我的个性 ticked. Before each change it logs
// what it is about to do, and after it what the module reported: saved, or not (a message
// box, a box that did not change, a learned sentence the module does not offer back).
//
//   manywriters_worker HOME ID SEED UNTIL_MS LOG
//
// UNTIL_MS is the steady clock's time (ms) at which it stops; the parent kills it at will.
#include "hostsession.h"
#include "scriptrun.h"

#include <winapi_desktop.h>
#include <winapi_host.h>

#include "phrases/userphrasestore.h"
#include "resources/resource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Keys = std::vector<ScriptKey>;
using More = std::function<Keys(HWND modal, int kind)>;

long long nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

Keys keys(const std::string& script) {
    Keys out;
    std::string error;
    if (!parseKeyScript(script, out, error)) {
        std::fprintf(stderr, "manywriters_worker: %s in %s\n", error.c_str(), script.c_str());
        _exit(5);
    }
    return out;
}

std::string control(int id) { return "{Control:" + std::to_string(id) + "}"; }

std::string repeat(const char* key, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) out += key;
    return out;
}

std::string letters(unsigned n, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i, n /= 26) out += static_cast<char>('a' + n % 26);
    return out;
}

// Appends "state time op key" lines; O_APPEND keeps each line whole when killed.
class Log {
public:
    explicit Log(const std::string& path)
        : fd_(open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644)) {}
    ~Log() { close(fd_); }
    void write(char state, const char* op, const std::string& key) {
        const std::string line =
            std::string(1, state) + ' ' + std::to_string(nowMs()) + ' ' + op + ' ' + key + '\n';
        if (::write(fd_, line.data(), line.size()) < 0) _exit(3);
    }

private:
    int fd_;
};

std::string dialogText(HWND dialog, int id) {
    char text[512] = {};
    if (dialog != nullptr) GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

std::string listText(HWND list, int index) {
    const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0) return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(std::strlen(text.c_str()));
    return text;
}

// The first line of a dialog's list that the test accepts, or -1.
int findLine(HWND list, const std::function<bool(const std::string&)>& wanted) {
    const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; ++i)
        if (wanted(listText(list, i))) return i;
    return -1;
}

// One key that brings a list's selection nearer to the line at target, as a person moves
// through a list with the keyboard; empty once it is there.
std::string towardsLine(HWND dialog, int listId, int target) {
    HWND list = GetDlgItem(dialog, listId);
    const LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (GetFocus() != list || selected == LB_ERR) return control(listId);  // a click into it
    const long away = target - static_cast<long>(selected);
    if (away == 0) return {};
    if (away > 8) return "{PgDn}";
    if (away < -8) return "{PgUp}";
    return away > 0 ? "{Down}" : "{Up}";
}

struct OwnAddress {
    std::string name, address;
    bool starred = false;
};

// The value of an address as the log and the check write it.
std::string addressValue(const OwnAddress& a) { return a.name + " " + a.address + (a.starred ? " *" : " -"); }

class Writer {
public:
    Writer(HostSession& session, Log& log, unsigned seed, int id, std::string home)
        : session_(session), log_(log), rng_(seed), id_(id), home_(std::move(home)) {}

    void randomChange() {
        ++sequence_;
        switch (rng_() % 12) {
        case 0:
        case 1: addPhrase(); break;
        case 2: deletePhrase(); break;
        case 3:
        case 4: learnSentence(); break;
        case 5: addAddress(); break;
        case 6: deleteAddress(); break;
        case 7: starAddress(); break;
        case 8: modifyAddress(); break;
        case 9: mergeAddress(); break;
        case 10: moveUp(); break;
        default: changeSetting(); break;
        }
    }

private:
    // Plays the keys (and what more gives while they run) in the session; the message
    // boxes shown meanwhile are counted. False when a dialog refused to close.
    bool play(const Keys& start, More more = {}) {
        winapiClearDesktopEvents();
        winapiClearAnswers();
        bool closed = true;
        ScriptRun::Report report;
        report.refused = [&](HWND) { closed = false; };
        report.more = std::move(more);
        ScriptRun run(session_.ime, start, report);
        run.run();
        boxes_ = 0;
        yeses_ = 0;
        for (const WinapiDesktopEvent& e : winapiDesktopEvents()) {
            if (e.kind != "messagebox") continue;
            ++boxes_;
            yeses_ += e.value == IDYES;
        }
        return closed;
    }

    // Chinese is on when the module converts letters (the status bar shows 中).
    bool chinese() const { return session_.engine != nullptr && session_.engine->chineseMode != 0; }
    bool pinyin() const { return session_.modes != nullptr && session_.modes->pinyinMode != 0; }
    bool shapeCodeEdition() const {
        return session_.modes != nullptr && session_.modes->phoneticEdition == 0 && !session_.modes->wubiMode;
    }

    // Brings the module to the mode an operation needs, looking after each key as a
    // person looks at the status bar: English for typing fields, the shape-code edition,
    // or pinyin.
    enum class Want { english, shapeCode, pinyin };
    bool reach(Want want) {
        for (int tries = 0; tries < 6; ++tries) {
            std::string key;
            if (!chinese())
                key = want == Want::english ? "" : "{Ctrl}";
            else if (pinyin() && want != Want::pinyin)
                key = "{Esc}i9";
            else if (!pinyin() && !shapeCodeEdition())
                key = "{Esc}i9";
            else if (want == Want::pinyin && !pinyin())
                key = "{Esc}i6";
            else if (want == Want::english)
                key = "{Esc}{Ctrl}";
            if (key.empty()) return true;
            play(keys(key));
        }
        return false;
    }

    // 自造词组: three characters typed by their first letter and Space, the proposed code
    // replaced by one of four letters, 添加, 退出.
    void addPhrase() {
        if (!reach(Want::shapeCode)) return;
        static const char FIRST[] = "abcdefghjklmnopqrstwxyz";
        std::string script = "{Menu:" + std::to_string(CMD_USER_PHRASES) + "}";
        for (int i = 0; i < 3; ++i) script += std::string(1, FIRST[rng_() % (sizeof FIRST - 1)]) + "{Space}";
        const std::string code = letters(rng_(), 4);
        script += control(IDC_PHRASE_CODE) + "{End}" + repeat("{Back}", 8) + code;
        std::string line;
        bool asked = false, added = false;
        play(keys(script), [&](HWND modal, int kind) -> Keys {
            if (kind != MSGF_DIALOGBOX || modal != activeDialog()) return {};
            if (!asked) {
                asked = true;
                const std::string phrase = dialogText(modal, IDC_NEW_PHRASE);
                const std::string typed = dialogText(modal, IDC_PHRASE_CODE);
                if (phrase.empty() || typed.size() > USER_CODE_COLUMN) return keys(control(IDC_PHRASES_EXIT));
                line = typed + std::string(USER_CODE_COLUMN - typed.size(), ' ') + phrase;
                log_.write('I', "P+", line);
                return keys(control(IDC_ADD_PHRASE));
            }
            if (!added) {
                added = true;
                return keys(control(IDC_PHRASES_EXIT));
            }
            return {};
        });
        if (line.empty()) return;
        const bool saved = boxes_ == 0;
        log_.write(saved ? 'S' : 'F', "P+", line);
        if (saved) ownLines_.push_back(line);
    }

    // 自造词组: one of this program's lines selected in the list, 删除, 退出.
    void deletePhrase() {
        if (ownLines_.empty() || !reach(Want::shapeCode)) return;
        const size_t at = rng_() % ownLines_.size();
        const std::string line = ownLines_[at];
        bool logged = false, deleting = false;
        int steps = 0;
        play(keys("{Menu:" + std::to_string(CMD_USER_PHRASES) + "}"), [&](HWND modal, int kind) -> Keys {
            if (logged || kind != MSGF_DIALOGBOX || modal != activeDialog()) return {};
            const int target =
                findLine(GetDlgItem(modal, IDC_PHRASE_LIST), [&](const std::string& l) { return l == line; });
            if (target < 0 || ++steps > 400) {
                logged = true;  // not there (nothing to log): leave
                return keys(control(IDC_PHRASES_EXIT));
            }
            const std::string key = towardsLine(modal, IDC_PHRASE_LIST, target);
            if (!key.empty()) return keys(key);
            logged = deleting = true;
            log_.write('I', "P-", line);
            return keys(control(IDC_DELETE_PHRASE) + control(IDC_PHRASES_EXIT));
        });
        if (!deleting) return;
        const bool saved = boxes_ == 0;
        log_.write(saved ? 'S' : 'F', "P-", line);
        if (saved) ownLines_.erase(ownLines_.begin() + static_cast<long>(at));
    }

    // Pinyin: three syllables, row 3 chosen and then the sentence row for the rest, so
    // the sentence is corrected and learned into PYCZ.rt. The module reports nothing, so
    // the typist types the initials before and after: a sentence they offer only after is
    // the one saved.
    void learnSentence() {
        static const char* const SYLLABLES[] = {"wo",  "men", "jin",  "tian", "hao",  "ren",  "da",  "xue",
                                                "guo", "jia", "jian", "wen",  "ming", "gong", "zuo", "peng",
                                                "you", "kai", "xin",  "ju",   "dian", "nao",  "ji",  "lai",
                                                "qu",  "bei", "fang", "yu",   "hua",  "mei",  "li",  "ke"};
        if (!reach(Want::pinyin)) return;
        std::string typed, code;
        for (int i = 0; i < 3; ++i) {
            const char* s = SYLLABLES[rng_() % (sizeof SYLLABLES / sizeof *SYLLABLES)];
            typed += s;
            code += s[0];
        }
        // What the initials give before: a sentence they gave already proves nothing.
        const std::string beforeAll = text();
        play(keys("{Esc}" + code + "{Space}{Esc}"));
        const std::string already = text().substr(std::min(beforeAll.size(), text().size()));
        const std::string before = text();
        play(keys("{Esc}" + typed + "3{Space}"));
        const std::string sentence = text().substr(std::min(before.size(), text().size()));
        if (sentence.size() != 2 * code.size() || sentence.find_first_of("0123456789") != std::string::npos ||
            sentence == already) {
            play(keys("{Esc}"));
            return;
        }
        const std::string line = code + std::string(USER_CODE_COLUMN - code.size(), ' ') + sentence;
        log_.write('I', "L+", line);
        const std::string typedAgain = text();
        play(keys(code + "{Space}"));
        const std::string offered = text().substr(std::min(typedAgain.size(), text().size()));
        log_.write(offered == sentence ? 'S' : 'F', "L+", line);
        play(keys("{Esc}"));
    }

    // The address dialog on the personal list, with English on for the fields.
    std::string openAddresses() const {
        return "{Menu:" + std::to_string(CMD_WEB_ADDRESSES) + "}" + control(IDC_WEB_PERSONAL);
    }

    void addAddress() {
        if (ownAddresses_.size() >= 12 || !reach(Want::english)) return;
        const std::string code =
            letters(sequence_ % 26, 1) + "w" + letters(static_cast<unsigned>(id_), 3) + letters(sequence_, 3);
        OwnAddress a{"n" + std::to_string(id_) + "x" + std::to_string(sequence_), "www." + code + ".cn",
                     false};
        log_.write('I', "A+", code + " " + addressValue(a));
        play(keys(openAddresses() + control(IDC_WEB_CODE) + code + control(IDC_WEB_NAME) + a.name +
                  control(IDC_WEB_ADDRESS) + a.address + control(IDC_WEB_ADD) + control(IDC_WEB_CLOSE)));
        const bool saved = boxes_ == 0;
        log_.write(saved ? 'S' : 'F', "A+", code + " " + addressValue(a));
        if (saved) ownAddresses_[code] = a;
    }

    // Selects the line of one of this program's addresses in the dialog, then types then.
    // False when the line was not found (nothing was changed, nothing logged).
    bool onOwnAddress(const std::string& code, const std::function<std::string(HWND dialog)>& then) {
        bool done = false, acted = false;
        int steps = 0;
        play(keys(openAddresses()), [&](HWND modal, int kind) -> Keys {
            if (done || kind != MSGF_DIALOGBOX || modal != activeDialog()) return {};
            const int target = findLine(GetDlgItem(modal, IDC_WEB_LIST), [&](const std::string& l) {
                return l.compare(0, code.size() + 1, code + " ") == 0;
            });
            if (target < 0 || ++steps > 400) {
                done = true;
                return keys(control(IDC_WEB_CLOSE));
            }
            const std::string key = towardsLine(modal, IDC_WEB_LIST, target);
            if (!key.empty()) return keys(key);
            done = acted = true;
            return keys(then(modal) + control(IDC_WEB_CLOSE));
        });
        return acted;
    }

    const std::string* randomOwnCode() {
        if (ownAddresses_.empty()) return nullptr;
        auto it = ownAddresses_.begin();
        std::advance(it, static_cast<long>(rng_() % ownAddresses_.size()));
        return &it->first;
    }

    void deleteAddress() {
        const std::string* chosen = randomOwnCode();
        if (chosen == nullptr || !reach(Want::english)) return;
        const std::string code = *chosen;
        const bool acted = onOwnAddress(code, [&](HWND) {
            log_.write('I', "A-", code);
            return "{Answer:IDYES}" + control(IDC_WEB_DELETE);
        });
        if (!acted) return;
        // The question answered Yes is the only box a delete shows when it is saved.
        const bool saved = boxes_ == 1 && yeses_ == 1;
        log_.write(saved ? 'S' : 'F', "A-", code);
        if (saved) ownAddresses_.erase(code);
    }

    void starAddress() {
        const std::string* chosen = randomOwnCode();
        if (chosen == nullptr || !reach(Want::english)) return;
        const std::string code = *chosen;
        OwnAddress a = ownAddresses_[code];
        a.starred = !a.starred;
        const bool acted = onOwnAddress(code, [&](HWND) {
            log_.write('I', "A*", code + " " + addressValue(a));
            return control(IDC_WEB_STAR);
        });
        if (!acted) return;
        const bool saved = boxes_ == 0;
        log_.write(saved ? 'S' : 'F', "A*", code + " " + addressValue(a));
        if (saved) ownAddresses_[code] = a;
    }

    // 修改: the record into the fields, a new name typed over the old, 添加.
    void modifyAddress() {
        const std::string* chosen = randomOwnCode();
        if (chosen == nullptr || !reach(Want::english)) return;
        const std::string code = *chosen;
        OwnAddress a = ownAddresses_[code];
        a.name = "r" + std::to_string(id_) + "x" + std::to_string(sequence_);
        const bool acted = onOwnAddress(code, [&](HWND) {
            log_.write('I', "A+", code + " " + addressValue(a));
            return control(IDC_WEB_MODIFY) + control(IDC_WEB_NAME) + "{End}" + repeat("{Back}", 40) + a.name +
                   control(IDC_WEB_ADD);
        });
        if (!acted) return;
        const bool saved = boxes_ == 0;
        log_.write(saved ? 'S' : 'F', "A+", code + " " + addressValue(a));
        if (saved) ownAddresses_[code] = a;
    }

    // 添加个人网址: a folder of this program's own holding one new record.
    void mergeAddress() {
        if (ownAddresses_.size() >= 12 || !reach(Want::english)) return;
        const std::string folder = home_ + "/merge" + std::to_string(id_);
        mkdir(folder.c_str(), 0755);
        const std::string code = "m" + letters(static_cast<unsigned>(id_), 3) + letters(sequence_, 3);
        OwnAddress a{"m" + std::to_string(sequence_), "merged." + code + ".cn", false};
        std::ofstream(folder + "/grwz.dat", std::ios::binary | std::ios::trunc)
            << code << ' ' << a.name << ' ' << a.address << " \r\n";
        log_.write('I', "A+", code + " " + addressValue(a));
        play(keys(openAddresses() + "{Folder:" + folder + "}" + control(IDC_WEB_MERGE_PERSONAL) +
                  control(IDC_WEB_CLOSE)));
        const bool saved = boxes_ == 0;
        log_.write(saved ? 'S' : 'F', "A+", code + " " + addressValue(a));
        if (saved) ownAddresses_[code] = a;
    }

    // Web-address mode on the personal list: a letter and the second row, which moves
    // that address up; the list is saved when a dialog closes or the module is unloaded.
    void moveUp() {
        if (!reach(Want::shapeCode)) return;
        const std::string before = text();
        const std::string* code = randomOwnCode();
        play(keys("]" + (code ? code->substr(0, 1) : letters(rng_(), 1)) + "2{Esc}"));
        if (text() != before) log_.write('S', "A^", text().substr(std::min(before.size(), text().size())));
    }

    // 我的个性: one box ticked or cleared, which the dialog stores at once; the box shows
    // whether it was.
    void changeSetting() {
        static const struct {
            int control;
            const char* name;
        } BOXES[] = {{IDC_CARET_FOLLOW, "caret"}, {IDC_PINYIN_HINT, "hint"}};
        const auto& box = BOXES[rng_() % 2];
        int step = 0;
        bool was = false, now = false;
        play(keys("{Menu:" + std::to_string(CMD_SETTINGS) + "}"), [&](HWND modal, int kind) -> Keys {
            if (kind != MSGF_DIALOGBOX || modal != activeDialog()) return {};
            switch (step++) {
            case 0:
                was = IsDlgButtonChecked(modal, box.control) == BST_CHECKED;
                log_.write('I', "S=", std::string(box.name) + " " + (was ? "0" : "1"));
                return keys(control(box.control));
            case 1:
                now = IsDlgButtonChecked(modal, box.control) == BST_CHECKED;
                return keys(control(IDCANCEL));
            default: return {};
            }
        });
        if (step < 2) return;
        log_.write(now != was ? 'S' : 'F', "S=", std::string(box.name) + " " + (now ? "1" : "0"));
    }

    const std::string& text() const {
        static const std::string none;
        return session_.ime.typist ? session_.ime.typist->text() : none;
    }

    HostSession& session_;
    Log& log_;
    std::mt19937 rng_;
    int id_;
    std::string home_;
    unsigned sequence_ = 0;
    int boxes_ = 0, yeses_ = 0;
    std::vector<std::string> ownLines_;
    std::map<std::string, OwnAddress> ownAddresses_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fputs("usage: manywriters_worker HOME ID SEED UNTIL_MS LOG\n", stderr);
        return 2;
    }
    winapiSetHome(argv[1]);
    const int id = std::atoi(argv[2]);
    const unsigned seed = static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10));
    const long long until = std::atoll(argv[4]);
    Log log(argv[5]);
    HostSession session;
    std::string error;
    if (!openHostSession(session, "qx.ime", error)) {
        std::fprintf(stderr, "manywriters_worker: %s\n", error.c_str());
        return 4;
    }
    closePictures(session.ime);
    Writer writer(session, log, seed, id, argv[1]);
    while (nowMs() < until) writer.randomChange();
    closeHostSession(session);
    return 0;
}
