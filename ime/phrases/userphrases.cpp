// User phrase lookups: the file is read line by line on every lookup, so a phrase the
// user has just added is found at once.
#include "phrases/userphrases.h"

#include "phrases/userphrasefile.h"
#include "shapecode/lookuplist.h"

#include <cstdio>
#include <string_view>

namespace {

FILE* openPhrases(const char* path) { return path && path[0] ? std::fopen(path, "r") : nullptr; }

}  // namespace

int lookupUserPhrases(const char* path, const char* code, char* completionList, char* exactList, int* exactState) {
    FILE* file = openPhrases(path);
    if (!file) return 0;
    ListWriter completions(completionList, USER_COMPLETION_LIST_SIZE);
    ListWriter exact(exactList, USER_EXACT_LIST_SIZE);
    std::string_view typed(code, strnlen(code, 7));
    int state = *exactState;
    UserPhraseLine line;
    // A file of many matching phrases fills no more than a couple of candidate pages.
    while (completions.length <= 199 && readUserPhraseLine(file, line)) {
        char lineCode[5];
        size_t codeLength = userPhraseCode(line, lineCode, 4, false);
        std::string_view phrase = userPhraseText(line);
        if (phrase.empty()) continue;
        std::string_view lineCodeView(lineCode, codeLength);
        if (lineCodeView == typed) {
            appendExact(exact, phrase, state);
        } else if (typed.size() < codeLength && lineCodeView.substr(0, typed.size()) == typed) {
            char letter[2] = {lineCode[typed.size()], '\0'};
            completions.append(" ", letter, phrase);
        }
    }
    std::fclose(file);
    *exactState = state;
    return 0;
}

int findUserPhrasesExact(const char* path, const char* code, size_t maxLetters, char* output, size_t outputSize) {
    FILE* file = openPhrases(path);
    if (!file) return 0;
    ListWriter found(output, outputSize);
    if (maxLetters > 8) maxLetters = 8;
    std::string_view wanted(code, strnlen(code, 64));
    UserPhraseLine line;
    while (readUserPhraseLine(file, line)) {
        char lineCode[9];
        size_t codeLength = userPhraseCode(line, lineCode, maxLetters, true);
        std::string_view phrase = userPhraseText(line);
        if (!phrase.empty() && std::string_view(lineCode, codeLength) == wanted) found.append(phrase, " ");
    }
    std::fclose(file);
    return 0;
}
