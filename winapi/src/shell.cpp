// The shell's folder picker, answered from the desktop's script: a queued path is the
// folder chosen, an empty or missing answer is a cancel. The item list it returns holds
// the path and is freed with CoTaskMemFree.
#include "screen_state.h"

#include <shlobj.h>

#include <cstdlib>
#include <cstring>
#include <deque>

namespace screen {

namespace {

std::deque<std::string>& folderAnswers() {
    static std::deque<std::string> answers;
    return answers;
}

}  // namespace

void resetDialogAnswers() {
    folderAnswers().clear();
    setPerson(nullptr);
}

}  // namespace screen

using namespace screen;

void winapiPushFolderAnswer(const char* path) { folderAnswers().push_back(path ? path : ""); }

LPITEMIDLIST WINAPI SHBrowseForFolderA(LPBROWSEINFOA info) {
    std::string path;
    if (!folderAnswers().empty()) {
        path = folderAnswers().front();
        folderAnswers().pop_front();
    }
    const char* title = info && info->lpszTitle ? info->lpszTitle : "";
    recordEvent("folder", title, path, path.empty() ? 0 : 1);
    winapiRecordEvent("folder", path.empty() ? std::string("cancel") : path);
    if (path.empty() || path.size() >= MAX_PATH) return nullptr;
    // One item holding the path, then the empty item that ends every list.
    size_t itemSize = sizeof(USHORT) + path.size() + 1;
    auto* bytes = static_cast<unsigned char*>(std::calloc(1, itemSize + sizeof(USHORT)));
    if (!bytes) return nullptr;
    USHORT cb = USHORT(itemSize);
    std::memcpy(bytes, &cb, sizeof cb);
    std::memcpy(bytes + sizeof cb, path.c_str(), path.size() + 1);
    if (info && info->pszDisplayName) {
        size_t slash = path.find_last_of("/\\");
        std::string name = slash == std::string::npos || slash + 1 == path.size() ? path : path.substr(slash + 1);
        std::strncpy(info->pszDisplayName, name.c_str(), MAX_PATH - 1);
        info->pszDisplayName[MAX_PATH - 1] = 0;
    }
    return reinterpret_cast<LPITEMIDLIST>(bytes);
}

BOOL WINAPI SHGetPathFromIDListA(LPCITEMIDLIST list, LPSTR path) {
    if (!path) return FALSE;
    path[0] = 0;
    if (!list) return FALSE;
    auto* bytes = reinterpret_cast<const unsigned char*>(list);
    USHORT cb;
    std::memcpy(&cb, bytes, sizeof cb);
    if (cb <= sizeof cb || cb - sizeof cb > MAX_PATH) return FALSE;
    size_t length = strnlen(reinterpret_cast<const char*>(bytes + sizeof cb), cb - sizeof cb);
    if (length >= MAX_PATH) return FALSE;
    std::memcpy(path, bytes + sizeof cb, length);
    path[length] = 0;
    return TRUE;
}

void WINAPI CoTaskMemFree(LPVOID memory) { std::free(memory); }
