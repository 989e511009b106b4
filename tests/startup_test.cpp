// Start-up through the UI host window: settings, user files, code tables, windows,
// the introduction, notifications and shut-down.
#include "uitest.h"

#include <imedev.h>
#include "frontend/uiwindow.h"
#include "userfiles.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const EDITION = "\xD2\xF4\xD0\xCE\xB0\xE6\xD3\xC5\xCF\xC8";  // 音形版优先
const char* const WUBI = "\xCE\xE5\xB1\xCA\xD3\xC5\xCF\xC8";            // 五笔优先
const char* const GBK = "GBK\xD7\xD6\xBF\xE2";                          // GBK字库
const char* const FOLLOW = "\xB9\xE2\xB1\xEA\xB8\xFA\xCB\xE6";          // 光标跟随
const char* const SIMPLE = "\xBC\xF2\xB5\xA5\xB4\xB0\xBF\xDA";          // 简单窗口
const char* const MENU = "\xB2\xCB\xB5\xA5\xD7\xD4\xB6\xAF\xCF\xD4\xCA\xBE";  // 菜单自动显示

class StartupTest : public UiTest {
protected:
    static std::vector<const CodeTable*> allTables() {
        const CodeTables& t = codeTables;
        return {&t.MB1, &t.MB4, &t.XCZMB, &t.YCZMB, &t.XGBK, &t.YGBK, &t.WBMB, &t.PYMB, &t.PYCZ};
    }
    void SetUp() override {
        static int serial = 0;
        home = fs::temp_directory_path() / ("qx-startup-" + std::to_string(getpid()) + "-" + std::to_string(++serial));
        fs::remove_all(home);
        fs::create_directories(home);
        winapiSetHome(home.c_str());
        UiTest::SetUp();
        context = ImmCreateContext();
        SetWindowLongPtrA(windows.uiHostWindow, IMMGWLP_IMC, reinterpret_cast<LONG_PTR>(context));
        winapiImmSetUiWindow(context, windows.uiHostWindow);
    }
    void TearDown() override {
        if (IsWindow(windows.uiHostWindow)) DestroyWindow(windows.uiHostWindow);
        ImmDestroyContext(context);
        UiTest::TearDown();
        fs::remove_all(home);
    }
    void set(const char* name, DWORD value) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\QX", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
        RegCloseKey(key);
    }
    bool get(const char* name, DWORD* value) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\QX", 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        DWORD size = sizeof *value, type = 0;
        const bool found = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
                           ERROR_SUCCESS;
        RegCloseKey(key);
        return found;
    }
    void select(int selected = 1) {
        SendMessageA(windows.uiHostWindow, WM_IME_SELECT, selected, 0);
        winapiPumpMessages();
    }
    void activate(int active) {
        SendMessageA(windows.uiHostWindow, WM_IME_SETCONTEXT, active, 0);
        winapiPumpMessages();
    }
    static bool endsWith(const char* text, const char* tail) {
        const std::string s = text, t = tail;
        return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
    }
    static bool dataLibrariesBuilt() { return fs::exists(fs::path(QX_BIN_DIR) / "Dede.dll"); }
    static int countBeeps(DWORD frequency, DWORD duration) {
        int n = 0;
        for (const WinapiBeep& b : winapiBeeps()) n += !b.messageBeep && b.frequency == frequency && b.duration == duration;
        return n;
    }

    fs::path home;
    HIMC context = nullptr;
};

