// The files mkdata writes: each goes to a temporary file beside its target, and only when
// every one of them was written in full are they renamed over their targets. A failed run
// leaves the previous outputs as they were and no half-written file behind.
#pragma once

#include <string>
#include <vector>

class Outputs {
public:
    void add(std::string path, std::string content);
    // Writes every file; false (with a message on stderr, no temporary left) on failure.
    bool commit();

private:
    struct File {
        std::string path;
        std::string content;
        std::string temporary;
    };
    std::vector<File> files_;
};
