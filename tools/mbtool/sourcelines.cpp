#include "sourcelines.h"

#include <fstream>

bool readSourceLines(const std::string& path, std::vector<SourceLine>& lines, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open";
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
        if (line.empty() || line[0] == '#') continue;
        size_t tab = line.find('\t');
        if (tab == std::string::npos) {
            error = path + ":" + std::to_string(number) + ": no TAB between code and text";
            return false;
        }
        lines.push_back({number, line.substr(0, tab), line.substr(tab + 1)});
    }
    if (in.bad()) {
        error = path + ": read error";
        return false;
    }
    return true;
}

std::string lineMessage(const SourceLine& line, const std::string& message) {
    return std::to_string(line.number) + ": " + message;
}
