// User phrase lookups over the kept lines of the file (forEachUserPhrase). The file is
// looked at on every lookup but one that adds a letter to the last lookup's code in the
// same file: the later letters of a code being typed use what its first letter found, which
// spares most keys the file system's call, and a phrase added since, by this process or
// another, is found from the next code on.
#include "phrases/userphrases.h"

#include "phrases/userphrasefile.h"
#include "core/lookuplist.h"

#include <cstring>
#include <string>
#include <string_view>

namespace {

// The last lookup's file and code.
std::string lastPath, lastCode;

// Whether code is the last lookup's code in the file at path with one letter more; either
// way, it is the last lookup's from now on.
bool continuesLastCode(const char* path, std::string_view code) {
    const bool continues = !code.empty() && lastCode.size() + 1 == code.size() &&
                           code.substr(0, lastCode.size()) == lastCode && lastPath == path;
    if (lastPath != path) lastPath = path;
    lastCode.assign(code);
    return continues;
}

}  // namespace

int lookupUserPhrases(const char* path, const char* code, char* completionList, char* exactList, int* exactState) {
    ListWriter completions(completionList, USER_COMPLETION_LIST_SIZE);
    ListWriter exact(exactList, USER_EXACT_LIST_SIZE);
    std::string_view typed(code, strnlen(code, 7));
    int state = *exactState;
    auto visit = [&](const UserPhraseEntry& entry) {
        // A file of many matching phrases fills no more than a couple of candidate pages.
        if (completions.length > 199) return false;
        const std::string_view lineCode = entry.code();
        if (lineCode == typed) {
            appendExact(exact, entry.phrase(), state);
        } else if (typed.size() < lineCode.size() && lineCode.substr(0, typed.size()) == typed) {
            char letter[2] = {lineCode[typed.size()], '\0'};
            completions.append(" ", letter, entry.phrase());
        }
        return true;
    };
    if (!path || !path[0]) return 0;
    const bool lookAtFile = !continuesLastCode(path, typed);
    forEachUserPhrase(path, typed.empty() ? '\0' : typed[0], lookAtFile, visit);
    *exactState = state;
    return 0;
}

int findUserPhrasesExact(const char* path, const char* code, size_t maxLetters, char* output, size_t outputSize) {
    ListWriter found(output, outputSize);
    if (maxLetters > 8) maxLetters = 8;
    std::string_view wanted(code, strnlen(code, 64));
    auto visit = [&](const UserPhraseEntry& entry) {
        if (entry.letters(maxLetters) == wanted) found.append(entry.phrase(), " ");
        return true;
    };
    forEachUserPhrase(path, wanted.empty() ? '\0' : wanted[0], true, visit);
    return 0;
}
