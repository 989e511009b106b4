// Fuzzes mbtool's four table decoders and its pinyin lookups with arbitrary tables. A
// table that decodes must come back from its dump: its records, written as source lines
// and built again, decode to the same records, or "mbtool dump" would show what a rebuild
// cannot make.
// Run: cmake --preset host-fuzz && cmake --build --preset host-fuzz --target mbtool_tables_fuzz
//      && build/host-fuzz/bin/mbtool_tables_fuzz -max_total_time=60
// Input: the format (first byte modulo 4: packed, fixed, PYMB, PYCZ), a looked-up code up
// to the first NUL (at most 40 bytes), then the table.
#include "fixedformat.h"
#include "gbktext.h"
#include "packedformat.h"
#include "pyczformat.h"
#include "pymbformat.h"

#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace {

using Decoder = bool (*)(std::span<const uint8_t>, std::vector<TableEntry>&, TableFault&);
using Builder = bool (*)(const std::vector<SourceLine>&, BuildOptions&, std::vector<uint8_t>&, std::string&);

void check(bool condition) {
    if (!condition) std::abort();
}

// The source lines a dump of the records gives: one a record, the text in UTF-8 (a PYMB
// record's characters on one line, which the builder takes one by one; none for a
// header without characters).
bool sourceOf(const std::vector<TableEntry>& entries, std::vector<SourceLine>& lines) {
    int number = 0;
    for (const TableEntry& e : entries) {
        std::string utf8;
        if (!gbkToUtf8(e.text, utf8)) return false;
        lines.push_back({++number, e.code, utf8});
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int format = data[0] % 4;
    size_t at = 1, codeLength = 0;
    while (at + codeLength < size && codeLength < 40 && data[at + codeLength] != 0) ++codeLength;
    const std::string code(reinterpret_cast<const char*>(data + at), codeLength);
    at += codeLength < size - at ? codeLength + 1 : codeLength;
    // The table exactly its own size, so a read past its end is caught.
    const std::vector<uint8_t> table(data + at, data + size);

    static const Decoder decoders[] = {decodePackedTable, decodeFixedTable, decodePymbTable, decodePyczTable};
    static const Builder builders[] = {buildPackedTable, buildFixedTable, buildPymbTable, buildPyczTable};
    std::vector<TableEntry> entries;
    TableFault fault;
    const bool decoded = decoders[format](table, entries, fault);
    if (!decoded) check(fault.offset <= table.size() && !fault.message.empty());

    if (format >= 2) {
        std::string exact, completions;
        if (format == 2) lookupPymb(table, code, exact, completions);
        else lookupPycz(table, code, exact, completions);
        check(exact.size() <= table.size() * 2 + 64 && completions.size() <= table.size() * 2 + 64);
    }
    if (!decoded) return 0;

    std::vector<SourceLine> lines;
    check(sourceOf(entries, lines));
    BuildOptions options;
    std::vector<uint8_t> rebuilt;
    std::string error;
    check(builders[format](lines, options, rebuilt, error));
    std::vector<TableEntry> again;
    TableFault againFault;
    check(decoders[format](rebuilt, again, againFault));
    check(again.size() == entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        check(again[i].code == entries[i].code && again[i].text == entries[i].text);
    return 0;
}
