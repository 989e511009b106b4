// The status bar and its menus (statusactions) as IBus properties: one property for each
// item, menus as properties with sub-lists, looks updated from the module's state.
#pragma once

#include "statusactions.h"

#include <ibus.h>

#include <string>
#include <utility>
#include <vector>

class StatusProperties {
public:
    // Builds the list once the module is open (the layout names are its own).
    void build(const ModuleHost& host);
    // Shows the whole list (focus in) or only what changed since it was last shown.
    void registerWith(IBusEngine* engine, const StatusState& state);
    void update(IBusEngine* engine, const StatusState& state);

private:
    void apply(const StatusState& state);
    IBusPropList* list_ = nullptr;
    std::vector<std::pair<StatusAction, IBusProperty*>> items_;
    StatusState shown_;
    bool everShown_ = false;
};
