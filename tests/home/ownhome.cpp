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
    // The pinyin sentence model lies in the system directory, as an install places it: a
    // link to the one the build wrote beside the test programs, when there is one.
    std::error_code linked;
    const auto model = std::filesystem::read_symlink("/proc/self/exe", linked).parent_path() / "pylm.dat";
    if (!linked && std::filesystem::is_regular_file(model, linked)) {
        std::filesystem::create_directories(home + "/system", linked);
        std::filesystem::create_symlink(model, home + "/system/pylm.dat", linked);
    }
    std::atexit([] {
        // A forked child that exits normally must not take its parent's home away.
        if (getpid() != owner) return;
        std::error_code error;
        std::filesystem::remove_all(home, error);
    });
    return true;
}();

}  // namespace
