// Menus: popup menus built by code or loaded from menu resources, and their tracking,
// whose choice comes from the desktop's script.
#include "screen_state.h"

#include <algorithm>
#include <cstring>

namespace screen {

struct MenuItem {
    UINT flags;
    UINT_PTR id;  // command id, or the submenu of a popup item
    std::string text;
};

struct Menu {
    std::vector<MenuItem> items;
    int defaultItem = -1;  // position
};

static std::map<uintptr_t, Menu>& menus() {
    static std::map<uintptr_t, Menu> all;
    return all;
}

static Menu* findMenu(HMENU h) {
    auto it = menus().find(reinterpret_cast<uintptr_t>(h));
    return it == menus().end() ? nullptr : &it->second;
}

static HMENU newMenu() {
    uintptr_t h = newHandle();
    menus()[h];
    return reinterpret_cast<HMENU>(h);
}

// Position of an item by command id (searching submenus) or by position.
static Menu* locate(HMENU h, UINT item, UINT flags, size_t& pos) {
    Menu* m = findMenu(h);
    if (!m) return nullptr;
    if (flags & MF_BYPOSITION) {
        pos = item;
        return item < m->items.size() ? m : nullptr;
    }
    for (size_t i = 0; i < m->items.size(); ++i) {
        const MenuItem& it = m->items[i];
        if (it.flags & MF_POPUP) {
            if (Menu* sub = locate(reinterpret_cast<HMENU>(it.id), item, flags, pos)) return sub;
        } else if (!(it.flags & MF_SEPARATOR) && it.id == item) {
            pos = i;
            return m;
        }
    }
    return nullptr;
}

std::u16string readUtf16(const unsigned char*& p, const unsigned char* end);
std::string utf16ToGbk(const std::u16string& s);

// A standard menu template: a header of two words, then items, each a flags word, an
// id word unless it opens a popup, and a zero-terminated UTF-16 text; MF_END ends a level.
static bool parseMenuLevel(HMENU into, const unsigned char*& p, const unsigned char* end, int depth) {
    if (depth > 8) return false;
    for (;;) {
        if (end - p < 2) return false;
        WORD flags = WORD(p[0] | (p[1] << 8));
        p += 2;
        WORD id = 0;
        if (!(flags & MF_POPUP)) {
            if (end - p < 2) return false;
            id = WORD(p[0] | (p[1] << 8));
            p += 2;
        }
        std::u16string text = readUtf16(p, end);
        if (p > end) return false;
        UINT itemFlags = flags & ~UINT(MF_END);
        if (flags & MF_POPUP) {
            HMENU sub = CreatePopupMenu();
            if (!parseMenuLevel(sub, p, end, depth + 1)) {
                DestroyMenu(sub);
                return false;
            }
            AppendMenuA(into, itemFlags, reinterpret_cast<UINT_PTR>(sub), utf16ToGbk(text).c_str());
        } else if (id == 0 && text.empty() && !(flags & ~UINT(MF_END))) {
            AppendMenuA(into, MF_SEPARATOR, 0, nullptr);
        } else {
            AppendMenuA(into, itemFlags, id, utf16ToGbk(text).c_str());
        }
        if (flags & MF_END) return true;
    }
}

static void describe(HMENU h, std::string& out) {
    Menu* m = findMenu(h);
    if (!m) return;
    for (auto& it : m->items) {
        if (it.flags & MF_SEPARATOR) {
            out += "-\n";
            continue;
        }
        out += std::to_string(it.id) + " " + it.text + "\n";
    }
}

bool takeMenuAnswer(UINT& id);

}  // namespace screen

using namespace screen;

HMENU WINAPI CreateMenu(void) { return newMenu(); }
HMENU WINAPI CreatePopupMenu(void) { return newMenu(); }

BOOL WINAPI DestroyMenu(HMENU menu) {
    Menu* m = findMenu(menu);
    if (!m) return FALSE;
    std::vector<HMENU> subs;
    for (auto& it : m->items)
        if (it.flags & MF_POPUP) subs.push_back(reinterpret_cast<HMENU>(it.id));
    menus().erase(reinterpret_cast<uintptr_t>(menu));
    for (HMENU s : subs) DestroyMenu(s);
    return TRUE;
}

BOOL WINAPI InsertMenuA(HMENU menu, UINT position, UINT flags, UINT_PTR id, LPCSTR text) {
    Menu* m = findMenu(menu);
    if (!m) return FALSE;
    MenuItem item{flags & ~UINT(MF_BYPOSITION), id,
                  (flags & (MF_SEPARATOR | MF_BITMAP | MF_OWNERDRAW)) || !text ? "" : text};
    size_t at = m->items.size();
    if (flags & MF_BYPOSITION) {
        if (position < m->items.size()) at = position;
    } else if (position != UINT(-1)) {
        for (size_t i = 0; i < m->items.size(); ++i)
            if (m->items[i].id == position && !(m->items[i].flags & MF_POPUP)) at = i;
    }
    m->items.insert(m->items.begin() + long(at), item);
    return TRUE;
}

BOOL WINAPI AppendMenuA(HMENU menu, UINT flags, UINT_PTR id, LPCSTR text) {
    return InsertMenuA(menu, UINT(-1), flags | MF_BYPOSITION, id, text);
}

BOOL WINAPI DeleteMenu(HMENU menu, UINT position, UINT flags) {
    size_t pos;
    Menu* m = locate(menu, position, flags, pos);
    if (!m) return FALSE;
    if (m->items[pos].flags & MF_POPUP) DestroyMenu(reinterpret_cast<HMENU>(m->items[pos].id));
    m->items.erase(m->items.begin() + long(pos));
    return TRUE;
}

