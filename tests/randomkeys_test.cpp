// Long random key sequences over every mode, with the real tables, without tables and
// with damaged ones: after every key the engine's texts are terminated inside their
// fields, its counts are within their bounds, and the composition string the context
// holds is never longer than its own buffers. Run under the sanitizer build as well,
// where any read or write outside a field stops the test.
#include "imedriver.h"

#include "shapecode/tableindex.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// The keys a random script draws from: code letters, labels, paging, editing keys,
// switches and modifiers, time passing.
const std::vector<std::string> kKeys = {
    "a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n", "o", "p", "q", "r", "s", "t", "u",
    "v", "w", "x", "y", "z", ";", "/", ",", ".", "'", "5", "6", "9", "1", "-", "=", "[", "]", "~", "A", "Z",
    "{Space}", "{Space}", "{Space}", "{Enter}", "{Esc}", "{Back}", "{Back}", "{Del}", "{Left}", "{Right}",
    "{Home}", "{End}", "{Up}", "{Down}", "{PgUp}", "{PgDn}", "{Tab}", "{Ctrl}", "{LShift}", "{RShift}",
    "{RShift+A}", "{Ctrl+A}", "{Caps}", "{Tick:600}"};

// Switches that lead into the modes: the editions, five-stroke, GBK, English, pinyin and
// the web-address lists.
const std::vector<std::string> kSwitches = {"i9", "i5", "{Ctrl}", "v", "{LShift}", "{RShift}", "[", "]", "ig"};

template <size_t N>
bool terminated(const char (&field)[N]) {
    return std::memchr(field, '\0', N) != nullptr;
}

// Every invariant after a key; returns what broke, or an empty string.
std::string brokenInvariant(HIMC context) {
    const EngineContext& e = engineContext;
    if (!terminated(e.code) || !terminated(e.codeCopy) || !terminated(e.modeInput) || !terminated(e.modeScratch) ||
        !terminated(e.rowLabels) || !terminated(e.displayLine) || !terminated(e.modeResult) || !terminated(e.result) ||
        !terminated(e.lastResult))
        return "a text field is not terminated";
    for (const auto& cell : e.cells)
        if (!terminated(cell)) return "a cell is not terminated";
    for (const auto& row : e.rowText)
        if (!terminated(row)) return "a row is not terminated";
    for (const auto& note : e.rowNote)
        if (!terminated(note)) return "a row note is not terminated";
    for (const auto& syllable : e.syllables)
        if (!terminated(syllable)) return "a syllable is not terminated";
    if (!terminated(shapeCode.messageLine) || !terminated(shapeCode.heldCommit)) return "a message is not terminated";
    if (!terminated(lookupLists.completionList) || !terminated(lookupLists.exactList)) return "a list is not terminated";
    // The pinyin and web-address engines count their input line in codeLength.
    const int codeMax = modes.pinyinMode || modes.webMode ? int(sizeof e.modeInput) - 1 : int(sizeof e.code) - 1;
    if (e.codeLength < 0 || e.codeLength > codeMax) return "codeLength " + std::to_string(e.codeLength);
    if (e.caret < 0 || e.caret > e.codeLength) return "caret " + std::to_string(e.caret);
    // 20 marks a Shift tip on show; every reader clamps it to the cells.
    if (e.lastCell < 0 || (e.lastCell > 16 && e.lastCell != 20)) return "lastCell " + std::to_string(e.lastCell);
    if (shapeCode.completionUnits < 0 || 2 * size_t(shapeCode.completionUnits) > COMPLETION_LIST_SIZE)
        return "completionUnits " + std::to_string(shapeCode.completionUnits);
    if (shapeCode.nextPageStart < 0 || 2 * size_t(shapeCode.nextPageStart) > COMPLETION_LIST_SIZE)
        return "nextPageStart " + std::to_string(shapeCode.nextPageStart);
    if (shapeCode.displayHalf < 0 || shapeCode.displayHalf > 1) return "displayHalf";
    if (shapeCode.inputPhase < 1 || shapeCode.inputPhase > 3) return "inputPhase";
    for (int i = 0; i < 4; ++i)
        if (e.webState[i] < 0 || e.webState[i] > 200) return "webState " + std::to_string(i);
    // The composition string the context holds fits the module's own fields.
    LONG bytes = ImmGetCompositionStringA(context, GCS_COMPSTR, nullptr, 0);
    if (bytes < 0 || bytes > LONG(sizeof e.modeInput)) return "composition string of " + std::to_string(bytes);
    return "";
}

