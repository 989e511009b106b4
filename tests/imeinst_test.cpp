// myins: its messages, its result, and the bound on the file name.
#include "fixtures/install_home.h"

#include <gtest/gtest.h>

using namespace installtest;

namespace {

typedef int(WINAPI* MyinsProc)(DWORD, DWORD, LPCSTR);

class Myins : public ::testing::Test {
protected:
    void SetUp() override
    {
        freshHome();
        library = LoadLibraryA("imeinst.dll");
        ASSERT_NE(library, nullptr);
        myins = (MyinsProc)(void (*)())GetProcAddress(library, "myins");
        ASSERT_NE(myins, nullptr);
    }
    void TearDown() override
    {
        if (library) FreeLibrary(library);
    }

    std::string run(LPCSTR fileName, int expected)
    {
        ::testing::internal::CaptureStdout();
        int rc = myins(7, 9, fileName);
        std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(rc, expected) << out;
        return out;
    }

    HMODULE library = nullptr;
    MyinsProc myins = nullptr;
};

TEST_F(Myins, InstallsAnImeModule)
{
    EXPECT_EQ(run("minimal.ime", 0), "Successfully installed Tessel(minimal.ime).");
    std::string key = std::string(layoutsKey) + "\\E0010804";
    EXPECT_EQ(rawValue(HKEY_LOCAL_MACHINE, key, "Ime File"), std::string("minimal.ime", 12));
    EXPECT_EQ(rawValue(HKEY_LOCAL_MACHINE, key, "Layout Text"), std::string("Tessel", 7));
}

TEST_F(Myins, RefusedFilesFail)
{
    EXPECT_EQ(run("imeqx.dll", -1), "Installation failed.\n");
    EXPECT_EQ(run("no such file.ime", -1), "Installation failed.\n");
    EXPECT_EQ(run(nullptr, -1), "Installation failed.\n");
    EXPECT_TRUE(subkeys(HKEY_LOCAL_MACHINE, layoutsKey).empty());
}

TEST_F(Myins, ANameLongerThanItsBufferIsRefusedNotCut)
{
    // 255 bytes fit; with 256 the name would have to be cut, which could name another file.
    std::string path = QX_BIN_DIR;
    ASSERT_LT(path.size(), 200u);
    path.append(255 - strlen("minimal.ime") - path.size(), '/');
    path += "minimal.ime";
    ASSERT_EQ(path.size(), 255u);
    EXPECT_EQ(run(path.c_str(), 0), "Successfully installed Tessel(" + path + ").");

    freshHome();
    std::string longer = "/" + path;
    EXPECT_EQ(run(longer.c_str(), -1), "Installation failed.\n");
    EXPECT_TRUE(subkeys(HKEY_LOCAL_MACHINE, layoutsKey).empty());
}

} // namespace
