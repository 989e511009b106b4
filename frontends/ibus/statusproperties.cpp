// The status bar's buttons and menus as IBus properties.
#include "statusproperties.h"

#include "resources/resource.h"

namespace {

constexpr const char* MODE_NAMES[] = {"qx.mode.phonetic", "qx.mode.shape", "qx.mode.wubi", "qx.mode.pinyin",
                                      "qx.mode.web"};
constexpr const char* MODE_LABELS[] = {"音形版", "形码版", "五笔", "拼音", "网址"};

struct DialogCommand {
    const char* name;
    const char* label;
    int command;
};
constexpr DialogCommand DIALOGS[] = {
    {"qx.dialog.userphrases", "自造词组", CMD_USER_PHRASES},
    {"qx.dialog.settings", "我的个性", CMD_SETTINGS},
    {"qx.dialog.webaddresses", "中文网址E-mail地址", CMD_WEB_ADDRESSES},
    {"qx.dialog.about", "关于", CMD_ABOUT},
};

IBusText* text(const char* utf8) { return ibus_text_new_from_string(utf8); }

IBusProperty* property(const char* name, IBusPropType type, const char* label, const char* tip,
                       IBusPropList* sub = nullptr) {
    IBusProperty* p = ibus_property_new(name, type, text(label), nullptr, text(tip), TRUE, TRUE,
                                        PROP_STATE_UNCHECKED, sub);
    g_object_ref_sink(p);
    return p;
}

void setChecked(IBusProperty* p, bool checked) {
    ibus_property_set_state(p, checked ? PROP_STATE_CHECKED : PROP_STATE_UNCHECKED);
}

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
    return s;
}

void StatusProperties::build(const ModuleHost& host) {
    list_ = ibus_prop_list_new();
    g_object_ref_sink(list_);
    chinese_ = property("qx.chinese", PROP_TYPE_NORMAL, "中", "中文/英文 (Ctrl)");
    punct_ = property("qx.punct", PROP_TYPE_TOGGLE, "中文标点", "中文标点/英文标点");
    width_ = property("qx.width", PROP_TYPE_TOGGLE, "全角", "全角/半角");

    IBusPropList* modes = ibus_prop_list_new();
    for (int i = 0; i < 5; ++i) {
        modeItems_[i] = property(MODE_NAMES[i], PROP_TYPE_RADIO, MODE_LABELS[i], MODE_LABELS[i]);
        ibus_prop_list_append(modes, modeItems_[i]);
    }
    modeMenu_ = property("qx.mode", PROP_TYPE_MENU, "音形版", "输入方式", modes);

    IBusPropList* layouts = ibus_prop_list_new();
    for (const auto& [command, name] : host.softLayouts()) {
        const std::string id = "qx.soft." + std::to_string(command - CMD_LAYOUT_FIRST);
        IBusProperty* item = property(id.c_str(), PROP_TYPE_RADIO, name.c_str(), name.c_str());
        ibus_prop_list_append(layouts, item);
        layoutItems_.emplace_back(command, item);
    }
    layoutOff_ = property("qx.soft.off", PROP_TYPE_RADIO, "关闭软键盘", "关闭软键盘");
    ibus_prop_list_append(layouts, layoutOff_);
    layoutMenu_ = property("qx.soft", PROP_TYPE_MENU, "软键盘", "软键盘", layouts);

    for (IBusProperty* p : {chinese_, modeMenu_, punct_, width_, layoutMenu_}) ibus_prop_list_append(list_, p);
    for (const DialogCommand& d : DIALOGS)
        ibus_prop_list_append(list_, property(d.name, PROP_TYPE_NORMAL, d.label, d.label));
}

void StatusProperties::apply(const StatusState& s) {
    ibus_property_set_label(chinese_, text(s.chinese ? "中" : "英"));
    ibus_property_set_symbol(chinese_, text(s.chinese ? "中" : "英"));
    setChecked(punct_, s.chinesePunct);
    ibus_property_set_label(punct_, text(s.chinesePunct ? "中文标点" : "英文标点"));
    setChecked(width_, s.fullWidth);
    ibus_property_set_label(width_, text(s.fullWidth ? "全角" : "半角"));
    const int mode = static_cast<int>(s.mode);
    for (int i = 0; i < 5; ++i) setChecked(modeItems_[i], i == mode);
    ibus_property_set_label(modeMenu_, text(MODE_LABELS[mode]));
    for (const auto& [command, item] : layoutItems_)
        setChecked(item, s.softLayout >= 0 && command == CMD_LAYOUT_FIRST + static_cast<unsigned>(s.softLayout));
    setChecked(layoutOff_, s.softLayout < 0);
}

void StatusProperties::registerWith(IBusEngine* engine, const StatusState& state) {
    if (list_ == nullptr) return;
    apply(state);
    ibus_engine_register_properties(engine, list_);
    shown_ = state;
    everShown_ = true;
}

void StatusProperties::update(IBusEngine* engine, const StatusState& s) {
    if (list_ == nullptr || (everShown_ && s == shown_)) return;
    apply(s);
    for (IBusProperty* p : {chinese_, punct_, width_, modeMenu_, layoutMenu_}) ibus_engine_update_property(engine, p);
    for (IBusProperty* p : modeItems_) ibus_engine_update_property(engine, p);
    for (const auto& item : layoutItems_) ibus_engine_update_property(engine, item.second);
    ibus_engine_update_property(engine, layoutOff_);
    shown_ = s;
    everShown_ = true;
}

bool StatusProperties::activate(ModuleHost& host, HIMC context, const char* name, unsigned state,
                                void (*typeKeys)(void*, const std::string&), void* engine) {
    const std::string id = name;
    if (id == "qx.chinese") {
        host.clickStatusButton(context, 0);
        return true;
    }
    if (id == "qx.punct" || id == "qx.width") {
        host.clickStatusButton(context, id == "qx.punct" ? 2 : 3);
        return true;
    }
    // A radio item is activated when it is chosen (checked); its unchecking is no choice.
    const bool chosen = state == PROP_STATE_CHECKED;
    for (int i = 0; i < 5; ++i) {
        if (id != MODE_NAMES[i]) continue;
        if (!chosen || host.modes() == nullptr) return true;
        const auto target = static_cast<InputMode>(i);
        // One step at a time, each read back from the module; bounded, whatever it does.
        for (int step = 0; step < 4; ++step) {
            const ModuleView view = host.view();
            const std::string keys = modeSwitchKeys(*host.modes(), host.engine()->chineseMode != 0,
                                                    !view.preedit.empty(), target);
            if (keys.empty()) break;
            typeKeys(engine, keys);
            if (keys == "[") break;  // the address list opens with the code that follows
        }
        return true;
    }
    if (id == "qx.soft.off") {
        if (chosen && host.softLayout() >= 0) host.chooseSoftLayout(context, CMD_SOFT_KEYBOARD_OFF);
        return true;
    }
    if (id.rfind("qx.soft.", 0) == 0) {
        const unsigned command = CMD_LAYOUT_FIRST + static_cast<unsigned>(std::stoi(id.substr(8)));
        const bool current = host.softLayout() >= 0 && command == CMD_LAYOUT_FIRST + unsigned(host.softLayout());
        if (chosen && !current) host.chooseSoftLayout(context, command);
        return true;
    }
    for (const DialogCommand& d : DIALOGS) {
        if (id != d.name) continue;
        host.chooseMenuCommand(context, d.command);
        return true;
    }
    return false;
}
