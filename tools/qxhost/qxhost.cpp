// qxhost: the module in an application on Linux. Types a key script (or a live terminal
// session) through the module and prints what the application's edit field received.
#include "gbktext.h"
#include "hostsession.h"
#include "scriptrun.h"
#include "terminal.h"
#include "trace.h"

#include <winapi_desktop.h>
#include <winapi_host.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void usage() {
    std::fputs(
        "usage: qxhost [--home DIR] [--set NAME=VALUE]... [--keys SCRIPT] [--trace] [--png FILE]\n"
        "              [--keep-pictures]\n"
        "Types SCRIPT through qx.ime into an edit field and prints its text; without --keys\n"
        "on a terminal, an interactive session (F2 Ctrl, F3 left Shift, F4 right Shift).\n",
        stderr);
}

struct Options {
    const char* home = nullptr;
    std::vector<std::pair<std::string, DWORD>> settings;
    const char* keys = nullptr;
    bool trace = false;
    const char* png = nullptr;
    bool keepPictures = false;
};

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--home" && hasValue) {
            options.home = argv[++i];
        } else if (argument == "--set" && hasValue) {
            const std::string setting = argv[++i];
            const size_t equals = setting.find('=');
            char* end = nullptr;
            if (equals == std::string::npos || equals == 0) return false;
            const unsigned long value = std::strtoul(setting.c_str() + equals + 1, &end, 0);
            if (end == setting.c_str() + equals + 1 || *end != '\0') return false;
            options.settings.emplace_back(utf8ToGbk(setting.substr(0, equals)), static_cast<DWORD>(value));
        } else if (argument == "--keys" && hasValue) {
            options.keys = argv[++i];
        } else if (argument == "--trace") {
            options.trace = true;
        } else if (argument == "--png" && hasValue) {
            options.png = argv[++i];
        } else if (argument == "--keep-pictures") {
            options.keepPictures = true;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        usage();
        return 2;
    }
    if (options.home != nullptr) winapiSetHome(options.home);
    for (const auto& [name, value] : options.settings) {
        if (!setSetting(name, value)) {
            std::fprintf(stderr, "qxhost: cannot write the setting %s\n", gbkToUtf8(name).c_str());
            return 1;
        }
    }
    std::vector<ScriptKey> keys;
    std::string error;
    if (options.keys != nullptr && !parseKeyScript(options.keys, keys, error)) {
        std::fprintf(stderr, "qxhost: %s\n", error.c_str());
        return 2;
    }

    if (!placePublicList()) std::fprintf(stderr, "qxhost: the public web-address list zwwz.dat was not placed\n");
    placeSentenceData();  // optional: without them pinyin scores by the tables' weights
    HostSession session;
    if (!openHostSession(session, "qx.ime", error)) {
        std::fprintf(stderr, "qxhost: %s\n", error.c_str());
        return 1;
    }
    if (!options.keepPictures) closePictures(session.ime);

    int status = 0;
    bool pictured = false;
    auto picture = [&] {
        pictured = true;
        if (options.png != nullptr && !winapiSaveScreenPng(options.png)) {
            std::fprintf(stderr, "qxhost: cannot write %s\n", options.png);
            status = 1;
        }
    };
    if (options.keys != nullptr) {
        // Keys go on inside the dialogs they open; a dialog left open at the end is
        // pictured first, then closed as a person would.
        TraceMarks before;
        ScriptRun::Report report;
        report.before = [&](const ScriptKey&) { before = traceMarks(); };
        report.typed = [&](const ScriptKey& key, const std::vector<KeyEvent>& events) {
            if (options.trace) std::fprintf(stderr, "%s\n", traceLine(session, key, events, before).c_str());
        };
        report.ended = [&](HWND) { picture(); };
        report.closing = [&](HWND modal, const char* how) {
            if (options.trace) std::fprintf(stderr, "%s\n", closingLine(modal, how).c_str());
        };
        report.refused = [&](HWND modal) {
            char title[256] = {};
            GetWindowTextA(modal, title, sizeof title);
            std::fprintf(stderr, "qxhost: the dialog \"%s\" stayed open after Esc and its close box\n",
                         gbkToUtf8(title).c_str());
            status = 1;
        };
        ScriptRun run(session.ime, keys, report);
        run.run();
    } else if (isatty(STDIN_FILENO)) {
        status = runInteractive(session);
    } else {
        usage();
        status = 2;
    }
    if (!pictured) picture();
    const std::string text = gbkToUtf8(session.ime.typist ? session.ime.typist->text() : std::string());
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
    closeHostSession(session);
    return status;
}
