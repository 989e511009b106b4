// qx as an fcitx5 input method: an addon that fcitx5 loads into its own process, over the
// same module session as the IBus engine (frontends/common). One module input context
// for each fcitx5 input context; the code is the preedit, the module's list the candidate
// window with its own labels and paging, hints and messages the auxiliary line, and the
// status bar and its menus the status area's actions. The module's dialogs run in a
// program of their own (qx-dialog): a modal loop has no place inside fcitx5.
#include "keytranslation.h"
#include "modulehost.h"
#include "statusactions.h"

#include "resources/resource.h"

#include <fcitx-utils/event.h>
#include <fcitx-utils/eventdispatcher.h>
#include <fcitx-utils/log.h>
#include <fcitx-utils/misc.h>
#include <fcitx/action.h>
#include <fcitx/addonfactory.h>
#include <fcitx/addoninstance.h>
#include <fcitx/addonmanager.h>
#include <fcitx/candidatelist.h>
#include <fcitx/inputcontext.h>
#include <fcitx/inputcontextmanager.h>
#include <fcitx/inputcontextproperty.h>
#include <fcitx/inputmethodengine.h>
#include <fcitx/inputpanel.h>
#include <fcitx/instance.h>
#include <fcitx/menu.h>
#include <fcitx/statusarea.h>
#include <fcitx/userinterfacemanager.h>

#include <dlfcn.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace fcitx;

class QxEngine;

// The state of one fcitx5 input context: its module context and what was shown in it.
struct QxState : InputContextProperty {
    QxState(ModuleHost& host) : host(host), context(host.createContext()) {}
    ~QxState() override {
        if (host.isOpen() && context != nullptr) host.destroyContext(context);
    }
    ModuleHost& host;
    HIMC context;
    ModifierTracker modifiers;
    ModuleView shown;
    bool everShown = false;
    std::set<uint32_t> swallowed;  // key values whose press the module took
};

// Where the module, its data libraries and the dialog program are: next to this addon in
// the build folder, else where they are installed.
std::string moduleDirectory() {
    namespace fs = std::filesystem;
    Dl_info info{};
    std::error_code error;
    if (dladdr(reinterpret_cast<void*>(&moduleDirectory), &info) != 0 && info.dli_fname != nullptr) {
        const fs::path here = fs::path(info.dli_fname).parent_path();
        if (fs::exists(here / "qx.ime", error)) return here.string();
    }
    return QX_MODULE_DIR;
}

std::string::size_type utf8Offset(const std::string& text, int characters) {
    std::string::size_type i = 0;
    for (int n = 0; n < characters && i < text.size(); ++n) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
    }
    return i;
}

class QxEngine final : public InputMethodEngineV2 {
public:
    explicit QxEngine(Instance* instance);
    ~QxEngine() override;

    void keyEvent(const InputMethodEntry& entry, fcitx::KeyEvent& event) override;
    void activate(const InputMethodEntry& entry, InputContextEvent& event) override;
    void deactivate(const InputMethodEntry& entry, InputContextEvent& event) override;
    void reset(const InputMethodEntry& entry, InputContextEvent& event) override;
    std::string subModeLabelImpl(const InputMethodEntry&, InputContext& ic) override;
    std::string subModeIconImpl(const InputMethodEntry&, InputContext&) override { return {}; }

    // A key the candidate window asked for: a page or a chosen candidate.
    void offerCharacter(InputContext* ic, char ch);
    void activateAction(InputContext* ic, const StatusAction& action);
    StatusState statusState() const { return statusStateOf(host_); }

private:
    QxState* state(InputContext* ic) { return ic->propertyFor(&factory_); }
    bool offerKeys(InputContext* ic, const std::vector<ModuleKey>& keys, bool modifierEvent, const Key& raw);
    void show(InputContext* ic, bool force = false);
    void updateActions(InputContext* ic);
    void commit(InputContext* ic, const std::string& gbk);
    void runCommand(TrackableObjectReference<InputContext> ic, WPARAM command);
    void openDialog(int command);
    void abandonInput(InputContext* ic);
    static void typeKeys(void* self, const std::string& keys);

