#include "sources.h"

#include <bzlib.h>

#include <charconv>
#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

namespace {

// Calls back once per line of a plain or bzip2 file; the trailing CR, if any, is cut.
bool forEachLine(const std::string& path, const std::function<void(std::string_view)>& line) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) {
        std::fprintf(stderr, "mkdata: cannot open %s\n", path.c_str());
        return false;
    }
    std::string content;
    char buffer[65536];
    bool compressed = path.size() > 4 && path.compare(path.size() - 4, 4, ".bz2") == 0;
    if (compressed) {
        int error = BZ_OK;
        BZFILE* bz = BZ2_bzReadOpen(&error, file.get(), 0, 0, nullptr, 0);
        while (error == BZ_OK) {
            int n = BZ2_bzRead(&error, bz, buffer, sizeof(buffer));
            if (n > 0) content.append(buffer, static_cast<size_t>(n));
        }
        BZ2_bzReadClose(nullptr, bz);
        if (error != BZ_STREAM_END) {
            std::fprintf(stderr, "mkdata: %s is not a complete bzip2 stream\n", path.c_str());
            return false;
        }
    } else {
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof(buffer), file.get())) > 0) content.append(buffer, n);
    }
    std::string_view rest(content);
    while (!rest.empty()) {
        size_t end = rest.find('\n');
        std::string_view one = rest.substr(0, end);
        if (!one.empty() && one.back() == '\r') one.remove_suffix(1);
        line(one);
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return true;
}

}  // namespace

std::vector<std::string_view> splitFields(std::string_view line, char separator) {
    std::vector<std::string_view> fields;
    for (;;) {
        size_t at = line.find(separator);
        fields.push_back(line.substr(0, at));
        if (at == std::string_view::npos) return fields;
        line.remove_prefix(at + 1);
    }
}

bool readRimeDictionary(const std::string& path, const RimeEntry& entry) {
    bool inBody = false;
    return forEachLine(path, [&](std::string_view line) {
        if (!inBody) {
            inBody = line == "...";
            return;
        }
        if (line.empty() || line[0] == '#') return;
        std::vector<std::string_view> f = splitFields(line, '\t');
        if (f.size() < 2 || f[0].empty() || f[1].empty()) return;
        double weight = 0;
        if (f.size() >= 3 && !f[2].empty()) {
            // Weights may be percentages ("10%") in some dictionaries; the number is enough.
            std::from_chars(f[2].data(), f[2].data() + f[2].size(), weight);
        }
        entry(f[0], f[1], weight);
    });
}

bool readUnihanField(const std::string& path, std::string_view field, const UnihanEntry& entry) {
    return forEachLine(path, [&](std::string_view line) {
        if (line.size() < 3 || line[0] != 'U' || line[1] != '+') return;
        std::vector<std::string_view> f = splitFields(line, '\t');
        if (f.size() < 3 || f[1] != field) return;
        unsigned long cp = 0;
        auto [end, ec] = std::from_chars(f[0].data() + 2, f[0].data() + f[0].size(), cp, 16);
        if (ec != std::errc() || end != f[0].data() + f[0].size() || cp > 0x10FFFF) return;
        entry(static_cast<char32_t>(cp), f[2]);
    });
}

bool readList(const std::string& path, const ListEntry& entry) {
    size_t number = 0;
    return forEachLine(path, [&](std::string_view line) {
        ++number;
        if (line.empty() || line[0] == '#') return;
        entry(number, splitFields(line, '\t'));
    });
}
