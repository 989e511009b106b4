// The stand-in's system version, keyboard layouts and IME installation.
#include "fixtures/install_home.h"

#include <gtest/gtest.h>

using namespace installtest;

namespace {

std::string layout(const std::string& id) { return std::string(layoutsKey) + "\\" + id; }
std::string text(const char* s) { return std::string(s, strlen(s) + 1); }

class Layouts : public ::testing::Test {
protected:
    void SetUp() override { freshHome(); }
};

TEST_F(Layouts, VersionIsNtUnlessTheHostSaysOtherwise)
{
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwPlatformId, (DWORD)VER_PLATFORM_WIN32_NT);

    setenv("QX_WINVER", "98", 1);
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwPlatformId, (DWORD)VER_PLATFORM_WIN32_WINDOWS);
    EXPECT_EQ(info.dwMajorVersion, 4u);
    EXPECT_EQ(info.dwMinorVersion, 10u);

    setenv("QX_WINVER", "fail", 1);
    EXPECT_FALSE(GetVersionExA(&info));
    unsetenv("QX_WINVER");

    // The caller must say how large its record is.
    info.dwOSVersionInfoSize = sizeof info - 1;
    EXPECT_FALSE(GetVersionExA(&info));
}

TEST_F(Layouts, OnlyRegisteredLayoutsLoad)
{
    EXPECT_EQ(LoadKeyboardLayoutA("E0990804", 0), nullptr);
    EXPECT_EQ(LoadKeyboardLayoutA("804", 0), nullptr);
    EXPECT_EQ(LoadKeyboardLayoutA(nullptr, 0), nullptr);
    EXPECT_EQ(GetKeyboardLayoutList(0, nullptr), 0);

    setText(HKEY_LOCAL_MACHINE, layout("E0990804"), "Layout Text", "ime");
    setText(HKEY_LOCAL_MACHINE, layout("00000409"), "Layout Text", "US");
    HKL ime = LoadKeyboardLayoutA("e0990804", 0);
    HKL us = LoadKeyboardLayoutA("00000409", 0);
    EXPECT_EQ((ULONG_PTR)ime, 0xE0990804u);
    EXPECT_EQ((ULONG_PTR)us, 0x04090409u);
    // Loading again gives the same handle and does not list it twice.
    EXPECT_EQ(LoadKeyboardLayoutA("E0990804", 0), ime);
    EXPECT_EQ(GetKeyboardLayoutList(0, nullptr), 2);

    EXPECT_TRUE(UnloadKeyboardLayout(ime));
    EXPECT_FALSE(UnloadKeyboardLayout(ime));
    HKL list[4];
    ASSERT_EQ(GetKeyboardLayoutList(4, list), 1);
    EXPECT_EQ(list[0], us);
}

TEST_F(Layouts, InstallImeRegistersTheNextFreeIdentifier)
{
    setText(HKEY_LOCAL_MACHINE, layout("E0010804"), "Ime File", "other.ime");
    HKL installed = ImmInstallIMEA("minimal.ime", "Minimal");
    ASSERT_NE(installed, nullptr);
    EXPECT_EQ((ULONG_PTR)installed, 0xE0020804u);
    EXPECT_EQ(rawValue(HKEY_LOCAL_MACHINE, layout("E0020804"), "Ime File"), text("minimal.ime"));
    EXPECT_EQ(rawValue(HKEY_LOCAL_MACHINE, layout("E0020804"), "Layout Text"), text("Minimal"));
    EXPECT_TRUE(isLoaded(0xE0020804));

    // The same file again, named by its path: its layout is reused and renamed.
    std::string path = std::string(QX_BIN_DIR) + "/minimal.ime";
    EXPECT_EQ(ImmInstallIMEA(path.c_str(), "Renamed"), installed);
    EXPECT_EQ(rawValue(HKEY_LOCAL_MACHINE, layout("E0020804"), "Layout Text"), text("Renamed"));
    EXPECT_EQ(rawValue(HKEY_LOCAL_MACHINE, layout("E0020804"), "Ime File"), text("minimal.ime"));
    EXPECT_EQ(subkeys(HKEY_LOCAL_MACHINE, layoutsKey).size(), 2u);
}

TEST_F(Layouts, InstallImeRefusesWhatIsNoImeModule)
{
    EXPECT_EQ(ImmInstallIMEA("imeqx.dll", "Not an IME"), nullptr);
    EXPECT_EQ(ImmInstallIMEA("missing.ime", "Missing"), nullptr);
    EXPECT_EQ(ImmInstallIMEA(nullptr, "Nothing"), nullptr);
    EXPECT_TRUE(subkeys(HKEY_LOCAL_MACHINE, layoutsKey).empty());
    EXPECT_EQ(GetKeyboardLayoutList(0, nullptr), 0);
}

} // namespace
