// Looking codes up in a user phrase file: the phrases a user added under codes of their
// choice, searched beside the code tables.
#pragma once

#include <cstddef>

// The lists lookupUserPhrases fills: the packed lookup gives it scratch lists this large.
constexpr size_t USER_COMPLETION_LIST_SIZE = 7000;
constexpr size_t USER_EXACT_LIST_SIZE = 48;

// Appends the phrases of the file at path (null or empty: none) whose code equals code
// to exactList, and those whose code continues it, with the next letter as hint, to
// completionList (lists of USER_COMPLETION_LIST_SIZE and USER_EXACT_LIST_SIZE bytes).
// exactState (0-3) continues the label numbering of a table lookup. Returns 0; a missing
// or unreadable file adds nothing.
int lookupUserPhrases(const char* path, const char* code, char* completionList, char* exactList, int* exactState);

// Appends "phrase " to output for every line of the file whose code equals code. A line's
// code is its leading run of letters a-z, of which at most maxLetters count (4, or 8 for
// the pinyin engine). Returns 0.
int findUserPhrasesExact(const char* path, const char* code, size_t maxLetters, char* output, size_t outputSize);
