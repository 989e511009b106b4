// The web-address dialog "ZWWZ" and the keyword dialog "ZX", run from the module's own
// templates by the dialog manager, with a person at the desktop pressing their buttons.
#include "uitest.h"

#include "gbk.h"
#include "imedriver.h"
#include "weblistfiles.h"

#include "webaddress/webaddress.h"
#include "frontend/imeexports.h"
#include "resources/resource.h"
#include "webaddress/keyworddialog.h"
#include "webaddress/webaddressdialog.h"
#include "webaddress/weblists.h"
#include "webaddress/webrecord.h"

#include <imm.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class WebDialogTest : public UiTest {
protected:
    void SetUp() override {
        freshWebLists();
        UiTest::SetUp();
        steps().clear();
        winapiSetPerson(&WebDialogTest::act);
        writeSystemFile("zwwz.dat", webListFile({"bd 百度 www.baidu.com ", "bdbk 百度百科 baike.baidu.com ",
                                                 "xl 新浪 www.sina.com.cn* "}));
        writeSystemFile("grwz.dat", webListFile({"wd 我的 my.example.cn "}));
    }
    void TearDown() override {
        winapiSetPerson(nullptr);
        winapiFailFileWrites(nullptr, 0);
        UiTest::TearDown();
    }

    // What the person does, one step each time the dialog waits; message boxes take the
    // queued answers.
    using Step = std::function<void(HWND dialog)>;
    static std::vector<Step>& steps() {
        static std::vector<Step> s;
        return s;
    }
    // The next message box finds the disk with room again (a person freeing it meanwhile).
    static bool& clearFaultInNextBox() {
        static bool clear = false;
        return clear;
    }
    static bool act(HWND modal, int kind) {
        if (kind == MSGF_MESSAGEBOX && clearFaultInNextBox()) {
            winapiFailFileWrites(nullptr, 0);
            clearFaultInNextBox() = false;
        }
        if (kind == MSGF_MESSAGEBOX || steps().empty()) return false;
        Step step = steps().front();
        steps().erase(steps().begin());
        step(modal);
        return true;
    }
    // Runs the dialog with these steps; afterwards the dialog is closed as nobody would
    // leave it open (Esc), which is also its own close.
    void run(std::vector<Step> s) {
        steps() = std::move(s);
        OpenWebAddressDialog(windows.uiHostWindow);
    }

    static void click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
    static void setFields(HWND dialog, const std::string& code, const std::string& name,
                          const std::string& address) {
        SetDlgItemTextA(dialog, IDC_WEB_CODE, gbk(code).c_str());
        SetDlgItemTextA(dialog, IDC_WEB_NAME, gbk(name).c_str());
        SetDlgItemTextA(dialog, IDC_WEB_ADDRESS, gbk(address).c_str());
    }
    static std::string field(HWND dialog, int id) {
        char text[512] = {};
        GetDlgItemTextA(dialog, id, text, sizeof text);
        return utf8(text);
    }
    static Lines lines(HWND dialog) {
        Lines out;
        HWND box = GetDlgItem(dialog, IDC_WEB_LIST);
        const LRESULT n = SendMessageA(box, LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; ++i) {
            char text[512] = {};
            SendMessageA(box, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
            out.push_back(utf8(text));
        }
        return out;
    }
    static std::string selected(HWND dialog) {
        HWND box = GetDlgItem(dialog, IDC_WEB_LIST);
        const LRESULT at = SendMessageA(box, LB_GETCURSEL, 0, 0);
        if (at < 0) return "<none>";
        char text[512] = {};
        SendMessageA(box, LB_GETTEXT, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(text));
        return utf8(text);
    }
    static void select(HWND dialog, const std::string& startOfLine) {
        HWND box = GetDlgItem(dialog, IDC_WEB_LIST);
        const LRESULT at = SendMessageA(box, LB_FINDSTRING, static_cast<WPARAM>(-1),
                                        reinterpret_cast<LPARAM>(gbk(startOfLine).c_str()));
        ASSERT_GE(at, 0) << startOfLine;
        SendMessageA(box, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
    }
    // Message boxes shown so far, as UTF-8 texts.
    static Lines messages() {
        Lines out;
        for (const WinapiDesktopEvent& e : winapiDesktopEvents())
            if (e.kind == "messagebox") out.push_back(utf8(e.text));
        return out;
    }
    static std::string lastMessage() {
        const Lines all = messages();
        return all.empty() ? "<none>" : all.back();
    }
    static std::vector<std::string> records(int list, char letter) {
        std::vector<std::string> out;
        for (const std::string& r : webBlockRecords(list, letter)) out.push_back(utf8(r));
        return out;
    }
};

// The padded line of a record: the code to 14 bytes, the name to 24 (GBK bytes).
std::string line(const std::string& code, const std::string& name, const std::string& address) {
    std::string c = code, n = name;
    while (c.size() < 14) c += ' ';
    size_t nameBytes = gbk(n).size();
    while (nameBytes++ < 24) n += ' ';
    return c + n + address;
}

TEST_F(WebDialogTest, ShowsThePublicListFirstAndEitherListByItsButton) {
    ASSERT_EQ(enterWebMode(WEB_PERSONAL_LIST), 1);
    typeWebCode(&engineContext, "wd");
    Lines publicLines, personalLines;
    bool publicChecked = false;
    run({[&](HWND d) {
             publicLines = lines(d);
             publicChecked = IsDlgButtonChecked(d, IDC_WEB_PUBLIC) == BST_CHECKED;
             click(d, IDC_WEB_PERSONAL);
         },
         [&](HWND d) { personalLines = lines(d); }});
    // Opening left the mode, whose rows pointed into the lists.
    EXPECT_EQ(modes.webMode, 0);
    EXPECT_EQ(engineContext.modeInput[0], '\0');
    EXPECT_TRUE(publicChecked);
    EXPECT_EQ(publicLines,
              (Lines{line("bd", "百度", "www.baidu.com"), line("bdbk", "百度百科", "baike.baidu.com"),
                     line("xl", "新浪", "www.sina.com.cn*")}));
    EXPECT_EQ(personalLines, Lines{line("wd", "我的", "my.example.cn")});
    EXPECT_EQ(modes.webListIndex, 1);  // the list last shown is the mode's next list
}

TEST_F(WebDialogTest, AddRefusesWhatCannotBeARecord) {
    const std::vector<std::vector<std::string>> refused = {
        {"ab", "甲", ""},     {"ab", "甲 乙", "a.cn"}, {"1b", "甲", "a.cn"},   {"aB", "甲", "a.cn"},
        {"a*", "甲", "a.cn"}, {"ab", "甲*", "a.cn"},   {"ab", "甲", "a*b.cn"}, {"ab", "甲", "*"},
    };
    std::vector<Step> s;
    for (const auto& f : refused)
        s.push_back([f](HWND d) {
            setFields(d, f[0], f[1], f[2]);
            click(d, IDC_WEB_ADD);
        });
    s.push_back([](HWND d) {  // longer than any record, put in past the edit's limit
        setFields(d, "ab", "甲", std::string(300, 'x'));
        click(d, IDC_WEB_ADD);
    });
    run(s);
    const Lines shown = messages();
    ASSERT_EQ(shown.size(), refused.size() + 1);
    for (size_t i = 0; i < refused.size(); ++i) EXPECT_EQ(shown[i], "输入错误(请重新输入)") << i;
    EXPECT_EQ(shown.back(), "输入太长(请重新输入)");
    EXPECT_EQ(webListFiles.changed[0], 0);
    EXPECT_EQ(records(0, 'a').size(), 0u);
}

TEST_F(WebDialogTest, AddPutsANewRecordInAndRefusesOneThatIsThere) {
    std::string afterAdd;
    run({[](HWND d) {
             setFields(d, "bd", "百度", "www.baidu.com");
             click(d, IDC_WEB_ADD);
         },
         [](HWND d) {
             setFields(d, "xl", "新浪", "www.sina.com.cn");  // there with a star
             click(d, IDC_WEB_ADD);
         },
         [&](HWND d) {
             setFields(d, "bdzd", "百度知道", "zhidao.baidu.com");
             click(d, IDC_WEB_ADD);
             afterAdd = selected(d);
         }});
    EXPECT_EQ(messages(), (Lines{"此记录已经存在!", "此记录已经存在!"}));
    EXPECT_EQ(afterAdd, line("bdzd", "百度知道", "zhidao.baidu.com"));
    EXPECT_EQ(records(0, 'b').back(), "bdzd 百度知道 zhidao.baidu.com ");
    EXPECT_EQ(
        utf8(readSystemFile("zwwz.dat")),
        "bd 百度 www.baidu.com \r\nbdbk 百度百科 baike.baidu.com \r\nbdzd 百度知道 zhidao.baidu.com \r\n"
        "xl 新浪 www.sina.com.cn* ");
}

TEST_F(WebDialogTest, AddIntoAFullBlockIsRefused) {
    std::string full;
    for (int i = 0; i < 200; ++i)
        full += "a" + std::string(1, char('a' + i / 26)) + std::string(1, char('a' + i % 26)) + " x " +
                std::to_string(i) + ".cn \n";
    writeSystemFile("zwwz.dat", full);
    run({[](HWND d) {
        setFields(d, "azz", "甲", "new.cn");
        click(d, IDC_WEB_ADD);
    }});
    EXPECT_EQ(lastMessage(), "该字母的网址已满(200条)!");
    EXPECT_EQ(readSystemFile("zwwz.dat"), full);
}

// Lines are found by the record they show, not by reading the padded text back: a code
// longer than its column and a starred record go and come back whole.
TEST_F(WebDialogTest, ModifyMovesARecordIntoTheFieldsAndAddPutsItBack) {
    writeSystemFile("grwz.dat",
                    webListFile({"wabcdefghijklmnop 我的很长的名字 my.example.cn* ", "wd 我的 w.cn "}));
    std::string code, name, address;
    Lines during, after;
    run({[](HWND d) { click(d, IDC_WEB_PERSONAL); },
         [](HWND d) {
             select(d, "wabcdefghijklmnop");
             click(d, IDC_WEB_MODIFY);
         },
         [&](HWND d) {
             code = field(d, IDC_WEB_CODE);
             name = field(d, IDC_WEB_NAME);
             address = field(d, IDC_WEB_ADDRESS);
             during = lines(d);
             click(d, IDC_WEB_ADD);
             after = lines(d);
         }});
    EXPECT_EQ(code, "wabcdefghijklmnop");
    EXPECT_EQ(name, "我的很长的名字");
    EXPECT_EQ(address, "my.example.cn*");
    // The record stays in the list until the changed one is added.
    EXPECT_EQ(during.size(), 2u);
    EXPECT_EQ(after.size(), 2u);
    EXPECT_EQ(records(1, 'w'), (Lines{"wabcdefghijklmnop 我的很长的名字 my.example.cn* ", "wd 我的 w.cn "}));
}

TEST_F(WebDialogTest, ModifyWithTextInTheFieldsDoesNothing) {
    run({[](HWND d) {
        select(d, "bd ");
        SetDlgItemTextA(d, IDC_WEB_NAME, "x");
        click(d, IDC_WEB_MODIFY);
    }});
    EXPECT_EQ(records(0, 'b').size(), 2u);
    EXPECT_EQ(webListFiles.changed[0], 0);
}

TEST_F(WebDialogTest, FindSelectsTheFirstRecordThatBeginsWithTheFields) {
    std::string byCode, byName;
    run({[&](HWND d) {
             setFields(d, "bdb", "", "");
             click(d, IDC_WEB_FIND);
             byCode = selected(d);
         },
         [&](HWND d) {
             setFields(d, "", "新", "www.s");
             click(d, IDC_WEB_FIND);
             byName = selected(d);
         },
         [](HWND d) {
             setFields(d, "q", "", "");
             click(d, IDC_WEB_FIND);
         },
         [](HWND d) {
             setFields(d, "", "", "");
             click(d, IDC_WEB_FIND);
         }});
    EXPECT_EQ(byCode, line("bdbk", "百度百科", "baike.baidu.com"));
    EXPECT_EQ(byName, line("xl", "新浪", "www.sina.com.cn*"));
    EXPECT_EQ(messages(), (Lines{"没有这样的记录", "输入错误"}));
}

// The frequent records stay together at the head of their block, so that the mode's
// count of them means what it shows.
TEST_F(WebDialogTest, StarringKeepsTheFrequentRecordsAtTheHead) {
    writeSystemFile("zwwz.dat", webListFile({"aa 甲 a.cn* ", "ab 乙 b.cn ", "ac 丙 c.cn ", "ad 丁 d.cn "}));
    run({[](HWND d) {
             select(d, "ad ");
             click(d, IDC_WEB_STAR);
         },
         [](HWND d) {
             select(d, "aa ");
             click(d, IDC_WEB_STAR);
         },
         [](HWND d) {  // a double click on a line stars it too
             select(d, "ab ");
             RECT item{};
             HWND box = GetDlgItem(d, IDC_WEB_LIST);
             SendMessageA(box, LB_GETITEMRECT, SendMessageA(box, LB_GETCURSEL, 0, 0),
                          reinterpret_cast<LPARAM>(&item));
             POINT p{item.left + 5, item.top + 3};
             ClientToScreen(box, &p);
             winapiDoubleClick(p.x, p.y);
         }});
    EXPECT_EQ(records(0, 'a'), (Lines{"ad 丁 d.cn* ", "ab 乙 b.cn* ", "aa 甲 a.cn ", "ac 丙 c.cn "}));
    EXPECT_EQ(webFixedCount(webList(0)[0]), 2);
}

TEST_F(WebDialogTest, AFullRecordCannotTakeAStar) {
    const std::string full = "ab x " + std::string(83, 'y') + " ";  // 89 bytes
    writeSystemFile("zwwz.dat", full + "\n");
    run({[](HWND d) {
        select(d, "ab ");
        click(d, IDC_WEB_STAR);
    }});
    EXPECT_EQ(lastMessage(), "记录太长，不能标为常用!");
    EXPECT_EQ(webBlockRecords(0, 'a'), Lines{full});
}

// "a**" is the address "a*" starred; without its star it would read as the address "a"
// starred, and "**" as no record at all. Such a record keeps its star, and the user hears so.
TEST_F(WebDialogTest, AnAddressEndingInAStarOfItsOwnKeepsItsStar) {
    writeSystemFile("zwwz.dat", webListFile({"aa 甲 ** ", "ab 乙 b.cn** ", "ac 丙 c.cn "}));
    run({[](HWND d) {
             select(d, "aa ");
             click(d, IDC_WEB_STAR);
         },
         [](HWND d) {
             select(d, "ab ");
             click(d, IDC_WEB_STAR);
         },
         [](HWND d) {
             select(d, "ac ");
             click(d, IDC_WEB_STAR);
         }});
    EXPECT_EQ(records(0, 'a'), (Lines{"aa 甲 ** ", "ab 乙 b.cn** ", "ac 丙 c.cn* "}));
    EXPECT_EQ(winapiBeeps().size(), 2u);
    EXPECT_TRUE(messages().empty());
}

TEST_F(WebDialogTest, DeleteAsksFirst) {
    winapiPushMessageBoxAnswer(IDNO);
    winapiPushMessageBoxAnswer(IDYES);
    run({[](HWND d) {
             select(d, "bdbk");
             click(d, IDC_WEB_DELETE);
         },
         [](HWND d) { click(d, IDC_WEB_DELETE); }});
    EXPECT_EQ(messages(), (Lines{"确实要删除该记录吗？", "确实要删除该记录吗？"}));
    EXPECT_EQ(records(0, 'b'), Lines{"bd 百度 www.baidu.com "});
    EXPECT_EQ(utf8(readSystemFile("zwwz.dat")), "bd 百度 www.baidu.com \r\nxl 新浪 www.sina.com.cn* ");
}

TEST_F(WebDialogTest, AMergeShowsTheMergedList) {
    const fs::path folder = fs::path(systemFile("")) / ".." / "backup";
    fs::create_directories(folder);
    std::ofstream(folder / "grwz.dat", std::ios::binary | std::ios::trunc)
        << webListFile({"wd 我的 my.example.cn* ", "yx 邮箱 mail.example.cn "});
    winapiPushFolderAnswer(fs::canonical(folder).c_str());
    Lines shown;
    std::string first;
    bool personalChecked = false;
    run({[](HWND d) { click(d, IDC_WEB_MERGE_PERSONAL); },
         [&](HWND d) {
             shown = lines(d);
             first = selected(d);
             personalChecked = IsDlgButtonChecked(d, IDC_WEB_PERSONAL) == BST_CHECKED;
             click(d, IDC_WEB_MERGE_PUBLIC);  // no folder this time: nothing happens
         },
         [](HWND d) {
             winapiPushFolderAnswer("/nonexistent/folder");
             click(d, IDC_WEB_MERGE_PUBLIC);
         }});
    EXPECT_EQ(shown, (Lines{line("wd", "我的", "my.example.cn"), line("yx", "邮箱", "mail.example.cn")}));
    EXPECT_EQ(first, shown[0]);
    EXPECT_TRUE(personalChecked);
    EXPECT_EQ(messages(), Lines{"无法读取该文件!"});
    EXPECT_EQ(utf8(readSystemFile("grwz.dat")), "wd 我的 my.example.cn \r\nyx 邮箱 mail.example.cn ");
}

TEST_F(WebDialogTest, ClosingWritesOnlyWhatChanged) {
    const std::string publicBefore = "bd x b.cn \nbd x b.cn \n";  // written by hand, twice
    writeSystemFile("zwwz.dat", publicBefore);
    run({});
    EXPECT_EQ(readSystemFile("zwwz.dat"), publicBefore);
    run({[](HWND d) {
        click(d, IDC_WEB_PERSONAL);
        setFields(d, "yx", "邮箱", "mail.example.cn");
        click(d, IDC_WEB_ADD);
    }});
    EXPECT_EQ(readSystemFile("zwwz.dat"), publicBefore);
    EXPECT_EQ(utf8(readSystemFile("grwz.dat")), "wd 我的 my.example.cn \r\nyx 邮箱 mail.example.cn ");
}

// Lines the load could not keep are lost only when the user agrees, told how many.
TEST_F(WebDialogTest, ClosingAsksBeforeLinesThatCouldNotBeReadAreLost) {
    const std::string before =
        webListFile({"bd 百度 www.baidu.com ", "a line that is no record", "xl 新浪 x.cn "});
    writeSystemFile("zwwz.dat", before);
    auto change = [](HWND d) {
        setFields(d, "bdzd", "百度知道", "zhidao.baidu.com");
        click(d, IDC_WEB_ADD);
    };
    winapiPushMessageBoxAnswer(IDNO);
    run({change});
    EXPECT_EQ(lastMessage(), "zwwz.dat中有1行无法读取，保存后将不再保留。仍要保存吗？");
    EXPECT_EQ(readSystemFile("zwwz.dat"), before);

    // Cancel keeps the dialog open; Yes then writes the list without the line.
    winapiClearDesktopEvents();
    winapiPushMessageBoxAnswer(IDCANCEL);
    winapiPushMessageBoxAnswer(IDYES);
    bool openAfterCancel = false;
    run({[](HWND d) { click(d, IDC_WEB_CLOSE); },
         [&](HWND d) {
             openAfterCancel = IsWindow(d);
             click(d, IDC_WEB_CLOSE);
         }});
    EXPECT_TRUE(openAfterCancel);
    EXPECT_EQ(messages().size(), 2u);
    EXPECT_EQ(utf8(readSystemFile("zwwz.dat")),
              "bd 百度 www.baidu.com \r\nbdzd 百度知道 zhidao.baidu.com \r\nxl 新浪 x.cn ");
}

// A failed save offers to try again or to leave without saving: a dialog that could only
// be left by a save would hold the application forever in a folder that refuses writes.
TEST_F(WebDialogTest, AFailedSaveOffersToTryAgainOrToLeaveWithTheFileAsItWas) {
    const std::string before = readSystemFile("grwz.dat");
    winapiFailFileWrites(webListTemporary("grwz.dat").c_str(), 5);
    // Esc, 退出 and the close box all close through the same save: Esc here.
    winapiPushMessageBoxAnswer(IDYES);
    winapiPushMessageBoxAnswer(IDCANCEL);
    run({[](HWND d) {
        click(d, IDC_WEB_PERSONAL);
        select(d, "wd ");
        click(d, IDC_WEB_DELETE);
    }});
    // run returns: the dialog is gone.
    EXPECT_EQ(
        messages(),
        (Lines{"确实要删除该记录吗？",
               "无法保存grwz.dat，原文件没有改动。\n重试: 再次保存；取消: 不保存grwz.dat的改动，退出。"}));
    EXPECT_EQ(readSystemFile("grwz.dat"), before);
    // What was not saved is forgotten: the list is the file's again.
    EXPECT_EQ(records(1, 'w'), Lines{"wd 我的 my.example.cn "});
    EXPECT_EQ(webListFiles.changed[1], 0);

    // Retry, the box's first button: the box waits while the disk gets room; the second
    // save goes through.
    winapiClearDesktopEvents();
    clearFaultInNextBox() = true;
    run({[](HWND d) {
        click(d, IDC_WEB_PERSONAL);
        setFields(d, "yx", "邮箱", "mail.example.cn");
        click(d, IDC_WEB_ADD);
        click(d, IDC_WEB_CLOSE);
    }});
    EXPECT_EQ(messages().size(), 1u);
    EXPECT_EQ(utf8(readSystemFile("grwz.dat")), "wd 我的 my.example.cn \r\nyx 邮箱 mail.example.cn ");
}

// 修改 puts the record into the fields and keeps it until 添加 stores the changed one:
// leaving between the two loses nothing.
TEST_F(WebDialogTest, ModifyThenLeaveKeepsTheRecord) {
    const std::string before = readSystemFile("grwz.dat");
    run({[](HWND d) {
        click(d, IDC_WEB_PERSONAL);
        select(d, "wd ");
        click(d, IDC_WEB_MODIFY);
        click(d, IDC_WEB_CLOSE);
    }});
    EXPECT_EQ(readSystemFile("grwz.dat"), before);
    EXPECT_EQ(records(1, 'w'), Lines{"wd 我的 my.example.cn "});

    // Modified and added: the changed record replaces the old one, in another block too.
    run({[](HWND d) {
        click(d, IDC_WEB_PERSONAL);
        select(d, "wd ");
        click(d, IDC_WEB_MODIFY);
        setFields(d, "md", "我的", "my.example.cn");
        click(d, IDC_WEB_ADD);
    }});
    EXPECT_EQ(utf8(readSystemFile("grwz.dat")), "md 我的 my.example.cn ");
}

// While the dialog is open another program fills the "m" block of the file. Moving "wd" to
// "md" and adding "mx" cannot be stored: leaving says the letter is full, and "wd" stays.
TEST_F(WebDialogTest, AddressesWhoseLetterAnotherProgramFilledAreNotStoredAndTheMoveKeepsTheOld) {
    static std::string full;
    full.clear();
    for (int i = 0; i < 200; ++i)
        full += "m" + std::string(1, char('a' + i / 26)) + std::string(1, char('a' + i % 26)) + " x " +
                std::to_string(i) + ".cn \r\n";
    run({[](HWND d) {
        click(d, IDC_WEB_PERSONAL);
        select(d, "wd ");
        click(d, IDC_WEB_MODIFY);
        setFields(d, "md", "我的", "my.example.cn");
        click(d, IDC_WEB_ADD);
        setFields(d, "mx", "邮箱", "mail.example.cn");
        click(d, IDC_WEB_ADD);
        writeSystemFile("grwz.dat", full + gbk("wd 我的 my.example.cn "));  // the other program's save
    }});
    EXPECT_EQ(messages(), Lines{"该字母的网址已满(200条)!"});
    EXPECT_EQ(utf8(readSystemFile("grwz.dat")), full + "wd 我的 my.example.cn ");
    EXPECT_EQ(records(1, 'w'), Lines{"wd 我的 my.example.cn "});
    EXPECT_EQ(records(1, 'm').size(), 200u);
}

// Two programs with their own copies of the lists: B, whose lists were read before A added
// an address, moves an address up in the mode and opens and closes its dialog. A's
// address stays: B's save makes B's changes on the file as A left it.
TEST_F(WebDialogTest, AnAddressAddedByAnotherProgramSurvivesAStaleCopysSave) {
    ASSERT_EQ(enterWebMode(WEB_PUBLIC_LIST), 1);  // B reads the lists
    leaveWebMode(&engineContext);
    std::fflush(nullptr);
    const pid_t a = fork();
    if (a == 0) {  // program A: an address added, the dialog closed
        steps() = {[](HWND d) {
            setFields(d, "bdzd", "百度知道", "zhidao.baidu.com");
            click(d, IDC_WEB_ADD);
        }};
        OpenWebAddressDialog(nullptr);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(a, &status, 0), a);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_NE(utf8(readSystemFile("zwwz.dat")).find("bdzd"), std::string::npos);

    // B chooses the second address of "bd" (it moves up), then opens and closes the dialog.
    ASSERT_EQ(enterWebMode(WEB_PUBLIC_LIST), 1);
    typeWebCode(&engineContext, "bd");
    processWebAddressKey('2', '2', &engineContext);
    leaveWebMode(&engineContext);
    run({});
    const std::string after = utf8(readSystemFile("zwwz.dat"));
    EXPECT_NE(after.find("bdzd 百度知道 zhidao.baidu.com "), std::string::npos) << after;
    EXPECT_EQ(after.rfind("bdbk 百度百科 baike.baidu.com ", 0), 0u) << after;  // moved up
}

TEST_F(WebDialogTest, AListThatCannotBeReadCannotBeChanged) {
    removeSystemFile("grwz.dat");
    fs::create_directories(systemFile("grwz.dat"));
    run({[](HWND d) {
        click(d, IDC_WEB_PERSONAL);
        setFields(d, "yx", "邮箱", "mail.example.cn");
        click(d, IDC_WEB_ADD);
    }});
    EXPECT_EQ(messages(), Lines{"网址文件无法读取，不能修改!"});
    EXPECT_TRUE(fs::is_directory(systemFile("grwz.dat")));
}

// A line whose record moved under the dialog (a choice in the address mode moves its
// record in the block) is not acted on blindly: the dialog says why and shows the list as
// it is now, the same line chosen again.
TEST_F(WebDialogTest, ALineWhoseRecordMovedIsRefusedWithTheReason) {
    WebBlock& block = webList(WEB_PUBLIC_LIST)[webBlockOf('b')];
    std::string chosenAfter;
    run({[&](HWND d) {
        select(d, "bdbk");
        toggleWebRecordStar(block, 1);  // bdbk moves to the head with its star
        click(d, IDC_WEB_DELETE);
        chosenAfter = selected(d);
        toggleWebRecordStar(block, 0);  // and loses it again: the line no longer shows it
        click(d, IDC_WEB_STAR);
    }});
    const std::string moved = "列表已有变动，请重新选择该记录!";
    EXPECT_EQ(messages(), (Lines{moved, moved}));
    EXPECT_EQ(chosenAfter,
              "bdbk" + std::string(10, ' ') + "百度百科" + std::string(16, ' ') + "baike.baidu.com*");
    EXPECT_EQ(webBlockCount(block), 2);  // nothing deleted
}

// A bracket typed into one of the dialog's own fields is a character of that field: no
// address mode starts under the open dialog.
TEST_F(WebDialogTest, ABracketTypedIntoTheDialogStartsNoAddressMode) {
    ImeDriver ime;
    std::string name;
    int webMode = -1;
    run({[&](HWND d) {
        SetFocus(GetDlgItem(d, IDC_WEB_NAME));
        winapiPumpMessages();
        ime.type("[a");
        winapiPumpMessages();
        webMode = modes.webMode;
        name = field(d, IDC_WEB_NAME);
    }});
    EXPECT_EQ(webMode, 0);
    EXPECT_EQ(name, "[");
}

// ---- the keyword dialog ----

class KeywordDialogTest : public WebDialogTest {
protected:
    void keyword(std::vector<Step> s) {
        steps() = std::move(s);
        OpenKeywordDialog(windows.uiHostWindow);
    }
    static void typeKeyword(HWND d, const std::string& text) {
        SetDlgItemTextA(d, IDC_KEYWORD, gbk(text).c_str());
    }
};

TEST_F(KeywordDialogTest, OkEntersTheModeAtTheFirstSiteWhoseNameHoldsTheKeyword) {
    modes.pinyinMode = 1;
    bool knownWhileOpen = false;
    keyword({[&](HWND d) {
        knownWhileOpen = windows.keywordDialog == d;
        typeKeyword(d, "度百");
        click(d, IDOK);
    }});
    EXPECT_TRUE(knownWhileOpen);
    EXPECT_EQ(windows.keywordDialog, nullptr);
    EXPECT_EQ(modes.webMode, 1);
    EXPECT_EQ(modes.pinyinMode, 1);
    EXPECT_EQ(std::string(engineContext.modeInput), "bdbk");
    EXPECT_EQ(std::string(engineContext.rowText[0]), "baike.baidu.com");

    // In the other list when this one has none; a keyword of letters is a code.
    leaveWebMode(&engineContext);
    keyword({[](HWND d) {
        typeKeyword(d, "我");
        click(d, IDOK);
    }});
    EXPECT_EQ(modes.webListIndex, 1);
    EXPECT_EQ(std::string(engineContext.rowText[0]), "my.example.cn");
    leaveWebMode(&engineContext);
    keyword({[](HWND d) {
        typeKeyword(d, "xl");
        click(d, IDOK);
    }});
    EXPECT_EQ(modes.webListIndex, 0);
    EXPECT_EQ(std::string(engineContext.rowText[0]), "www.sina.com.cn");
}

TEST_F(KeywordDialogTest, AnEmptyKeywordEntersTheModeOnTheListLastUsed) {
    modes.webListIndex = 1;
    engineContext.codeLength = 2;
    copyText(engineContext.code, sizeof engineContext.code, "ab");
    keyword({[](HWND d) { click(d, IDOK); }});
    EXPECT_EQ(modes.webMode, 1);
    EXPECT_EQ(modes.webListIndex, 1);
    EXPECT_EQ(engineContext.code[0], '\0');
    EXPECT_EQ(engineContext.codeLength, 0);
    EXPECT_EQ(engineContext.modeInput[0], '\0');
}

TEST_F(KeywordDialogTest, CancelEscAndTheCloseBoxChangeNothing) {
    keyword({[](HWND d) {
        typeKeyword(d, "百度");
        click(d, IDCANCEL);
    }});
    keyword({[](HWND d) { SendMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); }});
    keyword({});  // nobody: Esc
    EXPECT_EQ(modes.webMode, 0);
    EXPECT_EQ(engineContext.modeInput[0], '\0');
}

