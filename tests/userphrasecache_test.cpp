// The kept user-phrase file: lookups and the store's count of a code's phrases over it find
// what a line-by-line read of the file finds, for random files and codes, and it follows
// the file as it changes on disk.
#include "phrases/userphrasefile.h"
#include "phrases/userphrases.h"
#include "phrases/userphrasestore.h"
#include "core/lookuplist.h"

#include "tablebuilder.h"

#include <gtest/gtest.h>
#include <utime.h>

#include <cstdio>
#include <ctime>
#include <functional>
#include <random>
#include <string>

namespace {

// The lookups as they read the file line by line, for comparison.
std::string readingLookup(const std::string& path, const std::string& code, int& state,
                          std::string& exactOut) {
    char completionList[USER_COMPLETION_LIST_SIZE] = "";
    char exactList[USER_EXACT_LIST_SIZE] = "";
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file) return "";
    ListWriter completions(completionList, sizeof completionList);
    ListWriter exact(exactList, sizeof exactList);
    UserPhraseLine line;
    while (completions.length <= 199 && readUserPhraseLine(file, line)) {
        char lineCode[5];
        size_t codeLength = userPhraseCode(line, lineCode, 4, false);
        std::string_view phrase = userPhraseText(line);
        if (phrase.empty()) continue;
        std::string_view lineView(lineCode, codeLength);
        if (lineView == code)
            appendExact(exact, phrase, state);
        else if (code.size() < codeLength && lineView.substr(0, code.size()) == code)
            completions.append(" ", std::string(1, lineCode[code.size()]), phrase);
    }
    std::fclose(file);
    exactOut = exactList;
    return completionList;
}

std::string readingFind(const std::string& path, const std::string& code, size_t maxLetters) {
    char out[400] = "";
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file) return "";
    ListWriter found(out, sizeof out);
    UserPhraseLine line;
    while (readUserPhraseLine(file, line)) {
        char letters[9];
        size_t n = userPhraseCode(line, letters, maxLetters, true);
        std::string_view phrase = userPhraseText(line);
        if (!phrase.empty() && std::string_view(letters, n) == code) found.append(phrase, " ");
    }
    std::fclose(file);
    return out;
}

// How many lines with a phrase have code, or -1 when some line holds phrase, read line by line.
int readingCodeUse(const std::string& path, const std::string& code, const std::string& phrase) {
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file) return 0;
    int uses = 0;
    UserPhraseLine line;
    while (readUserPhraseLine(file, line)) {
        std::string_view text = userPhraseText(line);
        if (text.empty()) continue;
        if (!phrase.empty() && text == phrase) {
            uses = -1;
            break;
        }
        char lineCode[USER_CODE_COLUMN + 1];
        if (std::string_view(lineCode, userPhraseCode(line, lineCode, USER_CODE_COLUMN, false)) == code)
            ++uses;
    }
    std::fclose(file);
    return uses;
}

void writeFile(const std::string& path, const std::string& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

}  // namespace

