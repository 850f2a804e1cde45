#include "answers/JsonText.h"

#include "statements/Utf8.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace appserver {

namespace {

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHighs = 0x8080808080808080ull;

// Whether any of eight bytes needs more than a copy: a control character, a
// quote, a backslash, or the start of a multi-byte sequence to be checked.
inline bool needsCare(uint64_t bytes) {
    const uint64_t quotes = bytes ^ (kOnes * '"');
    const uint64_t backslashes = bytes ^ (kOnes * '\\');
    const uint64_t found = (bytes - kOnes * 0x20) | (quotes - kOnes) | (backslashes - kOnes);
    return ((found & ~bytes) | bytes) & kHighs;
}

// The common three-byte sequence (most CJK text) without the general checks:
// a lead byte that needs no check of the next one, then two continuations.
inline bool isPlainThreeBytes(const unsigned char *at, size_t left) {
    const unsigned char c = at[0];
    return left >= 3 && (c & 0xF0) == 0xE0 && c != 0xE0 && c != 0xED && (at[1] & 0xC0) == 0x80 &&
           (at[2] & 0xC0) == 0x80;
}

} // namespace

void appendJsonString(std::string &out, std::string_view value) {
    static const char hex[] = "0123456789abcdef";
    const auto *bytes = reinterpret_cast<const unsigned char *>(value.data());
    const size_t size = value.size();
    const size_t mark = out.size();
    out += '"';
    size_t plainFrom = 0;
    size_t i = 0;
    while (i < size) {
        if (i + 8 <= size) {
            uint64_t eight;
            std::memcpy(&eight, bytes + i, 8);
            if (!needsCare(eight)) {
                i += 8;
                continue;
            }
        }
        const unsigned char c = bytes[i];
        if (c >= 0x80) {
            if (isPlainThreeBytes(bytes + i, size - i)) {
                i += 3;
                while (isPlainThreeBytes(bytes + i, size - i)) // a run of them
                    i += 3;
                continue;
            }
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
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 0xf];
        }
    }
    out.append(value.data() + plainFrom, size - plainFrom);
    out += '"';
}

void appendJsonRow(std::string &out, const std::vector<CellView> &row) {
    out += '[';
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

namespace {
// Past this size an answer draws on the shared budget, and reserves room for
// its whole limit at once: pages are only taken as they are written, and
// growing by doubling would copy (and briefly hold twice) an answer close to
// the limit. Below it, the many everyday answers touch nothing shared.
constexpr size_t kLargeFrom = 1 << 20;
} // namespace

void JsonRowsWriter::begin(const std::vector<std::string> &columns) {
    out_.reserve(std::min({expectedBytes_ + expectedBytes_ / 8, maxBytes_, kLargeFrom}));
    out_ = "{\"columns\":[";
    for (size_t i = 0; i < columns.size(); ++i) {
        if (i)
            out_ += ',';
        appendJsonString(out_, columns[i]);
    }
    out_ += "],\"rows\":[";
    // Rows of other columns are never the same rows.
    if (earlier_ && (!earlier_->cells() || earlier_->head() != out_))
        earlier_ = nullptr;
    if (earlier_ && keepCellsUpTo_)
        cells_.reserveLike(*earlier_->cells());
    else if (keepCellsUpTo_) // the cells' text is somewhat shorter than their JSON
        cells_.reserveText(std::min(expectedBytes_, keepCellsUpTo_));
}

std::optional<size_t> JsonRowsWriter::earlierRow(const std::vector<CellView> &row) {
    if (!earlier_)
        return std::nullopt;
    const StoredCells &cells = *earlier_->cells();
    for (size_t candidate = earlierNext_; candidate < earlierNext_ + 2; ++candidate)
        if (cells.holds(candidate, row)) {
            earlierNext_ = candidate + 1;
            return candidate;
        }
    return std::nullopt; // a row new or changed: the next one may still be earlierNext_
}

bool JsonRowsWriter::writeCells(const std::vector<CellView> &row, std::optional<size_t> same) {
    if (same) {
        const std::string_view text = earlier_->row(*same);
        if (!fits(text.size()))
            return false;
        out_ += text;
        return true;
    }
    out_ += '[';
    for (size_t i = 0; i < row.size(); ++i) {
        if (i)
            out_ += ',';
        if (!row[i]) {
            out_ += "null";
            continue;
        }
        if (!fits(row[i]->size())) // its JSON is at least as long as the value
            return false;
        appendJsonString(out_, *row[i]);
    }
    out_ += ']';
    return true;
}

bool JsonRowsWriter::add(const std::vector<CellView> &row) {
    if (out_.size() > kLargeFrom && out_.capacity() < maxBytes_)
        out_.reserve(maxBytes_ + kLargeFrom);
    if (rows_)
        out_ += ',';
    rowStarts_.push_back(static_cast<uint32_t>(out_.size()));
    const std::optional<size_t> same = earlierRow(row);
    if (!writeCells(row, same))
        return giveUp();
    if (keepCellsUpTo_) {
        // A row equal to an earlier one is copied from its kept cells in one go.
        const bool kept = same ? cells_.addRowOf(*earlier_->cells(), *same, keepCellsUpTo_)
                               : cells_.add(row, keepCellsUpTo_);
        if (!kept) { // too many to keep: this answer will not be compared with
            keepCellsUpTo_ = 0;
            cells_ = {};
        }
    }
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
    rowStarts_ = {};
    cells_ = {};
    return false;
}

std::string JsonRowsWriter::finish() {
    if (out_.empty()) // a statement without columns never began
        begin({});
    out_ += "]}";
    return std::move(out_);
}

} // namespace appserver
