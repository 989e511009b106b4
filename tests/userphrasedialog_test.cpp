// The dialog "自造词组" through the stand-in's dialog manager: opened from the status
// window's command, typed into as a person types (Chinese through the module itself),
// its limits and messages, deleting, double-click, backup and restore, and the end of
// the dialog when the module leaves.
#include "uitest.h"

#include "imedriver.h"
#include "ui/userphrasedialog.h"
#include "phrases/userphrasestore.h"
#include "tablebuilder.h"
#include "userfiles.h"

#include <imm.h>
#include <sys/stat.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using Step = std::function<void(HWND dialog)>;
std::vector<Step> steps;

// The person at the desktop: one step each time the dialog waits; message boxes are
// answered by the queued answers (or their first button).
bool act(HWND modal, int kind) {
    if (kind != MSGF_DIALOGBOX || steps.empty()) return false;
    Step step = steps.front();
    steps.erase(steps.begin());
    step(modal);
    return true;
}

class PhraseDialogTest : public UiTest {
protected:
    void SetUp() override {
        // A home of its own: tests of this program run side by side and share none of
        // the phrase files.
        winapiSetHome(tablebuilder::scratchDir().c_str());
        UiTest::SetUp();
        steps.clear();
        engineContext.chinesePunct = 1;
        engineRequest(ZOZ_RESET, 1);
        ime = std::make_unique<ImeDriver>();
        // Codes as the shape-code edition's table gives them.
        static std::vector<uint8_t> table = tablebuilder::buildTable(
            "packed", "zlh\t中\ngwy\t国\nrk\t人\nmq\t民\nhfl\t和\nab\t工\nabc\t作\nh\t的\n");
        codeTables.MB4 = CodeTable{table.data(), static_cast<uint32_t>(table.size())};
        CreateStatusWindow();
        ASSERT_NE(engineContext.statusWindow, nullptr);
        SetWindowLongPtrA(windows.uiHostWindow, 0, reinterpret_cast<LONG_PTR>(ime->context()));
        file = systemFilePath("freadx.rt");
        std::remove(file.c_str());
        copyText(modes.userPhraseFile, sizeof modes.userPhraseFile, file.c_str());
        winapiSetPerson(act);
    }
    void TearDown() override {
        winapiSetPerson(nullptr);
        SetWindowLongPtrA(windows.uiHostWindow, 0, 0);
        ime.reset();
        UiTest::TearDown();
    }

    // The menu's command, as the status window receives it; returns when the dialog closed.
    void openFromMenu() { SendMessageA(engineContext.statusWindow, WM_COMMAND, CMD_USER_PHRASES, 0); }

    static HWND item(HWND dialog, int id) { return GetDlgItem(dialog, id); }
    static std::string text(HWND dialog, int id) {
        char buffer[256] = {};
        GetDlgItemTextA(dialog, id, buffer, sizeof buffer);
        return utf8(buffer);
    }
    static void click(HWND dialog, int id) {
        RECT r{};
        GetWindowRect(item(dialog, id), &r);
        winapiClick((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    static void focus(HWND dialog, int id) {
        SetFocus(item(dialog, id));
        winapiPumpMessages();
    }
    // Letters into the focused box as an application gets them when the module passes them.
    static void typeLetters(const std::string& letters) {
        for (char c : letters) PostMessageA(GetFocus(), WM_CHAR, static_cast<unsigned char>(c), 1);
        winapiPumpMessages();
    }
    // Keys through the module, as the Input Method Manager offers them while the dialog
    // is active: the typist hands the module's messages, and the keys it does not take,
    // to the dialog's focused control.
    void typeThroughModule(const std::string& keys) {
        ime->type(keys);
        winapiPumpMessages();
    }
    static std::vector<std::string> listed(HWND dialog) {
        std::vector<std::string> lines;
        HWND list = item(dialog, IDC_PHRASE_LIST);
        const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            char buffer[256] = {};
            SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer));
            lines.push_back(utf8(buffer));
        }
        return lines;
    }
    static std::vector<std::string> messageBoxes() {
        std::vector<std::string> texts;
        for (const WinapiDesktopEvent& e : winapiDesktopEvents())
            if (e.kind == "messagebox") texts.push_back(utf8(e.text));
        return texts;
    }
    static int opened() {
        int n = 0;
        for (const WinapiDesktopEvent& e : winapiDesktopEvents())
            if (e.kind == "dialog-open" && utf8(e.text) == "自造词组") ++n;
        return n;
    }
    // Fills the two boxes directly (the phrase box takes GBK) and adds with the button.
    static void add(HWND dialog, const char* utf8Phrase, const char* code, int button = IDC_ADD_PHRASE) {
        SetDlgItemTextA(dialog, IDC_NEW_PHRASE, gbk(utf8Phrase).c_str());
        SetDlgItemTextA(dialog, IDC_PHRASE_CODE, code);
        if (button == IDOK) {
            focus(dialog, IDC_PHRASE_CODE);
            winapiPressKey(VK_RETURN);
            winapiPumpMessages();
        } else {
            click(dialog, button);
        }
    }

