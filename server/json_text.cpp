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

namespace {
// Past this size an answer draws on the shared budget, and reserves room for
// its whole limit at once: pages are only taken as they are written, and
// growing by doubling would copy (and briefly hold twice) an answer close to
// the limit. Below it, the many everyday answers touch nothing shared.
constexpr size_t kLargeFrom = 1 << 20;
} // namespace

void JsonRowsWriter::begin(const std::vector<std::string> &columns) {
    out_ = "{\"columns\":[";
    for (size_t i = 0; i < columns.size(); ++i) {
        if (i)
            out_ += ',';
        appendJsonString(out_, columns[i]);
    }
    out_ += "],\"rows\":[";
}

bool JsonRowsWriter::add(const std::vector<CellView> &row) {
    if (out_.size() > kLargeFrom && out_.capacity() < maxBytes_)
        out_.reserve(maxBytes_ + kLargeFrom);
    out_ += rows_ ? ",[" : "[";
    for (size_t i = 0; i < row.size(); ++i) {
        if (i)
            out_ += ',';
        if (!row[i]) {
            out_ += "null";
            continue;
        }
        if (!fits(row[i]->size())) // its JSON is at least as long as the value
            return giveUp();
        appendJsonString(out_, *row[i]);
    }
    out_ += ']';
    if (!fits(0))
        return giveUp();
    if (out_.size() > kLargeFrom && !share_.holdAtLeast(out_.size())) {
        outOfBudget_ = true;
        return giveUp();
    }
    ++rows_;
    return true;
}

bool JsonRowsWriter::giveUp() {
    out_ = std::string(); // gives the memory back now
    return false;
}

std::string JsonRowsWriter::finish() {
    if (out_.empty()) // a statement without columns never began
        begin({});
    out_ += "]}";
    return std::move(out_);
}

} // namespace appserver
