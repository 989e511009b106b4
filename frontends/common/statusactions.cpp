// The status bar's buttons and menus, named and acted on for both desktop engines.
#include "statusactions.h"

#include "resources/resource.h"

namespace {

constexpr const char* MODE_NAMES[] = {"qx.mode.phonetic", "qx.mode.shape", "qx.mode.wubi", "qx.mode.pinyin",
                                      "qx.mode.web"};
constexpr const char* MODE_LABELS[] = {"音形版", "形码版", "五笔", "拼音", "网址"};
constexpr const char* SOFT_PREFIX = "qx.soft.";

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

}  // namespace

StatusState statusStateOf(const ModuleHost& host) {
    StatusState s;
    const EngineContext* c = host.engine();
    if (c == nullptr || host.modes() == nullptr) return s;
    s.chinese = c->chineseMode != 0;
    s.chinesePunct = c->chinesePunct != 0;
    s.fullWidth = c->fullWidth != 0;
    s.mode = inputModeOf(*host.modes());
    s.softLayout = host.softLayout();
    s.sentenceInput = host.modes()->sentenceInput != 0;
    return s;
}

const std::vector<DialogItem>& dialogItems() {
    static const std::vector<DialogItem> items = {
        {"qx.dialog.userphrases", "userphrases", CMD_USER_PHRASES},
        {"qx.dialog.settings", "settings", CMD_SETTINGS},
        {"qx.dialog.webaddresses", "webaddresses", CMD_WEB_ADDRESSES},
        {"qx.dialog.about", "about", CMD_ABOUT},
    };
    return items;
}

int dialogCommandByName(const std::string& programName) {
    for (const DialogItem& d : dialogItems())
        if (programName == d.program) return d.command;
    return 0;
}

const char* dialogNameByCommand(int command) {
    for (const DialogItem& d : dialogItems())
        if (command == d.command) return d.program;
    return nullptr;
}

std::vector<StatusAction> statusActions(const ModuleHost& host) {
    static constexpr const char* DIALOG_LABELS[] = {"自造词组", "我的个性", "中文网址E-mail地址", "关于"};
    std::vector<StatusAction> out;
    out.push_back({"qx.chinese", "中", "中文/英文 (Ctrl)", ActionKind::Button, ""});
    out.push_back({"qx.mode", "音形版", "输入方式", ActionKind::Menu, ""});
    for (int i = 0; i < 5; ++i)
        out.push_back({MODE_NAMES[i], MODE_LABELS[i], MODE_LABELS[i], ActionKind::Radio, "qx.mode"});
    out.push_back({"qx.punct", "中文标点", "中文标点/英文标点", ActionKind::Toggle, ""});
    out.push_back({"qx.width", "全角", "全角/半角", ActionKind::Toggle, ""});
    out.push_back({"qx.sentence", "整句输入", "拼音整句输入/逐词输入", ActionKind::Toggle, ""});
    out.push_back({"qx.soft", "软键盘", "软键盘", ActionKind::Menu, ""});
    for (const auto& [command, name] : host.softLayouts())
        out.push_back({SOFT_PREFIX + std::to_string(command - CMD_LAYOUT_FIRST), name, name,
                       ActionKind::Radio, "qx.soft"});
    out.push_back({"qx.soft.off", "关闭软键盘", "关闭软键盘", ActionKind::Radio, "qx.soft"});
    for (size_t i = 0; i < dialogItems().size(); ++i)
        out.push_back({dialogItems()[i].action, DIALOG_LABELS[i], DIALOG_LABELS[i], ActionKind::Button, ""});
    return out;
}

ActionLook actionLook(const StatusAction& a, const StatusState& s) {
    const std::string& id = a.name;
    if (id == "qx.chinese") return {s.chinese ? "中" : "英", s.chinese};
    if (id == "qx.punct") return {s.chinesePunct ? "中文标点" : "英文标点", s.chinesePunct};
    if (id == "qx.width") return {s.fullWidth ? "全角" : "半角", s.fullWidth};
    if (id == "qx.sentence") return {a.label, s.sentenceInput};
    if (id == "qx.mode") return {MODE_LABELS[static_cast<int>(s.mode)], false};
    for (int i = 0; i < 5; ++i)
        if (id == MODE_NAMES[i]) return {a.label, i == static_cast<int>(s.mode)};
    if (id == "qx.soft.off") return {a.label, s.softLayout < 0};
    if (startsWith(id, SOFT_PREFIX) && id != "qx.soft")
        return {a.label, s.softLayout >= 0 && id == SOFT_PREFIX + std::to_string(s.softLayout)};
    return {a.label, false};
}

int activateStatusAction(ModuleHost& host, HIMC context, const std::string& id, bool chosen,
                         void (*typeKeys)(void*, const std::string&), void* engine) {
    if (id == "qx.chinese") {
        host.clickStatusButton(context, 0);
        return 0;
    }
    if (id == "qx.punct" || id == "qx.width") {
        host.clickStatusButton(context, id == "qx.punct" ? 2 : 3);
        return 0;
    }
    if (id == "qx.sentence") {  // flips, as the box in 我的个性 does, and is stored
        host.runCommand(context, CMD_SENTENCE_INPUT);
        return 0;
    }
    for (int i = 0; i < 5; ++i) {
        if (id != MODE_NAMES[i]) continue;
        if (!chosen || host.modes() == nullptr) return 0;
        const auto target = static_cast<InputMode>(i);
        // One step at a time, each read back from the module; bounded, whatever it does.
        for (int step = 0; step < 4; ++step) {
            const std::string keys = modeSwitchKeys(*host.modes(), host.engine()->chineseMode != 0,
                                                    !host.view().preedit.empty(), target);
            if (keys.empty()) break;
            typeKeys(engine, keys);
            if (keys == "[") break;  // the address list opens with the code that follows
        }
        return 0;
    }
    if (id == "qx.soft.off") {
        if (chosen && host.softLayout() >= 0) host.chooseSoftLayout(context, CMD_SOFT_KEYBOARD_OFF);
        return 0;
    }
    if (startsWith(id, SOFT_PREFIX) && id != "qx.soft") {
        const std::string number = id.substr(std::char_traits<char>::length(SOFT_PREFIX));
        if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos ||
            number.size() > 3)
            return -1;
        const unsigned command = CMD_LAYOUT_FIRST + static_cast<unsigned>(std::stoi(number));
        if (command > CMD_LAYOUT_LAST) return -1;
        const bool current =
            host.softLayout() >= 0 && command == CMD_LAYOUT_FIRST + unsigned(host.softLayout());
        if (chosen && !current) host.chooseSoftLayout(context, command);
        return 0;
    }
    for (const DialogItem& d : dialogItems())
        if (id == d.action) return d.command;
    return -1;
}