enum class Tables { Real, Missing, Damaged };

// Installs the tables of a round: the libraries' own, none, or copies with bytes changed.
void installTables(Tables kind, std::mt19937& random) {
    static std::vector<std::vector<unsigned char>> damaged;
    const CodeTable real[] = {libraryTable("Qxmb.dll", "MB1"),   libraryTable("Qxmb.dll", "MB4"),
                              libraryTable("Qxmb.dll", "XCZMB"), libraryTable("Qxmb.dll", "YCZMB"),
                              libraryTable("gbk.dll", "XGBK"),   libraryTable("gbk.dll", "YGBK"),
                              libraryTable("Dede.dll", "WBMB"),  libraryTable("pymb.dll", "PYMB"),
                              libraryTable("pymb.dll", "PYCZ")};
    CodeTable* slots[] = {&codeTables.MB1,  &codeTables.MB4,  &codeTables.XCZMB, &codeTables.YCZMB, &codeTables.XGBK,
                          &codeTables.YGBK, &codeTables.WBMB, &codeTables.PYMB,  &codeTables.PYCZ};
    damaged.clear();
    for (size_t i = 0; i < std::size(slots); ++i) {
        *slots[i] = kind == Tables::Missing ? CodeTable{} : real[i];
        if (kind == Tables::Damaged && real[i].data) {
            damaged.emplace_back(real[i].data, real[i].data + real[i].size);
            auto& bytes = damaged.back();
            // Some bytes anywhere, and now and then a header word.
            for (int k = 0; k < 200; ++k) bytes[random() % bytes.size()] = static_cast<unsigned char>(random());
            if (random() % 2) bytes[random() % 116] = static_cast<unsigned char>(random());
            if (random() % 4 == 0) bytes.resize(random() % bytes.size());  // cut short
            *slots[i] = CodeTable{bytes.data(), static_cast<uint32_t>(bytes.size())};
        }
    }
    codeTables.tablesMissing = kind == Tables::Missing ? 1 : 0;
    indexCodeTables(codeTables);
}

}  // namespace

TEST(RandomKeys, InvariantsHoldAfterEveryKeyInEveryMode) {
    std::mt19937 random(20261209);
    const int rounds = 60, keysPerRound = 2000;
    size_t typedWithRealTables = 0;  // the keys reached the engines: text came out
    for (int round = 0; round < rounds; ++round) {
        const Tables kind = round % 3 == 0 ? Tables::Real : round % 3 == 1 ? Tables::Damaged : Tables::Missing;
        resetEngineForTest();
        installTables(kind, random);
        // Start in a different mode each round; switches later move between modes.
        modes.wubiMode = round % 4 == 1;
        modes.phoneticEdition = round % 4 == 2;
        modes.gbkLookup = round % 8 == 3;
        ImeDriver ime;
        std::string script;
        for (int k = 0; k < keysPerRound; ++k) {
            const std::string& key =
                random() % 25 == 0 ? kSwitches[random() % kSwitches.size()] : kKeys[random() % kKeys.size()];
            script += key;
            ime.type(key);
            std::string broken = brokenInvariant(ime.context());
            if (!broken.empty()) {
                ADD_FAILURE() << "round " << round << " after " << k + 1 << " keys: " << broken
                              << "\nlast keys: " << script.substr(script.size() > 200 ? script.size() - 200 : 0);
                return;
            }
        }
        if (kind == Tables::Real) typedWithRealTables += ime.fieldText().size();
    }
    EXPECT_GT(typedWithRealTables, 1000u);
}