TEST_F(StartupTest, EmptyKeyGivesThePhoneticEditionAndCreatesItsValue) {
    select();
    EXPECT_EQ(modes.phoneticEdition, 1);
    EXPECT_TRUE(endsWith(modes.userPhraseFile, "\\fread.rt"));
    EXPECT_EQ(modes.wubiMode, 0);
    EXPECT_EQ(modes.pinyinMode, 0);
    EXPECT_EQ(modes.gbkSetting, 0);
    EXPECT_EQ(engineContext.caretFollow, 0);
    EXPECT_EQ(modes.simpleWindow, 0);
    DWORD edition = 0;
    ASSERT_TRUE(get(EDITION, &edition));
    EXPECT_EQ(edition, 1u);
    DWORD other = 0;
    EXPECT_FALSE(get(WUBI, &other));  // other missing values are not created
    // The user files exist, empty.
    char directory[1024] = {};
    GetSystemDirectoryA(directory, sizeof directory);
    for (const char* name : {"/fread.rt", "/WBCZ.rt", "/PYCZ.rt"}) {  // inside the system directory
        const fs::path file = std::string(directory) + name;
        ASSERT_TRUE(fs::exists(file)) << file;
        EXPECT_EQ(fs::file_size(file), 0u);
    }
    EXPECT_EQ(engineContext.chineseMode, 1);
    EXPECT_EQ(engineContext.softKeyboard, 0);
    EXPECT_EQ(uiState.uiFontHeight, 16);
}

// Making sure the user files exist never empties one: not an existing file, nor one that
// exists but cannot be read just now.
TEST_F(StartupTest, ExistingUserFilesAreKeptEvenWhenUnreadable) {
    const std::string path = systemFilePath("fread.rt");
    writeFileText(path, "abc phrase\n");
    select();
    EXPECT_EQ(fileText(path), "abc phrase\n");
    select(0);
    {
        UnreadableFile locked(path);
        ASSERT_TRUE(locked.unreadable());
        select();
    }
    EXPECT_EQ(fileText(path), "abc phrase\n");
}

// "拼音优先" asks for pinyin mode from the start; with no pinyin engine to take the keys
// the module starts in the shape-code modes instead of swallowing every letter.
TEST_F(StartupTest, PinyinFirstWaitsForAPinyinEngine) {
    set("\xC6\xB4\xD2\xF4\xD3\xC5\xCF\xC8", 1);  // 拼音优先
    select();
    EXPECT_EQ(modes.pinyinMode, pinyinEngineAvailable() ? 1 : 0);
}

// The data libraries are only resources: a library planted under one of their names is
// read for its resources, and its entry point never runs in the application.
TEST_F(StartupTest, DataLibrariesAreLoadedAsDataFiles) {
    const std::string planted = std::string(QX_PE_DIR) + "/pefixturehost.dll";
    startup.codeLibraryNames[3] = planted.c_str();
    select();
    for (const WinapiEvent& event : winapiEvents())
        EXPECT_NE(event.text.rfind("attach ", 0), 0u) << "entry point ran: " << event.text;
    ASSERT_NE(startup.libraries[3], nullptr);
    EXPECT_NE(FindResourceA(startup.libraries[3], "QX_40", "mb"), nullptr);  // its resources are there
    select(0);
}

TEST_F(StartupTest, FiveStrokeWithGbkUsesItsPhraseFileAndLeavesGbkLookupOff) {
    set(WUBI, 1);
    set(GBK, 1);
    select();
    EXPECT_EQ(modes.wubiMode, 1);
    EXPECT_EQ(modes.gbkSetting, 1);
    EXPECT_EQ(modes.gbkLookup, 0);
    EXPECT_TRUE(endsWith(modes.userPhraseFile, "\\WBCZ.rt"));
    // The five-stroke note is shown at selection, with a beep.
    ASSERT_NE(windows.wubiNoteWindow, nullptr);
    EXPECT_TRUE(IsWindowVisible(windows.wubiNoteWindow));
    EXPECT_GE(countBeeps(200, 200), 1);
}

TEST_F(StartupTest, OnlyTheValueOneCountsAsOn) {
    set(FOLLOW, 2);
    set(SIMPLE, 0);
    set(EDITION, 0);
    set(GBK, 1);
    select();
    EXPECT_EQ(engineContext.caretFollow, 0);
    EXPECT_EQ(modes.simpleWindow, 0);
    EXPECT_EQ(modes.phoneticEdition, 0);
    EXPECT_TRUE(endsWith(modes.userPhraseFile, "\\freadx.rt"));
    EXPECT_EQ(modes.gbkLookup, 1);
    DWORD edition = 7;
    ASSERT_TRUE(get(EDITION, &edition));
    EXPECT_EQ(edition, 0u);  // an existing value is never rewritten
}

