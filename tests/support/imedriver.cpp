// Plays the Input Method Manager for the module under test.
#include "imedriver.h"

#include "shapecode/punctuation.h"
#include "shapecode/shapecode.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <iterator>
#include <memory>

namespace {

constexpr UINT LIST_ROOM = 64;

std::string programDirectory() {
    char path[4096] = {};
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string s(path, n > 0 ? static_cast<size_t>(n) : 0);
    auto slash = s.rfind('/');
    return slash == std::string::npos ? std::string(".") : s.substr(0, slash);
}

struct KeyOf {
    UINT vk;
    bool shift;
};

KeyOf keyOf(char c) {
    if (c >= 'a' && c <= 'z') return {static_cast<UINT>(c - 'a' + 'A'), false};
    if (c >= 'A' && c <= 'Z') return {static_cast<UINT>(c), true};
    if (c >= '0' && c <= '9') return {static_cast<UINT>(c), false};
    static const char plain[] = ";=,-./`[\\]'";
    static const char shifted[] = ":+<_>?~{|}\"";
    static const UINT oem[] = {0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF, 0xC0, 0xDB, 0xDC, 0xDD, 0xDE};
    if (const char* p = std::strchr(plain, c); p && c) return {oem[p - plain], false};
    if (const char* p = std::strchr(shifted, c); p && c) return {oem[p - shifted], true};
    static const char digitsShifted[] = ")!@#$%^&*(";
    if (const char* p = std::strchr(digitsShifted, c); p && c) return {static_cast<UINT>('0' + (p - digitsShifted)), true};
    if (c == ' ') return {VK_SPACE, false};
    return {0, false};
}

}  // namespace

ImeDriver::ImeDriver() : himc_(ImmCreateContext()) {}

ImeDriver::~ImeDriver() {
    if (himc_) ImmDestroyContext(himc_);
}

std::string ImeDriver::readResult() const {
    std::string text;
    INPUTCONTEXT* imc = ImmLockIMC(himc_);
    if (!imc) return text;
    if (auto* block = static_cast<COMPOSITIONSTRING*>(ImmLockIMCC(imc->hCompStr))) {
        DWORD size = ImmGetIMCCSize(imc->hCompStr);
        if (block->dwResultStrOffset < size && block->dwResultStrLen <= size - block->dwResultStrOffset)
            text.assign(reinterpret_cast<const char*>(block) + block->dwResultStrOffset, block->dwResultStrLen);
        ImmUnlockIMCC(imc->hCompStr);
    }
    ImmUnlockIMC(himc_);
    return text;
}

KeyOutcome ImeDriver::press(UINT vk, unsigned char ch, bool shift, bool ctrl, bool alt, UINT scanCode) {
    keyState[VK_SHIFT] = shift ? 0x80 : 0;
    keyState[VK_CONTROL] = ctrl ? 0x80 : 0;
    keyState[VK_MENU] = alt ? 0x80 : 0;
    keyState[VK_CAPITAL] = capsLock ? 0x01 : 0;
    SetKeyboardState(keyState);

    KeyOutcome outcome;
    const LPARAM keyData = static_cast<LPARAM>(1u | (scanCode << 16));
    outcome.taken = ImeProcessKey(himc_, vk, keyData, keyState);
    if (!outcome.taken) {
        if (ch >= 0x20 && ch < 0x7F) outcome.text.push_back(static_cast<char>(ch));
    } else {
        std::vector<unsigned char> room(sizeof(TRANSMSGLIST) + LIST_ROOM * sizeof(TRANSMSG));
        auto* list = reinterpret_cast<TRANSMSGLIST*>(room.data());
        list->uMsgCount = LIST_ROOM;
        outcome.count = ImeToAsciiEx(vk | (static_cast<UINT>(ch) << 8), scanCode, keyState, list, 0, himc_);
        for (UINT i = 0; i < outcome.count && i < LIST_ROOM; ++i) {
            const TRANSMSG& m = list->TransMsg[i];
            outcome.messages.push_back({m.message, m.wParam, m.lParam});
            switch (m.message) {
            case WM_IME_COMPOSITION:
                if (m.lParam & GCS_RESULTSTR) {
                    outcome.result = readResult();
                    outcome.text += outcome.result;
                }
                break;
            case WM_CHAR:
                outcome.text.push_back(static_cast<char>(m.wParam));
                break;
            case WM_IME_CHAR:
                outcome.text.push_back(static_cast<char>((m.wParam >> 8) & 0xFF));
                outcome.text.push_back(static_cast<char>(m.wParam & 0xFF));
                break;
            case WM_KEYDOWN:  // the application's own translation of the key
                if (ch >= 0x20 && ch < 0x7F) outcome.text.push_back(static_cast<char>(ch));
                break;
            default:
                break;
            }
        }
    }
    keyState[VK_SHIFT] = keyState[VK_CONTROL] = keyState[VK_MENU] = 0;
    SetKeyboardState(keyState);
    return outcome;
}

KeyOutcome ImeDriver::typeChar(char c) {
    KeyOf k = keyOf(c);
    return press(k.vk, static_cast<unsigned char>(c), k.shift);
}

