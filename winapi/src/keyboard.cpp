// Keyboard state of the process: what GetKeyState answers. On Windows the system keeps
// it from the input stream; here tests and host programs set it.
#include "winapi/system.h"
#include "winapi_host.h"

#include <mutex>

namespace {
std::mutex keyLock;
BYTE keys[256];

// Windows keeps the combined modifier in step with its left and right keys.
void updateCombined(int vk) {
    int combined = vk == VK_LSHIFT || vk == VK_RSHIFT       ? VK_SHIFT
                   : vk == VK_LCONTROL || vk == VK_RCONTROL ? VK_CONTROL
                   : vk == VK_LMENU || vk == VK_RMENU       ? VK_MENU
                                                            : 0;
    if (!combined) return;
    int left = combined == VK_SHIFT ? VK_LSHIFT : combined == VK_CONTROL ? VK_LCONTROL : VK_LMENU;
    BYTE down = (keys[left] | keys[left + 1]) & 0x80;
    keys[combined] = static_cast<BYTE>((keys[combined] & 0x7F) | down);
}
}  // namespace

void winapiSetKeyState(int vk, BYTE state) {
    std::lock_guard<std::mutex> guard(keyLock);
    if (vk < 0 || vk > 255) return;
    keys[vk] = state;
    updateCombined(vk);
}

void winapiSetKeyboardState(const BYTE* state) {
    std::lock_guard<std::mutex> guard(keyLock);
    if (state) memcpy(keys, state, sizeof keys);
    else memset(keys, 0, sizeof keys);
}

SHORT WINAPI GetKeyState(int vk) {
    std::lock_guard<std::mutex> guard(keyLock);
    if (vk < 0 || vk > 255) return 0;
    // Held keys answer negative (high bit), toggled ones have bit 0 set.
    return static_cast<SHORT>(((keys[vk] & 0x80) ? 0xFF80 : 0) | (keys[vk] & 1));
}

SHORT WINAPI GetAsyncKeyState(int vk) {
    std::lock_guard<std::mutex> guard(keyLock);
    if (vk < 0 || vk > 255) return 0;
    return static_cast<SHORT>((keys[vk] & 0x80) ? 0x8000 : 0);
}

BOOL WINAPI GetKeyboardState(PBYTE state) {
    std::lock_guard<std::mutex> guard(keyLock);
    if (!state) return FALSE;
    memcpy(state, keys, sizeof keys);
    return TRUE;
}

BOOL WINAPI SetKeyboardState(LPBYTE state) {
    winapiSetKeyboardState(state);
    return state != nullptr;
}
