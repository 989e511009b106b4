// Plays the Input Method Manager for the module under test.
#include "imedriver.h"

#include "shapecode/punctuation.h"
#include "shapecode/shapecode.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <winapi_desktop.h>
#include <winapi_host.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <iterator>
#include <memory>

namespace {

std::string programDirectory() {
    char path[4096] = {};
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string s(path, n > 0 ? static_cast<size_t>(n) : 0);
    auto slash = s.rfind('/');
    return slash == std::string::npos ? std::string(".") : s.substr(0, slash);
}

TypistHooks moduleHooks() {
    TypistHooks hooks;
    hooks.processKey = ImeProcessKey;
    hooks.toAsciiEx = ImeToAsciiEx;
    hooks.click = winapiClick;
    hooks.tick = [](unsigned milliseconds) { winapiAdvanceClock(milliseconds); };
    hooks.pump = [] { winapiPumpMessages(); };
    return hooks;
}

}  // namespace

ImeDriver::ImeDriver() : himc_(ImmCreateContext()), typist_(himc_, moduleHooks()) {}

ImeDriver::~ImeDriver() {
    if (himc_) ImmDestroyContext(himc_);
}

KeyOutcome ImeDriver::key(const std::string& scriptKey) {
    std::vector<ScriptKey> keys;
    std::string error;
    KeyOutcome outcome;
    if (!parseKeyScript(scriptKey, keys, error) || keys.size() != 1) {
        ADD_FAILURE() << "not one script key: " << scriptKey << " " << error;
        return outcome;
    }
    const std::vector<KeyEvent> events = typist_.type(keys[0]);
    for (const KeyEvent& event : events) outcome.text += event.typed;
    if (!events.empty()) {
        const KeyEvent& last = events.back();
        outcome.taken = last.taken;
        outcome.count = last.count;
        outcome.messages = last.messages;
        outcome.result = last.result;
    }
    return outcome;
}

KeyOutcome ImeDriver::typeChar(char c) {
    if (c == '{' || c == '}') return key(std::string("{") + c + "}");
    return key(std::string(1, c));
}

std::string ImeDriver::type(const std::string& keys) {
    std::vector<ScriptKey> parsed;
    std::string error, text;
    if (!parseKeyScript(keys, parsed, error)) {
        ADD_FAILURE() << error;
        return text;
    }
    for (const ScriptKey& k : parsed)
        for (const KeyEvent& event : typist_.type(k)) text += event.typed;
    return text;
}

void resetEngineForTest() {
    resetProcessState();
    engineContext.chinesePunct = 1;
    engineContext.chineseMode = 1;
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
        codeTables.MB4 = mb4, codeTables.MB1 = mb1, codeTables.WBMB = wbmb, codeTables.XGBK = xgbk;
        return mb4.data && mb1.data && wbmb.data && xgbk.data;
    }
    built = true;
    codeTables.MB4 = buildTable(
        "a\t工\nab\t甲\nab\t乙\nab\t丙\nabc\t丁\nabcd\t戊\nabce\t己\nabce\t庚\n"
        "abf\t中华人民共和国万岁\nabfg\t中华人民共和国万岁万万岁\ni\t一\n"
        "pa\t天\npb\t地\npc\t玄\npd\t黄\npe\t日\npf\t月\npg\t盈\nph\t宇宙洪荒\n"
        "pi\t昃\npj\t辰\npk\t宿\npl\t列\npm\t张\npn\t寒\n;a\t来\n/a\t暑\n");
    codeTables.MB1 = buildTable("v\t女\ni\t一\na\t阿\nab\t啊\n");
    codeTables.WBMB = buildTable("a\t工\ni\t一\nkhk\t中\nkhk\t口\nggll\t五\n");
    codeTables.XGBK = buildTable("gg\t甲\ngg\t乙\ngg\t丙\ngg\t丁\ngg\t戊\ngg\t己\ngg\t庚\ngg\t辛\n"
                                 "gg\t壬\ngg\t癸\ngg\t子\ngg\t丑\ngg\t寅\nggh\t卯\n",
                                 "fixed");
    mb4 = codeTables.MB4, mb1 = codeTables.MB1, wbmb = codeTables.WBMB, xgbk = codeTables.XGBK;
    return mb4.data && mb1.data && wbmb.data && xgbk.data;
}
