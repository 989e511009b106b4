// The soak of many writers: programs hosting the module, typing changes to the same user
// files through its dialogs for a long while, some killed at random; prints what was saved and whether any of
// it was lost. Options: --seconds=N (default 30), --workers=N (default 4), --kill-ms=N (a kill every N ms on
// average, default 500), --seed=N. Exits non-zero when a change was lost, a line doubled or a file torn.
#include "manywriters.h"

#include <winapi_host.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    ManyWritersRun run;
    run.workerProgram = std::string(QX_BIN_DIR) + "/manywriters_worker";
    run.seconds = 30;
    run.killEveryMs = 500;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            const size_t n = std::strlen(name);
            return std::strncmp(arg, name, n) == 0 ? arg + n : nullptr;
        };
        if (const char* v = value("--seconds="))
            run.seconds = std::atof(v);
        else if (const char* v = value("--workers="))
            run.workers = std::atoi(v);
        else if (const char* v = value("--kill-ms="))
            run.killEveryMs = std::atoi(v);
        else if (const char* v = value("--seed="))
            run.seed = static_cast<unsigned>(std::atoi(v));
        else {
            std::fprintf(stderr, "unknown option %s\n", arg);
            return 2;
        }
    }
    const std::string home = std::string(winapiHome()) + "/manywriters-soak";
    const ManyWritersOutcome out = runManyWriters(home, run);
    std::printf(
        "%d workers at once for %.0f s, each hosting the module and typing: %d processes, %d killed, %ld "
        "changes "
        "saved, %ld not saved, %ld under way when killed; lost %ld, doubled %ld, torn %ld; largest phrase "
        "file "
        "%d lines\n",
        run.workers, run.seconds, out.processes, out.kills, out.changes, out.failures, out.pending, out.lost,
        out.doubled, out.torn, out.phraseLines);
    for (const auto& [op, count] : out.savedByOp) std::printf("  %s saved %ld\n", op.c_str(), count);
    for (const std::string& problem : out.problems) std::printf("  %s\n", problem.c_str());
    const bool whole = out.lost == 0 && out.doubled == 0 && out.torn == 0 && out.problems.empty();
    // The files and logs of a run that lost something stay for a look.
    if (whole)
        std::system(("rm -rf '" + home + "'").c_str());
    else
        std::printf("files and logs kept in %s\n", home.c_str());
    return whole ? 0 : 1;
}
