#include "lists/TextMatch.h"

#include "statements/Utf8.h"

namespace appserver {
namespace {

// The length of the character at text[at]; 0 when it is not UTF-8.
size_t characterAt(std::string_view text, size_t at) {
    return static_cast<unsigned char>(text[at]) < 0x80 ? 1 : utf8SequenceLength(text, at);
}

char folded(char c, bool fold) {
    return fold && c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool sameCharacter(std::string_view a, size_t at, std::string_view b, size_t from, size_t length,
                   bool fold) {
    if (length == 1)
        return folded(a[at], fold) == folded(b[from], fold);
    return a.substr(at, length) == b.substr(from, length);
}

} // namespace

std::optional<bool> textLike(std::string_view value, std::string_view pattern,
                             const TextRules &rules) {
    if (!isValidUtf8(value) || !isValidUtf8(pattern))
        return std::nullopt;
    const bool fold = rules.likeIgnoresAsciiCase;
    // Matching with the last % seen to fall back to: where it stood in the
    // pattern and how much of the value it has taken.
    size_t p = 0, v = 0;
    size_t starP = std::string_view::npos, starV = 0;
    while (v < value.size()) {
        const size_t have = characterAt(value, v);
        if (p < pattern.size() && pattern[p] == '%') {
            starP = ++p;
            starV = v;
            continue;
        }
        if (p < pattern.size()) {
            const size_t want = characterAt(pattern, p);
            if (pattern[p] == '_' || (want == have && sameCharacter(pattern, p, value, v, want, fold))) {
                p += want;
                v += have;
                continue;
            }
        }
        if (starP == std::string_view::npos)
            return false;
        // The last % takes one character more.
        starV += characterAt(value, starV);
        v = starV;
        p = starP;
    }
    while (p < pattern.size() && pattern[p] == '%')
        ++p;
    return p == pattern.size();
}

} // namespace appserver