    Instance* instance_;
    ModuleHost host_;
    std::string moduleDir_;
    EventDispatcher dispatcher_;
    FactoryFor<QxState> factory_{[this](InputContext&) { return new QxState(host_); }};
    std::vector<std::unique_ptr<Action>> actions_;
    std::vector<std::unique_ptr<Menu>> menus_;
    std::vector<Action*> topLevel_;
    StatusState shownStatus_;
    InputContext* typing_ = nullptr;  // the context typeKeys types into
};

class QxCandidate : public CandidateWord {
public:
    QxCandidate(QxEngine* engine, const ViewCandidate& c)
        : CandidateWord(Text(c.text)), engine_(engine), key_(c.key) {}
    void select(InputContext* ic) const override { engine_->offerCharacter(ic, key_); }

private:
    QxEngine* engine_;
    char key_;
};

// The module's list as fcitx5's candidate list: its labels, its paging.
class QxCandidates : public CandidateList, public PageableCandidateList {
public:
    QxCandidates(QxEngine* engine, InputContext* ic, const ModuleView& view)
        : engine_(engine), ic_(ic), earlier_(view.earlierPage), later_(view.laterPage) {
        setPageable(this);
        for (const ViewCandidate& c : view.candidates) {
            labels_.emplace_back(c.label + " ");
            words_.push_back(std::make_unique<QxCandidate>(engine, c));
        }
    }
    const Text& label(int idx) const override { return labels_.at(static_cast<size_t>(idx)); }
    const CandidateWord& candidate(int idx) const override { return *words_.at(static_cast<size_t>(idx)); }
    int size() const override { return static_cast<int>(words_.size()); }
    int cursorIndex() const override { return 0; }
    CandidateLayoutHint layoutHint() const override { return CandidateLayoutHint::Horizontal; }
    bool hasPrev() const override { return earlier_; }
    bool hasNext() const override { return later_; }
    void prev() override { engine_->offerCharacter(ic_, '-'); }
    void next() override { engine_->offerCharacter(ic_, '='); }
    bool usedNextBefore() const override { return false; }

private:
    QxEngine* engine_;
    InputContext* ic_;
    bool earlier_, later_;
    std::vector<Text> labels_;
    std::vector<std::unique_ptr<QxCandidate>> words_;
};

// One item of the status bar or its menus.
class QxAction : public Action {
public:
    QxAction(QxEngine* engine, StatusAction item) : engine_(engine), item_(std::move(item)) {
        setCheckable(item_.kind == ActionKind::Toggle || item_.kind == ActionKind::Radio);
    }
    std::string shortText(InputContext*) const override {
        return actionLook(item_, engine_->statusState()).label;
    }
    std::string longText(InputContext*) const override { return item_.tip; }
    std::string icon(InputContext*) const override { return {}; }
    bool isChecked(InputContext*) const override { return actionLook(item_, engine_->statusState()).checked; }
    void activate(InputContext* ic) override {
        if (item_.kind != ActionKind::Menu) engine_->activateAction(ic, item_);
    }

private:
    QxEngine* engine_;
    StatusAction item_;
};

QxEngine::QxEngine(Instance* instance) : instance_(instance), moduleDir_(moduleDirectory()) {
    std::string error;
    if (!host_.open(error, moduleDir_)) {
        FCITX_ERROR() << "qx: " << error;
        return;
    }
    dispatcher_.attach(&instance_->eventLoop());
    instance_->inputContextManager().registerProperty("qxState", &factory_);
    std::map<std::string, Menu*> menus;
    for (const StatusAction& item : statusActions(host_)) {
        auto action = std::make_unique<QxAction>(this, item);
        instance_->userInterfaceManager().registerAction(item.name, action.get());
        if (item.kind == ActionKind::Menu) {
            menus_.push_back(std::make_unique<Menu>());
            action->setMenu(menus_.back().get());
            menus[item.name] = menus_.back().get();
        }
        if (item.menu.empty())
            topLevel_.push_back(action.get());
        else if (menus.count(item.menu))
            menus[item.menu]->addAction(action.get());
        actions_.push_back(std::move(action));
    }
    shownStatus_ = statusState();
}