    std::unique_ptr<ImeDriver> ime;
    std::string file;
};

const char FULL[] = "2000词组空间已满!";
const char EMPTY[] = "    词组或编码不能为\n空或有空格!";
const char EXISTS[] = "此词组已存在于词库中";
const char FOUR[] = "此编码已有四个词组，\n不能再用此编码造词!";
const char PINYIN[] = "编码必须与词组字数相同!";

}  // namespace

// The whole road: Chinese typed into the phrase box with the module, the proposed code,
// "添加"; then the code typed in the application gives the phrase.
TEST_F(PhraseDialogTest, APhraseTypedThroughTheModuleIsAddedAndThenTyped) {
    modes.gbkLookup = 1;
    steps.push_back([this](HWND d) {
        EXPECT_EQ(GetFocus(), item(d, IDC_NEW_PHRASE));
        EXPECT_EQ(modes.gbkLookup, 0);
        typeThroughModule("zlh{Space}gwy{Space}");
        EXPECT_EQ(text(d, IDC_NEW_PHRASE), "中国");
        EXPECT_EQ(text(d, IDC_PHRASE_CODE), "zlgw");
        // Letters typed into the code box are not the module's.
        focus(d, IDC_PHRASE_CODE);
        SendDlgItemMessageA(d, IDC_PHRASE_CODE, EM_SETSEL, 0, -1);
        typeThroughModule("zg");
        EXPECT_EQ(text(d, IDC_PHRASE_CODE), "zg");
        click(d, IDC_ADD_PHRASE);
        EXPECT_EQ(listed(d), std::vector<std::string>{"zg      中国"});
        EXPECT_EQ(text(d, IDC_NEW_PHRASE), "");
        EXPECT_EQ(text(d, IDC_PHRASE_CODE), "");
    });
    openFromMenu();
    EXPECT_EQ(opened(), 1);
    EXPECT_TRUE(steps.empty());
    EXPECT_EQ(messageBoxes(), std::vector<std::string>{});
    EXPECT_EQ(modes.gbkLookup, 1);  // back as it was
    EXPECT_EQ(windows.userPhraseDialog, nullptr);
    EXPECT_EQ(utf8(fileText(file)), "zg      中国\r\n");
    // The application now types the new code.
    modes.gbkLookup = 0;
    ime->type("zg");
    EXPECT_EQ(utf8(ime->type("{Space}")), "中国");
}

TEST_F(PhraseDialogTest, ThePhraseBoxTakesOnlyChineseAndProposesByTheRules) {
    steps.push_back([](HWND d) {
        HWND box = item(d, IDC_NEW_PHRASE);
        SetFocus(box);
        // Through the module, a letter would be a code; here an application's own letter.
        typeLetters(gbk("中国"));
        typeLetters("x");
        EXPECT_EQ(text(d, IDC_NEW_PHRASE), "中国");
        DWORD start = 0, end = 0;
        SendMessageA(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, 4u);
        typeLetters(gbk("人民"));
        EXPECT_EQ(text(d, IDC_PHRASE_CODE), "zgrm");
        typeLetters(gbk("和"));  // five characters: 1, 2, 3 and the last
        EXPECT_EQ(text(d, IDC_PHRASE_CODE), "zgrh");
        // A character the table lacks changes nothing in the code box.
        SetDlgItemTextA(d, IDC_PHRASE_CODE, "keep");
        SetDlgItemTextA(d, IDC_NEW_PHRASE, gbk("中天").c_str());
        EXPECT_EQ(text(d, IDC_PHRASE_CODE), "keep");
        // The frequent character's one-letter record gives its full code.
        SetDlgItemTextA(d, IDC_NEW_PHRASE, gbk("的").c_str());
        EXPECT_EQ(text(d, IDC_PHRASE_CODE), "hjgd");
        SetDlgItemTextA(d, IDC_NEW_PHRASE, "");
        EXPECT_EQ(text(d, IDC_PHRASE_CODE), "");
        // Limits: 4 code letters, 22 phrase bytes.
        EXPECT_EQ(SendDlgItemMessageA(d, IDC_PHRASE_CODE, EM_GETLIMITTEXT, 0, 0), 4);
        EXPECT_EQ(SendDlgItemMessageA(d, IDC_NEW_PHRASE, EM_GETLIMITTEXT, 0, 0), 22);
    });
    openFromMenu();
    EXPECT_TRUE(steps.empty());
}

