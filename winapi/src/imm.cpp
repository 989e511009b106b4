// Input contexts as the Input Method Manager keeps them: an INPUTCONTEXT per context
// with its blocks (composition string, candidates, guideline, private data, messages)
// as separately sized, lockable memory. Handles are numbers never reused, so a stale
// handle is refused instead of reaching freed memory.
#include <imedev.h>
#include "internal.h"
#include "winapi_host.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>
#include <mutex>

namespace {

struct Block {
    std::vector<BYTE> bytes;   // never empty, so a lock never answers null
    DWORD size;
    DWORD locks;
};

struct Context {
    INPUTCONTEXT record;
    DWORD locks;
    HWND uiWindow;
};

std::recursive_mutex immLock;
std::map<uintptr_t, Block> blocks;
std::map<uintptr_t, Context> contexts;
std::map<HWND, HIMC> associations;
uintptr_t nextBlock = 0x20000;
uintptr_t nextContext = 0x10000;
HIMC defaultContext = nullptr;

Block* findBlock(HIMCC handle) {
    auto it = blocks.find(reinterpret_cast<uintptr_t>(handle));
    return it == blocks.end() ? nullptr : &it->second;
}

Context* findContext(HIMC handle) {
    auto it = contexts.find(reinterpret_cast<uintptr_t>(handle));
    return it == contexts.end() ? nullptr : &it->second;
}

// A block's first DWORD is its dwSize for the records that carry one.
HIMCC createSized(DWORD size, bool stampSize) {
    HIMCC handle = ImmCreateIMCC(size);
    if (handle && stampSize) {
        Block* block = findBlock(handle);
        memcpy(block->bytes.data(), &size, sizeof size);
    }
    return handle;
}

}  // namespace

__attribute__((weak)) void winapiImmNotify(HIMC, DWORD) {}

__attribute__((weak)) void winapiImmSendMessage(HWND window, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
    char text[96];
    snprintf(text, sizeof text, "%p %04x %lx %lx", static_cast<void*>(window), message,
             static_cast<unsigned long>(wParam), static_cast<unsigned long>(lParam));
    winapiRecordEvent("ime-message", text);
}

HIMCC WINAPI ImmCreateIMCC(DWORD size) {
    std::lock_guard<std::recursive_mutex> guard(immLock);
    // Zero-filled like the manager's blocks; never a null pointer, even for size 0.
    uintptr_t id = nextBlock;
    nextBlock += 4;
    blocks[id] = Block{std::vector<BYTE>(size ? size : 1), size, 0};
    return reinterpret_cast<HIMCC>(id);
}

HIMCC WINAPI ImmDestroyIMCC(HIMCC handle) {
    std::lock_guard<std::recursive_mutex> guard(immLock);
    Block* block = findBlock(handle);
    if (!block) return handle;
    blocks.erase(reinterpret_cast<uintptr_t>(handle));
    return nullptr;
}

LPVOID WINAPI ImmLockIMCC(HIMCC handle) {
    std::lock_guard<std::recursive_mutex> guard(immLock);
    Block* block = findBlock(handle);
    if (!block) return nullptr;
    ++block->locks;
    return block->bytes.data();
}

BOOL WINAPI ImmUnlockIMCC(HIMCC handle) {
    std::lock_guard<std::recursive_mutex> guard(immLock);
    Block* block = findBlock(handle);
    if (!block) return FALSE;
    if (block->locks) --block->locks;
    return block->locks != 0;
}

DWORD WINAPI ImmGetIMCCLockCount(HIMCC handle) {
    std::lock_guard<std::recursive_mutex> guard(immLock);
    Block* block = findBlock(handle);
    return block ? block->locks : 0;
}

// The handle stays the same; the memory may move, so pointers from an earlier lock
// must not be used after a resize. Growth is zero-filled.
HIMCC WINAPI ImmReSizeIMCC(HIMCC handle, DWORD size) {
    std::lock_guard<std::recursive_mutex> guard(immLock);
    Block* block = findBlock(handle);
    if (!block) return nullptr;
    block->bytes.resize(size ? size : 1);   // growth is value-initialised: zeros
    block->size = size;
    return handle;
}