QxEngine::~QxEngine() {
    // The input contexts' states go with the factory; they no longer touch the closed module.
    dispatcher_.detach();
    actions_.clear();
    menus_.clear();
    host_.close();
}

void QxEngine::commit(InputContext* ic, const std::string& gbk) {
    if (gbk.empty()) return;
    bool exact = true;
    const std::string utf8 = commitText(gbk, exact);
    if (!exact)
        FCITX_WARN() << "qx: a commit of " << gbk.size()
                     << " bytes was no GBK text; committed with replacement characters";
    ic->commitString(utf8);
}

bool QxEngine::offerKeys(InputContext* ic, const std::vector<ModuleKey>& keys, bool modifierEvent,
                         const Key& raw) {
    QxState* st = state(ic);
    bool used = false;
    for (const ModuleKey& key : keys) {
        const ModuleHost::Answer answer = host_.offer(st->context, key);
        const bool own = &key == &keys.back();
        // Posted commands run once this call has returned, never inside it.
        for (WPARAM command : answer.commands)
            dispatcher_.schedule([this, ref = ic->watch(), command] { runCommand(ref, command); });
        if (!answer.taken) continue;
        commit(ic, answer.outcome.commit);
        if (!own || modifierEvent) continue;  // a modifier's own event always reaches the application
        if (handsBackOwnKey(answer.outcome, key.vk)) continue;
        used = true;
        // Committed text first, then the key the module handed back, in that order.
        for (uint8_t vk : answer.outcome.handedBack)
            if (vk == key.vk && raw.isValid()) ic->forwardKey(raw, false);
    }
    show(ic);
    updateActions(ic);
    return used;
}

void QxEngine::keyEvent(const InputMethodEntry&, fcitx::KeyEvent& event) {
    if (!host_.isOpen()) return;
    InputContext* ic = event.inputContext();
    QxState* st = state(ic);
    const Key raw = event.rawKey();
    const uint32_t keyval = raw.sym();
    uint32_t states = static_cast<uint32_t>(raw.states());
    if (event.isRelease()) states |= desktopkeys::RELEASE;
    const TrackedEvent tracked = st->modifiers.event(keyval, states);
    if (event.isRelease() && !tracked.modifierEvent) {
        // The release of a key whose press was used up stays with it.
        if (st->swallowed.erase(keyval) > 0) event.filterAndAccept();
        return;
    }
    if (offerKeys(ic, tracked.keys, tracked.modifierEvent, raw)) {
        st->swallowed.insert(keyval);
        event.filterAndAccept();
    }
}

void QxEngine::offerCharacter(InputContext* ic, char ch) {
    ModuleKey key;
    if (!host_.isOpen() || ch == 0 || !moduleKeyFor(static_cast<unsigned char>(ch), 0, key)) return;
    // The list that asked stays alive until it has returned.
    const std::shared_ptr<CandidateList> keep = ic->inputPanel().candidateList();
    offerKeys(ic, {key}, false, Key());
}

void QxEngine::typeKeys(void* self, const std::string& keys) {
    auto* engine = static_cast<QxEngine*>(self);
    for (char ch : keys) {
        ModuleKey key;
        const uint32_t keyval = ch == '\x1b' ? 0xff1b : static_cast<unsigned char>(ch);
        if (engine->typing_ != nullptr && moduleKeyFor(keyval, 0, key))
            engine->offerKeys(engine->typing_, {key}, false, Key());
    }
}

void QxEngine::activateAction(InputContext* ic, const StatusAction& action) {
    if (!host_.isOpen() || ic == nullptr) return;
    typing_ = ic;
    const int dialog = activateStatusAction(host_, state(ic)->context, action.name, true, typeKeys, this);
    typing_ = nullptr;
    if (dialog > 0) openDialog(dialog);
    show(ic);
    updateActions(ic);
}

