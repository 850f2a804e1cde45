#include "statements/Utf8.h"

#include <cstdint>
#include <cstring>

namespace appserver {

size_t utf8SequenceLength(std::string_view text, size_t at) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    size_t length;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0)
            low = 0xA0; // overlong
        if (c == 0xED)
            high = 0x9F; // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0)
            low = 0x90; // overlong
        if (c == 0xF4)
            high = 0x8F; // beyond U+10FFFF
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    const unsigned char second = static_cast<unsigned char>(text[at + 1]);
    if (second < low || second > high)
        return 0;
    for (size_t k = 2; k < length; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[at + k]);
        if (next < 0x80 || next > 0xBF)
            return 0;
    }
    return length;
}

bool isValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        if (i + 8 <= text.size()) {
            uint64_t eight;
            std::memcpy(&eight, text.data() + i, 8);
            if (!(eight & 0x8080808080808080ull)) { // eight ASCII characters
                i += 8;
                continue;
            }
        }
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        const size_t length = utf8SequenceLength(text, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

} // namespace appserver