DWORD WINAPI ImmGetIMCCSize(HIMCC handle) {
    std::lock_guard<std::recursive_mutex> guard(immLock);
    Block* block = findBlock(handle);
    return block ? block->size : 0;
}

HIMC WINAPI ImmCreateContext(void) {
    std::lock_guard<std::recursive_mutex> guard(immLock);
    Context context{};
    INPUTCONTEXT& r = context.record;
    // The composition string is exactly the header: an IME resizes it before it
    // writes any text, as it must with the real manager.
    r.hCompStr = createSized(sizeof(COMPOSITIONSTRING), true);
    r.hCandInfo = createSized(sizeof(CANDIDATEINFO), true);
    r.hGuideLine = createSized(sizeof(GUIDELINE), true);
    r.hPrivate = createSized(sizeof(DWORD), false);
    r.hMsgBuf = createSized(sizeof(TRANSMSG), false);
    if (!r.hCompStr || !r.hCandInfo || !r.hGuideLine || !r.hPrivate || !r.hMsgBuf) {
        for (HIMCC h : {r.hCompStr, r.hCandInfo, r.hGuideLine, r.hPrivate, r.hMsgBuf})
            if (h) ImmDestroyIMCC(h);
        return nullptr;
    }
    for (DWORD i = 0; i < 4; ++i) r.cfCandForm[i].dwIndex = static_cast<DWORD>(-1);
    uintptr_t id = nextContext;
    nextContext += 4;
    contexts[id] = context;
    return reinterpret_cast<HIMC>(id);
}

BOOL WINAPI ImmDestroyContext(HIMC handle) {
    std::lock_guard<std::recursive_mutex> guard(immLock);
    Context* context = findContext(handle);
    if (!context) return FALSE;
    INPUTCONTEXT& r = context->record;
    for (HIMCC h : {r.hCompStr, r.hCandInfo, r.hGuideLine, r.hPrivate, r.hMsgBuf})
        ImmDestroyIMCC(h);
    contexts.erase(reinterpret_cast<uintptr_t>(handle));
    for (auto it = associations.begin(); it != associations.end();)
        it = it->second == handle ? associations.erase(it) : std::next(it);
    if (defaultContext == handle) defaultContext = nullptr;
    return TRUE;
}

LPINPUTCONTEXT WINAPI ImmLockIMC(HIMC handle) {
    std::lock_guard<std::recursive_mutex> guard(immLock);
    Context* context = findContext(handle);
    if (!context) return nullptr;
    ++context->locks;
    return &context->record;
}

BOOL WINAPI ImmUnlockIMC(HIMC handle) {
    std::lock_guard<std::recursive_mutex> guard(immLock);
    Context* context = findContext(handle);
    if (!context) return FALSE;
    if (context->locks) --context->locks;
    return TRUE;
}

DWORD WINAPI ImmGetIMCLockCount(HIMC handle) {
    std::lock_guard<std::recursive_mutex> guard(immLock);
    Context* context = findContext(handle);
    return context ? context->locks : 0;
}

// Windows gives every window the thread's default context until another is associated.
HIMC WINAPI ImmGetContext(HWND window) {
    std::lock_guard<std::recursive_mutex> guard(immLock);
    if (!window) return nullptr;
    auto it = associations.find(window);
    if (it != associations.end()) return it->second;
    if (!defaultContext) defaultContext = ImmCreateContext();
    return defaultContext;
}

BOOL WINAPI ImmReleaseContext(HWND, HIMC handle) {
    std::lock_guard<std::recursive_mutex> guard(immLock);
    return findContext(handle) != nullptr;
}

HIMC WINAPI ImmAssociateContext(HWND window, HIMC handle) {
    std::lock_guard<std::recursive_mutex> guard(immLock);
    if (!window) return nullptr;
    HIMC previous = ImmGetContext(window);
    associations[window] = handle;
    if (Context* context = findContext(handle)) context->record.hWnd = window;
    return previous;
}

void winapiImmSetUiWindow(HIMC handle, HWND window) {
    std::lock_guard<std::recursive_mutex> guard(immLock);
    if (Context* context = findContext(handle)) context->uiWindow = window;
}

HWND winapiImmUiWindow(HIMC handle) {
    std::lock_guard<std::recursive_mutex> guard(immLock);
    Context* context = findContext(handle);
    return context ? context->uiWindow : nullptr;
}

