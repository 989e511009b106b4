// ibus-engine-qx: qx as an IBus engine. The daemon starts it (--ibus) or it registers its
// own component; one engine object per desktop input context, each with a module input
// context of its own, all over the one module session of the process.
#include "modulehost.h"
#include "statusactions.h"
#include "statusproperties.h"
#ifdef QX_DIALOG_WINDOWS
#include "dialogwindows.h"
#endif

#include "gbktext.h"

#include <ibus.h>
#include <winapi_desktop.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

namespace {

ModuleHost host;
StatusProperties properties;
// Contexts of engines destroyed while a dialog was open on the module: destroyed once it
// has closed, since the dialog may still be working with the context it was opened on.
std::vector<HIMC> retired;

struct QxEngine {
    IBusEngine parent;
    HIMC context;
    ModifierTracker* modifiers;
    ModuleView* shown;
    std::set<uint32_t>* swallowed;  // key values whose press the module took
};

struct QxEngineClass {
    IBusEngineClass parent;
};

GType qx_engine_get_type();
#define QX_ENGINE(object) (reinterpret_cast<QxEngine*>(object))

// While a dialog of the module is open its own window takes the keys; applications keep theirs.
bool dialogOpen() {
#ifdef QX_DIALOG_WINDOWS
    return dialogwindows::dialogOpen();
#else
    return false;
#endif
}

void destroyRetired() {
    if (dialogOpen()) return;
    for (HIMC context : retired) host.destroyContext(context);
    retired.clear();
}

IBusText* text(const std::string& utf8) { return ibus_text_new_from_string(utf8.c_str()); }

// destroy() lets go of an engine's members while the object itself may live on in a
// reference held across a call that can run a message loop (a dialog): after such a call
// the engine is used only if it is still alive.
bool alive(const QxEngine* engine) { return engine->shown != nullptr; }

// The module's state, shown by the desktop: only what changed is sent.
void showView(QxEngine* engine, bool force = false) {
    IBusEngine* ibus = &engine->parent;
    const ModuleView view = host.view();
    ModuleView& shown = *engine->shown;
    if (!force && view == shown) return;
    if (force || view.preedit != shown.preedit || view.caret != shown.caret) {
        IBusText* preedit = text(view.preedit);
        if (!view.preedit.empty())
            ibus_text_append_attribute(preedit, IBUS_ATTR_TYPE_UNDERLINE, IBUS_ATTR_UNDERLINE_SINGLE, 0,
                                       static_cast<gint>(g_utf8_strlen(view.preedit.c_str(), -1)));
        ibus_engine_update_preedit_text(ibus, preedit, static_cast<guint>(view.caret), !view.preedit.empty());
    }
    if (force || view.candidates != shown.candidates || view.earlierPage != shown.earlierPage ||
        view.laterPage != shown.laterPage) {
        const guint size = view.candidates.empty() ? 1 : static_cast<guint>(view.candidates.size());
        IBusLookupTable* table = ibus_lookup_table_new(size, 0, FALSE, FALSE);
        for (size_t i = 0; i < view.candidates.size(); ++i) {
            ibus_lookup_table_append_candidate(table, text(view.candidates[i].text));
            ibus_lookup_table_set_label(table, static_cast<guint>(i), text(view.candidates[i].label));
        }
        ibus_engine_update_lookup_table(ibus, table, !view.candidates.empty());
    }
    if (force || view.aux != shown.aux)
        ibus_engine_update_auxiliary_text(ibus, text(view.aux), !view.aux.empty());
    shown = view;
}

void showStatus(QxEngine* engine) { properties.update(&engine->parent, statusStateOf(host)); }

void commit(QxEngine* engine, const std::string& gbk) {
    if (gbk.empty()) return;
    bool exact = true;
    const std::string utf8 = commitText(gbk, exact);
    if (!exact)
        g_warning("qx: a commit of %zu bytes was no GBK text; committed with replacement characters",
                  gbk.size());
    ibus_engine_commit_text(&engine->parent, text(utf8));
}

// A command the module posted during a key, run once the key's call has returned.
struct PostedCommand {
    QxEngine* engine;
    WPARAM command;
};

// After a command that may have run a dialog's loop: the dialog windows follow the stand-in,
// and an engine that still exists shows what the module holds now.
void showAfterCommand(QxEngine* engine) {
#ifdef QX_DIALOG_WINDOWS
    dialogwindows::sync();
#endif
    if (alive(engine)) {
        showView(engine);
        showStatus(engine);
    }
}

gboolean runPostedCommand(gpointer data) {
    auto* posted = static_cast<PostedCommand*>(data);
    QxEngine* engine = posted->engine;
    if (host.isOpen() && alive(engine) && !dialogOpen()) {
        host.runCommand(engine->context, posted->command);
        showAfterCommand(engine);
    }
    destroyRetired();
    g_object_unref(engine);
    delete posted;
    return G_SOURCE_REMOVE;
}

// Offers the module keys; true when the desktop's event is used up.
bool offerKeys(QxEngine* engine, const std::vector<ModuleKey>& keys, bool modifierEvent, guint keyval,
               guint keycode, guint state) {
    bool used = false;
    for (const ModuleKey& key : keys) {
        const ModuleHost::Answer answer = host.offer(engine->context, key);
        const bool own = &key == &keys.back();
        for (WPARAM command : answer.commands) {
            g_object_ref(engine);
            g_idle_add(runPostedCommand, new PostedCommand{engine, command});
        }
        if (!answer.taken) continue;
        commit(engine, answer.outcome.commit);
        if (!own || modifierEvent) continue;  // a modifier's own event always reaches the application
        if (handsBackOwnKey(answer.outcome, key.vk)) continue;
        used = true;
        // Committed text first, then the key the module handed back, in that order.
        for (uint8_t vk : answer.outcome.handedBack)
            if (vk == key.vk) ibus_engine_forward_key_event(&engine->parent, keyval, keycode, state);
    }
    showView(engine);
    showStatus(engine);
    return used;
}

gboolean processKeyEvent(IBusEngine* ibus, guint keyval, guint keycode, guint state) {
    QxEngine* engine = QX_ENGINE(ibus);
    if (!host.isOpen() || dialogOpen()) return FALSE;
    const bool release = (state & IBUS_RELEASE_MASK) != 0;
    const TrackedEvent tracked = engine->modifiers->event(keyval, state);
    if (release && !tracked.modifierEvent) {
        // The release of a key whose press was used up stays with it.
        return engine->swallowed->erase(keyval) > 0;
    }
    const bool used = offerKeys(engine, tracked.keys, tracked.modifierEvent, keyval, keycode, state);
    if (used) engine->swallowed->insert(keyval);
    return used;
}

// A key the desktop's own UI asked for: a page button or a clicked candidate.
void offerCharacter(QxEngine* engine, char ch) {
    ModuleKey key;
    if (ch == 0 || !moduleKeyFor(static_cast<unsigned char>(ch), 0, key)) return;
    offerKeys(engine, {key}, false, static_cast<unsigned char>(ch), 0, 0);
}

// The module's own keys for a switch the desktop's menu asked for ("\x1b" is Esc).
void typeKeys(void* ibus, const std::string& keys) {
    QxEngine* engine = QX_ENGINE(ibus);
    for (char ch : keys) {
        ModuleKey key;
        const uint32_t keyval = ch == '\x1b' ? 0xff1b : static_cast<unsigned char>(ch);
        if (moduleKeyFor(keyval, 0, key)) offerKeys(engine, {key}, false, keyval, 0, 0);
    }
}

struct Activation {
    QxEngine* engine;
    std::string name;
    guint state;
};

gboolean runActivation(gpointer data) {
    Activation* a = static_cast<Activation*>(data);
    QxEngine* engine = a->engine;
    if (host.isOpen() && !dialogOpen() && alive(engine) && engine->context != nullptr) {
        const int dialog = activateStatusAction(host, engine->context, a->name,
                                                a->state == PROP_STATE_CHECKED, typeKeys, engine);
        if (dialog > 0 && alive(engine)) host.chooseMenuCommand(engine->context, dialog);
        showAfterCommand(engine);
    }
    destroyRetired();
    g_object_unref(engine);
    delete a;
    return G_SOURCE_REMOVE;
}

// A choice from the desktop's menu runs once the call that brought it has returned: a
// dialog it opens waits in a loop of its own, which must not sit inside the bus's call.
void propertyActivate(IBusEngine* ibus, const gchar* name, guint state) {
    if (!host.isOpen() || dialogOpen()) return;  // one dialog at a time, as the status bar's menu waits
    g_object_ref(ibus);
    g_idle_add(runActivation, new Activation{QX_ENGINE(ibus), name, state});
}

void pageUp(IBusEngine* ibus) { offerCharacter(QX_ENGINE(ibus), '-'); }
void pageDown(IBusEngine* ibus) { offerCharacter(QX_ENGINE(ibus), '='); }

void candidateClicked(IBusEngine* ibus, guint index, guint, guint) {
    QxEngine* engine = QX_ENGINE(ibus);
    offerCharacter(engine, candidateKey(*engine->shown, index));
}

void focusIn(IBusEngine* ibus) {
    QxEngine* engine = QX_ENGINE(ibus);
    host.focusIn(engine->context);
    engine->modifiers->reset();
    showView(engine, true);
    properties.registerWith(ibus, statusStateOf(host));
}

// What is typed but not chosen stays with the context it was typed in: leaving it, the
// module lets it go as Esc does.
void abandonInput(QxEngine* engine) {
    if (!host.isOpen() || host.view().preedit.empty()) return;
    ModuleKey escape;
    if (moduleKeyFor(0xff1b, 0, escape)) host.offer(engine->context, escape);
}

void focusOut(IBusEngine* ibus) {
    QxEngine* engine = QX_ENGINE(ibus);
    abandonInput(engine);
    host.focusOut(engine->context);
    *engine->shown = ModuleView{};
    ibus_engine_hide_preedit_text(ibus);
    ibus_engine_hide_lookup_table(ibus);
    ibus_engine_hide_auxiliary_text(ibus);
}

void reset(IBusEngine* ibus) {
    QxEngine* engine = QX_ENGINE(ibus);
    abandonInput(engine);
    showView(engine);
}

void destroy(IBusObject* object) {
    QxEngine* engine = QX_ENGINE(object);
    if (engine->context != nullptr) {
        if (dialogOpen())
            retired.push_back(engine->context);
        else
            host.destroyContext(engine->context);
    }
    engine->context = nullptr;
    delete engine->modifiers;
    delete engine->shown;
    delete engine->swallowed;
    engine->modifiers = nullptr;
    engine->shown = nullptr;
    engine->swallowed = nullptr;
    IBUS_OBJECT_CLASS(g_type_class_peek_parent(G_OBJECT_GET_CLASS(object)))->destroy(object);
}

void qx_engine_class_init(QxEngineClass* klass, gpointer) {
    IBusEngineClass* engine = IBUS_ENGINE_CLASS(klass);
    engine->process_key_event = processKeyEvent;
    engine->focus_in = focusIn;
    engine->focus_out = focusOut;
    engine->reset = reset;
    engine->page_up = pageUp;
    engine->page_down = pageDown;
    engine->candidate_clicked = candidateClicked;
    engine->property_activate = propertyActivate;
    IBUS_OBJECT_CLASS(klass)->destroy = destroy;
}

void qx_engine_init(QxEngine* engine, gpointer) {
    engine->context = host.createContext();
    engine->modifiers = new ModifierTracker;
    engine->shown = new ModuleView;
    engine->swallowed = new std::set<uint32_t>;
}

GType qx_engine_get_type() {
    static GType type = 0;
    if (type == 0) {
        const GTypeInfo info = {sizeof(QxEngineClass),
                                nullptr,
                                nullptr,
                                reinterpret_cast<GClassInitFunc>(qx_engine_class_init),
                                nullptr,
                                nullptr,
                                sizeof(QxEngine),
                                0,
                                reinterpret_cast<GInstanceInitFunc>(qx_engine_init),
                                nullptr};
        type = g_type_register_static(IBUS_TYPE_ENGINE, "QxEngine", &info, GTypeFlags(0));
    }
    return type;
}

void disconnected(IBusBus*, gpointer) { ibus_quit(); }

}  // namespace

