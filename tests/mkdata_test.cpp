// mkdata as the build runs it: what it refuses, and that a failed run leaves the files it
// would have replaced as they were, with no temporary file behind.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {

class Mkdata : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("mkdata-test-" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs mkdata with the arguments; returns its exit status, stderr in errors.
    int run(const std::string& arguments) {
        std::string command = std::string(QX_BIN_DIR) + "/mkdata " + arguments + " >/dev/null 2>'" +
                              (dir / "stderr").string() + "'";
        int status = std::system(command.c_str());
        errors = read(dir / "stderr");
        fs::remove(dir / "stderr");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static std::string read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void write(const fs::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    size_t files() const { return std::distance(fs::directory_iterator(dir), fs::directory_iterator()); }

    fs::path dir;
    std::string errors;
};

TEST_F(Mkdata, AddressListIsWrittenInGbk) {
    write(dir / "list.txt", "bd 百度 www.baidu.com \nxl 新浪 www.sina.com.cn \n");
    ASSERT_EQ(run("addresses " + (dir / "list.txt").string() + " " + (dir / "zwwz.dat").string()), 0) << errors;
    EXPECT_EQ(read(dir / "zwwz.dat"), "bd \xB0\xD9\xB6\xC8 www.baidu.com \nxl \xD0\xC2\xC0\xCB www.sina.com.cn \n");
    EXPECT_EQ(files(), 2u);
}

// A record the lists would drop or misread stops the build at its line, and the list
// already in place stays as it was.
TEST_F(Mkdata, BadAddressRecordsAreRefusedAndTheOldListKept) {
    const fs::path target = dir / "zwwz.dat";
    const char* bad[] = {
        "bd 百度 www.baidu.com\n",                  // no closing space
        "bd 百度  www.baidu.com \n",                // two spaces
        "Bd 百度 www.baidu.com \n",                 // capital in the code
        "bd baidu www.baidu.com \n",                // name not Chinese
        "bd 百度 www.baidu.com/a-path-far-too-long-for-the-list \n",
        "xl 新浪 www.sina.com.cn \nbd 百度 www.baidu.com \n",  // letters out of order
        "bd 百度 www.baidu.com \n\n",               // an empty line
        "bd 百度 www.baidu.com \nbd 😀 x.cn \n",     // outside GBK
    };
    for (const char* source : bad) {
        write(dir / "list.txt", source);
        write(target, "old list\n");
        EXPECT_EQ(run("addresses " + (dir / "list.txt").string() + " " + target.string()), 1) << source;
        EXPECT_NE(errors.find("list.txt:"), std::string::npos) << errors;
        EXPECT_EQ(read(target), "old list\n");
        EXPECT_EQ(files(), 2u) << "a temporary file was left behind";
    }
    write(dir / "list.txt", "bd 百度 www.baidu.com \n");
    EXPECT_EQ(run("addresses " + (dir / "list.txt").string() + " " + (dir / "missing" / "zwwz.dat").string()), 1);
    EXPECT_FALSE(fs::exists(dir / "missing"));
}

// The tables are renamed into place only after every one was written: when one cannot be
// replaced, the others keep their old content and the temporaries are gone.
TEST_F(Mkdata, TablesAreReplacedOnlyWhenAllAreWritten) {
    const fs::path out = dir / "tables";
    fs::create_directories(out / "MB1.txt");  // cannot be replaced by a file
    write(out / "PYCZ.txt", "old\n");
    std::string data = std::string(QX_SOURCE_DIR) + "/data/";
    std::string arguments = std::string("--wubi ") + QX_WUBI_DICT + " --pinyin " + QX_PINYIN_DICT +
                            " --unihan-dictionary " + QX_UNIHAN_DICTIONARY + " --unihan-readings " +
                            QX_UNIHAN_READINGS + " --frequent " + data + "frequent.txt --symbols " + data +
                            "symbols.txt --offensive " + data + "offensive.txt --out " + out.string();
    EXPECT_EQ(run(arguments), 1);
    EXPECT_NE(errors.find("MB1.txt"), std::string::npos) << errors;
    EXPECT_EQ(read(out / "PYCZ.txt"), "old\n");
    size_t left = std::distance(fs::directory_iterator(out), fs::directory_iterator());
    EXPECT_EQ(left, 2u) << "a temporary file was left behind";

    // An offensive-word list whose lines lack their reason is refused before anything is written.
    fs::remove(out / "MB1.txt");
    write(dir / "offensive.txt", "牛逼\n");
    std::string unexplained = arguments;
    unexplained.replace(unexplained.find(data + "offensive.txt"), (data + "offensive.txt").size(),
                        (dir / "offensive.txt").string());
    EXPECT_EQ(run(unexplained), 1);
    EXPECT_NE(errors.find("offensive.txt:1"), std::string::npos) << errors;
    EXPECT_EQ(read(out / "PYCZ.txt"), "old\n");
}

}  // namespace
