// What the module's answer to one key means for the desktop: the text to commit and the
// keys handed back to the application. The module answers as the Input Method Manager
// expects, with a list of messages and the context's result string.
#pragma once

#include "typist.h"

#include <cstdint>
#include <string>
#include <vector>

struct KeyOutcome {
    std::string commit;               // GBK, in the order the messages gave it
    std::vector<uint8_t> handedBack;  // virtual keys of WM_KEYDOWN messages
};

// resultString is read from the context only when a message announces it.
KeyOutcome keyOutcome(const std::vector<TypedMessage>& messages, const std::string& resultString);

// Whether the application should get the desktop's own event back unchanged: the module
// committed nothing and handed back exactly the key it was offered.
bool handsBackOwnKey(const KeyOutcome& outcome, uint8_t vk);

// The committed GBK as UTF-8 for the desktop. Bytes that are no GBK text (a phrase file
// edited by hand, or saved as UTF-8) become U+FFFD instead of the commit being lost;
// exact is false then, for the engine to log it.
std::string commitText(const std::string& gbk, bool& exact);
