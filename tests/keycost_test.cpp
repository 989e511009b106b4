// keycost's counts are only worth what its keys are: typed through qxhost with the built
// module and tables, the keys it plans must give the text back, in every shape mode.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string runCommand(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

std::string read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class Keycost : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("keycost-test-" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        // Ordinary sentences with words, single characters and punctuation between runs.
        std::ofstream(dir / "text.txt") << "今天天气很好，我们一起去公园散步吧。\n"
                                           "他说这个问题非常重要，大家都要认真想一想！\n"
                                           "认识你很高兴。";
        expected = "今天天气很好我们一起去公园散步吧他说这个问题非常重要大家都要认真想一想认识你很高兴";
    }
    void TearDown() override { fs::remove_all(dir); }

    // Plans the keys with the table, types them with qxhost under the settings.
    std::string typeBack(const char* table, const char* options, const char* settings) {
        const fs::path keys = dir / "keys";
        std::string summary = runCommand(std::string(QX_BIN_DIR) + "/keycost " + options + " --script " +
                                         keys.string() + " " + QX_TABLE_DIR + "/" + table + ".bin " +
                                         (dir / "text.txt").string());
        EXPECT_NE(summary.find("41 characters"), std::string::npos) << summary;
        EXPECT_EQ(summary.find("no key chooses"), std::string::npos) << summary;
        std::string command = std::string(QX_BIN_DIR) + "/qxhost --home '" + (dir / "home").string() + "'";
        if (*settings) command += std::string(" --set '") + settings + "'";
        command += " --keys '" + read(keys) + "'";
        fs::remove_all(dir / "home");
        std::string out = runCommand(command);
        return out.empty() ? out : out.substr(0, out.size() - 1);  // the runner's final newline
    }

    fs::path dir;
    std::string expected;
};

TEST_F(Keycost, PlannedKeysTypeTheTextBackInEveryShapeMode) {
    EXPECT_EQ(typeBack("MB1", "", ""), expected);
    EXPECT_EQ(typeBack("MB4", "", "音形版优先=0"), expected);
    EXPECT_EQ(typeBack("MB4", "--characters", "音形版优先=0"), expected);
    EXPECT_EQ(typeBack("WBMB", "", "五笔优先=1"), expected);
}

}  // namespace
