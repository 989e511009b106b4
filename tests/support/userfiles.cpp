#include "userfiles.h"

#include <windows.h>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace {

constexpr unsigned kOverrides = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);

bool setEffective(bool keepOverrides) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (syscall(SYS_capget, &header, data) != 0) return false;
    if (keepOverrides)
        data[0].effective |= data[0].permitted & kOverrides;
    else
        data[0].effective &= ~kOverrides;
    return syscall(SYS_capset, &header, data) == 0;
}

}  // namespace

std::string systemFilePath(const char* name) {
    char directory[MAX_PATH] = {};
    GetSystemDirectoryA(directory, sizeof directory);
    return std::string(directory) + "/" + name;
}

void writeFileText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

std::string fileText(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

UnreadableFile::UnreadableFile(const std::string& path) : path_(path) {
    chmod(path_.c_str(), S_IWUSR);
    if (geteuid() == 0) capabilitiesDropped_ = setEffective(false);
}

UnreadableFile::~UnreadableFile() {
    if (capabilitiesDropped_) setEffective(true);
    chmod(path_.c_str(), S_IRUSR | S_IWUSR);
}

bool UnreadableFile::unreadable() const {
    FILE* file = std::fopen(path_.c_str(), "r");
    if (file == nullptr) return true;
    std::fclose(file);
    return false;
}
