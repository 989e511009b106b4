#include "commands.h"

#include "fixedformat.h"
#include "gbktext.h"
#include "packedformat.h"
#include "pewriter.h"
#include "pyczformat.h"
#include "pymbformat.h"
#include "tableformat.h"

#include <windows.h>
#include <winapi_host.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Written beside the target under a name of its own, then renamed over it: a reader never
// sees half a file, and a failed write leaves the old file in place and nothing behind.
bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::string temp = path + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) return false;
    const mode_t mask = umask(0);  // mkstemp makes the file private; give it the usual mode
    umask(mask);
    bool ok = fchmod(fd, 0666 & ~mask) == 0;
    for (size_t done = 0; ok && done < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) unlink(temp.c_str());
    return ok;
}

bool decodeTable(TableFormat format, std::span<const uint8_t> table, std::vector<TableEntry>& entries,
                 TableFault& fault) {
    switch (format) {
    case TableFormat::packed: return decodePackedTable(table, entries, fault);
    case TableFormat::fixed: return decodeFixedTable(table, entries, fault);
    case TableFormat::pymb: return decodePymbTable(table, entries, fault);
    case TableFormat::pycz: return decodePyczTable(table, entries, fault);
    }
    return false;
}

}  // namespace

// Shared with the lookup command: the table as the module gets it, through the system's
// library loader (winapi on the host).
bool loadTableResource(const std::string& library, const std::string& name, std::span<const uint8_t>& table) {
    HMODULE module = LoadLibraryA(library.c_str());
    if (!module) {
        std::fprintf(stderr, "mbtool: cannot load %s\n", library.c_str());
        return false;
    }
    HRSRC resource = FindResourceA(module, name.c_str(), "mb");
    HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) {
        std::fprintf(stderr, "mbtool: %s has no table %s\n", library.c_str(), name.c_str());
        return false;
    }
    // The library stays loaded for the rest of the run, as the module keeps its tables.
    table = {static_cast<const uint8_t*>(data), SizeofResource(module, resource)};
    return true;
}

int commandBuild(int argc, char** argv) {
    TableFormat format = TableFormat::packed;
    bool haveFormat = false;
    BuildOptions options;
    std::vector<std::string> files;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--format" && i + 1 < argc) {
            if (!parseFormat(argv[++i], format)) {
                std::fprintf(stderr, "mbtool build: unknown format %s\n", argv[i]);
                return 2;
            }
            haveFormat = true;
        } else if (arg == "--skip-unencodable") {
            options.skipUnencodable = true;
        } else {
            files.push_back(arg);
        }
    }
    if (!haveFormat || files.size() != 2) {
        std::fprintf(stderr, "usage: mbtool build --format packed|fixed|pymb|pycz [--skip-unencodable] IN.txt OUT.bin\n");
        return 2;
    }
    std::vector<SourceLine> lines;
    std::string error;
    if (!readSourceLines(files[0], lines, error)) {
        std::fprintf(stderr, "mbtool build: %s\n", error.c_str());
        return 1;
    }
    std::vector<uint8_t> table;
    bool ok = false;
    switch (format) {
    case TableFormat::packed: ok = buildPackedTable(lines, options, table, error); break;
    case TableFormat::fixed: ok = buildFixedTable(lines, options, table, error); break;
    case TableFormat::pymb: ok = buildPymbTable(lines, options, table, error); break;
    case TableFormat::pycz: ok = buildPyczTable(lines, options, table, error); break;
    }
    if (!ok) {
        std::fprintf(stderr, "mbtool build: %s:%s\n", files[0].c_str(), error.c_str());
        return 1;
    }
    if (!writeFileAtomically(files[1], table)) {
        std::fprintf(stderr, "mbtool build: cannot write %s\n", files[1].c_str());
        return 1;
    }
    if (options.skipped)
        std::fprintf(stderr, "mbtool build: %s: skipped %d unencodable\n", files[0].c_str(), options.skipped);
    return 0;
}

