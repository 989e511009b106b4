#include "webaddress/webrecord.h"

#include <cstring>

bool splitWebRecord(const char* text, size_t length, WebFields& fields) {
    if (length == 0 || length > WEB_RECORD_MAX) return false;
    if (std::memchr(text, '\0', length) != nullptr) return false;
    if (webBlockOf(text[0]) < 0) return false;
    size_t spaces[3];
    int found = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] != ' ') continue;
        if (found == 3) return false;
        spaces[found++] = i;
    }
    if (found != 3) return false;
    std::string_view line(text, length);
    WebFields f;
    f.code = line.substr(0, spaces[0]);
    f.name = line.substr(spaces[0] + 1, spaces[1] - spaces[0] - 1);
    f.address = line.substr(spaces[1] + 1, spaces[2] - spaces[1] - 1);
    if (!f.address.empty() && f.address.back() == '*') {
        f.address.remove_suffix(1);
        f.starred = true;
    }
    if (f.code.empty() || f.name.empty() || f.address.empty()) return false;
    fields = f;
    return true;
}

bool splitWebRecord(const char* record, WebFields& fields) {
    return splitWebRecord(record, strnlen(record, WEB_RECORD_SIZE), fields);
}

int webBlockOf(char first) { return first >= 'a' && first <= 'z' ? first - 'a' : -1; }

int webBlockCount(const WebBlock& block) {
    int n = 0;
    while (n < WEB_BLOCK_RECORDS && block[n][0] != '\0') ++n;
    return n;
}

static bool starred(const WebRecord& record) {
    WebFields fields;
    return splitWebRecord(record, fields) && fields.starred;
}

int webStarredCount(const WebBlock& block) {
    const int count = webBlockCount(block);
    int n = 0;
    while (n < count && starred(block[n])) ++n;
    return n;
}

int webFixedCount(const WebBlock& block) {
    const int count = webBlockCount(block);
    int fixed = 0;
    for (int i = 0; i < count; ++i)
        if (starred(block[i])) fixed = i + 1;
    return fixed;
}

bool sameWebRecord(const WebFields& a, const WebFields& b) {
    return a.code == b.code && a.name == b.name && a.address == b.address;
}

int findWebRecord(const WebBlock& block, const WebFields& fields) {
    const int count = webBlockCount(block);
    for (int i = 0; i < count; ++i) {
        WebFields other;
        if (splitWebRecord(block[i], other) && sameWebRecord(other, fields)) return i;
    }
    return -1;
}

bool composeWebRecord(const WebFields& fields, WebRecord& out) {
    const size_t length = fields.code.size() + fields.name.size() + fields.address.size() + 3 + (fields.starred ? 1 : 0);
    if (length > WEB_RECORD_MAX) return false;
    WebRecord built{};
    char* p = built;
    auto put = [&p](std::string_view text) {
        std::memcpy(p, text.data(), text.size());
        p += text.size();
    };
    put(fields.code);
    put(" ");
    put(fields.name);
    put(" ");
    put(fields.address);
    if (fields.starred) put("*");
    put(" ");
    std::memcpy(out, built, sizeof built);
    return true;
}

void moveWebRecord(WebBlock& block, int from, int to) {
    if (from == to) return;
    WebRecord kept;
    std::memcpy(kept, block[from], sizeof kept);
    if (from > to)
        std::memmove(block[to + 1], block[to], static_cast<size_t>(from - to) * WEB_RECORD_SIZE);
    else
        std::memmove(block[from], block[from + 1], static_cast<size_t>(to - from) * WEB_RECORD_SIZE);
    std::memcpy(block[to], kept, sizeof kept);
}

int insertWebRecord(WebBlock& block, const WebRecord& record) {
    const int count = webBlockCount(block);
    if (count >= WEB_BLOCK_RECORDS) return -1;
    std::memcpy(block[count], record, WEB_RECORD_SIZE);
    block[count][WEB_RECORD_MAX] = '\0';
    if (!starred(block[count])) return count;
    const int head = webStarredCount(block);
    const int to = head < count ? head : count;
    moveWebRecord(block, count, to);
    return to;
}

void removeWebRecord(WebBlock& block, int position) {
    const int count = webBlockCount(block);
    if (position < 0 || position >= count) return;
    moveWebRecord(block, position, count - 1);
    std::memset(block[count - 1], 0, WEB_RECORD_SIZE);
}

int toggleWebRecordStar(WebBlock& block, int position) {
    const int count = webBlockCount(block);
    WebFields fields;
    if (position < 0 || position >= count || !splitWebRecord(block[position], fields)) return -1;
    // A bare address that itself ends in '*' (only a hand-written file makes one) would read
    // as starred again, or as no record at all, once its star is gone: it keeps its star.
    if (fields.starred && fields.address.back() == '*') return WEB_STAR_KEPT;
    // Text after the third space rides along unchanged.
    const char* thirdSpace = fields.address.data() + fields.address.size() + (fields.starred ? 1 : 0);
    const std::string_view rest(thirdSpace + 1, strnlen(block[position], WEB_RECORD_SIZE) -
                                                    static_cast<size_t>(thirdSpace + 1 - block[position]));
    const int headBefore = webStarredCount(block);
    fields.starred = !fields.starred;
    WebRecord changed{};
    if (!composeWebRecord(fields, changed)) return -1;
    const size_t used = strnlen(changed, WEB_RECORD_SIZE);
    if (used + rest.size() > WEB_RECORD_MAX) return -1;
    std::memcpy(changed + used, rest.data(), rest.size());
    std::memcpy(block[position], changed, WEB_RECORD_SIZE);
    if (fields.starred) {
        // An unstarred record stands after the head: it joins the head at its end.
        const int to = position < headBefore ? position : headBefore;
        moveWebRecord(block, position, to);
        return to;
    }
    if (position < headBefore) {
        moveWebRecord(block, position, headBefore - 1);
        return headBefore - 1;
    }
    return position;
}
