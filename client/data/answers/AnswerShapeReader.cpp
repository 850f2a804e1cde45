#include "data/answers/AnswerShapeReader.h"

namespace {

class Reader {
public:
    explicit Reader(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

    bool literal(std::string_view expected) {
        if (size_t(end_ - p_) < expected.size() || std::string_view(p_, expected.size()) != expected)
            return false;
        p_ += expected.size();
        return true;
    }
    bool next(char c) {
        if (p_ == end_ || *p_ != c)
            return false;
        ++p_;
        return true;
    }
    bool atEnd() const { return p_ == end_; }

    // A string literal or null; false on anything else.
    bool value(QString &out) {
        if (literal("null")) {
            out = QString();
            return true;
        }
        if (!next('"'))
            return false;
        const char *start = p_;
        while (p_ != end_) {
            const unsigned char c = static_cast<unsigned char>(*p_);
            if (c == '"') {
                out = QString::fromUtf8(start, p_ - start);
                ++p_;
                return true;
            }
            if (c == '\\')
                return escaped(start, out);
            if (c < 0x20)
                return false;
            ++p_;
        }
        return false;
    }

private:
    // The rest of a string with escapes, decoded into UTF-8 first.
    bool escaped(const char *start, QString &out) {
        std::string text(start, p_);
        while (p_ != end_) {
            const char c = *p_++;
            if (c == '"') {
                out = QString::fromUtf8(text.data(), qsizetype(text.size()));
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\') {
                text += c;
                continue;
            }
            if (p_ == end_)
                return false;
            switch (*p_++) {
            case '"': text += '"'; break;
            case '\\': text += '\\'; break;
            case '/': text += '/'; break;
            case 'b': text += '\b'; break;
            case 'f': text += '\f'; break;
            case 'n': text += '\n'; break;
            case 'r': text += '\r'; break;
            case 't': text += '\t'; break;
            case 'u':
                if (!codePoint(text))
                    return false;
                break;
            default: return false;
            }
        }
        return false;
    }

    bool hex4(unsigned &value) {
        if (end_ - p_ < 4)
            return false;
        value = 0;
        for (int i = 0; i < 4; ++i, ++p_) {
            const char c = *p_;
            value <<= 4;
            if (c >= '0' && c <= '9')
                value |= unsigned(c - '0');
            else if (c >= 'a' && c <= 'f')
                value |= unsigned(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                value |= unsigned(c - 'A' + 10);
            else
                return false;
        }
        return true;
    }

    // After "\u": one code point, or a surrogate pair, appended as UTF-8.
    bool codePoint(std::string &text) {
        unsigned code;
        if (!hex4(code) || (code >= 0xDC00 && code <= 0xDFFF))
            return false;
        if (code >= 0xD800 && code <= 0xDBFF) {
            unsigned low;
            if (!literal("\\u") || !hex4(low) || low < 0xDC00 || low > 0xDFFF)
                return false;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        if (code < 0x80) {
            text += char(code);
        } else if (code < 0x800) {
            text += char(0xC0 | (code >> 6));
            text += char(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            text += char(0xE0 | (code >> 12));
            text += char(0x80 | ((code >> 6) & 0x3F));
            text += char(0x80 | (code & 0x3F));
        } else {
            text += char(0xF0 | (code >> 18));
            text += char(0x80 | ((code >> 12) & 0x3F));
            text += char(0x80 | ((code >> 6) & 0x3F));
            text += char(0x80 | (code & 0x3F));
        }
        return true;
    }

    const char *p_;
    const char *end_;
};

} // namespace

bool readServerAnswer(std::string_view text, DataPacket &packet) {
    Reader in(text);
    if (!in.literal("{\"columns\":["))
        return false;
    QString value;
    if (!in.next(']')) {
        do {
            if (!in.value(value) || value.isNull())
                return false;
            packet.columns << value;
        } while (in.next(','));
        if (!in.next(']'))
            return false;
    }
    if (!in.literal(",\"rows\":["))
        return false;
    const size_t width = size_t(packet.columns.size());
    if (!in.next(']')) {
        do {
            if (!in.next('['))
                return false;
            const size_t rowStart = packet.cells.size();
            if (!in.next(']')) {
                do {
                    if (!in.value(value))
                        return false;
                    packet.cells.push_back(std::move(value));
                } while (in.next(','));
                if (!in.next(']'))
                    return false;
            }
            if (packet.cells.size() - rowStart != width)
                return false;
            if (width == 0)
                ++packet.rowsWithoutCells;
        } while (in.next(','));
        if (!in.next(']'))
            return false;
    }
    return in.next('}') && in.atEnd();
}