int commandPe(int argc, char** argv) {
    PeMachine machine = PeMachine::x64;
    bool haveMachine = false;
    std::string output;
    std::vector<PeResource> resources;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--machine" && i + 1 < argc) {
            std::string m = argv[++i];
            if (m == "x64") machine = PeMachine::x64;
            else if (m == "x86") machine = PeMachine::x86;
            else {
                std::fprintf(stderr, "mbtool pe: unknown machine %s\n", m.c_str());
                return 2;
            }
            haveMachine = true;
        } else if (arg == "--mark" && i + 1 < argc) {
            std::string mark = argv[++i];
            // The mark's contents are never read; its name is what counts.
            std::vector<uint8_t> data(mark.begin(), mark.end());
            data.push_back(0);
            resources.push_back({"Ver", mark, data});
        } else if (output.empty() && arg.find('=') == std::string::npos) {
            output = arg;
        } else {
            size_t eq = arg.find('=');
            if (eq == std::string::npos || eq == 0) {
                std::fprintf(stderr, "mbtool pe: expected NAME=FILE, got %s\n", arg.c_str());
                return 2;
            }
            std::vector<uint8_t> data;
            if (!readWholeFile(arg.substr(eq + 1), data)) {
                std::fprintf(stderr, "mbtool pe: cannot read %s\n", arg.substr(eq + 1).c_str());
                return 1;
            }
            resources.push_back({"mb", arg.substr(0, eq), std::move(data)});
        }
    }
    if (!haveMachine || output.empty()) {
        std::fprintf(stderr, "usage: mbtool pe --machine x64|x86 OUT.dll NAME=FILE... [--mark NAME]\n");
        return 2;
    }
    if (!writeFileAtomically(output, writeResourcePe(machine, resources))) {
        std::fprintf(stderr, "mbtool pe: cannot write %s\n", output.c_str());
        return 1;
    }
    return 0;
}

int commandDump(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: mbtool dump LIBRARY NAME\n");
        return 2;
    }
    std::span<const uint8_t> table;
    if (!loadTableResource(argv[0], argv[1], table)) return 1;
    std::vector<TableEntry> entries;
    TableFault fault;
    if (!decodeTable(formatOfResource(argv[1]), table, entries, fault)) {
        std::fprintf(stderr, "mbtool dump: %s: offset 0x%x: %s\n", argv[1], fault.offset, fault.message.c_str());
        return 1;
    }
    std::string out;
    for (const TableEntry& e : entries) {
        std::string utf8;
        if (!gbkToUtf8(e.text, utf8)) {
            std::fprintf(stderr, "mbtool dump: %s: text of code %s cannot be converted\n", argv[1], e.code.c_str());
            return 1;
        }
        out += e.code;
        out += '\t';
        out += utf8;
        out += '\n';
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

int commandVerify(int argc, char** argv) {
    if (argc != 1) {
        std::fprintf(stderr, "usage: mbtool verify LIBRARY\n");
        return 2;
    }
    std::vector<uint8_t> file;
    if (!readWholeFile(argv[0], file)) {
        std::fprintf(stderr, "mbtool verify: cannot read %s\n", argv[0]);
        return 1;
    }
    // The stand-in's own reader, the one its loader maps libraries with.
    std::vector<WinapiResource> resources;
    WinapiResourceFault refused;
    if (!winapiListPeResources(file.data(), file.size(), &resources, &refused)) {
        std::printf("%s: offset 0x%zx: %s\n", argv[0], refused.offset, refused.what.c_str());
        return 1;
    }
    int tables = 0;
    for (const WinapiResource& r : resources) {
        if (lstrcmpiA(r.type.c_str(), "mb") != 0) continue;
        ++tables;
        const auto fileOffset = static_cast<unsigned>(r.data - file.data());
        std::vector<TableEntry> entries;
        TableFault fault;
        if (!decodeTable(formatOfResource(r.name), {r.data, r.size}, entries, fault)) {
            std::printf("%s: table %s: offset 0x%x (file offset 0x%x): %s\n", argv[0], r.name.c_str(),
                        fault.offset, fileOffset + fault.offset, fault.message.c_str());
            return 1;
        }
        std::printf("%s: %zu records\n", r.name.c_str(), entries.size());
    }
    if (tables == 0) {
        std::printf("%s: no tables of type mb\n", argv[0]);
        return 1;
    }
    return 0;
}
