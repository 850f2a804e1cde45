#include "lists/JsonCells.h"

namespace appserver {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void appendUtf8(std::string &out, unsigned code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

// Four hex digits at text[at]; -1 when they are not.
long fourHex(std::string_view text, size_t at) {
    if (at + 4 > text.size())
        return -1;
    long value = 0;
    for (size_t i = at; i < at + 4; ++i) {
        const int digit = hexValue(text[i]);
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

// The string literal starting at text[at] (its quote), decoded; at moves past it.
bool readString(std::string_view text, size_t &at, std::string &out) {
    if (at >= text.size() || text[at] != '"')
        return false;
    ++at;
    while (at < text.size()) {
        const size_t plain = text.find_first_of("\"\\", at);
        if (plain == std::string_view::npos)
            return false;
        out.append(text.substr(at, plain - at));
        at = plain;
        if (text[at] == '"') {
            ++at;
            return true;
        }
        if (++at >= text.size())
            return false;
        const char escaped = text[at++];
        switch (escaped) {
        case '"':
        case '\\':
        case '/':
            out += escaped;
            break;
        case 'b':
            out += '\b';
            break;
        case 'f':
            out += '\f';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'u': {
            long code = fourHex(text, at);
            if (code < 0)
                return false;
            at += 4;
            if (code >= 0xD800 && code < 0xDC00) { // a pair of surrogates
                if (at + 2 > text.size() || text[at] != '\\' || text[at + 1] != 'u')
                    return false;
                const long low = fourHex(text, at + 2);
                if (low < 0xDC00 || low >= 0xE000)
                    return false;
                at += 6;
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            }
            appendUtf8(out, unsigned(code));
            break;
        }
        default:
            return false;
        }
    }
    return false;
}

} // namespace

std::optional<std::vector<JsonCell>> jsonCells(std::string_view array, size_t count) {
    if (array.empty() || array.front() != '[')
        return std::nullopt;
    std::vector<JsonCell> cells;
    cells.reserve(count);
    size_t at = 1;
    while (cells.size() < count) {
        if (cells.size() && (at >= array.size() || array[at++] != ','))
            return std::nullopt;
        if (array.substr(at, 4) == "null") {
            cells.emplace_back();
            at += 4;
            continue;
        }
        std::string cell;
        if (!readString(array, at, cell))
            return std::nullopt;
        cells.emplace_back(std::move(cell));
    }
    return cells;
}

std::optional<std::vector<std::string>> jsonColumns(std::string_view head) {
    constexpr std::string_view kBefore = "{\"columns\":", kAfter = ",\"rows\":[";
    if (head.substr(0, kBefore.size()) != kBefore || head.size() < kBefore.size() + kAfter.size() ||
        head.substr(head.size() - kAfter.size()) != kAfter)
        return std::nullopt;
    const std::string_view array =
        head.substr(kBefore.size(), head.size() - kBefore.size() - kAfter.size());
    std::vector<std::string> names;
    size_t at = 1;
    if (array.size() < 2 || array.front() != '[' || array.back() != ']')
        return std::nullopt;
    while (at + 1 < array.size()) {
        if (names.size() && array[at++] != ',')
            return std::nullopt;
        std::string name;
        if (!readString(array, at, name))
            return std::nullopt;
        names.push_back(std::move(name));
    }
    return at + 1 == array.size() ? std::optional(std::move(names)) : std::nullopt;
}

} // namespace appserver