TEST_F(PhraseDialogTest, AddingKeepsTheLimitsAndTheDefaultButtonDoesToo) {
    writeFileText(file, gbk("ab      甲\nab      乙\nab      丙\n"));
    steps.push_back([](HWND d) {
        EXPECT_EQ(listed(d).size(), 3u);
        add(d, "丁", "ab");  // the fourth is accepted
        add(d, "戊", "ab");  // the fifth is not
        add(d, "乙", "xy");  // an existing phrase under another code
        add(d, "工人", "ab c", IDOK);  // cut at the space: "ab", a fifth again, by Enter
        add(d, "工人", "Gr");  // capitals are folded
        add(d, "工人", "g1");
        add(d, "工人", "");
        // A refusal leaves the boxes as they were.
        EXPECT_EQ(text(d, IDC_NEW_PHRASE), "工人");
        EXPECT_EQ(text(d, IDC_PHRASE_CODE), "");
        EXPECT_EQ(listed(d).size(), 5u);
    });
    openFromMenu();
    EXPECT_EQ(messageBoxes(), (std::vector<std::string>{FOUR, EXISTS, FOUR, EMPTY, EMPTY}));
    EXPECT_EQ(utf8(fileText(file)), "ab      甲\nab      乙\nab      丙\nab      丁\r\ngr      工人\r\n");
}

TEST_F(PhraseDialogTest, AFullFileRefusesTheButtonAndEnterAlike) {
    std::string lines;
    for (int i = 0; i < USER_PHRASE_LINE_LIMIT; ++i) lines += "a       " + gbk("工") + "\n";
    writeFileText(file, lines);
    steps.push_back([](HWND d) {
        add(d, "工作", "gz");
        add(d, "工作", "gz", IDOK);
    });
    openFromMenu();
    EXPECT_EQ(messageBoxes(), (std::vector<std::string>{FULL, FULL}));
    EXPECT_EQ(fileText(file), lines);
}

TEST_F(PhraseDialogTest, PinyinCodesHaveOneLetterACharacter) {
    modes.pinyinMode = 1;
    steps.push_back([](HWND d) {
        EXPECT_EQ(SendDlgItemMessageA(d, IDC_NEW_PHRASE, EM_GETLIMITTEXT, 0, 0), 20);
        add(d, "中国", "zgr");
        add(d, "中国", "zgr", IDOK);
        SetDlgItemTextA(d, IDC_NEW_PHRASE, gbk("中华人民共和国").c_str());
        EXPECT_EQ(text(d, IDC_PHRASE_CODE), "zgr");  // nothing proposed in pinyin mode
        EXPECT_EQ(SendDlgItemMessageA(d, IDC_PHRASE_CODE, EM_GETLIMITTEXT, 0, 0), 7);
        add(d, "中华人民共和国", "zhrmghg");
    });
    openFromMenu();
    EXPECT_EQ(messageBoxes(), (std::vector<std::string>{PINYIN, PINYIN}));
    EXPECT_EQ(utf8(fileText(file)), "zhrmghg 中华人民共和国\r\n");
}

