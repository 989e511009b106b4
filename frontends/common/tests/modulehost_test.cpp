// The hosted module as a desktop engine drives it: the real qx.ime and data libraries,
// keys offered through a desktop context, the view read back; no desktop.
#include "modulehost.h"
#include "statusactions.h"

#include "gbktext.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

class HostedModule : public ::testing::Test {
public:
    void SetUp() override {
        if (!fs::exists(fs::path(QX_BIN_DIR) / "qx.ime") || !fs::exists(fs::path(QX_BIN_DIR) / "Qxmb.dll"))
            GTEST_SKIP() << "module or data libraries not built";
        // Each test runs in a process of its own: a home of its own, set before the stand-in reads it.
        home = fs::temp_directory_path() / ("qx-modulehost-" + std::to_string(getpid()));
        fs::remove_all(home);
        fs::create_directories(home);
        setenv("QX_HOME", home.c_str(), 1);
    }
    void TearDown() override {
        if (host.isOpen()) {
            host.destroyContext(context);
            host.close();
        }
        fs::remove_all(home);
    }
    void open() {
        std::string error;
        // From the build folder, as a plug-in finds the module: by its folder, not the program's.
        ASSERT_TRUE(host.open(error, QX_BIN_DIR)) << error;
        context = host.createContext();
        ASSERT_NE(context, nullptr);
        host.focusIn(context);
    }
    // Types the characters as key-downs; returns the text committed (UTF-8) and keeps the
    // commands the module posted.
    std::string type(const std::string& keys) {
        std::string committed;
        for (char ch : keys) {
            ModuleKey key;
            const uint32_t keyval = ch == ' ' ? 0x20 : static_cast<unsigned char>(ch);
            EXPECT_TRUE(moduleKeyFor(keyval, 0, key)) << ch;
            const ModuleHost::Answer answer = host.offer(context, key);
            committed += gbkToUtf8(answer.outcome.commit);
            posted.insert(posted.end(), answer.commands.begin(), answer.commands.end());
        }
        return committed;
    }
    fs::path home;
    ModuleHost host;
    HIMC context = nullptr;
    std::vector<WPARAM> posted;
};

TEST_F(HostedModule, FiveStrokeCodeCommitsThroughADesktopContext) {
    ASSERT_TRUE(setSetting("\xCE\xE5\xB1\xCA\xD3\xC5\xCF\xC8", 1));  // 五笔优先
    open();
    EXPECT_EQ(type("khk"), "");
    const ModuleView typing = host.view();
    EXPECT_EQ(typing.preedit, "khk");
    ASSERT_FALSE(typing.candidates.empty());
    EXPECT_EQ(typing.candidates[0].text, "中");
    EXPECT_EQ(type(" "), "中");
    EXPECT_TRUE(host.view().preedit.empty());
    EXPECT_EQ(statusStateOf(host).mode, InputMode::Wubi);
}

// Opened by its folder, as a plug-in does, the module gets the shipped address list.
TEST_F(HostedModule, APlugInsModuleFindsTheShippedAddressList) {
    open();
    EXPECT_GT(fs::file_size(home / "system" / "zwwz.dat"), 0u);
    type("[bd");
    const ModuleView view = host.view();
    ASSERT_FALSE(view.candidates.empty());
    EXPECT_NE(view.candidates[0].text.find("www.baidu.com"), std::string::npos) << view.candidates[0].text;
    EXPECT_EQ(type("1"), "www.baidu.com");
}

// Pinyin reads no further than its page: a full page offers the next one, and '='
// turns to it.
TEST_F(HostedModule, PinyinOffersTheNextPageAndTurnsToIt) {
    ASSERT_TRUE(setSetting("\xC6\xB4\xD2\xF4\xD3\xC5\xCF\xC8", 1));  // 拼音优先
    open();
    type("shi");
    const ModuleView first = host.view();
    ASSERT_EQ(first.candidates.size(), 10u);
    EXPECT_TRUE(first.laterPage);
    EXPECT_FALSE(first.earlierPage);
    type("=");
    const ModuleView second = host.view();
    ASSERT_FALSE(second.candidates.empty());
    EXPECT_TRUE(second.earlierPage);
    EXPECT_NE(second.candidates[0].text, first.candidates[0].text);
    type("-");
    EXPECT_EQ(host.view().candidates, first.candidates);
}

// The third identical wrong key asks for 自造词组: the command is handed to the engine,
// and no dialog runs inside the key's call.
TEST_F(HostedModule, ThirdWrongKeyHandsTheDialogCommandBack) {
    open();
    type("abcdzz");
    EXPECT_TRUE(posted.empty());
    type("z");
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(LOWORD(posted[0]), CMD_USER_PHRASES);
    EXPECT_STREQ(dialogNameByCommand(LOWORD(posted[0])), "userphrases");
    // Typing goes on where it was: the command was not run.
    EXPECT_EQ(describeOpenDialog().open, false);
    type("zl");
    EXPECT_EQ(type(" "), "中");
}

