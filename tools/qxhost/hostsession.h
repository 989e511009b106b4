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

// Puts the public web-address list "zwwz.dat" found in sourceDirectory (by default next to
// the program) into the home's system directory when that holds none, as setup does on
// Windows; a list that is there, even an empty one, is the user's and stays. False when a
// list was needed and could not be placed.
bool placePublicList(const std::string& sourceDirectory = "");

// Links the pinyin sentence model "pylm.dat" and the search's words "pywords.dat" found
// next to the program into the home's system directory, where the module looks for them,
// each unless one (the user's own) is there already. False when one is not next to the
// program or could not be linked; the module then works without it.
bool placeSentenceData(const std::string& sourceDirectory = "");

// Opens the session with the module (found by name next to the program) over the
// stand-in's desktop. Fills error and returns false when it cannot.
bool openHostSession(HostSession& session, const char* modulePath, std::string& error);
void closeHostSession(HostSession& session);
