// Linked into every test program: ctest runs the tests of one program side by side, each
// in a process of its own but all given the program's QX_HOME, so their registries and
// user files would be shared and one test's phrases could show in another's. Each process
// takes a home of its own inside, before any test runs, and removes it at its exit.
#include <winapi_host.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace {

const bool ownHomeTaken = [] {
    const char* base = std::getenv("QX_HOME");
    if (base == nullptr || *base == '\0') return false;
    static const std::string home = std::string(base) + "/process-" + std::to_string(getpid());
    static const pid_t owner = getpid();
    setenv("QX_HOME", home.c_str(), 1);  // for the helpers and child programs that read it
    winapiSetHome(home.c_str());
    std::atexit([] {
        // A forked child that exits normally must not take its parent's home away.
        if (getpid() != owner) return;
        std::error_code error;
        std::filesystem::remove_all(home, error);
    });
    return true;
}();

}  // namespace
