// The interactive session: a terminal in raw mode, one key at a time, the screen drawn
// again after every key.
#pragma once

#include "hostsession.h"

#include <string>

// Maps the bytes a terminal sends for one key to a key-script token; empty for bytes
// that name no key. F2 is Ctrl alone, F3 the left Shift alone, F4 the right Shift alone.
std::string terminalKeyToken(const std::string& bytes);

// Runs until Ctrl+C or Ctrl+D; returns 0.
int runInteractive(HostSession& session);

// The screen of the session as text lines (UTF-8).
std::string sessionScreen(const HostSession& session);
