// The Windows binaries need nothing but the system at run time, and the release archives
// hold what a user installs.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

const char* const releaseBinaries[] = {"qx.ime",      "Qxmb.dll",  "Dede.dll",   "gbk.dll",
                                       "pymb.dll",    "qxsetup.exe", "imeqx.dll", "imeinst.dll"};

struct Target {
    const char* preset;
    const char* objdump;
    const char* archive;
};
const Target targets[] = {{"mingw-x64", "x86_64-w64-mingw32-objdump", "win64"},
                          {"mingw-x86", "i686-w64-mingw32-objdump", "win32"}};

std::string run(const std::string& command, int* status)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        *status = -1;
        return output;
    }
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), n);
    *status = pclose(pipe);
    return output;
}

std::string upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c -= 'a' - 'A';
    return text;
}

bool isSystemDll(const std::string& name)
{
    static const std::set<std::string> system = {
        "KERNEL32.DLL", "USER32.DLL",  "GDI32.DLL",   "ADVAPI32.DLL", "IMM32.DLL",
        "COMCTL32.DLL", "SHELL32.DLL", "OLE32.DLL",   "MSVCRT.DLL"};
    std::string u = upper(name);
    return system.count(u) > 0 || u.rfind("API-MS-WIN-CRT-", 0) == 0;
}

std::string projectVersion()
{
    std::ifstream file(std::string(QX_SOURCE_DIR) + "/CMakeLists.txt");
    std::stringstream text;
    text << file.rdbuf();
    std::smatch match;
    std::string s = text.str();
    if (!std::regex_search(s, match, std::regex(R"(project\(qx VERSION ([0-9.]+))"))) return "";
    return match[1];
}

} // namespace

TEST(WindowsBinaries, ImportOnlySystemLibraries)
{
    int checked = 0;
    for (const Target& target : targets) {
        fs::path bin = fs::path(QX_SOURCE_DIR) / "build" / target.preset / "bin";
        if (!fs::exists(fs::path(QX_SOURCE_DIR) / "build" / target.preset)) continue;
        for (const char* file : releaseBinaries) {
            fs::path path = bin / file;
            SCOPED_TRACE(path.string());
            if (!fs::exists(path)) {
                ADD_FAILURE() << "not built";
                continue;
            }
            int status = 0;
            std::string dump = run(std::string(target.objdump) + " -p '" + path.string() + "'", &status);
            ASSERT_EQ(status, 0) << dump;
            std::regex dll(R"(DLL Name: (\S+))");
            for (auto it = std::sregex_iterator(dump.begin(), dump.end(), dll); it != std::sregex_iterator(); ++it)
                EXPECT_TRUE(isSystemDll((*it)[1])) << "imports " << (*it)[1];
            ++checked;
        }
    }
    if (checked == 0) GTEST_SKIP() << "no MinGW build";
}

TEST(WindowsBinaries, InstallersHaveTheirShapeOnBothTargets)
{
    bool any = false;
    for (const Target& target : targets) {
        fs::path bin = fs::path(QX_SOURCE_DIR) / "build" / target.preset / "bin";
        if (!fs::exists(fs::path(QX_SOURCE_DIR) / "build" / target.preset)) continue;
        any = true;
        SCOPED_TRACE(target.preset);
        int status = 0;
        std::string setup = run(std::string(target.objdump) + " -p '" + (bin / "qxsetup.exe").string() + "'", &status);
        ASSERT_EQ(status, 0);
        EXPECT_NE(setup.find("(Windows GUI)"), std::string::npos) << "qxsetup must not open a console";

        // Export tables list the plain names, without the stdcall decoration.
        const std::pair<const char*, const char*> exports[] = {{"imeqx.dll", "regqx"}, {"imeinst.dll", "myins"}};
        for (const auto& [file, name] : exports) {
            std::string dump = run(std::string(target.objdump) + " -p '" + (bin / file).string() + "'", &status);
            ASSERT_EQ(status, 0) << file;
            std::smatch match;
            ASSERT_TRUE(std::regex_search(dump, match, std::regex(R"(\[Ordinal/Name Pointer\] Table\s*\n\s*\[\s*0\]\s*(\S+))")))
                << file << " exports nothing";
            EXPECT_EQ(match[1], name) << file;
        }
    }
    if (!any) GTEST_SKIP() << "no MinGW build";
}

TEST(ReleaseArchives, HoldEverythingTheNoteInstalls)
{
    std::string version = projectVersion();
    ASSERT_FALSE(version.empty());
    int found = 0;
    for (const Target& target : targets) {
        std::string name = "qx-" + version + "-" + target.archive;
        fs::path zip = fs::path(QX_SOURCE_DIR) / "dist" / (name + ".zip");
        if (!fs::exists(zip)) continue;
        ++found;
        SCOPED_TRACE(zip.string());
        int status = 0;
        std::string listing = run("python3 -c 'import sys,zipfile; print(\"\\n\".join(zipfile.ZipFile(sys.argv[1]).namelist()))' '" +
                                  zip.string() + "'", &status);
        ASSERT_EQ(status, 0) << listing;
        std::set<std::string> entries;
        std::istringstream lines(listing);
        for (std::string line; std::getline(lines, line);) entries.insert(line);
        for (const char* file : releaseBinaries) EXPECT_TRUE(entries.count(name + "/" + file)) << file;
        for (const char* file : {"INSTALL.txt", "zwwz.dat", "pylm.dat", "LICENSES/data-README.txt",
                                 "LICENSES/rime-data-wubi.txt", "LICENSES/rime-data-pinyin-simp.txt",
                                 "LICENSES/unicode-data.txt", "LICENSES/libime-data-language-model.txt",
                                 "LICENSES/pylm-NOTICE.txt", "pywords.dat", "LICENSES/pywords-NOTICE.txt",
                                 "LICENSES/libime-data.txt",
                                 // The full texts the Debian copyright files only refer to.
                                 "LICENSES/LGPL-3.txt", "LICENSES/LGPL-2.1.txt", "LICENSES/GPL-3.txt",
                                 "LICENSES/Apache-2.0.txt"})
            EXPECT_TRUE(entries.count(name + "/" + file)) << file;
    }
    if (found == 0) GTEST_SKIP() << "scripts/release has not been run";
}
