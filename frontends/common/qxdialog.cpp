// qx-dialog: one of the module's dialogs as a desktop window, in a program of its own.
// A desktop engine that runs inside another program's process (fcitx5's addons) starts it
// rather than running a dialog's modal loop there. It opens its own session with the
// module over the same home (~/.qx or $QX_HOME), so the dialog edits the same files, and
// the engine reads them again at its next use.
//
// usage: qx-dialog userphrases|settings|webaddresses|about [--mode phonetic|shape|wubi|pinyin|web]
// Exit status: 0 the dialog was shown and closed, 1 it could not be, 2 bad usage,
// 3 another qx dialog is open already.
#include "dialogwindows.h"
#include "modulehost.h"
#include "statusactions.h"

#include <winapi_desktop.h>
#include <winapi_host.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

ModuleHost host;

bool composing() { return !host.view().preedit.empty(); }

void typeKeys(void*, const std::string& keys) {
    for (char ch : keys) {
        ModuleKey key;
        const uint32_t keyval = ch == '\x1b' ? 0xff1b : static_cast<unsigned char>(ch);
        if (moduleKeyFor(keyval, 0, key)) host.offer(host.session().ime.context, key);
    }
}

int usage() {
    std::fprintf(stderr,
                 "usage: qx-dialog userphrases|settings|webaddresses|about "
                 "[--mode phonetic|shape|wubi|pinyin|web]\n");
    return 2;
}

// One dialog at a time for the whole home, as the status bar's menu waits for one: a
// lock on a file of the home, let go when this process ends however it ends.
bool onlyDialog() {
    const std::string path = std::string(winapiHome()) + "/dialog.lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    return fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;  // kept open until exit
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const int command = dialogCommandByName(argv[1]);
    if (command == 0) return usage();
    std::string mode;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--mode") == 0 && i + 1 < argc)
            mode = argv[++i];
        else
            return usage();
    }
    static constexpr const char* MODES[] = {"phonetic", "shape", "wubi", "pinyin", "web"};
    std::string modeAction;
    for (const char* m : MODES)
        if (mode == m) modeAction = std::string("qx.mode.") + m;
    if (!mode.empty() && modeAction.empty()) return usage();

    if (!onlyDialog()) {
        std::fprintf(stderr, "qx-dialog: another qx dialog is open\n");
        return 3;
    }
    std::string error;
    if (!host.open(error)) {
        std::fprintf(stderr, "qx-dialog: %s\n", error.c_str());
        return 1;
    }
    if (!dialogwindows::start(host.session().ime, composing)) {
        std::fprintf(stderr, "qx-dialog: no display to show the dialog on\n");
        host.close();
        return 1;
    }
    winapiSetPerson(dialogwindows::personAt);
    const HIMC context = host.session().ime.context;
    // The phrase dialog edits the file of the mode that is on: the engine's, given here.
    // The address list is left with Esc: the dialog opens with nothing typed.
    if (!modeAction.empty() && modeAction != "qx.mode.web")
        activateStatusAction(host, context, modeAction, true, typeKeys, nullptr);
    host.chooseMenuCommand(context, command);
    dialogwindows::sync();
    host.close();
    return 0;
}
