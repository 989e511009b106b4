// Registry: Windows' result codes and size rules, GBK names, the text file under
// QX_HOME, and sharing with a second program (qxreg).
#include <windows.h>
#include <winapi_host.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// A fresh directory inside the program's own QX_HOME, so runs leave nothing elsewhere.
std::string freshDirectory(const char* prefix) {
    static const std::string base = winapiHome();
    std::string pattern = base + "/" + prefix + "XXXXXX";
    return mkdtemp(pattern.data());
}

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        home = freshDirectory("registry");
        winapiSetHome(home.c_str());
    }
    void TearDown() override {
        for (HKEY key : opened) RegCloseKey(key);
    }
    HKEY create(const char* path, HKEY root = HKEY_LOCAL_MACHINE) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        opened.push_back(key);
        return key;
    }
    void setDword(HKEY key, const char* name, DWORD value) {
        ASSERT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4),
                  ERROR_SUCCESS);
    }
    std::string fileText() {
        std::ifstream in(home + "/registry.txt");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string run(const std::string& arguments) {
        std::string command = "QX_HOME='" + home + "' " QX_BIN_DIR "/qxreg " + arguments;
        FILE* pipe = popen(command.c_str(), "r");
        std::string out;
        char buffer[256];
        while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
        lastStatus = pclose(pipe);
        return out;
    }
    std::string home;
    std::vector<HKEY> opened;
    int lastStatus = 0;
};

