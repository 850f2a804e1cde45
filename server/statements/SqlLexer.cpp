#include "statements/SqlLexer.h"

#include <strings.h>

#include <string>

namespace appserver {
namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// SQLite's identifier characters: letters, digits, '_', '$' and every byte of
// a multi-byte UTF-8 character.
bool isWordChar(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
           u == '_' || u == '$' || u >= 0x80;
}

} // namespace

bool SqlToken::isWord(const char *keyword) const {
    return kind == Word && text.size() == std::char_traits<char>::length(keyword) &&
           strncasecmp(text.data(), keyword, text.size()) == 0;
}

void SqlLexer::skipSpaceAndComments() {
    while (pos_ < sql_.size()) {
        if (isSpace(sql_[pos_])) {
            ++pos_;
        } else if (sql_.compare(pos_, 2, "--") == 0) {
            const size_t end = sql_.find('\n', pos_);
            pos_ = end == std::string_view::npos ? sql_.size() : end + 1;
        } else if (sql_.compare(pos_, 2, "/*") == 0) {
            const size_t end = sql_.find("*/", pos_ + 2);
            pos_ = end == std::string_view::npos ? sql_.size() : end + 2;
        } else {
            return;
        }
    }
}

SqlToken SqlLexer::next() {
    skipSpaceAndComments();
    if (pos_ >= sql_.size())
        return {};
    const size_t start = pos_;
    const char first = sql_[pos_];
    if (isWordChar(first)) {
        while (pos_ < sql_.size() && isWordChar(sql_[pos_]))
            ++pos_;
        return {SqlToken::Word, sql_.substr(start, pos_ - start)};
    }
    if (first == '\'' || first == '"' || first == '`' || first == '[') {
        const char close = first == '[' ? ']' : first;
        ++pos_;
        while (pos_ < sql_.size()) {
            if (sql_[pos_++] != close)
                continue;
            // A doubled quote stands for itself inside the quotes.
            if (close != ']' && pos_ < sql_.size() && sql_[pos_] == close)
                ++pos_;
            else
                break;
        }
        return {SqlToken::Quoted, sql_.substr(start, pos_ - start)};
    }
    ++pos_;
    return {SqlToken::Punctuation, sql_.substr(start, 1)};
}

bool replacesConflictingRows(std::string_view statement) {
    SqlLexer lexer(statement);
    int depth = 0; // a WITH clause's bodies are skipped by their parentheses
    for (SqlToken token = lexer.next(); token.kind != SqlToken::End; token = lexer.next()) {
        if (token.is('('))
            ++depth;
        else if (token.is(')'))
            --depth;
        if (depth != 0 || token.kind != SqlToken::Word)
            continue;
        if (token.isWord("REPLACE"))
            return true;
        if (token.isWord("INSERT") || token.isWord("UPDATE"))
            return lexer.next().isWord("OR") && lexer.next().isWord("REPLACE");
        if (token.isWord("DELETE") || token.isWord("SELECT") || token.isWord("VALUES"))
            return false;
    }
    return false;
}

std::string quotedLiteral(std::string_view value) {
    std::string text = "'";
    for (char c : value) {
        text += c;
        if (c == '\'')
            text += '\'';
    }
    return text + "'";
}

} // namespace appserver