TEST_F(PhraseDialogTest, DeleteAndDoubleClickWorkOnWholeLines) {
    const std::string longest = "abcd    一二三四五六七八九十百";
    writeFileText(file, gbk("ab      工作\n" + longest + "\nab      工作\nzz      尾巴"));
    steps.push_back([longest](HWND d) {
        EXPECT_EQ(listed(d), (std::vector<std::string>{"ab      工作", longest, "ab      工作", "zz      尾巴"}));
        HWND list = item(d, IDC_PHRASE_LIST);
        SendMessageA(list, LB_SETCURSEL, 1, 0);
        SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDC_PHRASE_LIST, LBN_DBLCLK), reinterpret_cast<LPARAM>(list));
        EXPECT_EQ(text(d, IDC_NEW_PHRASE), "一二三四五六七八九十百");
        EXPECT_EQ(text(d, IDC_PHRASE_CODE), "abcd");
        EXPECT_EQ(GetFocus(), item(d, IDC_ADD_PHRASE));
        click(d, IDC_DELETE_PHRASE);
        SendMessageA(list, LB_SETCURSEL, 1, 0);  // the second 工作
        click(d, IDC_DELETE_PHRASE);
        EXPECT_EQ(listed(d), (std::vector<std::string>{"ab      工作", "zz      尾巴"}));
    });
    openFromMenu();
    // The first of two equal lines went; every other byte is as it was.
    EXPECT_EQ(utf8(fileText(file)), "ab      工作\nzz      尾巴");
}

// A line whose phrase is longer than the phrase box holds is not taken back cut (never
// inside a character): the dialog says the phrase is too long, and says so too when 添加
// finds a phrase over the limit in the box.
TEST_F(PhraseDialogTest, APhraseTooLongForTheBoxIsSaidToBe) {
    std::string phrase;
    for (int i = 0; i < 45; ++i) phrase += "长";  // 90 bytes
    writeFileText(file, gbk("ab      工作\nabcd    " + phrase));
    std::string boxAfter, codeAfter;
    steps.push_back([&](HWND d) {
        HWND list = item(d, IDC_PHRASE_LIST);
        SendMessageA(list, LB_SETCURSEL, 1, 0);
        SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDC_PHRASE_LIST, LBN_DBLCLK), reinterpret_cast<LPARAM>(list));
        boxAfter = text(d, IDC_NEW_PHRASE);
        codeAfter = text(d, IDC_PHRASE_CODE);
        add(d, "一二三四五六七八九十百千", "abc");  // twelve characters
    });
    openFromMenu();
    EXPECT_EQ(boxAfter, "");
    EXPECT_EQ(codeAfter, "");
    EXPECT_EQ(messageBoxes(),
              (std::vector<std::string>{"此词组太长，最多11个字!", "此词组太长，最多11个字!"}));
    EXPECT_EQ(utf8(fileText(file)), "ab      工作\nabcd    " + phrase);
}

TEST_F(PhraseDialogTest, AFailedWriteChangesNeitherTheFileNorTheDialog) {
    const std::string before = gbk("ab      工作\nab      学习\n");
    writeFileText(file, before);
    const std::string temporary = file + "." + std::to_string(GetCurrentProcessId()) + ".tmp";
    ASSERT_EQ(mkdir(temporary.c_str(), 0700), 0);  // the new file cannot be written
    steps.push_back([](HWND d) {
        SendMessageA(item(d, IDC_PHRASE_LIST), LB_SETCURSEL, 0, 0);
        click(d, IDC_DELETE_PHRASE);
        add(d, "节日", "jr");
        EXPECT_EQ(listed(d).size(), 2u);
        EXPECT_EQ(text(d, IDC_NEW_PHRASE), "节日");
        EXPECT_EQ(text(d, IDC_PHRASE_CODE), "jr");
    });
    openFromMenu();
    rmdir(temporary.c_str());
    EXPECT_EQ(messageBoxes(), (std::vector<std::string>{"无法写入您的词库文件，词库未改变!",
                                                        "无法写入您的词库文件，词库未改变!"}));
    EXPECT_EQ(fileText(file), before);
}

