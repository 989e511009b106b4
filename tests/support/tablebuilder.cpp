#include "tablebuilder.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace tablebuilder {

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

std::string scratchDir() {
    static std::string dir = [] {
        const char* home = std::getenv("QX_HOME");
        std::filesystem::path base = home ? home : std::filesystem::temp_directory_path().string();
        std::filesystem::path path = base / ("tables-" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
        return path.string();
    }();
    return dir;
}

std::string writeScratchFile(const std::string& name, const std::string& text) {
    std::string path = scratchDir() + "/" + name;
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    return path;
}

// Test programs are built into the same folder as mbtool.
std::string mbtoolPath() {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "mbtool").string();
}

int runMbtool(const std::string& arguments, std::string* out, std::string* err) {
    std::string outPath = scratchDir() + "/mbtool.out", errPath = scratchDir() + "/mbtool.err";
    std::string command = mbtoolPath() + " " + arguments + " >" + outPath + " 2>" + errPath;
    int status = std::system(command.c_str());
    if (out) *out = slurp(outPath);
    if (err) *err = slurp(errPath);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<uint8_t> buildTable(const std::string& format, const std::string& source) {
    std::string in = writeScratchFile("table-source.txt", source);
    std::string out = scratchDir() + "/table.bin";
    std::string err;
    int rc = runMbtool("build --format " + format + " " + in + " " + out, nullptr, &err);
    if (rc != 0) {
        ADD_FAILURE() << "mbtool build failed: " << err;
        return {};
    }
    return readFile(out);
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::string bytes = slurp(path);
    return {bytes.begin(), bytes.end()};
}


}  // namespace tablebuilder
