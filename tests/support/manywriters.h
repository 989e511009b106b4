// Many programs with the module loaded, writing the same user files at once: worker
// processes that add and delete user phrases, learn sentences, add, delete, star, merge
// and move up addresses and change settings, each logging what it was about to do and
// what it reported saved; some are killed at random. The check then reads the files and
// every log: a change reported saved is there unless a later reported change undid it.
#pragma once

#include <string>
#include <vector>

struct ManyWritersRun {
    int workers = 4;        // processes at once
    double seconds = 3;     // how long they write
    int killEveryMs = 400;  // on average, one worker killed this often (0: none)
    unsigned seed = 1;
};

struct ManyWritersOutcome {
    int processes = 0;  // workers started, the replacements of killed ones included
    int kills = 0;
    long changes = 0;                   // changes reported saved
    long failures = 0;                  // changes reported not saved (refused, full, failed)
    long refused = 0;                   // of those, addresses whose letter was full on the file
    long lost = 0;                      // saved changes missing from the files
    long doubled = 0;                   // lines or records found twice
    long torn = 0;                      // lines that do not read, or files that are none of the module's
    int phraseLines = 0;                // lines of the largest phrase file at the end
    std::vector<std::string> problems;  // the first few, for the report
};

// Runs the workers in home (made fresh; its system directory holds the user files) and
// checks the result.
ManyWritersOutcome runManyWriters(const std::string& home, const ManyWritersRun& run);
