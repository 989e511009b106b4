#include "webaddress/webaddress.h"

#include "webaddress/weblists.h"

#include <cstring>

namespace {

constexpr uint32_t KEY_BACK = 0x08;
constexpr uint32_t KEY_ESCAPE = 0x1B;
constexpr uint32_t KEY_SPACE = 0x20;
constexpr size_t CODE_LETTERS = 10;  // letters of a code that take part in matching
constexpr int PAGE_ROWS = 10;

size_t typedLength(const EngineContext* context) {
    return strnlen(context->modeInput, sizeof context->modeInput);
}

// The block of the first typed letter in the chosen list; null with nothing typed.
WebBlock* currentBlock(const EngineContext* context) {
    const int block = webBlockOf(context->modeInput[0]);
    if (block < 0) return nullptr;
    return &webList(modes.webListIndex)[block];
}

void clearRows(EngineContext* context) {
    std::memset(context->rowText, 0, sizeof context->rowText);
    std::memset(context->rowNote, 0, sizeof context->rowNote);
}

void clearTyped(EngineContext* context) {
    std::memset(context->modeInput, 0, sizeof context->modeInput);
    context->codeLength = 0;
    context->caret = 0;
}

// What every way out of the mode clears, with the counters each way clears.
constexpr unsigned LEAVING = CLEAR_DISPLAY_LINE | CLEAR_RESULTS | CLEAR_ROWS;

void removeLastLetter(EngineContext* context) {
    const size_t length = typedLength(context);
    if (length == 0) return;
    context->modeInput[length - 1] = '\0';
    context->codeLength = static_cast<int16_t>(length - 1);
    context->caret = context->codeLength;
}

bool matches(const WebFields& fields, const char* typed, size_t length) {
    const size_t key = fields.code.size() < CODE_LETTERS ? fields.code.size() : CODE_LETTERS;
    return length > 0 && length <= key && std::memcmp(fields.code.data(), typed, length) == 0;
}

// Gathers the positions of the matches into webMarks, up to one past the shown page.
int search(EngineContext* context) {
    const WebBlock* block = currentBlock(context);
    if (block == nullptr) return 0;
    const size_t length = typedLength(context);
    const int count = webBlockCount(*block);
    int found = 0;
    for (int i = 0; i < count && found <= context->rowFirst + PAGE_ROWS; ++i) {
        WebFields fields;
        if (splitWebRecord((*block)[i], fields) && matches(fields, context->modeInput, length))
            context->webMarks[found++] = i;
    }
    return found;
}

// Each row comes from its own record: its name and hint letter, its address less the star.
void buildPage(EngineContext* context, int found) {
    clearRows(context);
    const WebBlock* block = currentBlock(context);
    context->webState[WS_FIXED_COUNT] = block ? webFixedCount(*block) : 0;
    const size_t length = typedLength(context);
    for (int m = context->rowFirst; block && m < found && m < context->rowFirst + PAGE_ROWS; ++m) {
        const int row = m - context->rowFirst;
        WebFields fields;
        if (!splitWebRecord((*block)[context->webMarks[m]], fields)) continue;
        char note[sizeof context->rowNote[0]] = {};
        std::memcpy(note, fields.name.data(), fields.name.size());
        if (fields.code.size() > length) note[fields.name.size()] = fields.code[length];
        copyText(context->rowNote[row], sizeof context->rowNote[row], note);
        std::memcpy(context->rowText[row], fields.address.data(), fields.address.size());
        context->rowText[row][fields.address.size()] = '\0';
    }
    context->rowMore = found - context->rowFirst;
}

// The chosen record moves up to the end of the frequently used head, unless the list
// changed since its row was shown (the record there is then another one, or none).
void moveChosenUp(EngineContext* context, int row) {
    WebBlock* block = currentBlock(context);
    const int mark = context->rowFirst + row;
    if (block == nullptr || mark < 0 || mark >= WEB_BLOCK_RECORDS) return;
    const int position = context->webMarks[mark];
    if (position < 0 || position >= webBlockCount(*block)) return;
    WebFields fields;
    if (!splitWebRecord((*block)[position], fields) || fields.address != context->rowText[row] ||
        !matches(fields, context->modeInput, typedLength(context)))
        return;
    const int fixed = webFixedCount(*block);
    if (position <= fixed) return;
    recordWebEdit(modes.webListIndex, WebEditKind::moveUp, (*block)[position]);
    moveWebRecord(*block, position, fixed);
}

void choose(EngineContext* context, int row, bool byDigit) {
    if (context->rowText[row][0] == '\0') return;
    if (byDigit && context->modeInput[0] == '\0') return;
    moveChosenUp(context, row);
    copyText(context->modeResult, sizeof context->modeResult, context->rowText[row]);
    clearShownInput(context, LEAVING | CLEAR_SYLLABLE_COUNTS);
    context->webState[WS_FIXED_COUNT] = 0;
    // The driver ends the mode with the delivery; the windows then show the state after it.
    context->resultFlags = RF_COMMIT;
    askDriver(ASK_STATUS);
    modes.webResultPending = 1;
}

void refreshPage(EngineContext* context) {
    int found = search(context);
    if (found == 0) {
        askDriver(ASK_TONE);
        removeLastLetter(context);
        found = search(context);
    }
    buildPage(context, found);
}

}  // namespace

