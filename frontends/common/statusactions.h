// The status bar and its menus as a desktop's input-method menu offers them: 中/英, the
// input modes, 中文标点, 全角, the soft keyboards and the four dialogs, and 整句输入, which
// the module keeps in 我的个性 and a desktop's menu offers beside the others. Each engine shows
// these items in its own way (IBus properties, fcitx5 actions); what they are called, how
// they look in a state and what choosing one does is decided here, once.
#pragma once

#include "inputmodes.h"
#include "modulehost.h"

#include <string>
#include <vector>

// What the items show: read from the module after every key and action.
struct StatusState {
    bool chinese = true, chinesePunct = true, fullWidth = false;
    bool sentenceInput = true;  // pinyin's row 1 is the whole sentence (整句输入)
    InputMode mode = InputMode::Phonetic;
    int softLayout = -1;
    bool operator==(const StatusState&) const = default;
};

StatusState statusStateOf(const ModuleHost& host);

enum class ActionKind { Button, Toggle, Menu, Radio };

struct StatusAction {
    std::string name;   // "qx.chinese", "qx.mode.wubi", "qx.sentence", "qx.soft.3", ...
    std::string label;  // UTF-8
    std::string tip;
    ActionKind kind = ActionKind::Button;
    std::string menu;  // the name of the menu the item belongs to, "" for the top level
};

// Every item, top level in the bar's order, each menu's items after it. The layout names
// are the module's own, so the module must be open.
std::vector<StatusAction> statusActions(const ModuleHost& host);

// How an item looks in a state.
struct ActionLook {
    std::string label;
    bool checked = false;
};
ActionLook actionLook(const StatusAction& action, const StatusState& state);

// The dialogs: item name, the name the dialog program takes, the menu command.
struct DialogItem {
    const char* action;
    const char* program;  // "userphrases", "settings", "webaddresses", "about"
    int command;
};
const std::vector<DialogItem>& dialogItems();
// The menu command for a dialog program name or a status command, 0 for none.
int dialogCommandByName(const std::string& programName);
const char* dialogNameByCommand(int command);

// Acts on an item the person chose (chosen: a radio item becomes checked; its unchecking
// is no choice). Mode switches are typed as the module's own keys through typeKeys. A
// dialog is not opened here: its command is returned, and the engine opens it where a
// modal loop may run. Returns -1 for a name that is not ours, else the dialog's command
// or 0.
int activateStatusAction(ModuleHost& host, HIMC context, const std::string& name, bool chosen,
                         void (*typeKeys)(void* engine, const std::string& keys), void* engine);
