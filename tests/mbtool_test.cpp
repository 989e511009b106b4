// The table compiler: building, the libraries it writes, dumps that rebuild byte for
// byte, verification and the lookup command; then the real data libraries when built.
#include "tablebuilder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <vector>

using tablebuilder::runMbtool;
using tablebuilder::scratchDir;
using tablebuilder::writeScratchFile;

namespace {

std::string scratch(const std::string& name) { return scratchDir() + "/" + name; }

// Builds TABLE from source, wraps it in a library, and returns the library's path.
std::string library(const std::string& format, const std::string& name, const std::string& source,
                    const std::string& machine = "x64") {
    std::string in = writeScratchFile(name + ".txt", source);
    std::string bin = scratch(name + ".bin"), dll = scratch(name + ".dll");
    std::string err;
    EXPECT_EQ(0, runMbtool("build --format " + format + " " + in + " " + bin, nullptr, &err)) << err;
    EXPECT_EQ(0, runMbtool("pe --machine " + machine + " " + dll + " " + name + "=" + bin + " --mark QX_40",
                           nullptr, &err)) << err;
    return dll;
}

std::string command(const std::string& line) {
    std::string out;
    FILE* pipe = popen(line.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

const char* kPacked = "# comment\n\na\t工\nab\t节日\nkhk\t中\nkhk\t口\n;\t中国人民\n/a\t的\nz\t在\n";
const char* kFixed = "ab\t丂\nab\t工\nb\t了\n/\t人\n";
const char* kPymb = "a\t啊阿\nai\t爱\nai\t哎\nan\t安\nzhong\t中种\nzhu\t主\n";
const char* kPycz = "zhong guo\t中国\nzhong guo ren\t中国人\nzhong\t钟\nai guo\t爱国\nzhu guo\t诸国\n";

}  // namespace

TEST(MbtoolBuild, ErrorsNameTheLine) {
    std::string err;
    std::string in = writeScratchFile("bad.txt", "a\t工\nabcde\t工\n");
    EXPECT_EQ(1, runMbtool("build --format packed " + in + " " + scratch("bad.bin"), nullptr, &err));
    EXPECT_NE(std::string::npos, err.find("bad.txt:2:")) << err;

    in = writeScratchFile("notab.txt", "a\t工\n\nb 了\n");
    EXPECT_EQ(1, runMbtool("build --format fixed " + in + " " + scratch("bad.bin"), nullptr, &err));
    EXPECT_NE(std::string::npos, err.find("notab.txt:3:")) << err;

    in = writeScratchFile("group.txt", "a\t啊\nba\t八\nai\t爱\n");
    EXPECT_EQ(1, runMbtool("build --format pymb " + in + " " + scratch("bad.bin"), nullptr, &err));
    EXPECT_NE(std::string::npos, err.find("group.txt:3:")) << err;

    in = writeScratchFile("pinyin.txt", "zhong  guo\t中国\n");
    EXPECT_EQ(1, runMbtool("build --format pycz " + in + " " + scratch("bad.bin"), nullptr, &err));
    EXPECT_NE(std::string::npos, err.find("pinyin.txt:1:")) << err;

    EXPECT_EQ(2, runMbtool("build --format nosuch " + in + " " + scratch("bad.bin")));
}

TEST(MbtoolBuild, UnencodableTextIsAnErrorOrSkippedWithACount) {
    // 丂 is GBK but not GB2312 (no room in a packed table); 𠀀 is in neither.
    std::string in = writeScratchFile("enc.txt", "a\t工\nb\t丂\nc\t𠀀\nd\t了\n");
    std::string err;
    EXPECT_EQ(1, runMbtool("build --format packed " + in + " " + scratch("enc.bin"), nullptr, &err));
    EXPECT_NE(std::string::npos, err.find("enc.txt:2:")) << err;
    EXPECT_EQ(0, runMbtool("build --format packed --skip-unencodable " + in + " " + scratch("enc.bin"),
                           nullptr, &err));
    EXPECT_NE(std::string::npos, err.find("skipped 2")) << err;
    std::string dll = scratch("enc.dll");
    ASSERT_EQ(0, runMbtool("pe --machine x64 " + dll + " MB4=" + scratch("enc.bin")));
    std::string out;
    runMbtool("dump " + dll + " MB4", &out);
    EXPECT_EQ("a\t工\nd\t了\n", out);
}

// Outputs are replaced whole: a failed build or write leaves the old file as it was and
// no temporary file beside it; a good one replaces the old file with the usual mode.
TEST(MbtoolBuild, OutputsAreReplacedWholeOrLeftAlone) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(scratchDir()) / "outputs";
    fs::create_directories(dir);
    const std::string out = (dir / "MB4.bin").string();
    std::ofstream(out, std::ios::binary) << "old table";
    auto leftovers = [&] {
        int others = 0;
        for (const auto& entry : fs::directory_iterator(dir))
            others += entry.path().filename() != "MB4.bin" && entry.path().filename() != "busy.dll";
        return others;
    };

    std::string err;
    std::string bad = writeScratchFile("bad-out.txt", "abcde\t工\n");
    EXPECT_EQ(1, runMbtool("build --format packed " + bad + " " + out, nullptr, &err));
    EXPECT_EQ(tablebuilder::readFile(out), std::vector<uint8_t>({'o', 'l', 'd', ' ', 't', 'a', 'b', 'l', 'e'}));

    // The target is a folder: the rename fails after the whole table was written.
    fs::create_directories(dir / "busy.dll");
    std::string good = writeScratchFile("good-out.txt", kPacked);
    EXPECT_EQ(1, runMbtool("pe --machine x64 " + (dir / "busy.dll").string() + " MB4=" + out, nullptr, &err));
    EXPECT_NE(std::string::npos, err.find("cannot write")) << err;
    EXPECT_EQ(1, runMbtool("build --format packed " + good + " " + (dir / "nowhere" / "x.bin").string()));
    EXPECT_EQ(0, leftovers());

    ASSERT_EQ(0, runMbtool("build --format packed " + good + " " + out, nullptr, &err)) << err;
    EXPECT_EQ(tablebuilder::readFile(out), tablebuilder::buildTable("packed", kPacked));
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(static_cast<mode_t>(fs::status(out).permissions()), 0666 & ~mask);
    EXPECT_EQ(0, leftovers());
}

TEST(MbtoolBuild, PackedRecordsAreGroupedByBucketInInputOrder) {
    std::vector<uint8_t> table = tablebuilder::buildTable("packed", "b\t了\na\t工\nb\t子\n;\t中\n");
    ASSERT_EQ(116u + 16u, table.size());
    // Offsets: bucket a at 0, b at 4, c..; at 12, / and the end at 16.
    EXPECT_EQ(0, table[0]);
    EXPECT_EQ(4, table[4]);
    EXPECT_EQ(12, table[8]);
    EXPECT_EQ(12, table[4 * 26]);
    EXPECT_EQ(16, table[4 * 27]);
    EXPECT_EQ(16, table[4 * 28]);
    // 工 B9A4 with bit 7 cleared, then 了 C1CB then 子 D7D3 in input order.
    std::vector<uint8_t> body(table.begin() + 116, table.end());
    std::vector<uint8_t> expected = {0, 0, 0x39, 0x24, 0, 0, 0x41, 0x4B, 0, 0, 0x57, 0x53, 0, 0, 0x56, 0x50};
    EXPECT_EQ(expected, body);
}

TEST(MbtoolBuild, PhraseLengthAndFourthLetterBits) {
    // Code "azyx": c2 z=26, c3 y=25, c4 x=24 = 0b11000; phrase of 3 characters (0011).
    std::vector<uint8_t> table = tablebuilder::buildTable("packed", "azyx\t中国人\n");
    ASSERT_EQ(116u + 8u, table.size());
    EXPECT_EQ(26 | (0b110 << 5), table[116]);
    EXPECT_EQ(25 | 0x20 | (0b00 << 6), table[117]);
    // 中 D6D0 国 B9FA: bit 7 of bytes 0-3 carries 0,0,1,1.
    EXPECT_EQ(0x56, table[118]);
    EXPECT_EQ(0x50, table[119]);
    EXPECT_EQ(0xB9, table[120]);
    EXPECT_EQ(0xFA, table[121]);
}

TEST(MbtoolLibrary, ObjdumpReadsTheLibraries) {
    std::string dll = library("packed", "WBMB", kPacked, "x64");
    std::string headers = command("x86_64-w64-mingw32-objdump -p " + dll + " 2>&1");
    EXPECT_NE(std::string::npos, headers.find("file format pei-x86-64")) << headers;
    EXPECT_NE(std::string::npos, headers.find("DLL")) << headers;
    EXPECT_NE(std::string::npos, headers.find("SectionAlignment\t00001000")) << headers;
    EXPECT_NE(std::string::npos, headers.find("FileAlignment\t\t00000200")) << headers;
    EXPECT_NE(std::string::npos, headers.find("AddressOfEntryPoint\t0000000000000000")) << headers;
    EXPECT_NE(std::string::npos, headers.find("name: [val: ")) << headers;
    for (const char* name : {": MB,", ": WBMB,", ": VER,", ": QX_40,"})
        EXPECT_NE(std::string::npos, headers.find(name)) << name << "\n" << headers;
    EXPECT_NE(std::string::npos, headers.find("ID: 0x000804")) << headers;
    // No imports.
    EXPECT_EQ(std::string::npos, headers.find("The Import Tables")) << headers;

    std::string dll32 = library("packed", "MB4", kPacked, "x86");
    std::string sections = command("i686-w64-mingw32-objdump -x " + dll32 + " 2>&1");
    EXPECT_NE(std::string::npos, sections.find("file format pei-i386")) << sections;
    EXPECT_NE(std::string::npos, sections.find(".rsrc")) << sections;
}

TEST(MbtoolLibrary, DumpRebuildsByteForByte) {
    struct Case {
        const char* format;
        const char* name;
        const char* source;
    } cases[] = {{"packed", "MB1", kPacked}, {"fixed", "YGBK", kFixed}, {"pymb", "PYMB", kPymb},
                 {"pycz", "PYCZ", kPycz}};
    for (const Case& c : cases) {
        std::string dll = library(c.format, c.name, c.source);
        std::string dump, err;
        ASSERT_EQ(0, runMbtool(std::string("dump ") + dll + " " + c.name, &dump, &err)) << err;
        EXPECT_FALSE(dump.empty());
        std::string again = writeScratchFile("again.txt", dump);
        ASSERT_EQ(0, runMbtool(std::string("build --format ") + c.format + " " + again + " " + scratch("again.bin"),
                               nullptr, &err)) << err;
        EXPECT_EQ(tablebuilder::readFile(scratch(std::string(c.name) + ".bin")),
                  tablebuilder::readFile(scratch("again.bin")))
            << c.name;
    }
    std::string dump;
    runMbtool("dump " + scratch("PYMB.dll") + " PYMB", &dump);
    EXPECT_EQ("a\t啊阿\nai\t爱哎\nan\t安\nzhong\t中种\nzhu\t主\n", dump);
}

TEST(MbtoolLibrary, VerifyNamesTheFirstFault) {
    std::string dll = library("packed", "MB4", kPacked);
    std::string out;
    EXPECT_EQ(0, runMbtool("verify " + dll, &out));
    EXPECT_NE(std::string::npos, out.find("MB4: 7 records")) << out;

    // Resource data starts in the .rsrc section at a file offset listed by dump; find the
    // table by its header (bucket a at 0, b at 4 bytes in) and damage the first record.
    std::vector<uint8_t> bytes = tablebuilder::readFile(dll);
    std::vector<uint8_t> table = tablebuilder::readFile(scratch("MB4.bin"));
    auto at = std::search(bytes.begin(), bytes.end(), table.begin(), table.end());
    ASSERT_NE(bytes.end(), at);
    size_t tableOffset = at - bytes.begin();
    bytes[tableOffset + 116] = 0x1F;  // second letter value 31
    std::string damaged = scratch("damaged.dll");
    std::ofstream(damaged, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    EXPECT_EQ(1, runMbtool("verify " + damaged, &out));
    EXPECT_NE(std::string::npos, out.find("table MB4: offset 0x74")) << out;

    // A library cut short inside its resource directory.
    std::ofstream(damaged, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(bytes.data()), 0x210);
    EXPECT_EQ(1, runMbtool("verify " + damaged, &out));
    EXPECT_NE(std::string::npos, out.find("offset 0x")) << out;
}

TEST(MbtoolLibrary, VerifyRefusesASyllableGivenTwice) {
    // Two headers of "a" one after the other: the builder never writes this, and a dump of
    // it could not be built again.
    const std::string bytes = "11a       \xB0\xA1\xB0\xA2" "11a       \xB0\xA3" "33";
    const std::string bin = writeScratchFile("twice.bin", bytes), dll = scratch("twice.dll");
    std::string out, err;
    ASSERT_EQ(0, runMbtool("pe --machine x64 " + dll + " PYMB=" + bin + " --mark QX_40", nullptr, &err)) << err;
    EXPECT_EQ(1, runMbtool("verify " + dll, &out));
    EXPECT_NE(std::string::npos, out.find("table PYMB: offset 0x10")) << out;
    EXPECT_NE(std::string::npos, out.find("syllable a given again")) << out;
}

TEST(MbtoolLookup, AnswersForEveryFormat) {
    std::string out;
    ASSERT_EQ(0, runMbtool("lookup " + library("packed", "MB4", kPacked) + " MB4 khk", &out));
    EXPECT_EQ("中 ,口\n\n", out);
    ASSERT_EQ(0, runMbtool("lookup " + scratch("MB4.dll") + " MB4 a", &out));
    EXPECT_EQ("工\n b节日\n", out);
    ASSERT_EQ(0, runMbtool("lookup " + library("fixed", "XGBK", kFixed) + " XGBK a", &out));
    EXPECT_EQ("\n b丂 b工\n", out);
    ASSERT_EQ(0, runMbtool("lookup " + library("pymb", "PYMB", kPymb) + " PYMB a", &out));
    EXPECT_EQ("啊 阿 \n爱 哎 安 \n", out);
    ASSERT_EQ(0, runMbtool("lookup " + scratch("PYMB.dll") + " PYMB zh", &out));
    EXPECT_EQ("\n中 种 主 \n", out);
    ASSERT_EQ(0, runMbtool("lookup " + library("pycz", "PYCZ", kPycz) + " PYCZ \"zhong'guo\"", &out));
    EXPECT_EQ("中国 \n中国人 \n", out);
    ASSERT_EQ(0, runMbtool("lookup " + scratch("PYCZ.dll") + " PYCZ \"zh g\"", &out));
    EXPECT_EQ("\n中国 中国人 诸国 \n", out);
    EXPECT_EQ(1, runMbtool("lookup " + scratch("PYCZ.dll") + " NOSUCH a", &out));
}

TEST(MbtoolLibrary, LoadsThroughTheLibraryLoaderForBothMachines) {
    for (const char* machine : {"x64", "x86"}) {
        std::string dll = library("packed", "XCZMB", kPacked, machine);
        std::vector<uint8_t> table = tablebuilder::readFile(scratch("XCZMB.bin"));
        HMODULE module = LoadLibraryA(dll.c_str());
        ASSERT_NE(nullptr, module) << machine;
        HRSRC resource = FindResourceA(module, "XCZMB", "mb");
        ASSERT_NE(nullptr, resource) << machine;
        const void* data = LockResource(LoadResource(module, resource));
        ASSERT_EQ(table.size(), SizeofResource(module, resource));
        EXPECT_EQ(0, std::memcmp(table.data(), data, table.size())) << machine;
        EXPECT_NE(nullptr, FindResourceA(module, "QX_40", "Ver")) << machine;
        EXPECT_EQ(nullptr, FindResourceA(module, "MB4", "mb")) << machine;
        FreeLibrary(module);
    }
}

// The data libraries as the build makes them, when they have been built.
TEST(RealLibraries, FiveStrokeTableListsZhongFirstForKhk) {
    std::string dll = (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "Dede.dll").string();
    if (!std::filesystem::exists(dll)) GTEST_SKIP() << "data libraries not built";
    std::string out;
    ASSERT_EQ(0, runMbtool("verify " + dll, &out)) << out;
    ASSERT_EQ(0, runMbtool("lookup " + dll + " WBMB khk", &out));
    EXPECT_EQ(0u, out.find("中")) << out;
}

TEST(RealLibraries, EveryTableVerifies) {
    auto bin = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    int found = 0;
    for (const char* name : {"Qxmb.dll", "Dede.dll", "gbk.dll", "pymb.dll"}) {
        if (!std::filesystem::exists(bin / name)) continue;
        ++found;
        std::string out;
        EXPECT_EQ(0, runMbtool("verify " + (bin / name).string(), &out)) << out;
    }
    if (found == 0) GTEST_SKIP() << "data libraries not built";
}

TEST(RealLibraries, EveryTableDumpsAndRebuildsByteForByte) {
    auto bin = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    struct Table {
        const char* library;
        const char* name;
        const char* format;
    } tables[] = {{"Qxmb.dll", "MB1", "packed"}, {"Qxmb.dll", "XCZMB", "packed"}, {"Dede.dll", "WBMB", "packed"},
                  {"gbk.dll", "XGBK", "fixed"},  {"pymb.dll", "PYMB", "pymb"},    {"pymb.dll", "PYCZ", "pycz"}};
    int found = 0;
    for (const Table& t : tables) {
        std::string dll = (bin / t.library).string();
        if (!std::filesystem::exists(dll)) continue;
        ++found;
        std::string dump, err;
        ASSERT_EQ(0, runMbtool(std::string("dump ") + dll + " " + t.name, &dump, &err)) << err;
        writeScratchFile("real.txt", dump);
        ASSERT_EQ(0, runMbtool(std::string("build --format ") + t.format + " " + scratch("real.txt") + " " +
                                   scratch("real.bin"), nullptr, &err)) << err;
        // The library holds each table verbatim: the rebuilt table must occur in it whole.
        std::vector<uint8_t> library = tablebuilder::readFile(dll), table = tablebuilder::readFile(scratch("real.bin"));
        ASSERT_GT(table.size(), 116u);
        auto at = std::search(library.begin(), library.end(),
                              std::boyer_moore_searcher(table.begin(), table.end()));
        EXPECT_NE(library.end(), at) << t.name;
    }
    if (found == 0) GTEST_SKIP() << "data libraries not built";
}