void leaveWebMode(EngineContext* context) {
    modes.webMode = 0;
    clearShownInput(context, LEAVING | CLEAR_COUNTERS);
    askDriver(ASK_STATUS);
}

int enterWebMode(int listIndex) {
    // What other programs saved since the lists were read.
    refreshWebLists();
    if (!webListLoaded(listIndex)) return 0;
    EngineContext* context = &engineContext;
    modes.webMode = 1;
    modes.webListIndex = listIndex ? 1 : 0;
    modes.webResultPending = 0;
    clearTyped(context);
    clearRows(context);
    context->rowFirst = context->rowMore = 0;
    context->webState[WS_FIXED_COUNT] = 0;
    return 1;
}

void typeWebCode(EngineContext* context, const char* code) {
    clearTyped(context);
    size_t n = 0;
    while (n < CODE_LETTERS && code[n] >= 'a' && code[n] <= 'z') {
        context->modeInput[n] = code[n];
        ++n;
    }
    context->codeLength = context->caret = static_cast<int16_t>(n);
    context->rowFirst = 0;
    buildPage(context, search(context));
}

void processWebAddressKey(uint32_t key, uint32_t ch, EngineContext* context) {
    const uint32_t vk = key & 0xFF;
    ch &= 0xFF;
    context->modeResult[0] = '\0';
    modes.webResultPending = 0;
    context->resultFlags = RF_LISTS;
    // Esc leaves even when the list went away: the mode must never trap the keys.
    if (vk == KEY_ESCAPE) {
        leaveWebMode(context);
        return;
    }
    if (!webListLoaded(modes.webListIndex)) return;

    if (ch >= 'a' && ch <= 'z') {
        const size_t length = typedLength(context);
        if (length + 1 < sizeof context->modeInput) {
            context->modeInput[length] = static_cast<char>(ch);
            context->modeInput[length + 1] = '\0';
            context->codeLength = static_cast<int16_t>(length + 1);
            context->caret = context->codeLength;
        }
        context->rowFirst = 0;
    }
    if (vk == KEY_BACK) {
        context->rowFirst = 0;
        removeLastLetter(context);
    } else if (vk == KEY_SPACE) {
        choose(context, 0, false);
        return;
    }
    if (ch >= '0' && ch <= '9') {
        choose(context, ch == '0' ? 9 : static_cast<int>(ch - '1'), true);
        return;
    }
    if (ch == '-' && context->rowFirst >= PAGE_ROWS) context->rowFirst -= PAGE_ROWS;
    if (ch == '=' && context->rowMore > 0) context->rowFirst += PAGE_ROWS;
    refreshPage(context);
}
