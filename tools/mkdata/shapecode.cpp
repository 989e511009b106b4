#include "shapecode.h"

#include <algorithm>

std::string shapePart(std::string_view cangjie) {
    std::string s;
    for (char c : cangjie) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c < 'a' || c > 'z') return {};
        s.push_back(c);
    }
    if (s.size() > 3) s = s.substr(0, 2) + s.back();
    return s;
}

std::vector<Initial> initialsOf(const std::vector<Reading>& readings) {
    std::vector<Initial> initials;
    for (const Reading& r : readings) {
        if (r.syllable.empty()) continue;
        auto it = std::find_if(initials.begin(), initials.end(),
                               [&](const Initial& i) { return i.letter == r.syllable[0]; });
        if (it == initials.end())
            initials.push_back({r.syllable[0], r.weight});
        else
            it->weight += r.weight;
    }
    // Stable: readings of equal weight keep the source's order, which lists the usual first.
    std::stable_sort(initials.begin(), initials.end(),
                     [](const Initial& a, const Initial& b) { return a.weight > b.weight; });
    return initials;
}

std::string characterCode(Edition edition, std::string_view shape, char initial) {
    std::string code =
        edition == Edition::ShapeCode ? std::string(shape) + initial : initial + std::string(shape);
    return code.substr(0, 4);
}

std::string phraseCode(const std::vector<std::string>& codes) {
    if (codes.size() < 2) return {};
    for (const std::string& c : codes)
        if (c.empty()) return {};
    switch (codes.size()) {
    case 2: return codes[0].substr(0, 2) + codes[1].substr(0, 2);
    case 3: return codes[0].substr(0, 1) + codes[1].substr(0, 1) + codes[2].substr(0, 2);
    default:
        return codes[0].substr(0, 1) + codes[1].substr(0, 1) + codes[2].substr(0, 1) +
               codes.back().substr(0, 1);
    }
}

std::string plainSyllable(std::u32string_view reading) {
    std::string s;
    for (char32_t c : reading) {
        if (c >= 'a' && c <= 'z') {
            s.push_back(static_cast<char>(c));
            continue;
        }
        if (c >= 0x300 && c <= 0x36F)  // combining tone marks
            continue;
        switch (c) {
        case U'ā':
        case U'á':
        case U'ǎ':
        case U'à': s.push_back('a'); break;
        case U'ē':
        case U'é':
        case U'ě':
        case U'è':
        case U'ê':
        case U'ế':
        case U'ề': s.push_back('e'); break;
        case U'ī':
        case U'í':
        case U'ǐ':
        case U'ì': s.push_back('i'); break;
        case U'ō':
        case U'ó':
        case U'ǒ':
        case U'ò': s.push_back('o'); break;
        case U'ū':
        case U'ú':
        case U'ǔ':
        case U'ù': s.push_back('u'); break;
        case U'ü':
        case U'ǖ':
        case U'ǘ':
        case U'ǚ':
        case U'ǜ': s.push_back('v'); break;
        case U'ń':
        case U'ň':
        case U'ǹ': s.push_back('n'); break;
        case U'ḿ': s.push_back('m'); break;
        default: return {};
        }
    }
    if (s == "lve" || s == "nve") s[1] = 'u';
    if (s.size() > 8) return {};
    return s;
}