TEST(UserPhraseCache, LookupsEqualReadingTheFileLineByLine) {
    std::mt19937 random(99);
    const std::string path = tablebuilder::writeScratchFile("cache.rt", "");
    const char alphabet[] = "abcz;/ A1\t\r";
    for (int round = 0; round < 40; ++round) {
        // Lines of codes of every shape, phrases, odd bytes, long lines, CRLF.
        std::string bytes;
        for (int l = 0, lines = random() % 300; l < lines; ++l) {
            for (int k = 0, n = random() % 7; k < n; ++k) bytes += alphabet[random() % (sizeof alphabet - 1)];
            bytes += std::string(random() % 3, ' ');
            for (int k = 0, n = random() % 6; k < n; ++k) bytes += static_cast<char>(0xB0 + random() % 0x30);
            if (random() % 40 == 0) bytes += std::string(120, 'x');
            bytes += random() % 5 ? "\n" : "\r\n";
        }
        // The last round's file is too large to be kept: it is read line by line each time.
        if (round == 39)
            while (bytes.size() <= (1u << 20) + 1) bytes += bytes;
        // Rewritten from outside, often within the same tick as the last reading: the
        // lookups follow the file without being told.
        writeFile(path, bytes);
        for (const char* code : {"", "a", "ab", "abc", "abcz", "b;", "z", "A", "1", "\xB0", "abcza"}) {
            SCOPED_TRACE(std::string("round ") + std::to_string(round) + " code " + code);
            for (int startState : {0, 2}) {
                int wantState = startState, gotState = startState;
                std::string wantExact;
                std::string wantCompletions = readingLookup(path, code, wantState, wantExact);
                char completions[USER_COMPLETION_LIST_SIZE] = "";
                char exact[USER_EXACT_LIST_SIZE] = "";
                lookupUserPhrases(path.c_str(), code, completions, exact, &gotState);
                EXPECT_EQ(wantCompletions, completions);
                EXPECT_EQ(wantExact, exact);
                EXPECT_EQ(wantState, gotState);
            }
            for (const char* phrase : {"", "\xB0\xB1", "\xB0\xB1\xB0\xB2", "\xB2\xB3\xB4"})
                EXPECT_EQ(countCodeUse(path.c_str(), code, phrase), readingCodeUse(path, code, phrase))
                    << phrase;
            for (size_t maxLetters : {4u, 8u, 2u}) {
                char out[400] = "";
                findUserPhrasesExact(path.c_str(), code, maxLetters, out, sizeof out);
                EXPECT_EQ(readingFind(path, code, maxLetters), out);
            }
        }
    }
}

TEST(UserPhraseCache, FollowsTheFileOnDisk) {
    const std::string path = tablebuilder::writeScratchFile("follow.rt", "");
    auto exactOf = [&](const char* code) {
        char completions[USER_COMPLETION_LIST_SIZE] = "";
        char exact[USER_EXACT_LIST_SIZE] = "";
        int state = 0;
        lookupUserPhrases(path.c_str(), code, completions, exact, &state);
        return std::string(exact);
    };
    // As a typist looks "ab" up: its first letter, then both.
    auto typed = [&](const char* code) {
        exactOf(std::string(code, 1).c_str());
        return exactOf(code);
    };
    // A file system that keeps whole seconds: each write gets the second it began in.
    const time_t second = std::time(nullptr);
    auto writeCoarse = [&](const std::string& bytes) {
        writeFile(path, bytes);
        struct utimbuf coarse {
            second, second
        };
        utime(path.c_str(), &coarse);
    };
    writeCoarse("ab \xB9\xA4\xD7\xF7\n");
    EXPECT_EQ("\xB9\xA4\xD7\xF7", typed("ab"));
    // Another process adds a line: the next code sees it.
    writeCoarse("ab \xB9\xA4\xD7\xF7\nab \xD1\xA7\xCF\xB0\n");
    EXPECT_EQ("\xB9\xA4\xD7\xF7 ,\xD1\xA7\xCF\xB0", typed("ab"));
    // The same size, a new phrase, the same second: a reading taken within two seconds of
    // the file's last write is never kept, so it is read again.
    writeCoarse("ab \xB9\xA4\xD7\xF7\nab \xC9\xFA\xBB\xEE\n");
    EXPECT_EQ("\xB9\xA4\xD7\xF7 ,\xC9\xFA\xBB\xEE", typed("ab"));
    // Deleted: nothing.
    std::remove(path.c_str());
    EXPECT_EQ("", typed("ab"));
    // Written again with an old time: the change of size shows it.
    writeFile(path, "ab \xD1\xA7\n");
    struct utimbuf old {
        1000000000, 1000000000
    };
    utime(path.c_str(), &old);
    EXPECT_EQ("\xD1\xA7", typed("ab"));
    // Rewritten with the same size and time: kept until the module's own write forgets it.
    writeFile(path, "ab \xC9\xFA\n");
    utime(path.c_str(), &old);
    EXPECT_EQ("\xD1\xA7", typed("ab"));
    forgetUserPhraseFileLines();
    EXPECT_EQ("\xC9\xFA", typed("ab"));
    // Within one code, the later letters use what its first letter found.
    exactOf("a");
    writeFile(path, "ab \xD1\xA7\nab \xB9\xA4\n");
    EXPECT_EQ("\xC9\xFA", exactOf("ab"));
    EXPECT_EQ("\xD1\xA7 ,\xB9\xA4", typed("ab"));
}

