// Many programs with the module loaded, writing the same user files at once: worker
// processes (manywriters_worker) that each host the module through the shared session and,
// by keys as a typist, add and delete user phrases, learn sentences, add, delete, star,
// merge, change and move up addresses and change settings, each logging what it was about
// to do and what the module reported; some are killed at random. The check then reads the
// files and every log: a change reported saved is there unless a later reported change
// undid it.
#pragma once

#include <map>
#include <string>
#include <vector>

struct ManyWritersRun {
    int workers = 4;        // processes at once
    double seconds = 3;     // how long they write
    int killEveryMs = 400;  // on average, one worker killed this often (0: none)
    unsigned seed = 1;
    std::string workerProgram;  // path of manywriters_worker
};

struct ManyWritersOutcome {
    int processes = 0;  // workers started, the replacements of killed ones included
    int kills = 0;
    long changes = 0;                       // changes reported saved
    long failures = 0;                      // changes reported not saved (refused, full, failed)
    long pending = 0;                       // changes under way when their worker was killed
    long lost = 0;                          // saved changes missing from the files
    long doubled = 0;                       // lines or records found twice
    long torn = 0;                          // lines that do not read, or files that are none of the module's
    int phraseLines = 0;                    // lines of the largest phrase file at the end
    std::map<std::string, long> savedByOp;  // P+ P- L+ A+ A- A* A^ S=
    std::vector<std::string> problems;      // the first few, for the report
};

// Runs the workers in home (made fresh; its system directory holds the user files) and
// checks the result.
ManyWritersOutcome runManyWriters(const std::string& home, const ManyWritersRun& run);
