// mbtool lookup: answers a code with the module's own lookups, so what it prints is what
// the input method would list.
#include "commands.h"

#include "gbktext.h"
#include "pyczformat.h"
#include "pymbformat.h"
#include "tableformat.h"

#include "shapecode/codetable.h"

#include <cctype>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

bool loadTableResource(const std::string& library, const std::string& name, std::span<const uint8_t>& table);

namespace {

bool printGbkLine(const std::string& gbk) {
    std::string utf8;
    if (!gbkToUtf8(gbk, utf8)) return false;
    std::printf("%s\n", utf8.c_str());
    return true;
}

}  // namespace

int commandLookup(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: mbtool lookup LIBRARY NAME CODE\n");
        return 2;
    }
    std::string name = argv[1];
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::span<const uint8_t> table;
    if (!loadTableResource(argv[0], name, table)) return 1;
    TableFormat format = formatOfResource(name);

    std::string exact, completions;
    if (format == TableFormat::pymb) {
        lookupPymb(table, argv[2], exact, completions);
    } else if (format == TableFormat::pycz) {
        lookupPycz(table, argv[2], exact, completions);
    } else {
        const CodeTable codeTable{table.data(), static_cast<uint32_t>(table.size())};
        static char completionList[COMPLETION_LIST_SIZE];
        char exactList[EXACT_LIST_SIZE] = "";
        completionList[0] = '\0';
        // The table alone, without anyone's user phrases.
        if (format == TableFormat::fixed) lookupGbk(&codeTable, argv[2], completionList, exactList);
        else lookupPacked(&codeTable, nullptr, argv[2], completionList, exactList);
        exact = exactList;
        completions = completionList;
    }
    if (!printGbkLine(exact) || !printGbkLine(completions)) {
        std::fprintf(stderr, "mbtool lookup: the table holds text that is no GBK\n");
        return 1;
    }
    return 0;
}