void QxEngine::runCommand(TrackableObjectReference<InputContext> ref, WPARAM command) {
    InputContext* ic = ref.get();
    if (!host_.isOpen() || ic == nullptr) return;
    if (const char* dialog = dialogNameByCommand(LOWORD(command)); dialog != nullptr) {
        openDialog(LOWORD(command));
        return;
    }
    host_.runCommand(state(ic)->context, command);
    show(ic);
    updateActions(ic);
}

void QxEngine::openDialog(int command) {
    static constexpr const char* MODES[] = {"phonetic", "shape", "wubi", "pinyin", "web"};
    const char* name = dialogNameByCommand(command);
    if (name == nullptr) return;
    const std::string program = moduleDir_ + "/qx-dialog";
    const StatusState s = statusState();
    FCITX_INFO() << "qx: opening the dialog " << name;
    startProcess({program, name, "--mode", MODES[static_cast<int>(s.mode)]});
}

void QxEngine::show(InputContext* ic, bool force) {
    QxState* st = state(ic);
    const ModuleView view = host_.view();
    if (!force && st->everShown && view == st->shown) return;
    InputPanel& panel = ic->inputPanel();
    panel.reset();
    Text preedit;
    if (!view.preedit.empty()) {
        preedit.append(view.preedit, TextFormatFlag::Underline);
        preedit.setCursor(static_cast<int>(utf8Offset(view.preedit, view.caret)));
    }
    if (ic->capabilityFlags().test(CapabilityFlag::Preedit))
        panel.setClientPreedit(preedit);
    else
        panel.setPreedit(preedit);
    if (!view.aux.empty()) panel.setAuxUp(Text(view.aux));
    if (!view.candidates.empty()) panel.setCandidateList(std::make_unique<QxCandidates>(this, ic, view));
    ic->updatePreedit();
    ic->updateUserInterface(UserInterfaceComponent::InputPanel);
    st->shown = view;
    st->everShown = true;
}

void QxEngine::updateActions(InputContext* ic) {
    const StatusState s = statusState();
    if (s == shownStatus_) return;
    shownStatus_ = s;
    for (auto& action : actions_) action->update(ic);
    ic->updateUserInterface(UserInterfaceComponent::StatusArea);
}

void QxEngine::abandonInput(InputContext* ic) {
    // What is typed but not chosen stays with the context: leaving it, the module lets it
    // go as Esc does.
    if (!host_.isOpen() || host_.view().preedit.empty()) return;
    ModuleKey escape;
    if (moduleKeyFor(0xff1b, 0, escape)) host_.offer(state(ic)->context, escape);
}

void QxEngine::activate(const InputMethodEntry&, InputContextEvent& event) {
    if (!host_.isOpen()) return;
    InputContext* ic = event.inputContext();
    QxState* st = state(ic);
    host_.focusIn(st->context);
    st->modifiers.reset();
    for (Action* action : topLevel_) ic->statusArea().addAction(StatusGroup::InputMethod, action);
    show(ic, true);
}

void QxEngine::deactivate(const InputMethodEntry&, InputContextEvent& event) {
    if (!host_.isOpen()) return;
    InputContext* ic = event.inputContext();
    abandonInput(ic);
    host_.focusOut(state(ic)->context);
    ic->inputPanel().reset();
    ic->updatePreedit();
    ic->updateUserInterface(UserInterfaceComponent::InputPanel);
    state(ic)->shown = ModuleView{};
}

void QxEngine::reset(const InputMethodEntry&, InputContextEvent& event) {
    if (!host_.isOpen()) return;
    abandonInput(event.inputContext());
    show(event.inputContext());
}

std::string QxEngine::subModeLabelImpl(const InputMethodEntry&, InputContext&) {
    const StatusState s = statusState();
    return s.chinese ? actionLook({"qx.mode", "", "", ActionKind::Menu, ""}, s).label : "英";
}

class QxFactory : public AddonFactory {
public:
    AddonInstance* create(AddonManager* manager) override { return new QxEngine(manager->instance()); }
};

}  // namespace

FCITX_ADDON_FACTORY(QxFactory);
