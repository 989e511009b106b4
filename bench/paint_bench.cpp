// Cost of one key with the module hosted as an application hosts it on Linux: the
// session of qxhost (module loaded, UI window, input context selected and activated) with
// the composition window painted by the stand-in after every key. Types the five-stroke
// codes of wubi86_top1000.txt, as keys_bench does, and times the opening of the session.
//
//   paint_bench [--iterations N] [--start-up-only] [--home DIR]
// (--home: the user's files and settings in DIR, kept afterwards; by default a new home
// that is removed at the end.)
// prints start-up (ms, the opening of the session: the first one in a new home, and the
// median of the later ones) and the figures keys_bench prints, for the mode
// five-stroke-painting.
#include "hostsession.h"
#include "keyscript.h"
#include "benchsupport.h"

#include <winapi_desktop.h>
#include <winapi_host.h>

#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> loadCodes() {
    std::vector<std::string> codes;
    const char* shared = std::getenv("QX_SHARED_DIR");
    std::ifstream file(std::string(shared ? shared : QX_SHARED_DIR) + "/bench/wubi86_top1000.txt");
    std::string line;
    while (std::getline(file, line)) codes.push_back(line.substr(0, line.find('\t')));
    return codes;
}

// The time this thread has run, in ms: on a busy machine, wall time also counts the
// waits for a processor.
double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Page faults of the process so far: each is a trip into the kernel, and fresh memory
// touched for the first time costs one a page.
long pageFaults() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

// What one fresh page costs this machine, in µs: memory the process touches for the first
// time. Under some virtual machines it is ten times a real machine's, and a process's first
// opening touches over a thousand pages.
double freshPageMicroseconds() {
    const size_t pages = 512, pageSize = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void* block = mmap(nullptr, pages * pageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return 0;
    volatile char* bytes = static_cast<char*>(block);
    const auto start = std::chrono::steady_clock::now();
    for (size_t i = 0; i < pages; ++i) bytes[i * pageSize] = 1;
    const double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    munmap(block, pages * pageSize);
    return us / pages;
}

}  // namespace

int main(int argc, char** argv) {
    int iterations = 5;
    bool startUpOnly = false;  // openings alone, for profiling them
    const char* keptHome = nullptr;  // a home that outlives the run: its second run opens as a new process does
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--iterations") && i + 1 < argc) {
            iterations = std::max(1, std::atoi(argv[++i]));
        } else if (!std::strcmp(argv[i], "--start-up-only")) {
            startUpOnly = true;
        } else if (!std::strcmp(argv[i], "--home") && i + 1 < argc) {
            keptHome = argv[++i];
        } else {
            std::fprintf(stderr, "usage: paint_bench [--iterations N] [--start-up-only] [--home DIR]\n");
            return 2;
        }
    }
    const std::vector<std::string> codes = loadCodes();
    if (codes.empty()) {
        std::fprintf(stderr, "paint_bench: the key file wubi86_top1000.txt was not found (set QX_SHARED_DIR)\n");
        return 1;
    }
    char home[] = "/tmp/qx_paint_bench_XXXXXX";
    if (keptHome == nullptr && !mkdtemp(home)) return 1;
    winapiSetHome(keptHome ? keptHome : home);
    setSetting("\xCE\xE5\xB1\xCA\xD3\xC5\xCF\xC8", 1);  // 五笔优先

    std::vector<double> all, medians, startups, startupCpu, startupFaults;
    size_t keysTyped = 0;
    std::string error;
    for (int run = 0; run < iterations; ++run) {
        HostSession session;
        auto opening = std::chrono::steady_clock::now();
        const double cpuBefore = threadCpuMs();
        const long faultsBefore = pageFaults();
        if (!openHostSession(session, "qx.ime", error)) {
            std::fprintf(stderr, "paint_bench: %s\n", error.c_str());
            return 1;
        }
        startups.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - opening).count());
        startupCpu.push_back(threadCpuMs() - cpuBefore);
        startupFaults.push_back(static_cast<double>(pageFaults() - faultsBefore));
        closePictures(session.ime);
        std::vector<double> times;
        for (const std::string& code : startUpOnly ? std::vector<std::string>{} : codes) {
            std::vector<ScriptKey> keys;
            if (!parseKeyScript(code, keys, error)) continue;
            for (const ScriptKey& key : keys) {
                auto start = std::chrono::steady_clock::now();
                session.ime.typist->type(key);
                times.push_back(std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count());
            }
        }
        keysTyped = times.size();
        medians.push_back(percentile(times, 0.5));
        all.insert(all.end(), times.begin(), times.end());
        closeHostSession(session);
    }
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    // The first opening is the process's first; in a new home it also writes the settings
    // for the first time.
    // Later ones find them and the user files, and write nothing.
    const std::vector<double> later(startups.begin() + 1, startups.end());
    const std::vector<double> laterCpu(startupCpu.begin() + 1, startupCpu.end());
    const std::vector<double> laterFaults(startupFaults.begin() + 1, startupFaults.end());
    std::printf("start-up: first %.2f ms (%.2f ms CPU, %.0f page faults), then median %.2f ms (%.2f ms CPU, %.0f page "
                "faults) over %zu more openings of the session\n",
                startups[0], startupCpu[0], startupFaults[0], percentile(later, 0.5), percentile(laterCpu, 0.5),
                percentile(laterFaults, 0.5), later.size());
    std::printf("fresh memory: %.2f us a page on this machine\n", freshPageMicroseconds());
    std::printf("five-stroke-painting: %zu keys, median %.0f ns, p50 %.0f ns, p99 %.0f ns per key; peak RSS %ld KB\n",
                keysTyped, percentile(medians, 0.5), percentile(all, 0.5), percentile(all, 0.99), usage.ru_maxrss);
    if (keptHome) return 0;
    std::string command = std::string("rm -rf '") + home + "'";
    return std::system(command.c_str()) == 0 ? 0 : 1;
}
