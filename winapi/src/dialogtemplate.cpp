// Dialog templates as resource compilers write them: the classic DLGTEMPLATE and the
// extended DLGTEMPLATEEX, each followed by its items on DWORD boundaries. Every read is
// checked against the bytes given, so a damaged template is refused, never overrun.
#include "screen_state.h"

#include <winapi_desktop.h>

namespace screen {
std::string utf16ToGbk(const std::u16string& s);
}

namespace {

class Reader {
public:
    Reader(const unsigned char* data, size_t size) : data_(data), size_(size) {}

    bool word(WORD& out) {
        if (size_ - pos_ < 2 || pos_ > size_) return fail();
        out = WORD(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return true;
    }
    bool dword(DWORD& out) {
        WORD lo, hi;
        if (!word(lo) || !word(hi)) return false;
        out = DWORD(lo) | (DWORD(hi) << 16);
        return true;
    }
    bool shortValue(short& out) {
        WORD w;
        if (!word(w)) return false;
        out = short(w);
        return true;
    }
    bool byte(BYTE& out) {
        if (pos_ >= size_) return fail();
        out = data_[pos_++];
        return true;
    }
    // A zero-terminated UTF-16 string.
    bool string(std::string& out) {
        std::u16string text;
        for (;;) {
            WORD c;
            if (!word(c)) return false;
            if (c == 0) break;
            text.push_back(char16_t(c));
        }
        out = screen::utf16ToGbk(text);
        return true;
    }
    // The sz_Or_Ord field: nothing, 0xFFFF and a number, or a string.
    bool nameOrOrdinal(std::string& name, WORD& ordinal, bool& isOrdinal) {
        WORD first;
        isOrdinal = false;
        ordinal = 0;
        name.clear();
        if (!word(first)) return false;
        if (first == 0) return true;
        if (first == 0xFFFF) {
            isOrdinal = true;
            return word(ordinal);
        }
        pos_ -= 2;
        return string(name);
    }
    bool bytes(size_t count, std::vector<BYTE>& out) {
        if (size_ - pos_ < count || pos_ > size_) return fail();
        out.assign(data_ + pos_, data_ + pos_ + count);
        pos_ += count;
        return true;
    }
    bool alignDword() {
        size_t aligned = (pos_ + 3) & ~size_t(3);
        // The padding of the last item may fall past the end: nothing more is read then.
        pos_ = aligned;
        return true;
    }
    size_t position() const { return pos_; }

private:
    bool fail() {
        pos_ = size_ + 1;
        return false;
    }
    const unsigned char* data_;
    size_t size_;
    size_t pos_ = 0;
};

const char* ordinalClassName(WORD ordinal) {
    switch (ordinal) {
    case 0x80: return "BUTTON";
    case 0x81: return "EDIT";
    case 0x82: return "STATIC";
    case 0x83: return "LISTBOX";
    case 0x84: return "SCROLLBAR";
    case 0x85: return "COMBOBOX";
    }
    return nullptr;
}

bool parseItem(Reader& r, bool extended, WinapiDialogItem& item) {
    r.alignDword();
    if (extended) {
        if (!r.dword(item.helpId) || !r.dword(item.exStyle) || !r.dword(item.style)) return false;
    } else {
        if (!r.dword(item.style) || !r.dword(item.exStyle)) return false;
    }
    if (!r.shortValue(item.x) || !r.shortValue(item.y) || !r.shortValue(item.cx) || !r.shortValue(item.cy))
        return false;
    if (extended) {
        if (!r.dword(item.id)) return false;
    } else {
        WORD id;
        if (!r.word(id)) return false;
        item.id = id;
    }
    bool classIsOrdinal;
    if (!r.nameOrOrdinal(item.className, item.classOrdinal, classIsOrdinal)) return false;
    if (classIsOrdinal) {
        const char* known = ordinalClassName(item.classOrdinal);
        item.className = known ? known : "#" + std::to_string(item.classOrdinal);
    }
    if (!r.nameOrOrdinal(item.title, item.titleOrdinal, item.titleIsOrdinal)) return false;
    WORD extra;
    if (!r.word(extra)) return false;
    return r.bytes(extra, item.creationData);
}

}  // namespace

bool winapiParseDialogTemplate(const void* data, size_t size, WinapiDialogTemplate* out) {
    if (!data || !out) return false;
    Reader r(static_cast<const unsigned char*>(data), size);
    WinapiDialogTemplate t;
    WORD version, signature;
    if (!r.word(version) || !r.word(signature)) return false;
    t.extended = version == 1 && signature == 0xFFFF;
    WORD count;
    if (t.extended) {
        if (!r.dword(t.helpId) || !r.dword(t.exStyle) || !r.dword(t.style)) return false;
    } else {
        t.style = DWORD(version) | (DWORD(signature) << 16);
        if (!r.dword(t.exStyle)) return false;
    }
    if (!r.word(count) || !r.shortValue(t.x) || !r.shortValue(t.y) || !r.shortValue(t.cx) || !r.shortValue(t.cy))
        return false;
    bool ordinal;
    if (!r.nameOrOrdinal(t.menu, t.menuOrdinal, ordinal)) return false;
    if (!r.nameOrOrdinal(t.className, t.classOrdinal, ordinal)) return false;
    if (ordinal) t.className = "#" + std::to_string(t.classOrdinal);
    std::string title;
    WORD titleOrdinal;
    if (!r.nameOrOrdinal(title, titleOrdinal, ordinal)) return false;
    t.title = title;
    if (t.style & DS_SETFONT) {
        t.hasFont = true;
        if (!r.word(t.pointSize)) return false;
        if (t.extended && (!r.word(t.weight) || !r.byte(t.italic) || !r.byte(t.charset))) return false;
        if (!r.string(t.faceName)) return false;
    }
    // Each item takes at least 18 bytes: a count beyond what the bytes can hold is damage,
    // found before any item is read.
    if (size_t(count) * 18 > size) return false;
    t.items.resize(count);
    for (WinapiDialogItem& item : t.items)
        if (!parseItem(r, t.extended, item)) return false;
    *out = std::move(t);
    return true;
}