std::string ImeDriver::type(const std::string& keys) {
    std::string text;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (keys[i] == '{' && i + 1 < keys.size() && keys[i + 1] != '}') {
            size_t end = keys.find('}', i);
            if (end != std::string::npos) {
                std::string name = keys.substr(i + 1, end - i - 1);
                KeyOutcome o;
                if (name == "Space") o = space();
                else if (name == "Enter") o = enter();
                else if (name == "Esc") o = escape();
                else if (name == "Back") o = backspace();
                else if (name == "Ctrl") o = ctrl();
                else if (name == "LShift") o = leftShift();
                else if (name == "RShift") o = rightShift();
                else if (name == "{") o = typeChar('{');
                text += o.text;
                i = end;
                continue;
            }
        }
        text += typeChar(keys[i]).text;
    }
    return text;
}

void resetEngineForTest() {
    std::memset(&engineContext, 0, sizeof engineContext);
    engineContext.chinesePunct = 1;
    engineContext.chineseMode = 1;
    pinyinMode = webMode = webListIndex = wubiMode = phoneticEdition = 0;
    gbkSetting = gbkLookup = tablesMissing = 0;
    inputPhase = 1;
    leftShiftLast = 0;
    keyData = 0;
    swallowNextKey = 0;
    conversionMode = sentenceMode = 0;
    userPhraseFile[0] = '\0';
    repeatArmed = 0;
    repeatKeys[0] = repeatKeys[1] = repeatKeys[2] = '^';
    phraseLibraryMode = pinyinPhraseRequest = displayHalf = 0;
    messageLine[0] = '\0';
    quoteAlternation = 1;
    pinyinStartFlag = webResultPending = 0;
    shiftTipIndex = 0;
    previousKey = currentKey = 0;
    for (CodeTable* t : {&tableMB1, &tableMB4, &tableXCZMB, &tableYCZMB, &tableXGBK, &tableYGBK, &tableWBMB,
                         &tablePYMB, &tablePYCZ})
        *t = CodeTable{nullptr, 0};
    userPhraseDialog = nullptr;
    engineRequest(ZOZ_RESET, 1);
}

CodeTable buildTable(const std::string& source, const char* format) {
    static std::deque<std::vector<unsigned char>> tables;  // stable addresses for the program's life
    static int serial = 0;
    const std::string base = "/tmp/qx_engine_table_" + std::to_string(getpid()) + "_" + std::to_string(serial++);
    const std::string in = base + ".txt", out = base + ".bin";
    std::ofstream(in) << source;
    const std::string command =
        programDirectory() + "/mbtool build --format " + format + " " + in + " " + out + " >/dev/null";
    CodeTable table{nullptr, 0};
    if (std::system(command.c_str()) == 0) {
        std::ifstream file(out, std::ios::binary);
        tables.emplace_back(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        table = CodeTable{tables.back().data(), static_cast<uint32_t>(tables.back().size())};
    }
    std::remove(in.c_str());
    std::remove(out.c_str());
    return table;
}

CodeTable libraryTable(const char* library, const char* name) {
    HMODULE module = LoadLibraryA((programDirectory() + "/" + library).c_str());
    if (!module) return {nullptr, 0};
    HRSRC resource = FindResourceA(module, name, "mb");
    if (!resource) return {nullptr, 0};
    HGLOBAL loaded = LoadResource(module, resource);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return {nullptr, 0};
    return {static_cast<const unsigned char*>(data), static_cast<uint32_t>(SizeofResource(module, resource))};
}

std::string cellText() {
    std::string text;
    for (int i = 0; i <= engineContext.lastCell && i < 17; ++i) text += engineContext.cells[i];
    return text;
}

bool installSmallTables() {
    static CodeTable mb4, mb1, wbmb, xgbk;
    static bool built = false;
    if (built) {
        tableMB4 = mb4, tableMB1 = mb1, tableWBMB = wbmb, tableXGBK = xgbk;
        return mb4.data && mb1.data && wbmb.data && xgbk.data;
    }
    built = true;
    tableMB4 = buildTable(
        "a\t工\nab\t甲\nab\t乙\nab\t丙\nabc\t丁\nabcd\t戊\nabce\t己\nabce\t庚\n"
        "abf\t中华人民共和国万岁\nabfg\t中华人民共和国万岁万万岁\ni\t一\n"
        "pa\t天\npb\t地\npc\t玄\npd\t黄\npe\t日\npf\t月\npg\t盈\nph\t宇宙洪荒\n"
        "pi\t昃\npj\t辰\npk\t宿\npl\t列\npm\t张\npn\t寒\n;a\t来\n/a\t暑\n");
    tableMB1 = buildTable("v\t女\ni\t一\na\t阿\nab\t啊\n");
    tableWBMB = buildTable("a\t工\ni\t一\nkhk\t中\nkhk\t口\nggll\t五\n");
    tableXGBK = buildTable("gg\t甲\ngg\t乙\ngg\t丙\ngg\t丁\ngg\t戊\ngg\t己\ngg\t庚\ngg\t辛\n"
                           "gg\t壬\ngg\t癸\ngg\t子\ngg\t丑\ngg\t寅\nggh\t卯\n",
                           "fixed");
    mb4 = tableMB4, mb1 = tableMB1, wbmb = tableWBMB, xgbk = tableXGBK;
    return mb4.data && mb1.data && wbmb.data && xgbk.data;
}
