// The web-address mode: the user types the letter code of a site or mailbox from one of
// the two address lists and chooses its row; the address goes to the application.
#pragma once

#include "core/engine.h"

#include <cstdint>

// One key while webMode is on (from the dispatch): the key word (vk in bits 0-7) and its
// character.
void processWebAddressKey(uint32_t key, uint32_t ch, EngineContext* context);

// Turns the mode on for a list (0 public, 1 personal), loading the lists first when they
// are not in memory or their files changed. A list that cannot be read is refused (the
// caller beeps) and the mode stays off. Returns 1 when the mode is on. The caller clears what
// it showed before.
int enterWebMode(int listIndex);

// Leaves the mode as Esc does: everything typed and shown in it is cleared, and the status
// bar is asked for (a caller outside a key repaints the windows itself).
void leaveWebMode(EngineContext* context);

// Fills the page of a code as if its letters had been typed (at most the 10 that count);
// the caller relayouts the windows.
void typeWebCode(EngineContext* context, const char* code);
