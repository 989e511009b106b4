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

// Puts the table in the slot of its name and sets the mode flags that make
// currentCodeTable choose that slot. Unknown packed names use the shape-code slot.
void selectTable(const std::string& name, TableFormat format, CodeTable table) {
    pinyinMode = wubiMode = gbkLookup = phraseLibraryMode = pinyinPhraseRequest = 0;
    phoneticEdition = name[0] == 'Y' || name == "MB1";
    if (format == TableFormat::fixed) {
        gbkLookup = 1;
        (phoneticEdition ? tableYGBK : tableXGBK) = table;
    } else if (name == "WBMB") {
        wubiMode = 1;
        tableWBMB = table;
    } else if (name == "XCZMB" || name == "YCZMB") {
        phraseLibraryMode = 1;
        (phoneticEdition ? tableYCZMB : tableXCZMB) = table;
    } else {
        (phoneticEdition ? tableMB1 : tableMB4) = table;
    }
}

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
        selectTable(name, format, CodeTable{table.data(), static_cast<uint32_t>(table.size())});
        userPhraseFile[0] = '\0';  // the table alone, without anyone's user phrases
        static char completionList[COMPLETION_LIST_SIZE];
        char exactList[EXACT_LIST_SIZE] = "";
        completionList[0] = '\0';
        if (format == TableFormat::fixed) lookupGbk(argv[2], completionList, exactList);
        else lookupPacked(argv[2], completionList, exactList);
        exact = exactList;
        completions = completionList;
    }
    if (!printGbkLine(exact) || !printGbkLine(completions)) {
        std::fprintf(stderr, "mbtool lookup: the table holds text that is no GBK\n");
        return 1;
    }
    return 0;
}
