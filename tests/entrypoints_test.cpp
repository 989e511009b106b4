// The IME exports: the module's description, the fixed answers, and the built module
// exporting them by their plain names.
#include "imedriver.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace {

TEST(EntryPoints, InquireDescribesTheModule) {
    EXPECT_FALSE(ImeInquire(nullptr, nullptr, 0));
    char uiClass[64];
    std::memset(uiClass, 'x', sizeof uiClass);
    EXPECT_FALSE(ImeInquire(nullptr, uiClass, 0));
    EXPECT_EQ(uiClass[0], 'x') << "nothing is written without an IMEINFO";

    IMEINFO info;
    std::memset(&info, 0xCC, sizeof info);
    ASSERT_TRUE(ImeInquire(&info, uiClass, 0));
    EXPECT_EQ(info.dwPrivateDataSize, 100u);
    EXPECT_EQ(info.fdwProperty, 0x0000000Eu);
    EXPECT_EQ(info.fdwConversionCaps, 0x00000509u);
    EXPECT_EQ(info.fdwSentenceCaps, 0u);
    EXPECT_EQ(info.fdwUICaps, 2u);
    EXPECT_EQ(info.fdwSCSCaps, 0u);
    EXPECT_EQ(info.fdwSelectCaps, 0u);
    EXPECT_STREQ(uiClass, "NOVPA_UICLS");
}

TEST(EntryPoints, FixedExportsAnswerWithTheirValues) {
    HIMC himc = ImmCreateContext();
    EXPECT_TRUE(ImeConfigure(nullptr, nullptr, 0, nullptr));
    EXPECT_EQ(ImeConversionList(himc, "a", nullptr, 0, 0), 0u);
    EXPECT_TRUE(ImeDestroy(0));
    EXPECT_EQ(ImeEnumRegisterWord(nullptr, nullptr, 0, nullptr, nullptr), 0u);
    EXPECT_EQ(ImeEscape(himc, 0, nullptr), 0);
    EXPECT_EQ(ImeGetRegisterWordStyle(0, nullptr), 0u);
    EXPECT_FALSE(ImeRegisterWord("a", 0, "b"));
    EXPECT_TRUE(ImeSelect(himc, TRUE));
    EXPECT_TRUE(ImeSetActiveContext(himc, TRUE));
    EXPECT_FALSE(ImeSetCompositionString(himc, 0, nullptr, 0, nullptr, 0));
    EXPECT_FALSE(ImeUnregisterWord("a", 0, "b"));
    EXPECT_TRUE(NotifyIME(himc, 0, 0, 0));
    ImmDestroyContext(himc);
}

TEST(EntryPoints, EntryPointKeepsTheInstance) {
    auto instance = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x5000));
    EXPECT_TRUE(DllMain(instance, DLL_THREAD_ATTACH, nullptr));
    EXPECT_EQ(moduleInstance, instance);
}

TEST(EntryPoints, ModuleExportsTheInterfaceByName) {
    HMODULE module = LoadLibraryA(QX_BIN_DIR "/qx.ime");
    ASSERT_NE(module, nullptr) << "the module is built at " QX_BIN_DIR "/qx.ime";
    for (const char* name : {"ImeInquire", "ImeProcessKey", "ImeToAsciiEx", "ImeSelect", "ImeSetActiveContext",
                             "NotifyIME", "ImeConfigure", "ImeEscape", "ImeDestroy", "ImeConversionList",
                             "ImeRegisterWord", "ImeUnregisterWord", "ImeGetRegisterWordStyle",
                             "ImeEnumRegisterWord", "ImeSetCompositionString"})
        EXPECT_NE(GetProcAddress(module, name), nullptr) << name;
    using Inquire = BOOL(WINAPI*)(LPIMEINFO, LPSTR, DWORD);
    auto inquire = reinterpret_cast<Inquire>(reinterpret_cast<void*>(GetProcAddress(module, "ImeInquire")));
    ASSERT_NE(inquire, nullptr);
    IMEINFO info{};
    char uiClass[32] = {};
    EXPECT_TRUE(inquire(&info, uiClass, 0));
    EXPECT_STREQ(uiClass, "NOVPA_UICLS");
    FreeLibrary(module);
}

// The host module's dynamic symbol table is its export map, and the map's functions are
// the exports qx.def gives the Windows module: both offer the same interface.
TEST(EntryPoints, ModuleExportsNothingButItsExportList) {
    auto words = [](const std::string& path, const std::string& from, const std::string& to) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        std::string body = text.str();
        const size_t start = body.find(from), stop = body.find(to, start);
        std::set<std::string> names;
        std::istringstream list(body.substr(start + from.size(), stop - start - from.size()));
        for (std::string word; list >> word;)
            if (word.rfind("/*", 0) != 0) names.insert(word.substr(0, word.find(';')));
        return names;
    };
    const std::set<std::string> map = words(QX_SOURCE_DIR "/ime/frontend/qx.map", "global:", "local:");
    const std::set<std::string> def = words(QX_SOURCE_DIR "/ime/frontend/qx.def", "EXPORTS", "\n\n");
    ASSERT_EQ(def.size(), 15u);
    for (const std::string& name : def) EXPECT_TRUE(map.count(name)) << name << " is missing from qx.map";

    std::set<std::string> dynamic;
    FILE* nm = popen("nm -D --defined-only " QX_BIN_DIR "/qx.ime", "r");
    ASSERT_NE(nm, nullptr);
    char line[512];
    while (std::fgets(line, sizeof line, nm)) {
        std::istringstream fields(line);
        std::string address, kind, name;
        // Exports only: a sanitizer build may keep a local symbol (lower-case kind) there.
        if (fields >> address >> kind >> name && std::isupper(static_cast<unsigned char>(kind[0])))
            dynamic.insert(name);
    }
    ASSERT_EQ(pclose(nm), 0) << "nm reads " QX_BIN_DIR "/qx.ime";
    EXPECT_EQ(dynamic, map);
}

}  // namespace