TEST_F(StartupTest, TablesComeFromTheDataLibrariesOnlyWithBothVersionMarks) {
    if (!dataLibrariesBuilt()) GTEST_SKIP() << "data libraries not built";
    select();
    EXPECT_EQ(codeTables.tablesMissing, 0);
    for (const CodeTable* table : allTables()) {
        EXPECT_NE(table->data, nullptr);
        EXPECT_GT(table->size, 0u);
    }
    select(0);
    EXPECT_EQ(codeTables.MB1.data, nullptr);  // nothing points into a freed library

    // A copy of Dede.dll whose mark is renamed.
    const fs::path qxmb = home / "Qxmb.dll", dede = home / "Dede.dll";
    fs::copy_file(fs::path(QX_BIN_DIR) / "Qxmb.dll", qxmb);
    std::ifstream in(fs::path(QX_BIN_DIR) / "Dede.dll", std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    const std::string mark("Q\0X\0_\0" "4\0" "0\0", 10);
    const size_t at = bytes.find(mark);
    ASSERT_NE(at, std::string::npos);
    bytes[at + 8] = '9';
    std::ofstream(dede, std::ios::binary) << bytes;
    const std::string qxmbPath = qxmb.string(), dedePath = dede.string();
    startup.codeLibraryNames[0] = qxmbPath.c_str();
    startup.codeLibraryNames[1] = dedePath.c_str();
    select();
    EXPECT_EQ(codeTables.tablesMissing, 1);
    for (const CodeTable* table : allTables())
        EXPECT_EQ(table->data, nullptr);
}

TEST_F(StartupTest, IntroductionAtTheFirstSelectionOfAProcessOnly) {
    select();
    ASSERT_NE(windows.introWindow, nullptr);
    EXPECT_TRUE(IsWindowVisible(windows.introWindow));
    ASSERT_NE(windows.introWindow2, nullptr);
    EXPECT_FALSE(IsWindowVisible(windows.introWindow2));
    EXPECT_EQ(countBeeps(200, 200), 1);
    EXPECT_EQ(uiState.introPending, 0);
    DestroyWindow(windows.introWindow);
    DestroyWindow(windows.introWindow2);
    select(0);
    select();
    EXPECT_EQ(windows.introWindow, nullptr);
    EXPECT_EQ(windows.introWindow2, nullptr);
}

TEST_F(StartupTest, NoIntroductionWhenTheMenuShowsItself) {
    set(MENU, 1);
    select();
    EXPECT_EQ(windows.introWindow, nullptr);
    EXPECT_EQ(uiState.introPending, 1);
    EXPECT_EQ(countBeeps(200, 200), 0);
}

TEST_F(StartupTest, StatusBarShowsOnActivationWhileTheCompositionWindowWaitsForAKey) {
    set(MENU, 1);
    select();
    ASSERT_NE(engineContext.statusWindow, nullptr);
    ASSERT_NE(engineContext.compositionWindow, nullptr);
    ASSERT_NE(windows.letterBoxWindow, nullptr);
    EXPECT_FALSE(IsWindowVisible(engineContext.statusWindow));
    activate(1);
    EXPECT_TRUE(IsWindowVisible(engineContext.statusWindow));
    EXPECT_FALSE(IsWindowVisible(engineContext.compositionWindow));
    RelayoutComposition();
    EXPECT_TRUE(IsWindowVisible(engineContext.compositionWindow));
    activate(0);
    EXPECT_FALSE(IsWindowVisible(engineContext.statusWindow));
    EXPECT_FALSE(IsWindowVisible(engineContext.compositionWindow));
    activate(1);
    EXPECT_TRUE(IsWindowVisible(engineContext.compositionWindow));
}

TEST_F(StartupTest, FirstActivationStartsUpOnceWithoutShowingPictures) {
    set(WUBI, 1);
    activate(1);
    EXPECT_EQ(startup.startupDone, 1);
    EXPECT_EQ(modes.wubiMode, 1);
    ASSERT_NE(windows.wubiNoteWindow, nullptr);
    EXPECT_FALSE(IsWindowVisible(windows.wubiNoteWindow));
    ASSERT_NE(windows.introWindow, nullptr);
    EXPECT_FALSE(IsWindowVisible(windows.introWindow));
    EXPECT_EQ(uiState.introPending, 1);
    EXPECT_EQ(countBeeps(200, 200), 0);
    set(WUBI, 0);
    activate(1);
    EXPECT_EQ(modes.wubiMode, 1);  // not read again
}

TEST_F(StartupTest, WithoutAContextStartUpBeepsAndStops) {
    SetWindowLongPtrA(windows.uiHostWindow, IMMGWLP_IMC, 0);
    select();
    EXPECT_EQ(engineContext.statusWindow, nullptr);
    bool beeped = false;
    for (const WinapiBeep& b : winapiBeeps()) beeped |= b.messageBeep && b.type == 0xFFFFFFFF;
    EXPECT_TRUE(beeped);
}

TEST_F(StartupTest, DeselectionAndDestructionTakeTheWindowsAway) {
    set(MENU, 1);
    select();
    select(0);
    EXPECT_EQ(engineContext.statusWindow, nullptr);
    EXPECT_EQ(engineContext.compositionWindow, nullptr);
    EXPECT_EQ(windows.letterBoxWindow, nullptr);
    select();
    DestroyWindow(windows.uiHostWindow);
    EXPECT_EQ(engineContext.statusWindow, nullptr);
    EXPECT_EQ(engineContext.compositionWindow, nullptr);
}

TEST_F(StartupTest, ConversionModeNotificationsMirrorPunctuationAndWidth) {
    set(MENU, 1);
    set(FOLLOW, 1);
    select();
    activate(1);
    DWORD conversion = 0, sentence = 0;
    ImmGetConversionStatus(context, &conversion, &sentence);
    EXPECT_EQ(conversion & (IME_CMODE_NATIVE | IME_CMODE_SYMBOL), DWORD{IME_CMODE_SYMBOL});
    ImmSetConversionStatus(context, conversion | IME_CMODE_FULLSHAPE, sentence);
    EXPECT_EQ(engineContext.fullWidth, 8);
    EXPECT_EQ(engineContext.chinesePunct, 0x400);
    ImmSetConversionStatus(context, 0, sentence);
    EXPECT_EQ(engineContext.fullWidth, 0);
    EXPECT_EQ(engineContext.chinesePunct, 0);
}

TEST_F(StartupTest, StatusNotificationsShowTheBarAndTheCaretMovesTheWindow) {
    set(MENU, 1);
    set(FOLLOW, 1);
    select();
    activate(1);
    SendMessageA(windows.uiHostWindow, WM_IME_NOTIFY, IMN_CLOSESTATUSWINDOW, 0);
    EXPECT_FALSE(IsWindowVisible(engineContext.statusWindow));
    SendMessageA(windows.uiHostWindow, WM_IME_NOTIFY, IMN_OPENSTATUSWINDOW, 0);
    EXPECT_TRUE(IsWindowVisible(engineContext.statusWindow));

    HWND application = CreateWindowExA(0, "sdWin", "", WS_POPUP, 100, 100, 400, 300, nullptr, nullptr, nullptr, nullptr);
    INPUTCONTEXT* locked = ImmLockIMC(context);
    ASSERT_NE(locked, nullptr);
    locked->hWnd = application;
    locked->cfCompForm.ptCurrentPos = POINT{50, 20};
    ImmUnlockIMC(context);
    SendMessageA(windows.uiHostWindow, WM_IME_NOTIFY, IMN_SETCOMPOSITIONWINDOW, 0);
    RECT r{};
    GetWindowRect(engineContext.compositionWindow, &r);
    EXPECT_EQ(r.left, 150);
    EXPECT_EQ(r.top, 120 + (768 - 28) / 8);
}

}  // namespace