TEST_F(KeywordDialogTest, AKeywordThatFindsNothingSaysSoAndAnUnreadableListBeeps) {
    bool stillOpen = false;
    keyword({[](HWND d) {
                 typeKeyword(d, "没有");
                 click(d, IDOK);
             },
             [&](HWND d) {
                 stillOpen = true;
                 typeKeyword(d, "");
                 click(d, IDCANCEL);
             }});
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(messages(), Lines{"没有这样的记录"});
    EXPECT_EQ(modes.webMode, 0);

    removeSystemFile("zwwz.dat");
    fs::create_directories(systemFile("zwwz.dat"));
    resetProcessState();
    winapiClearRecords();
    keyword({[](HWND d) { click(d, IDOK); }});
    EXPECT_EQ(modes.webMode, 0);
    ASSERT_EQ(winapiBeeps().size(), 1u);
    EXPECT_TRUE(winapiBeeps()[0].messageBeep);
}

TEST_F(KeywordDialogTest, TheKeyFilterLeavesKeysToTheDialogWhileTheModeIsOn) {
    HIMC context = ImmCreateContext();
    BYTE state[256] = {};
    LRESULT taken = -1;
    keyword({[&](HWND d) {
        modes.webMode = 1;
        taken = ImeProcessKey(context, 'A', 0, state);
        click(d, IDCANCEL);
    }});
    EXPECT_EQ(taken, 0);
    modes.webMode = 0;
    EXPECT_EQ(ImeProcessKey(context, 'A', 0, state), 1);
    ImmDestroyContext(context);
}

