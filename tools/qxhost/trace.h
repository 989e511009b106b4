// One JSON line per typed key: the key, what the module did with it, and what its
// windows show afterwards.
#pragma once

#include "hostsession.h"

#include <string>
#include <vector>

// Indexes into the desktop's records, so that each line lists only what the key caused.
struct TraceMarks {
    size_t beeps = 0;
    size_t desktopEvents = 0;
};
TraceMarks traceMarks();

std::string traceLine(const HostSession& session, const ScriptKey& key, const std::vector<KeyEvent>& events,
                      const TraceMarks& before);
std::string jsonString(const std::string& gbk);  // quoted, UTF-8, non-ASCII unescaped
std::string dialogJson();  // the active dialog, or null
// The line that says the runner closes a dialog left open at the end of the script.
std::string closingLine(HWND modal, const char* how);
