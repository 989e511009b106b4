// The status bar and its menus as IBus properties: Chinese/English, Chinese punctuation,
// full width, the edition and mode, the soft-keyboard layouts and the dialogs. Each acts
// through the same path the status bar and its menus take in the module.
#pragma once

#include "inputmodes.h"
#include "modulehost.h"

#include <ibus.h>

#include <string>

// What the properties show: read from the module after every key and action.
struct StatusState {
    bool chinese = true, chinesePunct = true, fullWidth = false;
    InputMode mode = InputMode::Phonetic;
    int softLayout = -1;
    bool operator==(const StatusState&) const = default;
};

StatusState statusStateOf(const ModuleHost& host);

class StatusProperties {
public:
    // Builds the list once the module is open (the layout names are its own).
    void build(const ModuleHost& host);
    // Shows the whole list (focus in) or only what changed since it was last shown.
    void registerWith(IBusEngine* engine, const StatusState& state);
    void update(IBusEngine* engine, const StatusState& state);
    // Acts on a property the person chose; the typing of mode keys goes through typeKeys.
    // Returns true when the name was one of ours.
    bool activate(ModuleHost& host, HIMC context, const char* name, unsigned state,
                  void (*typeKeys)(void* engine, const std::string& keys), void* engine);

private:
    void apply(const StatusState& state);
    IBusPropList* list_ = nullptr;
    IBusProperty *chinese_ = nullptr, *punct_ = nullptr, *width_ = nullptr;
    IBusProperty* modeItems_[5] = {};
    std::vector<std::pair<unsigned, IBusProperty*>> layoutItems_;
    IBusProperty* layoutOff_ = nullptr;
    IBusProperty *modeMenu_ = nullptr, *layoutMenu_ = nullptr;
    StatusState shown_;
    bool everShown_ = false;
};
