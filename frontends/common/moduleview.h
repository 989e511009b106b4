// What the module shows, as the desktop's own input-method UI shows it: the code or the
// pinyin line as preedit text with its caret, the candidates with the module's own labels
// as the lookup table, and the completion hints and messages as auxiliary text. Read from
// the module's records after each key; a pure function of them, all texts UTF-8.
#pragma once

#include "core/engine.h"
#include "shapecode/shapecode.h"

#include <string>
#include <vector>

struct ViewCandidate {
    std::string label;  // as shown: "␣" for Space, "," "." "'" "5" "6", or a digit
    std::string text;
    char key = 0;  // the character that chooses it
    bool operator==(const ViewCandidate&) const = default;
};

struct ModuleView {
    std::string preedit;
    int caret = 0;  // in characters of preedit
    std::vector<ViewCandidate> candidates;
    bool earlierPage = false;  // "-" goes back a page
    bool laterPage = false;    // "=" goes on to the next page
    std::string aux;
    bool operator==(const ModuleView&) const = default;
};

ModuleView moduleView(const EngineContext& context, const ModeState& modes, const ShapeCodeState& shapeCode);

// The character ("-" or "=") that pages the module's list, and the key that chooses
// candidate index of the view; 0 when there is none.
char candidateKey(const ModuleView& view, size_t index);
