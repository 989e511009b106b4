// regqx: the next free layout identifier, reuse of its own key, the two fatal errors,
// the version fallback and more layouts than its name table holds.
#include "fixtures/install_home.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace installtest;

namespace {

typedef int(WINAPI* RegqxProc)(DWORD, DWORD, DWORD);

const std::string mark = "\xA1\xBATessel\xA1\xBB";

std::string layout(const std::string& id) { return std::string(layoutsKey) + "\\" + id; }

class Regqx : public ::testing::Test {
protected:
    void SetUp() override
    {
        freshHome();
        library = LoadLibraryA("imeqx.dll");
        ASSERT_NE(library, nullptr);
        regqx = (RegqxProc)(void (*)())GetProcAddress(library, "regqx");
        ASSERT_NE(regqx, nullptr);
    }
    void TearDown() override
    {
        if (library) FreeLibrary(library);
    }

    void addLayout(const std::string& id, const std::string& text)
    {
        setText(HKEY_LOCAL_MACHINE, layout(id), "layout text", text);
    }

    // Runs regqx and returns what it wrote on standard output.
    std::string run()
    {
        ::testing::internal::CaptureStdout();
        int rc = regqx(0, 0, 0);
        std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(rc, 0);
        return out;
    }

    HMODULE library = nullptr;
    RegqxProc regqx = nullptr;
};

TEST_F(Regqx, RegistersTheNextIdentifierWithUnterminatedValues)
{
    addLayout("E0010804", "one");
    addLayout("E0020804", "two");
    EXPECT_EQ(run(), "ok\n");
    // Values are stored without their terminating zero.
    EXPECT_EQ(rawValue(HKEY_LOCAL_MACHINE, layout("E0030804"), "IME file"), "qx.ime");
    EXPECT_EQ(rawValue(HKEY_LOCAL_MACHINE, layout("E0030804"), "layout file"), "kbdus.dll");
    EXPECT_EQ(rawValue(HKEY_LOCAL_MACHINE, layout("E0030804"), "layout text"), mark);
    EXPECT_EQ(subkeys(HKEY_LOCAL_MACHINE, layoutsKey).size(), 3u);
}

TEST_F(Regqx, OrdinaryLayoutsGiveAShortName)
{
    addLayout("00000804", "Chinese");
    addLayout("00000409", "US");
    run();
    EXPECT_EQ(rawValue(HKEY_LOCAL_MACHINE, layout("10804"), "layout text"), mark);
}

TEST_F(Regqx, ASecondRunRewritesItsOwnKey)
{
    addLayout("E0010804", "one");
    run();
    setText(HKEY_LOCAL_MACHINE, layout("E0020804"), "IME file", "other.ime");
    addLayout("E0070804", "later");
    run();
    EXPECT_EQ(rawValue(HKEY_LOCAL_MACHINE, layout("E0020804"), "IME file"), "qx.ime");
    EXPECT_EQ(subkeys(HKEY_LOCAL_MACHINE, layoutsKey).size(), 3u);
}

TEST_F(Regqx, TheMarkIsRecognisedWithoutRegardToCase)
{
    addLayout("E0050804", "\xA1\xBAtESSEL\xA1\xBB");
    addLayout("E0090804", "nine");
    run();
    EXPECT_EQ(rawValue(HKEY_LOCAL_MACHINE, layout("E0050804"), "layout text"), mark);
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, layout("E00A0804")));
    // A different double-byte character around the same letters is no mark.
    addLayout("E0050804", "\xA1\xBCTessel\xA1\xBB");
    run();
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, layout("E00A0804")));
}

TEST_F(Regqx, LayoutFileFollowsTheVersion)
{
    addLayout("E0010804", "one");
    setenv("QX_WINVER", "95", 1);
    EXPECT_EQ(run(), "ok\n");
    EXPECT_EQ(rawValue(HKEY_LOCAL_MACHINE, layout("E0020804"), "layout file"), "kbdus.kbd");

    setenv("QX_WINVER", "fail", 1);
    EXPECT_EQ(run(), "get version error\nok\n");
    EXPECT_EQ(rawValue(HKEY_LOCAL_MACHINE, layout("E0020804"), "layout file"), "kbdus.kbd");
}

TEST_F(Regqx, MoreLayoutsThanTheNameTableHolds)
{
    // 300 layouts: the lowest name is enumerated last, after the first 250 names.
    for (int i = 1; i <= 300; ++i) {
        char id[16];
        snprintf(id, sizeof id, "%08X", (i << 16) | 0x0804);
        addLayout(id, i == 1 ? mark : "other");
    }
    run();
    EXPECT_EQ(subkeys(HKEY_LOCAL_MACHINE, layoutsKey).size(), 300u);
    EXPECT_EQ(rawValue(HKEY_LOCAL_MACHINE, layout("00010804"), "IME file"), "qx.ime");

    addLayout("00010804", "no longer ours");
    run();
    EXPECT_EQ(rawValue(HKEY_LOCAL_MACHINE, layout("12D0804"), "layout text"), mark);
}

using RegqxDeathTest = Regqx;

TEST_F(RegqxDeathTest, MissingLayoutsKeyEndsTheProcess)
{
    EXPECT_EXIT(regqx(0, 0, 0), ::testing::ExitedWithCode(1), "^Keyboard Layouts open error\n$");
}

TEST_F(RegqxDeathTest, NoIdentifierLeftEndsTheProcess)
{
    addLayout("FFFF0804", "last");
    EXPECT_EXIT(regqx(0, 0, 0), ::testing::ExitedWithCode(1), "^100000804 create error\n$");
    // Nothing was written over another layout.
    EXPECT_EQ(subkeys(HKEY_LOCAL_MACHINE, layoutsKey).size(), 1u);
}

} // namespace
