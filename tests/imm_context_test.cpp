// Input contexts: the blocks an IME works with, their sizes and locks, the status
// calls and what they announce, and reading the composition string back.
#include <windows.h>
#include <imedev.h>
#include <winapi_host.h>

#include <gtest/gtest.h>

#include <vector>

// The window manager's notification, replaced here to see what the manager announces.
std::vector<std::pair<HIMC, DWORD>> notices;
void winapiImmNotify(HIMC context, DWORD code) { notices.push_back({context, code}); }
// Likewise the delivery of generated messages.
struct Sent {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Sent> sent;
void winapiImmSendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    sent.push_back({window, message, wParam, lParam});
}

namespace {

TEST(InputContext, StartsWithTheBlocksTheManagerGives) {
    HIMC context = ImmCreateContext();
    ASSERT_NE(context, nullptr);
    INPUTCONTEXT* ic = ImmLockIMC(context);
    ASSERT_NE(ic, nullptr);
    EXPECT_EQ(ImmGetIMCLockCount(context), 1u);
    // The composition string is only its header: an IME must grow it to write text.
    EXPECT_EQ(ImmGetIMCCSize(ic->hCompStr), sizeof(COMPOSITIONSTRING));
    auto* cs = static_cast<COMPOSITIONSTRING*>(ImmLockIMCC(ic->hCompStr));
    ASSERT_NE(cs, nullptr);
    EXPECT_EQ(cs->dwSize, sizeof(COMPOSITIONSTRING));
    EXPECT_EQ(cs->dwResultStrLen, 0u);
    ImmUnlockIMCC(ic->hCompStr);
    EXPECT_EQ(ImmGetIMCCSize(ic->hCandInfo), sizeof(CANDIDATEINFO));
    EXPECT_EQ(ImmGetIMCCSize(ic->hGuideLine), sizeof(GUIDELINE));
    for (HIMCC block : {ic->hCompStr, ic->hCandInfo, ic->hGuideLine, ic->hPrivate, ic->hMsgBuf})
        EXPECT_NE(ImmLockIMCC(block), nullptr);
    ImmUnlockIMC(context);
    EXPECT_EQ(ImmGetIMCLockCount(context), 0u);
    EXPECT_TRUE(ImmDestroyContext(context));
    EXPECT_EQ(ImmLockIMC(context), nullptr);   // a destroyed context is refused
    EXPECT_FALSE(ImmDestroyContext(context));
}

TEST(InputContext, BlocksResizeKeepingTheirContentAndZeroFillGrowth) {
    HIMCC block = ImmCreateIMCC(4);
    auto* bytes = static_cast<BYTE*>(ImmLockIMCC(block));
    memcpy(bytes, "abcd", 4);
    ImmUnlockIMCC(block);
    EXPECT_EQ(ImmReSizeIMCC(block, 4096), block);
    EXPECT_EQ(ImmGetIMCCSize(block), 4096u);
    bytes = static_cast<BYTE*>(ImmLockIMCC(block));
    EXPECT_EQ(memcmp(bytes, "abcd", 4), 0);
    EXPECT_EQ(bytes[4095], 0);
    EXPECT_EQ(ImmGetIMCCLockCount(block), 1u);
    ImmUnlockIMCC(block);
    EXPECT_EQ(ImmReSizeIMCC(block, 2), block);
    EXPECT_EQ(ImmGetIMCCSize(block), 2u);
    EXPECT_EQ(ImmDestroyIMCC(block), nullptr);
    EXPECT_EQ(ImmLockIMCC(block), nullptr);
    EXPECT_EQ(ImmReSizeIMCC(block, 8), nullptr);
    EXPECT_EQ(ImmGetIMCCSize(block), 0u);
}

TEST(InputContext, StatusChangesAreAnnouncedOnlyWhenTheyChange) {
    HIMC context = ImmCreateContext();
    notices.clear();
    EXPECT_TRUE(ImmSetConversionStatus(context, IME_CMODE_NATIVE | IME_CMODE_SYMBOL, 0));
    EXPECT_TRUE(ImmSetConversionStatus(context, IME_CMODE_NATIVE | IME_CMODE_SYMBOL, 0));
    EXPECT_TRUE(ImmSetConversionStatus(context, IME_CMODE_NATIVE | IME_CMODE_SYMBOL,
                                       IME_SMODE_PHRASEPREDICT));
    DWORD conversion = 0, sentence = 0;
    EXPECT_TRUE(ImmGetConversionStatus(context, &conversion, &sentence));
    EXPECT_EQ(conversion, static_cast<DWORD>(IME_CMODE_NATIVE | IME_CMODE_SYMBOL));
    EXPECT_EQ(sentence, static_cast<DWORD>(IME_SMODE_PHRASEPREDICT));
    EXPECT_EQ(ImmLockIMC(context)->fdwConversion, conversion);   // the same record
    ImmUnlockIMC(context);

    EXPECT_FALSE(ImmGetOpenStatus(context));
    EXPECT_TRUE(ImmSetOpenStatus(context, TRUE));
    EXPECT_TRUE(ImmSetOpenStatus(context, 5));   // any nonzero is "open": no change
    EXPECT_TRUE(ImmGetOpenStatus(context));
    std::vector<std::pair<HIMC, DWORD>> expected = {{context, IMN_SETCONVERSIONMODE},
                                                     {context, IMN_SETSENTENCEMODE},
                                                     {context, IMN_SETOPENSTATUS}};
    EXPECT_EQ(notices, expected);

    ImmDestroyContext(context);
    EXPECT_FALSE(ImmSetConversionStatus(context, 0, 0));
    EXPECT_FALSE(ImmGetConversionStatus(context, &conversion, &sentence));
    EXPECT_FALSE(ImmSetOpenStatus(nullptr, TRUE));
}

TEST(InputContext, CompositionStringReadsOnlyInsideTheBlock) {
    HIMC context = ImmCreateContext();
    INPUTCONTEXT* ic = ImmLockIMC(context);
    const DWORD size = sizeof(COMPOSITIONSTRING) + 8;
    ASSERT_NE(ImmReSizeIMCC(ic->hCompStr, size), nullptr);
    auto* cs = static_cast<COMPOSITIONSTRING*>(ImmLockIMCC(ic->hCompStr));
    cs->dwSize = size;
    cs->dwResultStrOffset = sizeof(COMPOSITIONSTRING);
    cs->dwResultStrLen = 4;
    memcpy(reinterpret_cast<BYTE*>(cs) + cs->dwResultStrOffset, "\xD6\xD0\xCE\xC4", 4);
    ImmUnlockIMCC(ic->hCompStr);

    char text[8] = {};
    EXPECT_EQ(ImmGetCompositionStringA(context, GCS_RESULTSTR, nullptr, 0), 4);
    EXPECT_EQ(ImmGetCompositionStringA(context, GCS_RESULTSTR, text, sizeof text), 4);
    EXPECT_EQ(std::string(text), "\xD6\xD0\xCE\xC4");
    EXPECT_EQ(ImmGetCompositionStringA(context, GCS_COMPSTR, text, sizeof text), 0);
    EXPECT_EQ(ImmGetCompositionStringA(context, 0x12345, text, sizeof text), IMM_ERROR_NODATA);

    cs = static_cast<COMPOSITIONSTRING*>(ImmLockIMCC(ic->hCompStr));
    cs->dwResultStrLen = 0xFFFFFFF0u;   // a length no block holds
    ImmUnlockIMCC(ic->hCompStr);
    EXPECT_EQ(ImmGetCompositionStringA(context, GCS_RESULTSTR, text, sizeof text),
              IMM_ERROR_GENERAL);
    ImmUnlockIMC(context);
    ImmDestroyContext(context);
}

TEST(InputContext, WindowsShareTheDefaultContextUntilOneIsAssociated) {
    HWND first = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1000));
    HWND second = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x2000));
    HIMC shared = ImmGetContext(first);
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(ImmGetContext(second), shared);
    HIMC own = ImmCreateContext();
    EXPECT_EQ(ImmAssociateContext(second, own), shared);
    EXPECT_EQ(ImmGetContext(second), own);
    EXPECT_EQ(ImmLockIMC(own)->hWnd, second);
    ImmUnlockIMC(own);
    winapiImmSetUiWindow(own, first);
    EXPECT_EQ(winapiImmUiWindow(own), first);
    ImmDestroyContext(own);
    EXPECT_EQ(winapiImmUiWindow(own), nullptr);
}

