// QX_HOME: where the registry and the system directory live on the host.
#include "internal.h"
#include "winapi_host.h"

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <sys/stat.h>

namespace {
std::mutex homeLock;
std::string home;

std::string defaultHome() {
    if (const char* env = getenv("QX_HOME"); env && *env) return env;
    const char* user = getenv("HOME");
    return std::string(user && *user ? user : "/tmp") + "/.qx";
}

std::string trimmed(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}
}  // namespace

bool makeDirectories(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeDirectories(path.substr(0, slash)))
        return false;
    return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

const std::string& homeDirectory() {
    std::lock_guard<std::mutex> guard(homeLock);
    if (home.empty()) home = trimmed(defaultHome());
    makeDirectories(home);
    return home;
}

const char* winapiHome() { return homeDirectory().c_str(); }

void winapiSetHome(const char* path) {
    {
        std::lock_guard<std::mutex> guard(homeLock);
        home = trimmed(path && *path ? path : defaultHome());
    }
    makeDirectories(home);
    registryHomeChanged();
}
