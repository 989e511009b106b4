// The typist and the edit field it types into.
#include "typist.h"

#include <cstring>

namespace {

constexpr size_t MESSAGE_CAPACITY = 64;

bool leadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

bool modifierKey(uint8_t vk) { return vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU; }

}  // namespace

// ---------------------------------------------------------------------------------------
// Edit field. Double-byte characters are stepped over whole, as a DBCS edit control does.
// ---------------------------------------------------------------------------------------

// Start of the character that ends at the caret.
static size_t previousBoundary(const std::string& text, size_t caret) {
    size_t i = 0, last = 0;
    while (i < caret) {
        last = i;
        i += (leadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ? 2 : 1;
    }
    return last;
}

static size_t nextBoundary(const std::string& text, size_t caret) {
    if (caret >= text.size()) return text.size();
    return caret + ((leadByte(static_cast<unsigned char>(text[caret])) && caret + 1 < text.size()) ? 2 : 1);
}

static size_t lineStart(const std::string& text, size_t caret) {
    const size_t newline = caret == 0 ? std::string::npos : text.rfind('\n', caret - 1);
    return newline == std::string::npos ? 0 : newline + 1;
}

static size_t lineEnd(const std::string& text, size_t caret) {
    const size_t newline = text.find('\n', caret);
    return newline == std::string::npos ? text.size() : newline;
}

// Caret at the same character column of the line that starts at start.
static size_t columnInLine(const std::string& text, size_t start, size_t column) {
    size_t position = start;
    const size_t stop = lineEnd(text, start);
    for (size_t i = 0; i < column && position < stop; ++i) position = nextBoundary(text, position);
    return position;
}

static size_t columnOf(const std::string& text, size_t caret) {
    size_t column = 0;
    for (size_t i = lineStart(text, caret); i < caret; i = nextBoundary(text, i)) ++column;
    return column;
}

void EditField::insert(const std::string& bytes) {
    // Built anew rather than inserted in place: GCC 12 misreads the in-place insert as an
    // overlapping copy and warns.
    std::string joined;
    joined.reserve(text.size() + bytes.size());
    joined.append(text, 0, caret).append(bytes).append(text, caret, std::string::npos);
    text.swap(joined);
    caret += bytes.size();
    inserted += bytes;
}

void EditField::character(unsigned char ch) {
    switch (ch) {
    case '\b':
        backspace();
        return;
    case '\r':
        insert("\n");
        return;
    case '\t':
        insert("\t");
        return;
    default:
        if (ch < 0x20 || ch == 0x7F) return;  // control characters type nothing
        insert(std::string(1, static_cast<char>(ch)));
    }
}

void EditField::backspace() {
    if (caret == 0) return;
    const size_t start = previousBoundary(text, caret);
    text.erase(start, caret - start);
    caret = start;
}

void EditField::deleteForward() {
    const size_t next = nextBoundary(text, caret);
    text.erase(caret, next - caret);
}

void EditField::left() {
    if (caret > 0) caret = previousBoundary(text, caret);
}

void EditField::right() { caret = nextBoundary(text, caret); }

void EditField::home() { caret = lineStart(text, caret); }

void EditField::end() { caret = lineEnd(text, caret); }

void EditField::up() {
    const size_t start = lineStart(text, caret);
    if (start == 0) return;
    caret = columnInLine(text, lineStart(text, start - 1), columnOf(text, caret));
}

void EditField::down() {
    const size_t stop = lineEnd(text, caret);
    if (stop >= text.size()) return;
    caret = columnInLine(text, stop + 1, columnOf(text, caret));
}

// ---------------------------------------------------------------------------------------
// Typist
// ---------------------------------------------------------------------------------------

HWND activeDialog() {
    HWND active = GetActiveWindow();
    char name[16] = {};
    if (active == nullptr || GetClassNameA(active, name, sizeof name) == 0) return nullptr;
    return std::strcmp(name, "#32770") == 0 && IsWindowVisible(active) ? active : nullptr;
}

HWND dialogKeyTarget() {
    HWND dialog = activeDialog();
    if (dialog == nullptr) return nullptr;
    HWND focus = GetFocus();
    return focus != nullptr && (focus == dialog || IsChild(dialog, focus)) ? focus : dialog;
}

Typist::Typist(HIMC context, const TypistHooks& hooks) : context_(context), hooks_(hooks) {}

char Typist::translatedCharacter(uint8_t vk) const {
    const bool shift = (keyState_[VK_SHIFT] & 0x80) != 0;
    const bool ctrl = (keyState_[VK_CONTROL] & 0x80) != 0;
    const bool caps = (keyState_[VK_CAPITAL] & 0x01) != 0;
    const bool letter = vk >= 'A' && vk <= 'Z';
    char ch = characterForKey(vk, letter && caps ? !shift : shift);
    if (ctrl) ch = letter ? static_cast<char>(vk - 'A' + 1) : (vk == VK_RETURN || vk == VK_BACK ? ch : 0);
    return ch;
}

std::string resultStringOf(HIMC context) {
    std::string result;
    INPUTCONTEXT* locked = ImmLockIMC(context);
    if (locked == nullptr) return result;
    const DWORD blockSize = ImmGetIMCCSize(locked->hCompStr);
    auto* block = static_cast<const COMPOSITIONSTRING*>(ImmLockIMCC(locked->hCompStr));
    if (block != nullptr) {
        const DWORD offset = block->dwResultStrOffset, length = block->dwResultStrLen;
        // Read only what lies inside the block, whatever its header claims.
        if (offset <= blockSize && length <= blockSize - offset)
            result.assign(reinterpret_cast<const char*>(block) + offset, length);
        ImmUnlockIMCC(locked->hCompStr);
    }
    ImmUnlockIMC(context);
    return result;
}

void Typist::applicationKeyDown(uint8_t vk) {
    if (keyState_[VK_MENU] & 0x80) return;  // Alt chords are system keys: no text
    switch (vk) {
    case VK_LEFT: field_.left(); return;
    case VK_RIGHT: field_.right(); return;
    case VK_HOME: field_.home(); return;
    case VK_END: field_.end(); return;
    case VK_UP: field_.up(); return;
    case VK_DOWN: field_.down(); return;
    case VK_DELETE: field_.deleteForward(); return;
    default: break;
    }
    const char ch = translatedCharacter(vk);
    if (ch != 0) field_.character(static_cast<unsigned char>(ch));
}

void Typist::applyMessages(KeyEvent& event) {
    for (const TypedMessage& m : event.messages) {
        switch (m.message) {
        case WM_IME_COMPOSITION:
            if (m.lParam & GCS_RESULTSTR) {
                event.result = resultString();
                field_.insert(event.result);
            }
            break;
        case WM_IME_CHAR:
            if (m.wParam > 0xFF) {
                const char pair[2] = {static_cast<char>((m.wParam >> 8) & 0xFF), static_cast<char>(m.wParam & 0xFF)};
                field_.insert(std::string(pair, 2));
            } else {
                field_.character(static_cast<unsigned char>(m.wParam));
            }
            break;
        case WM_CHAR:
            field_.character(static_cast<unsigned char>(m.wParam));
            break;
        case WM_KEYDOWN:
            applicationKeyDown(static_cast<uint8_t>(m.wParam));
            break;
        default:
            break;  // key-ups and the composition brackets change no text
        }
    }
}

KeyEvent Typist::keyDown(uint8_t vk, unsigned scan, bool rightShift) {
    KeyEvent event;
    event.vk = vk;
    event.scan = scan & 0xFF;
    keyState_[vk] |= 0x80;
    if (vk == VK_SHIFT) keyState_[rightShift ? VK_RSHIFT : VK_LSHIFT] |= 0x80;
    if (vk == VK_CONTROL) keyState_[VK_LCONTROL] |= 0x80;
    if (vk == VK_MENU) keyState_[VK_LMENU] |= 0x80;
    SetKeyboardState(keyState_);

    field_.inserted.clear();
    LPARAM keyData = 1 | static_cast<LPARAM>((scan & 0xFF) << 16);
    if (scan & 0x100) keyData |= LPARAM{1} << 24;
    if (keyState_[VK_MENU] & 0x80) keyData |= LPARAM{1} << 29;
    event.taken = context_ != nullptr && hooks_.processKey != nullptr &&
                  hooks_.processKey(context_, vk, keyData, keyState_) != 0;
    HWND target = dialogKeyTarget();
    if (event.taken && hooks_.toAsciiEx != nullptr) {
        const char ch = modifierKey(vk) ? 0 : translatedCharacter(vk);
        event.keyWord = vk | (static_cast<UINT>(static_cast<unsigned char>(ch)) << 8);
        // The manager's list: a count of free entries, then the entries.
        std::vector<unsigned char> buffer(sizeof(TRANSMSGLIST) + MESSAGE_CAPACITY * sizeof(TRANSMSG));
        auto* list = reinterpret_cast<TRANSMSGLIST*>(buffer.data());
        list->uMsgCount = MESSAGE_CAPACITY;
        event.count = hooks_.toAsciiEx(event.keyWord, event.scan, keyState_, list, 0, context_);
        for (UINT i = 0; i < event.count && i < MESSAGE_CAPACITY; ++i)
            event.messages.push_back({list->TransMsg[i].message, list->TransMsg[i].wParam, list->TransMsg[i].lParam});
        if (target != nullptr) {
            // The control's default procedure reads the result from its window's context,
            // which is the one the keys went through.
            HIMC previous = ImmAssociateContext(target, context_);
            for (const TypedMessage& m : event.messages) {
                if (!IsWindow(target)) break;
                // Keys handed back are queued like the keyboard's own, to be translated.
                if (m.message >= WM_KEYFIRST && m.message <= WM_KEYLAST)
                    PostMessageA(target, m.message, m.wParam, m.lParam);
                else
                    SendMessageA(target, m.message, m.wParam, m.lParam);
            }
            if (IsWindow(target)) ImmAssociateContext(target, previous);
        } else {
            applyMessages(event);
        }
    } else if (!event.taken && target != nullptr) {
        // Alt chords are system keys, which the dialog's mnemonics answer.
        const bool system = (keyState_[VK_MENU] & 0x80) != 0;
        PostMessageA(target, system ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, keyData);
        PostMessageA(target, system ? WM_SYSKEYUP : WM_KEYUP, vk, keyData | (LPARAM{3} << 30));
    } else if (!event.taken) {
        applicationKeyDown(vk);
    }
    event.typed = field_.inserted;
    if (hooks_.pump != nullptr) hooks_.pump();
    return event;
}

std::vector<KeyEvent> Typist::type(const ScriptKey& key) {
    std::vector<KeyEvent> events;
    switch (key.kind) {
    case ScriptKind::Caps:
        events.push_back(keyDown(VK_CAPITAL, scanCodeForKey(VK_CAPITAL, false), false));
        capsLock_ = !capsLock_;
        break;
    case ScriptKind::Click:
        if (hooks_.click != nullptr) hooks_.click(key.x, key.y);
        if (hooks_.pump != nullptr) hooks_.pump();
        break;
    case ScriptKind::RightClick:
        if (hooks_.rightClick != nullptr) hooks_.rightClick(key.x, key.y);
        if (hooks_.pump != nullptr) hooks_.pump();
        break;
    case ScriptKind::DoubleClick:
        if (hooks_.doubleClick != nullptr) hooks_.doubleClick(key.x, key.y);
        if (hooks_.pump != nullptr) hooks_.pump();
        break;
    case ScriptKind::Menu:
        if (hooks_.menu != nullptr) hooks_.menu(key.id);
        if (hooks_.pump != nullptr) hooks_.pump();
        break;
    case ScriptKind::Popup:
        if (hooks_.popup != nullptr) hooks_.popup(key.id);
        break;
    case ScriptKind::Control: {
        // A click in the middle of the control, as a person aims at it.
        HWND control = activeDialog() ? GetDlgItem(activeDialog(), key.id) : nullptr;
        RECT r{};
        if (control != nullptr && hooks_.click != nullptr && GetWindowRect(control, &r))
            hooks_.click((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        if (hooks_.pump != nullptr) hooks_.pump();
        break;
    }
    case ScriptKind::Answer:
        if (hooks_.answer != nullptr) hooks_.answer(key.id);
        break;
    case ScriptKind::Folder:
        if (hooks_.folder != nullptr) hooks_.folder(key.path.c_str());
        break;
    case ScriptKind::Tick:
        if (hooks_.tick != nullptr) hooks_.tick(key.milliseconds);
        if (hooks_.pump != nullptr) hooks_.pump();
        break;
    case ScriptKind::Key: {
        bool shift = key.shift;
        // With Caps Lock on, a plain letter takes Shift to come out in lower case.
        const bool letter = key.vk >= 'A' && key.vk <= 'Z';
        if (capsLock_ && letter && !key.ctrl && !key.alt && !key.rightShift) shift = !shift;
        if (key.ctrl) events.push_back(keyDown(VK_CONTROL, scanCodeForKey(VK_CONTROL, false), false));
        if (key.alt) events.push_back(keyDown(VK_MENU, scanCodeForKey(VK_MENU, false), false));
        if (shift) events.push_back(keyDown(VK_SHIFT, scanCodeForKey(VK_SHIFT, key.rightShift), key.rightShift));
        // A modifier alone ({Ctrl}, {LShift}, {RShift}) is its own key-down.
        if (!modifierKey(key.vk) || (!key.ctrl && !key.alt && !shift))
            events.push_back(keyDown(key.vk, scanCodeForKey(key.vk, key.rightShift), key.rightShift));
        break;
    }
    }
    // Every key is released again; only the Caps Lock toggle stays.
    std::memset(keyState_, 0, sizeof keyState_);
    keyState_[VK_CAPITAL] = capsLock_ ? 0x01 : 0x00;
    SetKeyboardState(keyState_);
    return events;
}

namespace {
const char* messageName(UINT message) {
    switch (message) {
    case WM_KEYDOWN: return "WM_KEYDOWN";
    case WM_KEYUP: return "WM_KEYUP";
    case WM_CHAR: return "WM_CHAR";
    case WM_IME_STARTCOMPOSITION: return "WM_IME_STARTCOMPOSITION";
    case WM_IME_ENDCOMPOSITION: return "WM_IME_ENDCOMPOSITION";
    case WM_IME_COMPOSITION: return "WM_IME_COMPOSITION";
    case WM_IME_CHAR: return "WM_IME_CHAR";
    default: return nullptr;
    }
}
}  // namespace

std::string messagesJson(const std::vector<KeyEvent>& events) {
    std::string json = "[";
    bool first = true;
    for (const KeyEvent& event : events)
        for (const TypedMessage& m : event.messages) {
            if (!first) json += ',';
            first = false;
            const char* name = messageName(m.message);
            json += "{\"message\":";
            json += name ? std::string("\"") + name + "\"" : std::to_string(m.message);
            json += ",\"wParam\":" + std::to_string(static_cast<long long>(m.wParam));
            json += ",\"lParam\":" + std::to_string(static_cast<long long>(m.lParam)) + "}";
        }
    return json + "]";
}