TEST(InputContext, GeneratedMessagesGoToTheWindowAndEmptyTheBuffer) {
    HIMC context = ImmCreateContext();
    HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x3000));
    ImmAssociateContext(window, context);
    INPUTCONTEXT* ic = ImmLockIMC(context);
    ASSERT_NE(ImmReSizeIMCC(ic->hMsgBuf, 2 * sizeof(TRANSMSG)), nullptr);
    auto* messages = static_cast<TRANSMSG*>(ImmLockIMCC(ic->hMsgBuf));
    messages[0] = {WM_IME_STARTCOMPOSITION, 0, 0};
    messages[1] = {WM_IME_CHAR, 0xD6D0, 1};
    ImmUnlockIMCC(ic->hMsgBuf);
    ic->dwNumMsgBuf = 3;   // one more than the buffer holds: only two are sent
    sent.clear();
    EXPECT_TRUE(ImmGenerateMessage(context));
    EXPECT_EQ(ic->dwNumMsgBuf, 0u);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].window, window);
    EXPECT_EQ(sent[0].message, static_cast<UINT>(WM_IME_STARTCOMPOSITION));
    EXPECT_EQ(sent[1].message, static_cast<UINT>(WM_IME_CHAR));
    EXPECT_EQ(sent[1].wParam, 0xD6D0u);
    EXPECT_EQ(sent[1].lParam, 1);
    ImmUnlockIMC(context);
    ImmDestroyContext(context);
}

}  // namespace