BOOL WINAPI ImmGetConversionStatus(HIMC handle, LPDWORD conversion, LPDWORD sentence) {
    std::lock_guard<std::recursive_mutex> guard(immLock);
    Context* context = findContext(handle);
    if (!context) return FALSE;
    if (conversion) *conversion = context->record.fdwConversion;
    if (sentence) *sentence = context->record.fdwSentence;
    return TRUE;
}

// Only a real change is announced, each kind with its own notification.
BOOL WINAPI ImmSetConversionStatus(HIMC handle, DWORD conversion, DWORD sentence) {
    bool conversionChanged, sentenceChanged;
    {
        std::lock_guard<std::recursive_mutex> guard(immLock);
        Context* context = findContext(handle);
        if (!context) return FALSE;
        INPUTCONTEXT& r = context->record;
        conversionChanged = r.fdwConversion != conversion;
        sentenceChanged = r.fdwSentence != sentence;
        r.fdwConversion = conversion;
        r.fdwSentence = sentence;
        r.fdwInit |= INIT_CONVERSION | INIT_SENTENCE;
    }
    if (conversionChanged) winapiImmNotify(handle, IMN_SETCONVERSIONMODE);
    if (sentenceChanged) winapiImmNotify(handle, IMN_SETSENTENCEMODE);
    return TRUE;
}

BOOL WINAPI ImmGetOpenStatus(HIMC handle) {
    std::lock_guard<std::recursive_mutex> guard(immLock);
    Context* context = findContext(handle);
    return context && context->record.fOpen;
}

BOOL WINAPI ImmSetOpenStatus(HIMC handle, BOOL open) {
    bool changed;
    {
        std::lock_guard<std::recursive_mutex> guard(immLock);
        Context* context = findContext(handle);
        if (!context) return FALSE;
        changed = (context->record.fOpen != 0) != (open != 0);
        context->record.fOpen = open ? TRUE : FALSE;
    }
    if (changed) winapiImmNotify(handle, IMN_SETOPENSTATUS);
    return TRUE;
}

// Reads one part of the composition-string block. Lengths and offsets come from the
// IME, so a part that does not lie inside the block is an error, not a read.
LONG WINAPI ImmGetCompositionStringA(HIMC handle, DWORD index, LPVOID buffer, DWORD size) {
    std::lock_guard<std::recursive_mutex> guard(immLock);
    Context* context = findContext(handle);
    if (!context) return IMM_ERROR_GENERAL;
    Block* block = findBlock(context->record.hCompStr);
    if (!block || block->size < sizeof(COMPOSITIONSTRING)) return IMM_ERROR_GENERAL;
    COMPOSITIONSTRING cs;
    memcpy(&cs, block->bytes.data(), sizeof cs);
    DWORD length, offset;
    switch (index) {
    case GCS_COMPSTR: length = cs.dwCompStrLen, offset = cs.dwCompStrOffset; break;
    case GCS_COMPATTR: length = cs.dwCompAttrLen, offset = cs.dwCompAttrOffset; break;
    case GCS_COMPCLAUSE: length = cs.dwCompClauseLen, offset = cs.dwCompClauseOffset; break;
    case GCS_COMPREADSTR: length = cs.dwCompReadStrLen, offset = cs.dwCompReadStrOffset; break;
    case GCS_COMPREADATTR: length = cs.dwCompReadAttrLen, offset = cs.dwCompReadAttrOffset; break;
    case GCS_COMPREADCLAUSE:
        length = cs.dwCompReadClauseLen, offset = cs.dwCompReadClauseOffset;
        break;
    case GCS_RESULTSTR: length = cs.dwResultStrLen, offset = cs.dwResultStrOffset; break;
    case GCS_RESULTCLAUSE: length = cs.dwResultClauseLen, offset = cs.dwResultClauseOffset; break;
    case GCS_RESULTREADSTR:
        length = cs.dwResultReadStrLen, offset = cs.dwResultReadStrOffset;
        break;
    case GCS_RESULTREADCLAUSE:
        length = cs.dwResultReadClauseLen, offset = cs.dwResultReadClauseOffset;
        break;
    case GCS_CURSORPOS: return static_cast<LONG>(cs.dwCursorPos);
    case GCS_DELTASTART: return static_cast<LONG>(cs.dwDeltaStart);
    default: return IMM_ERROR_NODATA;
    }
    if (offset > block->size || length > block->size - offset) return IMM_ERROR_GENERAL;
    if (!buffer || size == 0) return static_cast<LONG>(length);
    DWORD copied = length < size ? length : size;
    memcpy(buffer, block->bytes.data() + offset, copied);
    return static_cast<LONG>(copied);
}