// What is derived from the lines is rebuilt when the version changes: it stands while the
// lines do, however often a recent file is read again, and moves with any change.
TEST(UserPhraseCache, VersionChangesOnlyWithTheLines) {
    const std::string path = tablebuilder::writeScratchFile("version.rt", "");
    const std::string lines = "ab      \xB9\xA4\xD7\xF7\r\nab      \xD1\xA7\xCF\xB0\r\n";
    writeFile(path, lines);  // just written: every look reads it again
    const uint64_t first = userPhraseFileVersion(path.c_str(), true);
    EXPECT_NE(first, 0u);
    EXPECT_EQ(userPhraseFileVersion(path.c_str(), true), first);
    writeFile(path, lines);
    forgetUserPhraseFileLines();
    EXPECT_EQ(userPhraseFileVersion(path.c_str(), true), first);
    // The same bytes in other lines are other lines.
    writeFile(path, "ab      \xB9\xA4\xD7\xF7" "ab      \xD1\xA7\xCF\xB0\r\n");
    const uint64_t joined = userPhraseFileVersion(path.c_str(), true);
    EXPECT_NE(joined, first);
    writeFile(path, lines + "ab      \xC9\xFA\r\n");
    const uint64_t added = userPhraseFileVersion(path.c_str(), true);
    EXPECT_NE(added, joined);
    EXPECT_NE(added, first);
    std::remove(path.c_str());
    EXPECT_NE(userPhraseFileVersion(path.c_str(), true), added);
    EXPECT_EQ(userPhraseFileVersion("", true), 0u);
}

// Every change the store makes is seen by the next lookup, even when the new file has the
// size and time of last write of a reading that is kept: the store forgets what is kept.
TEST(UserPhraseCache, TheStoresWritesAreSeenAtOnce) {
    const std::string path = tablebuilder::writeScratchFile("store.rt", "");
    const std::string source = tablebuilder::writeScratchFile("source.rt", "");
    const std::string a = "\xB9\xA4", b = "\xD1\xA7", decoy = "\xC9\xFA";
    auto exactOf = [&](const char* code) {
        char completions[USER_COMPLETION_LIST_SIZE] = "";
        char exact[USER_EXACT_LIST_SIZE] = "";
        int state = 0;
        lookupUserPhrases(path.c_str(), code, completions, exact, &state);
        return std::string(exact);
    };
    struct utimbuf old {
        1000000000, 1000000000
    };
    auto writeOld = [&](const std::string& file, const std::string& bytes) {
        writeFile(file, bytes);
        utime(file.c_str(), &old);
    };
    const std::string line = "ab      ";
    struct Change {
        const char* name;
        std::string before, after;
        std::function<bool()> make;
    };
    const Change changes[] = {
        {"add", line + a + "\r\n", line + a + "\r\n" + line + b + "\r\n",
         [&] { return addUserPhrase(path.c_str(), b.c_str(), "ab") == StoreResult::done; }},
        {"delete", line + a + "\r\n" + line + b + "\r\n", line + b + "\r\n",
         [&] { return deleteUserPhrase(path.c_str(), (line + a).c_str()) == StoreResult::done; }},
        {"copy", line + a + "\r\n", line + b + "\r\n",
         [&] { return copyUserFile(source.c_str(), path.c_str()); }},
        {"replace", line + a + "\r\n", line + b + "\r\n",
         [&] { return replaceUserFiles({source}, {path}) == 1; }},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.name);
        // A reading of the size and time the changed file will have, with another phrase.
        std::string kept = change.after;
        kept.replace(kept.rfind(b), b.size(), decoy);
        writeOld(path, kept);
        forgetUserPhraseFileLines();  // the last round's file may have had that size too
        ASSERT_NE(exactOf("ab").find(decoy), std::string::npos);
        writeOld(path, change.before);
        writeOld(source, change.after);
        ASSERT_TRUE(change.make());
        utime(path.c_str(), &old);
        ASSERT_EQ(tablebuilder::readFile(path).size(), kept.size());
        const std::string seen = exactOf("ab");
        EXPECT_EQ(seen.find(decoy), std::string::npos) << seen;
        EXPECT_NE(seen.find(b), std::string::npos) << seen;
    }
}