int main(int argc, char** argv) {
    bool byDaemon = false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--ibus") == 0) byDaemon = true;
    std::string error;
    if (!host.open(error)) {
        std::fprintf(stderr, "ibus-engine-qx: %s\n", error.c_str());
        return 1;
    }
    ibus_init();
    properties.build(host);
#ifdef QX_DIALOG_WINDOWS
    // The dialogs show on the desktop and wait for the person there.
    if (dialogwindows::start(host.session().ime, [] { return !host.view().preedit.empty(); }))
        winapiSetPerson(dialogwindows::personAt);
#endif
    IBusBus* bus = ibus_bus_new();
    if (!ibus_bus_is_connected(bus)) {
        std::fprintf(stderr, "ibus-engine-qx: cannot connect to the IBus daemon\n");
        host.close();
        return 1;
    }
    g_signal_connect(bus, "disconnected", G_CALLBACK(disconnected), nullptr);
    IBusFactory* factory = ibus_factory_new(ibus_bus_get_connection(bus));
    ibus_factory_add_engine(factory, "qx", qx_engine_get_type());
    if (byDaemon) {
        ibus_bus_request_name(bus, "org.freedesktop.IBus.Qx", 0);
    } else {
        IBusComponent* component = ibus_component_new("org.freedesktop.IBus.Qx", "qx input method",
                                                      QX_VERSION, "", "", "", "", "qx");
        ibus_component_add_engine(component, ibus_engine_desc_new("qx", "qx", "qx Chinese input method",
                                                                  "zh_CN", "", "", "", "us"));
        ibus_bus_register_component(bus, component);
    }
    ibus_main();
    host.close();
    return 0;
}
