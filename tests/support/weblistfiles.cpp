#include "weblistfiles.h"

#include "gbk.h"

#include <windows.h>
#include <winapi_host.h>

#include "core/engine.h"
#include "webaddress/weblists.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

std::string systemFile(const std::string& name) {
    char directory[MAX_PATH] = {};
    GetSystemDirectoryA(directory, sizeof directory);
    return std::string(directory) + "/" + name;
}

void writeSystemFile(const std::string& name, const std::string& bytes) {
    std::ofstream(systemFile(name), std::ios::binary | std::ios::trunc) << bytes;
}

void removeSystemFile(const std::string& name) {
    std::error_code error;
    std::filesystem::remove_all(systemFile(name), error);
}

std::string readSystemFile(const std::string& name) {
    std::ifstream in(systemFile(name), std::ios::binary);
    if (!in) return "<missing>";
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void freshWebLists() {
    resetProcessState();
    winapiFailFileWrites(nullptr, 0);
    for (const char* name : {"zwwz.dat", "grwz.dat"}) {
        removeSystemFile(name);
        removeSystemFile(webListTemporary(name));
    }
}

std::string webListTemporary(const std::string& name) { return name + "." + std::to_string(getpid()) + ".tmp"; }

std::vector<std::string> webBlockRecords(int list, char letter) {
    std::vector<std::string> records;
    const WebBlock& block = webList(list)[letter - 'a'];
    for (int i = 0; i < webBlockCount(block); ++i) records.emplace_back(block[i]);
    return records;
}

std::string webListFile(const std::vector<std::string>& utf8Lines) {
    std::string bytes;
    for (const std::string& line : utf8Lines) bytes += gbk(line) + "\n";
    return bytes;
}
