// Shared inside the stand-in only.
#pragma once

#include "winapi/base.h"

#include <string>

// The home directory (QX_HOME) as a path with no trailing slash; created on demand.
const std::string& homeDirectory();
// Creates a directory and its parents; true when it exists afterwards.
bool makeDirectories(const std::string& path);
// Called by winapiSetHome so the registry reloads from the new home.
void registryHomeChanged();

// After an input context's status changes the manager tells the IME and its UI window.
// The window manager's definition replaces the empty default in imm.cpp.
void winapiImmNotify(HIMC context, DWORD imnCode);
// ImmGenerateMessage hands each message of a context's buffer to its window; the
// window manager's definition replaces the default, which only records the message.
void winapiImmSendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ASCII case folding of GBK text: a byte after a lead byte is never folded.
int compareNoCase(const std::string& a, const std::string& b);