// The status menu opens both dialogs for the application that has the context.
TEST_F(KeywordDialogTest, TheStatusMenuOpensBothDialogs) {
    HIMC context = ImmCreateContext();
    SetWindowLongPtrA(windows.uiHostWindow, 0, reinterpret_cast<LONG_PTR>(context));
    CreateStatusWindow();
    SendMessageA(engineContext.statusWindow, WM_COMMAND, CMD_WEB_ADDRESSES, 0);
    SendMessageA(engineContext.statusWindow, WM_COMMAND, CMD_KEYWORD_QUERY, 0);
    Lines opened;
    for (const WinapiDesktopEvent& e : winapiDesktopEvents())
        if (e.kind == "dialog-open") opened.push_back(utf8(e.text));
    EXPECT_EQ(opened, (Lines{"中文网址E-mail地址", "关键字查询(中文网址)"}));
    SetWindowLongPtrA(windows.uiHostWindow, 0, 0);
    ImmDestroyContext(context);
}

// Each dialog opens once: the status menu asked again while one is shown opens no second
// one, whose end would otherwise lift the guards that the first one set.
TEST_F(KeywordDialogTest, TheStatusMenuOpensNoDialogTwice) {
    HIMC context = ImmCreateContext();
    SetWindowLongPtrA(windows.uiHostWindow, 0, reinterpret_cast<LONG_PTR>(context));
    CreateStatusWindow();
    for (const UINT command :
         {CMD_ABOUT, CMD_SETTINGS, CMD_USER_PHRASES, CMD_WEB_ADDRESSES, CMD_KEYWORD_QUERY}) {
        winapiClearDesktopEvents();
        bool stillKnown = true;
        steps() = {[&](HWND d) {
            SendMessageA(engineContext.statusWindow, WM_COMMAND, command, 0);
            if (command == CMD_KEYWORD_QUERY) stillKnown = windows.keywordDialog == d;
        }};
        SendMessageA(engineContext.statusWindow, WM_COMMAND, command, 0);
        int opened = 0;
        for (const WinapiDesktopEvent& e : winapiDesktopEvents()) opened += e.kind == "dialog-open";
        EXPECT_EQ(opened, 1) << command;
        EXPECT_TRUE(stillKnown);
    }
    EXPECT_EQ(windows.keywordDialog, nullptr);
    SetWindowLongPtrA(windows.uiHostWindow, 0, 0);
    ImmDestroyContext(context);
}

}  // namespace
