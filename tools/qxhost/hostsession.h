// The module hosted on Linux: the shared session (tools/session) over the stand-in, and
// the module's own record read where it lives, through its exported data symbols.
#pragma once

#include "session.h"

#include "core/engine.h"
#include "shapecode/shapecode.h"

#include <string>

struct HostSession {
    ImeSession ime;
    const EngineContext* engine = nullptr;
    const ModeState* modes = nullptr;
    const ShapeCodeState* shapeCode = nullptr;
};

// Writes REG_DWORD value under HKEY_LOCAL_MACHINE\Software\QX; the name in GBK.
bool setSetting(const std::string& gbkName, DWORD value);

// Puts the public web-address list "zwwz.dat" found next to the program into the home's
// system directory when that holds none (or an empty one), as setup does on Windows; a
// list that is there is the user's and stays. False when a list was needed and could not
// be placed.
bool placePublicList();

// Links the pinyin sentence model "pylm.dat" found next to the program into the home's
// system directory, where the module looks for it, unless a model (the user's own) is
// there already. False when there is none next to the program or it could not be linked;
// the module then works without it.
bool placeLanguageModel();

// Opens the session with the module (found by name next to the program) over the
// stand-in's desktop. Fills error and returns false when it cannot.
bool openHostSession(HostSession& session, const char* modulePath, std::string& error);
void closeHostSession(HostSession& session);
