// The module's messages for one key, read as commits and keys handed back.
#include "keyoutcome.h"

#include "gbktext.h"

#include <windows.h>

KeyOutcome keyOutcome(const std::vector<TypedMessage>& messages, const std::string& resultString) {
    KeyOutcome out;
    for (const TypedMessage& m : messages) {
        switch (m.message) {
        case WM_IME_COMPOSITION:
            if (m.lParam & GCS_RESULTSTR) out.commit += resultString;
            break;
        case WM_IME_CHAR:
            if (m.wParam > 0xFF) out.commit += static_cast<char>((m.wParam >> 8) & 0xFF);
            out.commit += static_cast<char>(m.wParam & 0xFF);
            break;
        case WM_CHAR:
            // Control characters are keys, not text: the application gets them as keys.
            if (m.wParam >= 0x20 && m.wParam != 0x7F) out.commit += static_cast<char>(m.wParam & 0xFF);
            break;
        case WM_KEYDOWN: out.handedBack.push_back(static_cast<uint8_t>(m.wParam)); break;
        default: break;
        }
    }
    return out;
}

bool handsBackOwnKey(const KeyOutcome& outcome, uint8_t vk) {
    return outcome.commit.empty() && outcome.handedBack.size() == 1 && outcome.handedBack[0] == vk;
}

std::string commitText(const std::string& gbk, bool& exact) {
    std::string utf8;
    exact = gbkToUtf8(gbk, utf8);
    return exact ? utf8 : gbkToUtf8(std::string_view(gbk));
}