BOOL WINAPI ImmGetCompositionWindow(HIMC handle, LPCOMPOSITIONFORM form) {
    std::lock_guard<std::recursive_mutex> guard(immLock);
    Context* context = findContext(handle);
    if (!context || !form || !(context->record.fdwInit & INIT_COMPFORM)) return FALSE;
    *form = context->record.cfCompForm;
    return TRUE;
}

BOOL WINAPI ImmSetCompositionWindow(HIMC handle, LPCOMPOSITIONFORM form) {
    {
        std::lock_guard<std::recursive_mutex> guard(immLock);
        Context* context = findContext(handle);
        if (!context || !form) return FALSE;
        context->record.cfCompForm = *form;
        context->record.fdwInit |= INIT_COMPFORM;
    }
    winapiImmNotify(handle, IMN_SETCOMPOSITIONWINDOW);
    return TRUE;
}

BOOL WINAPI ImmGetCandidateWindow(HIMC handle, DWORD index, LPCANDIDATEFORM form) {
    std::lock_guard<std::recursive_mutex> guard(immLock);
    Context* context = findContext(handle);
    if (!context || !form || index >= 4) return FALSE;
    if (context->record.cfCandForm[index].dwIndex == static_cast<DWORD>(-1)) return FALSE;
    *form = context->record.cfCandForm[index];
    return TRUE;
}

BOOL WINAPI ImmSetCandidateWindow(HIMC handle, LPCANDIDATEFORM form) {
    {
        std::lock_guard<std::recursive_mutex> guard(immLock);
        Context* context = findContext(handle);
        if (!context || !form || form->dwIndex >= 4) return FALSE;
        context->record.cfCandForm[form->dwIndex] = *form;
    }
    winapiImmNotify(handle, IMN_SETCANDIDATEPOS);
    return TRUE;
}

BOOL WINAPI ImmGetStatusWindowPos(HIMC handle, LPPOINT point) {
    std::lock_guard<std::recursive_mutex> guard(immLock);
    Context* context = findContext(handle);
    if (!context || !point || !(context->record.fdwInit & INIT_STATUSWNDPOS)) return FALSE;
    *point = context->record.ptStatusWndPos;
    return TRUE;
}

BOOL WINAPI ImmSetStatusWindowPos(HIMC handle, LPPOINT point) {
    {
        std::lock_guard<std::recursive_mutex> guard(immLock);
        Context* context = findContext(handle);
        if (!context || !point) return FALSE;
        context->record.ptStatusWndPos = *point;
        context->record.fdwInit |= INIT_STATUSWNDPOS;
    }
    winapiImmNotify(handle, IMN_SETSTATUSWINDOWPOS);
    return TRUE;
}

// Sends the messages an IME left in the context's buffer to the context's window and
// empties the buffer. A count larger than the buffer holds is cut to what it holds.
BOOL WINAPI ImmGenerateMessage(HIMC handle) {
    std::vector<TRANSMSG> messages;
    HWND window;
    {
        std::lock_guard<std::recursive_mutex> guard(immLock);
        Context* context = findContext(handle);
        if (!context) return FALSE;
        INPUTCONTEXT& r = context->record;
        Block* block = findBlock(r.hMsgBuf);
        DWORD fits = block ? block->size / sizeof(TRANSMSG) : 0;
        DWORD count = r.dwNumMsgBuf < fits ? r.dwNumMsgBuf : fits;
        messages.resize(count);
        if (count) memcpy(messages.data(), block->bytes.data(), count * sizeof(TRANSMSG));
        r.dwNumMsgBuf = 0;
        window = r.hWnd;
    }
    for (const TRANSMSG& m : messages) winapiImmSendMessage(window, m.message, m.wParam, m.lParam);
    return TRUE;
}