TEST_F(Registry, CreateOpenAndQueryFollowWindowsSizeRules) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\QX", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    opened.push_back(key);
    HKEY again = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\qx\\", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &again, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    opened.push_back(again);

    setDword(key, "Answer", 42);
    DWORD type = 0, value = 0, size = 0;
    EXPECT_EQ(RegQueryValueExA(again, "answer", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    size = 3;
    EXPECT_EQ(RegQueryValueExA(again, "ANSWER", nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                               &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(RegQueryValueExA(again, "Answer", nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                               &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 42u);
    EXPECT_EQ(RegQueryValueExA(again, "Answer", nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                               nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(again, "Missing", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);

    HKEY missing = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Nothing", 0, KEY_READ, &missing),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "\\Software", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &missing, nullptr),
              ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "a\\\\b", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &missing, nullptr),
              ERROR_BAD_PATHNAME);
}

TEST_F(Registry, StringsKeepTheLengthTheCallerGave) {
    HKEY key = create("Software\\QX");
    // Stored without its zero: the size stays 3, a zero is added only when there is room.
    ASSERT_EQ(RegSetValueExA(key, "bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "whole", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 4),
              ERROR_SUCCESS);
    char buffer[8];
    memset(buffer, 'x', sizeof buffer);
    DWORD size = sizeof buffer;
    ASSERT_EQ(RegQueryValueExA(key, "bare", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                               &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
    EXPECT_STREQ(buffer, "abc");
    memset(buffer, 'x', sizeof buffer);
    size = 3;
    ASSERT_EQ(RegQueryValueExA(key, "bare", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                               &size),
              ERROR_SUCCESS);
    EXPECT_EQ(buffer[3], 'x');   // no room: nothing written past the buffer
    size = 3;
    EXPECT_EQ(RegQueryValueExA(key, "whole", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                               &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(RegSetValueExA(key, "null", 0, REG_BINARY, nullptr, 5), ERROR_NOACCESS);
}

TEST_F(Registry, GbkNamesFoldOnlyAsciiLetters) {
    // "\x81\x41" and "\x81\x61" are two characters whose second bytes look like 'A'
    // and 'a'; they must stay two keys. Plain ASCII names fold.
    HKEY upper = create("Software\\\x81\x41");
    HKEY lower = create("Software\\\x81\x61");
    setDword(upper, "v", 1);
    setDword(lower, "v", 2);
    HKEY check;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\\x81\x41", 0, KEY_READ, &check),
              ERROR_SUCCESS);
    opened.push_back(check);
    DWORD value = 0, size = 4;
    RegQueryValueExA(check, "V", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    EXPECT_EQ(value, 1u);
    DWORD subKeys = 0;
    HKEY software = create("software");
    RegQueryInfoKeyA(software, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(subKeys, 2u);
}

TEST_F(Registry, EnumerationOrderAndBuffers) {
    HKEY root = create("Software\\Enum");
    for (const char* name : {"beta", "Alpha", "gamma"}) opened.push_back(create(name, root));
    setDword(root, "zeta", 1);
    setDword(root, "eta", 2);
    char name[16];
    std::vector<std::string> keys;
    for (DWORD i = 0;; ++i) {
        DWORD count = sizeof name;
        LONG r = RegEnumKeyExA(root, i, name, &count, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(r, ERROR_SUCCESS);
        EXPECT_EQ(count, strlen(name));
        keys.push_back(name);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"Alpha", "beta", "gamma"}));
    DWORD count = 5;   // "Alpha" needs 6 with its zero
    EXPECT_EQ(RegEnumKeyExA(root, 0, name, &count, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);

    DWORD type, value, size = 4;
    count = sizeof name;
    ASSERT_EQ(RegEnumValueA(root, 0, name, &count, nullptr, &type,
                            reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "zeta");   // values come in the order they were made
    EXPECT_EQ(value, 1u);

    DWORD subKeys, longestKey, values, longestName, longestData;
    ASSERT_EQ(RegQueryInfoKeyA(root, nullptr, nullptr, nullptr, &subKeys, &longestKey, nullptr,
                               &values, &longestName, &longestData, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 3u);
    EXPECT_EQ(longestKey, 5u);
    EXPECT_EQ(values, 2u);
    EXPECT_EQ(longestName, 4u);
    EXPECT_EQ(longestData, 4u);
}

TEST_F(Registry, DeletingKeysAndValues) {
    HKEY parent = create("Software\\Gone");
    HKEY child = create("Child", parent);
    setDword(parent, "v", 1);
    EXPECT_EQ(RegDeleteValueA(parent, "V"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(parent, "v"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Gone"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(parent, "child"), ERROR_SUCCESS);
    DWORD size;
    EXPECT_EQ(RegQueryValueExA(child, "x", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(RegSetValueExA(child, "x", 0, REG_DWORD, reinterpret_cast<const BYTE*>("abcd"), 4),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Gone"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);
    HKEY bogus = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x7777));
    EXPECT_EQ(RegCloseKey(bogus), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValueExA(bogus, "x", nullptr, nullptr, nullptr, &size),
              ERROR_INVALID_HANDLE);
}

TEST_F(Registry, EveryByteSurvivesTheFileAndTheFileIsReadable) {
    HKEY key = create("Software\\QX");
    std::string awkward("q\"uo\\te\x01\x7f\x80\xff\xd6\xd0", 13);
    std::string binary("\0\x01\xfe\0", 4);
    ASSERT_EQ(RegSetValueExA(key, "\xC6\xB4\xD2\xF4", 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>("\x01\0\0\0"), 4),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, awkward.c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(awkward.c_str()),
                             static_cast<DWORD>(awkward.size() + 1)),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "", 0, REG_BINARY, reinterpret_cast<const BYTE*>(binary.data()),
                             4),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "dw3", 0, REG_DWORD, reinterpret_cast<const BYTE*>("abc"), 3),
              ERROR_SUCCESS);

    std::string text = fileText();
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\QX]"), std::string::npos);
    EXPECT_NE(text.find("\"拼音\"=dword:00000001"), std::string::npos) << text;
    EXPECT_NE(text.find("中"), std::string::npos);   // the GBK "\xd6\xd0" as UTF-8

    winapiSetHome(home.c_str());   // forget everything and read the file again
    char buffer[32];
    DWORD size = sizeof buffer, type;
    ASSERT_EQ(RegQueryValueExA(key, awkward.c_str(), nullptr, &type,
                               reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::string(buffer, size), awkward + '\0');
    size = sizeof buffer;
    ASSERT_EQ(RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                               &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(std::string(buffer, size), binary);
    size = sizeof buffer;
    ASSERT_EQ(RegQueryValueExA(key, "dw3", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));

    // Changes go through a temporary file that is renamed: none is left behind.
    DIR* dir = opendir(home.c_str());
    while (dirent* entry = readdir(dir))
        EXPECT_EQ(std::string(entry->d_name).find(".tmp"), std::string::npos) << entry->d_name;
    closedir(dir);
}

TEST_F(Registry, DamagedFileLoadsWhatItCan) {
    std::ofstream(home + "/registry.txt", std::ios::binary)
        << "garbage\n[HKEY_NOWHERE\\x]\n\"lost\"=dword:1\n[HKEY_LOCAL_MACHINE\\Software\\QX\n"
           "[HKEY_LOCAL_MACHINE\\Software\\QX]\n\"bad\"=dword:xyz\n\"half\"=hex(3):0\n"
           "\"esc\"=sz:\"\\q\"\n\"ok\"=dword:0000002a\n\"\xff\xfe\"=sz:\"\xc3\"\n"
           "\"unterminated=sz:\"x\n@=hex(3):01,\n[\n";
    winapiSetHome(home.c_str());
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\QX", 0, KEY_READ, &key), ERROR_SUCCESS);
    opened.push_back(key);
    DWORD values = 0, value = 0, size = 4;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                     nullptr, nullptr, nullptr);
    EXPECT_EQ(values, 1u);
    EXPECT_EQ(RegQueryValueExA(key, "ok", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 42u);
}

TEST_F(Registry, SharedWithQxreg) {
    // The other program writes; this one sees it on its next call.
    HKEY key = create("Software\\QX");
    run("add 'HKLM\\Software\\QX' /v 拼音优先 /t REG_DWORD /d 1 /f");
    ASSERT_EQ(lastStatus, 0);
    DWORD value = 0, size = 4;
    ASSERT_EQ(RegQueryValueExA(key, "\xC6\xB4\xD2\xF4\xD3\xC5\xCF\xC8", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 1u);

    // This one writes; the other program shows it, in UTF-8.
    ASSERT_EQ(RegSetValueExA(key, "Font", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>("\xCB\xCE\xCC\xE5"), 5),
              ERROR_SUCCESS);
    std::string shown = run("query 'HKLM\\software\\qx'");
    EXPECT_EQ(lastStatus, 0);
    EXPECT_NE(shown.find("Font    REG_SZ    宋体"), std::string::npos) << shown;
    EXPECT_NE(shown.find("拼音优先    REG_DWORD    0x1"), std::string::npos) << shown;

    run("delete 'HKLM\\Software\\QX' /v Font /f");
    EXPECT_EQ(RegQueryValueExA(key, "Font", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    run("delete 'HKLM\\Software' /f");
    EXPECT_EQ(RegQueryValueExA(key, "Font", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    run("query 'HKLM\\Software\\QX'");
    EXPECT_NE(lastStatus, 0);
}

TEST_F(Registry, ProgramsWritingAtOnceLoseNoChange) {
    // Two writers at once: each change is made under the file lock against the newest
    // file, so neither overwrites the other's values.
    run("add 'HKCU\\Software\\Race' /f");
    std::string script = home + "/race.sh";
    std::ofstream(script) << "writer() { for i in 0 1 2 3 4 5 6 7; do QX_HOME='" << home
                          << "' " QX_BIN_DIR "/qxreg add 'HKCU\\Software\\Race' /v $1$i "
                             "/t REG_DWORD /d $i >/dev/null || exit 1; done; }\n"
                             "writer a & writer b & wait\n";
    ASSERT_EQ(system(("bash " + script).c_str()), 0);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Race", 0, KEY_READ, &key), ERROR_SUCCESS);
    opened.push_back(key);
    DWORD values = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                     nullptr, nullptr, nullptr);
    EXPECT_EQ(values, 16u);
    HKEY machine;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Race", 0, KEY_READ, &machine),
              ERROR_FILE_NOT_FOUND);   // the roots are separate trees
}

TEST_F(Registry, AChangeThatChangesNothingWritesNothing) {
    HKEY key = create("Software\\Same");
    setDword(key, "Value", 7);
    struct stat before {};
    ASSERT_EQ(stat((home + "/registry.txt").c_str(), &before), 0);
    // Each save replaces the file with a new one; none here.
    create("Software\\Same");
    setDword(key, "Value", 7);
    struct stat after {};
    ASSERT_EQ(stat((home + "/registry.txt").c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
    // A real change is saved.
    setDword(key, "Value", 8);
    ASSERT_EQ(stat((home + "/registry.txt").c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino);
    EXPECT_NE(fileText().find("Value"), std::string::npos);
}

}  // namespace
