// The fcitx5 engine inside a real fcitx5 instance with fcitx5's test front end: keys go
// in as an application's would, and what the engine does is read back from the input
// context: commits (the front end checks each against its expectation, in order),
// preedit with its caret, candidates with their labels and paging, the auxiliary line
// and the status area's actions. The real module and data libraries; no display.
#include "gbktext.h"

#include <testfrontend_public.h>

#include <fcitx-utils/eventdispatcher.h>
#include <fcitx-utils/key.h>
#include <fcitx/action.h>
#include <fcitx/event.h>
#include <fcitx/addonmanager.h>
#include <fcitx/candidatelist.h>
#include <fcitx/inputcontext.h>
#include <fcitx/inputcontextmanager.h>
#include <fcitx/inputmethodgroup.h>
#include <fcitx/inputmethodmanager.h>
#include <fcitx/inputpanel.h>
#include <fcitx/instance.h>
#include <fcitx/menu.h>
#include <fcitx/statusarea.h>
#include <fcitx/userinterfacemanager.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace stdfs = std::filesystem;
using namespace fcitx;

namespace {

int failures = 0;

#define CHECK(condition, ...)                                                           \
    do {                                                                                \
        if (!(condition)) {                                                             \
            ++failures;                                                                 \
            std::fprintf(stderr, "FAILED %s:%d: %s: ", __FILE__, __LINE__, #condition); \
            std::fprintf(stderr, __VA_ARGS__);                                          \
            std::fprintf(stderr, "\n");                                                 \
        }                                                                               \
    } while (0)

struct Run {
    Instance* instance;
    AddonInstance* frontend;
    ICUUID uuid;
    InputContext* ic;

    void key(const char* name, bool release = false) {
        frontend->call<ITestFrontend::keyEvent>(uuid, Key(name), release);
    }
    // A press and its release, as a person types.
    void type(const std::string& keys) {
        for (char ch : keys) {
            const std::string name = ch == ' ' ? "space" : std::string(1, ch);
            key(name.c_str());
            key(name.c_str(), true);
        }
    }
    int expected = 0;
    void expectCommit(const std::string& text) {
        ++expected;
        frontend->call<ITestFrontend::pushCommitExpectation>(text);
    }
    std::string preedit() const {
        const InputPanel& panel = ic->inputPanel();
        return (panel.clientPreedit().empty() ? panel.preedit() : panel.clientPreedit()).toString();
    }
    int caret() const {
        const InputPanel& panel = ic->inputPanel();
        return (panel.clientPreedit().empty() ? panel.preedit() : panel.clientPreedit()).cursor();
    }
    std::vector<std::string> candidates(std::vector<std::string>* labels = nullptr) const {
        std::vector<std::string> out;
        const auto list = ic->inputPanel().candidateList();
        for (int i = 0; list && i < list->size(); ++i) {
            out.push_back(list->candidate(i).text().toString());
            if (labels != nullptr) labels->push_back(list->label(i).toString());
        }
        return out;
    }
    Action* action(const std::string& name) { return instance->userInterfaceManager().lookupAction(name); }
};

void typing(Run& r) {
    // Five-stroke (the home's setting): khk shows its code and 中 first, labelled by Space.
    r.type("khk");
    CHECK(r.preedit() == "khk", "preedit %s", r.preedit().c_str());
    CHECK(r.caret() == 3, "caret %d", r.caret());
    std::vector<std::string> labels;
    const auto list = r.candidates(&labels);
    CHECK(!list.empty() && list[0] == "中", "first candidate %s", list.empty() ? "(none)" : list[0].c_str());
    CHECK(!labels.empty() && labels[0] == "␣ ", "first label %s",
          labels.empty() ? "(none)" : labels[0].c_str());
    r.expectCommit("中");
    r.type(" ");
    CHECK(r.preedit().empty(), "preedit after Space %s", r.preedit().c_str());
    CHECK(r.candidates().empty(), "candidates after Space: %zu", r.candidates().size());

    // Ctrl alone: English; letters are not the engine's. Ctrl again: Chinese.
    r.key("Control_L");
    r.key("Control_L", true);
    CHECK(r.action("qx.chinese") && r.action("qx.chinese")->shortText(r.ic) == "英", "after Ctrl: %s",
          r.action("qx.chinese") ? r.action("qx.chinese")->shortText(r.ic).c_str() : "(no action)");
    r.type("kh");
    CHECK(r.preedit().empty(), "English typed no code: %s", r.preedit().c_str());
    r.key("Control_L");
    r.key("Control_L", true);
    CHECK(r.action("qx.chinese")->shortText(r.ic) == "中", "after Ctrl again");

    // The candidate window's paging: the module's own.
    r.type("g");
    auto page = r.ic->inputPanel().candidateList();
    CHECK(page && page->toPageable() && page->toPageable()->hasNext(), "g offers a next page");
    if (page && page->toPageable() && page->toPageable()->hasNext()) {
        // The completions page on the auxiliary line; the list keeps Space's choice.
        const std::string first = r.ic->inputPanel().auxUp().toString();
        page->toPageable()->next();
        const auto after = r.ic->inputPanel().candidateList();
        CHECK(after && after->toPageable()->hasPrev(), "the next page offers the one before");
        CHECK(r.ic->inputPanel().auxUp().toString() != first, "the page turned: %s", first.c_str());
    }
    r.key("Escape");
    r.key("Escape", true);
    CHECK(r.preedit().empty(), "Esc let the code go");

    // A candidate chosen in the window is chosen by its label's key.
    r.type("khk");
    const auto chosen = r.ic->inputPanel().candidateList();
    if (chosen && chosen->size() > 0) {
        r.expectCommit(chosen->candidate(0).text().toString());
        chosen->candidate(0).select(r.ic);
    }
    CHECK(r.preedit().empty(), "a chosen candidate ends the code");
}

void statusArea(Run& r) {
    // The status area holds the bar's items; each menu holds its own.
    std::vector<std::string> names;
    for (Action* a : r.ic->statusArea().allActions()) names.push_back(a->name());
    for (const char* wanted :
         {"qx.chinese", "qx.mode", "qx.punct", "qx.width", "qx.sentence", "qx.soft", "qx.dialog.userphrases",
          "qx.dialog.settings", "qx.dialog.webaddresses", "qx.dialog.about"}) {
        bool found = false;
        for (const std::string& n : names) found = found || n == wanted;
        CHECK(found, "status area lacks %s", wanted);
    }
    Action* soft = r.action("qx.soft");
    CHECK(soft && soft->menu() && soft->menu()->actions().size() == 14, "soft keyboard menu: %zu items",
          soft && soft->menu() ? soft->menu()->actions().size() : 0);

    // The modes: pinyin from the menu, then a sentence; its page offers the next one.
    r.action("qx.mode.pinyin")->activate(r.ic);
    CHECK(r.action("qx.mode")->shortText(r.ic) == "拼音", "mode %s",
          r.action("qx.mode")->shortText(r.ic).c_str());
    CHECK(r.action("qx.mode.pinyin")->isChecked(r.ic), "拼音 checked");
    r.type("shi");
    std::vector<std::string> labels;
    CHECK(r.candidates(&labels).size() == 10, "pinyin rows: %zu", r.candidates().size());
    CHECK(!labels.empty() && labels[0] == "1 ", "pinyin label %s", labels.empty() ? "" : labels[0].c_str());
    const auto list = r.ic->inputPanel().candidateList();
    CHECK(list && list->toPageable() && list->toPageable()->hasNext(), "pinyin offers page-down");
    for (int i = 0; i < 3; ++i) {
        r.key("BackSpace");
        r.key("BackSpace", true);
    }
    CHECK(r.preedit().empty(), "pinyin line emptied: %s", r.preedit().c_str());
    r.type("zhongguoren");
    CHECK(r.preedit() == "zhong guo ren", "pinyin preedit %s", r.preedit().c_str());
    // The sentence row: one Space commits the whole line.
    r.expectCommit("中国人");
    r.type(" ");
    CHECK(r.preedit().empty(), "pinyin delivered");

    // [ opens the public address list; bd, then row 1.
    r.key("bracketleft");
    r.key("bracketleft", true);
    CHECK(r.action("qx.mode")->shortText(r.ic) == "网址", "mode after [: %s",
          r.action("qx.mode")->shortText(r.ic).c_str());
    r.type("bd");
    CHECK(!r.candidates().empty() && r.candidates()[0].find("www.baidu.com") != std::string::npos,
          "bd lists baidu");
    r.expectCommit("www.baidu.com");
    r.type("1");

    // Full width from its toggle: a digit typed while idle is a full-width one.
    r.action("qx.mode.wubi")->activate(r.ic);
    CHECK(r.action("qx.mode")->shortText(r.ic) == "五笔", "back to 五笔");
    r.expectCommit("中");
    r.type("khk ");
    r.action("qx.width")->activate(r.ic);
    CHECK(r.action("qx.width")->isChecked(r.ic), "全角 checked");
    r.expectCommit("７");
    r.type("7");
    r.action("qx.width")->activate(r.ic);
    CHECK(!r.action("qx.width")->isChecked(r.ic), "半角 again");

    // A soft keyboard: Russian types л for a.
    r.action("qx.soft.2")->activate(r.ic);
    CHECK(r.action("qx.soft.2")->isChecked(r.ic), "Russian layout checked");
    r.expectCommit("л");
    r.type("a");
    r.action("qx.soft.off")->activate(r.ic);
    CHECK(r.action("qx.soft.off")->isChecked(r.ic), "soft keyboard off");

    // The third identical wrong key asks for 自造词组: it opens in a program of its own
    // (here without a display it cannot, and says so), and typing goes on at once.
    r.action("qx.mode.phonetic")->activate(r.ic);
    r.type("abcdzzz");
    r.type("zl");
    r.expectCommit("中");
    r.type(" ");
    CHECK(r.preedit().empty(), "typing went on after the wrong keys");
}

// A phrase file edited by hand, with bytes that are no GBK: the phrase is offered and
// committed with replacement characters, not dropped.
void notGbk(Run& r, const stdfs::path& home) {
    std::ofstream(home / "system" / "WBCZ.rt", std::ios::binary) << "qqqq    \xD6\xD0\x80\x80\r\n";
    r.action("qx.mode.wubi")->activate(r.ic);
    r.type("qqqq");
    std::vector<std::string> labels;
    const auto list = r.candidates(&labels);
    CHECK(list.size() >= 2 && labels[1] == ", ", "the phrase is the second candidate");
    if (list.size() >= 2) {
        CHECK(list[1].rfind("中", 0) == 0 && list[1].find("\xEF\xBF\xBD") != std::string::npos,
              "shown with replacement characters: %s", list[1].c_str());
        r.expectCommit(list[1]);
    }
    r.type(",");
    CHECK(r.preedit().empty(), "the phrase was committed");
}

}  // namespace

int main() {
    const stdfs::path home = stdfs::temp_directory_path() / ("qx-fcitx5-test-" + std::to_string(getpid()));
    stdfs::remove_all(home);
    stdfs::create_directories(home / "nowhere");
    setenv("QX_HOME", home.c_str(), 1);
    // fcitx5's paths: our addon and the test addons only, nothing of the user's.
    setenv("SKIP_FCITX_PATH", "1", 1);
    setenv("FCITX_ADDON_DIRS", (std::string(QX_BIN_DIR) + ":/usr/lib/x86_64-linux-gnu/fcitx5").c_str(), 1);
    setenv("FCITX_DATA_DIRS",
           (std::string(QX_FCITX5_DATA_DIR) + ":/usr/share/fcitx5/testing:/usr/share/fcitx5").c_str(), 1);
    setenv("FCITX_DATA_HOME", (home / "nowhere").c_str(), 1);
    setenv("FCITX_CONFIG_HOME", (home / "nowhere").c_str(), 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    // Five-stroke first, set as a person would with qxreg.
    const std::string set =
        std::string(QX_BIN_DIR) + "/qxreg add 'HKLM\\Software\\QX' /v 五笔优先 /t REG_DWORD /d 1 >/dev/null";
    if (std::system(set.c_str()) != 0) {
        std::fprintf(stderr, "FAILED: qxreg\n");
        return 1;
    }

    char arg0[] = "fcitx5_engine_test", arg1[] = "--disable=all",
         arg2[] = "--enable=testim,testfrontend,testui,qx";
    char* argv[] = {arg0, arg1, arg2};
    Instance instance(3, argv);
    instance.addonManager().registerDefaultLoader(nullptr);
    EventDispatcher dispatcher;
    dispatcher.attach(&instance.eventLoop());
    // The front end checks each commit against the next expectation; every expectation
    // must also have been met.
    int commits = 0;
    auto watcher = instance.watchEvent(EventType::InputContextCommitString, EventWatcherPhase::PreInputMethod,
                                       [&commits](Event&) { ++commits; });
    dispatcher.schedule([&] {
        AddonInstance* frontend = instance.addonManager().addon("testfrontend");
        CHECK(frontend != nullptr, "no test front end");
        CHECK(instance.addonManager().addon("qx", true) != nullptr, "the qx addon did not load");
        if (frontend == nullptr || instance.addonManager().addon("qx", true) == nullptr) {
            instance.exit();
            return;
        }
        InputMethodGroup group = instance.inputMethodManager().currentGroup();
        group.inputMethodList().clear();
        group.inputMethodList().push_back(InputMethodGroupItem("keyboard-us"));
        group.inputMethodList().push_back(InputMethodGroupItem("qx"));
        group.setDefaultInputMethod("");
        instance.inputMethodManager().setGroup(group);

        Run r{&instance, frontend, frontend->call<ITestFrontend::createInputContext>("testapp"), nullptr};
        r.ic = instance.inputContextManager().findByUUID(r.uuid);
        r.ic->focusIn();
        instance.setCurrentInputMethod(r.ic, "qx", true);
        CHECK(instance.inputMethod(r.ic) == "qx", "current input method %s",
              instance.inputMethod(r.ic).c_str());
        typing(r);
        statusArea(r);
        notGbk(r, home);
        CHECK(commits == r.expected, "%d commits for %d expected", commits, r.expected);
        frontend->call<ITestFrontend::destroyInputContext>(r.uuid);
        instance.exit();
    });
    instance.exec();
    stdfs::remove_all(home);
    std::printf("%s\n", failures == 0 ? "fcitx5 engine: all checks passed" : "fcitx5 engine: FAILED");
    return failures == 0 ? 0 : 1;
}
