// Host-only hooks of the stand-in: what tests and host programs set or read that Windows
// keeps to itself (home directory, key state, recorded beeps and events, in-memory
// resources, the UI window of an input context). Never included by code built for Windows.
#pragma once

#include "winapi/base.h"

#include <cstddef>
#include <string>
#include <vector>

// A registry root that the program may read but not change, as HKEY_LOCAL_MACHINE is for
// an ordinary user of Windows NT: opening a key of it with write access, creating a key
// and every change fail with ERROR_ACCESS_DENIED. In force for this process only.
void winapiSetRegistryReadOnly(HKEY root, bool readOnly);

// QX_HOME: the environment's value at first use, else $HOME/.qx; created on demand.
// winapiSetHome switches to another home (tests) and reloads the registry from it.
const char* winapiHome();
void winapiSetHome(const char* path);

// Keyboard state answered by GetKeyState/GetAsyncKeyState/GetKeyboardState. Setting a
// left or right Shift, Ctrl or Alt also updates the combined key, as Windows does.
void winapiSetKeyState(int vk, BYTE state);
void winapiSetKeyboardState(const BYTE* state256);

// What the system did where a person would have seen or heard it. Beeps are kept apart;
// other parts of the stand-in (message boxes, started programs, IME messages) log
// events as a kind and a text. Each record, and the desktop's events, is bounded: when one
// reaches WINAPI_RECORDS_KEPT entries its older half goes, so that a program that runs for
// days does not grow (a reader that marks a position must expect the record to shrink).
constexpr size_t WINAPI_RECORDS_KEPT = 8192;
struct WinapiBeep {
    bool messageBeep;   // MessageBeep (uType in type) or Beep (frequency, duration)
    UINT type;
    DWORD frequency;
    DWORD duration;
};
struct WinapiEvent {
    std::string kind;
    std::string text;
};
std::vector<WinapiBeep> winapiBeeps();
std::vector<WinapiEvent> winapiEvents();
void winapiRecordEvent(const char* kind, const std::string& text);
void winapiClearRecords();

// A full disk, for tests of how files are saved: every file opened for writing whose host
// path ends with nameEnd accepts `bytes` bytes and then refuses each write; with bytes -1
// it cannot be opened at all. Null nameEnd puts the disk back. winapiFileWriteLimit is
// what the stand-in's fopen asks. Both live in the fopen wrapper linked into each program
// and library, so a disk set by a test binary fails the files of the code linked into it.
void winapiFailFileWrites(const char* nameEnd, long bytes);
bool winapiFileWriteLimit(const char* hostPath, long* bytes);

// Resources for code linked into the process: attaches a compiled .res blob (as
// windres -O res writes it; the blob must outlive the module) to `module`, or to a new
// in-process module when `module` is null. Returns the module, or null for a damaged blob.
HMODULE winapiAttachResources(HMODULE module, const void* res, size_t size);

// A host library's entry point and resources, which a PE image carries in its headers.
// A host library describes them from a constructor while it is being loaded, so nothing
// beyond its real exports needs to be in its dynamic symbol table:
//     WINAPI_HOST_LIBRARY(DllMain, resources, resourcesSize)
// `inside` is any address in the library; the entry point and the blob may be null.
typedef BOOL(WINAPI* WinapiEntryPoint)(HINSTANCE, DWORD, LPVOID);
void winapiDescribeHostLibrary(const void* inside, WinapiEntryPoint entry, const void* res, size_t size);
#define WINAPI_HOST_LIBRARY(entry, res, size)                                                      \
    __attribute__((constructor)) static void winapiHostLibraryDescription() {                      \
        winapiDescribeHostLibrary(reinterpret_cast<const void*>(&winapiHostLibraryDescription), entry, \
                                  res, size);                                                    \
    }

// Every resource of a PE image or a .res blob in memory, for tests and the fuzzer.
// Type and name are "#<id>" for numbered ones, else the name in GBK. Returns false
// (and lists nothing) when the data is refused as damaged.
struct WinapiResource {
    std::string type;
    std::string name;
    WORD language;
    const BYTE* data;
    DWORD size;
};
// Where a PE image was refused: the file offset of the first structure at fault and what
// is wrong with it.
struct WinapiResourceFault {
    size_t offset = 0;
    std::string what;
};
bool winapiListPeResources(const void* image, size_t size, std::vector<WinapiResource>* out,
                           WinapiResourceFault* fault = nullptr);
bool winapiListResResources(const void* res, size_t size, std::vector<WinapiResource>* out);

// The UI window and the messages of an input context: the window manager sends the
// context's notifications (WM_IME_NOTIFY) to this window.
void winapiImmSetUiWindow(HIMC context, HWND uiWindow);
HWND winapiImmUiWindow(HIMC context);
