#include "json_text.h"

#include "utf8.h"

#include <nlohmann/json.hpp>

namespace appserver {

void appendJsonString(std::string &out, std::string_view value) {
    static const char hex[] = "0123456789abcdef";
    const size_t mark = out.size();
    out += '"';
    size_t plainFrom = 0;
    size_t i = 0;
    while (i < value.size()) {
        const unsigned char c = static_cast<unsigned char>(value[i]);
        if (c >= 0x80) {
            const size_t length = utf8SequenceLength(value, i);
            if (length == 0) {
                // Not UTF-8: let the JSON library write it with replacement characters.
                out.resize(mark);
                out += nlohmann::json(std::string(value))
                           .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
                return;
            }
            i += length;
            continue;
        }
        if (c >= 0x20 && c != '"' && c != '\\') {
            ++i;
            continue;
        }
        out.append(value.data() + plainFrom, i - plainFrom);
        plainFrom = ++i;
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 0xf];
        }
    }
    out.append(value.data() + plainFrom, value.size() - plainFrom);
    out += '"';
}

std::string rowsAnswer(const StatementResult &result) {
    std::string out;
    size_t estimate = 32;
    for (const auto &row : result.rows)
        for (const auto &cell : row)
            estimate += (cell ? cell->size() : 4) + 3;
    out.reserve(estimate);
    out += "{\"columns\":[";
    for (size_t i = 0; i < result.columns.size(); ++i) {
        if (i)
            out += ',';
        appendJsonString(out, result.columns[i]);
    }
    out += "],\"rows\":[";
    for (size_t r = 0; r < result.rows.size(); ++r) {
        out += r ? ",[" : "[";
        const auto &row = result.rows[r];
        for (size_t i = 0; i < row.size(); ++i) {
            if (i)
                out += ',';
            if (row[i])
                appendJsonString(out, *row[i]);
            else
                out += "null";
        }
        out += ']';
    }
    out += "]}";
    return out;
}

} // namespace appserver
