#pragma once
// Writes JSON text straight into a string: the query answers are large and
// their shape is fixed, so no document tree is built for them.

#include "storage.h"

#include <string>
#include <string_view>
#include <vector>

namespace appserver {

// Appends value as a JSON string literal; invalid UTF-8 becomes U+FFFD.
void appendJsonString(std::string &out, std::string_view value);

// Writes an OpenSQL answer, {"columns":[...],"rows":[[...],...]}, as its rows
// arrive, and takes no more rows once the text passes maxBytes: an answer
// never holds much more memory than that.
class JsonRowsWriter : public RowSink {
public:
    explicit JsonRowsWriter(size_t maxBytes) : maxBytes_(maxBytes) {}
    void begin(const std::vector<std::string> &columns) override;
    bool add(const std::vector<CellView> &row) override;
    std::string finish();
    size_t rows() const { return rows_; }

private:
    bool fits(size_t more) const { return out_.size() + more <= maxBytes_; }
    bool giveUp();

    std::string out_;
    size_t maxBytes_;
    size_t rows_ = 0;
};

} // namespace appserver