HMENU WINAPI GetSubMenu(HMENU menu, int position) {
    Menu* m = findMenu(menu);
    if (!m || position < 0 || size_t(position) >= m->items.size()) return nullptr;
    const MenuItem& it = m->items[size_t(position)];
    return (it.flags & MF_POPUP) ? reinterpret_cast<HMENU>(it.id) : nullptr;
}

int WINAPI GetMenuItemCount(HMENU menu) {
    Menu* m = findMenu(menu);
    return m ? int(m->items.size()) : -1;
}

UINT WINAPI GetMenuItemID(HMENU menu, int position) {
    Menu* m = findMenu(menu);
    if (!m || position < 0 || size_t(position) >= m->items.size()) return UINT(-1);
    const MenuItem& it = m->items[size_t(position)];
    return (it.flags & MF_POPUP) ? UINT(-1) : UINT(it.id);
}

UINT WINAPI GetMenuState(HMENU menu, UINT item, UINT flags) {
    size_t pos;
    Menu* m = locate(menu, item, flags, pos);
    if (!m) return UINT(-1);
    UINT state = m->items[pos].flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_POPUP |
                                        MF_SEPARATOR | MF_MENUBREAK | MF_MENUBARBREAK);
    if (int(pos) == m->defaultItem) state |= MF_DEFAULT;
    return state;
}

int WINAPI GetMenuStringA(HMENU menu, UINT item, LPSTR text, int size, UINT flags) {
    size_t pos;
    Menu* m = locate(menu, item, flags, pos);
    if (!m) return 0;
    const std::string& s = m->items[pos].text;
    if (!text || size <= 0) return int(s.size());
    int n = std::min<int>(size - 1, int(s.size()));
    std::memcpy(text, s.data(), size_t(n));
    text[n] = 0;
    return n;
}

BOOL WINAPI SetMenuDefaultItem(HMENU menu, UINT item, UINT byPosition) {
    Menu* top = findMenu(menu);
    if (!top) return FALSE;
    if (item == UINT(-1)) {
        top->defaultItem = -1;
        return TRUE;
    }
    if (byPosition) {
        if (item >= top->items.size()) return FALSE;
        top->defaultItem = int(item);
        return TRUE;
    }
    for (size_t i = 0; i < top->items.size(); ++i)
        if (!(top->items[i].flags & (MF_POPUP | MF_SEPARATOR)) && top->items[i].id == item) {
            top->defaultItem = int(i);
            return TRUE;
        }
    return FALSE;
}

UINT WINAPI GetMenuDefaultItem(HMENU menu, UINT byPosition, UINT) {
    Menu* m = findMenu(menu);
    if (!m || m->defaultItem < 0) return UINT(-1);
    return byPosition ? UINT(m->defaultItem) : UINT(m->items[size_t(m->defaultItem)].id);
}

DWORD WINAPI CheckMenuItem(HMENU menu, UINT item, UINT check) {
    size_t pos;
    Menu* m = locate(menu, item, check, pos);
    if (!m) return DWORD(-1);
    DWORD old = m->items[pos].flags & MF_CHECKED;
    m->items[pos].flags = (m->items[pos].flags & ~UINT(MF_CHECKED)) | (check & MF_CHECKED);
    return old;
}

BOOL WINAPI EnableMenuItem(HMENU menu, UINT item, UINT enable) {
    size_t pos;
    Menu* m = locate(menu, item, enable, pos);
    if (!m) return -1;
    BOOL old = m->items[pos].flags & (MF_GRAYED | MF_DISABLED);
    m->items[pos].flags = (m->items[pos].flags & ~UINT(MF_GRAYED | MF_DISABLED)) |
                          (enable & (MF_GRAYED | MF_DISABLED));
    return old;
}

HMENU WINAPI LoadMenuA(HINSTANCE instance, LPCSTR name) {
    DWORD size;
    const unsigned char* data = resourceBytes(instance, name, RT_MENU, size);
    if (!data || size < 4) return nullptr;
    WORD version = WORD(data[0] | (data[1] << 8));
    WORD offset = WORD(data[2] | (data[3] << 8));
    if (version != 0 || size_t(4) + offset > size) return nullptr;
    const unsigned char* p = data + 4 + offset;
    HMENU menu = CreateMenu();
    if (!parseMenuLevel(menu, p, data + size, 0)) {
        DestroyMenu(menu);
        return nullptr;
    }
    return menu;
}

// The person at the desktop answers from the script; no answer dismisses the menu.
BOOL WINAPI TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*) {
    Menu* m = findMenu(menu);
    if (!m || !IsWindow(owner)) return FALSE;
    if (!(flags & TPM_NONOTIFY)) {
        sendMessage(owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), 0);
        if (!findMenu(menu)) return FALSE;
    }
    std::string items;
    describe(menu, items);
    UINT choice = 0;
    takeMenuAnswer(choice);
    // Only an enabled command of this menu (or its submenus) can be chosen.
    size_t pos;
    Menu* holder = choice ? locate(menu, choice, MF_BYCOMMAND, pos) : nullptr;
    if (!holder || (holder->items[pos].flags & (MF_GRAYED | MF_DISABLED))) choice = 0;
    recordEvent("menu", items, std::to_string(x) + "," + std::to_string(y) +
                                   ((flags & TPM_BOTTOMALIGN) ? " bottom" : " top"),
                long(choice));
    winapiRecordEvent("menu", std::to_string(choice));
    if (flags & TPM_RETURNCMD) return BOOL(choice);
    if (choice) PostMessageA(owner, WM_COMMAND, MAKEWPARAM(choice, 0), 0);
    return TRUE;
}
