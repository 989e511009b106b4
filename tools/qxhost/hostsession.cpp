// The stand-in's side of a session: its desktop clicks, its clock and its message queue.
#include "hostsession.h"

#include "scriptrun.h"

#include <winapi_desktop.h>
#include <winapi_host.h>

#include <filesystem>
#include <system_error>

namespace {

void hostClick(int x, int y) { winapiClick(x, y); }
void hostRightClick(int x, int y) {
    winapiMouseDown(1, x, y);
    winapiMouseUp(1, x, y);
}
void hostMenuAnswer(int command) { winapiPushMenuAnswer(UINT(command)); }
void hostFolder(const char* path) { winapiPushFolderAnswer(path); }

// The person at the stand-in's desktop is the script in progress: every modal loop that
// waits lets it go on.
bool hostPerson(HWND modal, int kind) {
    ScriptRun* run = ScriptRun::current();
    return run != nullptr && run->idle(modal, kind);
}
void hostTick(unsigned milliseconds) { winapiAdvanceClock(milliseconds); }
void hostPump() { winapiPumpMessages(); }

template <typename T>
const T* exported(HMODULE module, const char* name) {
    return reinterpret_cast<const T*>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

bool setSetting(const std::string& gbkName, DWORD value) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\QX", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        &disposition) != ERROR_SUCCESS)
        return false;
    const LONG status = RegSetValueExA(key, gbkName.c_str(), 0, REG_DWORD,
                                       reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool placePublicList(const std::string& sourceDirectory) {
    namespace fs = std::filesystem;
    char directory[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(directory, sizeof directory);
    if (length == 0 || length >= sizeof directory) return false;
    std::error_code error;
    const fs::path target = fs::path(directory) / "zwwz.dat";
    // Any list there, even an empty one, is the user's: emptied on purpose, it stays empty.
    if (fs::symlink_status(target, error).type() != fs::file_type::not_found) return true;
    error.clear();
    const fs::path from = sourceDirectory.empty() ? fs::read_symlink("/proc/self/exe", error).parent_path()
                                                  : fs::path(sourceDirectory);
    const fs::path source = from / "zwwz.dat";
    if (error || !fs::is_regular_file(source, error)) return false;
    // Copied to a temporary name of this process, then moved in only where no list is:
    // another program placing it at the same moment keeps its own copy.
    if (CopyFileA(source.c_str(), target.c_str(), TRUE)) return true;
    return fs::exists(target, error);
}

bool placeSentenceData(const std::string& sourceDirectory) {
    namespace fs = std::filesystem;
    char directory[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(directory, sizeof directory);
    if (length == 0 || length >= sizeof directory) return false;
    std::error_code error;
    const fs::path from = sourceDirectory.empty() ? fs::read_symlink("/proc/self/exe", error).parent_path()
                                                  : fs::path(sourceDirectory);
    if (error) return false;
    bool placed = true;
    for (const char* name : {"pylm.dat", "pywords.dat"}) {
        const fs::path target = fs::path(directory) / name, source = from / name;
        if (fs::exists(target, error)) continue;
        if (!fs::is_regular_file(source, error)) {
            placed = false;
            continue;
        }
        // A dangling link of an earlier build goes; a link follows the build's own file.
        fs::remove(target, error);
        fs::create_symlink(source, target, error);
        placed = placed && !error;
    }
    return placed;
}

bool openHostSession(HostSession& session, const char* modulePath, std::string& error) {
    SessionHooks hooks;
    hooks.click = hostClick;
    hooks.rightClick = hostRightClick;
    hooks.doubleClick = winapiDoubleClick;
    hooks.tick = hostTick;
    hooks.pump = hostPump;
    hooks.menuAnswer = hostMenuAnswer;
    hooks.answer = winapiPushMessageBoxAnswer;
    hooks.folder = hostFolder;
    winapiSetPerson(hostPerson);
    hooks.bindUiWindow = winapiImmSetUiWindow;
    if (!openSession(session.ime, modulePath, hooks, error)) return false;
    const HMODULE module = session.ime.module;
    session.engine = exported<EngineContext>(module, "engineContext");
    session.modes = exported<ModeState>(module, "modes");
    session.shapeCode = exported<ShapeCodeState>(module, "shapeCode");
    return true;
}

void closeHostSession(HostSession& session) {
    winapiSetPerson(nullptr);
    closeSession(session.ime);
    session = HostSession{};
}