TEST_F(PhraseDialogTest, BackupAndRestoreCopyTheFourFilesWhole) {
    const std::string folder = tablebuilder::scratchDir() + "/backup";
    mkdir(folder.c_str(), 0700);
    const char* names[] = {"fread.rt", "freadx.rt", "WBCZ.rt", "PYCZ.rt"};
    for (const char* name : names) std::remove((folder + "/" + name).c_str());
    writeFileText(file, gbk("ab      工作\n"));
    writeFileText(systemFilePath("PYCZ.rt"), gbk("zg      中国\n"));
    winapiPushFolderAnswer(folder.c_str());
    steps.push_back([](HWND d) { click(d, IDC_BACKUP); });
    openFromMenu();
    EXPECT_EQ(utf8(fileText(folder + "/freadx.rt")), "ab      工作\n");
    EXPECT_EQ(utf8(fileText(folder + "/PYCZ.rt")), "zg      中国\n");

    // Changed after the backup; a restore the person declines changes nothing.
    writeFileText(file, gbk("xy      新词\n"));
    winapiClearDesktopEvents();
    winapiPushFolderAnswer(folder.c_str());
    winapiPushMessageBoxAnswer(IDNO);
    steps.push_back([](HWND d) { click(d, IDC_RESTORE); });
    openFromMenu();
    EXPECT_EQ(utf8(fileText(file)), "xy      新词\n");

    winapiPushFolderAnswer(folder.c_str());
    winapiPushMessageBoxAnswer(IDYES);
    steps.push_back([](HWND d) {
        click(d, IDC_RESTORE);
        EXPECT_EQ(listed(d), std::vector<std::string>{"ab      工作"});
    });
    openFromMenu();
    EXPECT_EQ(utf8(fileText(file)), "ab      工作\n");
    std::vector<std::string> pickers;
    for (const WinapiDesktopEvent& e : winapiDesktopEvents())
        if (e.kind == "folder") pickers.push_back(utf8(e.text));
    EXPECT_EQ(pickers, (std::vector<std::string>{"恢复备份(请选择备份路径)", "恢复备份(请选择备份路径)"}));
    EXPECT_EQ(messageBoxes().back(), "恢复完成!");

    // A folder without a backup restores nothing.
    const std::string empty = tablebuilder::scratchDir() + "/nobackup";
    mkdir(empty.c_str(), 0700);
    winapiPushFolderAnswer(empty.c_str());
    steps.push_back([](HWND d) { click(d, IDC_RESTORE); });
    openFromMenu();
    EXPECT_EQ(messageBoxes().back(), "所选文件夹中没有备份!");
    EXPECT_EQ(utf8(fileText(file)), "ab      工作\n");
}

TEST_F(PhraseDialogTest, TheThirdWrongKeyOpensTheDialogOnceTheKeyIsDone) {
    ASSERT_TRUE(installSmallTables());
    ime->type("abzz");
    // The third key by hand, so nothing pumps the queue behind it.
    BYTE state[256] = {};
    UINT key = 'Z' | ('z' << 8);
    ASSERT_TRUE(ImeProcessKey(ime->context(), 'Z', 1, state));
    std::vector<BYTE> list(sizeof(TRANSMSGLIST) + 16 * sizeof(TRANSMSG));
    *reinterpret_cast<UINT*>(list.data()) = 16;
    ImeToAsciiEx(key, 0x2C, state, reinterpret_cast<LPTRANSMSGLIST>(list.data()), 0, ime->context());
    EXPECT_EQ(opened(), 0);  // not inside the key
    steps.push_back([](HWND d) { EXPECT_EQ(windows.userPhraseDialog, d); });
    winapiPumpMessages();
    EXPECT_EQ(opened(), 1);
    EXPECT_TRUE(steps.empty());
}

// The count of one wrong key starts again with each code: one slip in each of two words
// opens nothing, three in one code still open the dialog.
TEST_F(PhraseDialogTest, WrongKeysAreCountedWithinOneCode) {
    ASSERT_TRUE(installSmallTables());
    ime->type("abz{Space}abzz");
    winapiPumpMessages();
    EXPECT_EQ(opened(), 0);
    ime->type("z");
    winapiPumpMessages();
    EXPECT_EQ(opened(), 1);
}

TEST_F(PhraseDialogTest, OneInstanceNoneInWebModeAndItEndsWithTheUiWindow) {
    modes.webMode = 1;
    openFromMenu();
    EXPECT_EQ(opened(), 0);
    modes.webMode = 0;
    steps.push_back([this](HWND d) {
        openFromMenu();  // the menu again while it is shown: nothing opens
        EXPECT_EQ(windows.userPhraseDialog, d);
        // The UI window goes: the dialog ends with it.
        DestroyWindow(windows.uiHostWindow);
    });
    openFromMenu();
    EXPECT_EQ(opened(), 1);
    EXPECT_EQ(windows.userPhraseDialog, nullptr);
    EXPECT_TRUE(steps.empty());
}
