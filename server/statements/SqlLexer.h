#pragma once
// Splits SQL into tokens the way SQLite's tokenizer does, as far as the server
// needs to look: words, quoted names and literals, single punctuation marks.
// Whitespace and comments never come out as tokens.

#include <string>
#include <string_view>

namespace appserver {

struct SqlToken {
    enum Kind { Word, Quoted, Punctuation, End };
    Kind kind = End;
    std::string_view text;

    bool isWord(const char *keyword) const; // letter case ignored
    bool is(char mark) const { return kind == Punctuation && text.size() == 1 && text[0] == mark; }
};

class SqlLexer {
public:
    explicit SqlLexer(std::string_view sql) : sql_(sql) {}
    SqlToken next();

private:
    void skipSpaceAndComments();
    std::string_view sql_;
    size_t pos_ = 0;
};

// True when the statement resolves conflicts by deleting rows: REPLACE,
// INSERT OR REPLACE, UPDATE OR REPLACE. SQLite's authorizer reports these as
// plain inserts and updates, so the statement's own words must tell.
bool replacesConflictingRows(std::string_view statement);

// The SQL string literal that reads back as value: quoted, quotes doubled.
std::string quotedLiteral(std::string_view value);

} // namespace appserver
