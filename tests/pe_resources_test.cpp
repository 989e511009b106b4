// Libraries and resources: PE32 and PE32+ files made by the MinGW-w64 tools from one
// resource script, the same script as a .res blob, a host library, and damaged copies.
#include <windows.h>
#include <winapi_host.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <climits>
#include <dlfcn.h>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// A fresh directory inside the program's own QX_HOME, so runs leave nothing elsewhere.
std::string freshDirectory(const char* prefix) {
    static const std::string base = winapiHome();
    std::string pattern = base + "/" + prefix + "XXXXXX";
    return mkdtemp(pattern.data());
}

std::vector<BYTE> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
}

void writeAll(const std::string& path, const std::vector<BYTE>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string fixture(const char* name) { return std::string(QX_PE_DIR) + "/" + name; }

std::string tempDir() { return freshDirectory("pe"); }

std::string resourceText(HMODULE module, LPCSTR name, LPCSTR type) {
    HRSRC found = FindResourceA(module, name, type);
    if (!found) return "<missing " + std::to_string(GetLastError()) + ">";
    HGLOBAL loaded = LoadResource(module, found);
    auto* data = static_cast<const char*>(LockResource(loaded));
    return data ? std::string(data, SizeofResource(module, found)) : "<no data>";
}

// The fixture's resources, as every kind of module must show them.
void expectFixtureResources(HMODULE module) {
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(resourceText(module, "QX_40", "mb"), std::string("hello mb table\0", 15));
    EXPECT_EQ(resourceText(module, "qx_40", "MB"), std::string("hello mb table\0", 15));
    EXPECT_EQ(resourceText(module, MAKEINTRESOURCEA(101), RT_RCDATA), "numbered-101");
    EXPECT_EQ(resourceText(module, "#101", RT_RCDATA), "numbered-101");
    EXPECT_EQ(resourceText(module, "MIXED_name", RT_RCDATA), "named-mixed");
    EXPECT_EQ(resourceText(module, MAKEINTRESOURCEA(7), "vEr"), "ver-7");
    // Of two languages the Chinese one is preferred; asking for English gets English.
    EXPECT_EQ(resourceText(module, MAKEINTRESOURCEA(200), RT_RCDATA), "chinese");
    HRSRC english = FindResourceExA(module, RT_RCDATA, MAKEINTRESOURCEA(200),
                                    MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT));
    ASSERT_NE(english, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(LockResource(LoadResource(module, english))),
                          SizeofResource(module, english)),
              "english");

    EXPECT_EQ(FindResourceA(module, "QX_40", "nosuchtype"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    EXPECT_EQ(FindResourceA(module, "QX_4", "mb"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(FindResourceA(module, MAKEINTRESOURCEA(102), RT_RCDATA), nullptr);
}

class FixtureModule : public ::testing::TestWithParam<const char*> {};

TEST_P(FixtureModule, FindsNamedAndNumberedResourcesAsWindowsDoes) {
    std::string which = GetParam();
    if (which == "res") {
        static std::vector<BYTE> blob = readAll(fixture("fixture.res"));
        ASSERT_FALSE(blob.empty());
        HMODULE module = winapiAttachResources(nullptr, blob.data(), blob.size());
        expectFixtureResources(module);
        EXPECT_TRUE(FreeLibrary(module));
        return;
    }
    HMODULE module = LoadLibraryA(fixture(GetParam()).c_str());
    expectFixtureResources(module);
    EXPECT_TRUE(FreeLibrary(module));
}

INSTANTIATE_TEST_SUITE_P(AllKinds, FixtureModule,
                         ::testing::Values("fixture64.dll", "fixture32.dll", "res",
                                           "pefixturehost.dll"));

TEST(Library, LoadsOnceCountsReferencesAndRefusesFreedHandles) {
    HMODULE first = LoadLibraryA(fixture("fixture64.dll").c_str());
    HMODULE second = LoadLibraryA(fixture("fixture64.dll").c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(GetModuleHandleA("FIXTURE64.DLL"), first);
    EXPECT_EQ(GetModuleHandleA("fixture64"), first);
    HRSRC resource = FindResourceA(first, "QX_40", "mb");
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_NE(FindResourceA(second, "QX_40", "mb"), nullptr);   // one reference left
    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_EQ(FindResourceA(first, "QX_40", "mb"), nullptr);
    EXPECT_EQ(LoadResource(first, resource), nullptr);
    EXPECT_FALSE(FreeLibrary(first));
    EXPECT_EQ(GetModuleHandleA("fixture64.dll"), nullptr);
}

TEST(Library, SearchesSystemThenCurrentDirectoryIgnoringCase) {
    std::string home = tempDir();
    winapiSetHome(home.c_str());
    char system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryA(system, sizeof system), 0u);
    writeAll(std::string(system) + "/SysFixture.dll", readAll(fixture("fixture32.dll")));
    HMODULE module = LoadLibraryA("SYSFIXTURE");   // no extension: ".dll" is implied
    expectFixtureResources(module);
    FreeLibrary(module);

    std::string work = tempDir();
    writeAll(work + "/cwdfixture.dll", readAll(fixture("fixture64.dll")));
    char saved[PATH_MAX];
    ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(chdir(work.c_str()), 0);
    module = LoadLibraryA("CwdFixture.dll");
    EXPECT_EQ(chdir(saved), 0);
    expectFixtureResources(module);
    FreeLibrary(module);

    SetLastError(0);
    EXPECT_EQ(LoadLibraryA("nowhere.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    writeAll(std::string(system) + "/text.dll", {'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ(LoadLibraryA("text.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
}

TEST(Library, HostLibraryRunsItsEntryPointAndExportsFunctions) {
    winapiClearRecords();
    HMODULE module = LoadLibraryA(fixture("pefixturehost.dll").c_str());
    ASSERT_NE(module, nullptr);
    FARPROC proc = GetProcAddress(module, "fixtureAnswer");
    int (*answer)();
    memcpy(&answer, &proc, sizeof answer);   // as a loader's caller converts an export
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(GetProcAddress(module, "noSuchExport"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(module));
    auto events = winapiEvents();
    ASSERT_EQ(events.size(), 2u);
    // The entry point saw its own handle: it could name its file.
    EXPECT_EQ(events[0].text.rfind("attach /", 0), 0u) << events[0].text;
    EXPECT_NE(events[0].text.find("pefixturehost.dll"), std::string::npos);
    EXPECT_EQ(events[1].text.rfind("detach /", 0), 0u);
}

// The library describes its entry point and resources while it is mapped; loaded again,
// whether or not the dynamic linker kept it mapped meanwhile, it is the same library.
// Loaded as a data file, its resources are there but its entry point never runs.
TEST(Library, HostLibraryIsTheSameWhenLoadedAgainAndRunsNoEntryAsDataFile) {
    const std::string path = fixture("pefixturehost.dll");
    for (bool heldMapped : {false, true}) {
        void* held = heldMapped ? dlopen(path.c_str(), RTLD_NOW) : nullptr;
        winapiClearRecords();
        for (int round = 0; round < 2; ++round) {
            HMODULE module = LoadLibraryA(path.c_str());
            ASSERT_NE(module, nullptr) << round;
            expectFixtureResources(module);
            EXPECT_TRUE(FreeLibrary(module));
        }
        auto events = winapiEvents();
        ASSERT_EQ(events.size(), 4u) << heldMapped;
        EXPECT_EQ(events[2].text.rfind("attach /", 0), 0u) << events[2].text;
        if (held) dlclose(held);
    }

    winapiClearRecords();
    HMODULE data = LoadLibraryExA(fixture("pefixturehost.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(data, nullptr);
    expectFixtureResources(data);
    EXPECT_TRUE(FreeLibrary(data));
    EXPECT_TRUE(winapiEvents().empty());
}

TEST(Library, ModuleFileNameIsCutAndTerminatedInASmallBuffer) {
    HMODULE module = LoadLibraryA(fixture("fixture64.dll").c_str());
    char path[PATH_MAX];
    DWORD n = GetModuleFileNameA(module, path, sizeof path);
    ASSERT_GT(n, 10u);
    EXPECT_EQ(std::string(path).substr(n - 13), "fixture64.dll");
    char small[8];
    EXPECT_EQ(GetModuleFileNameA(module, small, sizeof small), 8u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(small), std::string(path, 7));
    FreeLibrary(module);
    EXPECT_GT(GetModuleFileNameA(nullptr, path, sizeof path), 0u);   // the program itself
}

// ---------------------------------------------------------------------------------------
// Damaged files. The test finds the resource directory with its own reading of the
// headers and breaks it in the ways a damaged or hostile file would.
// ---------------------------------------------------------------------------------------
uint32_t get32(const std::vector<BYTE>& b, size_t at) {
    uint32_t v;
    memcpy(&v, &b[at], 4);
    return v;
}
void put32(std::vector<BYTE>& b, size_t at, uint32_t v) { memcpy(&b[at], &v, 4); }
void put16(std::vector<BYTE>& b, size_t at, uint16_t v) { memcpy(&b[at], &v, 2); }

// File offset of the resource directory's root.
size_t resourceRoot(const std::vector<BYTE>& image) {
    size_t pe = get32(image, 0x3C);
    size_t optional = pe + 24;
    uint16_t optionalSize = image[pe + 20] | image[pe + 21] << 8;
    uint16_t sections = image[pe + 6] | image[pe + 7] << 8;
    bool plus = image[optional] == 0x0B && image[optional + 1] == 0x02;
    uint32_t rva = get32(image, optional + (plus ? 112 : 96) + 16);
    for (size_t i = 0; i < sections; ++i) {
        size_t s = optional + optionalSize + i * 40;
        uint32_t va = get32(image, s + 12), raw = get32(image, s + 16), at = get32(image, s + 20);
        if (rva >= va && rva < va + raw) return at + (rva - va);
    }
    return 0;
}

// Every resource a refusing-or-accepting walk hands out lies inside the data.
void expectSafe(const std::vector<BYTE>& bytes, bool pe) {
    std::vector<BYTE> exact(bytes);   // exact size: ASan reports any read past it
    std::vector<WinapiResource> list;
    bool accepted = pe ? winapiListPeResources(exact.data(), exact.size(), &list)
                       : winapiListResResources(exact.data(), exact.size(), &list);
    if (!accepted) {
        EXPECT_TRUE(list.empty());
    }
    for (const auto& r : list) {
        ASSERT_GE(r.data, exact.data());
        ASSERT_LE(r.data + r.size, exact.data() + exact.size());
    }
}

TEST(DamagedFiles, TruncatedCopiesAreRefusedOrReadInBounds) {
    for (const char* name : {"fixture64.dll", "fixture32.dll"}) {
        std::vector<BYTE> image = readAll(fixture(name));
        ASSERT_GT(image.size(), 1024u);
        for (size_t length = 0; length < image.size(); length += 3)
            expectSafe(std::vector<BYTE>(image.begin(), image.begin() + length), true);
        // Cut inside the resource data: the walk must notice.
        std::vector<WinapiResource> list;
        size_t root = resourceRoot(image);
        EXPECT_FALSE(winapiListPeResources(image.data(), root + 40, &list)) << name;
    }
    std::vector<BYTE> res = readAll(fixture("fixture.res"));
    for (size_t length = 0; length < res.size(); ++length)
        expectSafe(std::vector<BYTE>(res.begin(), res.begin() + length), false);
    std::vector<WinapiResource> list;
    EXPECT_FALSE(winapiListResResources(res.data(), res.size() - 9, &list));
    EXPECT_TRUE(winapiListResResources(res.data(), res.size(), &list));
    EXPECT_EQ(list.size(), 6u);
}

TEST(DamagedFiles, BrokenDirectoriesAreRefusedByTheLoader) {
    std::vector<BYTE> image = readAll(fixture("fixture64.dll"));
    size_t root = resourceRoot(image);
    ASSERT_GT(root, 0u);
    size_t firstEntry = root + 16;
    uint32_t typeDirectory = get32(image, firstEntry + 4) & 0x7FFFFFFF;
    size_t nameEntry = root + typeDirectory + 16;
    uint32_t nameDirectory = get32(image, nameEntry + 4) & 0x7FFFFFFF;
    size_t dataEntry = root + get32(image, root + nameDirectory + 16 + 4);

    // Each damage, and the file offset of the structure a refusal names.
    struct Damage {
        const char* what;
        std::function<void(std::vector<BYTE>&)> apply;
        size_t faultAt;
    };
    std::vector<Damage> damages = {
        {"header offset past the end", [](auto& b) { put32(b, 0x3C, 0x7FFFFFF0); }, 0x3C},
        {"bad signature", [](auto& b) { b[get32(b, 0x3C)] = 'X'; }, 0x3C},
        {"subdirectory out of range",
         [&](auto& b) { put32(b, firstEntry + 4, 0x80000000u | 0x7FFFFF00u); }, firstEntry},
        {"directory loops to the root", [&](auto& b) { put32(b, nameEntry + 4, 0x80000000u); }, nameEntry},
        {"two types share a name directory",
         [&](auto& b) {
             put16(b, root + 14, static_cast<uint16_t>(get32(b, root + 12) >> 16) + 1);
             put32(b, firstEntry + 8, 2);
             put32(b, firstEntry + 12, get32(b, firstEntry + 4));
         },
         firstEntry + 8},
        {"entry count past the section", [&](auto& b) { put16(b, root + 14, 0xFFFF); }, root},
        {"data larger than the file", [&](auto& b) { put32(b, dataEntry + 4, 0x7FFFFFFF); }, dataEntry},
        {"data address nowhere", [&](auto& b) { put32(b, dataEntry, 0xFFFFFF00u); }, dataEntry},
        {"name string out of range",
         [&](auto& b) { put32(b, firstEntry, 0x80000000u | 0x7FFFFFF0u); }, firstEntry},
    };
    std::string dir = tempDir();
    for (const auto& damage : damages) {
        std::vector<BYTE> broken = image;
        damage.apply(broken);
        std::vector<WinapiResource> list;
        WinapiResourceFault fault;
        EXPECT_FALSE(winapiListPeResources(broken.data(), broken.size(), &list, &fault)) << damage.what;
        EXPECT_EQ(fault.offset, damage.faultAt) << damage.what << ": " << fault.what;
        EXPECT_FALSE(fault.what.empty()) << damage.what;
        writeAll(dir + "/broken.dll", broken);
        SetLastError(0);
        EXPECT_EQ(LoadLibraryA((dir + "/broken.dll").c_str()), nullptr) << damage.what;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT)) << damage.what;
    }
}

TEST(DamagedFiles, EveryByteFlipStaysInBounds) {
    std::vector<BYTE> image = readAll(fixture("fixture32.dll"));
    size_t root = resourceRoot(image);
    for (size_t at = root; at < image.size(); ++at) {
        std::vector<BYTE> broken = image;
        broken[at] ^= 0xA5;
        expectSafe(broken, true);
    }
    std::vector<BYTE> res = readAll(fixture("fixture.res"));
    for (size_t at = 0; at < res.size(); ++at) {
        std::vector<BYTE> broken = res;
        broken[at] ^= 0xFF;
        expectSafe(broken, false);
    }
}

}  // namespace
