// The status bar's buttons and menus as IBus properties.
#include "statusproperties.h"

#include <map>

namespace {

IBusText* text(const std::string& utf8) { return ibus_text_new_from_string(utf8.c_str()); }

IBusPropType typeOf(ActionKind kind) {
    switch (kind) {
    case ActionKind::Toggle: return PROP_TYPE_TOGGLE;
    case ActionKind::Menu: return PROP_TYPE_MENU;
    case ActionKind::Radio: return PROP_TYPE_RADIO;
    case ActionKind::Button: break;
    }
    return PROP_TYPE_NORMAL;
}

}  // namespace

void StatusProperties::build(const ModuleHost& host) {
    const std::vector<StatusAction> actions = statusActions(host);
    // A menu's items first, so that the menu is made with its list.
    std::map<std::string, IBusPropList*> menus;
    for (const StatusAction& a : actions)
        if (!a.menu.empty() && menus.count(a.menu) == 0) menus[a.menu] = ibus_prop_list_new();
    list_ = ibus_prop_list_new();
    g_object_ref_sink(list_);
    for (const StatusAction& a : actions) {
        IBusPropList* sub = a.kind == ActionKind::Menu && menus.count(a.name) ? menus[a.name] : nullptr;
        IBusProperty* p = ibus_property_new(a.name.c_str(), typeOf(a.kind), text(a.label), nullptr,
                                            text(a.tip), TRUE, TRUE, PROP_STATE_UNCHECKED, sub);
        g_object_ref_sink(p);
        ibus_prop_list_append(a.menu.empty() ? list_ : menus[a.menu], p);
        items_.emplace_back(a, p);
    }
}

void StatusProperties::apply(const StatusState& s) {
    for (auto& [action, p] : items_) {
        const ActionLook look = actionLook(action, s);
        ibus_property_set_label(p, text(look.label));
        if (action.name == "qx.chinese") ibus_property_set_symbol(p, text(look.label));
        if (action.kind == ActionKind::Toggle || action.kind == ActionKind::Radio)
            ibus_property_set_state(p, look.checked ? PROP_STATE_CHECKED : PROP_STATE_UNCHECKED);
    }
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
    for (auto& item : items_)
        if (item.first.kind != ActionKind::Button || item.first.name == "qx.chinese")
            ibus_engine_update_property(engine, item.second);
    shown_ = s;
    everShown_ = true;
}
