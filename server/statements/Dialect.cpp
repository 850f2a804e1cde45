#include "statements/Dialect.h"

#include <cctype>
#include <strings.h>

namespace appserver {
namespace {

bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool isWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// Reads the word at pos, moving pos past it; empty when there is none.
std::string readWord(const std::string &text, size_t &pos) {
    size_t start = pos;
    while (pos < text.size() && isWordChar(text[pos]))
        ++pos;
    return text.substr(start, pos - start);
}

void skipSpaces(const std::string &text, size_t &pos) {
    while (pos < text.size() && isSpace(text[pos]))
        ++pos;
}

} // namespace

std::string withDeleteFrom(const std::string &sql) {
    size_t pos = 0;
    skipSpaces(sql, pos);
    if (strcasecmp(readWord(sql, pos).c_str(), "delete") != 0)
        return sql;
    size_t afterDelete = pos;
    skipSpaces(sql, pos);
    if (pos == afterDelete)
        return sql;
    size_t tableStart = pos;
    std::string table = readWord(sql, pos);
    if (table.empty() || strcasecmp(table.c_str(), "from") == 0)
        return sql;
    size_t afterTable = pos;
    skipSpaces(sql, pos);
    if (pos == afterTable || strcasecmp(readWord(sql, pos).c_str(), "where") != 0)
        return sql;
    return sql.substr(0, tableStart) + "From " + sql.substr(tableStart);
}

} // namespace appserver