TEST_F(HostedModule, StatusActionsSwitchModesAndNameTheDialogs) {
    open();
    const std::vector<StatusAction> actions = statusActions(host);
    size_t layouts = 0;
    for (const StatusAction& a : actions) layouts += a.menu == "qx.soft" && a.name != "qx.soft.off";
    EXPECT_EQ(layouts, 13u);
    auto typeKeys = [](void* self, const std::string& keys) { static_cast<HostedModule*>(self)->type(keys); };
    EXPECT_EQ(activateStatusAction(host, context, "qx.mode.pinyin", true, typeKeys, this), 0);
    EXPECT_EQ(statusStateOf(host).mode, InputMode::Pinyin);
    EXPECT_EQ(activateStatusAction(host, context, "qx.mode.wubi", false, typeKeys, this), 0);  // unchecking
    EXPECT_EQ(statusStateOf(host).mode, InputMode::Pinyin);
    EXPECT_EQ(activateStatusAction(host, context, "qx.mode.wubi", true, typeKeys, this), 0);
    EXPECT_EQ(statusStateOf(host).mode, InputMode::Wubi);
    EXPECT_EQ(type("khk "), "中");
    EXPECT_EQ(activateStatusAction(host, context, "qx.dialog.settings", true, typeKeys, this), CMD_SETTINGS);
    EXPECT_EQ(activateStatusAction(host, context, "qx.soft.999", true, typeKeys, this), -1);
    EXPECT_EQ(activateStatusAction(host, context, "other", true, typeKeys, this), -1);
    const StatusState before = statusStateOf(host);
    activateStatusAction(host, context, "qx.width", true, typeKeys, this);
    EXPECT_NE(statusStateOf(host).fullWidth, before.fullWidth);
    EXPECT_EQ(type("7"), "７");
    const StatusAction width{"qx.width", "", "", ActionKind::Toggle, ""};
    EXPECT_EQ(actionLook(width, statusStateOf(host)).label, statusStateOf(host).fullWidth ? "全角" : "半角");
}

// 整句输入 from the desktop's menu: switched off, one Space takes only the first phrase, as
// the box in 我的个性 makes it; the choice is stored for the next start, and on again the
// Space delivers the whole sentence.
TEST_F(HostedModule, TheSentenceItemSwitchesTheSentenceRowAndStoresIt) {
    open();
    auto typeKeys = [](void* self, const std::string& keys) { static_cast<HostedModule*>(self)->type(keys); };
    activateStatusAction(host, context, "qx.mode.pinyin", true, typeKeys, this);
    const StatusAction item{"qx.sentence", "整句输入", "", ActionKind::Toggle, ""};
    ASSERT_TRUE(statusStateOf(host).sentenceInput);
    EXPECT_TRUE(actionLook(item, statusStateOf(host)).checked);

    EXPECT_EQ(activateStatusAction(host, context, "qx.sentence", true, typeKeys, this), 0);
    EXPECT_FALSE(statusStateOf(host).sentenceInput);
    EXPECT_FALSE(actionLook(item, statusStateOf(host)).checked);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\QX", 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD value = 7, size = sizeof value;
    EXPECT_EQ(RegQueryValueExA(key, "\xD5\xFB\xBE\xE4\xCA\xE4\xC8\xEB", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(type("womenqugongyuan "), "");  // the first phrase converted, nothing delivered
    ModuleKey escape;
    ASSERT_TRUE(moduleKeyFor(0xff1b, 0, escape));
    EXPECT_TRUE(host.offer(context, escape).outcome.commit.empty());  // Esc clears the line
    EXPECT_TRUE(host.view().preedit.empty());

    activateStatusAction(host, context, "qx.sentence", true, typeKeys, this);
    EXPECT_TRUE(statusStateOf(host).sentenceInput);
    EXPECT_EQ(type("womenqugongyuan "), "我们去公园");
}

// From pinyin to five-stroke through the menu, then full width: the first digit typed is a
// full-width one, as from any other mode.
TEST_F(HostedModule, AfterPinyinTheMenusFullWidthTypesTheNextDigit) {
    open();
    auto typeKeys = [](void* self, const std::string& keys) { static_cast<HostedModule*>(self)->type(keys); };
    activateStatusAction(host, context, "qx.mode.pinyin", true, typeKeys, this);
    EXPECT_EQ(type("zhongguo "), "中国");
    activateStatusAction(host, context, "qx.mode.wubi", true, typeKeys, this);
    ASSERT_EQ(statusStateOf(host).mode, InputMode::Wubi);
    activateStatusAction(host, context, "qx.width", true, typeKeys, this);
    ASSERT_TRUE(statusStateOf(host).fullWidth);
    EXPECT_EQ(type("7"), "７");
    EXPECT_EQ(type("8"), "８");
}

}  // namespace
